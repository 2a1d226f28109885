// csv2dbf: turns the UTF-8 item catalogue (CSV) into the dBase III table the
// program reads at start-up. The CSV is what people edit; the .DBF is built.

#include "ToolIo.h"
#include "catalogue/DbfWriter.h"
#include "catalogue/Error.h"
#include "catalogue/ItemCsv.h"

#include <QFileInfo>

#include <sys/stat.h>

using namespace vestor;

namespace {

const QString kTool = QStringLiteral("csv2dbf");
const QString kForce = QStringLiteral("force");
constexpr int kMaxReportedErrors = 50;

QByteArray helpText()
{
    return "Usage: csv2dbf [--help | --version] [--force] INPUT.csv OUTPUT.DBF\n"
           "\n"
           "Converts the item catalogue from CSV to a dBase III table. INPUT '-' reads\n"
           "standard input.\n"
           "\n"
           "Input: UTF-8 text (a leading BOM is ignored), comma separated, RFC 4180\n"
           "quoting (\"a, b\", \"say \"\"hi\"\"\"), LF or CRLF line ends, blank lines at\n"
           "the end ignored. The first line is the header and must be exactly:\n  " +
           itemCsvHeader() +
           "\n"
           "Every following line is one item with all 27 cells.\n"
           "  TYPE, NAME, RACE   text, not empty nor only spaces, must exist in\n"
           "                     Windows-1251 and take at most 50 bytes there; one '\n"
           "                     before = + - @ TAB or CR (as dbf2csv writes it for\n"
           "                     spreadsheets) is taken off\n"
           "  all other columns  numbers: optional sign, digits, optional '.' and up\n"
           "                     to 2 fraction digits (e.g. 12, -5, 0.5); an empty\n"
           "                     cell is a blank field\n"
           "A TYPE no slot takes or a RACE that is no race's code is stored but\n"
           "warned about (INPUT:LINE: ...): no pick will ever choose that item. The\n"
           "first 20 warnings are shown, then how many more there were.\n"
           "\n"
           "Output: character fields of width 50, numeric fields N(12,2), language\n"
           "driver 0xC9 (Windows-1251). The table is replaced only when the whole\n"
           "input is valid, all at once; a NAME.cpg beside it (any letter case) is\n"
           "removed, since it would override the code page. OUTPUT must be a regular\n"
           "file (or a link to one) and not the input. A read-only OUTPUT is kept\n"
           "unless --force is given.\n"
           "\n"
           "  --force        replace OUTPUT even when it is read-only\n"
           "  -h, --help     show this help and exit\n"
           "  --version      show the version and exit\n"
           "\n"
           "Exit status: 0 done, 1 bad input or I/O failure (messages as\n"
           "INPUT:LINE: reason), 2 wrong usage.\n";
}

// The output must not be the input under another name: replacing it would
// destroy what is being read.
void refuseSameFile(const QFile &input, const QString &output)
{
    struct stat in {
    }, out{};
    if (::fstat(input.handle(), &in) != 0 || ::stat(QFile::encodeName(output).constData(), &out) != 0)
        return;
    if (in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        throw Error(QStringLiteral("%1: is the input file; refusing to overwrite it").arg(output));
}

void openInput(QFile &file, const QString &path)
{
    if (path == tool::kStandardStream)
        return tool::openStdin(file);
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("%1: cannot open: %2").arg(path, file.errorString()));
    if (!QFileInfo(path).isFile() && !file.isSequential())
        throw Error(QStringLiteral("%1: not a regular file").arg(path));
}

// Checks every row and writes the good ones while none was bad; true when
// every row was good.
bool copyRows(ItemCsvReader &reader, ItemTableWriter &writer, const QString &inputName, tool::WarningPrinter &warnings)
{
    int errors = 0;
    while (auto row = reader.next()) {
        for (const QString &warning : row->warnings)
            warnings.print(warning);
        std::vector<QString> problems = std::move(row->problems);
        if (problems.empty() && errors == 0)
            for (const QString &p : writer.write(row->record))
                problems.push_back(QStringLiteral("%1:%2: %3").arg(inputName).arg(row->line).arg(p));
        for (const QString &p : problems)
            tool::printError(p);
        errors += int(problems.size());
        if (errors >= kMaxReportedErrors) {
            tool::printError(QStringLiteral("%1:%2: too many errors, stopped here").arg(inputName).arg(row->line));
            return false;
        }
    }
    return errors == 0;
}

int convert(const QString &input, const QString &output, bool force)
{
    QFile in;
    openInput(in, input);
    refuseSameFile(in, output);
    const QString inputName = input == tool::kStandardStream ? QStringLiteral("stdin") : input;
    ItemCsvReader reader(in, inputName);
    tool::WarningPrinter warnings;
    const SaveResult saved =
        saveItemTable(output, [&](ItemTableWriter &writer) { return copyRows(reader, writer, inputName, warnings); },
                      {.replaceReadOnly = force});
    warnings.finish(inputName);
    // The table is in place; what failed after that is told, not failed.
    for (const QString &w : saved.warnings)
        tool::printError(QStringLiteral("warning: ") + w);
    return saved ? tool::kDone : tool::kFailed;
}

int run(const QStringList &args)
{
    const auto parsed = tool::fileArguments(kTool, args, helpText(), 2, 2,
                                            QStringLiteral("expected INPUT.csv and OUTPUT.DBF"), {kForce});
    if (const int *exit = std::get_if<int>(&parsed))
        return *exit;
    const auto &given = std::get<tool::ToolArguments>(parsed);
    return convert(given.files[0], given.files[1], given.isSet(kForce));
}

} // namespace

int main(int argc, char **argv) { return tool::guarded(kTool, run, tool::arguments(argc, argv)); }
