// dbf2csv: the reverse of csv2dbf. Writes any item table the program reads
// as the UTF-8 CSV the keepers edit, so that csv2dbf builds the same rows.

#include "ToolIo.h"
#include "catalogue/DbfLoader.h"
#include "catalogue/DbfWriter.h"
#include "catalogue/Error.h"
#include "catalogue/ItemCsv.h"

#include <QFileInfo>

using namespace vestor;

namespace {

const QString kTool = QStringLiteral("dbf2csv");

QByteArray helpText()
{
    return "Usage: dbf2csv [--help | --version] TABLE.DBF [OUTPUT.csv]\n"
           "\n"
           "Writes the items of a dBase table as the UTF-8 CSV that csv2dbf reads, in\n"
           "file order, deleted records left out. OUTPUT '-' or none is standard\n"
           "output; a file is replaced only once the whole CSV is written.\n"
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
           "  -h, --help     show this help and exit\n"
           "  --version      show the version and exit\n"
           "\n"
           "Exit status: 0 done, 1 a table that cannot be read or an I/O failure,\n"
           "2 wrong usage.\n";
}

void writeRows(const ItemRows &rows, QIODevice &out, const QString &name)
{
    ItemCsvWriter writer(out, name);
    for (int r = 0; r < rows.rowCount(); ++r)
        writer.write(itemRecordAt(rows, r));
    writer.finish();
}

// A file is replaced only once the whole CSV is written, never the table
// itself or anything but a file.
void writeFile(const ItemRows &rows, const QString &table, const QString &output)
{
    const QFileInfo info(output);
    if (info.exists() && info.canonicalFilePath() == QFileInfo(table).canonicalFilePath())
        throw Error(QStringLiteral("%1: is the table being read; refusing to overwrite it").arg(output));
    saveAtomically(output, [&](QFileDevice &file) {
        writeRows(rows, file, output);
        return true;
    });
}

int convert(const QString &table, const QString &output)
{
    const ItemRows rows(loadDbfTable(table, kItemColumns));
    if (output.isEmpty() || output == tool::kStandardStream) {
        QFile out;
        tool::openStdout(out);
        writeRows(rows, out, QStringLiteral("standard output"));
    } else {
        writeFile(rows, table, output);
    }
    return tool::kDone;
}

int run(const QStringList &args)
{
    const auto files = tool::fileArguments(kTool, args, helpText(), 1, 2,
                                           QStringLiteral("expected TABLE.DBF and at most one OUTPUT.csv"));
    if (const int *exit = std::get_if<int>(&files))
        return *exit;
    const auto &names = std::get<QStringList>(files);
    return convert(names[0], names.value(1));
}

} // namespace

int main(int argc, char **argv) { return tool::guarded(kTool, run, tool::arguments(argc, argv)); }
