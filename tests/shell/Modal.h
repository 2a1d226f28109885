#pragma once

// Reaching a dialog that runs modally (its exec) from the test that opened it.

#include <QApplication>
#include <QTimer>
#include <functional>

namespace shelltest {

// Runs `act` on the next modal dialog of type D as soon as it is up; `act`
// is expected to close it.
template <typename D> void whenShown(std::function<void(D *)> act)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto *shown = qobject_cast<D *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(shown);
        }
    });
    poll->start(10);
}

} // namespace shelltest
