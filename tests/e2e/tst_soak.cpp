// Soak: hundreds of simulated controllers of every family download journals and
// configurations through the built module for a while, under random faults from
// the controllers (error answers, lost commands, link drops, late, duplicate and
// repeated answers) and from the host (queuing again, Stop, Resume and Retry, clearing
// some lights, storage errors, journal files that cannot be read for a while, the
// journal directory changed now and then and gone for a while). The controllers'
// journals grow all the time; some text journals keep an empty newest line. Every
// saved file is compared with its controller's data; at the end no download may be
// left without an answer or a retry coming, every journal file in every directory
// must hold its controller's records without gap or repeat (after one last fetch of
// the new ones), and memory must not have grown with the run.
//
// DQ_SOAK_SECONDS (default 60) sets the faulty phase, DQ_SOAK_CONTROLLERS (500)
// the fleet, DQ_SOAK_SEED (20261207) the random choices, DQ_SOAK_SETTLE_SECONDS
// (120) the most the downloads may take to end once the faults stop, and
// DQ_SOAK_REPEATS=0 leaves out answers for an earlier position than asked.
#include "host/controllerdata.h"
#include "host/hostlight.h"
#include "host/invokestorage.h"
#include "host/jsonrpcclientplugin.h"
#include "host/response.h"
#include "host/simulatedfleet.h"
#include "tests/specialfiles.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPluginLoader>
#include <QPointer>
#include <QRandomGenerator>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <map>
#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

qint64 envNumber(const char* name, qint64 fallback)
{
    bool ok = false;
    const qint64 v = qEnvironmentVariable(name).toLongLong(&ok);
    return ok ? v : fallback;
}

// VmRSS and VmHWM of this process, in KiB.
struct Memory
{
    qint64 rss = 0;
    qint64 peak = 0;
};

Memory memoryNow()
{
    Memory m;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return m;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() < 2)
            continue;
        if (parts.at(0) == "VmRSS:")
            m.rss = parts.at(1).toLongLong();
        else if (parts.at(0) == "VmHWM:")
            m.peak = parts.at(1).toLongLong();
    }
    return m;
}

// Bytes the heap holds for live allocations, in KiB (0 where unknown).
qint64 heapInUse()
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
    return qint64(mallinfo2().uordblks / 1024);
#else
    return 0;
#endif
}

bool underSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

struct Figures
{
    qint64 commands = 0;
    qint64 errorAnswers = 0;
    qint64 lostCommands = 0;
    qint64 linkFlaps = 0;
    qint64 lateAnswers = 0;
    qint64 duplicateAnswers = 0;
    qint64 repeatedAnswers = 0;
    qint64 stuckAnswers = 0; // answers in a row that add nothing
    qint64 laterAnswers = 0; // answers for a later position than asked
    qint64 shortBlocks = 0;
    qint64 requeues = 0;
    qint64 stops = 0;
    qint64 resumes = 0;
    qint64 clears = 0;
    qint64 storageErrors = 0;
    qint64 retries = 0;        // Retry of a failed only-new download
    qint64 unreadable = 0;     // journal files made unreadable for a while
    qint64 refusals = 0;       // only-new attempts failed for such a file
    qint64 dirChanges = 0;     // journalDir set to the other directory
    qint64 dirsAway = 0;       // a journal directory gone for a while
    qint64 savesKept = 0;      // completions that could not save there, data kept
    qint64 savedAgain = 0;     // kept data saved by Retry or Resume, no command sent
    qint64 nothingNew = 0;     // only-new downloads that left their file as it was
    qint64 entriesWritten = 0; // journal entries the controllers wrote during the run
    qint64 journalsKept = 0;   // journal files that hold their controller's history
    qint64 journalsCompleted = 0;
    qint64 configsCompleted = 0;
    qint64 storageCompleted = 0;
    qint64 filesVerified = 0;
    qint64 expectedFailures = 0;
    QStringList problems;

    qint64 faults() const
    {
        return errorAnswers + lostCommands + linkFlaps + lateAnswers + duplicateAnswers +
               repeatedAnswers + stuckAnswers + laterAnswers + shortBlocks + requeues + stops +
               clears + storageErrors + retries + unreadable + dirChanges + dirsAway;
    }
};

// One download the harness asked for and what it must end in.
struct Request
{
    bool active = false;
    bool stopped = false;
    bool cleared = false;
    bool storage = false;
    // After a final failure a returning link carries the download on from the
    // controller: what it then ends in.
    bool revivable = false;
    int blocks = -1;
    QByteArray expected; // configurations
    // Journals: the directory it was queued for, what it receives, whether
    // that met the saved journal's marker, and the history's size then (no
    // entry is written while it runs). What it saves follows from the file
    // there at completion.
    int dir = 0;
    QByteArray received;
    bool markerMet = false;
    int historyAt = 0;
    // Completed while its directory was away: the item keeps the data, and
    // Retry or Resume must save it without a command.
    bool savePending = false;
    QString failure; // the final failure it must end in, or empty
    // An only-new download under way when its journal file became unreadable:
    // it fails with this when it ends before the file is back.
    QString mayFail;
};

class Soak;

// A light in front of a simulated controller, with random faults. Unlike the
// stand-in light it keeps no history, and it drops its responses a while after
// they are answered (or lost), as the host does over a long run.
class SoakLight : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int id READ id)
    Q_PROPERTY(QString type READ type)
    Q_PROPERTY(bool isConnected READ isConnected)

public:
    SoakLight(SimulatedController* controller, Soak* soak, quint32 seed)
        : controller(controller), soak(soak), rng(seed),
          shortLastBlock(!controller->isMarked() && rng.bounded(3) == 0)
    {}

    // Block n as this light sends it: some controllers end their last written
    // block with its last record instead of sending the erased space behind it.
    QByteArray block(int n) const
    {
        QByteArray b = controller->journalBlock(n);
        for (int at = ControllerData::RecordSize; shortLastBlock && at < b.size();
             at += ControllerData::RecordSize) {
            if (uchar(b.at(at)) == 0xFF) {
                b.truncate(at);
                break;
            }
        }
        return b;
    }

    int id() const { return controller->id(); }
    QString type() const { return controller->light()->property("type").toString(); }
    bool isConnected() const { return up; }
    // Grows each time the link goes down.
    int linkEpoch() const { return epoch; }

    void setConnected(bool connected)
    {
        if (up == connected)
            return;
        up = connected;
        if (!connected)
            ++epoch;
        emit this->connected(connected);
    }
    // Drops the link now and brings it back after downMs.
    void flap(int downMs)
    {
        setConnected(false);
        QTimer::singleShot(downMs, this, [this] { setConnected(true); });
    }

    Q_INVOKABLE Response* sendCommand(QVariant command, QVariant args);

    SimulatedController* const controller;
    // Binary journals fetched only new: the first record of the journal file,
    // which the module looks for; a controller may end its answer right behind it.
    QByteArray marker;
    // An only-new download was asked for, or refused, while the journal file
    // cannot be read, or a download waits to be saved again: nothing may be
    // asked of the journal until a new request.
    bool refusing = false;

signals:
    void connected(bool connected);

private:
    void answer(QPointer<Response> response, int delay, int linkEpoch, int error,
                const QVariantList& data, bool duplicate);

    Soak* const soak;
    QRandomGenerator rng;
    bool up = true;
    int epoch = 0;
    int stuck = 0; // answers still to come that add nothing
    const bool shortLastBlock;
};

// A light's journal file in one directory, as it must be.
struct JournalFile
{
    bool exists = false;
    QByteArray data;
    // What the last download that replaced it (or the part a Stop saved where
    // there was none) saved, and the history's size then: the entries written
    // since, up to the newest it received (historyAtTop), must come before it.
    QByteArray base;
    int historyAtBase = 0;
    int historyAtTop = 0;
};

struct Unit
{
    SimulatedController* controller = nullptr;
    SoakLight* light = nullptr;
    int index = 0;
    bool inStorage = false;
    bool missingFromStorage = false;
    // After its first journal, only the new records are asked for.
    bool keeper = false;
    Request journal;
    Request config;
    // Every journal entry the controller ever wrote, newest first (the
    // controller itself keeps only its newest ones; an empty newest line it
    // keeps is not among them), and its size at the start.
    QByteArray history;
    int grownFrom = 0;
    QVector<JournalFile> files; // by journal directory
    // While the journal file in unreadableDir cannot be read (-1: it can):
    // what sits in its place, its fingerprint, whether the real journal is
    // kept aside, and the failure every only-new download there must end in.
    int unreadableKind = -1;
    int unreadableDir = 0;
    QByteArray fingerprint;
    bool keptAside = false;
    QString refusal;
    int refusedEpoch = 0; // the link's then: a drop since shows the item as disconnected
};

class Soak : public QObject
{
    Q_OBJECT

public:
    Figures figures;
    bool faultsOn = true;
    bool running = true;
    // Answers for an earlier position than asked (off with DQ_SOAK_REPEATS=0).
    bool repeats = true;
    QRandomGenerator rng;

    Soak(QObject* module, const QString& dir, int count, quint32 seed)
        : rng(seed), module(module), dir(dir), fleet(count, seed)
    {
        for (const char* name : {"journals", "journals-b"}) {
            journalDirs.append(QDir(dir).absoluteFilePath(QLatin1String(name)));
            QDir(dir).mkdir(QLatin1String(name));
        }
        module->setProperty("journalDir", journalDirs.at(currentDir));
        for (int i = 0; i < fleet.size(); ++i) {
            Unit u;
            u.controller = fleet.controller(i);
            // Half the text journals begin with an empty line.
            u.controller->setEmptyNewestLine((i / 6) % 2 == 0);
            u.light = new SoakLight(u.controller, this, rng.generate());
            u.light->setParent(this);
            u.index = i;
            u.keeper = i % 3 == 0;
            u.history = u.controller->journal().mid(lead(u).size());
            u.grownFrom = u.history.size();
            u.files.resize(journalDirs.size());
            units.append(u);
        }
        QDir(dir).mkdir(QStringLiteral("aside"));
        newStorage();
        for (const SimulatedFleet::StorageEntry& e : fleet.storageEntries()) {
            for (Unit& u : units) {
                if (u.controller->id() == e.id) {
                    u.inStorage = true;
                    u.missingFromStorage = e.current.isEmpty();
                }
            }
        }
        for (Unit& u : units) {
            byLight.insert(u.light, &u);
            byId.insert(u.controller->id(), &u);
        }
    }

    int size() const { return units.size(); }

    // Starts every light's first downloads and finds the windows.
    bool start()
    {
        startJournal(units[0]);
        startConfig(units[0], false);
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->inherits("QueueWindow"))
                continue;
            const bool journal = w->windowTitle() == QLatin1String("Journals queue");
            (journal ? journalWindow : configWindow) = w;
            connect(w, SIGNAL(downloadComplete(QObject*, QString)), this,
                    journal ? SLOT(journalComplete(QObject*, QString))
                            : SLOT(configComplete(QObject*, QString)));
            connect(w, SIGNAL(downloadFailed(QObject*, QString)), this,
                    journal ? SLOT(journalFailed(QObject*, QString))
                            : SLOT(configFailed(QObject*, QString)));
        }
        if (!journalWindow || !configWindow)
            return false;
        switchJournalDirLater();
        takeDirAwayLater();
        for (int i = 1; i < units.size(); ++i) {
            startJournal(units[i]);
            startConfig(units[i], true);
        }
        return true;
    }

    // One round of host actions on a few lights.
    void hostActions()
    {
        for (int k = 0; k < 6; ++k) {
            Unit& u = units[int(rng.bounded(quint32(units.size())))];
            const int roll = int(rng.bounded(1000));
            const bool journal = rng.bounded(2) == 0;
            Request& r = journal ? u.journal : u.config;
            if (roll < 60) {
                ++figures.linkFlaps;
                u.light->flap(50 + int(rng.bounded(1500)));
            } else if (!r.active || r.stopped || r.cleared) {
                continue;
            } else if (roll < 120) {
                ++figures.requeues;
                journal ? startJournal(u, r.blocks) : startConfig(u, false);
            } else if (roll < 200) {
                stop(u, journal);
            } else if (roll < 240) {
                clearSome(u, journal);
            }
        }
        growSome();
        if (rng.bounded(3) == 0)
            onlyNewAction();
        // A directory goes away, or a file becomes unreadable, not both at once.
        if (awayDir < 0 && rng.bounded(40) == 0)
            makeUnreadable();
        if (!unreadable.isEmpty() && rng.bounded(4) == 0)
            unreadableAction(units[unreadable.at(int(rng.bounded(quint32(unreadable.size()))))]);
    }

    // No more faults: links come up, stopped and cleared downloads go on.
    void settle()
    {
        running = false;
        faultsOn = false;
        if (awayDir >= 0)
            bringDirBack();
        while (!unreadable.isEmpty())
            putBack(units[unreadable.first()]);
        for (Unit& u : units) {
            u.light->setConnected(true);
            // A refused download is queued again now that its file can be read;
            // data kept from a failed save is saved now that its directory is back.
            if (u.journal.savePending)
                saveAgain(u, rng.bounded(2) == 0);
            else if (!u.journal.active && !u.journal.failure.isEmpty())
                startJournal(u, ControllerData::BlocksNew);
            for (bool journal : {true, false}) {
                Request& r = journal ? u.journal : u.config;
                if (r.cleared) {
                    journal ? startJournal(u, r.blocks) : startConfig(u, false);
                } else if (r.stopped) {
                    resume(u, journal);
                }
            }
        }
    }

    // One more fetch of the new records of every journal, without faults.
    void fetchNewRecords()
    {
        for (Unit& u : units) {
            grow(u, 1 + int(rng.bounded(5)));
            startJournal(u, ControllerData::BlocksNew);
        }
    }

    // Every journal file, in every directory, must be there where a download
    // saved one, and hold its controller's history (see custodyProblem);
    // returns the lights whose files all do, one in today's directory.
    int checkCustody()
    {
        int kept = 0;
        for (const Unit& u : units) {
            bool held = u.files.at(currentDir).exists;
            for (int d = 0; d < journalDirs.size(); ++d) {
                const QString path = journalPath(u, d);
                const JournalFile& f = u.files.at(d);
                QString why;
                if (QFileInfo::exists(path) != f.exists)
                    why = QStringLiteral("%1: journal file %2 %3")
                              .arg(u.controller->id())
                              .arg(path)
                              .arg(QLatin1String(f.exists ? "missing" : "never saved there"));
                else if (f.exists)
                    why = custodyProblem(u, f, contents(path), path);
                held = held && why.isEmpty();
                if (!why.isEmpty())
                    problem(why);
            }
            kept += int(held);
        }
        figures.journalsKept = kept;
        return kept;
    }

    int activeDownloads() const
    {
        int n = 0;
        for (const Unit& u : units)
            n += int(u.journal.active) + int(u.config.active);
        return n;
    }

    // The downloads still running, with their rows' status texts.
    QStringList describeActive() const
    {
        QStringList out;
        for (const Unit& u : units) {
            for (bool journal : {true, false}) {
                const Request& r = journal ? u.journal : u.config;
                if (r.active)
                    out.append(QStringLiteral("%1 %2 %3: \"%4\"%5%6")
                                   .arg(u.controller->id())
                                   .arg(ControllerData::familyName(u.controller->family()))
                                   .arg(journal ? QStringLiteral("journal %1").arg(r.blocks)
                                                : QStringLiteral("configuration"))
                                   .arg(statusOf(journal, u.controller->id()))
                                   .arg(QLatin1String(r.stopped ? " stopped" : ""))
                                   .arg(QLatin1String(r.cleared ? " cleared" : "")));
            }
        }
        return out;
    }

    // Rows whose status is not an end state ("id: status" each). A finished item
    // whose link dropped shows "disconnected" and stays finished.
    QStringList unfinishedRows() const
    {
        QStringList out;
        for (QWidget* w : {journalWindow.data(), configWindow.data()}) {
            auto* table = w ? w->findChild<QTableWidget*>(QStringLiteral("queueTable")) : nullptr;
            if (!table)
                continue;
            for (int row = 0; row < table->rowCount(); ++row) {
                const QString id = table->item(row, 0)->text();
                const QTableWidgetItem* status = table->item(row, 5);
                const QString s = status ? status->text() : QString();
                const Unit* u = byId.value(id.toInt());
                const Request* r = !u ? nullptr : w == journalWindow ? &u->journal : &u->config;
                const bool finished = r && !r->active;
                if (s != QLatin1String("completed") && s != QLatin1String("interrupted") &&
                    s != QLatin1String("Error: invalid config size") &&
                    s != QLatin1String("Not in storage") &&
                    !(s == QLatin1String("disconnected") && finished))
                    out.append(id + QLatin1String(": ") + s);
            }
        }
        return out;
    }

    // A journal file must hold the run of its controller's entries from the
    // newest it had when the file was last saved back to the oldest one of the
    // last download that replaced the file, in order, without gap or repeat.
    // Scoped so, not to the first download: a full or N-block one rightly
    // replaces the file. Returns why not, or nothing.
    QString custodyProblem(const Unit& u, const JournalFile& f, const QByteArray& file,
                           const QString& path) const
    {
        const QByteArray want =
            lead(u) +
            u.history.mid(u.history.size() - f.historyAtTop, f.historyAtTop - f.historyAtBase) +
            f.base.mid(lead(u).size());
        if (file == want)
            return QString();
        return QStringLiteral("%1 %2: journal file %3 of %4 bytes, %5 expected: %6")
            .arg(u.controller->id())
            .arg(ControllerData::familyName(u.controller->family()))
            .arg(path)
            .arg(file.size())
            .arg(want.size())
            .arg(departure(file.mid(lead(u).size()), want.mid(lead(u).size()), u.history,
                           u.controller->isMarked()));
    }

    // Whether the file holds its controller's run of entries from the newest
    // on (as custodyProblem) and beyond the oldest of the last download that
    // replaced it.
    bool reachesFurther(const Unit& u, const JournalFile& f) const
    {
        const QByteArray run = lead(u) + u.history.mid(u.history.size() - f.historyAtTop);
        const QByteArray atLeast = lead(u) +
                                   run.mid(lead(u).size(), f.historyAtTop - f.historyAtBase) +
                                   f.base.mid(lead(u).size());
        return f.data.size() > atLeast.size() && f.data.startsWith(atLeast) &&
               run.startsWith(f.data);
    }

    void problem(const QString& text)
    {
        if (figures.problems.size() < 20)
            figures.problems.append(text);
        else if (figures.problems.size() == 20)
            figures.problems.append(QStringLiteral("..."));
    }

public slots:
    void journalComplete(QObject* light, const QString& path) { completed(light, path, true); }
    void configComplete(QObject* light, const QString& path) { completed(light, path, false); }
    void journalFailed(QObject* light, const QString& msg) { failed(light, msg, true); }
    void configFailed(QObject* light, const QString& msg) { failed(light, msg, false); }

private:
    // The empty newest line a text journal keeps, in front of its history.
    static QByteArray lead(const Unit& u)
    {
        return u.controller->hasEmptyNewestLine() ? QByteArray(1, '\0') : QByteArray();
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The entries of a journal, newest first: records, or lines without their zero.
    static QList<QByteArray> entries(const QByteArray& journal, bool marked)
    {
        QList<QByteArray> out;
        if (marked) {
            out = journal.split('\0');
            if (journal.endsWith('\0'))
                out.removeLast();
        } else {
            for (int at = 0; at < journal.size(); at += ControllerData::RecordSize)
                out.append(journal.mid(at, ControllerData::RecordSize));
        }
        return out;
    }

    // Where a journal file first departs from what it must hold (a prefix of
    // the history).
    static QString departure(const QByteArray& file, const QByteArray& want,
                             const QByteArray& history, bool marked)
    {
        const QList<QByteArray> got = entries(file, marked);
        const QList<QByteArray> wanted = entries(want, marked);
        int i = 0;
        while (i < got.size() && i < wanted.size() && got.at(i) == wanted.at(i))
            ++i;
        if (i == got.size())
            return QStringLiteral("the %1 oldest entries missing").arg(wanted.size() - i);
        const int j = entries(history, marked).indexOf(got.at(i));
        if (j < 0)
            return QStringLiteral("entry %1 never written").arg(i);
        if (j < i)
            return QStringLiteral("entry %1 repeats entry %2").arg(i).arg(j);
        return i == wanted.size()
                   ? QStringLiteral("%1 entries too many at the old end").arg(got.size() - i)
                   : QStringLiteral("a gap of %1 entries at entry %2").arg(j - i).arg(i);
    }

    // The controller writes count new entries; only while no journal download
    // of it is under way, which would otherwise find its blocks shifted. Each
    // writes a few thousand bytes at most (text journals keep every line here),
    // so that memory stays flat over a long run.
    void grow(Unit& u, int count)
    {
        SimulatedController* c = u.controller;
        if (u.journal.active || (c->isMarked() && c->journal().size() >= 12 * 1024) ||
            u.history.size() >= u.grownFrom + 8 * 1024)
            return;
        const int before = c->journal().size();
        c->growJournal(count);
        const QByteArray now = c->journal();
        u.history.prepend(now.mid(lead(u).size(), c->isMarked()
                                                      ? now.size() - before
                                                      : count * ControllerData::RecordSize));
        figures.entriesWritten += count;
    }

    void growSome()
    {
        grow(units[int(rng.bounded(quint32(units.size())))], 1 + int(rng.bounded(6)));
    }

    // The operator's Stop (then Resume, or a new request) or Retry on a running
    // only-new download.
    void onlyNewAction()
    {
        QVector<int> running;
        for (const Unit& u : qAsConst(units)) {
            const Request& r = u.journal;
            if (r.active && r.blocks == ControllerData::BlocksNew && !r.stopped && !r.cleared)
                running.append(u.index);
        }
        if (running.isEmpty())
            return;
        Unit& u = units[running.at(int(rng.bounded(quint32(running.size()))))];
        const QString status = statusOf(true, u.controller->id());
        static const QStringList notFailed = {
            QStringLiteral("waiting"),     QStringLiteral("waiting for connection"),
            QStringLiteral("downloading"), QStringLiteral("disconnected"),
            QStringLiteral("interrupted"), QStringLiteral("resumed"),
            QStringLiteral("completed")};
        if (notFailed.contains(status) || rng.bounded(4) == 0)
            return stop(u, true);
        ++figures.retries;
        selectRow(journalWindow, u.controller->id());
        QMetaObject::invokeMethod(journalWindow, "retryDownloading");
    }

    // Lstat's view of a path (and of a link's target): whatever replaces or
    // changes the thing there changes it.
    static QByteArray fingerprintOf(const QString& path)
    {
        QByteArray out;
        struct stat st
        {
        };
        const QByteArray native = QFile::encodeName(path);
        for (bool follow : {false, true}) {
            if ((follow ? stat(native.constData(), &st) : lstat(native.constData(), &st)) != 0)
                return out + "-";
            out += QByteArray::number(st.st_mode) + ' ' + QByteArray::number(qint64(st.st_ino)) +
                   ' ' + QByteArray::number(qint64(st.st_size)) + ' ' +
                   QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' +
                   QByteArray::number(qint64(st.st_mtim.tv_nsec)) + ';';
        }
        return out;
    }

    // Puts something the module cannot read in place of a journal file in
    // today's directory for a while, the journal itself kept aside; of a light
    // with no journal download under way but an only-new one there.
    void makeUnreadable()
    {
        QVector<int> candidates;
        for (const Unit& u : qAsConst(units))
            if (u.unreadableKind < 0 && !u.journal.savePending &&
                (!u.journal.active ||
                 (u.journal.blocks == ControllerData::BlocksNew && u.journal.dir == currentDir)))
                candidates.append(u.index);
        if (candidates.isEmpty())
            return;
        Unit& u = units[candidates.at(int(rng.bounded(quint32(candidates.size()))))];
        Request& r = u.journal;
        const QString name = u.controller->journalFileName();
        const QString path = journalPath(u, currentDir);
        const QString aside = QDir(dir).absoluteFilePath(QStringLiteral("aside/") + name);
        const QByteArray journal = contents(path);
        u.keptAside = QFile::rename(path, aside);
        // Root reads a file whatever its permissions.
        enum { Directory, Fifo, Sparse, Link, NoPermission };
        const int kind = int(rng.bounded(geteuid() == 0 ? NoPermission : NoPermission + 1));
        bool made = false;
        switch (kind) {
        case Directory:
            made = SpecialFiles::make(SpecialFiles::Directory, path);
            break;
        case Fifo:
            made = SpecialFiles::make(SpecialFiles::Fifo, path);
            // A read would wait for ever: a writer lets it go, and tells.
            fifoGuards[u.index] = std::make_unique<SpecialFiles::FifoGuard>(path);
            break;
        case Sparse: // past the 16 MiB a journal file may have
            made = SpecialFiles::make(SpecialFiles::Sparse, path, QByteArray(), 17 << 20);
            break;
        case Link:
            made = SpecialFiles::make(SpecialFiles::LinkToRegular, path, journal);
            break;
        default:
            made = SpecialFiles::make(SpecialFiles::Regular, path, journal) &&
                   QFile::setPermissions(path, QFileDevice::Permissions());
            break;
        }
        if (!made)
            return problem(QStringLiteral("%1: cannot make the journal file unreadable")
                               .arg(u.controller->id()));
        ++figures.unreadable;
        u.unreadableKind = kind;
        u.unreadableDir = currentDir;
        u.fingerprint = fingerprintOf(path);
        u.refusal = kind == Sparse ? QStringLiteral("Error: data too large")
                                   : QStringLiteral("Error open %1").arg(path);
        unreadable.append(u.index);
        if (r.active)
            r.mayFail = u.refusal; // when it ends before the file is back
        else
            startJournal(u, ControllerData::BlocksNew);
        const int index = u.index;
        QTimer::singleShot(300 + int(rng.bounded(2200)), this, [this, index] {
            if (running)
                putBack(units[index]);
        });
    }

    // The thing in the journal's place must be as it was left; the journal
    // then comes back.
    void putBack(Unit& u)
    {
        const QString name = u.controller->journalFileName();
        const QString path = journalPath(u, u.unreadableDir);
        const auto guard = fifoGuards.find(u.index);
        if (fingerprintOf(path) != u.fingerprint)
            problem(QStringLiteral("%1: the unreadable journal file was changed")
                        .arg(u.controller->id()));
        if (guard != fifoGuards.end() && guard->second->fired())
            problem(QStringLiteral("%1: the FIFO in place of the journal file was read")
                        .arg(u.controller->id()));
        if (guard != fifoGuards.end())
            fifoGuards.erase(guard);
        QDir(path).removeRecursively();
        QFile::remove(path);
        QFile::remove(SpecialFiles::targetOf(path));
        if (u.keptAside &&
            !QFile::rename(QDir(dir).absoluteFilePath(QStringLiteral("aside/") + name), path))
            problem(QStringLiteral("%1: cannot put the journal back").arg(u.controller->id()));
        u.unreadableKind = -1;
        u.light->refusing = false;
        unreadable.removeOne(u.index);
    }

    // The operator tries again while the journal file cannot be read: Retry,
    // Resume or a new request, each of which must fail without a command, or
    // the link drops and comes back, which must send nothing. A refused item
    // stays stopped, failed until its link drops: Retry then does not apply.
    void unreadableAction(Unit& u)
    {
        if (u.journal.active)
            return;
        int roll = int(rng.bounded(4));
        if (roll == 3) {
            ++figures.linkFlaps;
            return u.light->flap(50 + int(rng.bounded(300)));
        }
        if (roll == 0 && u.refusedEpoch != u.light->linkEpoch())
            roll = 1;
        if (roll == 2 || !u.light->refusing) {
            ++figures.requeues;
            return startJournal(u, ControllerData::BlocksNew);
        }
        Request r;
        r.active = true;
        r.blocks = ControllerData::BlocksNew;
        r.dir = u.unreadableDir;
        r.failure = u.refusal;
        u.journal = r;
        selectRow(journalWindow, u.controller->id());
        ++(roll == 0 ? figures.retries : figures.resumes);
        QMetaObject::invokeMethod(journalWindow,
                                  roll == 0 ? "retryDownloading" : "resumeDownloading");
    }

    void completed(QObject* light, const QString& path, bool journal)
    {
        Unit* u = byLight.value(light);
        if (!u)
            return problem(QStringLiteral("completion for an unknown light"));
        Request& r = journal ? u->journal : u->config;
        if (!(r.active || r.revivable) || r.stopped || r.cleared)
            return problem(
                QStringLiteral("%1: completion nobody waits for").arg(u->controller->id()));
        const bool revived = !r.active;
        r.active = false;
        r.revivable = false;
        if (journal)
            return journalSaved(*u, path);
        const QByteArray saved = contents(path);
        if (!r.failure.isEmpty())
            problem(QStringLiteral("%1: completed, must fail with %2")
                        .arg(u->controller->id())
                        .arg(r.failure));
        else if (saved != r.expected)
            problem(QStringLiteral("%1 %2: %3 bytes saved, %4 expected")
                        .arg(u->controller->id())
                        .arg(ControllerData::familyName(u->controller->family()))
                        .arg(saved.size())
                        .arg(r.expected.size()));
        else
            ++figures.filesVerified;
        ++(r.storage ? figures.storageCompleted : figures.configsCompleted);
        if (!revived)
            next(*u, journal);
    }

    // A journal saved: in the directory it was queued for, what its download
    // received, after the journal there for an only-new one; and the file
    // still holds its controller's history.
    void journalSaved(Unit& u, const QString& path)
    {
        Request& r = u.journal;
        const int id = u.controller->id();
        const bool marked = u.controller->isMarked();
        JournalFile& f = u.files[r.dir];
        const bool continues = r.blocks == ControllerData::BlocksNew && f.exists;
        const QByteArray want =
            continues ? ControllerData::continuedJournal(r.received, f.data, r.markerMet, marked)
                      : r.received;
        // Nothing is read where the journal file cannot be: it may be a FIFO.
        const bool readable = u.unreadableKind < 0 || u.unreadableDir != r.dir;
        const QByteArray saved = readable ? contents(path) : QByteArray();
        if (path != journalPath(u, r.dir))
            problem(QStringLiteral("%1: journal saved to %2, queued for %3")
                        .arg(id)
                        .arg(path)
                        .arg(journalPath(u, r.dir)));
        else if (!readable)
            problem(QStringLiteral("%1: completed while the journal file cannot be read").arg(id));
        else if (!r.failure.isEmpty())
            problem(QStringLiteral("%1: completed, must fail with %2").arg(id).arg(r.failure));
        else if (saved != want)
            problem(QStringLiteral("%1 %2: %3 bytes saved, %4 expected")
                        .arg(id)
                        .arg(ControllerData::familyName(u.controller->family()))
                        .arg(saved.size())
                        .arg(want.size()));
        else
            ++figures.filesVerified;
        if (!continues) {
            f.base = want;
            f.historyAtBase = r.historyAt;
        }
        figures.nothingNew += int(continues && want == f.data);
        f.exists = true;
        f.data = want;
        f.historyAtTop = r.historyAt;
        // A merge that did not meet its marker received the whole journal: it
        // may reach further back than the file did, and the file then ends there.
        if (continues && !r.markerMet && reachesFurther(u, f)) {
            f.base = want;
            f.historyAtBase = r.historyAt;
        }
        const QString why = custodyProblem(u, f, want, path);
        if (!why.isEmpty())
            problem(why);
        if (r.savePending) {
            ++figures.savedAgain;
            r.savePending = false;
            u.light->refusing = false;
        }
        ++figures.journalsCompleted;
        next(u, true);
    }

    void failed(QObject* light, const QString& msg, bool journal)
    {
        Unit* u = byLight.value(light);
        if (!u)
            return problem(QStringLiteral("failure for an unknown light"));
        Request& r = journal ? u->journal : u->config;
        if (!(r.active || r.revivable) || r.stopped || r.cleared)
            return problem(QStringLiteral("%1: failure nobody waits for").arg(u->controller->id()));
        const bool revived = !r.active;
        r.active = false;
        if (msg != r.failure && (r.mayFail.isEmpty() || msg != r.mayFail))
            problem(QStringLiteral("%1: failed with %2").arg(u->controller->id()).arg(msg));
        else
            ++figures.expectedFailures;
        if (journal) {
            // Not saved for its directory is away: the item keeps the data.
            if (awayDir == r.dir && msg == errorOpen(*u, r.dir))
                return keepSave(*u);
            // Refused for a journal file that cannot be read: the item stays
            // stopped, and sends nothing until a new attempt finds the file back.
            if (u->unreadableKind >= 0 && msg == u->refusal) {
                ++figures.refusals;
                u->light->refusing = true;
                u->refusedEpoch = u->light->linkEpoch();
                r.failure = msg;
            }
            r.revivable = false;
            return next(*u, journal);
        }
        // The failed item stays queued, and a returning link asks the controller
        // again; not after a final failure of the storage.
        r.revivable = msg != QLatin1String("Not in storage");
        r.storage = false;
        r.expected = u->controller->expectedConfigFile();
        r.failure = u->controller->config().form == ControllerData::ConfigForm::BrokenTable
                        ? QStringLiteral("Error: invalid config size")
                        : QString();
        if (!revived)
            next(*u, journal);
    }

    // The light's next download of the same kind, a little later.
    void next(Unit& u, bool journal)
    {
        if (!running)
            return;
        const int index = u.index;
        // A keeper's operator fetches the new records now and then.
        const int delay =
            journal && u.keeper ? 300 + int(rng.bounded(1500)) : int(rng.bounded(400));
        QTimer::singleShot(delay, this, [this, index, journal] {
            Unit& v = units[index];
            Request& r = journal ? v.journal : v.config;
            if (!running || r.active)
                return;
            journal ? startJournal(v) : startConfig(v, true);
        });
    }

    QString journalPath(const Unit& u, int d) const
    {
        return QDir(journalDirs.at(d)).absoluteFilePath(u.controller->journalFileName());
    }

    static QString errorOpen(const QString& path)
    {
        return QStringLiteral("Error open %1").arg(path);
    }
    QString errorOpen(const Unit& u, int d) const { return errorOpen(journalPath(u, d)); }

    // The host sets the module's journal directory to the other one every
    // second or two: it applies to requests from then on, while those queued
    // before go on for theirs.
    void switchJournalDirLater()
    {
        QTimer::singleShot(1000 + int(rng.bounded(2000)), this, [this] {
            if (!running)
                return;
            switchJournalDir();
            switchJournalDirLater();
        });
    }

    void switchJournalDir()
    {
        currentDir = (currentDir + 1) % journalDirs.size();
        ++figures.dirChanges;
        module->setProperty("journalDir", journalDirs.at(currentDir));
        if (module->property("journalDir").toString() != journalDirs.at(currentDir))
            problem(QStringLiteral("journalDir reads back as %1")
                        .arg(module->property("journalDir").toString()));
    }

    // Every few seconds a journal directory (mostly today's) goes away for a
    // while, with its files: downloads for it that end meanwhile cannot save.
    void takeDirAwayLater()
    {
        QTimer::singleShot(3000 + int(rng.bounded(5000)), this, [this] {
            if (!running)
                return;
            if (unreadable.isEmpty())
                takeDirAway();
            takeDirAwayLater();
        });
    }

    void takeDirAway()
    {
        const int d = rng.bounded(3) ? currentDir : (currentDir + 1) % journalDirs.size();
        if (!QDir().rename(journalDirs.at(d), journalDirs.at(d) + QLatin1String(".away")))
            return problem(QStringLiteral("cannot take %1 away").arg(journalDirs.at(d)));
        ++figures.dirsAway;
        awayDir = d;
        for (Unit& u : units)
            if (u.journal.active && u.journal.dir == d)
                u.journal.mayFail = errorOpen(u, d);
        QTimer::singleShot(300 + int(rng.bounded(1200)), this, [this] {
            if (awayDir >= 0)
                bringDirBack();
        });
    }

    void bringDirBack()
    {
        const int d = awayDir;
        awayDir = -1;
        if (!QDir().rename(journalDirs.at(d) + QLatin1String(".away"), journalDirs.at(d)))
            return problem(QStringLiteral("cannot bring %1 back").arg(journalDirs.at(d)));
        // From now on a save there must succeed.
        for (Unit& u : units)
            if (u.journal.mayFail == errorOpen(u, d))
                u.journal.mayFail.clear();
    }

    // The download's save failed: its data stays in the item, which must send
    // nothing more. The operator saves it again later (or, now and then, the
    // host asks again, which gives the data up).
    void keepSave(Unit& u)
    {
        ++figures.savesKept;
        u.journal.savePending = true;
        u.journal.failure.clear();
        u.light->refusing = true;
        const int index = u.index;
        const int roll = int(rng.bounded(8));
        QTimer::singleShot(100 + int(rng.bounded(1500)), this, [this, index, roll] {
            Unit& v = units[index];
            if (!running || !v.journal.savePending)
                return;
            if (roll > 0)
                return saveAgain(v, roll % 2 == 0);
            ++figures.requeues;
            startJournal(v, v.journal.blocks);
        });
    }

    // Retry or Resume of a kept download: it saves at once, or fails the same
    // way while the directory is still away; never a command.
    void saveAgain(Unit& u, bool retry)
    {
        Request& r = u.journal;
        r.active = true;
        r.mayFail.clear();
        r.failure = awayDir == r.dir ? errorOpen(u, r.dir) : QString();
        if (!selectRow(journalWindow, u.controller->id()))
            return problem(QStringLiteral("%1: no row to save again").arg(u.controller->id()));
        ++(retry ? figures.retries : figures.resumes);
        QMetaObject::invokeMethod(journalWindow, retry ? "retryDownloading" : "resumeDownloading");
    }

    void startJournal(Unit& u, int blocks = 0)
    {
        SimulatedController* c = u.controller;
        if (blocks == 0) {
            const int roll = int(rng.bounded(10));
            blocks = roll < 4   ? ControllerData::BlocksAll
                     : roll < 6 ? 1 + int(rng.bounded(8))
                                : ControllerData::BlocksNew;
            if ((u.keeper && u.files.at(currentDir).exists) || unreadableHere(u))
                blocks = ControllerData::BlocksNew;
            // New entries since the last download. A binary journal drops its
            // oldest records.
            if (blocks == ControllerData::BlocksNew)
                grow(u, 1 + int(rng.bounded(8)));
        }
        Request r;
        r.active = true;
        r.blocks = blocks;
        r.dir = currentDir;
        r.historyAt = u.history.size();
        if (unreadableHere(u)) {
            // Only new records are asked for while the file cannot be read (a full
            // download would replace it), and each request must fail unsent.
            r.blocks = ControllerData::BlocksNew;
            r.failure = u.refusal;
            u.journal = r;
            u.light->refusing = true;
            QMetaObject::invokeMethod(module, "loadJournal", Q_ARG(QObject*, u.light),
                                      Q_ARG(int, r.blocks));
            return;
        }
        // While its directory is away, the file is missing to the module too.
        QFile file(journalPath(u, currentDir));
        const bool exists = file.open(QIODevice::ReadOnly);
        const QByteArray existing = exists ? file.readAll() : QByteArray();
        const bool onlyNew = blocks == ControllerData::BlocksNew && exists;
        u.light->marker =
            onlyNew && !c->isMarked() ? existing.left(ControllerData::RecordSize) : QByteArray();
        u.light->refusing = false;
        const SoakLight* light = u.light;
        const ControllerData::ReceivedJournal got = ControllerData::receivedJournal(
            [light](int n) { return light->block(n); }, c->isMarked(), blocks,
            onlyNew ? ControllerData::stopMarker(existing, c->isMarked()) : QByteArray());
        r.received = got.data;
        r.markerMet = got.markerMet;
        if (awayDir == currentDir)
            r.mayFail = errorOpen(u, currentDir);
        u.journal = r;
        QMetaObject::invokeMethod(module, "loadJournal", Q_ARG(QObject*, u.light),
                                  Q_ARG(int, blocks));
    }

    bool unreadableHere(const Unit& u) const
    {
        return u.unreadableKind >= 0 && u.unreadableDir == currentDir;
    }

    void startConfig(Unit& u, bool mayUseStorage)
    {
        SimulatedController* c = u.controller;
        Request r;
        r.active = true;
        r.expected = c->expectedConfigFile();
        if (c->config().form == ControllerData::ConfigForm::BrokenTable)
            r.failure = QStringLiteral("Error: invalid config size");
        if (mayUseStorage && u.inStorage && rng.bounded(3) != 0) {
            // The stand-ins log every call: fresh ones now and then keep that small.
            if (++storageCalls % 500 == 0)
                newStorage();
            const int kind = int(rng.bounded(3)); // current, archived, invoke-style
            const bool storageError = faultsOn && rng.bounded(5) == 0;
            if (storageError) {
                // Retried by the controller itself: the controller's configuration it is.
                ++figures.storageErrors;
                if (kind == 2)
                    invoke->enqueueReply(QByteArray("<Error>storage busy</Error>"));
                else
                    rpc->enqueueReply(QVariantMap{
                        {QStringLiteral("error"),
                         QVariantMap{{QStringLiteral("code"), 5},
                                     {QStringLiteral("message"), QStringLiteral("busy")}}}});
            } else if (u.missingFromStorage) {
                r.failure = QStringLiteral("Not in storage");
            } else {
                r.failure.clear();
                r.expected = fleet.storageConfig(u.index, kind == 1);
                r.storage = true;
            }
            u.config = r;
            QObject* storage = kind == 2 ? static_cast<QObject*>(invoke.data()) : rpc.data();
            QMetaObject::invokeMethod(
                module, "loadConfigFromStorage", Q_ARG(QObject*, storage), Q_ARG(QObject*, u.light),
                Q_ARG(QString, kind == 1 ? SimulatedFleet::archiveMoment() : QString()),
                Q_ARG(int, -1));
            return;
        }
        u.config = r;
        QMetaObject::invokeMethod(module, "loadConfig", Q_ARG(QObject*, u.light));
    }

    QString statusOf(bool journal, int id) const
    {
        QWidget* window = journal ? journalWindow : configWindow;
        auto* table = window->findChild<QTableWidget*>(QStringLiteral("queueTable"));
        for (int row = 0; row < table->rowCount(); ++row) {
            const QTableWidgetItem* cell = table->item(row, 0);
            if (cell && cell->text() == QString::number(id))
                return table->item(row, 5) ? table->item(row, 5)->text() : QString();
        }
        return QStringLiteral("(no row)");
    }

    void newStorage()
    {
        rpc.reset(new JsonRpcClientPlugin);
        invoke.reset(new InvokeStorage);
        for (const SimulatedFleet::StorageEntry& e : fleet.storageEntries()) {
            const QString id = QString::number(e.id);
            rpc->setConfig(id, e.current);
            rpc->setArchivedConfig(id, SimulatedFleet::archiveMoment(), e.archived);
            invoke->setConfig(id, e.current);
        }
    }

    bool selectRow(QWidget* window, int id)
    {
        auto* table = window->findChild<QTableWidget*>(QStringLiteral("queueTable"));
        for (int row = 0; row < table->rowCount(); ++row) {
            const QTableWidgetItem* cell = table->item(row, 0);
            if (cell && cell->text() == QString::number(id)) {
                table->clearSelection();
                table->selectionModel()->select(
                    QItemSelection(table->model()->index(row, 0),
                                   table->model()->index(row, table->columnCount() - 1)),
                    QItemSelectionModel::Select);
                return true;
            }
        }
        return false;
    }

    void stop(Unit& u, bool journal)
    {
        // Not where a part Stop saves could not be saved.
        const int d = u.journal.dir;
        if (journal && awayDir == d)
            return;
        QWidget* window = journal ? journalWindow : configWindow;
        if (!selectRow(window, u.controller->id()))
            return problem(QStringLiteral("%1: no row to stop").arg(u.controller->id()));
        ++figures.stops;
        const QString path = journalPath(u, d);
        const bool hadFile = !journal || SpecialFiles::kindAt(path) != -1;
        // A saved journal stays as it is (not read where it cannot be: a FIFO).
        const bool readable = journal && hadFile && (u.unreadableKind < 0 || u.unreadableDir != d);
        const QByteArray before = readable ? contents(path) : QByteArray();
        QMetaObject::invokeMethod(window, "stopDownloading");
        Request& stopped = journal ? u.journal : u.config;
        stopped.stopped = true;
        if (readable && contents(path) != before)
            problem(QStringLiteral("%1: Stop of a journal download (blocks %2) changed its file")
                        .arg(u.controller->id())
                        .arg(stopped.blocks));
        if (!hadFile && SpecialFiles::kindAt(path) != -1) {
            // Where there was no journal, Stop saves the part received, the
            // journal's newest entries; never for an only-new download.
            const QByteArray part = contents(path);
            if (stopped.blocks == ControllerData::BlocksNew || !stopped.received.startsWith(part))
                problem(QStringLiteral("%1: Stop of a journal download (blocks %2) saved %3 bytes")
                            .arg(u.controller->id())
                            .arg(stopped.blocks)
                            .arg(part.size()));
            JournalFile& f = u.files[d];
            f.exists = true;
            f.data = f.base = part;
            f.historyAtBase = f.historyAtTop = stopped.historyAt;
        }
        const int index = u.index;
        // Then the same download goes on, or starts over; a journal's maybe
        // asking for the new records only.
        const int followUp = int(rng.bounded(5));
        const int delay = rng.bounded(4) == 0 ? 0 : 100 + int(rng.bounded(1500));
        QTimer::singleShot(delay, this, [this, index, journal, followUp] {
            Unit& v = units[index];
            Request& r = journal ? v.journal : v.config;
            if (!running || !r.stopped)
                return;
            if (followUp == 0 && journal) {
                ++figures.requeues;
                startJournal(v, ControllerData::BlocksNew);
            } else if (followUp == 1) {
                ++figures.requeues;
                journal ? startJournal(v, r.blocks) : startConfig(v, false);
            } else {
                resume(v, journal);
            }
        });
    }

    void resume(Unit& u, bool journal)
    {
        QWidget* window = journal ? journalWindow : configWindow;
        if (!selectRow(window, u.controller->id()))
            return problem(QStringLiteral("%1: no row to resume").arg(u.controller->id()));
        ++figures.resumes;
        (journal ? u.journal : u.config).stopped = false;
        QMetaObject::invokeMethod(window, "resumeDownloading");
    }

    // Clears the light and a few others with a download of the same kind, and
    // queues them again a little later.
    void clearSome(Unit& u, bool journal)
    {
        QObjectList lights{u.light};
        QVector<int> indexes{u.index};
        for (int k = 0; k < 3; ++k) {
            Unit& v = units[int(rng.bounded(quint32(units.size())))];
            Request& r = journal ? v.journal : v.config;
            if (r.active && !r.cleared && !indexes.contains(v.index)) {
                lights.append(v.light);
                indexes.append(v.index);
            }
        }
        ++figures.clears;
        QMetaObject::invokeMethod(module, journal ? "clearJournal" : "clearConfig",
                                  Q_ARG(QObjectList, lights));
        for (int index : qAsConst(indexes)) {
            Request& r = journal ? units[index].journal : units[index].config;
            r.cleared = true;
            r.stopped = false;
        }
        QTimer::singleShot(100 + int(rng.bounded(700)), this, [this, indexes, journal] {
            for (int index : indexes) {
                Unit& v = units[index];
                Request& r = journal ? v.journal : v.config;
                if (running && r.cleared)
                    journal ? startJournal(v, r.blocks) : startConfig(v, false);
            }
        });
    }

    QObject* module;
    QString dir;
    // The journal directories the host switches between; today's, and the one
    // gone for a while (-1: none).
    QStringList journalDirs;
    int currentDir = 0;
    int awayDir = -1;
    SimulatedFleet fleet;
    QVector<Unit> units;
    QHash<QObject*, Unit*> byLight;
    QHash<int, const Unit*> byId;
    QScopedPointer<JsonRpcClientPlugin> rpc;
    QScopedPointer<InvokeStorage> invoke;
    int storageCalls = 0;
    QVector<int> unreadable; // units whose journal file cannot be read now
    std::map<int, std::unique_ptr<SpecialFiles::FifoGuard>> fifoGuards;
    QPointer<QWidget> journalWindow;
    QPointer<QWidget> configWindow;
};

Response* SoakLight::sendCommand(QVariant command, QVariant args)
{
    auto* response = new Response(this);
    ++soak->figures.commands;
    const bool journal = command.toString() == QLatin1String("GET_JRNL");
    if (journal && refusing) {
        soak->problem(QStringLiteral("%1: journal asked for while its file cannot be read, or "
                                     "while its download waits to be saved again")
                          .arg(id()));
        refusing = false; // once is enough
    }
    const QVariantList a = args.toList();
    const int latency = 1 + int(rng.bounded(15));
    const bool faults = soak->faultsOn;
    const int roll = faults ? int(rng.bounded(1000)) : 1000;

    if (roll < 8) {
        // The command is lost with the link, which comes back later; the host
        // then finishes its response with an error (below).
        ++soak->figures.lostCommands;
        QTimer::singleShot(latency, this, [this] { flap(100 + int(rng.bounded(1400))); });
        answer(response, latency + 50, epoch, 3, QVariantList(), false);
        return response;
    }
    int error = 0;
    QVariantList data;
    if (!up) {
        error = 3; // no link: the host answers with an error
    } else if (roll < 40) {
        ++soak->figures.errorAnswers;
        error = 5;
    } else if (journal) {
        int n = a.value(0).toInt();
        const bool binary = !controller->isMarked();
        if (faults && roll >= 130 && roll < 138 && soak->repeats)
            stuck = 3 + int(rng.bounded(3));
        // A repeated earlier block (binary journals only: text journals carry no
        // position), now and then several in a row.
        if ((roll < 55 || stuck > 0) && soak->repeats && n > 0 && binary) {
            ++(stuck > 0 ? soak->figures.stuckAnswers : soak->figures.repeatedAnswers);
            stuck = qMax(0, stuck - 1);
            n -= 1;
        } else if (faults && roll >= 138 && roll < 146 && binary) {
            ++soak->figures.laterAnswers;
            n += 1;
        }
        QByteArray block = this->block(n);
        // A controller may also end its answer right behind the record the
        // module looks for.
        const int at = marker.isEmpty() ? -1 : block.indexOf(marker);
        if (faults && at >= 0 && at % ControllerData::RecordSize == 0 && rng.bounded(2)) {
            ++soak->figures.shortBlocks;
            block.truncate(at + ControllerData::RecordSize);
        }
        data = {n, block};
    } else {
        int offset = a.value(1).toInt();
        // A repeated earlier piece, or an empty one, now and then several in a
        // row; never the header piece of a text or JSON form.
        const int header = controller->config().headerSize;
        if (faults && roll >= 130 && roll < 138 && soak->repeats)
            stuck = 3 + int(rng.bounded(3));
        bool empty = false;
        if ((roll < 55 || stuck > 0) && soak->repeats && offset > header && offset - 64 >= header) {
            ++(stuck > 0 ? soak->figures.stuckAnswers : soak->figures.repeatedAnswers);
            empty = stuck > 0 && rng.bounded(2);
            stuck = qMax(0, stuck - 1);
            if (!empty)
                offset -= 64;
        } else if (faults && roll >= 138 && roll < 146 && offset > header) {
            ++soak->figures.laterAnswers;
            offset += 64;
        }
        data = {a.value(0).toInt(), offset, empty ? QByteArray() : controller->configPiece(offset)};
    }
    int delay = latency;
    if (roll >= 55 && roll < 90) {
        ++soak->figures.lateAnswers;
        delay += 100 + int(rng.bounded(700));
    }
    const bool duplicate = roll >= 90 && roll < 130;
    if (duplicate)
        ++soak->figures.duplicateAnswers;
    answer(response, delay, epoch, error, data, duplicate);
    return response;
}

void SoakLight::answer(QPointer<Response> response, int delay, int linkEpoch, int error,
                       const QVariantList& data, bool duplicate)
{
    QTimer::singleShot(delay, this, [=] {
        if (!response)
            return;
        // An answer cannot cross a link that went down after its command: its
        // response ends in an error, as every response ends once.
        if (linkEpoch != epoch)
            response->finishWithError(3, QStringLiteral("link lost"));
        else if (error != 0)
            response->finishWithError(error, error == 5 && rng.bounded(2) ? QStringLiteral("busy")
                                                                          : QString());
        else
            response->finishWithData(data);
        if (duplicate)
            QTimer::singleShot(0, response, [response] {
                if (response)
                    response->emitFinishedAgain();
            });
        QTimer::singleShot(1000, response, &QObject::deleteLater);
    });
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

public:
    TestSoak()
    {
        // QtTest stops a test function after five minutes; a long run needs longer.
        if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT")) {
            const qint64 ms = (envNumber("DQ_SOAK_SECONDS", 60) +
                               envNumber("DQ_SOAK_SETTLE_SECONDS", 120) + 120) *
                              1000;
            qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number(qMax<qint64>(ms, 300000)));
        }
    }

private slots:
    void soak()
    {
        const qint64 seconds = envNumber("DQ_SOAK_SECONDS", 60);
        const int count = int(envNumber("DQ_SOAK_CONTROLLERS", 500));
        const quint32 seed = quint32(envNumber("DQ_SOAK_SEED", 20261207));
        const qint64 settleSeconds = envNumber("DQ_SOAK_SETTLE_SECONDS", 120);

        QPluginLoader loader(
            QDir(qEnvironmentVariable("DQ_PLUGIN_DIR")).absoluteFilePath("libdownloadqueue.so"));
        QVERIFY2(loader.load(), qPrintable(loader.errorString()));
        QPointer<QObject> module = loader.instance();
        QVERIFY(module);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        module->setProperty("configDir", dir.path());
        module->setProperty("activateWindowOnDownload", false);

        const Memory atSetup = memoryNow();
        Soak soak(module, dir.path(), count, seed);
        soak.repeats = envNumber("DQ_SOAK_REPEATS", 1) != 0;
        QVERIFY(soak.start());

        QTimer actions;
        QObject::connect(&actions, &QTimer::timeout, &soak, &Soak::hostActions);
        actions.start(20);

        // Memory after the warm-up (a quarter of the run) and at the end.
        QElapsedTimer clock;
        clock.start();
        Memory warm;
        QStringList trend; // RSS and heap in use at each tenth of the run
        while (clock.elapsed() < seconds * 1000) {
            QTest::qWait(200);
            if (warm.rss == 0 && clock.elapsed() >= seconds * 250)
                warm = memoryNow();
            if (clock.elapsed() >= seconds * 100 * (trend.size() + 1))
                trend.append(
                    QStringLiteral("%1/%2").arg(memoryNow().rss / 1024).arg(heapInUse() / 1024));
        }
        actions.stop();
        soak.settle();
        QElapsedTimer settleClock;
        settleClock.start();
        const auto settled = [&] {
            while ((soak.activeDownloads() > 0 || !soak.unfinishedRows().isEmpty()) &&
                   settleClock.elapsed() < settleSeconds * 1000)
                QTest::qWait(100);
            return soak.activeDownloads() == 0;
        };
        // Then the new records of every journal once more, and every journal file
        // must hold its controller's history.
        int journalsKept = 0;
        if (settled()) {
            soak.fetchNewRecords();
            if (settled())
                journalsKept = soak.checkCustody();
        }
        const Memory atEnd = memoryNow();
        const int stuck = soak.activeDownloads();
        const QStringList unfinishedRows = soak.unfinishedRows();

        const Figures& f = soak.figures;
        qInfo("controllers %d, seed %u, %lld s of faults, settled in %.1f s", count, seed, seconds,
              settleClock.elapsed() / 1000.0);
        qInfo("commands %lld; faults injected %lld: error answers %lld, lost commands %lld, link "
              "drops %lld, late %lld, duplicate %lld, repeated %lld, idle in a row %lld, later "
              "%lld, cut short %lld, queued again %lld, stops %lld "
              "(resumes %lld), clears %lld, storage errors %lld",
              f.commands, f.faults(), f.errorAnswers, f.lostCommands, f.linkFlaps, f.lateAnswers,
              f.duplicateAnswers, f.repeatedAnswers, f.stuckAnswers, f.laterAnswers, f.shortBlocks,
              f.requeues, f.stops, f.resumes, f.clears, f.storageErrors);
        qInfo("journals: entries written %lld, Retry %lld, files unreadable for a while %lld, "
              "downloads refused for them %lld, directory changes %lld, directories away %lld, "
              "saves failed and kept %lld, kept data saved again %lld, only-new with nothing new "
              "%lld, lights whose files hold their controller's history %lld",
              f.entriesWritten, f.retries, f.unreadable, f.refusals, f.dirChanges, f.dirsAway,
              f.savesKept, f.savedAgain, f.nothingNew, f.journalsKept);
        qInfo("downloads completed %lld (journals %lld, configurations %lld, from the storage "
              "%lld), files verified %lld, expected failures %lld",
              f.journalsCompleted + f.configsCompleted + f.storageCompleted, f.journalsCompleted,
              f.configsCompleted, f.storageCompleted, f.filesVerified, f.expectedFailures);
        qInfo("peak RSS at setup %lld KiB, after warm-up %lld KiB (RSS %lld), at the end %lld KiB "
              "(RSS %lld)",
              atSetup.peak, warm.peak, warm.rss, atEnd.peak, atEnd.rss);
        qInfo("RSS/heap in use by tenths of the run, MiB: %s",
              qPrintable(trend.join(QLatin1Char(' '))));
        qInfo("items stuck %d, rows not in an end state %d", stuck, int(unfinishedRows.size()));
        for (const QString& p : f.problems)
            qWarning("%s", qPrintable(p));
        for (const QString& a : soak.describeActive())
            qWarning("still running: %s", qPrintable(a));

        QVERIFY2(f.problems.isEmpty(), qPrintable(f.problems.join(QLatin1String("; "))));
        QCOMPARE(stuck, 0);
        QVERIFY2(unfinishedRows.isEmpty(), qPrintable(unfinishedRows.join(QLatin1String("; "))));
        QVERIFY(f.filesVerified > count);
        QCOMPARE(journalsKept, count);
        // The module keeps one buffer per item: once every light has been through a
        // download, memory stays where it was. Sanitizers hold freed memory back.
        if (!underSanitizer() && warm.rss > 0)
            QVERIFY2(
                atEnd.rss < warm.rss + 64 * 1024,
                qPrintable(
                    QStringLiteral("RSS grew from %1 to %2 KiB").arg(warm.rss).arg(atEnd.rss)));

        for (QWidget* w : QApplication::topLevelWidgets())
            delete w;
        delete module.data();
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
