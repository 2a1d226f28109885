#pragma once

// The item table's query side: the plan xBestIndex hands to xFilter, and the
// WHERE terms with their values, ready to test rows of the store.

#include "catalogue/ItemStore.h"

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vestor::itemtable {

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
std::string encodeTerms(const std::vector<Term> &terms);
std::vector<Term> decodeTerms(const char *s);

// idxNum: 0 for no order, else 1 + 2 * column + (1 when descending).
int encodeOrder(std::optional<OrderBy> order);
std::optional<OrderBy> decodeOrder(int idxNum);

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

    bool admits(const ItemStore &store, std::uint32_t row) const;
    // Moves the rows this term admits to the front of `rows`, in their order,
    // and returns how many there are.
    std::size_t keep(const ItemStore &store, std::span<std::uint32_t> rows) const;
    bool compare(int c) const;
};

// Picks the terms the table tests and the order it hands rows out in (xBestIndex).
int planIndex(const ItemStore &store, sqlite3_index_info *info);

// The filters of the plan's terms with their arguments; nothing when some
// term matches no row. Equalities on text compare codes, not text.
std::optional<std::vector<Filter>> makeFilters(const ItemStore &store, const char *idxStr, int argc,
                                               sqlite3_value **argv);

} // namespace vestor::itemtable
