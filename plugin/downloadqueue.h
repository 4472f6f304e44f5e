#pragma once

#include <QDir>
#include <QObject>
#include <QObjectList>
#include <QPointer>

class QMainWindow;
class QueueWindow;

// The module's root object. The host reaches it only through the meta-object
// system, so the order of its members below fixes their method indices: keep it.
class DownloadQueue : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "ru.norvel.road.DownloadQueue")
    Q_PROPERTY(QString moduleVersion READ moduleVersion)
    Q_PROPERTY(QString configDir READ configDirPath WRITE setConfigDir)
    Q_PROPERTY(QString journalDir READ journalDirPath WRITE setJournalDir)
    Q_PROPERTY(bool activateWindowOnDownload READ activateWindowOnDownload WRITE
                   setActivateWindowOnDownload)

public:
    explicit DownloadQueue(QObject* parent = nullptr);
    ~DownloadQueue() override;

    QString moduleVersion() const;
    QString configDirPath() const;
    void setConfigDir(const QString& path);
    QString journalDirPath() const;
    void setJournalDir(const QString& path);
    bool activateWindowOnDownload() const { return activateWindows; }
    void setActivateWindowOnDownload(bool activate) { activateWindows = activate; }

signals:
    void configurationDownloadComplete(QObject* light, QString cnf_file_name);
    void configurationDownloadFailed(QObject* light, QString msg);

private slots:
    void windowDestroyed();
    void openConfig(QObject* light);

public:
    Q_INVOKABLE void loadConfig(QObject* light);
    Q_INVOKABLE void loadConfigFromStorage(QObject* cnfStorage, QObject* light,
                                           QString datetime = QString(), int max_errors = -1);
    Q_INVOKABLE void loadJournal(QObject* light, int blocks);
    Q_INVOKABLE void viewJournal(int version, QString& bin_path);
    Q_INVOKABLE void clear();
    Q_INVOKABLE void clearConfig(QObjectList obj_list);
    Q_INVOKABLE void clearJournal(QObjectList obj_list);

private:
    // The queue, made when there is none, with its save directory set.
    QueueWindow* getWindow(bool journal);
    static QMainWindow* findMainWindow();

    QueueWindow* configWindow = nullptr;  // not owned: its dock or the host owns it
    QueueWindow* journalWindow = nullptr; // not owned
    QDir configDir{QString()};
    QDir journalDir{QString()};
    bool activateWindows = true; // the property activateWindowOnDownload
    QPointer<QWidget> raising;   // a dock whose raise is on its way
};
