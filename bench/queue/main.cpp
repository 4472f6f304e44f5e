// Journal downloads of N lights at once, run the way a host runs them: the
// built module loaded with QPluginLoader, its queue docked in the host's main
// window, every request and signal by name. A minimal client of this program's
// own does the same exchanges and file writes, as the floor of that work.

#include "bench/headless.h"
#include "bench/processmemory.h"
#include "bench/queue/benchhost.h"
#include "bench/queue/memorybench.h"
#include "bench/queue/removalbench.h"
#include "core/downloadfile.h"
#include "host/response.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMainWindow>
#include <QPluginLoader>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int validBlocks = 50;
constexpr int answersPerLight = validBlocks + 1; // and then erased space
} // namespace

// Counts saved journals and stops the run at the last one. The module's
// window is reached by signature only, as a host that links none of it can.
class Completions : public QObject
{
    Q_OBJECT

public:
    Completions(int target, const QElapsedTimer& clock, QEventLoop& loop)
        : m_target(target), m_clock(clock), m_loop(loop)
    {}

    qint64 lastNanoseconds = 0;
    qint64 residentAtLast = 0;

public slots:
    void complete(QObject* light, QString path);

private:
    int m_target;
    int m_done = 0;
    const QElapsedTimer& m_clock;
    QEventLoop& m_loop;
};

namespace {

qint64 residentBytes()
{
    return qint64(statusKiB("VmRSS:")) * 1024;
}

} // namespace

void Completions::complete(QObject*, QString)
{
    if (++m_done != m_target)
        return;
    lastNanoseconds = m_clock.nsecsElapsed();
    residentAtLast = residentBytes();
    m_loop.quit();
}

namespace {

struct Figures
{
    double queuingMs = 0;
    double totalMs = 0;
    double longestPauseMs = 0; // of the event loop, after queuing
    qint64 residentGrowth = 0;
    int wrongFiles = 0;
    bool stalled = false;
    const char* fault = nullptr; // the run could not be made as a host makes it
};

// The best of two runs: the shortest times and pauses, the least memory; any
// fault of either.
Figures best(const Figures& a, const Figures& b)
{
    Figures f;
    f.queuingMs = qMin(a.queuingMs, b.queuingMs);
    f.totalMs = qMin(a.totalMs, b.totalMs);
    f.longestPauseMs = qMin(a.longestPauseMs, b.longestPauseMs);
    f.residentGrowth = qMin(a.residentGrowth, b.residentGrowth);
    f.wrongFiles = a.wrongFiles + b.wrongFiles;
    f.stalled = a.stalled || b.stalled;
    return f;
}

// Runs the loop until the last completion; false when no command went out
// for a minute.
bool runUntilDone(QEventLoop& loop, double* longestPauseMs)
{
    QTimer watchdog;
    int seen = -1;
    int idleSeconds = 0;
    watchdog.callOnTimeout([&] {
        idleSeconds = BenchLight::commands == seen ? idleSeconds + 1 : 0;
        seen = BenchLight::commands;
        if (idleSeconds >= 60)
            loop.exit(1);
    });
    watchdog.start(1000);
    // How long the GUI goes without handling its events: a timer that should
    // fire every millisecond tells the longest wait between two of its ticks.
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceBeat;
    sinceBeat.start();
    qint64 longestPause = 0;
    beat.callOnTimeout([&] { longestPause = qMax(longestPause, sinceBeat.restart()); });
    beat.start(1);
    const bool done = loop.exec() == 0;
    *longestPauseMs = double(longestPause);
    return done;
}

// The module in a host just started: its main window with the saved layout
// back, a journal queue made by the first request, closed by the operator at
// the end so that the next run gets a new one.
Figures runModule(QObject* module, const QByteArray& layout, bool shown, int count, Answers answers)
{
    Figures f;
    QMainWindow host;
    prepareHost(host, layout, shown);
    QTemporaryDir dir(scratchTemplate("bench-queue"));
    module->setProperty("journalDir", dir.path());
    const BenchLights lights = makeLights(count, BenchLight::RealSize, validBlocks, answers);
    trimHeap();
    const qint64 residentBefore = residentBytes();

    QElapsedTimer clock;
    QEventLoop loop;
    Completions completions(count, clock, loop);
    clock.start();
    queueJournals(module, lights);
    f.queuingMs = clock.nsecsElapsed() / 1e6;

    // No answer is delivered before the loop runs, so connecting now misses none.
    const QPointer<QDockWidget> dock =
        host.findChild<QDockWidget*>(QLatin1String(journalQueueDock));
    QWidget* queue = dock ? dock->widget() : nullptr;
    if (!queue || !queue->inherits("QueueWindow") || dock->isFloating() ||
        host.dockWidgetArea(dock) == Qt::NoDockWidgetArea || dock->isVisible() != shown) {
        f.fault = "the module did not dock its journal queue in the main window";
        return f;
    }
    QObject::connect(queue, SIGNAL(downloadComplete(QObject*, QString)), &completions,
                     SLOT(complete(QObject*, QString)));
    f.stalled = !runUntilDone(loop, &f.longestPauseMs);
    f.totalMs = completions.lastNanoseconds / 1e6;
    f.residentGrowth = completions.residentAtLast - residentBefore;

    f.fault = closeJournalQueue(dock);
    f.wrongFiles = wrongJournalFiles(QDir(dir.path()), lights);
    return f;
}

// The floor: the same commands by name, the same handling of each answer
// and the same file writes, with nothing else around them.
class MinimalClient
{
public:
    MinimalClient(const QDir& dir, Completions& completions)
        : m_dir(dir), m_completions(completions)
    {}

    void start(BenchLight* light)
    {
        m_downloads.push_back(std::make_unique<Download>(Download{light, light->id(), 0, {}}));
        ask(*m_downloads.back());
    }

private:
    struct Download
    {
        QObject* light;
        int id;
        int next = 0;
        QByteArray buffer;
    };

    void ask(Download& d)
    {
        Response* response = nullptr;
        QMetaObject::invokeMethod(d.light, "sendCommand",
                                  QGenericReturnArgument("Response*", &response),
                                  Q_ARG(QVariant, QVariant(QStringLiteral("GET_JRNL"))),
                                  Q_ARG(QVariant, QVariant(QVariantList{d.next})));
        Download* download = &d;
        QObject::connect(response, &Response::finished, response,
                         [this, download, response] { answered(*download, response); });
    }

    void answered(Download& d, QObject* response)
    {
        if (response->property("error").toInt() != 0) {
            ask(d);
            return;
        }
        const QByteArray block = response->property("data").toList().value(1).toByteArray();
        bool erased = block.isEmpty();
        for (int i = 0; i < block.size() && !erased; i += BenchLight::recordSize)
            erased = static_cast<unsigned char>(block.at(i)) == 0xFF;
        if (!erased) {
            d.buffer += block;
            ++d.next;
            ask(d);
            return;
        }
        const QString path = m_dir.absoluteFilePath(DownloadFile::fileName(true, d.id));
        DownloadFile::save(path, d.buffer);
        m_completions.complete(d.light, path);
    }

    QDir m_dir;
    Completions& m_completions;
    std::vector<std::unique_ptr<Download>> m_downloads;
};

Figures runMinimal(int count, Answers answers)
{
    Figures f;
    QTemporaryDir dir(scratchTemplate("bench-queue"));
    const BenchLights lights = makeLights(count, BenchLight::RealSize, validBlocks, answers);
    QElapsedTimer clock;
    QEventLoop loop;
    Completions completions(count, clock, loop);
    MinimalClient client(QDir(dir.path()), completions);
    clock.start();
    for (const auto& light : lights)
        client.start(light.get());
    f.stalled = !runUntilDone(loop, &f.longestPauseMs);
    f.totalMs = completions.lastNanoseconds / 1e6;
    f.wrongFiles = wrongJournalFiles(QDir(dir.path()), lights);
    return f;
}

QString pluginPath()
{
    const QString dir =
        qEnvironmentVariableIsSet("DQ_PLUGIN_DIR")
            ? qEnvironmentVariable("DQ_PLUGIN_DIR")
            : QCoreApplication::applicationDirPath() + QStringLiteral("/../plugins");
    return QDir(dir).absoluteFilePath(QStringLiteral("libdownloadqueue.so"));
}

// The layout a host restores at start, with its journal queue docked at the
// bottom: the module's dock takes that place when it is made.
QByteArray layoutWithJournalQueue()
{
    QMainWindow saved;
    saved.setCentralWidget(new QWidget(&saved));
    auto* dock = new QDockWidget(&saved);
    dock->setObjectName(QLatin1String(journalQueueDock));
    saved.addDockWidget(Qt::BottomDockWidgetArea, dock);
    return saved.saveState();
}

// Ascending, each once: the smallest is the reference of the others.
std::vector<int> parseCounts(const QString& text)
{
    std::vector<int> counts;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        if (!ok || n < 1 || n > maxLights)
            return {};
        counts.push_back(n);
    }
    std::sort(counts.begin(), counts.end());
    counts.erase(std::unique(counts.begin(), counts.end()), counts.end());
    return counts;
}

} // namespace

int main(int argc, char** argv)
{
    runOffscreenUnlessAsked();
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Journal downloads of N lights at once through the built module, docked "
                       "in a main window, against a minimal client of the same exchanges and "
                       "file writes. Each light answers %1 blocks, then erased space. With "
                       "--memory: the module's memory under a flood of downloads instead.")
            .arg(validBlocks));
    parser.addHelpOption();
    const QCommandLineOption lightsOption(
        QStringLiteral("lights"),
        QStringLiteral("Comma-separated numbers of lights, one run each."), QStringLiteral("list"),
        QStringLiteral("20,200,2000,10000"));
    const QCommandLineOption hiddenOption(QStringLiteral("hidden"),
                                          QStringLiteral("Leave the host's main window unshown, so "
                                                         "that the queue paints nothing."));
    const QCommandLineOption repeatOption(
        QStringLiteral("repeat"),
        QStringLiteral("Runs of each client per number of lights, taken in turns; each figure is "
                       "the best of them, as the least disturbed by the rest of the machine."),
        QStringLiteral("count"), QStringLiteral("3"));
    const QCommandLineOption memoryOption(
        QStringLiteral("memory"),
        QStringLiteral("Measure memory instead: hostile lights (1 MiB blocks without end) and "
                       "lights of real-size journals, each download to its end, the peak resident "
                       "memory against the download budget, how the downloads ended and View on "
                       "each kind of row."));
    const QCommandLineOption scenariosOption(
        QStringLiteral("scenarios"),
        QStringLiteral("With --memory: the runs, as kind:lights separated by commas (kind: "
                       "hostile or real)."),
        QStringLiteral("list"), QStringLiteral("hostile:100,hostile:1000,real:10000"));
    const QCommandLineOption answersOption(
        QStringLiteral("answers"),
        QStringLiteral("How the lights answer, one table each: posted (a call posted to the event "
                       "loop), timer (a zero-time timer of each response, as hosts do), or both "
                       "separated by a comma."),
        QStringLiteral("ways"), QStringLiteral("posted,timer"));
    const QCommandLineOption removalOption(
        QStringLiteral("removal"),
        QStringLiteral("Measure removing instead: every other row of a queue of this many "
                       "downloads under way, by Remove on the selected rows and by the host's "
                       "clearJournal."),
        QStringLiteral("rows"));
    parser.addOptions({lightsOption, answersOption, hiddenOption, repeatOption, memoryOption,
                       scenariosOption, removalOption});
    parser.process(app);
    std::vector<MemoryBench::Scenario> scenarios;
    if (parser.isSet(memoryOption) &&
        !MemoryBench::parse(parser.value(scenariosOption), &scenarios)) {
        std::fprintf(stderr,
                     "--scenarios: kind:lights separated by commas, kind hostile or real, lights "
                     "from 1 to %d\n",
                     maxLights);
        return 2;
    }
    const int repeat = qBound(1, parser.value(repeatOption).toInt(), 100);
    const std::vector<int> counts = parseCounts(parser.value(lightsOption));
    if (counts.empty()) {
        std::fprintf(stderr, "--lights: numbers from 1 to %d, separated by commas\n", maxLights);
        return 2;
    }

    std::vector<Answers> ways;
    for (const QString& way : parser.value(answersOption).split(QLatin1Char(','))) {
        const QString w = way.trimmed();
        if (w != QLatin1String("posted") && w != QLatin1String("timer")) {
            std::fprintf(stderr, "--answers: posted, timer or both, separated by a comma\n");
            return 2;
        }
        const Answers a = w == QLatin1String("posted") ? Answers::Posted : Answers::Timer;
        if (std::find(ways.begin(), ways.end(), a) == ways.end())
            ways.push_back(a);
    }

    const QByteArray layout = layoutWithJournalQueue();
    const bool shown = !parser.isSet(hiddenOption);
    QPluginLoader loader(pluginPath());
    QObject* module = loader.instance();
    if (!module) {
        std::fprintf(stderr, "%s\n", qPrintable(loader.errorString()));
        return 2;
    }

    if (!scenarios.empty())
        return MemoryBench(module, layout, shown).run(scenarios) ? 0 : 1;
    if (parser.isSet(removalOption))
        return RemovalBench::run(module, layout, shown,
                                 qBound(2, parser.value(removalOption).toInt(), maxLights))
                   ? 0
                   : 1;

    // Warm-up, not shown: first-use costs (fonts, styles, the file system) stay out.
    if (const char* fault = runModule(module, layout, shown, 20, Answers::Posted).fault) {
        std::fprintf(stderr, "%s\n", fault);
        return 2;
    }
    runMinimal(20, Answers::Posted);

    std::printf(
        "Each light answers %d blocks, then erased space; the main window is %s; best of %d "
        "runs.\n"
        "queuing: loadJournal for every light, first call to last return. module, minimal: first\n"
        "request to last saved journal; ratio: module / minimal. us/answer: the module's, and vs\n"
        "its figure at N=%d. pauses ms: the longest the GUI went without handling its\n"
        "events after queuing, module/minimal.\n"
        "KiB/light: the module's resident set at the last completion less that before queuing.\n"
        "bad files: files missing or differing from what the lights sent, of both clients.\n",
        validBlocks, shown ? "shown (offscreen unless QT_QPA_PLATFORM says otherwise)" : "hidden",
        repeat, counts.front());
    bool failed = false;
    for (const Answers answers : ways) {
        std::printf("\n%s\n",
                    answers == Answers::Posted
                        ? "Lights answer by a call posted to the event loop:"
                        : "Lights answer through a zero-time timer of each response, as hosts do "
                          "(Qt walks every pending timer to stop one):");
        std::printf("%7s %10s %10s %10s %7s %10s %8s %9s %10s %10s\n", "lights", "queuing ms",
                    "module ms", "minimal ms", "ratio", "us/answer",
                    qPrintable(QStringLiteral("vs %1").arg(counts.front())), "pauses ms",
                    "KiB/light", "bad files");
        double firstPerAnswer = 0;
        for (int n : counts) {
            Figures m, minimal;
            for (int run = 0; run < repeat; ++run) {
                const Figures mr = runModule(module, layout, shown, n, answers);
                if (mr.fault) {
                    std::fprintf(stderr, "%s\n", mr.fault);
                    return 2;
                }
                const Figures nr = runMinimal(n, answers);
                m = run == 0 ? mr : best(m, mr);
                minimal = run == 0 ? nr : best(minimal, nr);
            }
            const double perAnswer = m.totalMs * 1000 / (double(n) * answersPerLight);
            if (firstPerAnswer == 0)
                firstPerAnswer = perAnswer;
            const int bad = m.wrongFiles + minimal.wrongFiles;
            const QByteArray pauses = QByteArray::number(m.longestPauseMs) + '/' +
                                      QByteArray::number(minimal.longestPauseMs);
            std::printf("%7d %10.1f %10.1f %10.1f %7.2f %10.2f %8.2f %9s %10.1f %10d%s\n", n,
                        m.queuingMs, m.totalMs, minimal.totalMs, m.totalMs / minimal.totalMs,
                        perAnswer, perAnswer / firstPerAnswer, pauses.constData(),
                        m.residentGrowth / 1024.0 / n, bad,
                        m.stalled || minimal.stalled ? "  (stalled: no command for a minute)" : "");
            std::fflush(stdout);
            failed = failed || bad > 0 || m.stalled || minimal.stalled;
        }
    }
    return failed ? 1 : 0;
}

#include "main.moc"
