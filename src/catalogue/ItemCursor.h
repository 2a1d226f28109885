#pragma once

// The item table's cursor: the rows of one query, picked from the store's
// indexes and handed out in the order asked.

#include "catalogue/ItemQuery.h"

#include <cstddef>
#include <variant>

namespace vestor::itemtable {

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

    bool before(std::uint32_t a, std::uint32_t b) const;
    // Sorts the rows from `from` far enough to read the next ones.
    void sortFrom(SortAsRead &mode, std::size_t from);
    // Appends the next admitted row of the runs; false when there is none.
    bool pull(MergeRuns &merge);
    // Makes the row at `at` ready to read, if there is one.
    void prepareRow();
};

// Picks the rows of the plan (idxNum, idxStr) with its arguments (xFilter).
void filterRows(Cursor &cursor, int idxNum, const char *idxStr, int argc, sqlite3_value **argv);

} // namespace vestor::itemtable
