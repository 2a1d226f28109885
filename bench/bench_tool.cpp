// Helpers for scripts/bench, each one a separate process so that its figures
// are its own:
//   vestor_bench_tool generate ROWS DIR       write DIR/Subjects.DBF
//   vestor_bench_tool rss DIR                 load DIR/Subjects.DBF, print the resident size
//   vestor_bench_tool statements DIR OUT      run one pick; write the twelve statements it ran,
//                                             with their values, as a sqlite3 script OUT.sql, and
//                                             the loaded table with the indexes they need as OUT.sqlite

#include "ItemTables.h"
#include "PickScenario.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Error.h"
#include "catalogue/ItemRows.h"
#include "engine/Picker.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

long statusKb(const char *field)
{
    std::ifstream f("/proc/self/status");
    for (std::string line; std::getline(f, line);)
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::strlen(field)));
    return -1;
}

void exec(sqlite3 *db, const QString &sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message);
        sqlite3_free(message);
        throw vestor::Error(sql.left(60) + QStringLiteral(": ") + text);
    }
}

// The loaded rows as the plain table exported.dbf, RECNO first.
void exportRows(sqlite3 *db, const vestor::ItemRows &rows)
{
    QString columns = QStringLiteral("RECNO INTEGER PRIMARY KEY");
    QString values = QStringLiteral("?");
    for (const auto &column : vestor::kItemColumns) {
        columns +=
            QStringLiteral(", %1 %2").arg(column.name, column.kind == vestor::ColumnKind::String ? "TEXT" : "REAL");
        values += QStringLiteral(", ?");
    }
    exec(db, QStringLiteral("CREATE TABLE exported.dbf (%1); BEGIN").arg(columns));
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db, QStringLiteral("INSERT INTO exported.dbf VALUES (%1)").arg(values).toUtf8().constData(), -1,
                       &insert, nullptr);
    for (int row = 0; row < rows.rowCount(); ++row) {
        sqlite3_bind_int64(insert, 1, rows.recordNumber(row));
        for (int c = 0; c < vestor::kItemColumnCount; ++c) {
            if (vestor::kItemColumns[c].kind == vestor::ColumnKind::String) {
                const std::string_view text = rows.utf8(c, row);
                sqlite3_bind_text(insert, c + 2, text.data(), int(text.size()), SQLITE_STATIC);
            } else if (const auto number = rows.number(c, row)) {
                sqlite3_bind_double(insert, c + 2, *number);
            } else {
                sqlite3_bind_null(insert, c + 2);
            }
        }
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    exec(db, QStringLiteral("COMMIT"));
}

int statements(const QString &dir, const QString &out)
{
    vestor::Catalogue c;
    c.setUpIn(dir);
    QStringList ran;
    for (int stat = 1; stat <= vestor::kStatCount; ++stat)
        c.query(stat).onOpen = [&ran](const QString &sql) { ran << sql; };
    vestor::TextWindow w;
    vestorbench::fillScenario(w, c);
    vestor::Picker(w, c).Button1Click();
    for (int stat = 1; stat <= vestor::kStatCount; ++stat)
        c.query(stat).close(); // the pick leaves them standing on their rows

    // The plain table as a file, with an index (TYPE, RACE, stat) for every
    // stat the statements maximise: SQLite's best plan for them.
    QFile::remove(out + QStringLiteral(".sqlite"));
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    exec(db, QStringLiteral("ATTACH '%1' AS exported").arg(out + QStringLiteral(".sqlite")));
    exportRows(db, c.rows());
    QSet<QString> indexed;
    static const QRegularExpression maxOf(QStringLiteral("Max \\( (\\w+) \\)"));
    for (const QString &sql : ran) {
        const QString stat = maxOf.match(sql).captured(1);
        if (!stat.isEmpty() && !indexed.contains(stat)) {
            indexed.insert(stat);
            exec(db, QStringLiteral("CREATE INDEX exported.by_%1 ON dbf (TYPE, RACE, %1)").arg(stat));
        }
    }
    exec(db, QStringLiteral("ANALYZE exported; DETACH exported"));
    sqlite3_close(db);

    QFile script(out + QStringLiteral(".sql"));
    if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw vestor::Error(QStringLiteral("cannot write ") + script.fileName());
    for (const QString &sql : ran)
        script.write((QString(sql).replace(u'\n', u' ') + QStringLiteral(";\n")).toUtf8());
    std::printf("%lld statements, %lld indexes\n", qlonglong(ran.size()), qlonglong(indexed.size()));
    return ran.size() == 12 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    try {
        if (command == QLatin1String("generate") && argc == 4) {
            vestorbench::writeItemTable(QString::fromLocal8Bit(argv[3]) + QStringLiteral("/Subjects.DBF"),
                                        std::stoll(argv[2]));
            return 0;
        }
        if (command == QLatin1String("generate-csv") && argc == 4) {
            vestorbench::writeItemCsv(QString::fromLocal8Bit(argv[3]), std::stoll(argv[2]));
            return 0;
        }
        if (command == QLatin1String("rss") && argc == 3) {
            QElapsedTimer t;
            t.start();
            vestor::Catalogue c;
            c.setUpIn(QString::fromLocal8Bit(argv[2]));
            const double ms = double(t.nsecsElapsed()) / 1e6;
            std::printf("rows %lld load_ms %.1f rss_kb %ld peak_kb %ld\n", qlonglong(c.recordCount()), ms,
                        statusKb("VmRSS:"), statusKb("VmHWM:"));
            return 0;
        }
        if (command == QLatin1String("statements") && argc == 4)
            return statements(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    } catch (const vestor::Error &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    std::fprintf(
        stderr, "usage: vestor_bench_tool generate ROWS DIR | generate-csv ROWS FILE | rss DIR | statements DIR OUT\n");
    return 2;
}
