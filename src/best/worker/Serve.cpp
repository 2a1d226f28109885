#include "best/worker/Serve.h"

#include "best/worker/Search.h"
#include "catalogue/Error.h"

#include <QFile>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace vestor::best {

namespace {

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

} // namespace

int serve(const std::function<QByteArray(Answer)> &answerText)
{
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
        const Problem problem = Problem::fromJson(in.readAll());
        if (!writeAll(answer, answerText(Search(problem).run()) + '\n'))
            return 1;
    } catch (const Error &e) {
        std::fprintf(stderr, "vestor-solve: %s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

} // namespace vestor::best

// Under the sanitizers, what CBC itself never frees is not the solver's leak.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libCbc\nleak:libCbcSolver\nleak:libClp\nleak:libOsi\nleak:libCgl\nleak:libCoinUtils\n";
}
