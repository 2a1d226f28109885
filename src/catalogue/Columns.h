#pragma once

#include <QString>
#include <array>
#include <optional>
#include <string_view>

namespace vestor {

// The declared columns of the item table, in file order.
enum class ColumnKind { String, Float };

struct ItemColumn {
    const char *name;
    ColumnKind kind;
};

inline constexpr int kItemColumnCount = 27;
// Positions in kItemColumns of the columns read by name.
inline constexpr int kTypeColumn = 0;
inline constexpr int kNameColumn = 1;
inline constexpr int kPriceColumn = 2;
inline constexpr int kRaceColumn = 3;
inline constexpr int kLevelColumn = 4;
// The column every best-item query filters by equality: the store indexes it while loading.
inline constexpr std::string_view kTypeColumnName = "TYPE";
extern const std::array<ItemColumn, kItemColumnCount> kItemColumns;
// The position in kItemColumns of the column named `name`, or -1.
int itemColumnIndex(std::string_view name);

// Stat index 1..18 -> the item column that carries that stat: its position
// in kItemColumns, and its name.
inline constexpr int kStatCount = 18;
int statColumnIndex(int statIndex);
const char *statColumn(int statIndex);

// The race list as the window shows it, with the code the item table uses and
// what the race starts with of the stats Ob_Uv, Ob_Ud, Ob_Otv and Ob_Kr.
inline constexpr int kFirstRaceBonusStat = 11;
inline constexpr int kRaceBonusStats = 4;
struct Race {
    QString name;                           // "Эльф"
    const char *code;                       // "El"
    std::array<int, kRaceBonusStats> bonus; // in points, from stat kFirstRaceBonusStat on

    // The starting amount of stat 1..18 in points; 0 where the race has none.
    int bonusOf(int statIndex) const;
};
inline constexpr int kRaceCount = 6;
const std::array<Race, kRaceCount> &races();

// The race whose name is exactly `text`, if any.
std::optional<int> raceIndexByName(const QString &text);
const Race *raceByName(const QString &text);

} // namespace vestor
