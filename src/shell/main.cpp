#include "catalogue/Catalogue.h"
#include "shell/ErrorBox.h"
#include "shell/Startup.h"
#include "shell/Unit1.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

namespace {

const char *const kHelp = R"(Usage: Vestor [OPTION]...
Opens the equipment set calculator's window: pick an equipment set for a
character of an online role-playing game, find the best set, edit the item
catalogue. The same pick runs without a window as vestor-pick.

Options:
  -h, --help     show this help and exit
  --version      show the version and exit

Qt's own options (-platform, -style, ...) are accepted too.
The item table is Data/Subjects.DBF beside the program if that folder exists,
else the user's copy in ~/.local/share/vestor/Data, else the installed
share/vestor/Data.

Exit status: 0 when the window is closed, 1 when it cannot open.
)";

// --help and --version answer on the terminal before any display is needed;
// -1 when the window is to open.
int answerOnTerminal(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);
    // Qt's options are not ours to judge: unknown ones go on to the application.
    parser.parse(args);
    if (parser.isSet(help))
        return std::fputs(kHelp, stdout) < 0 ? 1 : 0;
    if (parser.isSet(version))
        return std::fputs("Vestor " VESTOR_VERSION "\n", stdout) < 0 ? 1 : 0;
    const bool platformChosen =
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || args.contains(QLatin1String("-platform"));
    if (!platformChosen && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("Vestor: no display here (neither DISPLAY nor WAYLAND_DISPLAY is set); run it on a desktop, "
                   "or use vestor-pick on the command line\n",
                   stderr);
        return 1;
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (const int status = answerOnTerminal(argc, argv); status >= 0)
        return status;
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(VESTOR_VERSION));
    const QString program = vestor::programFilePath();
    QCoreApplication::setApplicationName(vestor::applicationTitle(program));
    QGuiApplication::setDesktopFileName(QStringLiteral("vestor"));

    // The window speaks Russian; so should the toolkit's own dialogs and buttons.
    vestor::loadToolkitTexts();

    TForm1 form;
    form.FormCreate(program);
    form.show();
    if (form.quitRequested())
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
