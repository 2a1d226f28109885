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
class ItemTables {
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
    bool in;      // the whole IN list comes as one argument
    bool binary;  // compared under the BINARY collation
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
        const double *v = !text && column > 0 ? store.numbers(column) : nullptr;
        const double x = numbers.empty() ? 0 : numbers.front();
        if (codeOfRow && codes.size() <= 2) {
            const std::uint32_t *code = codeOfRow->data();
            const std::uint32_t a = codes.front(), b = codes.back();
            keepIf([&](std::uint32_t r) { return code[r] == a || code[r] == b; });
        } else if (v && op == SQLITE_INDEX_CONSTRAINT_LE) {
            keepIf([&](std::uint32_t r) { return v[r] <= x; });
        } else if (v && op == SQLITE_INDEX_CONSTRAINT_LT) {
            keepIf([&](std::uint32_t r) { return v[r] < x; });
        } else if (v && op == SQLITE_INDEX_CONSTRAINT_GE) {
            keepIf([&](std::uint32_t r) { return v[r] >= x; });
        } else if (v && op == SQLITE_INDEX_CONSTRAINT_GT) {
            keepIf([&](std::uint32_t r) { return v[r] > x; });
        } else if (v && numbers.size() == 1) {
            keepIf([&](std::uint32_t r) { return v[r] == x; });
        } else {
            keepIf([&](std::uint32_t r) { return admits(store, r); });
        }
        return kept;
    }

    bool compare(int c) const
    {
        switch (op) {
        case SQLITE_INDEX_CONSTRAINT_GT: return c > 0;
        case SQLITE_INDEX_CONSTRAINT_GE: return c >= 0;
        case SQLITE_INDEX_CONSTRAINT_LT: return c < 0;
        case SQLITE_INDEX_CONSTRAINT_LE: return c <= 0;
        default: return c == 0;
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
    return f.numbers.empty() && f.texts.empty() ? Judged::MatchesNothing : Judged::Testable;
}

struct Cursor : sqlite3_vtab_cursor {
    const ItemStore *store = nullptr;
    std::vector<std::uint32_t> rows;
    std::size_t at = 0;
    // Rows handed out in the order of a number column: sorted only as far as read.
    int orderColumn = -1;
    bool descending = false;
    std::size_t sortedUpTo = 0;

    bool before(std::uint32_t a, std::uint32_t b) const
    {
        const double x = store->number(orderColumn, a);
        const double y = store->number(orderColumn, b);
        // NULL sorts first, as in SQLite; DESC turns the whole order round.
        const bool less = ItemStore::isNull(x) ? !ItemStore::isNull(y) : !ItemStore::isNull(y) && x < y;
        const bool greater = ItemStore::isNull(y) ? !ItemStore::isNull(x) : !ItemStore::isNull(x) && x > y;
        return descending ? greater : less;
    }

    void sortFrom(std::size_t from)
    {
        auto cmp = [this](std::uint32_t a, std::uint32_t b) { return before(a, b); };
        // A maximum reads one row: sort a few first, the rest only if asked.
        const std::size_t first = from == 0 ? std::min<std::size_t>(8, rows.size()) : rows.size();
        std::partial_sort(rows.begin() + std::ptrdiff_t(from), rows.begin() + std::ptrdiff_t(first), rows.end(), cmp);
        sortedUpTo = first;
    }
};

int fail(sqlite3_vtab *vtab, const char *message)
{
    sqlite3_free(vtab->zErrMsg);
    vtab->zErrMsg = sqlite3_mprintf("%s", message);
    return SQLITE_ERROR;
}

int connect(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **out, char **error)
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
        schema += std::string(c ? ", " : "") + store.columnName(c) + (c == 0 ? " INTEGER" : store.isText(c) ? " TEXT" : " REAL");
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

int disconnect(sqlite3_vtab *vtab)
{
    delete static_cast<VirtualTable *>(vtab);
    return SQLITE_OK;
}

int bestIndex(sqlite3_vtab *vtab, sqlite3_index_info *info)
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

// Where a scan starts: the rows that one equality on a text column names.
struct Start {
    std::size_t size = 0;
    std::vector<std::pair<const std::uint32_t *, const std::uint32_t *>> lists; // owned by the store
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;               // groups of rows
    bool inFileOrder = false; // lists and ranges come one after another in file order
};

Start startFor(const ItemStore &store, const Filter &f)
{
    Start s;
    if (f.column == store.groupColumn()) {
        for (const std::string &value : f.texts) {
            const auto range = store.group(value);
            if (range.first < range.second)
                s.ranges.push_back(range);
            s.size += range.second - range.first;
        }
        s.inFileOrder = s.ranges.size() <= 1;
    } else {
        const ItemStore::Codes &codes = store.codes(f.column);
        for (std::uint32_t code : f.codes) {
            const auto &rows = codes.rows[code];
            s.lists.emplace_back(rows.data(), rows.data() + rows.size());
            s.size += rows.size();
        }
        s.inFileOrder = false;
    }
    return s;
}

void filterRows(Cursor &cursor, int idxNum, const char *idxStr, int argc, sqlite3_value **argv)
{
    const ItemStore &store = *cursor.store;
    cursor.rows.clear();
    cursor.at = 0;
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
        if (!f.text || f.op != SQLITE_INDEX_CONSTRAINT_EQ || f.column == store.groupColumn())
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

    // Start from the fewest rows that one equality on text names.
    int chosen = -1;
    Start start;
    for (std::size_t i = 0; i < filters.size(); ++i) {
        if (!filters[i].text || filters[i].op != SQLITE_INDEX_CONSTRAINT_EQ)
            continue;
        Start s = startFor(store, filters[i]);
        if (chosen < 0 || s.size < start.size) {
            chosen = int(i);
            start = std::move(s);
        }
    }
    bool inFileOrder = true;
    std::vector<std::size_t> runs; // where each stretch in file order begins
    std::vector<std::uint32_t> &rows = cursor.rows;
    if (chosen < 0) {
        rows = store.fileOrder();
    } else {
        inFileOrder = start.inFileOrder;
        for (const auto &[first, end] : start.ranges) {
            runs.push_back(rows.size());
            for (std::uint32_t row = first; row < end; ++row)
                rows.push_back(row);
        }
        for (const auto &[first, end] : start.lists)
            rows.insert(rows.end(), first, end);
    }
    // Each run is filtered where it stands and moved down over what was dropped.
    if (runs.empty())
        runs.push_back(0);
    runs.push_back(rows.size());
    std::size_t kept = 0;
    for (std::size_t r = 0; r + 1 < runs.size(); ++r) {
        std::span<std::uint32_t> run(rows.data() + runs[r], runs[r + 1] - runs[r]);
        std::size_t n = run.size();
        for (std::size_t i = 0; i < filters.size(); ++i)
            if (int(i) != chosen)
                n = filters[i].keep(store, run.first(n));
        std::copy(run.begin(), run.begin() + std::ptrdiff_t(n), rows.begin() + std::ptrdiff_t(kept));
        runs[r] = kept;
        kept += n;
    }
    rows.resize(kept);
    runs.back() = kept;

    cursor.orderColumn = idxNum > 0 ? (idxNum - 1) / 2 : -1;
    cursor.descending = idxNum > 0 && (idxNum - 1) % 2 == 1;
    cursor.sortedUpTo = cursor.rows.size();
    if (cursor.orderColumn == 0) {
        auto byRecno = [&](std::uint32_t a, std::uint32_t b) { return store.recno(a) < store.recno(b); };
        if (!inFileOrder && start.lists.empty()) {
            // Groups hold their rows in file order: merge them.
            for (std::size_t r = 1; r + 1 < runs.size(); ++r)
                std::inplace_merge(cursor.rows.begin(), cursor.rows.begin() + std::ptrdiff_t(runs[r]),
                                   cursor.rows.begin() + std::ptrdiff_t(runs[r + 1]), byRecno);
        } else if (!inFileOrder) {
            std::sort(cursor.rows.begin(), cursor.rows.end(), byRecno);
        }
        if (cursor.descending)
            std::reverse(cursor.rows.begin(), cursor.rows.end());
    } else if (cursor.orderColumn > 0) {
        cursor.sortFrom(0);
    }
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
    if (cursor.at == cursor.sortedUpTo && cursor.at < cursor.rows.size()) {
        try {
            cursor.sortFrom(cursor.at);
        } catch (const std::bad_alloc &) {
            return SQLITE_NOMEM;
        }
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

int destroy(sqlite3_vtab *vtab)
{
    return disconnect(vtab);
}

const sqlite3_module kModule = {
    /* iVersion */ 0, connect, connect, bestIndex, disconnect, destroy, open, close, filter, next, eof, column,
    rowid, /* xUpdate: read-only */ nullptr,
};

void freeTables(void *tables) { delete static_cast<ItemTables *>(tables); }

} // namespace

ItemTables *registerItemTables(sqlite3 *db)
{
    auto *tables = new ItemTables();
    if (sqlite3_create_module_v2(db, kModuleName, &kModule, tables, freeTables) != SQLITE_OK)
        throw Error(QStringLiteral("Cannot register the item table module: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
    return tables;
}

void createItemTable(ItemTables *tables, sqlite3 *db, const QString &schema, const QString &table,
                     std::shared_ptr<const ItemStore> store)
{
    tables->stores[schema.toStdString() + '.' + table.toStdString()] = std::move(store);
    const auto quoted = [](const QString &name) { return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"'; };
    const QByteArray sql =
        QStringLiteral("CREATE VIRTUAL TABLE %1.%2 USING %3").arg(quoted(schema), quoted(table), QLatin1String(kModuleName)).toUtf8();
    char *message = nullptr;
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw Error(QStringLiteral("Cannot open table %1: %2").arg(table, text));
    }
}

} // namespace vestor
