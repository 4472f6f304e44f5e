// dq-workstation: a stand-in for the operator workstation that hosts the
// download-queue module, with simulated controllers of every family.

#include "host/invokestorage.h"
#include "host/jsonrpcclientplugin.h"
#include "host/simulatedfleet.h"
#include "workstation/batchrun.h"
#include "workstation/moduleclient.h"
#include "workstation/workstationwindow.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QDockWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
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

} // namespace

int main(int argc, char* argv[])
{
    // Qt's own "-plugin" option would take "--plugin PATH" for a platform plug-in:
    // take it out of the arguments before Qt sees them.
    QString pluginPath;
    bool pluginGiven = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if ((qstrcmp(argv[i], "--plugin") == 0 || qstrcmp(argv[i], "-plugin") == 0) &&
            i + 1 < argc) {
            pluginPath = QString::fromLocal8Bit(argv[++i]);
            pluginGiven = true;
        } else if (qstrncmp(argv[i], "--plugin=", 9) == 0) {
            pluginPath = QString::fromLocal8Bit(argv[i] + 9);
            pluginGiven = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    const bool batch = [&] {
        for (int i = 1; i < argc; ++i)
            if (qstrcmp(argv[i], "--batch") == 0)
                return true;
        return false;
    }();
    // Without a display the same work runs offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        (batch || (qEnvironmentVariableIsEmpty("DISPLAY") &&
                   qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    defaultHandler = qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("RoadControl"));
    QCoreApplication::setApplicationName(QStringLiteral("dq-workstation"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stand-in operator workstation hosting the download-queue module with simulated "
        "traffic-light controllers."));
    parser.addHelpOption();
    const QCommandLineOption batchOption(QStringLiteral("batch"),
                                         QStringLiteral("Run the downloads headless, check every "
                                                        "file, print a summary and exit."));
    const QCommandLineOption lightsOption(QStringLiteral("lights"),
                                          QStringLiteral("Number of simulated controllers (batch "
                                                         "default 40, window default 18)."),
                                          QStringLiteral("N"));
    const QCommandLineOption dataOption(QStringLiteral("data"),
                                        QStringLiteral("Data directory for configurations, "
                                                       "journals and pictures."),
                                        QStringLiteral("DIR"));
    // Only for --help: the option itself was taken out of the arguments above.
    const QCommandLineOption pluginOption(QStringLiteral("plugin"),
                                          QStringLiteral("The module file or its directory."),
                                          QStringLiteral("PATH"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seed of the simulated data (default 7)."),
                                        QStringLiteral("S"), QStringLiteral("7"));
    const QCommandLineOption noPicturesOption(QStringLiteral("no-pictures"),
                                              QStringLiteral("Batch: save no pictures."));
    const QCommandLineOption problemsOption(QStringLiteral("problems-only"),
                                            QStringLiteral("Batch: the summary lists only the "
                                                           "downloads that ended otherwise than "
                                                           "expected."));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Batch: seconds to wait for all "
                                                          "downloads (default 180)."),
                                           QStringLiteral("S"), QStringLiteral("180"));
    const QCommandLineOption demoOption(QStringLiteral("demo"),
                                        QStringLiteral("Window: queue journals and "
                                                       "configurations of all controllers at "
                                                       "start."));
    const QCommandLineOption docksOption(
        QStringLiteral("arrange-docks"),
        QStringLiteral("Window: after the first downloads, place the queue docks, e.g. "
                       "journal=left,config=top (left, right, top, bottom, float)."),
        QStringLiteral("SPEC"));
    const QCommandLineOption quitOption(QStringLiteral("quit-after"),
                                        QStringLiteral("Window: quit after this many "
                                                       "milliseconds, as Quit does, answering "
                                                       "yes if asked (the layout is saved)."),
                                        QStringLiteral("MS"));
    const QCommandLineOption layoutOption(QStringLiteral("print-layout"),
                                          QStringLiteral("Window: print where the queue docks "
                                                         "are before closing."));
    const QCommandLineOption growOption(QStringLiteral("grow-seconds"),
                                        QStringLiteral("Window: every this many seconds the "
                                                       "controllers' journals grow (default 20, "
                                                       "0: never)."),
                                        QStringLiteral("S"), QStringLiteral("20"));
    const QCommandLineOption screenshotOption(QStringLiteral("screenshot"),
                                              QStringLiteral("Window: save a picture of the "
                                                             "window before closing."),
                                              QStringLiteral("FILE"));
    const QCommandLineOption viewJournalOption(
        QStringLiteral("view-journal"),
        QStringLiteral("Window: at start, show a saved journal file as \"View saved journal\" "
                       "does."),
        QStringLiteral("FILE"));
    const QCommandLineOption selectOption(
        QStringLiteral("select"),
        QStringLiteral("Window: at start, select the controllers with these ids, e.g. 1001,1004."),
        QStringLiteral("IDS"));
    const QCommandLineOption triggerOption(
        QStringLiteral("trigger"),
        QStringLiteral("Window: after the first downloads, trigger these actions one after "
                       "another, by object name, e.g. actionOpenConfig,actionShowJournalQueue."),
        QStringLiteral("ACTIONS"));
    const QCommandLineOption printLogOption(QStringLiteral("print-log"),
                                            QStringLiteral("Window: print the log pane before "
                                                           "closing."));
    parser.addOptions({batchOption, lightsOption, dataOption, pluginOption, seedOption,
                       noPicturesOption, problemsOption, timeoutOption, demoOption, docksOption,
                       quitOption, layoutOption, growOption, screenshotOption, viewJournalOption,
                       selectOption, triggerOption, printLogOption});
    parser.process(app);

    QTextStream err(stderr);
    const int lights = qBound(1, parser.value(lightsOption).toInt(), 2000);
    const int count = parser.isSet(lightsOption) ? lights : (batch ? 40 : 18);
    const quint32 seed = parser.value(seedOption).toUInt();
    QString dataDir = parser.value(dataOption);
    if (dataDir.isEmpty())
        dataDir = batch ? QDir::current().absoluteFilePath(QStringLiteral("workstation-batch"))
                        : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    dataDir = QDir(dataDir).absolutePath();

    ModuleClient module;
    if (pluginGiven && pluginPath.isEmpty()) {
        err << "--plugin needs a path\n";
        return 2;
    }
    if (!module.load(pluginPath)) {
        err << module.errorString() << '\n';
        return 2;
    }

    SimulatedFleet fleet(count, seed);
    JsonRpcClientPlugin rpcStorage;
    InvokeStorage invokeStorage;
    fillStorages(fleet, &rpcStorage, &invokeStorage);

    WorkstationWindow window(&module, &fleet);
    window.setStorages(&rpcStorage, &invokeStorage);

    if (batch) {
        window.resize(1400, 900);
        window.show();
        BatchRun::Options options;
        options.dataDir = dataDir;
        options.pictures = !parser.isSet(noPicturesOption);
        options.problemsOnly = parser.isSet(problemsOption);
        options.timeoutSeconds = qMax(5, parser.value(timeoutOption).toInt());
        BatchRun run(&module, &window, &fleet, &rpcStorage, &invokeStorage, options);
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

    const QString configDir = QDir(dataDir).absoluteFilePath(QStringLiteral("configs"));
    const QString journalDir = QDir(dataDir).absoluteFilePath(QStringLiteral("journals"));
    QDir().mkpath(configDir);
    QDir().mkpath(journalDir);
    module.setDirectories(configDir, journalDir);
    window.adoptSavedConfigurations();
    window.restoreLayout();
    window.setJournalGrowth(parser.value(growOption).toInt());
    window.show();
    window.log(QStringLiteral("Data directory %1").arg(dataDir));

    if (parser.isSet(demoOption)) {
        QTimer::singleShot(200, &window, [&] {
            QList<int> all;
            for (int i = 0; i < fleet.size(); ++i)
                all << i;
            window.selectControllers(all);
            QMetaObject::invokeMethod(&window, "on_actionJournalAll_triggered");
            QMetaObject::invokeMethod(&window, "on_actionConfig_triggered");
            if (parser.isSet(docksOption))
                arrangeDocks(&window, parser.value(docksOption));
        });
    } else if (parser.isSet(docksOption)) {
        QTimer::singleShot(200, &window, [&] { arrangeDocks(&window, parser.value(docksOption)); });
    }
    if (parser.isSet(selectOption)) {
        QList<int> rows;
        const QStringList ids = parser.value(selectOption).split(QLatin1Char(','));
        for (int row = 0; row < fleet.size(); ++row)
            if (ids.contains(QString::number(fleet.controller(row)->id())))
                rows << row;
        window.selectControllers(rows);
    }
    if (parser.isSet(viewJournalOption))
        QTimer::singleShot(100, &window,
                           [&] { window.viewJournalFile(parser.value(viewJournalOption)); });
    if (parser.isSet(triggerOption)) {
        // One action every 300 ms, from after the demo's downloads are queued.
        const QStringList names = parser.value(triggerOption).split(QLatin1Char(','));
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
    // A scripted quit answers the question about running downloads with yes,
    // and says that it was asked.
    QTimer answerer;
    answerer.setInterval(50);
    QObject::connect(&answerer, &QTimer::timeout, &window, [&window] {
        auto* question = window.findChild<QMessageBox*>(QStringLiteral("quitQuestion"));
        if (!question || !question->isVisible())
            return;
        QTextStream(stdout) << "asked: " << question->text() << '\n';
        question->button(QMessageBox::Yes)->click();
    });
    if (parser.isSet(quitOption)) {
        QTimer::singleShot(parser.value(quitOption).toInt(), &window, [&] {
            QTextStream report(stdout);
            if (parser.isSet(layoutOption))
                report << "platform " << QGuiApplication::platformName() << '\n'
                       << window.layoutReport() << '\n';
            if (parser.isSet(printLogOption))
                report << window.logText() << '\n';
            report.flush();
            if (parser.isSet(screenshotOption))
                window.grab().save(parser.value(screenshotOption));
            answerer.start();
            window.findChild<QAction*>(QStringLiteral("actionQuit"))->trigger();
        });
    }
    return app.exec();
}
