// dq-workstation: a stand-in for the operator workstation that hosts the
// download-queue module, with simulated controllers of every family.

#include "fleet/controllerlist.h"
#include "host/hostlight.h"
#include "host/invokestorage.h"
#include "host/jsonrpcclientplugin.h"
#include "host/simulatedfleet.h"
#include "workstation/batchrun.h"
#include "workstation/moduleclient.h"
#include "workstation/workstationoptions.h"
#include "workstation/workstationwindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform and an unset runtime directory warn about things that
// do not matter to the workstation; everything else goes through.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && (message.contains(QLatin1String("propagateSizeHints")) ||
                                 message.contains(QLatin1String("XDG_RUNTIME_DIR"))))
        return;
    defaultHandler(type, context, message);
}

// Puts the queue docks where a layout spec such as "journal=left,config=top" says.
void arrangeDocks(WorkstationWindow* w, const QString& spec)
{
    const QMap<QString, Qt::DockWidgetArea> areas = {
        {QStringLiteral("left"), Qt::LeftDockWidgetArea},
        {QStringLiteral("right"), Qt::RightDockWidgetArea},
        {QStringLiteral("top"), Qt::TopDockWidgetArea},
        {QStringLiteral("bottom"), Qt::BottomDockWidgetArea}};
    for (const QString& part : spec.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString key = part.section(QLatin1Char('='), 0, 0);
        const QString where = part.section(QLatin1Char('='), 1);
        QDockWidget* dock = key == QLatin1String("journal") ? w->journalDock() : w->configDock();
        if (!dock)
            continue;
        if (where == QLatin1String("float")) {
            dock->setFloating(true);
            dock->move(w->geometry().topLeft() + QPoint(80, 80));
        } else if (areas.contains(where)) {
            dock->setFloating(false);
            w->addDockWidget(areas.value(where), dock);
        }
        dock->show();
    }
}

void fillStorages(const SimulatedFleet& fleet, JsonRpcClientPlugin* rpc, InvokeStorage* invoke)
{
    for (const auto& e : fleet.storageEntries()) {
        const QString id = QString::number(e.id);
        if (!e.current.isEmpty()) {
            rpc->setConfig(id, e.current);
            invoke->setConfig(id, e.current);
        }
        if (!e.archived.isEmpty())
            rpc->setArchivedConfig(id, SimulatedFleet::archiveMoment(), e.archived);
    }
}

// Qt's own "-plugin" option would take "--plugin PATH" for a platform
// plug-in: the module's path is taken out of the arguments before Qt sees them.
struct PluginOption
{
    QString path;
    bool given = false;
};

PluginOption takePluginOption(int& argc, char* argv[])
{
    PluginOption option;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if ((qstrcmp(argv[i], "--plugin") == 0 || qstrcmp(argv[i], "-plugin") == 0) &&
            i + 1 < argc) {
            option.path = QString::fromLocal8Bit(argv[++i]);
            option.given = true;
        } else if (qstrncmp(argv[i], "--plugin=", 9) == 0) {
            option.path = QString::fromLocal8Bit(argv[i] + 9);
            option.given = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    return option;
}

bool batchAsked(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--batch") == 0)
            return true;
    return false;
}

// Each data directory keeps its own settings (the window's layout, the sizes
// of the viewers): a batch's pictures never take over the operator's
// viewers, nor one directory's session another's layout.
void useSettingsIn(const QString& dataDir)
{
    const QString settingsDir = QDir(dataDir).absoluteFilePath(QStringLiteral("settings"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir);
}

int runBatch(QApplication& app, ModuleClient& module, WorkstationWindow& window,
             SimulatedFleet& fleet, JsonRpcClientPlugin& rpcStorage, InvokeStorage& invokeStorage,
             const WorkstationOptions& options)
{
    window.resize(1400, 900);
    window.show();
    BatchRun::Options batchOptions;
    batchOptions.dataDir = options.dataDir();
    batchOptions.pictures = !options.isSet(QStringLiteral("no-pictures"));
    batchOptions.problemsOnly = options.isSet(QStringLiteral("problems-only"));
    batchOptions.timeoutSeconds = options.timeoutSeconds();
    BatchRun run(&module, &window, &fleet, &rpcStorage, &invokeStorage, batchOptions);
    int exitCode = 1;
    QObject::connect(&run, &BatchRun::finished, &app, [&](int code) {
        exitCode = code;
        app.quit();
    });
    QTimer::singleShot(0, &run, &BatchRun::start);
    app.exec();
    window.hide();
    return exitCode;
}

// What the options script in the window: the demo's downloads, the docks'
// places, a selection, a journal to view, actions to trigger.
void scriptWindow(WorkstationWindow& window, const SimulatedFleet& fleet,
                  const WorkstationOptions& options, QTextStream& err)
{
    const QString docks = options.value(QStringLiteral("arrange-docks"));
    const bool arrange = options.isSet(QStringLiteral("arrange-docks"));
    if (options.isSet(QStringLiteral("demo"))) {
        QTimer::singleShot(200, &window, [&window, &fleet, docks, arrange] {
            QList<int> all;
            for (int i = 0; i < fleet.size(); ++i)
                all << i;
            window.selectControllers(all);
            QMetaObject::invokeMethod(&window, "on_actionJournalAll_triggered");
            QMetaObject::invokeMethod(&window, "on_actionConfig_triggered");
            if (arrange)
                arrangeDocks(&window, docks);
        });
    } else if (arrange) {
        QTimer::singleShot(200, &window, [&window, docks] { arrangeDocks(&window, docks); });
    }
    if (options.isSet(QStringLiteral("select"))) {
        QList<int> rows;
        const QStringList ids = options.value(QStringLiteral("select")).split(QLatin1Char(','));
        for (int row = 0; row < fleet.size(); ++row)
            if (ids.contains(QString::number(fleet.controller(row)->id())))
                rows << row;
        window.selectControllers(rows);
    }
    if (options.isSet(QStringLiteral("view-journal"))) {
        const QString path = options.value(QStringLiteral("view-journal"));
        QTimer::singleShot(100, &window, [&window, path] { window.viewJournalFile(path); });
    }
    if (options.isSet(QStringLiteral("trigger"))) {
        // One action every 300 ms, from after the demo's downloads are queued.
        const QStringList names = options.value(QStringLiteral("trigger")).split(QLatin1Char(','));
        for (int i = 0; i < names.size(); ++i) {
            const QString name = names.at(i);
            QTimer::singleShot(500 + 300 * i, &window, [&window, &err, name] {
                if (auto* action = window.findChild<QAction*>(name))
                    action->trigger();
                else
                    err << "no action " << name << '\n' << Qt::flush;
            });
        }
    }
}

// --quit-after: reports what was asked for, then quits as the operator would;
// the question about running downloads is answered with yes, and said.
void scriptQuit(WorkstationWindow& window, const WorkstationOptions& options, QTimer& answerer)
{
    answerer.setInterval(50);
    QObject::connect(&answerer, &QTimer::timeout, &window, [&window] {
        for (const char* name : {"quitQuestion", "clearQuestion"}) {
            auto* question = window.findChild<QMessageBox*>(QLatin1String(name));
            if (!question || !question->isVisible())
                continue;
            QTextStream(stdout) << "asked: " << question->text() << '\n';
            question->button(QMessageBox::Yes)->click();
        }
    });
    if (!options.isSet(QStringLiteral("quit-after")))
        return;
    answerer.start();
    QTimer::singleShot(options.quitAfterMs(), &window, [&window, &options, &answerer] {
        QTextStream report(stdout);
        if (options.isSet(QStringLiteral("print-layout")))
            report << "platform " << QGuiApplication::platformName() << '\n'
                   << window.layoutReport() << '\n';
        if (options.isSet(QStringLiteral("print-log")))
            report << window.logText() << '\n';
        report.flush();
        if (options.isSet(QStringLiteral("screenshot")))
            window.grab().save(options.value(QStringLiteral("screenshot")));
        answerer.start();
        window.findChild<QAction*>(QStringLiteral("actionQuit"))->trigger();
    });
}

// The controllers' ids and types, as a host keeps them, next to the journals:
// what dq-journal --controllers reads.
void writeControllerList(const SimulatedFleet& fleet, const QString& dataDir, QTextStream& err)
{
    ControllerList::Entries controllers;
    for (const SimulatedController* c : fleet.controllers())
        controllers.append({c->id(), c->light()->type()});
    QString error;
    if (!ControllerList::write(QDir(dataDir).absoluteFilePath(QStringLiteral("controllers.txt")),
                               controllers, &error))
        err << "dq-workstation: controller list not written: " << error << '\n' << Qt::flush;
}

} // namespace

int main(int argc, char* argv[])
{
    const PluginOption plugin = takePluginOption(argc, argv);
    // Without a display the same work runs offscreen.
    const bool batch = batchAsked(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        (batch || (qEnvironmentVariableIsEmpty("DISPLAY") &&
                   qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    defaultHandler = qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("RoadControl"));
    QCoreApplication::setApplicationName(QStringLiteral("dq-workstation"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QTextStream err(stderr);
    WorkstationOptions options;
    if (!options.process(app)) {
        err << "dq-workstation: " << options.errorText() << '\n';
        return 2;
    }
    ModuleClient module;
    if (plugin.given && plugin.path.isEmpty()) {
        err << "--plugin needs a path\n";
        return 2;
    }
    if (!module.load(plugin.path)) {
        err << module.errorString() << '\n';
        return 2;
    }

    useSettingsIn(options.dataDir());
    SimulatedFleet fleet(options.lights(), options.seed());
    JsonRpcClientPlugin rpcStorage;
    InvokeStorage invokeStorage;
    fillStorages(fleet, &rpcStorage, &invokeStorage);
    writeControllerList(fleet, options.dataDir(), err);
    WorkstationWindow window(&module, &fleet);
    window.setStorages(&rpcStorage, &invokeStorage);
    if (batch)
        return runBatch(app, module, window, fleet, rpcStorage, invokeStorage, options);

    module.setDirectories(WorkstationOptions::configDirIn(options.dataDir()),
                          WorkstationOptions::journalDirIn(options.dataDir()));
    window.adoptSavedConfigurations();
    window.restoreLayout();
    window.setJournalGrowth(options.growSeconds());
    window.show();
    window.log(QStringLiteral("Data directory %1").arg(options.dataDir()));
    scriptWindow(window, fleet, options, err);
    QTimer answerer;
    scriptQuit(window, options, answerer);
    return app.exec();
}
