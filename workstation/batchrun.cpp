#include "workstation/batchrun.h"

#include "host/hostlight.h"
#include "host/invokestorage.h"
#include "host/jsonrpcclientplugin.h"
#include "workstation/moduleclient.h"
#include "workstation/workstationoptions.h"
#include "workstation/workstationwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

using namespace ControllerData;

namespace {

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

QString sizeText(double bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(qint64(bytes));
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KiB").arg(bytes / 1024, 0, 'f', 1);
    return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024), 0, 'f', 2);
}

bool isJournalKind(SimulatedFleet::JobKind k)
{
    return k == SimulatedFleet::JobKind::Journal || k == SimulatedFleet::JobKind::JournalBlocks ||
           k == SimulatedFleet::JobKind::JournalNew;
}

bool isStorageKind(SimulatedFleet::JobKind k)
{
    return k == SimulatedFleet::JobKind::StorageCurrent ||
           k == SimulatedFleet::JobKind::StorageArchive;
}

void processEventsFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

BatchRun::BatchRun(ModuleClient* module, WorkstationWindow* window, SimulatedFleet* fleet,
                   QObject* rpcStorage, QObject* invokeStorage, const Options& options,
                   QObject* parent)
    : QObject(parent), m_module(module), m_window(window), m_fleet(fleet), m_rpcStorage(rpcStorage),
      m_invokeStorage(invokeStorage), m_options(options), m_progress(new QTimer(this)),
      m_timeout(new QTimer(this))
{
    connect(m_module, &ModuleClient::configurationDownloadComplete, this,
            &BatchRun::onConfigComplete);
    connect(m_module, &ModuleClient::configurationDownloadFailed, this, &BatchRun::onConfigFailed);
    for (SimulatedController* c : m_fleet->controllers())
        connect(c, &SimulatedController::transferEnded, this, &BatchRun::onTransferEnded);
    m_progress->setInterval(1000);
    connect(m_progress, &QTimer::timeout, this, &BatchRun::printProgress);
    m_timeout->setSingleShot(true);
    connect(m_timeout, &QTimer::timeout, this, &BatchRun::onTimeout);
}

QString BatchRun::configDir() const
{
    return WorkstationOptions::configDirIn(m_options.dataDir);
}

QString BatchRun::journalDir() const
{
    return WorkstationOptions::journalDirIn(m_options.dataDir);
}

void BatchRun::start()
{
    // Each run starts from empty directories, so every file checked is this run's.
    for (const QString& dir : {configDir(), journalDir()}) {
        QDir d(dir);
        d.mkpath(QStringLiteral("."));
        const QStringList old =
            d.entryList({QStringLiteral("Jrn*.bin"), QStringLiteral("Jrn*.txt"),
                         QStringLiteral("dat*.cnf"), QStringLiteral("dat*.json")},
                        QDir::Files);
        for (const QString& f : old)
            d.remove(f);
    }
    m_module->setDirectories(configDir(), journalDir());
    m_module->setActivateWindowOnDownload(true);
    out() << "dq-workstation batch: " << m_fleet->size() << " simulated controllers, module "
          << m_module->moduleVersion() << " (" << m_module->pluginPath() << ")\n"
          << "  configurations: " << configDir() << "\n  journals:       " << journalDir() << "\n";
    out().flush();
    m_clock.start();
    m_progress->start();
    m_timeout->start(m_options.timeoutSeconds * 1000);
    startPhase(1);
}

void BatchRun::startPhase(int phase)
{
    m_phase = phase;
    if (phase == 2)
        m_fleet->advanceToPhase2();
    m_phaseStart = m_entries.size();
    const auto jobs = m_fleet->jobs(phase);
    for (const auto& job : jobs) {
        Entry e;
        e.job = job;
        m_entries.append(e);
    }
    out() << "phase " << phase << ": "
          << (phase == 1
                  ? "journals (all, N blocks) and configurations from the controllers"
                  : "journals grown meanwhile (only new) and configurations from the storage")
          << ", " << jobs.size() << " downloads\n";
    out().flush();
    // Storage downloads answer within the call: queue the controller downloads first.
    for (int i = m_phaseStart; i < m_entries.size(); ++i)
        if (!isStorageKind(m_entries[i].job.kind))
            startJob(m_entries[i]);
    m_window->placeNewDocks();
    for (int i = m_phaseStart; i < m_entries.size(); ++i)
        if (isStorageKind(m_entries[i].job.kind))
            startJob(m_entries[i]);
    m_window->placeNewDocks();
    checkPhaseDone();
}

void BatchRun::startJob(Entry& e)
{
    SimulatedController* c = m_fleet->controller(e.job.index);
    const bool journal = isJournalKind(e.job.kind);
    e.path = QDir(journal ? journalDir() : configDir()).absoluteFilePath(m_fleet->fileName(e.job));
    QFile existing(e.path);
    const bool exists = existing.open(QIODevice::ReadOnly);
    e.expected = m_fleet->expectedFile(e.job, exists, exists ? existing.readAll() : QByteArray());
    e.running = true;
    switch (e.job.kind) {
    case SimulatedFleet::JobKind::Journal:
    case SimulatedFleet::JobKind::JournalBlocks:
    case SimulatedFleet::JobKind::JournalNew:
        m_module->loadJournal(c->light(), e.job.blocks);
        break;
    case SimulatedFleet::JobKind::Config:
        m_module->loadConfig(c->light());
        break;
    case SimulatedFleet::JobKind::StorageCurrent:
    case SimulatedFleet::JobKind::StorageArchive: {
        // Current configurations alternate between the two kinds of storage object.
        QObject* storage = e.job.kind == SimulatedFleet::JobKind::StorageCurrent &&
                                   c->id() % 2 == 0 && m_invokeStorage
                               ? m_invokeStorage.data()
                               : m_rpcStorage.data();
        if (!storage) {
            finishEntry(e, false, QStringLiteral("no storage object"), QString());
            return;
        }
        if (e.job.storageErrorFirst) {
            // A busy storage: the module retries, from the controller itself.
            if (auto* rpc = qobject_cast<JsonRpcClientPlugin*>(storage))
                rpc->enqueueReply(QVariantMap{
                    {QStringLiteral("error"),
                     QVariantMap{{QStringLiteral("code"), 503},
                                 {QStringLiteral("message"), QStringLiteral("storage busy")}}}});
            else if (auto* other = qobject_cast<InvokeStorage*>(storage))
                other->enqueueReply(QByteArray("<Error>storage busy</Error>"));
        }
        m_module->loadConfigFromStorage(storage, c->light(), e.job.datetime);
        break;
    }
    }
}

BatchRun::Entry* BatchRun::runningEntry(QObject* light, bool journal)
{
    for (int i = m_phaseStart; i < m_entries.size(); ++i) {
        Entry& e = m_entries[i];
        if (e.running && isJournalKind(e.job.kind) == journal &&
            m_fleet->controller(e.job.index)->light() == light)
            return &e;
    }
    return nullptr;
}

void BatchRun::onConfigComplete(QObject* light, const QString& fileName)
{
    if (Entry* e = runningEntry(light, false))
        finishEntry(*e, true, QString(), fileName);
}

void BatchRun::onConfigFailed(QObject* light, const QString& message)
{
    if (Entry* e = runningEntry(light, false))
        finishEntry(*e, false, message, QString());
}

void BatchRun::onTransferEnded(const QString& command)
{
    auto* c = qobject_cast<SimulatedController*>(sender());
    if (!c || command != QLatin1String("GET_JRNL"))
        return;
    // The journal queue reports nothing to the host: the controller seeing no
    // further request is the sign, and the file tells the outcome.
    if (Entry* e = runningEntry(c->light(), true))
        finishEntry(*e, QFileInfo(e->path).isFile(), tr("no journal file written"), e->path);
}

void BatchRun::finishEntry(Entry& e, bool completed, const QString& message,
                           const QString& reportedPath)
{
    e.running = false;
    e.written = completed;
    if (completed) {
        QFile f(reportedPath.isEmpty() ? e.path : reportedPath);
        const QByteArray got = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        e.bytes = got.size();
        if (QFileInfo(reportedPath).absoluteFilePath() != QFileInfo(e.path).absoluteFilePath()) {
            e.status = tr("wrong file %1").arg(reportedPath);
        } else if (got != e.expected) {
            int at = 0;
            while (at < got.size() && at < e.expected.size() && got.at(at) == e.expected.at(at))
                ++at;
            e.status = tr("MISMATCH: %1 bytes, expected %2, first difference at %3")
                           .arg(got.size())
                           .arg(e.expected.size())
                           .arg(at);
        } else if (!e.job.shouldSucceed) {
            e.status =
                tr("completed, but should have failed with \"%1\"").arg(e.job.expectedMessage);
        } else {
            e.ok = true;
            e.status = tr("ok");
        }
    } else if (!e.job.shouldSucceed && message == e.job.expectedMessage) {
        e.ok = true;
        e.status = tr("failed as expected: %1").arg(message);
    } else {
        e.status = tr("FAILED: %1").arg(message);
    }
    checkPhaseDone();
}

int BatchRun::failures() const
{
    int n = 0;
    for (const Entry& e : m_entries)
        if (!e.running && !e.ok)
            ++n;
    return n;
}

void BatchRun::printProgress()
{
    int done = 0, failed = 0, total = 0;
    QStringList running;
    for (const Entry& e : m_entries) {
        ++total;
        if (!e.running && !e.status.isEmpty()) {
            ++done;
            if (!e.ok)
                ++failed;
        } else if (e.running) {
            running << QStringLiteral("%1 %2")
                           .arg(m_fleet->controller(e.job.index)->id())
                           .arg(SimulatedFleet::kindName(e.job.kind));
        }
    }
    qint64 bytes = 0;
    for (SimulatedController* c : m_fleet->controllers())
        bytes += c->bytesSent();
    const qint64 now = m_clock.elapsed();
    const double seconds = qMax<qint64>(1, now) / 1000.0;
    // The rate over the last three seconds or so.
    m_samples.append({now, bytes});
    while (m_samples.size() > 2 && now - m_samples.at(1).first >= 3000)
        m_samples.removeFirst();
    const auto& since = m_samples.size() > 1 ? m_samples.first() : qMakePair(qint64(0), qint64(0));
    const double rate = (bytes - since.second) * 1000.0 / qMax<qint64>(1, now - since.first);
    // The queues at work: one picture while the first phase runs, with the
    // items that failed first (sorted a tick before, so that the rows have
    // settled in their new places).
    if (m_options.pictures && !m_busyPicture && m_phase == 1 && !m_failuresFirst) {
        m_failuresFirst = true;
        for (QDockWidget* dock : {m_window->journalDock(), m_window->configDock()}) {
            auto* table =
                dock ? dock->findChild<QTableWidget*>(QStringLiteral("queueTable")) : nullptr;
            for (int column = 0; table && column < table->columnCount(); ++column)
                if (table->horizontalHeaderItem(column)->text() == QLatin1String("Errors"))
                    table->sortByColumn(column, Qt::DescendingOrder);
        }
    } else if (m_options.pictures && !m_busyPicture && m_phase == 1 && seconds >= 1.5) {
        m_busyPicture = true;
        const QDir dir(QDir(m_options.dataDir).absoluteFilePath(QStringLiteral("pictures")));
        dir.mkpath(QStringLiteral("."));
        const QString path = dir.absoluteFilePath(QStringLiteral("workstation-busy.png"));
        if (m_window->grab().save(path))
            m_outputs << path;
    }
    QString line = QStringLiteral("  [%1s] phase %2: %3/%4 done, %5 failed, %6 received, %7/s")
                       .arg(seconds, 5, 'f', 1)
                       .arg(m_phase)
                       .arg(done, 3)
                       .arg(total)
                       .arg(failed)
                       .arg(sizeText(double(bytes)))
                       .arg(sizeText(rate));
    // The last few downloads are named: the ones everything waits for.
    if (!running.isEmpty() && running.size() <= 3)
        line += QStringLiteral("; waiting for ") + running.join(QStringLiteral(", "));
    out() << line << '\n';
    out().flush();
}

void BatchRun::checkPhaseDone()
{
    if (m_wrappedUp)
        return;
    for (int i = m_phaseStart; i < m_entries.size(); ++i)
        if (m_entries[i].running || m_entries[i].status.isEmpty())
            return;
    printProgress();
    if (m_phase == 1) {
        // Let the queue settle (its last answers are still being delivered).
        QTimer::singleShot(0, this, [this] { startPhase(2); });
        return;
    }
    m_wrappedUp = true;
    QTimer::singleShot(0, this, &BatchRun::wrapUp);
}

void BatchRun::onTimeout()
{
    for (Entry& e : m_entries)
        if (e.running) {
            e.running = false;
            e.status = tr("FAILED: no result within %1 s").arg(m_options.timeoutSeconds);
        }
    if (!m_wrappedUp) {
        m_wrappedUp = true;
        wrapUp();
    }
}

void BatchRun::wrapUp()
{
    m_progress->stop();
    m_timeout->stop();
    if (m_options.pictures)
        savePictures();
    decodeJournals();
    printSummary();
    emit finished(failures() == 0 ? 0 : 1);
}

void BatchRun::savePictures()
{
    const QDir dir(QDir(m_options.dataDir).absoluteFilePath(QStringLiteral("pictures")));
    dir.mkpath(QStringLiteral("."));
    m_window->placeNewDocks();
    processEventsFor(300);
    const auto save = [&](QWidget* w, const QString& name) {
        if (!w)
            return;
        const QString path = dir.absoluteFilePath(name);
        if (w->grab().save(path))
            m_outputs << path;
    };
    save(m_window->journalDock(), QStringLiteral("journal-queue.png"));
    save(m_window->configDock(), QStringLiteral("config-queue.png"));
    save(m_window, QStringLiteral("workstation.png"));

    // A journal view, opened the way the host does: viewJournal on a saved file.
    // The newest generation with many records makes the most telling picture.
    for (const Family family : {Family::Gen317, Family::Vegal}) {
        const Entry* chosen = nullptr;
        for (const Entry& e : m_entries)
            if (e.ok && e.job.kind == SimulatedFleet::JobKind::Journal &&
                m_fleet->controller(e.job.index)->family() == family && !e.expected.isEmpty() &&
                (!chosen || e.expected.size() > chosen->expected.size()))
                chosen = &e;
        if (!chosen)
            continue;
        const auto before = m_window->findChildren<QDialog*>();
        m_module->viewJournal(journalVersion(family), chosen->path);
        processEventsFor(200);
        for (QDialog* d : m_window->findChildren<QDialog*>()) {
            if (before.contains(d))
                continue;
            d->resize(1440, 640);
            processEventsFor(100);
            // The quick search at work: the first word of the top row's
            // message found, only the matching rows shown, and the third
            // match made current, as F3 does.
            auto* table = d->findChild<QTableWidget*>(QStringLiteral("journalTable"));
            auto* find = d->findChild<QLineEdit*>(QStringLiteral("findEdit"));
            if (table && find && table->rowCount() > 0) {
                const QTableWidgetItem* message = table->item(0, table->columnCount() - 2);
                find->setText(message ? message->text().section(QLatin1Char(' '), 0, 0)
                                      : QString());
                if (auto* only = d->findChild<QCheckBox*>(QStringLiteral("onlyMatches")))
                    only->setChecked(true);
                for (int i = 0; i < 3; ++i) {
                    QKeyEvent f3(QEvent::KeyPress, Qt::Key_F3, Qt::NoModifier);
                    QCoreApplication::sendEvent(find, &f3);
                }
            }
            processEventsFor(200);
            save(d, family == Family::Vegal ? QStringLiteral("journal-view-text.png")
                                            : QStringLiteral("journal-view.png"));
            if (family == Family::Vegal && table) {
                // Narrower, all rows, scrolled to the right: the Time column
                // stays, and the match's place and the timeline's marks show.
                if (auto* only = d->findChild<QCheckBox*>(QStringLiteral("onlyMatches")))
                    only->setChecked(false);
                d->resize(620, 560);
                processEventsFor(200);
                QScrollBar* sideways = table->horizontalScrollBar();
                sideways->setValue(sideways->maximum());
                processEventsFor(200);
                save(d, QStringLiteral("journal-view-held-time.png"));
            }
            d->close();
        }
    }
}

void BatchRun::decodeJournals()
{
    // Found as the system names programs ("dq-journal.exe" on Windows).
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("dq-journal"),
                                                        {QCoreApplication::applicationDirPath()});
    if (tool.isEmpty()) {
        out() << "dq-journal not found next to dq-workstation: journals not decoded\n";
        return;
    }
    for (const Family family : {Family::Gen314, Family::Gen315, Family::Gen316, Family::Gen317,
                                Family::TmHelix, Family::Vegal}) {
        for (const Entry& e : m_entries) {
            if (!e.ok || !isJournalKind(e.job.kind) || e.expected.isEmpty() ||
                m_fleet->controller(e.job.index)->family() != family)
                continue;
            const QString target = QFileInfo(e.path).absoluteDir().absoluteFilePath(
                QFileInfo(e.path).completeBaseName() + QStringLiteral(".txt"));
            QStringList args;
            if (isMarked(family))
                args << QStringLiteral("--text");
            else
                args << QStringLiteral("--generation") << QString::number(journalVersion(family));
            args << QStringLiteral("--output") << target << e.path;
            if (QProcess::execute(tool, args) == 0)
                m_outputs << target;
            else
                out() << "dq-journal failed on " << e.path << "\n";
            break;
        }
    }
}

void BatchRun::printSummary()
{
    const QString header = QStringLiteral("%1  %2  %3  %4  %5  %6")
                               .arg(QStringLiteral("light"), -6)
                               .arg(QStringLiteral("family"), -12)
                               .arg(QStringLiteral("kind"), -22)
                               .arg(QStringLiteral("bytes"), 7)
                               .arg(QStringLiteral("file"), -14)
                               .arg(QStringLiteral("status"));
    // The unexpected outcomes first: they are what the reader looks for.
    QVector<const Entry*> rows;
    for (const Entry& e : m_entries)
        if (!e.ok)
            rows.append(&e);
    const int problems = rows.size();
    if (!m_options.problemsOnly)
        for (const Entry& e : m_entries)
            if (e.ok)
                rows.append(&e);
    out() << "\nSummary" << (m_options.problemsOnly ? " (unexpected outcomes only)" : "") << "\n";
    if (rows.isEmpty()) {
        out() << "no unexpected outcomes\n";
    } else {
        out() << header << "\n" << QString(header.size() + 20, QLatin1Char('-')) << "\n";
    }
    for (int i = 0; i < rows.size(); ++i) {
        const Entry& e = *rows.at(i);
        if (i == problems && problems > 0)
            out() << "\n";
        const SimulatedController* c = m_fleet->controller(e.job.index);
        out() << QStringLiteral("%1  %2  %3  %4  %5  %6")
                     .arg(c->id(), -6)
                     .arg(familyName(c->family()), -12)
                     .arg(SimulatedFleet::kindName(e.job.kind) +
                              (e.job.kind == SimulatedFleet::JobKind::JournalBlocks
                                   ? QStringLiteral(" (%1)").arg(e.job.blocks)
                               : e.job.storageErrorFirst ? QStringLiteral(", busy")
                                                         : QString()),
                          -22)
                     .arg(e.bytes, 7)
                     // A download that left no file names none.
                     .arg(e.written ? QFileInfo(e.path).fileName() : QStringLiteral("-"), -14)
                     .arg(e.status)
              << "\n";
    }
    qint64 bytes = 0;
    for (SimulatedController* c : m_fleet->controllers())
        bytes += c->bytesSent();
    out() << "\n"
          << m_entries.size() - failures() << " of " << m_entries.size()
          << " downloads as expected, " << failures() << " not; " << sizeText(double(bytes))
          << " received in " << QString::number(m_clock.elapsed() / 1000.0, 'f', 1) << " s\n";
    if (!m_outputs.isEmpty())
        out() << "Written:\n  " << m_outputs.join(QStringLiteral("\n  ")) << "\n";
    out().flush();
}
