// Responses handled per second by one journal queue window, with few and
// with many lights downloading at once. Every light answers at once through
// the event loop, so the figure is the window's own cost per answer.

#include "host/response.h"
#include "queue/queuewindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>

#include <cstdio>
#include <memory>
#include <vector>

// A light that answers every "GET_JRNL" with a full block on the next pass
// of the event loop and keeps nothing of what it was asked, so that the
// figures are the window's.
class BenchLight : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int id READ id)
    Q_PROPERTY(QString type READ type)
    Q_PROPERTY(bool isConnected READ isConnected)

public:
    BenchLight(int id, const QByteArray& block) : m_id(id), m_block(block) {}

    int id() const { return m_id; }
    QString type() const { return QStringLiteral("Вегал V3.17"); }
    bool isConnected() const { return m_connected; }
    void setConnected(bool up)
    {
        m_connected = up;
        emit connected(up);
    }

    Q_INVOKABLE Response* sendCommand(QVariant command, QVariant args)
    {
        Q_UNUSED(command);
        auto* response = new Response(this);
        QPointer<Response> guard(response);
        const QVariantList data{args.toList().value(0), m_block};
        // A posted call rather than a zero timer: every timer joins a sorted list
        // whose insertion grows with the lights waiting, a cost of the stand-in
        // host, not of the window measured here.
        QMetaObject::invokeMethod(
            this,
            [guard, data] {
                if (!guard)
                    return;
                guard->finishWithData(data);
                // Answered and delivered: a host lets its answers go then.
                guard->deleteLater();
            },
            Qt::QueuedConnection);
        return response;
    }

signals:
    void connected(bool up);

private:
    int m_id;
    QByteArray m_block;
    bool m_connected = false;
};

namespace {

struct Run
{
    int lights = 0;
    int responses = 0;
    double seconds = 0;
    double perSecond() const { return responses / seconds; }
    double microsPerResponse() const { return seconds * 1e6 / responses; }
};

// One window, lightCount lights each downloading blocksPerLight blocks;
// only the download itself is timed.
Run measureOnce(int lightCount, int blocksPerLight, bool sorted = false)
{
    // Files go to memory when possible: the figure is the window's cost, not the disk's.
    const QString shm = QStringLiteral("/dev/shm");
    QTemporaryDir dir(QFileInfo(shm).isWritable() ? shm + QStringLiteral("/bench-queue-XXXXXX")
                                                  : QString());
    QueueWindow window(nullptr, true);
    window.setSaveDir(QDir(dir.path()));
    if (!qEnvironmentVariableIsSet("BENCH_QUEUE_HIDDEN"))
        window.show();

    int done = 0;
    QObject::connect(&window, &QueueWindow::downloadComplete, [&done] { ++done; });

    QByteArray block;
    for (int r = 0; r < 12; ++r)
        block += QByteArray(8, char(0x10 + r));
    std::vector<std::unique_ptr<BenchLight>> lights;
    lights.reserve(size_t(lightCount));
    for (int i = 0; i < lightCount; ++i) {
        auto light = std::make_unique<BenchLight>(i + 1, block);
        // Queued while offline, so rows are made before the clock starts.
        window.enqueue(light.get(), blocksPerLight);
        lights.push_back(std::move(light));
    }
    if (sorted) // as an operator would: newest controllers first
        window.findChild<QTableWidget*>()->sortByColumn(0, Qt::DescendingOrder);
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    for (auto& light : lights)
        light->setConnected(true);
    while (done < lightCount)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    Run run;
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.lights = lightCount;
    run.responses = lightCount * blocksPerLight;
    return run;
}

// The same number of lights' downloads (and so of files saved) in every
// measurement: few lights in many rounds, or many lights at once.
Run measure(int lightCount, int blocksPerLight, int rounds)
{
    Run total;
    for (int r = 0; r < rounds; ++r) {
        const Run run = measureOnce(lightCount, blocksPerLight);
        total.lights = run.lights;
        total.responses += run.responses;
        total.seconds += run.seconds;
    }
    return total;
}

void print(const Run& run)
{
    std::printf("%5d lights: %7d responses in %.3f s = %9.0f responses/s (%.2f us each)\n",
                run.lights, run.responses, run.seconds, run.perSecond(), run.microsPerResponse());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int blocks = qEnvironmentVariableIsSet("BENCH_QUEUE_BLOCKS")
                           ? qEnvironmentVariableIntValue("BENCH_QUEUE_BLOCKS")
                           : 100;
    // One size alone, for a profiler.
    const int only = qEnvironmentVariableIntValue("BENCH_QUEUE_ONLY");
    if (only > 0) {
        print(measure(only, blocks, qMax(1, 2000 / only)));
        return 0;
    }
    measureOnce(20, blocks); // warm-up
    const Run few = measure(20, blocks, 100);
    const Run many = measure(2000, blocks, 1);
    const Run sorted = measureOnce(2000, blocks, true);
    print(few);
    print(many);
    std::printf("sorted by the operator:\n");
    print(sorted);
    std::printf("cost per response at 2000 / at 20: %.2f (target <= 1.5)\n",
                many.microsPerResponse() / few.microsPerResponse());
    return 0;
}

#include "main.moc"
