// Orders of host actions that must never touch freed memory: answers arriving after
// their window is gone, lights deleted after being cleared, docks and main windows
// closed mid-download, the plug-in object deleted while its windows live.
// Meant to run under AddressSanitizer as well.
#include "host/hostlight.h"
#include "host/response.h"

#include <QDockWidget>
#include <QMainWindow>
#include <QPluginLoader>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString pluginPath()
{
    return qEnvironmentVariable("DQ_MODULE");
}

// A light that never answers by itself: the test finishes its responses.
HostLight* silentLight(int id, QObject* parent = nullptr)
{
    auto* light = new HostLight(id, QStringLiteral("swarco"), parent);
    return light;
}

QByteArray journalBlock()
{
    return QByteArray(96, '\x11');
}

} // namespace

class TestLifetimes : public QObject
{
    Q_OBJECT

    QPluginLoader loader;
    QPointer<QObject> dq;
    QTemporaryDir dir;

    QObject* module()
    {
        if (!dq)
            dq = loader.instance();
        return dq;
    }

    void requestBoth(QObject* light)
    {
        QVERIFY(QMetaObject::invokeMethod(module(), "loadJournal", Q_ARG(QObject*, light),
                                          Q_ARG(int, -1)));
        QVERIFY(QMetaObject::invokeMethod(module(), "loadConfig", Q_ARG(QObject*, light)));
    }

private slots:
    void initTestCase()
    {
        loader.setFileName(pluginPath());
        QVERIFY2(loader.load(), qPrintable(loader.errorString()));
        QVERIFY(dir.isValid());
    }

    void init()
    {
        module()->setProperty("configDir", dir.path());
        module()->setProperty("journalDir", dir.path());
    }

    void cleanup()
    {
        const auto widgets = QApplication::topLevelWidgets();
        for (QWidget* w : widgets)
            delete w;
        delete dq.data();
    }

    void answerAfterDockClosed()
    {
        QMainWindow mw;
        QScopedPointer<HostLight> light(silentLight(1));
        requestBoth(light.data());
        QCOMPARE(light->pendingResponses().size(), 2);
        const auto docks = mw.findChildren<QDockWidget*>();
        QCOMPARE(docks.size(), 2);
        for (QDockWidget* d : docks)
            d->close();
        QTRY_VERIFY(mw.findChildren<QDockWidget*>().isEmpty());
        // The answers arrive after their windows are gone.
        light->finishNext({0, journalBlock()});
        light->finishNext({0, 0, QByteArray("#TxtCfg")});
        light->setConnected(false);
        light->setConnected(true);
        QCoreApplication::processEvents();
        // And the module still works with fresh windows.
        requestBoth(light.data());
        QCOMPARE(mw.findChildren<QDockWidget*>().size(), 2);
    }

    void lightDeletedAfterClear_data()
    {
        QTest::addColumn<bool>("byList");
        QTest::newRow("clearJournal/clearConfig") << true;
        QTest::newRow("clear") << false;
    }
    void lightDeletedAfterClear()
    {
        QFETCH(bool, byList);
        QMainWindow mw;
        HostLight* light = silentLight(2);
        QScopedPointer<HostLight> other(silentLight(3));
        requestBoth(light);
        requestBoth(other.data());
        QPointer<Response> pending = light->pendingResponses().value(0);
        if (byList) {
            QMetaObject::invokeMethod(module(), "clearJournal",
                                      Q_ARG(QObjectList, QObjectList{light}));
            QMetaObject::invokeMethod(module(), "clearConfig",
                                      Q_ARG(QObjectList, QObjectList{light}));
        } else {
            QMetaObject::invokeMethod(module(), "clear");
        }
        // The host may keep a finished response alive elsewhere; here it dies with the light.
        delete light;
        QVERIFY(pending.isNull());
        other->finishNext({0, journalBlock()});
        other->setConnected(false);
        other->setConnected(true);
        QTest::qWait(1100); // let the retry timer tick over the remaining items
        requestBoth(other.data());
    }

    void mainWindowDeletedMidDownload()
    {
        auto* mw = new QMainWindow;
        QScopedPointer<HostLight> light(silentLight(4));
        requestBoth(light.data());
        delete mw;
        light->finishNext({0, journalBlock()});
        light->failNext(5, "late");
        QCoreApplication::processEvents();
        // Without a main window the next windows are top-level.
        requestBoth(light.data());
        QCOMPARE(QApplication::topLevelWidgets().size(), 2);
    }

    void moduleDeletedWhileWindowsLive()
    {
        QMainWindow mw;
        QScopedPointer<HostLight> light(silentLight(5));
        requestBoth(light.data());
        delete dq.data();
        // The windows go on without the module object.
        light->finishNext({0, journalBlock()});
        light->finishNext({0, 0, QByteArray("#TxtCfg")});
        QTest::qWait(50);
        const auto docks = mw.findChildren<QDockWidget*>();
        QCOMPARE(docks.size(), 2);
        for (QDockWidget* d : docks)
            d->close();
        QTRY_VERIFY(mw.findChildren<QDockWidget*>().isEmpty());
    }
};

QTEST_MAIN(TestLifetimes)
#include "tst_lifetimes.moc"
