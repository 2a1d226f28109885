#include "best/Report.h"

#include "engine/Number.h"
#include "engine/Picker.h"

namespace vestor::best {

namespace {

constexpr int kPercent = 100;

} // namespace

QString proofLine(const Result &r)
{
    if (r.proven)
        return QStringLiteral("Доказано, что лучше комплекта нет.");
    return QStringLiteral("Поиск остановлен по времени; лучший найденный комплект может уступать лучшему не более чем "
                          "на %1 %.")
        .arg(formatGeneral(r.gap * kPercent));
}

QStringList shortfallLines(const Model &model, const Result &r)
{
    QStringList out;
    for (int s : model.needStats())
        if (r.sets[0].shortBy[s] > 0)
            out << QStringLiteral("Не хватает: %1 — %2 (получается %3, нужно %4)")
                       .arg(vestor::stat(s).caption, formatGeneral(r.sets[0].shortBy[s]),
                            formatGeneral(r.sets[0].yields[s]), formatGeneral(model.values().needed[s]));
    for (const Unreachable &u : r.unreachable)
        out << QStringLiteral("Недостижимо при любой цене: %1 — нужно %2, можно получить %3")
                   .arg(vestor::stat(u.stat).caption, formatGeneral(u.needed), formatGeneral(u.best));
    if (r.moneyNeeded)
        out << QStringLiteral("Все требования выполнимы при сумме %1").arg(formatGeneral(*r.moneyNeeded));
    return out;
}

QStringList setLines(const ItemSet &set)
{
    QStringList out;
    for (const SetItem &i : set.items)
        out << QStringLiteral("Слот %1: %2 — %3").arg(i.slot).arg(i.name, formatGeneral(i.price));
    if (set.items.empty())
        out << QStringLiteral("Ни одной вещи брать не нужно.");
    out << totalLine(set.total);
    return out;
}

QStringList reportLines(const Model &model, const Result &r)
{
    QStringList out{r.allMet ? QStringLiteral("Самый дешёвый комплект, выполняющий все требования:")
                             : QStringLiteral("Выполнить все требования за эту сумму нельзя. Ближайший комплект:"),
                    QString()};
    out << setLines(r.sets[0]);
    out << QString() << proofLine(r);
    if (!r.allMet)
        out << shortfallLines(model, r);
    for (int k = 1; k < int(r.sets.size()); ++k)
        out << QString() << QStringLiteral("Другой комплект %1:").arg(k) << setLines(r.sets[k]);
    return out;
}

} // namespace vestor::best
