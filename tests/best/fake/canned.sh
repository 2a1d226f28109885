#!/bin/sh
# A solver that reads the problem and gives the answer the test chose.
cat > /dev/null
printf '%s\n' "$SOLVER_ANSWER"
