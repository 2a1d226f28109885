// vestor-pick: the pick of the main window, run from the command line.

#include "catalogue/Catalogue.h"
#include "catalogue/Error.h"
#include "cli/Best.h"
#include "cli/Options.h"
#include "cli/Output.h"
#include "cli/Pick.h"

#include <QCoreApplication>
#include <exception>

namespace {

using namespace vestor;
using namespace vestor::cli;

constexpr int kUsageStatus = 2;
constexpr int kFailureStatus = 1;

int fail(const QString &message, Encoding encoding, int status = kFailureStatus)
{
    // If even this cannot be written, the status still tells.
    writeAll(stderr, terminalLines(linesOf(QStringLiteral("vestor-pick: ") + message), encoding));
    return status;
}

// Nothing reaches stdout unless the whole run has succeeded.
int finish(const QByteArray &output, Encoding encoding)
{
    if (const auto failure = writeAll(stdout, output))
        return fail(QStringLiteral("cannot write the output: %1").arg(*failure), encoding);
    return 0;
}

QByteArray run(const Options &options)
{
    Catalogue catalogue;
    const QString data = options.data ? *options.data : dataDirectory(programFilePath());
    setUpCatalogue(catalogue, data, options);
    return options.best ? bestPick(catalogue, options) : greedyPick(catalogue, options);
}

} // namespace

int main(int argc, char *argv[])
{
    guardStandardStreams();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(VESTOR_VERSION));
    Options options;
    try {
        options = parseOptions(QCoreApplication::arguments());
    } catch (const UsageError &e) {
        return fail(e.message + QStringLiteral("\nTry 'vestor-pick --help' for the options."), e.encoding,
                    kUsageStatus);
    }
    if (options.help)
        return finish(terminalLines(linesOf(helpText()), options.encoding), options.encoding);
    if (options.version)
        return finish(QByteArrayLiteral("vestor-pick (Vestor) " VESTOR_VERSION "\n"), options.encoding);
    try {
        return finish(run(options), options.encoding);
    } catch (const Error &e) {
        return fail(e.message(), options.encoding);
    } catch (const std::exception &e) {
        return fail(QString::fromLocal8Bit(e.what()), options.encoding);
    }
}
