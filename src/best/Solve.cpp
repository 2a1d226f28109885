#include "best/Solve.h"

#include "best/Solver.h"
#include "catalogue/Error.h"
#include "engine/Number.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace vestor::best {

namespace {

using Clock = std::chrono::steady_clock;

// Beyond its own share: the solver's start, reading the problem, writing the answer.
constexpr double kGraceSeconds = 0.5;
// The solver stops this much before the request's limit (at most this share
// of it), to leave time for its answer.
constexpr double kAnswerSeconds = 0.3;
constexpr double kAnswerShare = 0.1;
// Time below which starting the solver is not worth it.
constexpr double kLeastSolverSeconds = 0.05;
constexpr int kMillisecondsPerSecond = 1000;
// Two values closer than this share of their size are equal.
constexpr double kRelativeTolerance = 1e-9;

bool same(double a, double b)
{
    return std::fabs(a - b) <= kRelativeTolerance * std::max({1.0, std::fabs(a), std::fabs(b)});
}

double secondsUntil(Clock::time_point t) { return std::chrono::duration<double>(t - Clock::now()).count(); }

QString timeCut() { return QStringLiteral("поиск остановлен по времени"); }

} // namespace

bool better(const Model &model, const ItemSet &a, const ItemSet &b)
{
    if (a.meetsAll() != b.meetsAll())
        return a.meetsAll();
    const double shortA = a.relativeShortfall(model), shortB = b.relativeShortfall(model);
    if (!same(shortA, shortB))
        return shortA < shortB;
    return !same(a.total, b.total) && a.total < b.total;
}

Job::Job(const Model &model, const Options &options)
    : model_(model), options_(options),
      deadline_(options.requested.value_or(Clock::now()) +
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.timeLimit)))
{
    if (!(options.timeLimit > 0))
        throw Error(QStringLiteral("Время на поиск должно быть больше нуля."));
    reduced_ = reduce(model, std::max(0, options.alternatives), 1, options.start);
    answerSeconds_ = std::min(kAnswerSeconds, kAnswerShare * options.timeLimit);
    reduced_.problem.timeLimit = std::max(kLeastSolverSeconds, secondsUntil(deadline_) - answerSeconds_);
    request_ = reduced_.problem.toJson();
}

QString Job::program() const
{
    if (!options_.solver.isEmpty())
        return options_.solver;
    // Beside the program in the build tree; in libexec once installed.
    const QDir dir(QCoreApplication::applicationDirPath());
    const QString beside = dir.filePath(QStringLiteral("vestor-solve"));
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QDir::cleanPath(dir.filePath(QStringLiteral(VESTOR_SOLVER_FROM_BIN "/vestor-solve")));
}

ItemSet Job::lockedOnly() const
{
    Counts locks;
    for (const auto &[record, count] : model_.inputs().locked)
        locks[*model_.itemOf(record)] = count;
    return checkedSet(model_, locks);
}

bool Job::needsSolver() const
{
    return secondsUntil(deadline_) - answerSeconds_ >= kLeastSolverSeconds && !lockedOnly().meetsAll();
}

int Job::patience() const
{
    return std::max(0, int((secondsUntil(deadline_) + kGraceSeconds) * kMillisecondsPerSecond));
}

ItemSet Job::fallback() const
{
    ItemSet best = lockedOnly();
    try {
        ItemSet pick = checkedSet(model_, describedSet(model_, options_.start).counts);
        if (better(model_, pick, best))
            best = std::move(pick);
    } catch (const Error &) {
        // The pick's set breaks a lock or the money: not an answer here.
    }
    return best;
}

Result Job::withoutSolver(const QString &why) const
{
    Result r;
    r.alternativesAsked = options_.alternatives;
    // Every set holds the locked items: when they alone meet every need, nothing
    // is cheaper, and every other set only adds to them.
    if (ItemSet locks = lockedOnly(); locks.meetsAll()) {
        r.allMet = r.proven = true;
        r.sets.push_back(std::move(locks));
        return r;
    }
    r.sets.push_back(fallback());
    r.allMet = r.sets[0].meetsAll();
    r.gapKnown = false;
    r.doubts << why;
    if (!r.allMet)
        r.unreachable = unreachableNeeds(model_);
    return r;
}

Result Job::conclude(QProcess::ExitStatus status, int exitCode, const QByteArray &out, const QByteArray &err) const
{
    if (status != QProcess::NormalExit)
        throw Error(QStringLiteral("Решатель аварийно завершился; лучший комплект не найден."));
    if (exitCode != 0)
        throw Error(QStringLiteral("Решатель сообщил об ошибке: %1")
                        .arg(QString::fromLocal8Bit(err).trimmed().split(u'\n').last()));
    return interpret(Answer::fromJson(out));
}

ItemSet Job::setOf(const std::vector<int> &answerSet) const
{
    ItemSet set = checkedSet(model_, countsOf(reduced_, answerSet));
    for (int k = 0; k < int(answerSet.size()); ++k)
        if (answerSet[k] > 0 && reduced_.alike[k].size() > 1)
            set.alike.push_back({reduced_.alike[k], answerSet[k]});
    return set;
}

Result Job::interpret(const Answer &answer) const
{
    Result r;
    r.alternativesAsked = options_.alternatives;
    r.allMet = answer.allMet;
    r.proven = answer.proven;
    r.gap = answer.gap;
    for (const auto &set : answer.sets)
        r.sets.push_back(setOf(set));
    if (r.sets.empty())
        return withoutSolver(timeCut());
    if (!answer.proven)
        r.doubts << timeCut();
    // Cut by the time limit before a set meeting every need turned up, the search
    // went on to the closest; if that meets them all after all, it is one of them.
    if (!r.allMet && !r.proven && r.sets[0].meetsAll()) {
        r.allMet = true;
        const auto firstShort =
            std::find_if(r.sets.begin(), r.sets.end(), [](const ItemSet &s) { return !s.meetsAll(); });
        r.sets.erase(firstShort, r.sets.end());
    }
    checkSets(model_, r.allMet, r.sets);
    preferFallback(r);
    r.doubts << reduced_.doubts;
    if (!r.allMet)
        r.doubts << reduced_.closestDoubts;
    r.proven = r.proven && r.doubts.isEmpty();
    if (!r.allMet) {
        r.unreachable = unreachableNeeds(model_);
        addMoneyNeeded(answer, r);
    }
    return r;
}

void Job::preferFallback(Result &r) const
{
    // The solver's best never loses to a set known before it ran.
    ItemSet known = fallback();
    if (!better(model_, known, r.sets[0]))
        return;
    if (r.proven)
        r.doubts << QStringLiteral("ответ решателя не прошёл проверки: обычный подбор нашёл комплект лучше");
    r.proven = false;
    r.gapKnown = false;
    r.allMet = known.meetsAll();
    std::vector<ItemSet> sets{std::move(known)};
    for (ItemSet &s : r.sets)
        if (s.meetsAll() == r.allMet && std::none_of(sets.begin(), sets.end(), [&](const ItemSet &earlier) {
                return contains(s.counts, earlier.counts) || contains(earlier.counts, s.counts);
            }))
            sets.push_back(std::move(s));
    r.sets = std::move(sets);
}

void Job::addMoneyNeeded(const Answer &answer, Result &r) const
{
    if (!answer.moneyNeeded || !r.unreachable.empty())
        return;
    const double money = double(*answer.moneyNeeded) / reduced_.priceScale;
    // More money is needed only when the money at hand falls short.
    if (money <= model_.inputs().money || same(money, model_.inputs().money)) {
        if (r.proven)
            throw Error(QStringLiteral("Решатель противоречит себе: все требования выполнимы за %1, но он этого "
                                       "не нашёл.")
                            .arg(formatGeneral(money)));
        return;
    }
    r.moneyNeeded = money;
    r.moneyNeededProven = answer.moneyNeededProven && reduced_.doubts.isEmpty();
}

void checkSets(const Model &model, bool allMet, const std::vector<ItemSet> &sets)
{
    for (std::size_t k = 0; k < sets.size(); ++k) {
        if (sets[k].meetsAll() != allMet)
            throw Error(allMet ? QStringLiteral("Комплект решателя не выполняет всех требований.")
                               : QStringLiteral("Решатель не заметил комплекта, выполняющего все требования."));
        for (std::size_t j = 0; j < k; ++j) {
            if (contains(sets[k].counts, sets[j].counts))
                throw Error(QStringLiteral("Решатель повторил уже найденный комплект."));
            if (contains(sets[j].counts, sets[k].counts))
                throw Error(QStringLiteral("Решатель предложил комплект, который лишь убирает вещи из найденного."));
        }
        if (k > 0 && better(model, sets[k], sets[k - 1]))
            throw Error(QStringLiteral("Решатель вернул комплекты не по порядку."));
    }
}

Result solve(const Model &model, const Options &options)
{
    Solver solver;
    QEventLoop loop;
    std::optional<Result> result;
    QString failure;
    QObject::connect(&solver, &Solver::finished, &loop, [&](const Result &r) {
        result = r;
        loop.quit();
    });
    QObject::connect(&solver, &Solver::failed, &loop, [&](const QString &message) {
        failure = message;
        loop.quit();
    });
    solver.start(std::shared_ptr<const Model>(&model, [](const Model *) {}), options);
    if (!result && failure.isEmpty())
        loop.exec();
    if (!result)
        throw Error(failure);
    return *result;
}

} // namespace vestor::best
