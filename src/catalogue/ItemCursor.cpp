#include "catalogue/ItemCursor.h"

#include <algorithm>

namespace vestor::itemtable {

namespace {

template <typename... F> struct Overloaded : F... {
    using F::operator()...;
};
template <typename... F> Overloaded(F...) -> Overloaded<F...>;

using CursorMode = std::variant<InOrder, SortAsRead, MergeRuns>;

} // namespace

bool Cursor::before(std::uint32_t a, std::uint32_t b) const
{
    const double x = store->number(order->column, a);
    const double y = store->number(order->column, b);
    return order->descending ? ItemStore::less(y, x) : ItemStore::less(x, y);
}

void Cursor::sortFrom(SortAsRead &mode, std::size_t from)
{
    auto cmp = [this](std::uint32_t a, std::uint32_t b) { return before(a, b); };
    const std::size_t upTo = from == 0 ? std::min(kFirstSorted, rows.size()) : rows.size();
    std::partial_sort(rows.begin() + std::ptrdiff_t(from), rows.begin() + std::ptrdiff_t(upTo), rows.end(), cmp);
    mode.sortedUpTo = upTo;
}

bool Cursor::pull(MergeRuns &merge)
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

void Cursor::prepareRow()
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

namespace {

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

} // namespace

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

} // namespace vestor::itemtable
