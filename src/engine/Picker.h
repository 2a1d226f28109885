#pragma once

#include "engine/Stats.h"
#include "engine/Window.h"

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace vestor {

class Catalogue;
class ItemRows;

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

// Whether the best-item queries could return row `row` in some slot to a
// character of race code `raceCode` and level `level`, price aside: its type
// is a slot's, its race the character's or anyone's ("No"), its level at most
// `level`, and neither its level nor its price is blank.
bool allowedFor(const ItemRows &rows, int row, const QString &raceCode, int level);

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

    // The money still available in the current run.
    double Money = 0;
    // What the last whole run spent: the sum of its items' prices, as its report states.
    double spent() const { return spent_; }
    // The record numbers of the items the current run took, in slot order.
    const std::vector<std::int64_t> &records() const { return records_; }

private:
    // Tests start slot selection from a need table of their own.
    friend struct PickerAccess;

    Window &window_;
    Catalogue &catalogue_;
    std::array<rec, kStatCount + 1> need_;
    double spent_ = 0;
    std::vector<std::int64_t> records_;
};

// The pick's set for `inputs`, as record numbers in slot order: the whole run
// over a window of plain strings, so no real window changes. The catalogue
// must stand on the race and level of the inputs. Throws Error as the pick does.
std::vector<std::int64_t> pickedRecords(Catalogue &catalogue, const PickInputs &inputs);

// What slot selection compares: the need itself, or its magnitude for the
// stats whose needs may be negative.
double rankingKey(int index, double need);

// The most the query of `slot` may admit, from the money still available.
double priceCap(double money, int slot);

// The report's line of what a set costs: "Всего на сумму 150".
QString totalLine(double sum);

} // namespace vestor
