#pragma once

#include "best/Model.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace vestor::best {

struct SetItem {
    int slot = 0;
    QString slotName;
    std::int64_t record = 0;
    QString name;
    QString type;
    double price = 0;
};

// Items of one slot group, price and amounts of every needed stat: any of
// them does in the set what the one it holds does.
struct Alike {
    std::vector<int> items; // Model::items() indices, the one in the set first
    int count = 0;          // how many of them the set holds
};

// A set as the user sees it: items by slot (empty slots left out), total,
// yields and, for unmet needs, how far they fall short.
struct ItemSet {
    std::vector<SetItem> items; // in the pick's slot order
    Counts counts;
    double total = 0;
    StatValues yields{};
    StatValues shortBy{};     // 0 where the need is met
    std::vector<Alike> alike; // only kinds with more than one item
    bool meetsAll() const;
    // The sum over unmet needs of shortfall / |needed|.
    double relativeShortfall(const Model &model) const;
    // The sum of the shortfalls, in the stats' own units.
    double totalShortfall() const;
    // How many equally good sets this one stands for, itself included.
    double variants() const;
};

// A need that no set allowed for this race and level meets at any price.
struct Unreachable {
    int stat = 0;
    double needed = 0;
    double best = 0; // the most (or least, for a ceiling) any set reaches
};

// Checks a set against the item table and returns it as the user sees it:
// every item allowed and not excluded, no slot group over its capacity, the
// locked items in it, the total within the money, yields recomputed from the
// rows. Throws Error naming what is wrong.
ItemSet checkedSet(const Model &model, const Counts &counts);

// The set that fills the slots with these records in this order, e.g. the pick's;
// not checked against the money or the locks.
ItemSet describedSet(const Model &model, const std::vector<std::int64_t> &records);

std::vector<Unreachable> unreachableNeeds(const Model &model);

// True when `outer` holds every item of `inner` at least as often.
bool contains(const Counts &outer, const Counts &inner);

} // namespace vestor::best
