#pragma once

#include "workstation/operatorlog.h"

#include <QMainWindow>
#include <QPointer>
#include <QSet>

#include <memory>

class ModuleClient;
class QComboBox;
class QDockWidget;
class QTimer;
class SimulatedController;
class SimulatedFleet;

namespace Ui {
class WorkstationWindow;
}

// The stand-in workstation: a list of simulated controllers, the actions an
// operator has on them, and a log of what the module reports. The module's
// queue docks live in this main window, where it finds them itself.
class WorkstationWindow : public QMainWindow
{
    Q_OBJECT

public:
    WorkstationWindow(ModuleClient* module, SimulatedFleet* fleet, QWidget* parent = nullptr);
    ~WorkstationWindow() override;

    // The two storage stand-ins; either may be null.
    void setStorages(QObject* rpcStorage, QObject* invokeStorage);

    // Brings back the window layout of the last session, including the queue
    // docks that were open then.
    void restoreLayout();
    void saveLayout();

    // Docks the module created and could not place from the saved layout are
    // put into a dock area and shown: the module never shows them itself.
    void placeNewDocks();
    QDockWidget* journalDock() const;
    QDockWidget* configDock() const;

    void log(const QString& text);
    QString logText() const;
    QList<SimulatedController*> selectedControllers() const;
    void selectControllers(const QList<int>& rows);
    QString layoutReport() const;
    // Working controllers write events: every interval each journal grows a little,
    // so "only new" has something to fetch. 0 stops it.
    void setJournalGrowth(int seconds);

    // Configurations saved in an earlier session become the controllers'
    // "dqueue_config" again, so that opening one finds the file that was saved.
    void adoptSavedConfigurations();
    // Shows a saved journal in the format of the controller that wrote it (the
    // file name holds its id); asks only for a file of no known controller.
    void viewJournalFile(const QString& path);
    // Downloads queued from this window whose end has not been seen.
    int runningDownloads() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void on_actionJournalAll_triggered();
    void on_actionJournalBlocks_triggered();
    void on_actionJournalNew_triggered();
    void on_actionViewJournal_triggered();
    void on_actionConfig_triggered();
    void on_actionStorageCurrent_triggered();
    void on_actionStorageArchive_triggered();
    void on_actionOpenConfig_triggered();
    void on_actionClearSelected_triggered();
    void on_actionClearQueues_triggered();
    void on_actionToggleLink_triggered();
    void on_actionSelectAll_triggered();
    void on_actionVerboseLog_toggled(bool on);
    void on_actionQuit_triggered();
    void on_actionShowJournalQueue_triggered(bool checked);
    void on_actionShowConfigQueue_triggered(bool checked);
    void updateViewMenu();
    void onConfigComplete(QObject* light, const QString& fileName);
    void onConfigFailed(QObject* light, const QString& message);
    void onTransferEnded(const QString& command);
    void updateLinks();
    void growJournals();

private:
    void fillTable();
    // Sizes and places the window within the screen's available geometry.
    void fitToScreen();
    void logLines(const QStringList& lines);
    // The selected controllers; none: tells the operator to select some first.
    QList<SimulatedController*> chosenControllers();
    static QList<int> idsOf(const QList<SimulatedController*>& controllers);
    int rowOf(QObject* light) const;
    void queueJournals(int blocks);
    void fromStorage(const QString& datetime);
    QObjectList selectedLights() const;
    SimulatedController* controllerOfFile(const QString& path) const;
    void showQueue(bool journal, bool shown);

    std::unique_ptr<Ui::WorkstationWindow> ui;
    ModuleClient* m_module;
    SimulatedFleet* m_fleet;
    QPointer<QObject> m_rpcStorage;
    QPointer<QObject> m_invokeStorage;
    QComboBox* m_storageChoice;
    QObject* m_placeholder; // a light without an id: makes a queue appear, queues nothing
    QList<QPointer<QDockWidget>> m_placedDocks;
    QTimer* m_growth;
    int m_growthRound = 0;
    QSet<QObject*> m_runningJournals;
    QSet<QObject*> m_runningConfigs;
    OperatorLog m_log;
};
