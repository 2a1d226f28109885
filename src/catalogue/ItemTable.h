#pragma once

// The item table as SQLite sees it: a read-only virtual table over a loaded
// ItemStore. SQLite parses and plans the query text as written; the table
// takes the WHERE terms and the ORDER BY it is offered, picks the rows that
// can match from its own indexes and hands them over in order. It never
// drops a row SQLite would keep: SQLite checks every term again.

#include <QString>
#include <memory>

struct sqlite3;

namespace vestor {

class ItemStore;
class ItemTables;

// Registers the module on `db`; SQLite owns the result and frees it when
// the connection closes.
ItemTables *registerItemTables(sqlite3 *db);

// Creates the table `schema`.`table` over `store`. Throws Error on failure.
void createItemTable(ItemTables *tables, sqlite3 *db, const QString &schema, const QString &table,
                     std::shared_ptr<const ItemStore> store);

} // namespace vestor
