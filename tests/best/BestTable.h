#pragma once

// The best set over an item table the test writes. The one place here that
// knows how test tables are written and loaded.

#include "TestTable.h"
#include "best/Model.h"
#include "best/Solve.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Error.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <tuple>
#include <vector>

namespace besttest {

using testdbf::Item;
using testdbf::item;

// Stat indices the tests use.
constexpr int kSila = 1;
constexpr int kZlost = 4;
constexpr int kObUv = 11;
constexpr int kObUvP = 15;

// Where PRICE stands among a test record's values.
constexpr int kPriceField = 2;

struct Table {
    testdbf::ProgramDir dir;
    vestor::Catalogue catalogue;

    void load(const std::vector<Item> &items) { load(testdbf::itemTable(items)); }
    void load(const testdbf::Table &t)
    {
        dir.write(testdbf::bytes(t));
        catalogue.setUp(dir.program());
    }
    vestor::ItemRows rows() const { return catalogue.table1.rows(); }
};

// The solver program under test, beside the test programs.
inline vestor::best::Options options(int alternatives = 0)
{
    vestor::best::Options o;
    o.alternatives = alternatives;
    o.solver = QStringLiteral(VESTOR_SOLVE);
    return o;
}

// Whether `f` raises an Error.
template <typename F> bool refused(F &&f)
{
    try {
        f();
    } catch (const vestor::Error &) {
        return true;
    }
    return false;
}

inline QStringList names(const vestor::best::ItemSet &set)
{
    QStringList out;
    for (const auto &i : set.items)
        out << i.name;
    return out;
}

// Every set the slots admit, as counts of model items.
inline std::vector<vestor::best::Counts> everySet(const vestor::best::Model &model)
{
    std::vector<vestor::best::Counts> sets{{}};
    for (int g = 0; g < int(vestor::best::slotGroups().size()); ++g) {
        std::vector<vestor::best::Counts> grown;
        for (const vestor::best::Counts &base : sets) {
            // Add up to `capacity` items of group g, in non-decreasing index order.
            std::function<void(vestor::best::Counts, int, int)> add = [&](vestor::best::Counts c, int from, int room) {
                grown.push_back(c);
                for (int i = from; room > 0 && i < int(model.items().size()); ++i)
                    if (model.items()[i].group == g) {
                        vestor::best::Counts more = c;
                        ++more[i];
                        add(more, i, room - 1);
                    }
            };
            add(base, 0, vestor::best::slotGroups()[g].capacity());
        }
        sets = std::move(grown);
    }
    return sets;
}

// (meets all ? 0 : 1, relative shortfall, price): smaller is better.
inline std::tuple<int, double, double> key(const vestor::best::Model &model, const vestor::best::Counts &counts)
{
    const vestor::best::StatValues y = model.yields(counts);
    double shortfall = 0;
    for (int s : model.needStats())
        shortfall += model.shortfall(s, y[s]) / std::abs(model.inputs().needed[s]);
    return {shortfall > 0, shortfall, model.price(counts)};
}

} // namespace besttest
