#!/bin/sh
# A solver that never answers, and says where it runs.
echo $$ > "$SOLVER_PID_FILE"
exec sleep 60
