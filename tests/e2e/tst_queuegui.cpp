// The journal queue on a real X display (ctest starts it with xvfb-run), driven
// as the host drives the built module: a dock the saved layout holds hidden
// comes back, a failed row stands out with its message and time and says in
// plain words what happened, the counts follow, the actions are enabled for
// the rows they can act on, and the queue's keys win over the host's own
// shortcuts while the focus is in the queue.
#include "host/hostlight.h"
#include "savedlayout.h"

#include <QAction>
#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPluginLoader>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSignalSpy>
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
    void failureInPlainWords_data();
    void failureInPlainWords();
    void requeuedRowStartsAnew();

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
    // The host's own window-wide keys, as the workstation has them.
    QAction hostSelectAll(QStringLiteral("Select all"), &mw),
        hostDelete(QStringLiteral("Delete"), &mw);
    hostSelectAll.setShortcut(QKeySequence::SelectAll);
    hostDelete.setShortcut(QKeySequence::Delete);
    mw.addActions({&hostSelectAll, &hostDelete});
    QSignalSpy hostSelected(&hostSelectAll, &QAction::triggered);
    QSignalSpy hostDeleted(&hostDelete, &QAction::triggered);
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
    QTRY_COMPARE(tipOf(table, cellOf(table, 45, StatusCol)), QStringLiteral("downloading"));
    table->setColumnWidth(StatusCol, 400);
    QTRY_COMPARE(tipOf(table, cellOf(table, 45, StatusCol)), QString());
    table->horizontalHeader()->setStretchLastSection(true);
    // Waiting for the link: since when.
    QTRY_VERIFY2(tipOf(table, cellOf(table, 46, StatusCol))
                     .startsWith(QStringLiteral("Waiting for the controller's link since %1")
                                     .arg(QDate::currentDate().toString("yyyy-MM-dd"))),
                 qPrintable(shownTip()));

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
    QCOMPARE(hostSelected.count(), 0);
    // Outside the queue the host's key is the host's.
    mw.centralWidget()->setFocusPolicy(Qt::StrongFocus);
    mw.centralWidget()->setFocus();
    QTest::keyClick(mw.centralWidget(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(hostSelected.count(), 1);

    // The filter box: Ctrl+F in the queue goes to it; it narrows the state
    // filter's rows by id or type; Esc empties it.
    auto* filterEdit = dock->findChild<QLineEdit*>("queueFilterEdit");
    QVERIFY(filterEdit);
    QCOMPARE(filterEdit->placeholderText(), QStringLiteral("Filter by id or type"));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(filterEdit->hasFocus());
    QTest::keyClicks(filterEdit, QStringLiteral("4"));
    QCOMPARE(idsOf(table, false), (QList<int>{42, 44, 45, 46}));
    QTest::keyClicks(filterEdit, QStringLiteral("5"));
    QCOMPARE(idsOf(table, false), (QList<int>{45}));
    QTest::mouseClick(dock->findChild<QToolButton*>("filterFailed"), Qt::LeftButton);
    QCOMPARE(idsOf(table, false), QList<int>());
    filterEdit->setText(QStringLiteral("SWAR"));
    QCOMPARE(idsOf(table, false), (QList<int>{42, 43}));
    QTest::keyClick(filterEdit, Qt::Key_Escape);
    QVERIFY(filterEdit->text().isEmpty());
    QTest::mouseClick(dock->findChild<QToolButton*>("filterAll"), Qt::LeftButton);
    QCOMPARE(idsOf(table, false), (QList<int>{41, 42, 43, 44, 45, 46}));
    table->setFocus();

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
    QCOMPARE(hostDeleted.count(), 0);
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

void TestQueueGui::failureInPlainWords_data()
{
    QTest::addColumn<bool>("journal");
    QTest::addColumn<QString>("status");   // the cell's text, as it always was
    QTest::addColumn<QString>("sentence"); // the tooltip's plain words, a pattern
    QTest::addColumn<bool>("file");        // the tooltip names the whole path
    QTest::newRow("controller error") << true << "Response error 5"
                                      << "^The controller answered with an error\\." << false;
    QTest::newRow("command not passed") << true << "invoke sendCommand error"
                                        << "^The command could not be passed" << false;
    QTest::newRow("wrong answer") << true << "Error: wrong answer"
                                  << "^The controller's answer did not fit the request\\. Retry"
                                  << false;
    QTest::newRow("erased configuration")
        << false << "Error: invalid config size"
        << "^The controller's configuration memory holds no valid configuration" << false;
    QTest::newRow("saved journal too large")
        << true << "Error: data too large"
        << "^The saved journal Jrn00051\\.bin is larger than 16 MiB and cannot be continued: "
           "move it aside, then Retry\\.$"
        << true;
    QTest::newRow("file not written") << true << "Error open %1"
                                      << "^The file Jrn00051\\.bin cannot be written" << true;
}

void TestQueueGui::failureInPlainWords()
{
    QFETCH(bool, journal);
    QFETCH(QString, status);
    QFETCH(QString, sentence);
    QFETCH(bool, file);
    QMainWindow mw;
    QVERIFY(showWithSavedLayout(mw, "journalQueueDoc", Qt::BottomDockWidgetArea, false));
    QObject* module = loader.instance();
    QTemporaryDir saved;
    QString dirPath = saved.path();
    HostLight light(51, "swarco");
    const QString row = QTest::currentDataTag();
    if (row == QLatin1String("file not written")) {
        // A directory that cannot be made: below a plain file.
        QFile plain(saved.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        dirPath = saved.filePath("plain/journals");
    }
    module->setProperty(journal ? "journalDir" : "configDir", dirPath);
    const QString path = QDir(dirPath).absoluteFilePath("Jrn00051.bin");
    int blocks = 1;
    if (row == QLatin1String("saved journal too large")) {
        QFile big(path);
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(17 * 1024 * 1024));
        blocks = -3;
    }
    light.setFailCalls(row == QLatin1String("command not passed"));
    if (journal)
        QMetaObject::invokeMethod(module, "loadJournal", Q_ARG(QObject*, &light),
                                  Q_ARG(int, blocks));
    else
        QMetaObject::invokeMethod(module, "loadConfig", Q_ARG(QObject*, &light));
    if (row == QLatin1String("controller error"))
        QVERIFY(light.failNext(5));
    else if (row == QLatin1String("wrong answer"))
        QVERIFY(light.finishNext({0}));
    else if (row == QLatin1String("erased configuration"))
        QVERIFY(light.finishNext({0, 0, QByteArray::fromHex("ffffffff")}));
    else if (row == QLatin1String("file not written"))
        QVERIFY(light.finishNext({0, QByteArray(96, '\x11')}));
    auto* dock = mw.findChild<QDockWidget*>(journal ? "journalQueueDoc" : "configQueueDoc");
    QVERIFY(dock);
    dock->show(); // a configuration dock the layout does not hold floats hidden
    auto* table = dock->findChild<QTableWidget*>("queueTable");
    QTableWidgetItem* cell = cellOf(table, 51, StatusCol);
    QVERIFY(cell);
    if (status.contains(QLatin1String("%1")))
        status = status.arg(path);
    QTRY_COMPARE(cell->text(), status);
    QTRY_VERIFY(!tipOf(table, cell).isEmpty());
    // The message, the sentence, the file, when: one line each.
    const QStringList lines = tipOf(table, cell).split('\n');
    QVERIFY2(lines.size() >= 3, qPrintable(lines.join('\n')));
    QCOMPARE(lines.at(0), status);
    QVERIFY2(QRegularExpression(sentence).match(lines.at(1)).hasMatch(), qPrintable(lines.at(1)));
    QCOMPARE(lines.contains(QStringLiteral("File: ") + QDir::toNativeSeparators(path)), file);
    QVERIFY2(lines.last().startsWith(QStringLiteral("Failed ") +
                                     QDate::currentDate().toString("yyyy-MM-dd")),
             qPrintable(lines.last()));
    QMetaObject::invokeMethod(module, "clear");
}

void TestQueueGui::requeuedRowStartsAnew()
{
    QMainWindow mw;
    QVERIFY(showWithSavedLayout(mw, "journalQueueDoc", Qt::BottomDockWidgetArea, false));
    QObject* module = loader.instance();
    QTemporaryDir journals;
    module->setProperty("journalDir", journals.path());
    HostLight light(61, "swarco");
    const auto queue = [&] {
        QMetaObject::invokeMethod(module, "loadJournal", Q_ARG(QObject*, &light), Q_ARG(int, 2));
    };
    queue();
    auto* table = mw.findChild<QDockWidget*>("journalQueueDoc")->findChild<QTableWidget*>();
    const QByteArray block(96, '\x11');
    QVERIFY(light.finishNext({0, block}));
    QVERIFY(light.finishNext({1, block}));
    QTRY_COMPARE(cellOf(table, 61, StatusCol)->text(), QStringLiteral("completed"));
    QCOMPARE(cellOf(table, 61, LoadedCol)->text(), QStringLiteral("2 blocks"));

    // Queued again with the link down: nothing of the last round shows.
    light.setConnected(false);
    queue();
    QTRY_COMPARE(cellOf(table, 61, StatusCol)->text(), QStringLiteral("waiting for connection"));
    QCOMPARE(cellOf(table, 61, LoadedCol)->text(), QStringLiteral("0"));
    auto* bar = qobject_cast<QProgressBar*>(
        table->cellWidget(table->row(cellOf(table, 61, ObjectCol)), StateCol));
    QVERIFY(bar);
    QCOMPARE(bar->value(), 0);
    QVERIFY(!tipOf(table, cellOf(table, 61, StatusCol)).contains(QLatin1String("Completed")));

    // A Retry that fails again says so: its time and the attempt.
    light.setConnected(true);
    QVERIFY(light.finishNext({0}));
    QTRY_COMPARE(cellOf(table, 61, StatusCol)->text(), QStringLiteral("Error: wrong answer"));
    table->selectAll();
    table->actions().at(4)->trigger(); // Retry
    QVERIFY(light.finishNext({0}));
    QTRY_VERIFY2(tipOf(table, cellOf(table, 61, StatusCol))
                     .contains(QStringLiteral("\nAttempt 2, the last Retry %1")
                                   .arg(QDate::currentDate().toString("yyyy-MM-dd"))),
                 qPrintable(shownTip()));
    QMetaObject::invokeMethod(module, "clear");
}

QTEST_MAIN(TestQueueGui)
#include "tst_queuegui.moc"
