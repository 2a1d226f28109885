// One copy of a program using the guard: prints "first" and exits with 3
// when it holds the name, so a test can tell that from being ended (status 0).
#include "components/Trayicon.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    vestor::TTrayIcon tray;
    tray.IDMessage = QString::fromLocal8Bit(argv[1]);
    tray.Loaded();
    std::puts("first");
    return 3;
}
