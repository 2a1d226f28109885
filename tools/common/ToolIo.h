#pragma once

// What the catalogue keepers' tools share: their arguments, standard streams
// whose every write is checked, and their exit statuses.

#include <QFile>
#include <QString>
#include <QStringList>

#include <variant>

namespace vestor::tool {

enum Exit { kDone = 0, kFailed = 1, kUsage = 2 };

// The program's arguments, file names decoded as the system encodes them.
QStringList arguments(int argc, char **argv);

// A message on stderr, one line.
void printError(const QString &message);

// "TOOL: message" and the hint to --help on stderr; returns kUsage.
int usageError(const QString &tool, const QString &message);

// A tool's file names and the switches given among `flags` ("force").
struct ToolArguments {
    QStringList files;
    QStringList flags;
    bool isSet(const QString &flag) const { return flags.contains(flag); }
};

// Parses a tool's command line: --help, --version, the switches named in
// `flags` and between `least` and `most` file names. Returns them, or the
// exit status when the run ends here (the help or version printed, or a
// usage error told with `expected`).
std::variant<ToolArguments, int> fileArguments(const QString &tool, const QStringList &args, const QByteArray &help,
                                               qsizetype least, qsizetype most, const QString &expected,
                                               const QStringList &flags = {});

// Counts warnings and shows the first kShown on stderr; finish() tells how
// many more there were, so a big file's warnings do not flood the terminal.
class WarningPrinter
{
public:
    static constexpr int kShown = 20;
    void print(const QString &warning);
    // "NAME: and 3 more warnings", when there were more than kShown.
    void finish(const QString &name) const;

private:
    qint64 count_ = 0;
};

// Writes `text` to stdout and flushes it; a failure (a full disk, a closed
// stdout) is reported on stderr and gives kFailed.
int printToStdout(const QString &tool, const QByteArray &text);

// Opens standard input or output as a device; "-" names them on the command line.
inline const QString kStandardStream = QStringLiteral("-");
void openStdin(QFile &file);
void openStdout(QFile &file);

// Runs `body`, turning every error it throws into "TOOL: message" and kFailed.
int guarded(const QString &tool, int (*body)(const QStringList &), const QStringList &args);

} // namespace vestor::tool
