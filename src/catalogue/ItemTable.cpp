#include "ItemTable.h"

#include "Error.h"
#include "ItemStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <span>
#include <string>
#include <vector>

namespace vestor {

// The stores of the tables created on one connection, found by "schema.table",
// so that SQLite can connect to a table again after re-reading its schema.
class ItemTables
{
public:
    std::map<std::string, std::shared_ptr<const ItemStore>> stores;
};

namespace {

constexpr char kModuleName[] = "vestor_items";

struct VirtualTable : sqlite3_vtab {
    std::shared_ptr<const ItemStore> store;
};

// One WHERE term that xBestIndex passes on to xFilter.
struct Term {
    int column;
    int op;
    bool in;     // the whole IN list comes as one argument
    bool binary; // compared under the BINARY collation
};

// idxStr: "column op in binary;" per term.
std::string encode(const std::vector<Term> &terms)
{
    std::string s;
    for (const Term &t : terms)
        s += std::to_string(t.column) + ' ' + std::to_string(t.op) + ' ' + char('0' + t.in) + ' ' +
             char('0' + t.binary) + ';';
    return s;
}

std::vector<Term> decode(const char *s)
{
    std::vector<Term> terms;
    while (s && *s) {
        char *end = nullptr;
        Term t{};
        t.column = int(std::strtol(s, &end, 10));
        t.op = int(std::strtol(end, &end, 10));
        t.in = std::strtol(end, &end, 10) != 0;
        t.binary = std::strtol(end, &end, 10) != 0;
        if (*end != ';')
            break;
        terms.push_back(t);
        s = end + 1;
    }
    return terms;
}

// A term with its right-hand values, ready to test rows. Only what it can
// judge exactly as SQLite would is tested here; the rest is left to SQLite.
struct Filter {
    int column;
    int op;
    bool text;
    std::vector<double> numbers;
    std::vector<std::string> texts;
    // An equality on a text column, as the codes of its values.
    const std::vector<std::uint32_t> *codeOfRow = nullptr;
    std::vector<std::uint32_t> codes;

    bool admits(const ItemStore &store, std::uint32_t row) const
    {
        if (codeOfRow)
            return std::find(codes.begin(), codes.end(), (*codeOfRow)[row]) != codes.end();
        if (text) {
            const std::string_view v = store.text(column, row);
            if (op == SQLITE_INDEX_CONSTRAINT_EQ)
                return std::find(texts.begin(), texts.end(), v) != texts.end();
            const int c = v.compare(texts.front());
            return compare(c);
        }
        const double v = column == 0 ? double(store.recno(row)) : store.number(column, row);
        if (ItemStore::isNull(v))
            return false;
        if (op == SQLITE_INDEX_CONSTRAINT_EQ)
            return std::find(numbers.begin(), numbers.end(), v) != numbers.end();
        const double x = numbers.front();
        return compare(v < x ? -1 : v > x ? 1 : 0);
    }

    // Moves the rows this term admits to the front of `rows`, in their order,
    // and returns how many there are. The common terms (a number against one
    // value, one or two codes) get loops of their own.
    std::size_t keep(const ItemStore &store, std::span<std::uint32_t> rows) const
    {
        std::size_t kept = 0;
        auto keepIf = [&](auto test) {
            for (std::uint32_t row : rows)
                if (test(row))
                    rows[kept++] = row;
        };
        // NaN, the null, fails every comparison, as NULL does.
        const double x = numbers.empty() ? 0 : numbers.front();
        auto compareAll = [&](const auto *v) {
            switch (op) {
            case SQLITE_INDEX_CONSTRAINT_LE:
                keepIf([&](std::uint32_t r) { return v[r] <= x; });
                break;
            case SQLITE_INDEX_CONSTRAINT_LT:
                keepIf([&](std::uint32_t r) { return v[r] < x; });
                break;
            case SQLITE_INDEX_CONSTRAINT_GE:
                keepIf([&](std::uint32_t r) { return v[r] >= x; });
                break;
            case SQLITE_INDEX_CONSTRAINT_GT:
                keepIf([&](std::uint32_t r) { return v[r] > x; });
                break;
            default:
                if (numbers.size() == 1)
                    keepIf([&](std::uint32_t r) { return v[r] == x; });
                else
                    keepIf([&](std::uint32_t r) { return admits(store, r); });
            }
        };
        if (codeOfRow && codes.size() <= 2) {
            const std::uint32_t *code = codeOfRow->data();
            const std::uint32_t a = codes.front(), b = codes.back();
            keepIf([&](std::uint32_t r) { return code[r] == a || code[r] == b; });
        } else if (!text && column > 0) {
            store.withNumbers(column, compareAll);
        } else {
            keepIf([&](std::uint32_t r) { return admits(store, r); });
        }
        return kept;
    }

    bool compare(int c) const
    {
        switch (op) {
        case SQLITE_INDEX_CONSTRAINT_GT:
            return c > 0;
        case SQLITE_INDEX_CONSTRAINT_GE:
            return c >= 0;
        case SQLITE_INDEX_CONSTRAINT_LT:
            return c < 0;
        case SQLITE_INDEX_CONSTRAINT_LE:
            return c <= 0;
        default:
            return c == 0;
        }
    }
};

enum class Judged { Testable, Untestable, MatchesNothing };

// Adds one right-hand value to `f`. Mixed kinds (a text compared with a
// number column and the like) follow SQLite's affinity rules, which are left to SQLite.
Judged addValue(Filter &f, sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
        return Judged::Testable; // equal to nothing, in any comparison
    case SQLITE_INTEGER: {
        const sqlite3_int64 i = sqlite3_value_int64(v);
        if (f.text || i > (sqlite3_int64(1) << 53) || i < -(sqlite3_int64(1) << 53))
            return Judged::Untestable;
        f.numbers.push_back(double(i));
        return Judged::Testable;
    }
    case SQLITE_FLOAT:
        if (f.text)
            return Judged::Untestable;
        f.numbers.push_back(sqlite3_value_double(v));
        return Judged::Testable;
    case SQLITE_TEXT:
        if (!f.text)
            return Judged::Untestable;
        f.texts.emplace_back(reinterpret_cast<const char *>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
        return Judged::Testable;
    default:
        return Judged::Untestable;
    }
}

Judged makeFilter(const ItemStore &store, const Term &term, sqlite3_value *arg, Filter &f)
{
    f = Filter{term.column, term.op, store.isText(term.column), {}, {}};
    if (f.text && !term.binary)
        return Judged::Untestable;
    if (term.in) {
        sqlite3_value *v = nullptr;
        for (int rc = sqlite3_vtab_in_first(arg, &v); rc == SQLITE_OK && v; rc = sqlite3_vtab_in_next(arg, &v))
            if (addValue(f, v) == Judged::Untestable)
                return Judged::Untestable;
    } else if (addValue(f, arg) == Judged::Untestable) {
        return Judged::Untestable;
    }
    // Each value once: the rows of a value are looked up per value.
    std::sort(f.numbers.begin(), f.numbers.end());
    f.numbers.erase(std::unique(f.numbers.begin(), f.numbers.end()), f.numbers.end());
    std::sort(f.texts.begin(), f.texts.end());
    f.texts.erase(std::unique(f.texts.begin(), f.texts.end()), f.texts.end());
    return f.numbers.empty() && f.texts.empty() ? Judged::MatchesNothing : Judged::Testable;
}

struct Cursor : sqlite3_vtab_cursor {
    const ItemStore *store = nullptr;
    std::vector<std::uint32_t> rows; // handed out so far, or all of them
    std::size_t at = 0;
    int orderColumn = -1; // 0 for RECNO
    bool descending = false;
    // Rows sorted by a number column only as far as they are read.
    std::size_t sortedUpTo = 0;
    // Or rows drawn on demand from groups already in the column's order, merged
    // and tested: a maximum reads one row and stops.
    std::vector<std::pair<const std::uint32_t *, const std::uint32_t *>> runs; // rows still to read
    std::vector<Filter> tests;

    bool before(std::uint32_t a, std::uint32_t b) const
    {
        const double x = store->number(orderColumn, a);
        const double y = store->number(orderColumn, b);
        return descending ? ItemStore::less(y, x) : ItemStore::less(x, y);
    }

    void sortFrom(std::size_t from)
    {
        auto cmp = [this](std::uint32_t a, std::uint32_t b) { return before(a, b); };
        // A maximum reads one row: sort a few first, the rest only if asked.
        const std::size_t first = from == 0 ? std::min<std::size_t>(8, rows.size()) : rows.size();
        std::partial_sort(rows.begin() + std::ptrdiff_t(from), rows.begin() + std::ptrdiff_t(first), rows.end(), cmp);
        sortedUpTo = first;
    }

    // Appends the next admitted row of the runs; false when there is none.
    bool pull()
    {
        for (;;) {
            std::pair<const std::uint32_t *, const std::uint32_t *> *best = nullptr;
            for (auto &run : runs) {
                if (run.first == run.second)
                    continue;
                // Ascending runs are read from the front, descending ones from the back.
                if (!best ||
                    before(descending ? run.second[-1] : *run.first, descending ? best->second[-1] : *best->first))
                    best = &run;
            }
            if (!best)
                return false;
            const std::uint32_t row = descending ? *--best->second : *best->first++;
            if (std::all_of(tests.begin(), tests.end(), [&](const Filter &f) { return f.admits(*store, row); })) {
                rows.push_back(row);
                return true;
            }
        }
    }
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

int planIndex(sqlite3_vtab *vtab, sqlite3_index_info *info)
{
    const ItemStore &store = *static_cast<VirtualTable *>(vtab)->store;
    std::vector<Term> terms;
    double rows = double(std::max<std::size_t>(store.rowCount(), 1));
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto &c = info->aConstraint[i];
        const bool comparison = c.op == SQLITE_INDEX_CONSTRAINT_EQ || c.op == SQLITE_INDEX_CONSTRAINT_GT ||
                                c.op == SQLITE_INDEX_CONSTRAINT_LE || c.op == SQLITE_INDEX_CONSTRAINT_LT ||
                                c.op == SQLITE_INDEX_CONSTRAINT_GE;
        if (!c.usable || !comparison)
            continue;
        Term t{c.iColumn < 0 ? 0 : c.iColumn, c.op, false, std::strcmp(sqlite3_vtab_collation(info, i), "BINARY") == 0};
        if (c.op == SQLITE_INDEX_CONSTRAINT_EQ && sqlite3_vtab_in(info, i, -1)) {
            sqlite3_vtab_in(info, i, 1);
            t.in = true;
        }
        info->aConstraintUsage[i].argvIndex = int(terms.size()) + 1;
        info->aConstraintUsage[i].omit = 0; // SQLite checks every term again
        terms.push_back(t);
        rows /= c.op == SQLITE_INDEX_CONSTRAINT_EQ ? 10 : 3;
    }
    // One number column or RECNO in either direction: handed out in that order.
    if (info->nOrderBy == 1) {
        const int column = info->aOrderBy[0].iColumn < 0 ? 0 : info->aOrderBy[0].iColumn;
        if (!store.isText(column)) {
            info->orderByConsumed = 1;
            info->idxNum = 1 + 2 * column + (info->aOrderBy[0].desc ? 1 : 0);
        }
    }
    info->idxStr = sqlite3_mprintf("%s", encode(terms).c_str());
    if (!info->idxStr)
        return SQLITE_NOMEM;
    info->needToFreeIdxStr = 1;
    info->estimatedRows = sqlite3_int64(std::max(rows, 1.0));
    info->estimatedCost = std::max(rows, 1.0);
    return SQLITE_OK;
}

int bestIndex(sqlite3_vtab *vtab, sqlite3_index_info *info)
{
    try {
        return planIndex(vtab, info);
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

// Keeps the rows that every filter admits.
void keepAdmitted(const ItemStore &store, const std::vector<const Filter *> &filters, std::vector<std::uint32_t> &rows)
{
    std::size_t n = rows.size();
    for (const Filter *f : filters)
        n = f->keep(store, std::span(rows).first(n));
    rows.resize(n);
}

// The rows of the lists, in file order.
std::vector<std::uint32_t> merged(const std::vector<const std::vector<std::uint32_t> *> &lists)
{
    std::vector<std::uint32_t> rows;
    for (const auto *list : lists) {
        const auto middle = std::ptrdiff_t(rows.size());
        rows.insert(rows.end(), list->begin(), list->end());
        std::inplace_merge(rows.begin(), rows.begin() + middle, rows.end());
    }
    return rows;
}

void orderRows(Cursor &cursor, bool inFileOrder)
{
    cursor.sortedUpTo = cursor.rows.size();
    if (cursor.orderColumn == 0) {
        // Rows stand in file order, which is RECNO's.
        if (!inFileOrder)
            std::sort(cursor.rows.begin(), cursor.rows.end());
        if (cursor.descending)
            std::reverse(cursor.rows.begin(), cursor.rows.end());
    } else if (cursor.orderColumn > 0) {
        cursor.sortFrom(0);
    }
}

// The rows of the named item types through their rows in the order of a
// number column, when the query has an equality on that column or asks for
// that order: what SQLite would do with an index on the type and the column.
// Returns false when neither applies.
bool filterByType(Cursor &cursor, std::vector<Filter> &filters)
{
    const ItemStore &store = *cursor.store;
    const int typeColumn = store.typeColumn();
    const auto type = std::find_if(filters.begin(), filters.end(),
                                   [&](const Filter &f) { return f.column == typeColumn && f.codeOfRow; });
    if (type == filters.end())
        return false;
    const auto equal = std::find_if(filters.begin(), filters.end(), [](const Filter &f) {
        return !f.text && f.column > 0 && f.op == SQLITE_INDEX_CONSTRAINT_EQ;
    });
    if (equal == filters.end() && cursor.orderColumn <= 0)
        return false;
    const Filter *numberEquality = equal == filters.end() ? nullptr : &*equal;
    std::vector<const Filter *> rest;
    for (const Filter &f : filters)
        if (&f != &*type && &f != numberEquality)
            rest.push_back(&f);

    if (numberEquality) {
        // Each value's rows, found by halving; in file order within a type.
        const int column = numberEquality->column;
        for (std::uint32_t code : type->codes) {
            const std::vector<std::uint32_t> &sorted = store.sorted(typeColumn, code, column);
            for (double x : numberEquality->numbers) {
                const auto from = std::partition_point(sorted.begin(), sorted.end(), [&](std::uint32_t r) {
                    return ItemStore::less(store.number(column, r), x);
                });
                const auto to = std::partition_point(
                    from, sorted.end(), [&](std::uint32_t r) { return !ItemStore::less(x, store.number(column, r)); });
                cursor.rows.insert(cursor.rows.end(), from, to);
            }
        }
        keepAdmitted(store, rest, cursor.rows);
        orderRows(cursor, type->codes.size() == 1 && numberEquality->numbers.size() == 1);
        return true;
    }

    for (std::uint32_t code : type->codes) {
        const std::vector<std::uint32_t> &sorted = store.sorted(typeColumn, code, cursor.orderColumn);
        cursor.runs.emplace_back(sorted.data(), sorted.data() + sorted.size());
    }
    for (const Filter *f : rest)
        cursor.tests.push_back(*f);
    cursor.pull();
    return true;
}

void filterRows(Cursor &cursor, int idxNum, const char *idxStr, int argc, sqlite3_value **argv)
{
    const ItemStore &store = *cursor.store;
    cursor.rows.clear();
    cursor.at = 0;
    cursor.runs.clear();
    cursor.tests.clear();
    cursor.orderColumn = idxNum > 0 ? (idxNum - 1) / 2 : -1;
    cursor.descending = idxNum > 0 && (idxNum - 1) % 2 == 1;
    cursor.sortedUpTo = 0;
    const std::vector<Term> terms = decode(idxStr);
    std::vector<Filter> filters;
    for (std::size_t i = 0; i < terms.size() && int(i) < argc; ++i) {
        Filter f;
        switch (makeFilter(store, terms[i], argv[i], f)) {
        case Judged::MatchesNothing:
            return;
        case Judged::Testable:
            filters.push_back(std::move(f));
            break;
        case Judged::Untestable:
            break;
        }
    }
    // Equalities on text compare codes, not text; values no row holds match nothing.
    for (Filter &f : filters) {
        if (!f.text || f.op != SQLITE_INDEX_CONSTRAINT_EQ)
            continue;
        const ItemStore::Codes &codes = store.codes(f.column);
        for (const std::string &value : f.texts)
            if (const auto it = codes.of.find(value); it != codes.of.end())
                f.codes.push_back(it->second);
        if (f.codes.empty())
            return;
        f.codeOfRow = &codes.code;
    }
    // The cheapest tests first.
    std::stable_sort(filters.begin(), filters.end(), [](const Filter &a, const Filter &b) {
        return (a.text && !a.codeOfRow) < (b.text && !b.codeOfRow);
    });
    if (filterByType(cursor, filters))
        return;

    // Start from the fewest rows that one equality on text names, else from all.
    const Filter *start = nullptr;
    std::size_t fewest = store.rowCount();
    for (const Filter &f : filters) {
        if (!f.codeOfRow)
            continue;
        std::size_t n = 0;
        for (std::uint32_t code : f.codes)
            n += store.codes(f.column).rows[code].size();
        if (!start || n < fewest) {
            start = &f;
            fewest = n;
        }
    }
    std::vector<const Filter *> rest;
    for (const Filter &f : filters)
        if (&f != start)
            rest.push_back(&f);
    if (start) {
        std::vector<const std::vector<std::uint32_t> *> lists;
        for (std::uint32_t code : start->codes)
            lists.push_back(&store.codes(start->column).rows[code]);
        cursor.rows = lists.size() == 1 ? *lists.front() : merged(lists);
    } else {
        cursor.rows.resize(store.rowCount());
        for (std::uint32_t row = 0; row < cursor.rows.size(); ++row)
            cursor.rows[row] = row;
    }
    keepAdmitted(store, rest, cursor.rows);
    orderRows(cursor, true);
}

int filter(sqlite3_vtab_cursor *c, int idxNum, const char *idxStr, int argc, sqlite3_value **argv)
{
    try {
        filterRows(*static_cast<Cursor *>(c), idxNum, idxStr, argc, argv);
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
        if (cursor.at == cursor.rows.size() && !cursor.runs.empty())
            cursor.pull();
        else if (cursor.at == cursor.sortedUpTo && cursor.at < cursor.rows.size())
            cursor.sortFrom(cursor.at);
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

const sqlite3_module kModule = {
    /* iVersion */ 0,
    connect,
    connect,
    bestIndex,
    disconnect,
    destroy,
    open,
    close,
    filter,
    next,
    eof,
    column,
    rowid,
    /* xUpdate: read-only */ nullptr,
};

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
