#pragma once

#include <QString>
#include <stdexcept>

namespace vestor {

// Every failure in Vestor travels as this exception, carrying the text the
// user is shown. One boundary (the window's error box, the command line's
// stderr) catches it; no code in between does.
class Error : public std::runtime_error
{
public:
    explicit Error(const QString &message) : std::runtime_error(message.toStdString()), message_(message) {}
    const QString &message() const noexcept { return message_; }

private:
    QString message_;
};

} // namespace vestor
