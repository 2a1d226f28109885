#include "ItemTables.h"

#include <QFile>
#include <QStringEncoder>

#include <array>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace vestorbench {

namespace {

constexpr int kTextWidth = 50;
constexpr int kNumberWidth = 12;
constexpr int kColumns = 27;
constexpr int kRecordLength = 1 + 3 * kTextWidth + 24 * kNumberWidth;

const char *const kNames[kColumns] = {"TYPE", "NAME",  "PRICE",   "RACE",    "UROV",     "SILA",    "LOVKA",
                                      "REAK", "ZLOST", "UDACHA",  "SLOG",    "KULACH",   "ZASHITA", "ORUG",
                                      "METK", "OB_UV", "OB_UD",   "OB_OTV",  "OB_KR",    "GOLOVA",  "KORP",
                                      "NOGI", "RUKI",  "OB_UV_P", "OB_UD_P", "OB_OTV_P", "OB_KR_P"};

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

template <size_t N> std::discrete_distribution<int> weights(const Weighted (&list)[N])
{
    std::vector<int> w;
    for (const Weighted &x : list)
        w.push_back(x.weight);
    return std::discrete_distribution<int>(w.begin(), w.end());
}

void put(char *at, int width, const std::string &text, bool rightAligned)
{
    const int n = std::min<int>(width, int(text.size()));
    std::fill(at, at + width, ' ');
    std::copy(text.data(), text.data() + n, rightAligned ? at + width - n : at);
}

std::string number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

} // namespace

void writeItemTable(const QString &path, std::int64_t rows, std::uint32_t seed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());

    const int headerLength = 32 + 32 * kColumns + 1;
    std::string header(headerLength, '\0');
    header[0] = 0x03;
    header[1] = 126;
    header[2] = 1;
    header[3] = 1;
    for (int i = 0; i < 4; ++i)
        header[4 + i] = char((rows >> (8 * i)) & 0xFF);
    header[8] = char(headerLength & 0xFF);
    header[9] = char(headerLength >> 8);
    header[10] = char(kRecordLength & 0xFF);
    header[11] = char(kRecordLength >> 8);
    header[29] = char(0xC9);
    for (int c = 0; c < kColumns; ++c) {
        char *d = header.data() + 32 + 32 * c;
        std::copy(kNames[c], kNames[c] + std::strlen(kNames[c]), d);
        const bool text = c == 0 || c == 1 || c == 3;
        d[11] = text ? 'C' : 'N';
        d[16] = char(text ? kTextWidth : kNumberWidth);
        d[17] = char(text ? 0 : 2);
    }
    header[headerLength - 1] = 0x0D;
    file.write(header.data(), headerLength);

    std::mt19937 rng(seed);
    auto type = weights(kTypes);
    auto race = weights(kRaces);
    std::uniform_int_distribution<int> level(1, 13);
    std::lognormal_distribution<double> price(5.5, 1.5);
    std::uniform_int_distribution<int> statCount(1, 6);
    std::uniform_int_distribution<int> statColumn(0, 21);
    std::uniform_int_distribution<int> amount(-10, 100);
    std::uniform_int_distribution<int> adjective(0, std::size(kAdjectives) - 1);
    std::bernoulli_distribution half(0.1);

    // Names encoded once: noun + adjective, numbered to keep them apart.
    QStringEncoder cp1251("windows-1251");
    std::vector<std::vector<std::string>> nouns;
    std::vector<std::string> adjectives;
    for (const auto &forType : kNouns) {
        nouns.emplace_back();
        for (const char *n : forType)
            nouns.back().push_back(QByteArray(cp1251.encode(QString::fromUtf8(n))).toStdString());
    }
    for (const char *a : kAdjectives)
        adjectives.push_back(QByteArray(cp1251.encode(QString::fromUtf8(a))).toStdString());

    constexpr int kBatch = 4096;
    std::vector<char> buffer(size_t(kBatch) * kRecordLength);
    std::int64_t written = 0;
    while (written < rows) {
        const int n = int(std::min<std::int64_t>(kBatch, rows - written));
        for (int r = 0; r < n; ++r) {
            char *rec = buffer.data() + size_t(r) * kRecordLength;
            rec[0] = ' ';
            char *at = rec + 1;
            auto text = [&](const std::string &s) {
                put(at, kTextWidth, s, false);
                at += kTextWidth;
            };
            auto num = [&](double v) {
                put(at, kNumberWidth, number(v), true);
                at += kNumberWidth;
            };
            std::array<double, 22> stats{};
            for (int k = statCount(rng); k > 0; --k)
                stats[statColumn(rng)] = amount(rng) + (half(rng) ? 0.5 : 0.0);
            const int t = type(rng);
            const auto &names = nouns[std::size_t(t)];
            text(kTypes[t].value);
            text(names[std::size_t(adjective(rng)) % names.size()] + ' ' + adjectives[adjective(rng)] + ' ' +
                 std::to_string(written + r + 1));
            num(std::max(1.0, std::round(price(rng))));
            text(kRaces[race(rng)].value);
            num(level(rng));
            for (double s : stats)
                num(s);
        }
        file.write(buffer.data(), qint64(n) * kRecordLength);
        written += n;
    }
    file.write("\x1A", 1);
    if (!file.flush())
        throw std::runtime_error("cannot write " + path.toStdString());
}

} // namespace vestorbench
