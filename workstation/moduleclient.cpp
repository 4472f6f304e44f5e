#include "workstation/moduleclient.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QMetaObject>
#include <QPluginLoader>
#include <QVariant>

namespace {
const char* const interfaceId = "ru.norvel.road.DownloadQueue";

// Messages the module logs while a call runs (one call at a time, on the GUI thread).
QStringList* captured = nullptr;
QtMessageHandler passOn = nullptr;

void captureHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (captured && (type == QtWarningMsg || type == QtCriticalMsg))
        captured->append(message);
    if (passOn)
        passOn(type, context, message);
}

QString moduleFile(const QString& dir)
{
    // The platform's naming of a module called "downloadqueue".
#if defined(Q_OS_WIN)
    return QDir(dir).filePath(QStringLiteral("downloadqueue.dll"));
#else
    return QDir(dir).filePath(QStringLiteral("libdownloadqueue.so"));
#endif
}
} // namespace

ModuleClient::ModuleClient(QObject* parent) : QObject(parent) {}

QStringList ModuleClient::candidatePaths(const QString& explicitPath, const QString& appDir,
                                         const QString& envDir)
{
    QStringList paths;
    if (!explicitPath.isEmpty()) {
        // A directory names where the module file lies; anything else is the file.
        // Made absolute here: the plug-in loader would look for a relative name
        // along the library paths instead of in the current directory.
        const QFileInfo given(explicitPath);
        paths << QDir::cleanPath(given.isDir() ? moduleFile(given.absoluteFilePath())
                                               : given.absoluteFilePath());
        return paths;
    }
    if (!envDir.isEmpty())
        paths << moduleFile(envDir);
    const QDir app(appDir);
    paths << moduleFile(app.absoluteFilePath(QStringLiteral("../plugins")))
          << moduleFile(app.absoluteFilePath(QStringLiteral("../plugins/road")))
          << moduleFile(app.absolutePath());
    for (QString& p : paths)
        p = QDir::cleanPath(p);
    paths.removeDuplicates();
    return paths;
}

bool ModuleClient::load(const QString& explicitPath)
{
    const QStringList candidates =
        candidatePaths(explicitPath, QCoreApplication::applicationDirPath(),
                       qEnvironmentVariable("DQ_PLUGIN_DIR"));
    QStringList tried;
    for (const QString& path : candidates) {
        if (!QFileInfo::exists(path)) {
            tried << path + QStringLiteral(" (missing)");
            continue;
        }
        // The loader is left alive on purpose: unloading would take the module
        // (and the windows it docked) away while the workstation runs.
        auto* loader = new QPluginLoader(path, this);
        if (loader->metaData().value(QStringLiteral("IID")).toString() !=
            QLatin1String(interfaceId)) {
            tried << path + QStringLiteral(" (not the download-queue module: ") +
                         loader->errorString() + QLatin1Char(')');
            delete loader;
            continue;
        }
        QObject* instance = loader->instance();
        if (!instance) {
            tried << path + QStringLiteral(" (") + loader->errorString() + QLatin1Char(')');
            delete loader;
            continue;
        }
        m_module = instance;
        m_path = path;
        connect(instance, SIGNAL(configurationDownloadComplete(QObject*, QString)), this,
                SIGNAL(configurationDownloadComplete(QObject*, QString)));
        connect(instance, SIGNAL(configurationDownloadFailed(QObject*, QString)), this,
                SIGNAL(configurationDownloadFailed(QObject*, QString)));
        return true;
    }
    m_error = tr("The download-queue module was not found. Tried:\n  %1")
                  .arg(tried.join(QStringLiteral("\n  ")));
    return false;
}

QString ModuleClient::moduleVersion() const
{
    return m_module ? m_module->property("moduleVersion").toString() : QString();
}

void ModuleClient::setDirectories(const QString& configDir, const QString& journalDir)
{
    if (!m_module)
        return;
    m_module->setProperty("configDir", configDir);
    m_module->setProperty("journalDir", journalDir);
}

QString ModuleClient::configDir() const
{
    return m_module ? m_module->property("configDir").toString() : QString();
}

QString ModuleClient::journalDir() const
{
    return m_module ? m_module->property("journalDir").toString() : QString();
}

void ModuleClient::setActivateWindowOnDownload(bool activate)
{
    if (m_module)
        m_module->setProperty("activateWindowOnDownload", activate);
}

bool ModuleClient::loadJournal(QObject* light, int blocks)
{
    return m_module && QMetaObject::invokeMethod(m_module, "loadJournal", Q_ARG(QObject*, light),
                                                 Q_ARG(int, blocks));
}

bool ModuleClient::loadConfig(QObject* light)
{
    return m_module && QMetaObject::invokeMethod(m_module, "loadConfig", Q_ARG(QObject*, light));
}

bool ModuleClient::loadConfigFromStorage(QObject* storage, QObject* light, const QString& datetime)
{
    if (!m_module)
        return false;
    if (datetime.isEmpty())
        return QMetaObject::invokeMethod(m_module, "loadConfigFromStorage",
                                         Q_ARG(QObject*, storage), Q_ARG(QObject*, light));
    return QMetaObject::invokeMethod(m_module, "loadConfigFromStorage", Q_ARG(QObject*, storage),
                                     Q_ARG(QObject*, light), Q_ARG(QString, datetime));
}

bool ModuleClient::viewJournal(int version, const QString& path)
{
    // The module takes the path by reference; it must not change it.
    QString p = path;
    return m_module && QMetaObject::invokeMethod(m_module, "viewJournal", Q_ARG(int, version),
                                                 Q_ARG(QString&, p));
}

bool ModuleClient::clear()
{
    return m_module && QMetaObject::invokeMethod(m_module, "clear");
}

bool ModuleClient::clearConfig(const QObjectList& lights)
{
    return m_module &&
           QMetaObject::invokeMethod(m_module, "clearConfig", Q_ARG(QObjectList, lights));
}

bool ModuleClient::clearJournal(const QObjectList& lights)
{
    return m_module &&
           QMetaObject::invokeMethod(m_module, "clearJournal", Q_ARG(QObjectList, lights));
}

QStringList ModuleClient::openConfig(QObject* light)
{
    QStringList messages;
    if (!m_module)
        return messages;
    captured = &messages;
    passOn = qInstallMessageHandler(captureHandler);
    // A private slot of the module, reachable by name like every other member.
    QMetaObject::invokeMethod(m_module, "openConfig", Q_ARG(QObject*, light));
    qInstallMessageHandler(passOn);
    captured = nullptr;
    return messages;
}
