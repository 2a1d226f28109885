#pragma once

#include "best/Model.h"
#include "best/Solve.h"
#include "best/Solver.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace vestor {

class Catalogue;

// "Лучший комплект": the pick's set for the main window's inputs beside the
// best set, their yields against the needs, the alternatives, locks and
// exclusions, and saving the shown set. The solve runs in the solver process;
// the window stays usable whatever it does.
class BestWindow : public QWidget
{
    Q_OBJECT
public:
    // The catalogue must stand on the race and level of the inputs.
    explicit BestWindow(Catalogue &catalogue, QWidget *parent = nullptr);

    // The inputs of the pick to solve for; set by the window's owner.
    std::function<PickInputs()> inputs;
    // Saves a report's text the way the main window saves its report.
    std::function<void(const QString &text)> saveReport;

    // Reads the inputs again and starts a new solve.
    void solve();
    void cancel();
    void save();
    // The record of the item in the current row of the best set's table.
    void lockCurrent();
    void excludeCurrent();
    void clearChoices();

    // Where the solver program is; empty: beside this program. Tests point it elsewhere.
    QString solverProgram;

private:
    void build();
    QWidget *buildSets();
    QWidget *buildSide();
    void showResult(const best::Result &result);
    void showFailure(const QString &message);
    void showSet(int index);
    void showStats(const best::ItemSet *best);
    void showChoices();
    void setRunning(bool running);
    void tick();
    std::optional<std::int64_t> currentRecord() const;

    Catalogue &catalogue_;
    best::Solver solver_;
    std::shared_ptr<const best::Model> model_;
    std::optional<best::ItemSet> greedy_;
    std::optional<best::Result> result_;
    int shown_ = 0;
    std::map<std::int64_t, int> locked_;
    std::set<std::int64_t> excluded_;
    QElapsedTimer clock_;
    QTimer ticker_;

    QLabel *modeLabel_;
    QLabel *proofLabel_;
    QLabel *statusLabel_;
    QLabel *shortLabel_;
    QTableWidget *greedyTable_;
    QTableWidget *bestTable_;
    QLabel *greedyTotal_;
    QLabel *bestTotal_;
    QTableWidget *statsTable_;
    QListWidget *alternatives_;
    QListWidget *choices_;
    QPushButton *solveButton_;
    QPushButton *cancelButton_;
    QPushButton *saveButton_;
};

} // namespace vestor
