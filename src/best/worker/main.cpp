// vestor-solve: one best-set search. Reads the problem as JSON on stdin and
// writes the answer as JSON on stdout; a message on stderr and status 1 on
// failure. Runs apart from the window so that a solver fault ends only this.

#include "best/worker/Serve.h"

#include <cstdio>
#include <string_view>

int main(int argc, char **argv)
{
    // Never run by hand; a person who tries is told what it is.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::puts("vestor-solve (Vestor) " VESTOR_VERSION);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::puts("vestor-solve: Vestor's internal worker that finds the best set for Vestor and vestor-pick; "
                      "it is not meant to be run by hand.");
            return 0;
        }
        std::fprintf(stderr, "vestor-solve: unexpected argument '%s'; this is Vestor's internal worker\n", argv[i]);
        return 2;
    }
    return vestor::best::serve([](const vestor::best::Answer &answer) { return answer.toJson(); });
}
