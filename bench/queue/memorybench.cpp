#include "bench/queue/memorybench.h"

#include "bench/processmemory.h"
#include "bench/queue/benchhost.h"
#include "core/downloadfile.h"
#include "queue/downloadengine.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QEventLoop>
#include <QFile>
#include <QMainWindow>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// The format the queue picks for the lights' type ("Вегал V3.17").
constexpr int journalVersion = 317;
constexpr int stallSeconds = 30;
constexpr int sampleMs = 100;

const char* kindName(BenchLight::Kind kind)
{
    return kind == BenchLight::Hostile ? "hostile" : "real";
}

// Sets the high-water mark back to what is resident now (Linux 4.0 on), so
// that what a view took is not counted as the downloads' peak.
bool resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && f.write("5", 1) == 1;
}

QList<QWidget*> viewers()
{
    QList<QWidget*> found;
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows)
        if (w->inherits("JournalViewDlg"))
            found.append(w);
    return found;
}

// The rows of the viewer opened since `before`, which is closed then; -1
// when none opened.
int takeNewViewer(const QList<QWidget*>& before)
{
    int rows = -1;
    const QList<QWidget*> now = viewers();
    for (QWidget* w : now) {
        if (before.contains(w))
            continue;
        if (const auto* table = w->findChild<QTableWidget*>(QStringLiteral("journalTable")))
            rows = qMax(rows, table->rowCount());
        delete w;
    }
    return rows;
}

double mib(qint64 bytes)
{
    return bytes / 1048576.0;
}

// What a stalled run's line ends with.
QByteArray stallNote(bool stalled)
{
    return stalled ? "  (stalled: no command for " + QByteArray::number(stallSeconds) + " s)"
                   : QByteArray();
}

} // namespace

bool MemoryBench::parse(const QString& text, std::vector<Scenario>* scenarios)
{
    scenarios->clear();
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList kindAndCount = part.trimmed().split(QLatin1Char(':'));
        bool ok = false;
        const int n = kindAndCount.value(1).toInt(&ok);
        const QString kind = kindAndCount.value(0);
        if (kindAndCount.size() != 2 || !ok || n < 1 || n > maxLights ||
            (kind != QLatin1String("hostile") && kind != QLatin1String("real")))
            return false;
        scenarios->push_back(
            {kind == QLatin1String("hostile") ? BenchLight::Hostile : BenchLight::RealSize, n});
    }
    return !scenarios->empty();
}

MemoryBench::MemoryBench(QObject* module, const QByteArray& layout, bool shown)
    : m_module(module), m_layout(layout), m_shown(shown)
{}

void MemoryBench::ended()
{
    if (++m_ended == int(m_lights.size()))
        m_lastEndNs = m_clock.nsecsElapsed();
}

void MemoryBench::completed(QObject*, QString)
{
    ++m_figures->completed;
    ended();
}

void MemoryBench::failed(QObject*, QString msg)
{
    if (msg == QLatin1String("Error: data too large"))
        ++m_figures->tooLarge;
    else
        ++m_figures->otherFailures[msg];
    ended();
}

void MemoryBench::itemChanged(QObject*)
{
    // The engine counts an item's new bytes before it tells of the change:
    // every rise of its figure is seen here.
    m_figures->heldPeak = qMax(m_figures->heldPeak, m_engine->memoryHeld());
}

void MemoryBench::sample()
{
    int waiting = 0;
    BenchLight* smallest = nullptr;
    int smallestSize = 0;
    for (const auto& light : m_lights) {
        const QueueItem* item = m_engine->item(light.get());
        if (!item || !item->memory.waiting)
            continue;
        ++waiting;
        const int size = item->buffer.size();
        if (size > 0 && (!smallest || size < smallestSize)) {
            smallest = light.get();
            smallestSize = size;
        }
    }
    m_figures->mostWaiting = qMax(m_figures->mostWaiting, waiting);
    // The smallest: a hostile row may hold more records than the viewer shows.
    if (m_probe && smallest && !m_waitingViewed) {
        m_waitingViewed = true;
        checkView("waiting", smallest, smallest->journal(m_engine->item(smallest)->loaded));
    }
}

void MemoryBench::checkView(const char* what, BenchLight* light, const QByteArray& expected)
{
    BenchLight::hold();
    const QueueItem* item = m_engine->item(light);
    QString line = QStringLiteral("%1 row %2: ").arg(QLatin1String(what)).arg(light->id());
    bool ok = false;
    int row = -1;
    for (int r = 0; m_table && item && r < m_table->rowCount() && row < 0; ++r)
        if (const QTableWidgetItem* cell = m_table->item(r, 0))
            if (cell->data(Qt::UserRole).value<QObject*>() == light)
                row = r;
    if (row < 0) {
        line += QStringLiteral("not in the queue");
    } else {
        line += QStringLiteral("holds %1 bytes%2, ")
                    .arg(item->buffer.size())
                    .arg(item->memory.givenBack ? QStringLiteral(" (given back to its file)")
                                                : QString());
        const bool intact = item->memory.givenBack || item->buffer == expected;
        m_table->clearSelection();
        m_table->selectionModel()->select(m_table->model()->index(row, 0),
                                          QItemSelectionModel::ClearAndSelect);
        QAction* view = m_table->actions().value(0);
        if (!view || !view->isEnabled()) {
            line += QStringLiteral("View disabled");
            // Right only where there is nothing to show.
            ok = expected.isEmpty();
        } else {
            QList<QWidget*> before = viewers();
            view->trigger();
            QCoreApplication::processEvents(); // the queue opens once the action has returned
            const int rows = takeNewViewer(before);
            // The module's own viewer on a saved file of the same journal.
            const QString path =
                QDir(m_expectedDir).absoluteFilePath(DownloadFile::fileName(true, light->id()));
            DownloadFile::save(path, expected);
            QString bin = path;
            before = viewers();
            QMetaObject::invokeMethod(m_module, "viewJournal", Q_ARG(int, journalVersion),
                                      Q_ARG(QString&, bin));
            const int fileRows = takeNewViewer(before);
            QFile::remove(path);
            // Both refuse a journal of more rows than the viewer shows.
            if (rows < 0 && fileRows < 0)
                line += QStringLiteral("neither View nor the viewer of its journal's file opens "
                                       "its %1 records")
                            .arg(expected.size() / BenchLight::recordSize);
            else
                line += QStringLiteral("View shows %1 rows, the viewer of its journal's file %2")
                            .arg(rows)
                            .arg(fileRows);
            ok = rows == fileRows;
        }
        if (!intact) {
            line += QStringLiteral("; its bytes differ from what the light sent");
            ok = false;
        }
    }
    m_figures->views.append(line + (ok ? QStringLiteral(": ok") : QStringLiteral(": WRONG")));
    m_figures->viewsOk = m_figures->viewsOk && ok;
    BenchLight::release();
}

MemoryBench::Figures MemoryBench::runOne(const Scenario& scenario, bool probe)
{
    Figures f;
    QMainWindow host;
    prepareHost(host, m_layout, m_shown);
    QTemporaryDir dir(scratchTemplate("bench-queue"));
    QTemporaryDir expectedDir(scratchTemplate("bench-queue"));
    m_journalDir = dir.path();
    m_expectedDir = expectedDir.path();
    m_module->setProperty("journalDir", dir.path());
    m_kind = scenario.kind;
    m_lights = makeLights(scenario.lights, scenario.kind);
    m_figures = &f;
    m_ended = 0;
    m_probe = probe;
    m_waitingViewed = false;
    m_lastEndNs = 0;

    trimHeap();
    resetPeak();
    f.baselineKiB = qint64(statusKiB("VmRSS:"));
    m_clock.start();
    queueJournals(m_module, m_lights);

    const QPointer<QDockWidget> dock =
        host.findChild<QDockWidget*>(QLatin1String(journalQueueDock));
    QWidget* queue = dock ? dock->widget() : nullptr;
    QObject* engine = nullptr;
    if (queue)
        for (QObject* child : queue->children())
            if (child->inherits("DownloadEngine"))
                engine = child;
    m_table = queue ? queue->findChild<QTableWidget*>(QStringLiteral("queueTable")) : nullptr;
    if (!queue || !engine || !m_table) {
        f.fault = "the module's journal queue, its engine or its table was not found";
        m_figures = nullptr;
        return f;
    }
    // Read, never driven, through the header the module was built from: this
    // program links the same engine code, so the layout and look-ups are the
    // module's own. Only the engine knows which rows wait for memory or gave
    // their data back.
    m_engine = static_cast<const DownloadEngine*>(engine);
    connect(queue, SIGNAL(downloadComplete(QObject*, QString)), this,
            SLOT(completed(QObject*, QString)));
    connect(queue, SIGNAL(downloadFailed(QObject*, QString)), this,
            SLOT(failed(QObject*, QString)));
    connect(engine, SIGNAL(itemChanged(QObject*)), this, SLOT(itemChanged(QObject*)));

    // Until every download has completed or failed (probing: a waiting row
    // has been viewed), or no command went out for stallSeconds (downloads
    // left waiting for ever).
    QEventLoop loop;
    QTimer ticks;
    int seen = -1;
    int idleTicks = 0;
    ticks.callOnTimeout([&] {
        if (m_ended == scenario.lights || m_waitingViewed) {
            loop.quit();
            return;
        }
        sample();
        idleTicks = BenchLight::commands == seen ? idleTicks + 1 : 0;
        seen = BenchLight::commands;
        if (idleTicks * sampleMs >= stallSeconds * 1000)
            loop.exit(1);
    });
    ticks.start(sampleMs);
    f.stalled = loop.exec() != 0;
    ticks.stop();
    if (!probe) {
        const qint64 endNs = f.stalled ? m_clock.nsecsElapsed() : m_lastEndNs;
        f.wallMs = endNs / 1e6;
        f.peakKiB = qint64(statusKiB("VmHWM:")) - f.baselineKiB;
        f.endKiB = statusKiB("VmRSS:") - f.baselineKiB;
        f.heldEnd = m_engine->memoryHeld();
        f.unfinished = scenario.lights - m_ended;
        checkEnd(f);
    } else if (!m_waitingViewed) {
        f.views.append(QStringLiteral("waiting row: none held data while sampled"));
    }

    disconnect(engine, nullptr, this, nullptr);
    m_engine = nullptr;
    f.fault = closeJournalQueue(dock);
    m_lights.clear();
    m_figures = nullptr;
    return f;
}

void MemoryBench::checkEnd(Figures& f)
{
    int errors = 0;
    BenchLight* released = nullptr;
    BenchLight* held = nullptr;
    BenchLight* failedOne = nullptr;
    for (const auto& light : m_lights) {
        const QueueItem* item = m_engine->item(light.get());
        if (!item)
            continue;
        errors += item->errors;
        if (item->done && item->memory.givenBack && !released)
            released = light.get();
        if (item->done && !item->memory.givenBack && !item->buffer.isEmpty() && !held)
            held = light.get();
        if (item->shown.status == QueueItem::Status::Failed && !failedOne)
            failedOne = light.get();
    }
    f.retries = errors - f.tooLarge - f.otherFailed();
    // The rows left: given back, held, failed (a hostile one holds nothing).
    if (m_kind == BenchLight::RealSize) {
        if (released)
            checkView("completed, given back", released, released->journal());
        if (held)
            checkView("completed, held", held, held->journal());
    } else if (failedOne) {
        checkView("failed", failedOne, QByteArray());
    }
    f.wrongFiles = wrongJournalFiles(QDir(m_journalDir), m_lights);
}

bool MemoryBench::run(const std::vector<Scenario>& scenarios)
{
    // Warm-up, not shown: first-use costs (fonts, styles, the viewer) stay out.
    if (const char* fault = runOne({BenchLight::RealSize, 20}, false).fault) {
        std::fprintf(stderr, "%s\n", fault);
        return false;
    }
    std::printf(
        "Journal downloads of every light at once through the module until each has completed "
        "or failed.\nhostile: 1 MiB blocks without end (a download fails at the ceiling of "
        "%.0f MiB); real: a journal of %d blocks of %d bytes (%d bytes).\n"
        "Journal queue budget %.0f MiB; %d downloads may go past it: budget + %d ceilings = %.0f "
        "MiB.\n"
        "peak: the resident high-water mark less the resident set before queuing%s; end: the "
        "resident set at the last end, less the same.\n"
        "held: the engine's own count of the data its items hold (buffer capacities), at its "
        "highest and at the end.\n"
        "waiting: downloads neither completed nor failed at the end; most w.: the most that "
        "waited for memory at once (sampled every %d ms). retries: failures retried.\n"
        "Views: of rows left at the end; of a waiting row in a second run.\n\n",
        mib(DownloadFile::maxSize), BenchLight::fullBlocks, BenchLight::realBlockSize,
        BenchLight::fullBlocks * BenchLight::realBlockSize, mib(MemoryBudget::journalLimit),
        MemoryBudget::exemptDownloads, MemoryBudget::exemptDownloads,
        mib(MemoryBudget::journalLimit +
            qint64(MemoryBudget::exemptDownloads) * DownloadFile::maxSize),
        resetPeak() ? "" : " (this system cannot set the mark back: the highest of all runs)",
        sampleMs);
    std::printf("%-8s %6s %9s %9s %10s %9s %9s %9s %7s %8s %8s %8s %8s\n", "lights", "count",
                "peak MiB", "end MiB", "held peak", "held end", "completed", "too large", "failed",
                "waiting", "most w.", "retries", "wall s");
    bool ok = true;
    for (const Scenario& s : scenarios) {
        const Figures f = runOne(s, false);
        if (f.fault) {
            std::fprintf(stderr, "%s\n", f.fault);
            return false;
        }
        std::printf("%-8s %6d %9.1f %9.1f %10.1f %9.1f %9d %9d %7d %8d %8d %8d %8.1f%s\n",
                    kindName(s.kind), s.lights, f.peakKiB / 1024.0, f.endKiB / 1024.0,
                    mib(f.heldPeak), mib(f.heldEnd), f.completed, f.tooLarge, f.otherFailed(),
                    f.unfinished, f.mostWaiting, f.retries, f.wallMs / 1000,
                    stallNote(f.stalled).constData());
        for (auto it = f.otherFailures.cbegin(); it != f.otherFailures.cend(); ++it)
            std::printf("    failed %d times: %s\n", it.value(), qPrintable(it.key()));
        for (const QString& line : f.views)
            std::printf("    %s\n", qPrintable(line));
        if (f.wrongFiles)
            std::printf("    %d files missing, differing or unexpected\n", f.wrongFiles);
        std::fflush(stdout);
        const bool expectedEnds =
            s.kind == BenchLight::Hostile ? f.tooLarge == s.lights : f.completed == s.lights;
        ok = ok && !f.stalled && expectedEnds && f.wrongFiles == 0 && f.viewsOk;
    }
    // After all the measured runs: what a view leaves in the heap is not
    // counted in the next.
    std::printf("\nA waiting row, in a second run cut short after its view:\n");
    for (const Scenario& s : scenarios) {
        const Figures probe = runOne(s, true);
        if (probe.fault) {
            std::fprintf(stderr, "%s\n", probe.fault);
            return false;
        }
        for (const QString& line : probe.views)
            std::printf("%-8s %6d %s%s\n", kindName(s.kind), s.lights, qPrintable(line),
                        stallNote(probe.stalled).constData());
        std::fflush(stdout);
        ok = ok && !probe.stalled && probe.viewsOk;
    }
    return ok;
}
