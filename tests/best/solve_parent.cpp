// A caller of the solver that a test can kill in the middle of a solve:
// solve_parent SOLVER. The need is one no empty set meets.

#include "best/Model.h"
#include "best/Solve.h"
#include "catalogue/Error.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    vestor::best::Inputs in;
    in.needed[1] = 10;
    const vestor::best::Model model(vestor::ItemRows(), in);
    vestor::best::Options o;
    o.solver = QString::fromLocal8Bit(argv[1]);
    o.timeLimit = 60;
    try {
        vestor::best::solve(model, o);
    } catch (const vestor::Error &) {
        return 1;
    }
    return 0;
}
