#pragma once

// Item tables of any size for the benchmarks, written by the program's own
// writer in the shipped table's layout, and the same items as CSV.

#include <QString>
#include <cstdint>

namespace vestorbench {

// Writes `rows` generated items to `path`: the shipped table's mix of item
// types, races and levels, prices spread over three orders of magnitude,
// and three or four non-zero stats per item. The same seed gives the same file.
void writeItemTable(const QString &path, std::int64_t rows, std::uint32_t seed = 1);

// The same items as writeItemTable's, as the UTF-8 CSV csv2dbf reads.
void writeItemCsv(const QString &path, std::int64_t rows, std::uint32_t seed = 1);

} // namespace vestorbench
