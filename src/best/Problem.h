#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <vector>

namespace vestor::best {

// The reduced problem as the solver process sees it: whole numbers only
// (prices and amounts scaled), no names, no stats that nobody needs.
struct Problem {
    struct Need {
        std::int64_t target = 0; // what the items must add, beyond the base
        int sense = 1;           // +1: at least target; -1: at most target
        std::int64_t weight = 1; // weight of one unit of shortfall
    };
    struct Item {
        int group = 0;
        std::int64_t price = 0;
        bool affordable = true; // within the money
        int locked = 0;
        int beaten = 0;                  // by how many offered items: the best set needs only the unbeaten
        std::vector<std::int64_t> gives; // per need
    };
    std::vector<int> capacities; // per slot group
    std::vector<Need> needs;
    std::vector<Item> items;
    std::int64_t budget = 0;
    int alternatives = 0;
    double timeLimit = 10;  // seconds of wall clock for the whole run
    std::vector<int> start; // a known set, counts per item; empty for none

    QByteArray toJson() const;
    // Throws Error on text that is not a well-formed problem: every number is
    // checked against what it may be before it is narrowed.
    static Problem fromJson(const QByteArray &json);
};

// The solver's answer: sets as counts per problem item, best first.
struct Answer {
    bool allMet = false; // the sets meet every need; else they are the closest
    bool proven = false;
    double gap = 0; // relative distance to the proven bound when not proven
    std::vector<std::vector<int>> sets;
    std::optional<std::int64_t> moneyNeeded; // scaled, when closest and more money would do
    bool moneyNeededProven = false;          // the least such money, not only enough

    QByteArray toJson() const;
    static Answer fromJson(const QByteArray &json);
};

} // namespace vestor::best
