#pragma once

#include "engine/Stats.h"
#include "engine/Window.h"

#include <QString>
#include <array>

namespace vestor {

class Catalogue;

// One element of the need table.
struct rec {
    QString Name;
    double Value = 0; // the remaining need, in the stat's unit
};

// One equipment slot and the two item types it admits.
struct Slot {
    int number;
    const char *type1;
    const char *type2;
};

// The slots in the order the run fills them: 12 first, 1 last.
const std::array<Slot, 12> &slotOrder();

// The pick: fills the twelve slots with the best items for the largest needs
// and writes the report. Reads and writes the window only through Window.
// Nothing here catches an error: a failure ends the run where it arises and
// whatever was changed before stays changed.
class Picker
{
public:
    Picker(Window &window, Catalogue &catalogue);

    // The whole run of the pick button.
    void Button1Click();

    void InitArr();
    void ClearEdit();
    void InitEdit();
    // The stat index (1..18) with the largest ranking key; lower index on ties.
    int FindMax() const;
    void SelectWeapon(const QString &type1, const QString &type2, int slot);
    // The intake of best-item query n (Update1 .. Update18).
    void Update(int n);

    // Indexed by stat index 1..18; element 0 is unused.
    const std::array<rec, kStatCount + 1> &needs() const { return need_; }
    // Lets a caller (a test, a tool) start from a given need table.
    void setNeed(int stat, double value) { need_.at(stat).Value = value; }

    // The money still available in the current run.
    double Money = 0;
    // What the last whole run spent: the sum of its items' prices, as its report states.
    double spent() const { return spent_; }

private:
    Window &window_;
    Catalogue &catalogue_;
    std::array<rec, kStatCount + 1> need_;
    double spent_ = 0;
};

// What slot selection compares: the need itself, or its magnitude for the
// stats whose needs may be negative.
double rankingKey(int index, double need);

// The most the query of `slot` may admit, from the money still available.
double priceCap(double money, int slot);

} // namespace vestor
