#pragma once

#include "catalogue/ItemRows.h"
#include "engine/Stats.h"
#include "engine/Window.h"

#include <QString>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace vestor::best {

// Per stat index 1..18; element 0 is unused.
using StatValues = std::array<double, kStatCount + 1>;

// The slots of one kind of item: the two hands, the four rings, ...
struct SlotGroup {
    QString type1;
    QString type2;
    QString name;                 // what a player calls these slots
    std::vector<int> slotNumbers; // slot numbers in the pick's order
    int capacity() const { return int(slotNumbers.size()); }
};

// The twelve slots grouped by the item types they admit, in the pick's order.
const std::vector<SlotGroup> &slotGroups();
std::optional<int> groupOfType(const QString &type);
// The player's name of a slot, by its number ("Кольцо" for 6 to 9); empty for no slot.
QString slotName(int slotNumber);

// What the user asks: the character, the money, the needs, and the items
// the user insists on or refuses (by record number).
struct Inputs {
    int race = 0; // index into races()
    int level = 1;
    double money = 0;
    StatValues current{}; // stats with a current field; others 0
    StatValues needed{};
    std::map<std::int64_t, int> locked; // record -> how many times
    std::set<std::int64_t> excluded;
};

// The window's inputs read as the pick reads them; throws Error on a field that is not a number.
Inputs inputsFrom(const Window &window, int level);

// What the race means here: its code in the item table and what it starts with.
struct RaceFacts {
    QString code;
    StatValues start{};
};
RaceFacts raceFacts(int raceIndex);

// One item the set may take: allowed for the race and level at some price.
struct Item {
    int row = 0;
    std::int64_t record = 0;
    int group = 0;
    double price = 0;
    QString type;
    QString name;
    StatValues gives{};
};

// How many of each item (index into Model::items()) a set holds.
using Counts = std::map<int, int>;

// The best-set model over an item table: which items may be taken, what a
// set yields and which needs it meets.
class Model
{
public:
    // Throws Error when a locked or excluded record is not usable as asked.
    Model(ItemRows rows, Inputs inputs);

    const ItemRows &rows() const { return rows_; }
    const Inputs &inputs() const { return inputs_; }
    // Items allowed for the race and level, at any price, minus the excluded ones.
    const std::vector<Item> &items() const { return items_; }
    std::optional<int> itemOf(std::int64_t record) const;
    bool affordable(const Item &item) const { return item.price <= inputs_.money; }

    // What the set holds of a stat before any item: current value or race start.
    double base(int stat) const { return base_[stat]; }
    // +1: the yield must reach the need; -1: it must stay at or below it; 0: no need.
    int sense(int stat) const;
    std::vector<int> needStats() const;

    StatValues yields(const Counts &counts) const;
    // How far a yield misses its need; 0 when met.
    double shortfall(int stat, double yield) const;
    double price(const Counts &counts) const;

private:
    void collect();
    void checkChoices() const;

    ItemRows rows_;
    Inputs inputs_;
    RaceFacts race_;
    StatValues base_{};
    std::vector<Item> items_;
    std::map<std::int64_t, int> byRecord_;
};

// Whether a row is one the best-item queries could return for some slot
// with this race and level, ignoring price; its group if so.
std::optional<int> allowedGroup(const ItemRows &rows, int row, const QString &raceCode, int level);

} // namespace vestor::best
