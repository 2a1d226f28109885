#include "best/Report.h"

#include "engine/Number.h"

namespace vestor::best {

namespace {

constexpr int kPercent = 100;

} // namespace

QString proofLine(const Result &r)
{
    if (r.proven)
        return QStringLiteral("Доказано, что лучше комплекта нет.");
    QString line = QStringLiteral("Не доказано, что это лучший комплект: %1.").arg(r.doubts.join(QStringLiteral("; ")));
    if (r.gapKnown && r.gap > 0)
        line += QStringLiteral(" Лучший найденный комплект может уступать лучшему не более чем на %1 %.")
                    .arg(formatGeneral(r.gap * kPercent));
    return line;
}

QStringList shortfallLines(const Model &model, const Result &r, const ItemSet &set)
{
    QStringList out;
    for (int s : model.needStats())
        if (set.shortBy[s] > 0)
            out << QStringLiteral("Не хватает: %1 — %2 (получается %3, нужно %4)")
                       .arg(vestor::stat(s).caption, formatGeneral(set.shortBy[s]), formatGeneral(set.yields[s]),
                            formatGeneral(model.inputs().needed[s]));
    for (const Unreachable &u : r.unreachable)
        out << QStringLiteral("Недостижимо при любой цене: %1 — нужно %2, можно получить %3")
                   .arg(vestor::stat(u.stat).caption, formatGeneral(u.needed), formatGeneral(u.best));
    if (r.moneyNeeded)
        out << (r.moneyNeededProven
                    ? QStringLiteral("Все требования выполнимы при сумме %1").arg(formatGeneral(*r.moneyNeeded))
                    : QStringLiteral("Все требования выполнимы при сумме не более %1 (меньшая сумма не исключена)")
                          .arg(formatGeneral(*r.moneyNeeded)));
    return out;
}

QStringList shortfallLines(const Model &model, const Result &r) { return shortfallLines(model, r, r.sets[0]); }

QStringList alikeLines(const Model &model, const ItemSet &set)
{
    if (set.alike.empty())
        return {};
    QStringList out{QStringLiteral("%1 равноценных вариантов; на выбор:").arg(formatGeneral(set.variants()))};
    for (const Alike &a : set.alike) {
        QStringList names;
        for (int i : a.items)
            names << model.items()[i].name;
        out << QStringLiteral("  %1: %2")
                   .arg(slotGroups()[model.items()[a.items.front()].group].name, names.join(QStringLiteral(", ")));
    }
    return out;
}

QStringList setLines(const ItemSet &set)
{
    QStringList out;
    for (const SetItem &i : set.items)
        out << QStringLiteral("Слот %1 (%2): %3 — %4").arg(i.slot).arg(i.slotName, i.name, formatGeneral(i.price));
    if (set.items.empty())
        out << QStringLiteral("Ни одной вещи брать не нужно.");
    out << QStringLiteral("Всего на сумму %1").arg(formatGeneral(set.total));
    return out;
}

QString alternativeHeading(const Result &r, int k)
{
    const ItemSet &set = r.sets[k];
    QString line = QStringLiteral("Другой комплект %1: %2").arg(k).arg(formatGeneral(set.total));
    if (!r.allMet)
        line += QStringLiteral(", не хватает всего %1").arg(formatGeneral(set.totalShortfall()));
    return line;
}

QStringList reportLines(const Model &model, const Result &r)
{
    QStringList out{r.allMet ? QStringLiteral("Самый дешёвый комплект, выполняющий все требования:")
                             : QStringLiteral("Выполнить все требования за эту сумму нельзя. Ближайший комплект:"),
                    QString()};
    out << setLines(r.sets[0]) << alikeLines(model, r.sets[0]);
    out << QString() << proofLine(r);
    if (!r.allMet)
        out << shortfallLines(model, r);
    if (r.alternativesAsked > 0)
        out << QString()
            << QStringLiteral("Других комплектов найдено: %1 из %2 запрошенных.")
                   .arg(r.alternativesFound())
                   .arg(r.alternativesAsked);
    for (int k = 1; k < int(r.sets.size()); ++k)
        out << QString() << alternativeHeading(r, k) << setLines(r.sets[k]) << alikeLines(model, r.sets[k]);
    return out;
}

} // namespace vestor::best
