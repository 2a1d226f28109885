// dbf2csv: the reverse of csv2dbf. Writes any item table the program reads
// as the UTF-8 CSV the keepers edit, so that csv2dbf builds the same rows.

#include "ToolIo.h"
#include "catalogue/DbfLoader.h"
#include "catalogue/DbfWriter.h"
#include "catalogue/Error.h"
#include "catalogue/ItemCsv.h"

#include <QFileInfo>

#include <unistd.h>

using namespace vestor;

namespace {

const QString kTool = QStringLiteral("dbf2csv");

QByteArray helpText()
{
    return "Usage: dbf2csv [--help | --version] [--raw] [--force] TABLE.DBF [OUTPUT.csv]\n"
           "\n"
           "Writes the items of a dBase table as the UTF-8 CSV that csv2dbf reads, in\n"
           "file order, deleted records left out. OUTPUT '-' or none is standard\n"
           "output; a file is replaced only once the whole CSV is written. OUTPUT is\n"
           "never TABLE, its TABLE.bak or any other dBase table; a read-only OUTPUT\n"
           "is kept unless --force is given.\n"
           "\n"
           "TABLE is any table the program reads: dBase III/IV or FoxPro with the 27\n"
           "item columns, in Windows-1251, DOS-866 or UTF-8 (from a .cpg file beside\n"
           "it or the language-driver byte). The CSV starts with the header\n  " +
           itemCsvHeader() +
           "\n"
           "Numbers are written in the shortest form that reads back as the same\n"
           "value; a blank field stays an empty cell. So\n"
           "  dbf2csv Subjects.DBF | csv2dbf - Copy.DBF\n"
           "builds a table with the same rows.\n"
           "\n"
           "A text cell that starts with = + - @ TAB or CR gets a ' in front, so that\n"
           "a spreadsheet shows it rather than running it as a formula; csv2dbf takes\n"
           "it off again. --raw writes the cells as they are. Written to a terminal,\n"
           "control characters in cells are shown escaped (\\x1b), so a table cannot\n"
           "steer the terminal; to a file or a pipe the CSV is exact.\n"
           "\n"
           "  --raw          write text cells as they are, with no ' added\n"
           "  --force        replace OUTPUT even when it is read-only\n"
           "  -h, --help     show this help and exit\n"
           "  --version      show the version and exit\n"
           "\n"
           "Exit status: 0 done, 1 a table that cannot be read or an I/O failure,\n"
           "2 wrong usage.\n";
}

const QString kRaw = QStringLiteral("raw");
const QString kForce = QStringLiteral("force");

void writeRows(const ItemRows &rows, QIODevice &out, const QString &name, ItemCsvStyle style)
{
    ItemCsvWriter writer(out, name, style);
    for (int r = 0; r < rows.rowCount(); ++r)
        writer.write(itemRecordAt(rows, r));
    writer.finish();
}

// CSV never goes over an item table: the one being read, its backup or any other.
void refuseTables(const QString &table, const QString &output)
{
    switch (whatOutputOverwrites(output, table)) {
    case Overwrites::Nothing:
        return;
    case Overwrites::TheTable:
        throw Error(QStringLiteral("%1: is the table being read; refusing to overwrite it").arg(output));
    case Overwrites::TheBackup:
        throw Error(QStringLiteral("%1: is the backup of the table being read; refusing to overwrite it").arg(output));
    case Overwrites::ATable:
        throw Error(QStringLiteral("%1: is a dBase table; refusing to overwrite it with CSV").arg(output));
    }
}

// A file is replaced only once the whole CSV is written, and never anything
// but a file.
void writeFile(const ItemRows &rows, const QString &output, ItemCsvStyle style, bool force)
{
    const SaveResult saved = saveAtomically(output,
                                            [&](QFileDevice &file) {
                                                writeRows(rows, file, output, style);
                                                return true;
                                            },
                                            {.replaceReadOnly = force});
    for (const QString &w : saved.warnings)
        tool::printError(QStringLiteral("warning: ") + w);
}

int convert(const QString &table, const QString &output, const tool::ToolArguments &given)
{
    const bool toStdout = output.isEmpty() || output == tool::kStandardStream;
    if (!toStdout)
        refuseTables(table, output);
    const ItemRows rows(loadDbfTable(table, kItemColumns));
    ItemCsvStyle style{.raw = given.isSet(kRaw)};
    if (toStdout) {
        style.escapeControls = ::isatty(STDOUT_FILENO) == 1;
        QFile out;
        tool::openStdout(out);
        writeRows(rows, out, QStringLiteral("standard output"), style);
    } else {
        writeFile(rows, output, style, given.isSet(kForce));
    }
    return tool::kDone;
}

int run(const QStringList &args)
{
    const auto parsed = tool::fileArguments(
        kTool, args, helpText(), 1, 2, QStringLiteral("expected TABLE.DBF and at most one OUTPUT.csv"), {kRaw, kForce});
    if (const int *exit = std::get_if<int>(&parsed))
        return *exit;
    const auto &given = std::get<tool::ToolArguments>(parsed);
    return convert(given.files[0], given.files.value(1), given);
}

} // namespace

int main(int argc, char **argv) { return tool::guarded(kTool, run, tool::arguments(argc, argv)); }
