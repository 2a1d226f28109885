// vestor-solve: one best-set search. Reads the problem as JSON on stdin and
// writes the answer as JSON on stdout; a message on stderr and status 1 on
// failure. Runs apart from the window so that a solver fault ends only this.

#include "best/worker/Serve.h"

int main()
{
    return vestor::best::serve([](const vestor::best::Answer &answer) { return answer.toJson(); });
}
