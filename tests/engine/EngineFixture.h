#pragma once

// The pick over a plain-text window and a catalogue on a table the test writes.

#include "TestTable.h"
#include "engine/Picker.h"
#include "engine/TextWindow.h"

namespace vestor {
// Reaches into the pick for the tests that start slot selection from a need table of their own.
struct PickerAccess {
    static void setNeed(Picker &p, int stat, double value) { p.need_.at(stat).Value = value; }
};
} // namespace vestor

namespace testdbf {

struct Engine : ::testing::Test {
    ProgramDir dir;
    vestor::Catalogue catalogue;
    vestor::TextWindow w;
    vestor::Picker p{w, catalogue};

    void load(const std::vector<Item> &items)
    {
        dir.write(items);
        catalogue.setUp(dir.program());
    }
    double need(int stat) const { return p.needs()[stat].Value; }
    void setNeed(int stat, double value) { vestor::PickerAccess::setNeed(p, stat, value); }
    std::vector<double> allNeeds() const
    {
        std::vector<double> v;
        for (int i = 1; i <= 18; ++i)
            v.push_back(need(i));
        return v;
    }
    std::vector<QString> results() const { return {w.result.begin() + 1, w.result.end()}; }
};

inline const QString kHeading = QStringLiteral("Более всего вам подходит такой комплект:");
inline const QString kClosing = QStringLiteral(
    "Вы можете улучшить этот комплект, вставив в вещи камни с дополнительными модификаторами у кузнецов клана Veldrin");

// The whole report of a run that took `items`, costing `total`.
inline QStringList report(const QStringList &items, const QString &total)
{
    return QStringList{kHeading, QString()} + items +
           QStringList{QString(), QStringLiteral("Всего на сумму ") + total, QString(), kClosing};
}

} // namespace testdbf
