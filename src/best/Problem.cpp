#include "best/Problem.h"

#include "catalogue/Error.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <limits>

namespace vestor::best {

namespace {

// Largest whole number a JSON double carries exactly.
constexpr double kExactLimit = 9007199254740992.0;
// What a problem may ask at most: slots in a group, sets, seconds.
constexpr std::int64_t kMostPerGroup = 64;
constexpr std::int64_t kMostAlternatives = 1000;
constexpr double kMostSeconds = 86400;
constexpr std::int64_t kMostWhole = std::int64_t(kExactLimit);
constexpr std::int64_t kMostInt = std::numeric_limits<int>::max();

QJsonArray numbers(const std::vector<std::int64_t> &values)
{
    QJsonArray a;
    for (std::int64_t v : values)
        a.append(double(v));
    return a;
}

QJsonArray numbers(const std::vector<int> &values)
{
    QJsonArray a;
    for (int v : values)
        a.append(v);
    return a;
}

[[noreturn]] void malformed(const char *what)
{
    throw Error(QStringLiteral("Неверные данные решателя: %1.").arg(QLatin1String(what)));
}

std::int64_t whole(const QJsonValue &v, const char *what)
{
    const double d = v.toDouble(NAN);
    if (!v.isDouble() || std::isnan(d) || std::fabs(d) > kExactLimit || d != std::floor(d))
        malformed(what);
    return std::int64_t(d);
}

// A whole number within [least, most], so that narrowing it loses nothing.
std::int64_t within(const QJsonValue &v, std::int64_t least, std::int64_t most, const char *what)
{
    const std::int64_t n = whole(v, what);
    if (n < least || n > most)
        malformed(what);
    return n;
}

template <typename T>
std::vector<T> wholes(const QJsonValue &v, const char *what, std::int64_t least = -kMostWhole,
                      std::int64_t most = kMostWhole)
{
    if (!v.isArray())
        malformed(what);
    std::vector<T> out;
    for (const QJsonValue &x : v.toArray())
        out.push_back(T(within(x, least, most, what)));
    return out;
}

QJsonObject objectOf(const QByteArray &json, const char *what)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        malformed(what);
    return doc.object();
}

} // namespace

QByteArray Problem::toJson() const
{
    QJsonArray needList;
    for (const Need &n : needs)
        needList.append(QJsonArray{double(n.target), n.sense, double(n.weight)});
    QJsonArray itemList;
    for (const Item &i : items)
        itemList.append(QJsonObject{{"group", i.group},
                                    {"price", double(i.price)},
                                    {"affordable", i.affordable},
                                    {"locked", i.locked},
                                    {"beaten", i.beaten},
                                    {"gives", numbers(i.gives)}});
    const QJsonObject o{{"capacities", numbers(capacities)},
                        {"needs", needList},
                        {"items", itemList},
                        {"budget", double(budget)},
                        {"alternatives", alternatives},
                        {"timeLimit", timeLimit},
                        {"start", numbers(start)}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

Problem Problem::fromJson(const QByteArray &json)
{
    const QJsonObject o = objectOf(json, "problem");
    Problem p;
    p.capacities = wholes<int>(o["capacities"], "capacities", 1, kMostPerGroup);
    for (const QJsonValue &v : o["needs"].toArray()) {
        const auto n = wholes<std::int64_t>(v, "need");
        if (n.size() != 3 || (n[1] != 1 && n[1] != -1) || n[2] < 1)
            malformed("need");
        p.needs.push_back({n[0], int(n[1]), n[2]});
    }
    for (const QJsonValue &v : o["items"].toArray()) {
        const QJsonObject i = v.toObject();
        const int group = int(within(i["group"], 0, std::int64_t(p.capacities.size()) - 1, "group"));
        Item item{group,
                  within(i["price"], 0, kMostWhole, "price"),
                  i["affordable"].toBool(),
                  int(within(i["locked"], 0, p.capacities[group], "locked")),
                  int(within(i["beaten"], 0, kMostInt, "beaten")),
                  wholes<std::int64_t>(i["gives"], "gives")};
        if (item.gives.size() != p.needs.size())
            malformed("item");
        p.items.push_back(std::move(item));
    }
    p.budget = within(o["budget"], 0, kMostWhole, "budget");
    p.alternatives = int(within(o["alternatives"], 0, kMostAlternatives, "alternatives"));
    p.timeLimit = o["timeLimit"].toDouble(-1);
    p.start = wholes<int>(o["start"], "start", 0, kMostPerGroup);
    if (!(p.timeLimit > 0 && p.timeLimit <= kMostSeconds) || (!p.start.empty() && p.start.size() != p.items.size()))
        malformed("limits");
    return p;
}

QByteArray Answer::toJson() const
{
    QJsonArray setList;
    for (const auto &s : sets)
        setList.append(numbers(s));
    QJsonObject o{{"allMet", allMet}, {"proven", proven}, {"gap", gap}, {"sets", setList}};
    if (moneyNeeded) {
        o["moneyNeeded"] = double(*moneyNeeded);
        o["moneyNeededProven"] = moneyNeededProven;
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

Answer Answer::fromJson(const QByteArray &json)
{
    const QJsonObject o = objectOf(json, "answer");
    if (!o["allMet"].isBool() || !o["proven"].isBool() || !o["gap"].isDouble() || !o["sets"].isArray())
        malformed("answer");
    Answer a;
    a.allMet = o["allMet"].toBool();
    a.proven = o["proven"].toBool();
    a.gap = o["gap"].toDouble();
    if (!(a.gap >= 0 && a.gap <= 1))
        malformed("gap");
    for (const QJsonValue &v : o["sets"].toArray())
        a.sets.push_back(wholes<int>(v, "set", 0, kMostPerGroup));
    if (o.contains("moneyNeeded")) {
        a.moneyNeeded = within(o["moneyNeeded"], 0, kMostWhole, "moneyNeeded");
        a.moneyNeededProven = o["moneyNeededProven"].toBool();
    }

    return a;
}

} // namespace vestor::best
