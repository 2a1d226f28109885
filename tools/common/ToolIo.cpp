#include "ToolIo.h"

#include "catalogue/Error.h"
#include "catalogue/IoFailure.h"

#include <QCommandLineParser>

#include <cstdio>
#include <new>
#include <unistd.h>

namespace vestor::tool {

QStringList arguments(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QFile::decodeName(argv[i]);
    return args;
}

void printError(const QString &message)
{
    const QByteArray line = message.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
}

int usageError(const QString &tool, const QString &message)
{
    printError(QStringLiteral("%1: %2\nTry '%1 --help'.").arg(tool, message));
    return kUsage;
}

std::variant<ToolArguments, int> fileArguments(const QString &tool, const QStringList &args, const QByteArray &help,
                                               qsizetype least, qsizetype most, const QString &expected,
                                               const QStringList &flags)
{
    QCommandLineParser parser;
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringLiteral("version"));
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    for (const QString &flag : flags)
        parser.addOption(QCommandLineOption(flag));
    if (!parser.parse(args))
        return usageError(tool, parser.errorText());
    if (parser.isSet(helpOption))
        return printToStdout(tool, help);
    if (parser.isSet(versionOption))
        return printToStdout(tool, tool.toUtf8() + " (Vestor) " VESTOR_VERSION "\n");
    ToolArguments parsed;
    parsed.files = parser.positionalArguments();
    if (parsed.files.size() < least || parsed.files.size() > most)
        return usageError(tool, expected);
    for (const QString &flag : flags)
        if (parser.isSet(flag))
            parsed.flags << flag;
    return parsed;
}

void WarningPrinter::print(const QString &warning)
{
    if (++count_ <= kShown)
        printError(warning);
}

void WarningPrinter::finish(const QString &name) const
{
    const qint64 more = count_ - kShown;
    if (more > 0)
        printError(QStringLiteral("%1: and %2 more %3").arg(name).arg(more).arg(more == 1 ? "warning" : "warnings"));
}

int printToStdout(const QString &tool, const QByteArray &text)
{
    QFile out;
    openStdout(out);
    const QString failure = ioFailure(out, [&] { return out.write(text) == text.size() && out.flush(); });
    if (!failure.isEmpty()) {
        printError(QStringLiteral("%1: cannot write to standard output: %2").arg(tool, failure));
        return kFailed;
    }
    return kDone;
}

void openStdin(QFile &file)
{
    if (!file.open(STDIN_FILENO, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw Error(QStringLiteral("standard input: cannot open: %1").arg(file.errorString()));
}

void openStdout(QFile &file)
{
    if (!file.open(STDOUT_FILENO, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        throw Error(QStringLiteral("standard output: cannot open: %1").arg(file.errorString()));
}

int guarded(const QString &tool, int (*body)(const QStringList &), const QStringList &args)
{
    try {
        return body(args);
    } catch (const Error &e) {
        printError(tool + QStringLiteral(": ") + e.message());
    } catch (const std::bad_alloc &) {
        printError(tool + QStringLiteral(": out of memory"));
    }
    return kFailed;
}

} // namespace vestor::tool
