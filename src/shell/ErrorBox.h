#pragma once

#include <QString>
#include <functional>

namespace vestor {

// The application title from the program file's name: the name up to its
// first full stop, every character after the first in lower case.
QString applicationTitle(const QString &programPath);

// The error box's text: the message, with a full stop added when its last
// character comes after "." in the character table.
QString errorBoxText(const QString &message);

// Shows the application's error box: modal, stop icon, OK, captioned with
// the application title. Tests may divert it; an empty sink restores the box.
using ErrorSink = std::function<void(const QString &caption, const QString &text)>;
void setErrorSink(ErrorSink sink);
void showError(const QString &message);

// The one boundary of every handler: an error ends the handler, is shown in
// the error box, and the program goes on.
void runHandler(const std::function<void()> &handler);

} // namespace vestor
