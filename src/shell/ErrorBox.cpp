#include "shell/ErrorBox.h"

#include "catalogue/Error.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <exception>

namespace vestor {

namespace {

ErrorSink &sink()
{
    static ErrorSink s;
    return s;
}

} // namespace

QString applicationTitle(const QString &programPath)
{
    QString name = QFileInfo(programPath).fileName();
    name.truncate(name.indexOf(u'.') < 0 ? name.size() : name.indexOf(u'.'));
    return name.left(1) + name.mid(1).toLower();
}

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > u'.')
        return message + u'.';
    return message;
}

void setErrorSink(ErrorSink s) { sink() = std::move(s); }

void showError(const QString &message)
{
    const QString caption = QCoreApplication::applicationName();
    const QString text = errorBoxText(message);
    if (sink()) {
        sink()(caption, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void runHandler(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const Error &e) {
        showError(e.message());
    } catch (const std::exception &e) {
        showError(QString::fromLocal8Bit(e.what()));
    }
}

} // namespace vestor
