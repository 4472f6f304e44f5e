// The journal queue on a real X display (ctest starts it with xvfb-run), driven
// as the host drives the built module: a dock the saved layout holds hidden
// comes back, a failed row stands out with its message and time, the counts
// follow, and the actions are enabled for the rows they can act on.
#include "host/hostlight.h"
#include "savedlayout.h"

#include <QAction>
#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPluginLoader>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

namespace {

// The counts line as read: each count keeps to its label with a no-break space.
QString countsText(const QLabel* counts)
{
    return counts->text().replace(QChar(0xA0), QLatin1Char(' '));
}

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

// The tooltip shown, as the operator reads it; empty when none shows.
QString shownTip()
{
    if (!QToolTip::isVisible())
        return QString();
    QTextDocument shown;
    shown.setHtml(QToolTip::text());
    return shown.toPlainText();
}

// Hovers the cell; the tooltip's text, or empty when none shows.
QString tipOf(QTableWidget* table, QTableWidgetItem* cell)
{
    const QPoint at = centreOf(table, cell);
    QHelpEvent hover(QEvent::ToolTip, at, table->viewport()->mapToGlobal(at));
    QApplication::sendEvent(table->viewport(), &hover);
    return shownTip();
}

// The ids of the rows shown, or (selected) of the whole rows selected, ascending.
QList<int> idsOf(QTableWidget* table, bool selected)
{
    QList<int> ids;
    for (int r = 0; r < table->rowCount(); ++r)
        if (selected ? table->selectionModel()->isRowSelected(r, {}) : !table->isRowHidden(r))
            ids << table->item(r, ObjectCol)->text().toInt();
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Waits, from the event loops that modal boxes and menus run, for the next
// question box or popup menu, and closes it: the box with the button, the
// menu at once. What it saw stays for the test.
class Closer : public QObject
{
public:
    explicit Closer(QMessageBox::StandardButton answer = QMessageBox::NoButton) : answer(answer)
    {
        connect(&poll, &QTimer::timeout, this, &Closer::look);
        poll.start(10);
    }

    QString question;
    QStringList menu; // "text<TAB>shortcut" of each action the menu shows it for
    QPoint menuAt;

private:
    void look()
    {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            question = box->text();
            box->button(answer)->click();
            poll.stop();
        } else if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* a : popup->actions())
                menu << a->text() + '\t' +
                            (a->isShortcutVisibleInContextMenu() ? a->shortcut().toString()
                                                                 : QString());
            menuAt = popup->pos();
            popup->close();
            poll.stop();
        }
    }

    QMessageBox::StandardButton answer;
    QTimer poll;
};

} // namespace

class TestQueueGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void failedRowsAndActions();
    void triage();

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
    QCOMPARE(
        countsText(counts),
        QStringLiteral("Waiting: 1   Downloading: 1   Completed: 0   Retrying: 0   Failed: 1   "
                       "Stopped: 0"));
    // Hovering shows the whole message and when it failed.
    const QPoint at = centreOf(table, status);
    QHelpEvent hover(QEvent::ToolTip, at, table->viewport()->mapToGlobal(at));
    QApplication::sendEvent(table->viewport(), &hover);
    QTRY_VERIFY(QToolTip::isVisible());
    QVERIFY2(shownTip().startsWith("Error: wrong answer\n") &&
                 shownTip().contains(QDate::currentDate().toString("yyyy-MM-dd")),
             qPrintable(shownTip()));

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
    QCOMPARE(enabled(), (QStringList{"Clear queue", "Retry", "Remove"}));
    click(32, {});
    QCOMPARE(enabled(), (QStringList{"Clear queue", "Stop downloading", "Remove"}));
    click(31, Qt::ControlModifier);
    QCOMPARE(enabled(), (QStringList{"Clear queue", "Stop downloading", "Retry", "Remove"}));

    // Retry sends for the failed item alone, its errors reset.
    table->actions().at(4)->trigger();
    QCOMPARE(failing.commandCount(), 2);
    QCOMPARE(running.commandCount(), 1);
    QCOMPARE(status->text(), QStringLiteral("downloading"));
    QCOMPARE(cellOf(table, 31, ErrorsCol)->text(), QStringLiteral("0"));
    QVERIFY(status->icon().isNull() && status->toolTip().isEmpty());
    QCOMPARE(enabled(), (QStringList{"Clear queue", "Stop downloading", "Remove"}));
    table->actions().at(2)->trigger();
    QCOMPARE(enabled(), (QStringList{"Clear queue", "Resume", "Remove"}));
    QCOMPARE(
        countsText(counts),
        QStringLiteral("Waiting: 1   Downloading: 0   Completed: 0   Retrying: 0   Failed: 0   "
                       "Stopped: 2"));
}

void TestQueueGui::triage()
{
    // A queue of every kind of row, as an operator finds it.
    QMainWindow mw;
    QVERIFY(showWithSavedLayout(mw, "journalQueueDoc", Qt::BottomDockWidgetArea, false));
    QObject* module = loader.instance();
    QTemporaryDir journals;
    module->setProperty("journalDir", journals.path());
    HostLight done(41, "swarco"), busy(42, "swarco"), broken(43, "swarco"), first(44, "swarco"),
        second(45, "swarco"), offline(46, "swarco");
    offline.setConnected(false);
    for (HostLight* light : {&done, &busy, &broken, &first, &second, &offline})
        QMetaObject::invokeMethod(module, "loadJournal", Q_ARG(QObject*, light),
                                  Q_ARG(int, light == &done ? 1 : 5));
    auto* dock = mw.findChild<QDockWidget*>("journalQueueDoc");
    QVERIFY(dock);
    QTRY_VERIFY(dock->isVisible());
    auto* table = dock->findChild<QTableWidget*>("queueTable");
    auto* counts = dock->findChild<QLabel*>("queueCounts");
    QVERIFY(table && counts);
    const QByteArray block(96, '\x11');
    QVERIFY(done.finishNext({0, block}));
    QVERIFY(broken.finishNext({0})); // a wrong answer: failed for good
    // A failure to be retried, made again whenever the retry has gone out.
    const auto busyFails = [&busy] { busy.failNext(3, QStringLiteral("busy")); };
    const QString allCounts = QStringLiteral(
        "Waiting: 1   Downloading: 2   Completed: 1   Retrying: 1   Failed: 1   Stopped: 0");
    QTRY_COMPARE((busyFails(), countsText(counts)), allCounts);

    // Tooltips: where and when a download was saved; a cut status whole.
    const QString saved = QDir::toNativeSeparators(journals.filePath("Jrn00041.bin"));
    QTRY_VERIFY2(tipOf(table, cellOf(table, 41, StatusCol))
                     .startsWith(QStringLiteral("Saved to %1\nCompleted %2")
                                     .arg(saved, QDate::currentDate().toString("yyyy-MM-dd"))),
                 qPrintable(shownTip()));
    table->horizontalHeader()->setStretchLastSection(false);
    table->setColumnWidth(StatusCol, 30);
    QTRY_COMPARE(tipOf(table, cellOf(table, 46, StatusCol)),
                 QStringLiteral("waiting for connection"));
    table->setColumnWidth(StatusCol, 400);
    QTRY_COMPARE(tipOf(table, cellOf(table, 46, StatusCol)), QString());
    table->horizontalHeader()->setStretchLastSection(true);

    // The filter hides the other rows; the counts stay those of the queue.
    busyFails();
    QTest::mouseClick(dock->findChild<QToolButton*>("filterFailed"), Qt::LeftButton);
    QCOMPARE(idsOf(table, false), (QList<int>{42, 43}));
    QCOMPARE(countsText(counts), allCounts);
    QTest::mouseClick(dock->findChild<QToolButton*>("filterActive"), Qt::LeftButton);
    QCOMPARE(idsOf(table, false), (QList<int>{42, 44, 45, 46}));
    // Ctrl+A selects the rows shown, whole.
    mw.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&mw));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(idsOf(table, true), (QList<int>{42, 44, 45, 46}));
    QTest::mouseClick(dock->findChild<QToolButton*>("filterAll"), Qt::LeftButton);
    QCOMPARE(idsOf(table, false), (QList<int>{41, 42, 43, 44, 45, 46}));

    // Shift+F10 opens the menu where the Menu key does (the platform sends a
    // context menu event for a key to the window), with the actions' keys.
    table->setCurrentItem(cellOf(table, 44, TypeCol));
    Closer byKey;
    QTest::keyClick(table, Qt::Key_F10, Qt::ShiftModifier);
    QTRY_VERIFY(!byKey.menu.isEmpty());
    Closer byMenuKey;
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5));
    QApplication::sendEvent(mw.windowHandle(), &menuKey);
    QTRY_VERIFY(!byMenuKey.menu.isEmpty());
    QCOMPARE(byKey.menuAt, byMenuKey.menuAt);
    QCOMPARE(byKey.menu, byMenuKey.menu);
    QCOMPARE(byKey.menu.last(),
             QStringLiteral("Remove\t") + QKeySequence(QKeySequence::Delete).toString());

    // Delete removes the selected rows as the host's clearJournal would: their
    // downloads go no further.
    const auto click = [table](int id, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers,
                          centreOf(table, cellOf(table, id, TypeCol)));
    };
    click(44, {});
    click(45, Qt::ControlModifier);
    QTest::keyClick(table, Qt::Key_Delete);
    QCOMPARE(idsOf(table, false), (QList<int>{41, 42, 43, 46}));
    const int sent = first.commandCount();
    QVERIFY(first.finishNext({0, block}));
    QCOMPARE(first.commandCount(), sent);
    QVERIFY(!cellOf(table, 44, ObjectCol));

    // "Clear queue" asks while downloads wait or run; the host's clear() never.
    QAction* clearAction = table->actions().at(1);
    {
        Closer no(QMessageBox::No);
        clearAction->trigger();
        QCOMPARE(no.question, QStringLiteral("Clear 4 downloads? 2 are still running."));
        QCOMPARE(table->rowCount(), 4);
    }
    {
        Closer yes(QMessageBox::Yes);
        clearAction->trigger();
        QVERIFY(!yes.question.isEmpty());
        QCOMPARE(table->rowCount(), 0);
    }
    {
        // Nothing runs, but a stopped download holds what Resume would save.
        HostLight stopped(47, "swarco");
        QMetaObject::invokeMethod(module, "loadJournal", Q_ARG(QObject*, &stopped), Q_ARG(int, 5));
        QVERIFY(stopped.finishNext({0, block}));
        table->selectAll();
        table->actions().at(2)->trigger(); // Stop downloading
        Closer no(QMessageBox::No);
        clearAction->trigger();
        QCOMPARE(no.question,
                 QStringLiteral("Clear 1 download? 1 holds data that is not saved yet."));
        QMetaObject::invokeMethod(module, "clear");
    }
    {
        QMetaObject::invokeMethod(module, "loadJournal", Q_ARG(QObject*, &second), Q_ARG(int, 5));
        QCOMPARE(table->rowCount(), 1);
        Closer none(QMessageBox::Yes);
        QMetaObject::invokeMethod(module, "clear");
        QCOMPARE(table->rowCount(), 0);
        QTest::qWait(50);
        QVERIFY(none.question.isEmpty());
    }
}

QTEST_MAIN(TestQueueGui)
#include "tst_queuegui.moc"
