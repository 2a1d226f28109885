#include "catalogue/ItemTable.h"

#include "catalogue/Error.h"
#include "catalogue/ItemCursor.h"
#include "catalogue/ItemStore.h"

#include <sqlite3.h>

#include <map>
#include <new>
#include <string>

namespace vestor {

// The stores of the tables created on one connection, found by "schema.table",
// so that SQLite can connect to a table again after re-reading its schema.
class ItemTables
{
public:
    std::map<std::string, std::shared_ptr<const ItemStore>> stores;
};

namespace {

using itemtable::Cursor;

constexpr char kModuleName[] = "vestor_items";

struct VirtualTable : sqlite3_vtab {
    std::shared_ptr<const ItemStore> store;
};

int connectTable(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **out, char **error)
{
    auto *tables = static_cast<ItemTables *>(aux);
    const auto it = argc >= 3 ? tables->stores.find(std::string(argv[1]) + '.' + argv[2]) : tables->stores.end();
    if (it == tables->stores.end()) {
        *error = sqlite3_mprintf("no item table has been loaded for %s", argc >= 3 ? argv[2] : "this table");
        return SQLITE_ERROR;
    }
    const ItemStore &store = *it->second;
    std::string schema = "CREATE TABLE x(";
    for (int c = 0; c < store.columnCount(); ++c)
        schema += std::string(c ? ", " : "") + store.columnName(c) +
                  (c == 0            ? " INTEGER"
                   : store.isText(c) ? " TEXT"
                                     : " REAL");
    schema += ')';
    if (const int rc = sqlite3_declare_vtab(db, schema.c_str()); rc != SQLITE_OK)
        return rc;
    auto *table = new (std::nothrow) VirtualTable();
    if (!table)
        return SQLITE_NOMEM;
    table->store = it->second;
    *out = table;
    return SQLITE_OK;
}

// No exception may cross SQLite's C frames.
int connect(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **out, char **error)
{
    try {
        return connectTable(db, aux, argc, argv, out, error);
    } catch (const std::bad_alloc &) {
        return SQLITE_NOMEM;
    }
}

int disconnect(sqlite3_vtab *vtab)
{
    delete static_cast<VirtualTable *>(vtab);
    return SQLITE_OK;
}

int bestIndex(sqlite3_vtab *vtab, sqlite3_index_info *info)
{
    try {
        return itemtable::planIndex(*static_cast<VirtualTable *>(vtab)->store, info);
    } catch (const std::bad_alloc &) {
        return SQLITE_NOMEM;
    }
}

int open(sqlite3_vtab *vtab, sqlite3_vtab_cursor **out)
{
    auto *cursor = new (std::nothrow) Cursor();
    if (!cursor)
        return SQLITE_NOMEM;
    cursor->store = static_cast<VirtualTable *>(vtab)->store.get();
    *out = cursor;
    return SQLITE_OK;
}

int close(sqlite3_vtab_cursor *cursor)
{
    delete static_cast<Cursor *>(cursor);
    return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor *c, int idxNum, const char *idxStr, int argc, sqlite3_value **argv)
{
    try {
        itemtable::filterRows(*static_cast<Cursor *>(c), idxNum, idxStr, argc, argv);
    } catch (const std::bad_alloc &) {
        return SQLITE_NOMEM;
    }
    return SQLITE_OK;
}

int next(sqlite3_vtab_cursor *c)
{
    auto &cursor = *static_cast<Cursor *>(c);
    ++cursor.at;
    try {
        cursor.prepareRow();
    } catch (const std::bad_alloc &) {
        return SQLITE_NOMEM;
    }
    return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor *c)
{
    const auto &cursor = *static_cast<Cursor *>(c);
    return cursor.at >= cursor.rows.size();
}

int column(sqlite3_vtab_cursor *c, sqlite3_context *context, int column)
{
    const auto &cursor = *static_cast<Cursor *>(c);
    const ItemStore &store = *cursor.store;
    const std::uint32_t row = cursor.rows[cursor.at];
    if (column == 0) {
        sqlite3_result_int64(context, store.recno(row));
    } else if (store.isText(column)) {
        const std::string_view v = store.text(column, row);
        sqlite3_result_text(context, v.data(), int(v.size()), SQLITE_STATIC);
    } else if (const double v = store.number(column, row); ItemStore::isNull(v)) {
        sqlite3_result_null(context);
    } else {
        sqlite3_result_double(context, v);
    }
    return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor *c, sqlite3_int64 *out)
{
    const auto &cursor = *static_cast<Cursor *>(c);
    *out = cursor.store->recno(cursor.rows[cursor.at]);
    return SQLITE_OK;
}

int destroy(sqlite3_vtab *vtab) { return disconnect(vtab); }

// A read-only table: no xUpdate, no transactions. Built member by member:
// the struct grows with SQLite's versions, and the members not set stay null.
sqlite3_module makeModule()
{
    sqlite3_module m = {};
    m.xCreate = connect;
    m.xConnect = connect;
    m.xBestIndex = bestIndex;
    m.xDisconnect = disconnect;
    m.xDestroy = destroy;
    m.xOpen = open;
    m.xClose = close;
    m.xFilter = filter;
    m.xNext = next;
    m.xEof = eof;
    m.xColumn = column;
    m.xRowid = rowid;
    return m;
}

const sqlite3_module kModule = makeModule();

void freeTables(void *tables) { delete static_cast<ItemTables *>(tables); }

} // namespace

ItemTables *registerItemTables(sqlite3 *db)
{
    auto *tables = new ItemTables();
    if (sqlite3_create_module_v2(db, kModuleName, &kModule, tables, freeTables) != SQLITE_OK)
        throw Error(
            QStringLiteral("Cannot register the item table module: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
    return tables;
}

void createItemTable(ItemTables *tables, sqlite3 *db, const QString &schema, const QString &table,
                     std::shared_ptr<const ItemStore> store)
{
    tables->stores[schema.toStdString() + '.' + table.toStdString()] = std::move(store);
    const auto quoted = [](const QString &name) {
        return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
    };
    const QByteArray sql = QStringLiteral("CREATE VIRTUAL TABLE %1.%2 USING %3")
                               .arg(quoted(schema), quoted(table), QLatin1String(kModuleName))
                               .toUtf8();
    char *message = nullptr;
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw Error(QStringLiteral("Cannot open table %1: %2").arg(table, text));
    }
}

} // namespace vestor
