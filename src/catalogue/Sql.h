#pragma once

// A small stand-in for a desktop database engine: a named database on a
// directory of dBase tables, tables opened with their declared fields, and
// parameterised queries whose current row is read field by field. The SQL
// runs on SQLite: each opened table file NAME.EXT is loaded and served as the
// virtual table EXT of an attached in-memory schema NAME (ItemTable.h), so
// "FROM Subjects.dbf" names it.

#include "catalogue/Columns.h"
#include "catalogue/DbfLoader.h"
#include "catalogue/FileIdentity.h"
#include "catalogue/ItemRows.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vestor {

class Database;
class ItemTables;

// The databases of one program, found by name.
class Session
{
public:
    Database *find(const QString &databaseName) const;

private:
    friend class Database;
    std::vector<Database *> databases_;
};

class Database
{
public:
    explicit Database(Session &session);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    QString databaseName;
    QString driverName;
    QStringList params; // "PATH=<directory>"

    // The PATH= parameter, empty when there is none.
    QString path() const;
    // Connects on first use; throws Error when the driver is unknown.
    void open();

private:
    // The connection and its item tables are the catalogue's own business.
    friend class Table;
    friend class Query;
    sqlite3 *handle() const { return db_; }
    ItemTables *itemTables() const { return itemTables_; }

    Session &session_;
    sqlite3 *db_ = nullptr;
    ItemTables *itemTables_ = nullptr; // owned by the connection
};

class Table
{
public:
    Table(Session &session, std::span<const ItemColumn> declaredFields);

    QString databaseName;
    QString tableName;
    // Told the load's progress while open() reads the table file.
    LoadProgress onLoadProgress;

    // Opens the database if needed and loads the table file, checking the
    // declared fields. Opening an open table does nothing.
    void open();
    // Loads the table file again, as open() does, in place of the rows loaded
    // before; when it fails they stay. No query may be open meanwhile.
    void reload();
    bool active() const { return active_; }
    qint64 recordCount() const { return records_; }
    // The loaded rows; empty before open().
    const ItemRows &rows() const { return rows_; }
    // The file the rows were read from, and what it was just before it was
    // read (nothing when it could not be read), so a writer can tell whether
    // another program has changed it since.
    const QString &filePath() const { return filePath_; }
    const std::optional<FileIdentity> &fileIdentity() const { return identity_; }

private:
    void load();

    Session &session_;
    std::span<const ItemColumn> declared_;
    ItemRows rows_;
    QString filePath_;
    std::optional<FileIdentity> identity_;
    bool active_ = false;
    qint64 records_ = 0;
};

class Query
{
public:
    enum class ParamType { Integer, String };

    explicit Query(Session &session);
    ~Query();
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    QString databaseName;
    // Told the statement each time the query opens, with its values in place.
    std::function<void(const QString &statement)> onOpen;

    void setSql(const QString &text);
    const QString &sql() const { return sql_; }

    void declareParam(const QString &name, ParamType type, const QVariant &initial = {});
    // Only stores the value; it takes effect when the query next opens.
    void setParam(const QString &name, const QVariant &value);
    QVariant param(const QString &name) const;
    ParamType paramType(const QString &name) const;

    // Runs the SQL with the current parameter values and stands on the first
    // row. Integer parameters round half to even; a value outside the signed
    // 32-bit range is a range error. Ties keep the file's order.
    void open();
    void close();
    bool active() const { return stmt_ != nullptr; }
    bool eof() const { return !onRow_; }
    void next();

    // The current row's field, null when there is no row.
    QVariant fieldByName(const QString &name) const;

private:
    struct Param {
        QString name;
        ParamType type;
        QVariant value;
    };
    Param &findParam(const QString &name);
    const Param &findParam(const QString &name) const;
    void prepare(sqlite3 *db);
    void bindParams();
    void step();

    Session &session_;
    QString sql_;
    std::vector<Param> params_;
    sqlite3 *preparedOn_ = nullptr;
    sqlite3_stmt *stmt_ = nullptr;
    sqlite3_stmt *prepared_ = nullptr;
    std::map<QString, int> columns_; // upper-case name -> column
    bool onRow_ = false;
};

} // namespace vestor
