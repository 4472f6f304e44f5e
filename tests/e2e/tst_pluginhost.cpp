// Drives the built plug-in the way the host does: QPluginLoader, properties,
// invokeMethod and signals only. Nothing of the module is linked in.
#include "host/controllerdata.h"
#include "host/hostlight.h"
#include "host/response.h"
#include "savedlayout.h"

#include <QDockWidget>
#include <QLibrary>
#include <QMainWindow>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPluginLoader>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace {

QString pluginPath()
{
    return qEnvironmentVariable("DQ_MODULE");
}

QWidget* findTopLevel(const QString& title)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == title && w->inherits("QueueWindow"))
            return w;
    return nullptr;
}

// Counts raise() calls on a widget.
struct ZOrderCounter : QObject
{
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::ZOrderChange)
            ++count;
        return false;
    }
};

} // namespace

class TestPluginHost : public QObject
{
    Q_OBJECT

private:
    QPluginLoader loader;
    QPointer<QObject> dq;
    QTemporaryDir settingsDir;

    QObject* module()
    {
        if (!dq)
            dq = loader.instance();
        return dq;
    }
    // A fresh plug-in object with no windows, as after a host restart.
    QObject* freshModule()
    {
        delete dq.data();
        return module();
    }

private slots:
    void initTestCase()
    {
        // The viewers opened here keep their layout in this directory, not the user's settings.
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        loader.setFileName(pluginPath());
        QVERIFY2(loader.load(), qPrintable(loader.errorString()));
        const QJsonObject meta = loader.metaData();
        QCOMPARE(meta.value("IID").toString(), QStringLiteral("ru.norvel.road.DownloadQueue"));
        QCOMPARE(meta.value("className").toString(), QStringLiteral("DownloadQueue"));
        QVERIFY(meta.value("MetaData").toObject().isEmpty());
    }

    void cleanup()
    {
        // Close every window the module made so tests don't see each other's.
        const auto widgets = QApplication::topLevelWidgets();
        for (QWidget* w : widgets)
            delete w;
        freshModule();
    }

    void defaults()
    {
        QObject* m = module();
        QVERIFY(m);
        QCOMPARE(m->metaObject()->className(), "DownloadQueue");
        QCOMPARE(m->property("moduleVersion").toString(), QStringLiteral("2.3.41"));
        QCOMPARE(m->property("configDir").toString(), QDir::current().absolutePath());
        QCOMPARE(m->property("journalDir").toString(), QDir::current().absolutePath());
        QCOMPARE(m->property("activateWindowOnDownload").toBool(), true);
        QVERIFY(!m->setProperty("moduleVersion", "9"));
    }

    void directoriesReadBackAbsolute_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("path");     // as the host sets it
        QTest::addColumn<QString>("readBack"); // "@" stands for the current directory
        const QString named = QStringLiteral("Журналы ТСО");
        for (const char* property : {"configDir", "journalDir"}) {
            const QByteArray tag(property);
            QTest::newRow((tag + " relative").constData()) << property << "some/rel"
                                                           << "@/some/rel";
#ifdef Q_OS_WIN
            // As a Windows host writes them: a drive, backslashes, a trailing separator.
            QTest::newRow((tag + " drive").constData()) << property << "C:\\" + named + "\\"
                                                        << "C:/" + named;
            QTest::newRow((tag + " backslashes").constData()) << property << "some\\rel\\"
                                                              << "@/some/rel";
#else
            QTest::newRow((tag + " absolute").constData()) << property << "/srv/" + named + "/"
                                                           << "/srv/" + named;
#endif
        }
    }
    void directoriesReadBackAbsolute()
    {
        QFETCH(QString, property);
        QFETCH(QString, path);
        QFETCH(QString, readBack);
        QObject* m = module();
        QVERIFY(m->setProperty(qPrintable(property), path));
        QCOMPARE(m->property(qPrintable(property)).toString(),
                 readBack.replace(QLatin1Char('@'), QDir::currentPath()));
        QVERIFY(QApplication::topLevelWidgets().isEmpty()); // no window made
    }

    void directoryAppliesToLaterRequests()
    {
        QTemporaryDir first, second;
        QObject* m = module();
        m->setProperty("configDir", first.path());
        HostLight light(7, "swarco");
        QVERIFY(QMetaObject::invokeMethod(m, "loadConfig", Q_ARG(QObject*, &light)));
        QCOMPARE(light.commandCount(), 1);
        // The directory changes while the download runs: the download is saved
        // where it was asked for, the next request in the new directory.
        m->setProperty("configDir", second.path());
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);
        QSignalSpy complete(m, SIGNAL(configurationDownloadComplete(QObject*, QString)));
        QVERIFY(light.finishNext({0, 0, QByteArray("#TxtCfg v1")}));
        QTRY_COMPARE(light.commandCount(), 2);
        QVERIFY(light.finishNext({0, 10, QByteArray("a=1\r\nEND.")}));
        QTRY_COMPARE(complete.size(), 1);
        const QString path = QDir(first.path()).absoluteFilePath("dat00007.cnf");
        QCOMPARE(complete.at(0).at(1).toString(), path);
        QCOMPARE(light.property("dqueue_config").toString(), path);
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("a=1\r\nEND."));
        QVERIFY(!QFile::exists(QDir(second.path()).absoluteFilePath("dat00007.cnf")));
        QVERIFY(QMetaObject::invokeMethod(m, "loadConfig", Q_ARG(QObject*, &light)));
        QVERIFY(light.finishNext({0, 0, QByteArray("#TxtCfg v1")}));
        QTRY_COMPARE(light.commandCount(), 4);
        QVERIFY(light.finishNext({0, 10, QByteArray("a=1\r\nEND.")}));
        QTRY_COMPARE(complete.size(), 2);
        QCOMPARE(complete.at(1).at(1).toString(),
                 QDir(second.path()).absoluteFilePath("dat00007.cnf"));
    }

    void metaObjectMembers()
    {
        // The same in every build, Qt 5 or 6, 32 or 64 bits: the host finds members by index.
        const QMetaObject* mo = module()->metaObject();
        QCOMPARE(mo->className(), "DownloadQueue");
        QCOMPARE(mo->superClass(), &QObject::staticMetaObject);
        struct Expected
        {
            QMetaMethod::MethodType type;
            QMetaMethod::Access access;
            const char* signature;
            QList<QByteArray> names;
        } const expected[] = {
            {QMetaMethod::Signal,
             QMetaMethod::Public,
             "configurationDownloadComplete(QObject*,QString)",
             {"light", "cnf_file_name"}},
            {QMetaMethod::Signal,
             QMetaMethod::Public,
             "configurationDownloadFailed(QObject*,QString)",
             {"light", "msg"}},
            {QMetaMethod::Slot, QMetaMethod::Private, "windowDestroyed()", {}},
            {QMetaMethod::Slot, QMetaMethod::Private, "openConfig(QObject*)", {"light"}},
            {QMetaMethod::Method, QMetaMethod::Public, "loadConfig(QObject*)", {"light"}},
            {QMetaMethod::Method,
             QMetaMethod::Public,
             "loadConfigFromStorage(QObject*,QObject*,QString,int)",
             {"cnfStorage", "light", "datetime", "max_errors"}},
            {QMetaMethod::Method,
             QMetaMethod::Public,
             "loadConfigFromStorage(QObject*,QObject*,QString)",
             {"cnfStorage", "light", "datetime"}},
            {QMetaMethod::Method,
             QMetaMethod::Public,
             "loadConfigFromStorage(QObject*,QObject*)",
             {"cnfStorage", "light"}},
            {QMetaMethod::Method,
             QMetaMethod::Public,
             "loadJournal(QObject*,int)",
             {"light", "blocks"}},
            {QMetaMethod::Method,
             QMetaMethod::Public,
             "viewJournal(int,QString&)",
             {"version", "bin_path"}},
            {QMetaMethod::Method, QMetaMethod::Public, "clear()", {}},
            {QMetaMethod::Method, QMetaMethod::Public, "clearConfig(QObjectList)", {"obj_list"}},
            {QMetaMethod::Method, QMetaMethod::Public, "clearJournal(QObjectList)", {"obj_list"}},
        };
        const int count = int(sizeof expected / sizeof expected[0]);
        QCOMPARE(mo->methodCount() - mo->methodOffset(), count);
        for (int i = 0; i < count; ++i) {
            const QMetaMethod m = mo->method(mo->methodOffset() + i);
            QCOMPARE(m.methodSignature(), QByteArray(expected[i].signature));
            QCOMPARE(m.methodType(), expected[i].type);
            QCOMPARE(m.access(), expected[i].access);
            QCOMPARE(m.parameterNames(), expected[i].names);
            QCOMPARE(m.typeName(), "void");
        }
        QCOMPARE(mo->propertyCount() - mo->propertyOffset(), 4);
        const char* props[][2] = {{"QString", "moduleVersion"},
                                  {"QString", "configDir"},
                                  {"QString", "journalDir"},
                                  {"bool", "activateWindowOnDownload"}};
        for (int i = 0; i < 4; ++i) {
            const QMetaProperty p = mo->property(mo->propertyOffset() + i);
            QCOMPARE(p.typeName(), props[i][0]);
            QCOMPARE(p.name(), props[i][1]);
            QVERIFY(p.isDesignable() && p.isScriptable() && p.isStored());
            QVERIFY(!p.hasNotifySignal() && !p.isResettable() && !p.isConstant());
            QCOMPARE(p.isWritable(), i != 0);
        }
        // A cast to any interface fails: the object implements none.
        QVERIFY(!module()->qt_metacast("QObjectInterface"));
        QVERIFY(module()->qt_metacast("DownloadQueue"));
    }

    void instanceFunctionKeepsOneObject()
    {
        QLibrary lib(pluginPath());
        using Instance = QObject* (*)();
        auto instance = reinterpret_cast<Instance>(lib.resolve("qt_plugin_instance"));
        QVERIFY(instance);
        QObject* first = instance();
        QCOMPARE(instance(), first);
        first->setProperty("activateWindowOnDownload", false);
        QPointer<QObject> guard(first);
        delete first;
        QVERIFY(guard.isNull());
        QObject* second = instance();
        QVERIFY(second);
        QCOMPARE(second->property("activateWindowOnDownload").toBool(), true);
        QCOMPARE(instance(), second);
    }

    void requestsWithoutWindowsCreateNone()
    {
        QObject* m = module();
        QTest::ignoreMessage(QtWarningMsg, "null light");
        QVERIFY(QMetaObject::invokeMethod(m, "loadConfig", Q_ARG(QObject*, nullptr)));
        QVERIFY(QMetaObject::invokeMethod(m, "clear"));
        QVERIFY(QMetaObject::invokeMethod(m, "clearConfig", Q_ARG(QObjectList, QObjectList())));
        HostLight light(5, "x");
        QVERIFY(
            QMetaObject::invokeMethod(m, "clearJournal", Q_ARG(QObjectList, QObjectList{&light})));
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void topLevelWindowWithoutMainWindow()
    {
        QObject* m = module();
        HostLight light(3, "swarco");
        light.setConnected(false);
        QVERIFY(
            QMetaObject::invokeMethod(m, "loadJournal", Q_ARG(QObject*, &light), Q_ARG(int, 25)));
        QWidget* window = findTopLevel("Journals queue");
        QVERIFY(window);
        QVERIFY(!window->parentWidget());
        QVERIFY(!window->isVisible()); // the module never shows it itself
        QCOMPARE(window->objectName(), QStringLiteral("QueueWindow"));
        QCOMPARE(window->size(), QSize(660, 328));
        // A second request makes nothing new.
        QVERIFY(
            QMetaObject::invokeMethod(m, "loadJournal", Q_ARG(QObject*, nullptr), Q_ARG(int, 1)));
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);
    }

    void windowForm_data()
    {
        QTest::addColumn<bool>("journal");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("dockName");
        QTest::addColumn<QString>("firstAction");
        QTest::newRow("journal") << true << "Journals queue"
                                 << "journalQueueDoc"
                                 << "View";
        QTest::newRow("config") << false << "Configurations queue"
                                << "configQueueDoc"
                                << "Run editor";
    }
    void windowForm()
    {
        QFETCH(bool, journal);
        QFETCH(QString, title);
        QFETCH(QString, dockName);
        QFETCH(QString, firstAction);
        QMainWindow mw;
        HostLight light(8, "swarco");
        light.setConnected(false);
        if (journal)
            QMetaObject::invokeMethod(module(), "loadJournal", Q_ARG(QObject*, &light),
                                      Q_ARG(int, -1));
        else
            QMetaObject::invokeMethod(module(), "loadConfig", Q_ARG(QObject*, &light));
        auto* dock = mw.findChild<QDockWidget*>(dockName);
        QVERIFY(dock);
        QCOMPARE(dock->windowTitle(), title);
        QVERIFY(dock->testAttribute(Qt::WA_DeleteOnClose));
        QWidget* window = dock->widget();
        QVERIFY(window && window->inherits("QueueWindow"));
        QCOMPARE(window->windowTitle(), title);
        QVERIFY(!window->findChild<QMenuBar*>() && !window->findChild<QToolBar*>());
        auto* table = window->findChild<QTableWidget*>("queueTable");
        QVERIFY(table);
        QCOMPARE(table->columnCount(), 6);
        QStringList headers;
        for (int c = 0; c < 6; ++c)
            headers << table->horizontalHeaderItem(c)->text();
        QCOMPARE(headers, (QStringList{"Object", "Type", "State", "Loaded", "Errors", "Status"}));
        QCOMPARE(table->contextMenuPolicy(), Qt::ActionsContextMenu);
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(table->isSortingEnabled());
        // With nothing selected, only the whole queue can be acted on.
        QStringList actions, enabled;
        for (QAction* a : table->actions()) {
            actions << a->text();
            if (a->isEnabled())
                enabled << a->text();
            QCOMPARE(a->parent(), table);
        }
        QCOMPARE(actions, (QStringList{firstAction, "Clear queue", "Stop downloading", "Resume",
                                       "Retry", "Remove"}));
        QCOMPARE(enabled, QStringList{"Clear queue"});
    }

    void dockRestoredFromSavedLayout_data()
    {
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<bool>("activate");
        QTest::newRow("shown") << false << true;
        // As saved after the operator closed the dock.
        QTest::newRow("hidden") << true << true;
        // Shown all the same: only raising depends on the property.
        QTest::newRow("hidden, no activation") << true << false;
    }
    void dockRestoredFromSavedLayout()
    {
        QFETCH(bool, hidden);
        QFETCH(bool, activate);
        QMainWindow mw;
        QVERIFY(showWithSavedLayout(mw, "configQueueDoc", Qt::RightDockWidgetArea, hidden));
        module()->setProperty("activateWindowOnDownload", activate);
        HostLight light(9, "swarco");
        light.setConnected(false);
        // Two requests: the second, with the dock there already, must not hide it either.
        for (int request = 0; request < 2; ++request) {
            QMetaObject::invokeMethod(module(), "loadConfig", Q_ARG(QObject*, &light));
            auto* dock = mw.findChild<QDockWidget*>("configQueueDoc");
            QVERIFY(dock);
            QVERIFY(!dock->isFloating());
            QCOMPARE(mw.dockWidgetArea(dock), Qt::RightDockWidgetArea);
            QVERIFY(dock->isVisible());
            if (request == 0)
                dock->hide(); // as the main window's dock menu does
        }
    }

    void dockFloatsInTheMiddleWithoutSavedLayout()
    {
        QMainWindow mw;
        mw.resize(1001, 700);
        HostLight light(9, "swarco");
        light.setConnected(false);
        QMetaObject::invokeMethod(module(), "loadConfig", Q_ARG(QObject*, &light));
        auto* dock = mw.findChild<QDockWidget*>("configQueueDoc");
        QVERIFY(dock);
        QVERIFY(dock->isFloating());
        QCOMPARE(dock->pos(),
                 QPoint((mw.width() - dock->width()) / 2, (mw.height() - dock->height()) / 2));
    }

    void firstMainWindowGetsTheDocks()
    {
        QWidget plain;
        QMainWindow first, second;
        const auto tops = QApplication::topLevelWidgets();
        QMainWindow* expected = nullptr;
        for (QWidget* w : tops)
            if ((expected = qobject_cast<QMainWindow*>(w)))
                break;
        HostLight light(4, "swarco");
        light.setConnected(false);
        QMetaObject::invokeMethod(module(), "loadJournal", Q_ARG(QObject*, &light), Q_ARG(int, 2));
        QVERIFY(expected->findChild<QDockWidget*>("journalQueueDoc"));
        QMainWindow* other = expected == &first ? &second : &first;
        QVERIFY(!other->findChild<QDockWidget*>("journalQueueDoc"));
    }

    void activationRaisesDockOnlyWhenAsked_data()
    {
        QTest::addColumn<bool>("activate");
        QTest::newRow("on") << true;
        QTest::newRow("off") << false;
    }
    void activationRaisesDockOnlyWhenAsked()
    {
        QFETCH(bool, activate);
        QMainWindow mw;
        module()->setProperty("activateWindowOnDownload", activate);
        HostLight light(4, "swarco");
        light.setConnected(false);
        QMetaObject::invokeMethod(module(), "loadJournal", Q_ARG(QObject*, &light), Q_ARG(int, 2));
        auto* dock = mw.findChild<QDockWidget*>("journalQueueDoc");
        QVERIFY(dock);
        QCoreApplication::processEvents();
        ZOrderCounter raises;
        dock->installEventFilter(&raises);
        QMetaObject::invokeMethod(module(), "loadJournal", Q_ARG(QObject*, &light), Q_ARG(int, 2));
        QCOMPARE(raises.count, 0); // raised later, from the event loop
        QCoreApplication::processEvents();
        QCOMPARE(raises.count > 0, activate);
    }

    void closingTheDockForgetsTheWindow()
    {
        QMainWindow mw;
        QObject* m = module();
        HostLight light(12, "swarco");
        light.setConnected(false);
        QMetaObject::invokeMethod(m, "loadConfig", Q_ARG(QObject*, &light));
        QPointer<QDockWidget> dock = mw.findChild<QDockWidget*>("configQueueDoc");
        QVERIFY(dock);
        QPointer<QWidget> window = dock->widget();
        dock->close();
        QTRY_VERIFY(dock.isNull());
        QVERIFY(window.isNull());
        QMetaObject::invokeMethod(m, "clear"); // must not touch the deleted window

        QMetaObject::invokeMethod(m, "loadConfig", Q_ARG(QObject*, &light));
        auto* fresh = mw.findChild<QDockWidget*>("configQueueDoc");
        QVERIFY(fresh);
        QSignalSpy complete(m, SIGNAL(configurationDownloadComplete(QObject*, QString)));
        QSignalSpy failed(m, SIGNAL(configurationDownloadFailed(QObject*, QString)));
        QVERIFY(QMetaObject::invokeMethod(fresh->widget(), "downloadComplete",
                                          Q_ARG(QObject*, &light), Q_ARG(QString, "f.cnf")));
        QVERIFY(QMetaObject::invokeMethod(fresh->widget(), "downloadFailed",
                                          Q_ARG(QObject*, &light), Q_ARG(QString, "bad")));
        QCOMPARE(complete.size(), 1);
        QCOMPARE(complete.at(0).at(0).value<QObject*>(), &light);
        QCOMPARE(complete.at(0).at(1).toString(), QStringLiteral("f.cnf"));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("bad"));
    }

    void journalWindowSignalsStayInside()
    {
        QMainWindow mw;
        QObject* m = module();
        HostLight light(12, "swarco");
        light.setConnected(false);
        QMetaObject::invokeMethod(m, "loadJournal", Q_ARG(QObject*, &light), Q_ARG(int, 1));
        auto* dock = mw.findChild<QDockWidget*>("journalQueueDoc");
        QVERIFY(dock);
        QSignalSpy complete(m, SIGNAL(configurationDownloadComplete(QObject*, QString)));
        QSignalSpy failed(m, SIGNAL(configurationDownloadFailed(QObject*, QString)));
        QMetaObject::invokeMethod(dock->widget(), "downloadComplete", Q_ARG(QObject*, &light),
                                  Q_ARG(QString, "j.bin"));
        QMetaObject::invokeMethod(dock->widget(), "downloadFailed", Q_ARG(QObject*, &light),
                                  Q_ARG(QString, "bad"));
        QCOMPARE(complete.size(), 0);
        QCOMPARE(failed.size(), 0);
    }

    void viewOpensTheJournalViewer()
    {
        // The queue's View reaches the module's viewer, on the bytes downloaded.
        QMainWindow mw;
        QTemporaryDir dir;
        QObject* m = module();
        m->setProperty("journalDir", dir.path());
        const QByteArray record =
            ControllerData::binaryRecord(QDateTime(QDate(2026, 3, 1), QTime(10, 15)), 1, 2);
        HostLight light(12, QStringLiteral("Вегал V3.17"));
        light.setHandler([record](HostLight*, const HostLight::Command& c) {
            const int n = c.args.value(0).toInt();
            const QByteArray block = n == 0 ? record.repeated(12) : QByteArray(96, char(0xFF));
            QPointer<Response> response = c.response;
            QTimer::singleShot(0, [response, n, block] {
                if (response)
                    response->finishWithData({n, block});
            });
        });
        QMetaObject::invokeMethod(m, "loadJournal", Q_ARG(QObject*, &light), Q_ARG(int, -1));
        auto* dock = mw.findChild<QDockWidget*>("journalQueueDoc");
        QVERIFY(dock);
        auto* table = dock->findChild<QTableWidget*>("queueTable");
        QTRY_COMPARE(table->item(0, 5)->text(), QStringLiteral("completed"));
        table->selectRow(0);
        QAction* view = nullptr;
        for (QAction* a : table->actions())
            if (a->text() == QLatin1String("View"))
                view = a;
        QVERIFY(view);
        view->trigger();
        QTableWidget* journal = nullptr;
        QTRY_VERIFY((journal = mw.findChild<QTableWidget*>("journalTable")));
        QCOMPARE(journal->rowCount(), 12);
        // Titled by the controller, so that two viewers can be told apart.
        QCOMPARE(journal->window()->windowTitle(),
                 QStringLiteral("Journal view - 12 (Вегал V3.17)"));
    }

    void deletingTheModuleLeavesWindowsAlive()
    {
        QMainWindow mw;
        HostLight light(12, "swarco");
        light.setConnected(false);
        QMetaObject::invokeMethod(module(), "loadJournal", Q_ARG(QObject*, &light), Q_ARG(int, 1));
        QPointer<QDockWidget> dock = mw.findChild<QDockWidget*>("journalQueueDoc");
        delete dq.data();
        QVERIFY(dock);
        dock->close();
        QTRY_VERIFY(dock.isNull());
    }
};

QTEST_MAIN(TestPluginHost)
#include "tst_pluginhost.moc"
