// What vestor-pick --help prints; the race list, the stats and the levels come from their tables.

#include "cli/Options.h"
#include "engine/Stats.h"

namespace vestor::cli {

namespace {

constexpr int kTextColumn = 22; // where an option's explanation starts
constexpr int kWidth = 78;

const char *const kIntro = R"(Usage: vestor-pick [OPTION]...
Picks an equipment set for a character, as the calculator's pick button does,
and prints the report: the items for slots 12 down to 1 and the total price.

Options:
)";

const char *const kClosing = R"(
TEXT is taken exactly as the window's field would hold it: stats are whole
numbers, and a text that is not a number stops the pick with a message.
A later value of the same option or stat replaces an earlier one.

Exit status: 0 on success, 2 for a mistake in the command line, 1 for any
other error (a missing or damaged item table, a field that is not a number,
a failing query, output that cannot be written); errors print a message on
stderr and nothing on stdout.

Example:
  vestor-pick --race Человек --level 5 --money 2000 \
              --have Sila=12 --need Sila=40 --need Ob_Uv=30 --json
)";

// `text` broken between words into lines that end by kWidth, the later ones
// starting at kTextColumn.
QString wrapped(const QString &text)
{
    QString out, line;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && kTextColumn + line.size() + 1 + word.size() > kWidth) {
            out += line + u'\n' + QString(kTextColumn, u' ');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return out + line;
}

// An option's explanation and examples, as one block of the help.
QString option(const char *spelled, const QString &text, const QString &example = {})
{
    QString block = QStringLiteral("  %1").arg(QLatin1String(spelled), -(kTextColumn - 2)) + wrapped(text) + u'\n';
    if (!example.isEmpty())
        block += QString(kTextColumn + 2, u' ') + example + u'\n';
    return block;
}

QString raceHelp()
{
    QStringList names, codes;
    for (const Race &r : races()) {
        names << r.name;
        codes << QLatin1String(r.code);
    }
    return QStringLiteral("the character's race: %1, or their codes %2, in any letter case (default: %3)")
        .arg(names.join(QStringLiteral(", ")), codes.join(QStringLiteral(", ")), races().front().name);
}

} // namespace

QString statNames(bool (*keep)(const Stat &))
{
    QStringList names;
    for (const Stat &s : stats())
        if (keep(s))
            names << QString::fromLatin1(s.name);
    return names.join(QStringLiteral(", "));
}

bool hasCurrent(const Stat &s) { return s.hasCurrent(); }

QString helpText()
{
    const QString level = QStringLiteral("the character's level, 1 to %1 (default: 1)").arg(kTopLevel);
    const QString have = QStringLiteral("what the character already has of a stat; STAT is one of %1 (any letter "
                                        "case); repeat for more stats (default: 0 for each)")
                             .arg(statNames(hasCurrent));
    const QString need = QStringLiteral("what the character needs of a stat; STAT is any of the above or %1; these "
                                        "may be negative: %2 (default: 0 for each)")
                             .arg(statNames([](const Stat &s) { return !s.hasCurrent(); }),
                                  statNames([](const Stat &s) { return s.mayBeNegative; }));
    return QString::fromUtf8(kIntro) +
           option("--data DIR",
                  QStringLiteral("directory holding Subjects.DBF (default: the Data directory "
                                 "beside vestor-pick if there is one, else your own copy in "
                                 "~/.local/share/vestor/Data, else the installed share/vestor/Data)"),
                  QStringLiteral("vestor-pick --data ~/vestor/Data")) +
           option("--race NAME", raceHelp(), QStringLiteral("vestor-pick --race Орк     vestor-pick --race hm")) +
           option("--level N", level, QStringLiteral("vestor-pick --level 7")) +
           option("--money TEXT",
                  QStringLiteral("the sum available for the whole set, as typed into the \"Сумма\" "
                                 "field (default: 0); a fraction takes a decimal point or "
                                 "comma, whatever the locale"),
                  QStringLiteral("vestor-pick --money 1500")) +
           option("--have STAT=TEXT", have, QStringLiteral("vestor-pick --have Sila=30 --have kulach=15")) +
           option("--need STAT=TEXT", need, QStringLiteral("vestor-pick --need Sila=50 --need Ob_Uv_p=-5")) +
           option("--json",
                  QStringLiteral("print one UTF-8 JSON object instead of the report: {\"report\": "
                                 "[lines], \"results\": {\"Sila\": \"35\", ...}, \"money\": remaining, "
                                 "\"total\": spent}"),
                  QStringLiteral("vestor-pick --money 1000 --json")) +
           option("--best",
                  QStringLiteral("find the best set instead: the cheapest set that meets every need within the money, "
                                 "or the closest when none does, proven by a solver (vestor-solve, Vestor's "
                                 "internal worker); with --json one object: {\"mode\": \"all-met\" or \"closest\", "
                                 "\"proven\", \"gap\", \"doubts\", \"sets\": [{\"items\", \"total\", \"yields\", "
                                 "\"short\", ...}, ...], \"unreachable\", \"moneyNeeded\" and \"moneyNeededProven\" "
                                 "when more money would do}"),
                  QStringLiteral("vestor-pick --best --money 2000 --need Sila=20 --json")) +
           option("--alternatives K",
                  QStringLiteral("with --best: up to K further sets, in the same order, each holding something "
                                 "no earlier one holds (default: 4)")) +
           option("--lock N",
                  QStringLiteral("with --best: item N (its record number in Subjects.DBF, from 1, deleted records "
                                 "counted) is in every set; repeat to lock it again or lock more")) +
           option("--exclude N", QStringLiteral("with --best: item N is in no set; repeat for more")) +
           option("--time-limit S",
                  QStringLiteral("with --best: the most the whole request may take after loading the table, in "
                                 "seconds (default: 10); when it is reached, the best set found so far, unproven, "
                                 "with its gap")) +
           option("--greedy", QStringLiteral("with --best: the pick's set beside it, as \"greedy\"")) +
           option("--encoding ENC",
                  QStringLiteral("utf-8 (default) or cp1251: the encoding of the report and of "
                                 "the messages (the JSON object is always UTF-8)"),
                  QStringLiteral("vestor-pick --money 1000 --encoding cp1251 > set.txt")) +
           option("-h, --help", QStringLiteral("show this help and exit")) +
           option("--version", QStringLiteral("show the version and exit")) + QString::fromUtf8(kClosing);
}

} // namespace vestor::cli
