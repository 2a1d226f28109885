// vestor-pick: the pick of the main window, run from the command line.

#include "Catalogue.h"
#include "Columns.h"
#include "Error.h"
#include "Number.h"
#include "Picker.h"
#include "Stats.h"
#include "TextWindow.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringConverter>
#include <QStringList>
#include <cstdio>
#include <exception>
#include <optional>

namespace {

using namespace vestor;

constexpr int kUsageStatus = 2;
constexpr int kFailureStatus = 1;
constexpr int kMaxLevel = 13;
constexpr int kLastCurrentStat = 10;

// A mistake in the command line itself.
struct UsageError {
    QString message;
};

struct Options {
    bool help = false;
    bool json = false;
    bool cp1251 = false;
    std::optional<QString> data;
    int race = 0; // index into races()
    int level = 1;
    TextWindow window;
};

const char *const kHelp = R"(Usage: vestor-pick [OPTION]...
Picks an equipment set for a character, as the calculator's pick button does,
and prints the report: the items for slots 12 down to 1 and the total price.

Options:
  --data DIR          directory holding Subjects.DBF
                      (default: the Data directory beside vestor-pick)
                        vestor-pick --data ~/vestor/Data
  --race NAME         the character's race: Эльф, Человек, Гном, Орк, Хоббит,
                      Дракон, or their codes El, Hm, Gn, Or, Hb, Dr, in any
                      letter case (default: Эльф)
                        vestor-pick --race Орк     vestor-pick --race hm
  --level N           the character's level, 1 to 13 (default: 1)
                        vestor-pick --level 7
  --money TEXT        the sum available for the whole set, as typed into the
                      "Сумма" field (default: 0); a fraction takes your
                      locale's decimal separator
                        vestor-pick --money 1500
  --have STAT=TEXT    what the character already has of a stat; STAT is one
                      of Sila, Lovka, Reak, Zlost, Udacha, Slog, Kulach,
                      Zashita, Orug, Metk (any letter case); repeat for more
                      stats (default: 0 for each)
                        vestor-pick --have Sila=30 --have kulach=15
  --need STAT=TEXT    what the character needs of a stat; STAT is any of the
                      above or Ob_Uv, Ob_Ud, Ob_Otv, Ob_Kr, Ob_Uv_p, Ob_Ud_p,
                      Ob_Otv_p, Ob_Kr_p; the last four may be negative
                      (default: 0 for each)
                        vestor-pick --need Sila=50 --need Ob_Uv_p=-5
  --json              print one UTF-8 JSON object instead of the report:
                      {"report": [lines], "results": {"Sila": "35", ...},
                       "money": remaining, "total": spent}
                        vestor-pick --money 1000 --json
  --encoding ENC      utf-8 (default) or cp1251: the encoding of the report
                      and of the messages (the JSON object is always UTF-8)
                        vestor-pick --money 1000 --encoding cp1251 > set.txt
  -h, --help          show this help and exit

TEXT is taken exactly as the window's field would hold it: stats are whole
numbers, and a text that is not a number stops the pick with a message.
A later value of the same option or stat replaces an earlier one.

Exit status: 0 on success, 2 for a mistake in the command line, 1 for any
other error (a missing or damaged item table, a field that is not a number,
a failing query); errors print a message on stderr and nothing on stdout.

Example:
  vestor-pick --race Человек --level 5 --money 2000 \
              --have Sila=12 --need Sila=40 --need Ob_Uv=30 --json
)";

QString statList(int last)
{
    QStringList names;
    for (int i = 1; i <= last; ++i)
        names << QString::fromLatin1(stat(i).name);
    return names.join(QStringLiteral(", "));
}

// "--have Sila=30": the stat's index and the field's text.
std::pair<int, QString> statValue(const QString &option, const QString &value, int lastStat)
{
    const qsizetype eq = value.indexOf(u'=');
    if (eq < 0)
        throw UsageError{QStringLiteral("%1 takes STAT=TEXT, as in %1 Sila=30; got '%2'").arg(option, value)};
    const QString name = value.left(eq);
    const Stat *s = statByName(name);
    if (!s || s->index > lastStat)
        throw UsageError{QStringLiteral("unknown stat '%1' for %2; accepted (any letter case): %3")
                             .arg(name, option, statList(lastStat))};
    return {s->index, value.mid(eq + 1)};
}

int raceIndex(const QString &value)
{
    QStringList accepted;
    for (int i = 0; i < kRaceCount; ++i) {
        const Race &r = races()[i];
        if (value.compare(r.name, Qt::CaseInsensitive) == 0 ||
            value.compare(QLatin1String(r.code), Qt::CaseInsensitive) == 0)
            return i;
        accepted << QStringLiteral("%1 (%2)").arg(r.name, QLatin1String(r.code));
    }
    throw UsageError{QStringLiteral("unknown race '%1'; accepted: %2").arg(value, accepted.join(QStringLiteral(", ")))};
}

int levelNumber(const QString &value)
{
    bool digitsOnly = !value.isEmpty() && value.size() <= 3;
    for (QChar c : value)
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    const int level = digitsOnly ? value.toInt() : 0;
    if (level < 1 || level > kMaxLevel)
        throw UsageError{QStringLiteral("level '%1' is not a whole number from 1 to %2").arg(value).arg(kMaxLevel)};
    return level;
}

Options parse(const QStringList &args)
{
    Options o;
    o.window.race = races()[o.race].name;
    static const QStringList withValue{"--data", "--race", "--level", "--money", "--have", "--need", "--encoding"};
    for (qsizetype i = 1; i < args.size(); ++i) {
        QString arg = args[i];
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            o.help = true;
            continue;
        }
        if (arg == QLatin1String("--json")) {
            o.json = true;
            continue;
        }
        // "--money=100" or "--money 100"
        std::optional<QString> value;
        if (const qsizetype eq = arg.indexOf(u'='); arg.startsWith(QLatin1String("--")) && eq > 0) {
            value = arg.mid(eq + 1);
            arg.truncate(eq);
        }
        if (!withValue.contains(arg)) {
            if (arg.startsWith(u'-'))
                throw UsageError{QStringLiteral("unknown option '%1'").arg(arg)};
            throw UsageError{QStringLiteral("unexpected argument '%1'; every value follows its option").arg(arg)};
        }
        if (!value) {
            if (i + 1 >= args.size())
                throw UsageError{QStringLiteral("option %1 needs a value").arg(arg)};
            value = args[++i];
        }
        if (arg == QLatin1String("--data")) {
            o.data = *value;
        } else if (arg == QLatin1String("--race")) {
            o.race = raceIndex(*value);
            o.window.race = races()[o.race].name;
        } else if (arg == QLatin1String("--level")) {
            o.level = levelNumber(*value);
        } else if (arg == QLatin1String("--money")) {
            o.window.money = *value;
        } else if (arg == QLatin1String("--have")) {
            const auto [index, text] = statValue(arg, *value, kLastCurrentStat);
            o.window.current[index] = text;
        } else if (arg == QLatin1String("--need")) {
            const auto [index, text] = statValue(arg, *value, kStats);
            o.window.needed[index] = text;
        } else if (value->compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0) {
            o.cp1251 = false;
        } else if (value->compare(QLatin1String("cp1251"), Qt::CaseInsensitive) == 0) {
            o.cp1251 = true;
        } else {
            throw UsageError{QStringLiteral("unknown encoding '%1'; accepted: utf-8, cp1251").arg(*value)};
        }
    }
    return o;
}

QByteArray encoded(const QString &text, bool cp1251)
{
    if (!cp1251)
        return text.toUtf8();
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

// A JSON string or number, as a JSON writer spells it.
QByteArray jsonValue(const QJsonValue &v)
{
    const QByteArray array = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// The object's keys in a fixed order, the results in stat order.
QByteArray json(const TextWindow &w, double money, double total)
{
    QByteArray out = "{\n  \"report\": [";
    for (qsizetype i = 0; i < w.report.size(); ++i)
        out += (i ? ",\n    " : "\n    ") + jsonValue(w.report[i]);
    out += w.report.isEmpty() ? "],\n" : "\n  ],\n";
    out += "  \"results\": {";
    for (const Stat &s : stats())
        out += (s.index > 1 ? ",\n    " : "\n    ") + jsonValue(QString::fromLatin1(s.name)) + ": " +
               jsonValue(w.result[s.index]);
    out += "\n  },\n";
    out += "  \"money\": " + jsonValue(money) + ",\n";
    out += "  \"total\": " + jsonValue(total) + "\n}\n";
    return out;
}

void write(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void fail(const QString &message, bool cp1251)
{
    write(stderr, encoded(QStringLiteral("vestor-pick: %1\n").arg(message), cp1251));
}

QByteArray pick(Options &o)
{
    Catalogue catalogue;
    catalogue.setUpIn(o.data ? *o.data : dataDirectory(programFilePath()));
    // What the race and level lists would have set.
    catalogue.raceChanged(races()[o.race].name);
    catalogue.levelChanged(QString::number(o.level));

    Picker picker(o.window, catalogue);
    picker.Button1Click();
    if (o.json)
        return json(o.window, picker.Money, strToFloat(o.window.money) - picker.Money);
    QString text;
    for (const QString &line : o.window.report)
        text += line + u'\n';
    return encoded(text, o.cp1251);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Options options;
    try {
        options = parse(QCoreApplication::arguments());
    } catch (const UsageError &e) {
        fail(e.message + QStringLiteral("\nTry 'vestor-pick --help' for the options."), false);
        return kUsageStatus;
    }
    if (options.help) {
        write(stdout, QByteArray(kHelp));
        return 0;
    }
    try {
        // Nothing reaches stdout unless the whole pick succeeds.
        write(stdout, pick(options));
    } catch (const Error &e) {
        fail(e.message(), options.cp1251);
        return kFailureStatus;
    } catch (const std::exception &e) {
        fail(QString::fromLocal8Bit(e.what()), options.cp1251);
        return kFailureStatus;
    }
    return 0;
}
