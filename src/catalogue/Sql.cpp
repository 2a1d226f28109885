#include "catalogue/Sql.h"

#include "catalogue/Convert.h"
#include "catalogue/DbfLoader.h"
#include "catalogue/Error.h"
#include "catalogue/ItemTable.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vestor {

namespace {

QString lastError(sqlite3 *db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

} // namespace

Database *Session::find(const QString &databaseName) const
{
    for (Database *db : databases_)
        if (!databaseName.isEmpty() && db->databaseName.compare(databaseName, Qt::CaseInsensitive) == 0)
            return db;
    return nullptr;
}

Database::Database(Session &session) : session_(session) { session_.databases_.push_back(this); }

Database::~Database()
{
    std::erase(session_.databases_, this);
    sqlite3_close_v2(db_);
}

QString Database::path() const
{
    for (const QString &line : params)
        if (line.startsWith(QStringLiteral("PATH="), Qt::CaseInsensitive))
            return line.mid(5);
    return {};
}

void Database::open()
{
    if (db_)
        return;
    if (driverName.compare(QStringLiteral("STANDARD"), Qt::CaseInsensitive) != 0)
        throw Error(QStringLiteral("Unknown database driver '%1' for database '%2'").arg(driverName, databaseName));
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        const QString message = db ? lastError(db) : QStringLiteral("out of memory");
        sqlite3_close_v2(db);
        throw Error(QStringLiteral("Cannot open database '%1': %2").arg(databaseName, message));
    }
    try {
        itemTables_ = registerItemTables(db);
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
    db_ = db;
}

Table::Table(Session &session, std::span<const ItemColumn> declaredFields)
    : session_(session), declared_(declaredFields)
{
}

void Table::open()
{
    if (!active_)
        load();
}

void Table::reload() { load(); }

void Table::load()
{
    Database *db = session_.find(databaseName);
    if (!db)
        throw Error(databaseName.isEmpty() ? QStringLiteral("Table %1 has no database").arg(tableName)
                                           : QStringLiteral("Unknown database: %1").arg(databaseName));
    db->open();

    const QDir dir(db->path());
    if (db->path().isEmpty() || !dir.exists())
        throw Error(QStringLiteral("Cannot open table %1: the directory %2 does not exist")
                        .arg(tableName, QDir::toNativeSeparators(dir.absolutePath())));
    // dBase file names match without regard to letter case.
    QString file;
    // System entries too: a FIFO under the name is refused by the loader, not passed over.
    for (const QString &entry : dir.entryList(QDir::Files | QDir::System))
        if (entry.compare(tableName, Qt::CaseInsensitive) == 0)
            file = dir.filePath(entry);
    if (file.isEmpty())
        throw Error(QStringLiteral("Cannot open table %1: there is no such file in %2")
                        .arg(tableName, QDir::toNativeSeparators(dir.absolutePath())));
    // Read before anything of the table loaded earlier goes: a file that
    // fails to load leaves that one in place.
    // Taken first: a change while the rows are read then shows as one.
    std::optional<FileIdentity> identity = FileIdentity::of(file);
    const std::shared_ptr<const ItemStore> store = loadDbfTable(file, declared_, onLoadProgress);

    const QFileInfo name(tableName);
    const QString schema = name.completeBaseName();
    const QString table = name.suffix().toLower();
    // A fresh schema per load, so a table that failed half-way leaves nothing behind.
    sqlite3_exec(db->handle(), QStringLiteral("DETACH DATABASE \"%1\"").arg(schema).toUtf8().constData(), nullptr,
                 nullptr, nullptr);
    char *message = nullptr;
    if (sqlite3_exec(db->handle(),
                     QStringLiteral("ATTACH DATABASE ':memory:' AS \"%1\"").arg(schema).toUtf8().constData(), nullptr,
                     nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message);
        sqlite3_free(message);
        throw Error(QStringLiteral("Cannot open table %1: %2").arg(tableName, text));
    }
    createItemTable(db->itemTables(), db->handle(), schema, table, store);
    records_ = qint64(store->rowCount());
    rows_ = ItemRows(store);
    filePath_ = file;
    identity_ = std::move(identity);
    active_ = true;
}

Query::Query(Session &session) : session_(session) {}

Query::~Query() { sqlite3_finalize(prepared_); }

void Query::setSql(const QString &text)
{
    close();
    sqlite3_finalize(prepared_);
    prepared_ = nullptr;
    preparedOn_ = nullptr;
    sql_ = text;
}

void Query::declareParam(const QString &name, ParamType type, const QVariant &initial)
{
    params_.push_back({name, type, initial});
}

Query::Param &Query::findParam(const QString &name)
{
    return const_cast<Param &>(std::as_const(*this).findParam(name));
}

const Query::Param &Query::findParam(const QString &name) const
{
    const auto it = std::find_if(params_.begin(), params_.end(),
                                 [&](const Param &p) { return p.name.compare(name, Qt::CaseInsensitive) == 0; });
    if (it == params_.end())
        throw Error(QStringLiteral("Parameter '%1' not found").arg(name));
    return *it;
}

void Query::setParam(const QString &name, const QVariant &value) { findParam(name).value = value; }

QVariant Query::param(const QString &name) const { return findParam(name).value; }

Query::ParamType Query::paramType(const QString &name) const { return findParam(name).type; }

void Query::close()
{
    if (stmt_)
        sqlite3_reset(stmt_);
    stmt_ = nullptr;
    onRow_ = false;
}

void Query::open()
{
    close();
    Database *db = session_.find(databaseName);
    if (!db)
        throw Error(databaseName.isEmpty() ? QStringLiteral("The query has no database")
                                           : QStringLiteral("Unknown database: %1").arg(databaseName));
    db->open();

    if (!prepared_ || preparedOn_ != db->handle())
        prepare(db->handle());
    bindParams();
    stmt_ = prepared_;
    if (onOpen) {
        char *expanded = sqlite3_expanded_sql(stmt_);
        onOpen(QString::fromUtf8(expanded ? expanded : sqlite3_sql(stmt_)));
        sqlite3_free(expanded);
    }
    step();
}

// Rows sharing the maximum come in the file's order: every loaded table
// carries its record number as RECNO, and the statement runs wrapped in an
// order by it. Without that order ties would go to whichever row SQLite met
// first, so a statement that cannot be wrapped is an error, never run bare.
void Query::prepare(sqlite3 *db)
{
    sqlite3_finalize(prepared_);
    prepared_ = nullptr;
    preparedOn_ = nullptr;
    const QByteArray ordered = ("SELECT * FROM (\n" + sql_ + "\n) ORDER BY RECNO").toUtf8();
    if (sqlite3_prepare_v2(db, ordered.constData(), -1, &prepared_, nullptr) != SQLITE_OK) {
        const QString wrapped = lastError(db);
        sqlite3_finalize(prepared_);
        prepared_ = nullptr;
        // The statement's own fault, if it has one, says more than the wrapper's.
        sqlite3_stmt *bare = nullptr;
        const bool bareFails = sqlite3_prepare_v2(db, sql_.toUtf8().constData(), -1, &bare, nullptr) != SQLITE_OK;
        const QString message =
            bareFails ? lastError(db) : QStringLiteral("Cannot keep the rows in file order: ") + wrapped;
        sqlite3_finalize(bare);
        throw Error(message);
    }
    preparedOn_ = db;
    columns_.clear();
    for (int i = 0; i < sqlite3_column_count(prepared_); ++i)
        columns_.emplace(QString::fromUtf8(sqlite3_column_name(prepared_, i)).toUpper(), i);
}

void Query::bindParams()
{
    sqlite3_clear_bindings(prepared_);
    for (const Param &p : params_) {
        const int index = sqlite3_bind_parameter_index(prepared_, (u':' + p.name).toUtf8().constData());
        if (index == 0 || p.value.isNull())
            continue;
        if (p.type == ParamType::String) {
            const QByteArray text = p.value.toString().toUtf8();
            sqlite3_bind_text(prepared_, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            continue;
        }
        bool ok = false;
        const double value = p.value.toDouble(&ok);
        if (!ok)
            throw Error(QStringLiteral("'%1' is not a valid integer value").arg(p.value.toString()));
        const double rounded = roundHalfEven(value);
        if (!(rounded >= std::numeric_limits<qint32>::min() && rounded <= std::numeric_limits<qint32>::max()))
            throw Error(QStringLiteral("Range check error: %1 does not fit the integer parameter '%2'")
                            .arg(QString::number(value, 'g', 17), p.name));
        sqlite3_bind_int(prepared_, index, int(rounded));
    }
}

void Query::step()
{
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        onRow_ = true;
        return;
    }
    onRow_ = false;
    if (rc != SQLITE_DONE) {
        const QString message = lastError(preparedOn_);
        close();
        throw Error(message);
    }
}

void Query::next()
{
    if (stmt_ && onRow_)
        step();
}

QVariant Query::fieldByName(const QString &name) const
{
    if (!stmt_)
        throw Error(QStringLiteral("Cannot read field '%1': the query is not open").arg(name));
    const auto it = columns_.find(name.toUpper());
    if (it == columns_.end())
        throw Error(QStringLiteral("Field '%1' not found").arg(name));
    if (!onRow_)
        return {};
    switch (sqlite3_column_type(stmt_, it->second)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt_, it->second)),
                                 sqlite3_column_bytes(stmt_, it->second));
    default:
        return sqlite3_column_double(stmt_, it->second);
    }
}

} // namespace vestor
