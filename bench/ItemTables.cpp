#include "ItemTables.h"

#include "catalogue/DbfWriter.h"
#include "catalogue/ItemCsv.h"

#include <QFile>

#include <array>
#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

namespace vestorbench {

namespace {

// Weighted as in the shipped table.
struct Weighted {
    const char *value;
    int weight;
};
const Weighted kTypes[] = {{"ring", 26},   {"2hand", 23},  {"amulet", 19}, {"armor", 19}, {"helmet", 17},
                           {"perchi", 17}, {"ponogi", 16}, {"pojas", 16},  {"lats", 14}};
const Weighted kRaces[] = {{"No", 112}, {"Hm", 11}, {"El", 9}, {"Gn", 9}, {"Or", 9}, {"Dr", 9}, {"Hb", 8}};

// Names by item type, in the order of kTypes.
const std::vector<const char *> kNouns[] = {{"Кольцо", "Перстень"}, {"Меч", "Топор", "Секира", "Посох"},
                                            {"Амулет", "Оберег"},   {"Доспех", "Кираса", "Щит"},
                                            {"Шлем", "Шапка"},      {"Перчатки", "Рукавицы"},
                                            {"Поножи", "Сапоги"},   {"Пояс", "Кушак"},
                                            {"Латы", "Кольчуга"}};
const char *const kAdjectives[] = {"силы",    "ловкости", "гнева", "удачи", "мастера", "новичка", "воина", "тени",
                                   "дракона", "гнома",    "эльфа", "орка",  "ветра",   "бури",    "света", "тьмы"};

// Columns after PRICE, RACE and UROV: the 22 amounts.
constexpr int kFirstAmountColumn = 5;

template <size_t N> std::discrete_distribution<int> weights(const Weighted (&list)[N])
{
    std::vector<int> w;
    for (const Weighted &x : list)
        w.push_back(x.weight);
    return std::discrete_distribution<int>(w.begin(), w.end());
}

// Generated items, the same sequence for the same seed.
class Items
{
public:
    explicit Items(std::uint32_t seed) : rng_(seed) {}

    vestor::ItemRecord next(std::int64_t number)
    {
        vestor::ItemRecord r;
        const int t = type_(rng_);
        const auto &nouns = kNouns[std::size_t(t)];
        r.text(vestor::kTypeColumn) = QString::fromLatin1(kTypes[t].value);
        r.text(vestor::kNameColumn) = QString::fromUtf8(nouns[std::size_t(adjective_(rng_)) % nouns.size()]) + u' ' +
                                      QString::fromUtf8(kAdjectives[adjective_(rng_)]) + u' ' + QString::number(number);
        r.number(kPriceColumn) = std::max(1.0, std::round(price_(rng_)));
        r.text(vestor::kRaceColumn) = QString::fromLatin1(kRaces[race_(rng_)].value);
        r.number(kUrovColumn) = level_(rng_);
        std::array<double, vestor::kItemColumnCount - kFirstAmountColumn> amounts{};
        for (int k = statCount_(rng_); k > 0; --k)
            amounts[std::size_t(statColumn_(rng_))] = amount_(rng_) + (half_(rng_) ? 0.5 : 0.0);
        for (std::size_t i = 0; i < amounts.size(); ++i)
            r.number(kFirstAmountColumn + int(i)) = amounts[i];
        return r;
    }

private:
    static constexpr int kPriceColumn = 2;
    static constexpr int kUrovColumn = 4;
    std::mt19937 rng_;
    std::discrete_distribution<int> type_ = weights(kTypes);
    std::discrete_distribution<int> race_ = weights(kRaces);
    std::uniform_int_distribution<int> level_{1, 13};
    std::lognormal_distribution<double> price_{5.5, 1.5};
    std::uniform_int_distribution<int> statCount_{1, 6};
    std::uniform_int_distribution<int> statColumn_{0, vestor::kItemColumnCount - kFirstAmountColumn - 1};
    std::uniform_int_distribution<int> amount_{-10, 100};
    std::uniform_int_distribution<int> adjective_{0, int(std::size(kAdjectives)) - 1};
    std::bernoulli_distribution half_{0.1};
};

} // namespace

void writeItemTable(const QString &path, std::int64_t rows, std::uint32_t seed)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());
    vestor::ItemTableWriter writer(file, path);
    Items items(seed);
    for (std::int64_t n = 1; n <= rows; ++n)
        if (!writer.write(items.next(n)).empty())
            throw std::runtime_error("generated an item the table cannot hold");
    writer.finish();
}

void writeItemCsv(const QString &path, std::int64_t rows, std::uint32_t seed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());
    vestor::ItemCsvWriter writer(file, path);
    Items items(seed);
    for (std::int64_t n = 1; n <= rows; ++n)
        writer.write(items.next(n));
    writer.finish();
}

} // namespace vestorbench
