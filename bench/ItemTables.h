#pragma once

// Item tables of any size for the benchmarks, written straight to disk in
// the shipped table's layout (dBase III, Windows-1251, C 50 and N 12.2).

#include <QString>
#include <cstdint>

namespace vestorbench {

// Writes `rows` generated items to `path`: the shipped table's mix of item
// types, races and levels, prices spread over three orders of magnitude,
// and three or four non-zero stats per item. The same seed gives the same file.
void writeItemTable(const QString &path, std::int64_t rows, std::uint32_t seed = 1);

} // namespace vestorbench
