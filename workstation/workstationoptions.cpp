#include "workstation/workstationoptions.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

WorkstationOptions::WorkstationOptions()
{
    m_parser.setApplicationDescription(QStringLiteral(
        "Stand-in operator workstation hosting the download-queue module with simulated "
        "traffic-light controllers."));
    m_parser.addHelpOption();
    m_parser.addOptions({
        {QStringLiteral("batch"), QStringLiteral("Run the downloads headless, check every "
                                                 "file, print a summary and exit.")},
        {QStringLiteral("lights"),
         QStringLiteral("Number of simulated controllers (batch default 40, window default 18)."),
         QStringLiteral("N")},
        {QStringLiteral("data"),
         QStringLiteral("Data directory for configurations, journals and pictures."),
         QStringLiteral("DIR")},
        // Only for --help: main() takes the option itself out of the arguments.
        {QStringLiteral("plugin"), QStringLiteral("The module file or its directory."),
         QStringLiteral("PATH")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the simulated data (default 7)."),
         QStringLiteral("S"), QStringLiteral("7")},
        {QStringLiteral("no-pictures"), QStringLiteral("Batch: save no pictures.")},
        {QStringLiteral("problems-only"),
         QStringLiteral("Batch: the summary lists only the downloads that ended otherwise than "
                        "expected.")},
        {QStringLiteral("timeout"),
         QStringLiteral("Batch: seconds to wait for all downloads (default 180)."),
         QStringLiteral("S"), QStringLiteral("180")},
        {QStringLiteral("demo"), QStringLiteral("Window: queue journals and configurations of "
                                                "all controllers at start.")},
        {QStringLiteral("arrange-docks"),
         QStringLiteral("Window: after the first downloads, place the queue docks, e.g. "
                        "journal=left,config=top (left, right, top, bottom, float)."),
         QStringLiteral("SPEC")},
        {QStringLiteral("quit-after"),
         QStringLiteral("Window: quit after this many milliseconds, as Quit does, answering "
                        "yes if asked (the layout is saved)."),
         QStringLiteral("MS")},
        {QStringLiteral("print-layout"),
         QStringLiteral("Window: print where the queue docks are before closing.")},
        {QStringLiteral("grow-seconds"),
         QStringLiteral("Window: every this many seconds the controllers' journals grow "
                        "(default 20, 0: never)."),
         QStringLiteral("S"), QStringLiteral("20")},
        {QStringLiteral("screenshot"),
         QStringLiteral("Window: save a picture of the window before closing."),
         QStringLiteral("FILE")},
        {QStringLiteral("view-journal"),
         QStringLiteral("Window: at start, show a saved journal file as \"View saved journal\" "
                        "does."),
         QStringLiteral("FILE")},
        {QStringLiteral("select"),
         QStringLiteral("Window: at start, select the controllers with these ids, e.g. "
                        "1001,1004."),
         QStringLiteral("IDS")},
        {QStringLiteral("trigger"),
         QStringLiteral("Window: after the first downloads, trigger these actions one after "
                        "another, by object name, e.g. actionOpenConfig,actionShowJournalQueue."),
         QStringLiteral("ACTIONS")},
        {QStringLiteral("print-log"), QStringLiteral("Window: print the log pane before closing.")},
    });
}

bool WorkstationOptions::process(const QCoreApplication& app)
{
    m_parser.process(app);
    return check();
}

bool WorkstationOptions::parse(const QStringList& arguments)
{
    if (!m_parser.parse(arguments)) {
        m_error = m_parser.errorText();
        return false;
    }
    return check();
}

bool WorkstationOptions::readNumber(const QString& name, qint64 low, qint64 high, qint64* number)
{
    const QString text = m_parser.value(name);
    bool ok = false;
    *number = text.toLongLong(&ok);
    if (ok && *number >= low && *number <= high)
        return true;
    m_error = tr("--%1: '%2' is not a whole number from %3 to %4")
                  .arg(name, text, QString::number(low), QString::number(high));
    return false;
}

bool WorkstationOptions::check()
{
    m_error.clear();
    const bool isBatch = batch();
    qint64 n = 0;
    if (m_parser.isSet(QStringLiteral("lights"))) {
        if (!readNumber(QStringLiteral("lights"), 1, maxLights, &n))
            return false;
        m_lights = int(n);
    } else {
        m_lights = isBatch ? 40 : 18;
    }
    if (!readNumber(QStringLiteral("seed"), 0, 0xFFFFFFFFLL, &n))
        return false;
    m_seed = quint32(n);
    // Less than the few seconds that even one controller takes only ends in a timeout.
    if (!readNumber(QStringLiteral("timeout"), 5, 24 * 3600, &n))
        return false;
    m_timeoutSeconds = int(n);
    if (!readNumber(QStringLiteral("grow-seconds"), 0, 24 * 3600, &n))
        return false;
    m_growSeconds = int(n);
    if (m_parser.isSet(QStringLiteral("quit-after"))) {
        if (!readNumber(QStringLiteral("quit-after"), 0, 24 * 3600 * 1000, &n))
            return false;
        m_quitAfterMs = int(n);
    }
    return makeDataDir();
}

QString WorkstationOptions::configDirIn(const QString& dataDir)
{
    return QDir(dataDir).absoluteFilePath(QStringLiteral("configs"));
}

QString WorkstationOptions::journalDirIn(const QString& dataDir)
{
    return QDir(dataDir).absoluteFilePath(QStringLiteral("journals"));
}

bool WorkstationOptions::makeDataDir()
{
    QString dir = m_parser.value(QStringLiteral("data"));
    if (dir.isEmpty())
        dir = batch() ? QDir::current().absoluteFilePath(QStringLiteral("workstation-batch"))
                      : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    m_dataDir = QDir(dir).absolutePath();
    // Else every download would fail for a reason that the summary cannot name.
    const QString option =
        m_parser.isSet(QStringLiteral("data")) ? QStringLiteral("--data: ") : QString();
    for (const QString& path : {configDirIn(m_dataDir), journalDirIn(m_dataDir)}) {
        if (!QDir().mkpath(path)) {
            m_error = option + tr("cannot make the directory '%1'").arg(path);
            return false;
        }
        QTemporaryFile probe(QDir(path).absoluteFilePath(QStringLiteral(".probe-XXXXXX")));
        if (!probe.open()) {
            m_error = option + tr("cannot write in the directory '%1'").arg(path);
            return false;
        }
    }
    return true;
}
