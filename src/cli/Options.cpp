#include "Options.h"

#include "Stats.h"

#include <QCommandLineParser>

namespace vestor::cli {

namespace {

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
// Options that take no value, and those that take one.
const QStringList kFlags{QStringLiteral("help"), QStringLiteral("h"), QStringLiteral("json")};
const QStringList kValued{QStringLiteral("data"),    QStringLiteral("race"), QStringLiteral("level"),
                          QStringLiteral("money"),   QStringLiteral("have"), QStringLiteral("need"),
                          QStringLiteral("encoding")};

void declareOptions(QCommandLineParser &parser)
{
    // Long options may come with one dash too; single letters do not combine.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // The help text is ours; the descriptions here are never shown.
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    parser.addOption(QCommandLineOption(QStringLiteral("json")));
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

QString statNames(bool currentOnly)
{
    QStringList names;
    for (const Stat &s : stats())
        if (s.hasCurrent() || !currentOnly)
            names << QString::fromLatin1(s.name);
    return names.join(QStringLiteral(", "));
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
                             .arg(name, option, statNames(currentOnly))};
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
    o.json = parser.isSet(QStringLiteral("json"));
    if (parser.isSet(QStringLiteral("data")))
        o.data = checkedData(parser.value(QStringLiteral("data")));
    if (parser.isSet(QStringLiteral("race")))
        o.race = raceNamed(parser.value(QStringLiteral("race")));
    if (parser.isSet(QStringLiteral("level")))
        o.level = checkedLevel(parser.value(QStringLiteral("level")));
    if (parser.isSet(QStringLiteral("money")))
        o.money = parser.value(QStringLiteral("money"));
    // A later value of the same stat replaces an earlier one.
    for (const QString &value : parser.values(QStringLiteral("have")))
        setStat(o.have, QStringLiteral("--have"), value);
    for (const QString &value : parser.values(QStringLiteral("need")))
        setStat(o.need, QStringLiteral("--need"), value);
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

QString helpText() { return QString::fromUtf8(kHelp); }

} // namespace vestor::cli
