#include "best/Problem.h"

#include "catalogue/Error.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace vestor::best {

namespace {

// Largest whole number a JSON double carries exactly.
constexpr double kExactLimit = 9007199254740992.0;

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

template <typename T> std::vector<T> wholes(const QJsonValue &v, const char *what)
{
    if (!v.isArray())
        malformed(what);
    std::vector<T> out;
    for (const QJsonValue &x : v.toArray())
        out.push_back(T(whole(x, what)));
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
    p.capacities = wholes<int>(o["capacities"], "capacities");
    for (const QJsonValue &v : o["needs"].toArray()) {
        const auto n = wholes<std::int64_t>(v, "need");
        if (n.size() != 3 || (n[1] != 1 && n[1] != -1) || n[2] < 1)
            malformed("need");
        p.needs.push_back({n[0], int(n[1]), n[2]});
    }
    for (const QJsonValue &v : o["items"].toArray()) {
        const QJsonObject i = v.toObject();
        Item item{int(whole(i["group"], "group")),   whole(i["price"], "price"),
                  i["affordable"].toBool(),          int(whole(i["locked"], "locked")),
                  int(whole(i["beaten"], "beaten")), wholes<std::int64_t>(i["gives"], "gives")};
        if (item.group < 0 || item.group >= int(p.capacities.size()) || item.gives.size() != p.needs.size())
            malformed("item");
        p.items.push_back(std::move(item));
    }
    p.budget = whole(o["budget"], "budget");
    p.alternatives = int(whole(o["alternatives"], "alternatives"));
    p.timeLimit = o["timeLimit"].toDouble(-1);
    p.start = wholes<int>(o["start"], "start");
    if (p.timeLimit <= 0 || (!p.start.empty() && p.start.size() != p.items.size()))
        malformed("limits");
    return p;
}

QByteArray Answer::toJson() const
{
    QJsonArray setList;
    for (const auto &s : sets)
        setList.append(numbers(s));
    QJsonObject o{{"allMet", allMet}, {"proven", proven}, {"gap", gap}, {"sets", setList}};
    if (moneyNeeded)
        o["moneyNeeded"] = double(*moneyNeeded);
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
    for (const QJsonValue &v : o["sets"].toArray())
        a.sets.push_back(wholes<int>(v, "set"));
    if (o.contains("moneyNeeded"))
        a.moneyNeeded = whole(o["moneyNeeded"], "moneyNeeded");
    return a;
}

} // namespace vestor::best
