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
    vestor::ItemRows rows() const { return catalogue.rows(); }
};

// The solver program under test, beside the test programs.
inline vestor::best::Options options(int alternatives = 0)
{
    vestor::best::Options o;
    o.alternatives = alternatives;
    o.solver = QStringLiteral(VESTOR_SOLVE);
    return o;
}

// The solver that fails as VESTOR_SOLVE_FAULT says (and answers when it is unset).
inline vestor::best::Options faultyOptions()
{
    vestor::best::Options o = options();
    o.solver = QStringLiteral(VESTOR_SOLVE_FAKE);
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

} // namespace besttest
