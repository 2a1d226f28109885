#pragma once

#include "best/Problem.h"

#include <QByteArray>
#include <functional>

namespace vestor::best {

// One best-set search as the solver process runs it: the problem as JSON on
// stdin, `answerText` of the answer on stdout, a message on stderr and
// status 1 on failure. Returns the process's exit status.
int serve(const std::function<QByteArray(Answer)> &answerText);

} // namespace vestor::best
