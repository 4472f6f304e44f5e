#pragma once

#include "host/simulatedfleet.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QVector>

class ModuleClient;
class QTimer;
class QTextStream;
class WorkstationWindow;

// The workstation's headless run: the downloads of a simulated fleet in two
// phases, driven through the module as an operator would, each result checked
// byte for byte against what its controller or the storage holds. It prints
// progress and a summary, decodes one journal of each family to text and
// saves pictures of the queue docks and of a journal view.
class BatchRun : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString dataDir;
        int timeoutSeconds = 180;
        bool pictures = true;
        bool problemsOnly = false; // the summary lists only the unexpected outcomes
    };

    BatchRun(ModuleClient* module, WorkstationWindow* window, SimulatedFleet* fleet,
             QObject* rpcStorage, QObject* invokeStorage, const Options& options,
             QObject* parent = nullptr);

    void start();
    int failures() const;

signals:
    void finished(int exitCode);

private slots:
    void onConfigComplete(QObject* light, const QString& fileName);
    void onConfigFailed(QObject* light, const QString& message);
    void onTransferEnded(const QString& command);
    void printProgress();
    void onTimeout();

private:
    struct Entry
    {
        SimulatedFleet::Job job;
        QString path;
        QByteArray expected;
        bool running = false;
        bool ok = false;
        bool written = false; // the download left a file (checked or not)
        QString status;
        qint64 bytes = 0;
    };

    void startPhase(int phase);
    void startJob(Entry& e);
    void finishEntry(Entry& e, bool completed, const QString& message, const QString& reportedPath);
    Entry* runningEntry(QObject* light, bool journal);
    void checkPhaseDone();
    void wrapUp();
    void savePictures();
    void decodeJournals();
    void printSummary();
    QString configDir() const;
    QString journalDir() const;

    ModuleClient* m_module;
    WorkstationWindow* m_window;
    SimulatedFleet* m_fleet;
    QPointer<QObject> m_rpcStorage;
    QPointer<QObject> m_invokeStorage;
    Options m_options;
    QVector<Entry> m_entries;
    int m_phase = 0;
    int m_phaseStart = 0; // first entry of the running phase
    QTimer* m_progress;
    QTimer* m_timeout;
    QElapsedTimer m_clock;
    // (milliseconds since start, bytes received) of the last few seconds: the
    // rate shown is the current one, not an average since the start.
    QVector<QPair<qint64, qint64>> m_samples;
    QStringList m_outputs; // pictures and decoded journals written
    bool m_wrappedUp = false;
    bool m_busyPicture = false;
    bool m_failuresFirst = false;
};
