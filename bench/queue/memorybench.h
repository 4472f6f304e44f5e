#pragma once

#include "bench/queue/benchhost.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <vector>

class DownloadEngine;
class QTableWidget;

// The module's memory under a flood: journal downloads of many lights at once
// through the built module, as bench-queue runs them, until every one has
// completed or failed. Tells the peak resident memory against the download
// engine's budget, the engine's own count of what it holds, how the downloads
// ended, and whether View opens what each kind of row holds. A row waiting
// for memory is viewed in a run of its own, cut short then: a view takes
// memory of its own, which the measured run must not count.
class MemoryBench : public QObject
{
    Q_OBJECT

public:
    struct Scenario
    {
        BenchLight::Kind kind;
        int lights;
    };
    // "hostile:100,real:10000"; false when the text is not such a list.
    static bool parse(const QString& text, std::vector<Scenario>* scenarios);

    MemoryBench(QObject* module, const QByteArray& layout, bool shown);

    // Runs each scenario after a warm-up and prints its figures; false when
    // one stalled, ended otherwise than expected, saved a wrong file or View
    // did not show what a row holds.
    bool run(const std::vector<Scenario>& scenarios);

private slots:
    void completed(QObject* light, QString file_name);
    void failed(QObject* light, QString msg);
    void itemChanged(QObject* light);

private:
    struct Figures
    {
        double wallMs = 0;
        qint64 baselineKiB = 0;
        qint64 peakKiB = 0; // above the baseline
        qint64 endKiB = 0;  // above the baseline, at the last end
        qint64 heldPeak = 0;
        qint64 heldEnd = 0;
        int completed = 0;
        int tooLarge = 0;
        QMap<QString, int> otherFailures; // by message
        int unfinished = 0;
        int mostWaiting = 0;
        int retries = 0;
        int wrongFiles = 0;
        bool stalled = false;
        QStringList views; // one line per row viewed
        bool viewsOk = true;
        const char* fault = nullptr;

        int otherFailed() const
        {
            int n = 0;
            for (int count : otherFailures)
                n += count;
            return n;
        }
    };

    // Measured to the end; or (probe) only until a waiting row has been viewed.
    Figures runOne(const Scenario& scenario, bool probe);
    // The retries, a view of each kind of row left and the files, at the end.
    void checkEnd(Figures& figures);
    // Watches the run: the most items waiting for memory at once; probing,
    // views the waiting row that holds the least data.
    void sample();
    // One more download completed or failed; the time of the last.
    void ended();
    // Opens the row of `light` through the queue's View action and checks it
    // against the module's own viewer on a file of `expected`; no answer
    // goes out meanwhile.
    void checkView(const char* what, BenchLight* light, const QByteArray& expected);

    QObject* m_module;
    QByteArray m_layout;
    bool m_shown;

    // The run under way.
    BenchLight::Kind m_kind = BenchLight::RealSize;
    Figures* m_figures = nullptr;
    BenchLights m_lights;
    const DownloadEngine* m_engine = nullptr;
    QPointer<QTableWidget> m_table;
    QString m_journalDir;
    QString m_expectedDir;
    int m_ended = 0;
    bool m_probe = false;
    bool m_waitingViewed = false;
    QElapsedTimer m_clock;
    qint64 m_lastEndNs = 0;
};
