#include "catalogue/ItemQuery.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace vestor::itemtable {

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

namespace {

// What the planner is told a term leaves of the rows: an equality a tenth, a
// range a third. Only the comparison between plans matters.
constexpr double kEqualityShrink = 10;
constexpr double kRangeShrink = 3;

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

} // namespace

bool Filter::admits(const ItemStore &store, std::uint32_t row) const
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

std::size_t Filter::keep(const ItemStore &store, std::span<std::uint32_t> rows) const
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

bool Filter::compare(int c) const
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

int planIndex(const ItemStore &store, sqlite3_index_info *info)
{
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

} // namespace vestor::itemtable
