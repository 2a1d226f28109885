#include "catalogue/ItemTable.h"

#include "catalogue/Error.h"
#include "catalogue/ItemStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <variant>
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

template <typename... F> struct Overloaded : F... {
    using F::operator()...;
};
template <typename... F> Overloaded(F...) -> Overloaded<F...>;

struct VirtualTable : sqlite3_vtab {
    std::shared_ptr<const ItemStore> store;
};

// The plan that xBestIndex hands to xFilter, encoded here and decoded here
// only: the WHERE terms go in idxStr, the order in idxNum.
struct Term {
    int column = 0;
    int op = 0;
    bool in = false;     // the whole IN list comes as one argument
    bool binary = false; // compared under the BINARY collation
};

// Rows handed out by a number column or RECNO (column 0).
struct OrderBy {
    int column = 0;
    bool descending = false;
};

// idxStr: "column op in binary;" per term.
std::string encodeTerms(const std::vector<Term> &terms)
{
    std::string s;
    for (const Term &t : terms)
        s += std::to_string(t.column) + ' ' + std::to_string(t.op) + ' ' + char('0' + t.in) + ' ' +
             char('0' + t.binary) + ';';
    return s;
}

std::vector<Term> decodeTerms(const char *s)
{
    std::vector<Term> terms;
    while (s && *s) {
        char *end = nullptr;
        Term t;
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

// idxNum: 0 for no order, else 1 + 2 * column + (1 when descending).
int encodeOrder(std::optional<OrderBy> order)
{
    return order ? 1 + 2 * order->column + (order->descending ? 1 : 0) : 0;
}

std::optional<OrderBy> decodeOrder(int idxNum)
{
    if (idxNum <= 0)
        return std::nullopt;
    return OrderBy{(idxNum - 1) / 2, (idxNum - 1) % 2 == 1};
}

// What the planner is told a term leaves of the rows: an equality a tenth, a
// range a third. Only the comparison between plans matters.
constexpr double kEqualityShrink = 10;
constexpr double kRangeShrink = 3;

// A term with its right-hand values, ready to test rows. Only what it can
// judge exactly as SQLite would is tested here; the rest is left to SQLite.
struct Filter {
    int column = 0;
    int op = 0;
    bool text = false;
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
    f = Filter();
    f.column = term.column;
    f.op = term.op;
    f.text = store.isText(term.column);
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

// Rows already standing in the order asked (file order, RECNO either way, or none asked).
struct InOrder {};

// Rows sorted by a number column only as far as they are read: a maximum
// reads one row, so a few are sorted first and the rest only if asked.
struct SortAsRead {
    std::size_t sortedUpTo = 0;
};

// Rows drawn on demand from groups already in the column's order, merged and
// tested: a maximum reads one row and stops.
struct MergeRuns {
    using Run = std::pair<const std::uint32_t *, const std::uint32_t *>; // rows still to read
    std::vector<Run> runs;
    std::vector<Filter> tests;
};

using CursorMode = std::variant<InOrder, SortAsRead, MergeRuns>;

constexpr std::size_t kFirstSorted = 8; // rows sorted before the first is read

struct Cursor : sqlite3_vtab_cursor {
    const ItemStore *store = nullptr;
    std::vector<std::uint32_t> rows; // handed out so far, or all of them
    std::size_t at = 0;
    std::optional<OrderBy> order;
    CursorMode mode;

    bool before(std::uint32_t a, std::uint32_t b) const
    {
        const double x = store->number(order->column, a);
        const double y = store->number(order->column, b);
        return order->descending ? ItemStore::less(y, x) : ItemStore::less(x, y);
    }

    // Sorts the rows from `from` far enough to read the next ones.
    void sortFrom(SortAsRead &mode, std::size_t from)
    {
        auto cmp = [this](std::uint32_t a, std::uint32_t b) { return before(a, b); };
        const std::size_t upTo = from == 0 ? std::min(kFirstSorted, rows.size()) : rows.size();
        std::partial_sort(rows.begin() + std::ptrdiff_t(from), rows.begin() + std::ptrdiff_t(upTo), rows.end(), cmp);
        mode.sortedUpTo = upTo;
    }

    // Appends the next admitted row of the runs; false when there is none.
    bool pull(MergeRuns &merge)
    {
        for (;;) {
            MergeRuns::Run *best = nullptr;
            for (auto &run : merge.runs) {
                if (run.first == run.second)
                    continue;
                // Ascending runs are read from the front, descending ones from the back.
                if (!best || before(order->descending ? run.second[-1] : *run.first,
                                    order->descending ? best->second[-1] : *best->first))
                    best = &run;
            }
            if (!best)
                return false;
            const std::uint32_t row = order->descending ? *--best->second : *best->first++;
            if (std::all_of(merge.tests.begin(), merge.tests.end(),
                            [&](const Filter &f) { return f.admits(*store, row); })) {
                rows.push_back(row);
                return true;
            }
        }
    }

    // Makes the row at `at` ready to read, if there is one.
    void prepareRow()
    {
        std::visit(Overloaded{[](InOrder &) {},
                              [this](SortAsRead &m) {
                                  if (at == m.sortedUpTo && at < rows.size())
                                      sortFrom(m, at);
                              },
                              [this](MergeRuns &m) {
                                  if (at == rows.size())
                                      pull(m);
                              }},
                   mode);
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

// The terms the table can test, each passed on to xFilter as an argument.
std::vector<Term> usableTerms(sqlite3_index_info *info)
{
    std::vector<Term> terms;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto &c = info->aConstraint[i];
        const bool comparison = c.op == SQLITE_INDEX_CONSTRAINT_EQ || c.op == SQLITE_INDEX_CONSTRAINT_GT ||
                                c.op == SQLITE_INDEX_CONSTRAINT_LE || c.op == SQLITE_INDEX_CONSTRAINT_LT ||
                                c.op == SQLITE_INDEX_CONSTRAINT_GE;
        if (!c.usable || !comparison)
            continue;
        Term t;
        t.column = c.iColumn < 0 ? 0 : c.iColumn;
        t.op = c.op;
        t.binary = std::strcmp(sqlite3_vtab_collation(info, i), "BINARY") == 0;
        if (c.op == SQLITE_INDEX_CONSTRAINT_EQ && sqlite3_vtab_in(info, i, -1)) {
            sqlite3_vtab_in(info, i, 1);
            t.in = true;
        }
        info->aConstraintUsage[i].argvIndex = int(terms.size()) + 1;
        info->aConstraintUsage[i].omit = 0; // SQLite checks every term again
        terms.push_back(t);
    }
    return terms;
}

int planIndex(sqlite3_vtab *vtab, sqlite3_index_info *info)
{
    const ItemStore &store = *static_cast<VirtualTable *>(vtab)->store;
    const std::vector<Term> terms = usableTerms(info);
    double rows = double(std::max<std::size_t>(store.rowCount(), 1));
    for (const Term &t : terms)
        rows /= t.op == SQLITE_INDEX_CONSTRAINT_EQ ? kEqualityShrink : kRangeShrink;
    // One number column or RECNO in either direction: handed out in that order.
    if (info->nOrderBy == 1) {
        const int column = info->aOrderBy[0].iColumn < 0 ? 0 : info->aOrderBy[0].iColumn;
        if (!store.isText(column)) {
            info->orderByConsumed = 1;
            info->idxNum = encodeOrder(OrderBy{column, info->aOrderBy[0].desc != 0});
        }
    }
    info->idxStr = sqlite3_mprintf("%s", encodeTerms(terms).c_str());
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
    if (!cursor.order)
        return;
    if (cursor.order->column == 0) {
        // Rows stand in file order, which is RECNO's.
        if (!inFileOrder)
            std::sort(cursor.rows.begin(), cursor.rows.end());
        if (cursor.order->descending)
            std::reverse(cursor.rows.begin(), cursor.rows.end());
    } else {
        cursor.sortFrom(cursor.mode.emplace<SortAsRead>(), 0);
    }
}

// The filters except `a` and `b`.
std::vector<const Filter *> allBut(const std::vector<Filter> &filters, const Filter *a, const Filter *b = nullptr)
{
    std::vector<const Filter *> rest;
    for (const Filter &f : filters)
        if (&f != a && &f != b)
            rest.push_back(&f);
    return rest;
}

// The rows of the item types whose `column` equals one of the equality's
// values: each value's rows found by halving, in file order within a type.
void rowsOfTypesAndValues(Cursor &cursor, const Filter &type, const Filter &equality)
{
    const ItemStore &store = *cursor.store;
    const int column = equality.column;
    for (std::uint32_t code : type.codes) {
        const std::vector<std::uint32_t> &sorted = store.sorted(type.column, code, column);
        for (double x : equality.numbers) {
            const auto from = std::partition_point(sorted.begin(), sorted.end(), [&](std::uint32_t r) {
                return ItemStore::less(store.number(column, r), x);
            });
            const auto to = std::partition_point(
                from, sorted.end(), [&](std::uint32_t r) { return !ItemStore::less(x, store.number(column, r)); });
            cursor.rows.insert(cursor.rows.end(), from, to);
        }
    }
}

// The rows of the named item types through their rows in the order of a
// number column, when the query has an equality on that column or asks for
// that order: what SQLite would do with an index on the type and the column.
// Returns false when neither applies.
bool filterByType(Cursor &cursor, std::vector<Filter> &filters)
{
    const int typeColumn = cursor.store->typeColumn();
    const auto type = std::find_if(filters.begin(), filters.end(),
                                   [&](const Filter &f) { return f.column == typeColumn && f.codeOfRow; });
    if (type == filters.end())
        return false;
    const auto equal = std::find_if(filters.begin(), filters.end(), [](const Filter &f) {
        return !f.text && f.column > 0 && f.op == SQLITE_INDEX_CONSTRAINT_EQ;
    });
    if (equal != filters.end()) {
        rowsOfTypesAndValues(cursor, *type, *equal);
        keepAdmitted(*cursor.store, allBut(filters, &*type, &*equal), cursor.rows);
        orderRows(cursor, type->codes.size() == 1 && equal->numbers.size() == 1);
        return true;
    }
    if (!cursor.order || cursor.order->column == 0)
        return false;
    MergeRuns &merge = cursor.mode.emplace<MergeRuns>();
    for (std::uint32_t code : type->codes) {
        const std::vector<std::uint32_t> &sorted = cursor.store->sorted(typeColumn, code, cursor.order->column);
        merge.runs.emplace_back(sorted.data(), sorted.data() + sorted.size());
    }
    for (const Filter *f : allBut(filters, &*type))
        merge.tests.push_back(*f);
    cursor.pull(merge);
    return true;
}

// The filters of the plan's terms with their arguments; nothing when some
// term matches no row. Equalities on text compare codes, not text.
std::optional<std::vector<Filter>> makeFilters(const ItemStore &store, const char *idxStr, int argc,
                                               sqlite3_value **argv)
{
    const std::vector<Term> terms = decodeTerms(idxStr);
    std::vector<Filter> filters;
    for (std::size_t i = 0; i < terms.size() && int(i) < argc; ++i) {
        Filter f;
        const Judged judged = makeFilter(store, terms[i], argv[i], f);
        if (judged == Judged::MatchesNothing)
            return std::nullopt;
        if (judged == Judged::Testable)
            filters.push_back(std::move(f));
    }
    for (Filter &f : filters) {
        if (!f.text || f.op != SQLITE_INDEX_CONSTRAINT_EQ)
            continue;
        const ItemStore::Codes &codes = store.codes(f.column);
        for (const std::string &value : f.texts)
            if (const auto it = codes.of.find(value); it != codes.of.end())
                f.codes.push_back(it->second);
        if (f.codes.empty())
            return std::nullopt; // values no row holds
        f.codeOfRow = &codes.code;
    }
    // The cheapest tests first.
    std::stable_sort(filters.begin(), filters.end(), [](const Filter &a, const Filter &b) {
        return (a.text && !a.codeOfRow) < (b.text && !b.codeOfRow);
    });
    return filters;
}

// The equality on text that names the fewest rows, if any.
const Filter *fewestRows(const ItemStore &store, const std::vector<Filter> &filters)
{
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
    return start;
}

// Starts from the rows of the text equality that names the fewest, else
// from all, and keeps what every other filter admits, in file order.
void filterInFileOrder(Cursor &cursor, const std::vector<Filter> &filters)
{
    const ItemStore &store = *cursor.store;
    const Filter *start = fewestRows(store, filters);
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
    keepAdmitted(store, allBut(filters, start), cursor.rows);
    orderRows(cursor, true);
}

void filterRows(Cursor &cursor, int idxNum, const char *idxStr, int argc, sqlite3_value **argv)
{
    cursor.rows.clear();
    cursor.at = 0;
    cursor.order = decodeOrder(idxNum);
    cursor.mode = InOrder();
    std::optional<std::vector<Filter>> filters = makeFilters(*cursor.store, idxStr, argc, argv);
    if (!filters || filterByType(cursor, *filters))
        return;
    filterInFileOrder(cursor, *filters);
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
