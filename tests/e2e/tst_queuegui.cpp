// The journal queue on a real X display (ctest starts it with xvfb-run), driven
// as the host drives the built module: a dock the saved layout holds hidden
// comes back, a failed row stands out with its message and time, the counts
// follow, and the actions are enabled for the rows they can act on.
#include "host/hostlight.h"
#include "savedlayout.h"

#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QPluginLoader>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

namespace {

enum { ObjectCol, TypeCol, StateCol, LoadedCol, ErrorsCol, StatusCol };

QTableWidgetItem* cellOf(QTableWidget* table, int id, int column)
{
    for (int r = 0; r < table->rowCount(); ++r)
        if (table->item(r, ObjectCol)->text() == QString::number(id))
            return table->item(r, column);
    return nullptr;
}

QPoint centreOf(QTableWidget* table, QTableWidgetItem* cell)
{
    return table->visualItemRect(cell).center();
}

} // namespace

class TestQueueGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void failedRowsAndActions();

private:
    QPluginLoader loader;
    QTemporaryDir dir;
};

void TestQueueGui::initTestCase()
{
    qInfo("platform %s", qPrintable(QGuiApplication::platformName()));
    loader.setFileName(
        QDir(qEnvironmentVariable("DQ_PLUGIN_DIR")).absoluteFilePath("libdownloadqueue.so"));
    QVERIFY2(loader.load(), qPrintable(loader.errorString()));
    QVERIFY(dir.isValid());
}

void TestQueueGui::failedRowsAndActions()
{
    // The layout as saved after the operator closed the journal queue.
    QMainWindow mw;
    QVERIFY(showWithSavedLayout(mw, "journalQueueDoc", Qt::BottomDockWidgetArea, true));

    QObject* module = loader.instance();
    module->setProperty("journalDir", dir.path());
    HostLight failing(31, "swarco"), running(32, "swarco"), offline(33, "swarco");
    offline.setConnected(false);
    for (HostLight* light : {&failing, &running, &offline})
        QMetaObject::invokeMethod(module, "loadJournal", Q_ARG(QObject*, light), Q_ARG(int, 5));
    auto* dock = mw.findChild<QDockWidget*>("journalQueueDoc");
    QVERIFY(dock);
    QTRY_VERIFY(dock->isVisible() && !dock->visibleRegion().isEmpty());

    auto* table = dock->findChild<QTableWidget*>("queueTable");
    auto* counts = dock->findChild<QLabel*>("queueCounts");
    QVERIFY(table && counts);
    QVERIFY(failing.finishNext({0})); // a wrong answer: failed for good
    QTableWidgetItem* status = cellOf(table, 31, StatusCol);
    QTRY_COMPARE(status->text(), QStringLiteral("Error: wrong answer"));
    QVERIFY(!status->icon().isNull());
    QCOMPARE(counts->text(),
             QStringLiteral("Waiting: 1   Downloading: 1   Completed: 0   Failed: 1   Stopped: 0"));
    // Hovering shows the whole message and when it failed.
    const QPoint at = centreOf(table, status);
    QHelpEvent hover(QEvent::ToolTip, at, table->viewport()->mapToGlobal(at));
    QApplication::sendEvent(table->viewport(), &hover);
    QTRY_VERIFY(QToolTip::isVisible());
    QVERIFY2(QToolTip::text().startsWith("Error: wrong answer\n") &&
                 QToolTip::text().contains(QDate::currentDate().toString("yyyy-MM-dd")),
             qPrintable(QToolTip::text()));

    const auto enabled = [table] {
        QStringList texts;
        for (QAction* a : table->actions())
            if (a->isEnabled())
                texts << a->text();
        return texts;
    };
    const auto click = [table](int id, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers,
                          centreOf(table, cellOf(table, id, TypeCol)));
    };
    click(31, {});
    QCOMPARE(enabled(), (QStringList{"Clear queue", "Retry"}));
    click(32, {});
    QCOMPARE(enabled(), (QStringList{"Clear queue", "Stop downloading"}));
    click(31, Qt::ControlModifier);
    QCOMPARE(enabled(), (QStringList{"Clear queue", "Stop downloading", "Retry"}));

    // Retry sends for the failed item alone, its errors reset.
    table->actions().last()->trigger();
    QCOMPARE(failing.commandCount(), 2);
    QCOMPARE(running.commandCount(), 1);
    QCOMPARE(status->text(), QStringLiteral("downloading"));
    QCOMPARE(cellOf(table, 31, ErrorsCol)->text(), QStringLiteral("0"));
    QVERIFY(status->icon().isNull() && status->toolTip().isEmpty());
    QCOMPARE(enabled(), (QStringList{"Clear queue", "Stop downloading"}));
    table->actions().at(2)->trigger();
    QCOMPARE(enabled(), (QStringList{"Clear queue", "Resume"}));
    QCOMPARE(counts->text(),
             QStringLiteral("Waiting: 1   Downloading: 0   Completed: 0   Failed: 0   Stopped: 2"));
}

QTEST_MAIN(TestQueueGui)
#include "tst_queuegui.moc"
