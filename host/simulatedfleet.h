#pragma once

#include "host/simulatedcontroller.h"

#include <QMap>
#include <QObject>
#include <QVector>

// A deterministic set of simulated controllers of every family, and the
// downloads a workstation run asks of them, in two phases: first journals
// (all, N blocks) and configurations, then, after some journals have grown,
// the "only new" journal downloads and the configurations from the storage.
class SimulatedFleet : public QObject
{
    Q_OBJECT

public:
    enum class JobKind {
        Journal,
        JournalBlocks,
        JournalNew,
        Config,
        StorageCurrent,
        StorageArchive
    };

    struct Job
    {
        int index = -1; // controller index
        JobKind kind = JobKind::Journal;
        int blocks = 0;   // journal jobs: the blocks argument
        QString datetime; // archive jobs: the moment asked for
        bool shouldSucceed = true;
        // Storage jobs: the storage first answers an error, so the module's retry
        // fetches the configuration from the controller itself.
        bool storageErrorFirst = false;
        QString expectedMessage; // for a download that must fail
    };

    // The storage's view of a light: current and archived configurations.
    struct StorageEntry
    {
        int id = 0;
        QByteArray current;  // empty: not in the storage
        QByteArray archived; // the one valid at archiveMoment()
    };

    SimulatedFleet(int count, quint32 seed, QObject* parent = nullptr);

    int size() const { return m_controllers.size(); }
    SimulatedController* controller(int index) const { return m_controllers.at(index); }
    const QVector<SimulatedController*>& controllers() const { return m_controllers; }

    static QString archiveMoment() { return QStringLiteral("2026-11-01T00:00:00"); }
    QVector<StorageEntry> storageEntries() const { return m_storage; }
    QByteArray storageConfig(int index, bool archived) const;

    QVector<Job> jobs(int phase) const;
    // Lets the journals of the "only new" downloads grow; call between the phases.
    void advanceToPhase2();

    static QString kindName(JobKind kind);
    // The file a job writes, relative to the configuration or journal directory.
    QString fileName(const Job& job) const;
    // What a job's file must hold; existing: the journal file before the job.
    QByteArray expectedFile(const Job& job, bool fileExists, const QByteArray& existing) const;

    // All files a complete run of both phases leaves, by name, computed on a
    // fresh fleet of the same size and seed.
    static QMap<QString, QByteArray> expectedFinalFiles(int count, quint32 seed);

private:
    QVector<SimulatedController*> m_controllers;
    QVector<StorageEntry> m_storage;
    bool m_phase2 = false;
};
