// vestor-solve: one best-set search. Reads the problem as JSON on stdin and
// writes the answer as JSON on stdout; a message on stderr and status 1 on
// failure. Runs apart from the window so that a solver fault ends only this.

#include "best/Problem.h"
#include "best/worker/Search.h"
#include "catalogue/Error.h"

#include <QByteArray>
#include <QFile>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace {

using namespace vestor;

// Tests set this to see the caller survive a solver that aborts, hangs or talks nonsense.
constexpr const char *kFaultVariable = "VESTOR_SOLVE_FAULT";

// CBC writes its log to stdout whatever it is told: the answer gets its own
// copy of the channel and stdout itself goes nowhere.
int answerChannel()
{
    const int answer = dup(STDOUT_FILENO);
    const int nowhere = open("/dev/null", O_WRONLY);
    if (answer < 0 || nowhere < 0 || dup2(nowhere, STDOUT_FILENO) < 0)
        return -1;
    close(nowhere);
    return answer;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// The answer as a faulty solver would give it, or the real one.
QByteArray faulty(const QByteArray &fault, best::Answer answer)
{
    if (fault == "abort")
        std::abort();
    if (fault == "hang")
        for (;;)
            QThread::sleep(1);
    if (fault == "garbage")
        return "{\"allMet\": tru";
    if (fault == "overfill" && !answer.sets.empty() && !answer.sets.front().empty())
        answer.sets.front().front() = 99;
    return answer.toJson();
}

} // namespace

// Under the sanitizers, what CBC itself never frees is not this program's leak.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libCbc\nleak:libCbcSolver\nleak:libClp\nleak:libOsi\nleak:libCgl\nleak:libCoinUtils\n";
}

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
    const int answer = answerChannel();
    if (answer < 0) {
        std::perror("vestor-solve");
        return 1;
    }
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        std::fputs("vestor-solve: cannot read the problem\n", stderr);
        return 1;
    }
    try {
        const best::Problem problem = best::Problem::fromJson(in.readAll());
        best::Answer result = best::Search(problem).run();
        if (!writeAll(answer, faulty(qgetenv(kFaultVariable), std::move(result)) + '\n'))
            return 1;
    } catch (const Error &e) {
        std::fprintf(stderr, "vestor-solve: %s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
