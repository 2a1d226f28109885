#include "cli/Options.h"

#include "engine/Stats.h"

#include <QCommandLineParser>
#include <QLocale>
#include <algorithm>
#include <limits>

namespace vestor::cli {

namespace {

// Options that take no value, and those that take one.
const QStringList kFlags{QStringLiteral("help"), QStringLiteral("h"),    QStringLiteral("version"),
                         QStringLiteral("json"), QStringLiteral("best"), QStringLiteral("greedy")};
const QStringList kValued{QStringLiteral("data"),     QStringLiteral("race"),         QStringLiteral("level"),
                          QStringLiteral("money"),    QStringLiteral("have"),         QStringLiteral("need"),
                          QStringLiteral("encoding"), QStringLiteral("alternatives"), QStringLiteral("lock"),
                          QStringLiteral("exclude"),  QStringLiteral("time-limit")};
// The options that only the best set takes.
const QStringList kBestOnly{QStringLiteral("greedy"), QStringLiteral("alternatives"), QStringLiteral("lock"),
                            QStringLiteral("exclude"), QStringLiteral("time-limit")};
constexpr int kMostAlternatives = 20;
constexpr double kLongestTimeLimit = 3600;

void declareOptions(QCommandLineParser &parser)
{
    // Long options may come with one dash too; single letters do not combine.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // The help text is ours; the descriptions here are never shown.
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    parser.addOption(QCommandLineOption(QStringLiteral("version")));
    parser.addOption(QCommandLineOption(QStringLiteral("json")));
    parser.addOption(QCommandLineOption(QStringLiteral("best")));
    parser.addOption(QCommandLineOption(QStringLiteral("greedy")));
    for (const QString &name : kValued)
        parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("VALUE")));
}

// The option an argument spells ("--json" of "--json=1") and its bare name.
std::pair<QString, QString> optionSpelled(const QString &argument)
{
    const QString spelled = argument.section(u'=', 0, 0);
    return {spelled, spelled.mid(spelled.startsWith(QLatin1String("--")) ? 2 : 1)};
}

// What is wrong with a command line the parser refused, in our words where we have them.
QString whatIsWrong(const QCommandLineParser &parser, const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            break;
        if (!argument.startsWith(u'-') || argument.size() < 2)
            continue;
        const auto [spelled, name] = optionSpelled(argument);
        if (parser.unknownOptionNames().contains(name))
            return QStringLiteral("unknown option '%1'").arg(spelled);
        if (argument.contains(u'=') && kFlags.contains(name))
            return QStringLiteral("option %1 takes no value; got '%2'").arg(spelled, argument);
    }
    const QString last = arguments.size() > 1 ? arguments.last() : QString();
    if (last.startsWith(u'-') && !last.contains(u'=') && kValued.contains(optionSpelled(last).second))
        return QStringLiteral("option %1 needs a value").arg(last);
    return parser.errorText();
}

Encoding encodingNamed(const QString &value)
{
    if (value.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0)
        return Encoding::Utf8;
    if (value.compare(QLatin1String("cp1251"), Qt::CaseInsensitive) == 0)
        return Encoding::Cp1251;
    throw UsageError{QStringLiteral("unknown encoding '%1'; accepted: utf-8, cp1251").arg(value)};
}

const Race *raceNamed(const QString &value)
{
    QStringList accepted;
    for (const Race &r : races()) {
        if (value.compare(r.name, Qt::CaseInsensitive) == 0 ||
            value.compare(QLatin1String(r.code), Qt::CaseInsensitive) == 0)
            return &r;
        accepted << QStringLiteral("%1 (%2)").arg(r.name, QLatin1String(r.code));
    }
    throw UsageError{QStringLiteral("unknown race '%1'; accepted: %2").arg(value, accepted.join(QStringLiteral(", ")))};
}

QString checkedLevel(const QString &value)
{
    bool digitsOnly = !value.isEmpty() && value.size() <= 3;
    for (QChar c : value)
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    const int level = digitsOnly ? value.toInt() : 0;
    if (level < 1 || level > kTopLevel)
        throw UsageError{QStringLiteral("level '%1' is not a whole number from 1 to %2").arg(value).arg(kTopLevel)};
    return value;
}

bool anyStat(const Stat &) { return true; }

// A whole number from `least` to `most`, digits only.
std::int64_t wholeNumber(const QString &option, const QString &value, std::int64_t least, std::int64_t most)
{
    bool ok = !value.isEmpty() && std::all_of(value.begin(), value.end(), [](QChar c) { return c.isDigit(); });
    const qlonglong n = ok ? value.toLongLong(&ok) : 0;
    if (!ok || n < least || n > most)
        throw UsageError{QStringLiteral("%1 takes a whole number from %2 to %3; got '%4'")
                             .arg(option)
                             .arg(least)
                             .arg(most)
                             .arg(value)};
    return n;
}

// A command line is typed in any locale and pasted between them: a decimal
// comma and a decimal point both mark the fraction.
QString withSeparator(QString value, QChar separator)
{
    return value.replace(u'.', separator).replace(u',', separator);
}

double seconds(const QString &value)
{
    bool ok = false;
    const double s = QLocale::c().toDouble(withSeparator(value, u'.'), &ok);
    if (!ok || !(s > 0) || s > kLongestTimeLimit)
        throw UsageError{QStringLiteral("--time-limit takes seconds, more than 0 and at most %1, as in "
                                        "--time-limit 2.5; got '%2'")
                             .arg(kLongestTimeLimit)
                             .arg(value)};
    return s;
}

// What only --best takes, checked.
void readBestValues(const QCommandLineParser &parser, Options &o)
{
    o.best = parser.isSet(QStringLiteral("best"));
    for (const QString &name : kBestOnly)
        if (!o.best && parser.isSet(name))
            throw UsageError{QStringLiteral("option --%1 goes with --best").arg(name)};
    o.withGreedy = parser.isSet(QStringLiteral("greedy"));
    if (parser.isSet(QStringLiteral("alternatives")))
        o.alternatives = int(wholeNumber(QStringLiteral("--alternatives"), parser.value(QStringLiteral("alternatives")),
                                         0, kMostAlternatives));
    if (parser.isSet(QStringLiteral("time-limit")))
        o.timeLimit = seconds(parser.value(QStringLiteral("time-limit")));
    const std::int64_t lastRecord = std::numeric_limits<std::int32_t>::max();
    for (const QString &value : parser.values(QStringLiteral("lock")))
        o.locked.push_back(wholeNumber(QStringLiteral("--lock"), value, 1, lastRecord));
    for (const QString &value : parser.values(QStringLiteral("exclude")))
        o.excluded.push_back(wholeNumber(QStringLiteral("--exclude"), value, 1, lastRecord));
}

// "--have Sila=30" into the stat texts; --have takes only the stats that have a current value.
void setStat(std::array<QString, kStatCount + 1> &texts, const QString &option, const QString &value)
{
    const bool currentOnly = option == QLatin1String("--have");
    const qsizetype eq = value.indexOf(u'=');
    if (eq < 0)
        throw UsageError{QStringLiteral("%1 takes STAT=TEXT, as in %1 Sila=30; got '%2'").arg(option, value)};
    const QString name = value.left(eq);
    const Stat *s = statByName(name);
    if (!s || (currentOnly && !s->hasCurrent()))
        throw UsageError{QStringLiteral("unknown stat '%1' for %2; accepted (any letter case): %3")
                             .arg(name, option, statNames(currentOnly ? hasCurrent : anyStat))};
    texts[s->index] = value.mid(eq + 1);
}

QString checkedData(const QString &value)
{
    if (value.isEmpty())
        throw UsageError{QStringLiteral("option --data needs a directory name; it was given an empty one")};
    return value;
}

// The checked values of a command line the parser took.
void readValues(const QCommandLineParser &parser, Options &o)
{
    if (!parser.positionalArguments().isEmpty())
        throw UsageError{QStringLiteral("unexpected argument '%1'; every value follows its option")
                             .arg(parser.positionalArguments().constFirst())};
    o.help = parser.isSet(QStringLiteral("help"));
    o.version = parser.isSet(QStringLiteral("version"));
    o.json = parser.isSet(QStringLiteral("json"));
    if (parser.isSet(QStringLiteral("data")))
        o.data = checkedData(parser.value(QStringLiteral("data")));
    if (parser.isSet(QStringLiteral("race")))
        o.race = raceNamed(parser.value(QStringLiteral("race")));
    if (parser.isSet(QStringLiteral("level")))
        o.level = checkedLevel(parser.value(QStringLiteral("level")));
    if (parser.isSet(QStringLiteral("money")))
        o.money = withSeparator(parser.value(QStringLiteral("money")), QLocale().decimalPoint().front());
    // A later value of the same stat replaces an earlier one.
    for (const QString &value : parser.values(QStringLiteral("have")))
        setStat(o.have, QStringLiteral("--have"), value);
    for (const QString &value : parser.values(QStringLiteral("need")))
        setStat(o.need, QStringLiteral("--need"), value);
    readBestValues(parser, o);
}

} // namespace

Options::Options()
{
    have.fill(QStringLiteral("0"));
    need.fill(QStringLiteral("0"));
}

Options parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    declareOptions(parser);
    const bool parsed = parser.parse(arguments);
    Options o;
    // First the encoding, so that every later message is written in it.
    if (parser.isSet(QStringLiteral("encoding")))
        o.encoding = encodingNamed(parser.value(QStringLiteral("encoding")));
    try {
        if (!parsed)
            throw UsageError{whatIsWrong(parser, arguments)};
        readValues(parser, o);
    } catch (UsageError &e) {
        e.encoding = o.encoding;
        throw;
    }
    return o;
}

} // namespace vestor::cli
