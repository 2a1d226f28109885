#include "engine/Picker.h"

#include "catalogue/Catalogue.h"
#include "catalogue/Columns.h"
#include "catalogue/Convert.h"
#include "catalogue/ItemRows.h"
#include "engine/Number.h"
#include "engine/TextWindow.h"

#include <algorithm>
#include <cmath>

namespace vestor {

namespace {

const QString kHeading = QStringLiteral("Более всего вам подходит такой комплект:");
const QString kClosing = QStringLiteral(
    "Вы можете улучшить этот комплект, вставив в вещи камни с дополнительными модификаторами у кузнецов клана Veldrin");

// An item's amount of a stat in the stat's unit.
double inUnits(const Stat &s, double points) { return s.scaled ? points / kScaleUnit : points; }

// A numeric column of the current row; an empty field carries nothing.
double amount(const Query &q, const char *column) { return q.fieldByName(QString::fromLatin1(column)).toDouble(); }

} // namespace

const std::array<Slot, 12> &slotOrder()
{
    // clang-format off
    static const std::array<Slot, 12> order{{
        {12, "2hand", "armor"},  {11, "2hand", "armor"},  {10, "ponogi", "ponogi"},
        {9, "ring", "ring"},     {8, "ring", "ring"},     {7, "ring", "ring"},
        {6, "ring", "ring"},     {5, "pojas", "pojas"},   {4, "perchi", "perchi"},
        {3, "helmet", "helmet"}, {2, "amulet", "amulet"}, {1, "lats", "lats"},
    }};
    // clang-format on
    return order;
}

bool allowedFor(const ItemRows &rows, int row, const QString &raceCode, int level)
{
    const std::string_view type = rows.utf8(kTypeColumn, row);
    const auto &order = slotOrder();
    if (std::none_of(order.begin(), order.end(), [&](const Slot &s) { return type == s.type1 || type == s.type2; }))
        return false;
    const QString race = rows.text(kRaceColumn, row);
    if (race != QLatin1String("No") && race != raceCode)
        return false;
    // A blank level or price never passes the queries' comparisons.
    const auto urov = rows.number(kLevelColumn, row);
    return urov && *urov <= level && rows.number(kPriceColumn, row);
}

double rankingKey(int index, double need) { return stat(index).mayBeNegative ? std::fabs(need) : need; }

double priceCap(double money, int slot)
{
    // The last slot may spend everything; the others an equal share plus 5 per cent.
    return slot == 1 ? money : money / slot + money / 100 * 5;
}

QString totalLine(double sum) { return QStringLiteral("Всего на сумму ") + formatGeneral(sum); }

Picker::Picker(Window &window, Catalogue &catalogue) : window_(window), catalogue_(catalogue) {}

void Picker::InitArr()
{
    const PickInputs in = window_.inputs();
    for (const Stat &s : stats()) {
        rec &r = need_[s.index];
        r.Name = QString::fromLatin1(s.name);
        // In 64 bits: two 32-bit field values cannot overflow their difference.
        qint64 difference = in.neededValue(s.index);
        difference -= in.currentValue(s.index);
        r.Value = inUnits(s, double(difference));
    }
    // The race's own stats are added to what the set must supply.
    if (const Race *race = raceByName(in.race))
        for (const Stat &s : stats())
            if (const int bonus = race->bonusOf(s.index))
                need_[s.index].Value += inUnits(s, bonus);
}

void Picker::ClearEdit()
{
    for (const Stat &s : stats())
        window_.setResultText(s.index, QStringLiteral("0"));
}

void Picker::InitEdit()
{
    const PickInputs in = window_.inputs();
    const Race *race = raceByName(in.race);
    for (const Stat &s : stats()) {
        // Copied as typed ("007" stays "007" until an item is taken).
        if (s.hasCurrent())
            window_.setResultText(s.index, in.current[s.index]);
        if (const int bonus = race ? race->bonusOf(s.index) : 0)
            window_.setResultText(s.index, QString::number(bonus));
        if (s.mayBeNegative)
            window_.setResultText(s.index, QStringLiteral("0"));
    }
}

int Picker::FindMax() const
{
    int best = 1;
    for (int i = 2; i <= kStatCount; ++i)
        if (rankingKey(i, need_[i].Value) > rankingKey(best, need_[best].Value))
            best = i;
    return best;
}

void Picker::SelectWeapon(const QString &type1, const QString &type2, int slot)
{
    const int k = FindMax();
    Query &q = catalogue_.query(k);
    q.close();
    q.setParam(QStringLiteral("type11"), type1);
    q.setParam(QStringLiteral("type12"), type2);
    q.setParam(QStringLiteral("type21"), type1);
    q.setParam(QStringLiteral("type22"), type2);
    const double cap = priceCap(Money, slot);
    q.setParam(QStringLiteral("price1"), cap);
    q.setParam(QStringLiteral("price2"), cap);
    q.open();
    Update(k);
}

void Picker::Update(int n)
{
    const Query &q = catalogue_.query(n);
    const QVariant name = q.fieldByName(QStringLiteral("NAME"));
    if (name.isNull())
        return;
    records_.push_back(q.fieldByName(QStringLiteral("RECNO")).toLongLong());
    window_.appendReportLine(name.toString());
    for (const Stat &s : stats())
        need_[s.index].Value -= inUnits(s, amount(q, s.column));
    Money -= amount(q, "PRICE");
    // Result fields are in points for every stat.
    for (const Stat &s : stats()) {
        const double sum = strToInt(window_.resultText(s.index)) + amount(q, s.column);
        window_.setResultText(s.index, integerText(roundHalfEven(sum)));
    }
}

void Picker::Button1Click()
{
    window_.clearReport();
    records_.clear();
    InitArr();
    ClearEdit();
    InitEdit();
    const double money = window_.inputs().moneyValue();
    Money = money;
    window_.appendReportLine(kHeading);
    window_.appendReportLine(QString());
    for (const Slot &slot : slotOrder())
        SelectWeapon(QString::fromLatin1(slot.type1), QString::fromLatin1(slot.type2), slot.number);
    window_.appendReportLine(QString());
    spent_ = money - Money;
    window_.appendReportLine(totalLine(spent_));
    window_.appendReportLine(QString());
    window_.appendReportLine(kClosing);
}

std::vector<std::int64_t> pickedRecords(Catalogue &catalogue, const PickInputs &inputs)
{
    TextWindow window(inputs);
    Picker picker(window, catalogue);
    picker.Button1Click();
    return picker.records();
}

} // namespace vestor
