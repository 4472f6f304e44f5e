#include "host/simulatedfleet.h"

#include "host/hostlight.h"

using namespace ControllerData;

namespace {

const Family families[] = {Family::Gen314, Family::Gen315,  Family::Gen316,
                           Family::Gen317, Family::TmHelix, Family::Vegal};

// Roles by index, so that every family meets every kind of download and a few
// controllers misbehave. Indices repeat every 20 controllers.
const auto isStorageLight = [](int i) { return i % 10 == 8 || i % 10 == 9; };
const auto isContinuation = [](int i) { return i % 4 == 3; };
const auto isBlockLimited = [](int i) { return i % 4 == 2; };
const auto isFull = [](int i) { return i % 20 == 1 || i % 20 == 12; };
const auto isBrokenConfig = [](int i) { return i % 20 == 13; };
const auto isMissingFromStorage = [](int i) { return i % 20 == 19; };
const auto isStorageBusy = [](int i) { return i % 20 == 18; };

} // namespace

SimulatedFleet::SimulatedFleet(int count, quint32 seed, QObject* parent) : QObject(parent)
{
    QRandomGenerator rng(seed);
    for (int i = 0; i < count; ++i) {
        const Family family = families[i % 6];
        const int id = 1001 + 3 * i;
        auto* c = new SimulatedController(id, family, rng.generate(), this);
        c->setLatency(2 + int(rng.bounded(14)));
        c->light()->setResponseLifetime(2000);
        if (isFull(i) && !c->isMarked())
            c->fillJournal();
        else if (c->isMarked())
            c->setJournalEntries(20 + int(rng.bounded(180)));
        else
            c->setJournalEntries(30 + int(rng.bounded(1500)));

        QRandomGenerator crng(rng.generate());
        if (isBrokenConfig(i))
            c->setConfig(brokenTableConfig());
        else if (family == Family::TmHelix)
            c->setConfig(jsonConfig(crng, id, i % 12 == 4 ? QString() : QStringLiteral("TM_HELIX3"),
                                    4 + int(crng.bounded(20))));
        else if (family == Family::Vegal)
            c->setConfig(jsonConfig(crng, id, QStringLiteral("vegal2"), 4 + int(crng.bounded(20))));
        else if ((i / 6) % 3 == 0)
            c->setConfig(binaryConfig(crng, 400 + 2 * int(crng.bounded(1500)), 64));
        else if ((i / 6) % 3 == 1)
            c->setConfig(textConfig(crng, id, 10 + int(crng.bounded(60))));
        else
            c->setConfig(jsonConfig(crng, id, QString(), 3 + int(crng.bounded(10))));
        c->setConfigPieceSize(128 + 64 * int(crng.bounded(4)));

        SimulatedController::Faults f;
        switch (i % 20) {
        case 2:
            f.errorEvery = 23;
            break;
        case 5:
            f.dropLinkAt = 4;
            f.linkDownMs = 1200;
            break;
        case 7:
            f.lateEvery = 3;
            f.lateMs = 250;
            break;
        case 9:
            f.duplicateEvery = 2;
            break;
        case 11:
            f.errorEvery = 17;
            f.lateEvery = 4;
            f.lateMs = 150;
            break;
        case 16:
            f.duplicateEvery = 3;
            f.lateEvery = 5;
            break;
        default:
            break;
        }
        c->setFaults(f);
        m_controllers.append(c);

        if (isStorageLight(i)) {
            StorageEntry e;
            e.id = id;
            if (!isMissingFromStorage(i)) {
                QRandomGenerator srng(rng.generate());
                e.current = c->isMarked() ? jsonConfig(srng, id, QString(), 6).saved
                                          : binaryConfig(srng, 600, 0).saved;
                e.archived = c->isMarked() ? jsonConfig(srng, id, QString(), 3).saved
                                           : textConfig(srng, id, 12).saved;
            }
            m_storage.append(e);
        }
    }
}

QByteArray SimulatedFleet::storageConfig(int index, bool archived) const
{
    const int id = m_controllers.at(index)->id();
    for (const auto& e : m_storage)
        if (e.id == id)
            return archived ? e.archived : e.current;
    return QByteArray();
}

QVector<SimulatedFleet::Job> SimulatedFleet::jobs(int phase) const
{
    QVector<Job> out;
    for (int i = 0; i < m_controllers.size(); ++i) {
        Job j;
        j.index = i;
        if (phase == 1) {
            if (isBlockLimited(i)) {
                j.kind = JobKind::JournalBlocks;
                j.blocks = m_controllers.at(i)->isMarked() ? 2 : 5;
            } else {
                j.kind = JobKind::Journal;
                j.blocks = BlocksAll;
            }
            out.append(j);
            if (!isStorageLight(i)) {
                Job c;
                c.index = i;
                c.kind = JobKind::Config;
                if (isBrokenConfig(i)) {
                    c.shouldSucceed = false;
                    c.expectedMessage = QStringLiteral("Error: invalid config size");
                }
                out.append(c);
            }
        } else {
            if (isContinuation(i)) {
                j.kind = JobKind::JournalNew;
                j.blocks = BlocksNew;
                out.append(j);
            }
            if (isStorageLight(i)) {
                Job s;
                s.index = i;
                s.kind = i % 10 == 8 ? JobKind::StorageCurrent : JobKind::StorageArchive;
                if (s.kind == JobKind::StorageArchive)
                    s.datetime = archiveMoment();
                if (isMissingFromStorage(i)) {
                    s.shouldSucceed = false;
                    s.expectedMessage = QStringLiteral("Not in storage");
                }
                s.storageErrorFirst = isStorageBusy(i);
                out.append(s);
            }
        }
    }
    return out;
}

void SimulatedFleet::advanceToPhase2()
{
    if (m_phase2)
        return;
    m_phase2 = true;
    for (int i = 0; i < m_controllers.size(); ++i) {
        if (!isContinuation(i))
            continue;
        SimulatedController* c = m_controllers.at(i);
        // Not a whole number of blocks, so the old newest entry lands inside a block.
        c->growJournal(c->isMarked() ? 7 + i % 5 : 17 + 3 * (i % 7));
    }
}

QString SimulatedFleet::kindName(JobKind kind)
{
    switch (kind) {
    case JobKind::Journal:
        return QStringLiteral("journal");
    case JobKind::JournalBlocks:
        return QStringLiteral("journal N blocks");
    case JobKind::JournalNew:
        return QStringLiteral("journal new");
    case JobKind::Config:
        return QStringLiteral("config");
    case JobKind::StorageCurrent:
        return QStringLiteral("storage current");
    case JobKind::StorageArchive:
        return QStringLiteral("storage archive");
    }
    return QString();
}

QString SimulatedFleet::fileName(const Job& job) const
{
    const SimulatedController* c = m_controllers.at(job.index);
    switch (job.kind) {
    case JobKind::Journal:
    case JobKind::JournalBlocks:
    case JobKind::JournalNew:
        return c->journalFileName();
    case JobKind::Config:
        return c->configFileName();
    case JobKind::StorageCurrent:
    case JobKind::StorageArchive:
        // A retry after a storage error downloads from the controller.
        return job.storageErrorFirst ? c->configFileName() : configFileName(c->id(), c->isMarked());
    }
    return QString();
}

QByteArray SimulatedFleet::expectedFile(const Job& job, bool fileExists,
                                        const QByteArray& existing) const
{
    const SimulatedController* c = m_controllers.at(job.index);
    switch (job.kind) {
    case JobKind::Journal:
    case JobKind::JournalBlocks:
    case JobKind::JournalNew:
        return c->expectedJournalFile(job.blocks, fileExists, existing);
    case JobKind::Config:
        return c->expectedConfigFile();
    case JobKind::StorageCurrent:
    case JobKind::StorageArchive:
        if (job.storageErrorFirst)
            return c->expectedConfigFile();
        return storageConfig(job.index, job.kind == JobKind::StorageArchive);
    }
    return QByteArray();
}

QMap<QString, QByteArray> SimulatedFleet::expectedFinalFiles(int count, quint32 seed)
{
    SimulatedFleet fleet(count, seed);
    QMap<QString, QByteArray> files;
    for (int phase = 1; phase <= 2; ++phase) {
        if (phase == 2)
            fleet.advanceToPhase2();
        for (const Job& job : fleet.jobs(phase)) {
            if (!job.shouldSucceed)
                continue;
            const QString name = fleet.fileName(job);
            files.insert(name, fleet.expectedFile(job, files.contains(name), files.value(name)));
        }
    }
    return files;
}
