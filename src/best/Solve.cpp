#include "best/Solve.h"

#include "catalogue/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace vestor::best {

namespace {

// Beyond the time limit: process start, reading the table, writing the answer.
constexpr double kGraceSeconds = 3;
constexpr int kMillisecondsPerSecond = 1000;
constexpr double kOrderTolerance = 1e-9;

// (relative shortfall, price): the order the sets come in.
std::pair<double, double> rank(const Model &model, const ItemSet &set)
{
    return {set.relativeShortfall(model), set.total};
}

} // namespace

Job::Job(const Model &model, const Options &options)
    : model_(model), options_(options),
      reduced_(reduce(model, std::max(0, options.alternatives), options.timeLimit, options.start)),
      request_(reduced_.problem.toJson())
{
    if (!(options.timeLimit > 0))
        throw Error(QStringLiteral("Время на поиск должно быть больше нуля."));
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

int Job::patience() const { return int((options_.timeLimit + kGraceSeconds) * kMillisecondsPerSecond); }

Result Job::conclude(QProcess::ExitStatus status, int exitCode, const QByteArray &out, const QByteArray &err) const
{
    if (status != QProcess::NormalExit)
        throw Error(QStringLiteral("Решатель аварийно завершился; лучший комплект не найден."));
    if (exitCode != 0)
        throw Error(QStringLiteral("Решатель сообщил об ошибке: %1")
                        .arg(QString::fromLocal8Bit(err).trimmed().split(u'\n').last()));
    return interpret(Answer::fromJson(out));
}

Result Job::interpret(const Answer &answer) const
{
    Result r;
    r.allMet = answer.allMet;
    r.proven = answer.proven;
    r.gap = answer.gap;
    for (const auto &set : answer.sets)
        r.sets.push_back(checkedSet(model_, countsOf(reduced_, set)));
    if (r.sets.empty())
        throw Error(QStringLiteral("Решатель не нашёл ни одного комплекта."));
    // Cut by the time limit before a set meeting every need turned up, the search
    // went on to the closest; if that meets them all after all, it is one of them.
    if (!r.allMet && !r.proven && r.sets[0].meetsAll()) {
        r.allMet = true;
        const auto firstShort =
            std::find_if(r.sets.begin(), r.sets.end(), [](const ItemSet &s) { return !s.meetsAll(); });
        r.sets.erase(firstShort, r.sets.end());
    }
    checkSets(model_, r.allMet, r.sets);
    if (!r.allMet) {
        r.unreachable = unreachableNeeds(model_);
        if (answer.moneyNeeded && r.unreachable.empty())
            r.moneyNeeded = double(*answer.moneyNeeded) / reduced_.priceScale;
    }
    return r;
}

void checkSets(const Model &model, bool allMet, const std::vector<ItemSet> &sets)
{
    for (std::size_t k = 0; k < sets.size(); ++k) {
        if (sets[k].meetsAll() != allMet)
            throw Error(allMet ? QStringLiteral("Комплект решателя не выполняет всех требований.")
                               : QStringLiteral("Решатель не заметил комплекта, выполняющего все требования."));
        for (std::size_t j = 0; j < k; ++j)
            if (contains(sets[k].counts, sets[j].counts))
                throw Error(QStringLiteral("Решатель повторил уже найденный комплект."));
        if (k > 0) {
            const auto [shortBefore, priceBefore] = rank(model, sets[k - 1]);
            const auto [shortNow, priceNow] = rank(model, sets[k]);
            const bool ordered =
                shortNow > shortBefore + kOrderTolerance ||
                (shortNow > shortBefore - kOrderTolerance && priceNow >= priceBefore - kOrderTolerance);
            if (!ordered)
                throw Error(QStringLiteral("Решатель вернул комплекты не по порядку."));
        }
    }
}

Result solve(const Model &model, const Options &options)
{
    const Job job(model, options);
    QProcess process;
    process.start(job.program(), {});
    if (!process.waitForStarted())
        throw Error(QStringLiteral("Не удалось запустить решатель %1: %2").arg(job.program(), process.errorString()));
    process.write(job.request());
    process.closeWriteChannel();
    if (!process.waitForFinished(job.patience())) {
        process.kill();
        process.waitForFinished();
        throw Error(QStringLiteral("Решатель не ответил вовремя и был остановлен."));
    }
    return job.conclude(process.exitStatus(), process.exitCode(), process.readAllStandardOutput(),
                        process.readAllStandardError());
}

} // namespace vestor::best
