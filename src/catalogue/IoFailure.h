#pragma once

#include <QIODevice>
#include <QString>

#include <cerrno>

namespace vestor {

// Runs `call`, a call on `device` that returns whether it worked, and gives
// the reason it failed, or an empty string. Qt drops the system's reason when
// a write fails after writing part of its data (a full disk: "Unknown error"),
// so the error number the call left, cleared first, is preferred.
template <typename Call> QString ioFailure(const QIODevice &device, Call call)
{
    errno = 0;
    if (call())
        return {};
    const int error = errno;
    return error != 0 ? qt_error_string(error) : device.errorString();
}

} // namespace vestor
