#include "bench/queue/removalbench.h"

#include "bench/queue/benchhost.h"

#include <QAction>
#include <QElapsedTimer>
#include <QItemSelection>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cstdio>

namespace RemovalBench {

namespace {

// One removal of every other row from a queue of `rows` downloads under way;
// its time in ms, or -1 when the wrong rows are left.
double removeHalf(QObject* module, const QByteArray& layout, bool shown, int rows, bool byHost)
{
    QMainWindow host;
    prepareHost(host, layout, shown);
    QTemporaryDir dir(scratchTemplate("bench-queue"));
    module->setProperty("journalDir", dir.path());
    const BenchLights lights = makeLights(rows, BenchLight::RealSize);
    BenchLight::hold(); // every download stays under way
    queueJournals(module, lights);
    QCoreApplication::processEvents();
    const QPointer<QDockWidget> dock =
        host.findChild<QDockWidget*>(QLatin1String(journalQueueDock));
    auto* table = dock ? dock->findChild<QTableWidget*>(QStringLiteral("queueTable")) : nullptr;
    if (!table)
        return -1;

    QObjectList gone;
    QItemSelection selection;
    for (int row = 0; row < table->rowCount(); row += 2) {
        gone.append(lights.at(size_t(row)).get());
        selection.select(table->model()->index(row, 0),
                         table->model()->index(row, table->columnCount() - 1));
    }
    QAction* remove = nullptr;
    for (QAction* action : table->actions())
        if (action->text() == QLatin1String("Remove"))
            remove = action;
    if (!remove)
        return -1;
    table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    if (byHost)
        QMetaObject::invokeMethod(module, "clearJournal", Q_ARG(QObjectList, gone));
    else
        remove->trigger();
    QCoreApplication::processEvents(); // what the removal leaves to paint
    const double ms = clock.nsecsElapsed() / 1e6;

    // The odd ids stay, in their order.
    bool right = table->rowCount() == rows - int(gone.size());
    for (int row = 0; right && row < table->rowCount(); ++row)
        right = table->item(row, 0)->text().toInt() == 2 * row + 2;
    BenchLight::release();
    closeJournalQueue(dock);
    QCoreApplication::processEvents();
    return right ? ms : -1;
}

} // namespace

bool run(QObject* module, const QByteArray& layout, bool shown, int rows)
{
    std::printf("Removing every other row of %d downloads under way, best of 3 (ms):\n", rows);
    std::printf("%-28s %10s\n", "how", "ms");
    bool ok = true;
    for (const bool byHost : {false, true}) {
        double best = -1;
        for (int run = 0; run < 3; ++run) {
            const double ms = removeHalf(module, layout, shown, rows, byHost);
            ok = ok && ms >= 0;
            best = run == 0 ? ms : qMin(best, ms);
        }
        std::printf("%-28s %10.1f%s\n", byHost ? "host's clearJournal" : "rows selected, Remove",
                    best, ok ? "" : "  (wrong rows left)");
        std::fflush(stdout);
    }
    return ok;
}

} // namespace RemovalBench
