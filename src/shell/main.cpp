#include "catalogue/Catalogue.h"
#include "shell/ErrorBox.h"
#include "shell/Startup.h"
#include "shell/Unit1.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString program = vestor::programFilePath();
    QCoreApplication::setApplicationName(vestor::applicationTitle(program));
    QGuiApplication::setDesktopFileName(QStringLiteral("vestor"));

    // The window speaks Russian; so should the toolkit's own dialogs and buttons.
    vestor::loadToolkitTexts();

    vestor::TForm1 form;
    form.FormCreate(program);
    form.show();
    if (form.quitRequested())
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
