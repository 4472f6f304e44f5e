#pragma once

#include <QObject>
#include <QObjectList>
#include <QPointer>
#include <QString>
#include <QStringList>

class QPluginLoader;

// The workstation's handle on the download-queue module: it loads the plug-in
// and talks to its root object the way the real host does, by property names,
// QMetaObject::invokeMethod and the two configuration signals only.
class ModuleClient : public QObject
{
    Q_OBJECT

public:
    explicit ModuleClient(QObject* parent = nullptr);

    // Candidate plug-in files, in the order they are tried: the explicit path,
    // $DQ_PLUGIN_DIR, the build tree (../plugins next to bin/), an install tree
    // (../plugins/road), the executable's own directory.
    static QStringList candidatePaths(const QString& explicitPath, const QString& appDir,
                                      const QString& envDir);

    // Loads the first candidate that is a plug-in with the module's root object.
    bool load(const QString& explicitPath);
    QString pluginPath() const { return m_path; }
    QString errorString() const { return m_error; }
    QObject* module() const { return m_module; }

    QString moduleVersion() const;
    void setDirectories(const QString& configDir, const QString& journalDir);
    QString configDir() const;
    QString journalDir() const;
    void setActivateWindowOnDownload(bool activate);

    bool loadJournal(QObject* light, int blocks);
    bool loadConfig(QObject* light);
    bool loadConfigFromStorage(QObject* storage, QObject* light,
                               const QString& datetime = QString());
    bool viewJournal(int version, const QString& path);
    bool clear();
    bool clearConfig(const QObjectList& lights);
    bool clearJournal(const QObjectList& lights);
    // Returns what the module had to say while opening: it reports a failure
    // only as a warning message.
    QStringList openConfig(QObject* light);

signals:
    void configurationDownloadComplete(QObject* light, const QString& fileName);
    void configurationDownloadFailed(QObject* light, const QString& message);

private:
    QPointer<QObject> m_module;
    QString m_path;
    QString m_error;
};
