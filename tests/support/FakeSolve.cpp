// vestor-solve-fake: the solver process as the tests need it to fail.
// VESTOR_SOLVE_FAULT says how: "abort", "hang", "garbage" (no JSON) or
// "overfill" (a set that breaks the rules); unset, it answers as vestor-solve.

#include "best/worker/Serve.h"

#include <QThread>
#include <cstdlib>

namespace {

QByteArray faulty(const QByteArray &fault, vestor::best::Answer answer)
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

int main()
{
    const QByteArray fault = qgetenv("VESTOR_SOLVE_FAULT");
    return vestor::best::serve([&](vestor::best::Answer answer) { return faulty(fault, std::move(answer)); });
}
