#include "queue/downloadengine.h"
#include "queue/queuewindow.h"
#include "queuesim.h"

#include <QAction>
#include <QDialog>
#include <QHeaderView>
#include <QMainWindow>
#include <QProgressBar>
#include <QTableWidget>
#include <QTextDocument>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

enum { ObjectCol, TypeCol, StateCol, LoadedCol, ErrorsCol, StatusCol };

QTableWidget* tableOf(QueueWindow& w)
{
    return w.findChild<QTableWidget*>(QStringLiteral("queueTable"));
}

} // namespace

class TestQueueWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void newRow_data();
    void newRow();
    void ignoredLights();
    void commandsCarryPosition();
    void longerTextsWidenTheirColumn();
    void requeueRestartsAndIgnoresEarlierAnswer();

    void journalDownload_data();
    void journalDownload();
    void configDownload_data();
    void configDownload();

    void stopAndResume();

    void rowsFollowSortingAndRemoval();
    void numbersSortAsNumbers_data();
    void numbersSortAsNumbers();
    void clearQueueWithList();
    void failureTextShownAsText();
    void viewAndRunEditor();
    void doubleClickOpensAfterTheClick_data();
    void doubleClickOpensAfterTheClick();

    void fiftyLightsAtOnce();
    void barsShownForRowsInView();

private:
    // The table helpers read the table as the next refresh shows it.
    static int rowOf(QueueWindow& w, int id)
    {
        w.showChanges();
        QTableWidget* t = tableOf(w);
        for (int r = 0; r < t->rowCount(); ++r)
            if (t->item(r, ObjectCol) && t->item(r, ObjectCol)->text() == QString::number(id))
                return r;
        return -1;
    }

    static QString cell(QueueWindow& w, int id, int column)
    {
        const int r = rowOf(w, id);
        QTableWidgetItem* item = r < 0 ? nullptr : tableOf(w)->item(r, column);
        return item ? item->text() : QStringLiteral("<none>");
    }

    static QProgressBar* barOf(QueueWindow& w, int id)
    {
        return qobject_cast<QProgressBar*>(tableOf(w)->cellWidget(rowOf(w, id), StateCol));
    }

    static void selectCells(QueueWindow& w, const QList<QPair<int, int>>& idColumns)
    {
        QTableWidget* t = tableOf(w);
        t->clearSelection();
        for (const auto& ic : idColumns)
            t->selectionModel()->select(t->model()->index(rowOf(w, ic.first), ic.second),
                                        QItemSelectionModel::Select);
    }

    std::unique_ptr<QTemporaryDir> dir;
    QueueItem& itemOf(QueueWindow& w, QObject* light) { return *w.engine->item(light); }
};

void TestQueueWindow::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

void TestQueueWindow::newRow_data()
{
    QTest::addColumn<bool>("journal");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<int>("barMax");
    QTest::addColumn<QString>("status");
    QTest::newRow("journal 25") << true << 25 << true << 25 << "downloading";
    QTest::newRow("journal all") << true << -1 << true << 0 << "downloading";
    QTest::newRow("journal newer") << true << -3 << true << 0 << "downloading";
    QTest::newRow("configuration") << false << -1 << true << 0 << "downloading";
    QTest::newRow("journal 25 offline") << true << 25 << false << 25 << "waiting for connection";
    QTest::newRow("configuration offline") << false << -1 << false << 0 << "waiting for connection";
}

void TestQueueWindow::newRow()
{
    QFETCH(bool, journal);
    QFETCH(int, blocks);
    QFETCH(bool, connected);
    QFETCH(int, barMax);
    QFETCH(QString, status);
    QueueWindow w(nullptr, journal);
    w.setSaveDir(QDir(dir->path()));
    QueueSim sim(42, QStringLiteral("Some Type"));
    sim.hold = true;
    sim.light.setConnected(connected);
    w.enqueue(&sim.light, blocks);
    QCOMPARE(tableOf(w)->rowCount(), 1);
    QCOMPARE(cell(w, 42, TypeCol), QStringLiteral("Some Type"));
    QCOMPARE(cell(w, 42, LoadedCol), QStringLiteral("0"));
    QCOMPARE(cell(w, 42, ErrorsCol), QStringLiteral("0"));
    QCOMPARE(cell(w, 42, StatusCol), status);
    QCOMPARE(barOf(w, 42)->minimum(), 0);
    QCOMPARE(barOf(w, 42)->maximum(), barMax);
    QCOMPARE(sim.light.commandCount(), connected ? 1 : 0);
}

void TestQueueWindow::ignoredLights()
{
    QueueWindow w(nullptr, true);
    w.enqueue(nullptr, -1);
    HostLight text(QStringLiteral("abc"));
    w.enqueue(&text, -1);
    QCOMPARE(tableOf(w)->rowCount(), 0);
    QCOMPARE(text.commandCount(), 0);
}

void TestQueueWindow::commandsCarryPosition()
{
    QueueWindow jw(nullptr, true), cw(nullptr, false);
    jw.setSaveDir(QDir(dir->path()));
    cw.setSaveDir(QDir(dir->path()));
    QueueSim j(1), c(2);
    j.hold = c.hold = true;
    j.journal = journalRecords(100, 0);
    c.body = wordsLE({4, 998}) + QByteArray(996, 'c');
    jw.enqueue(&j.light, -1);
    cw.enqueue(&c.light, -1);
    QCOMPARE(j.light.lastCommand().name, QStringLiteral("GET_JRNL"));
    QCOMPARE(j.light.lastCommand().args, QVariantList{0});
    QCOMPARE(c.light.lastCommand().name, QStringLiteral("GET_CONFIG"));
    QCOMPARE(c.light.lastCommand().args, (QVariantList{0, 0}));
    for (int i = 0; i < 3; ++i)
        QVERIFY(j.answerOne());
    for (int i = 0; i < 2; ++i)
        QVERIFY(c.answerOne());
    QCOMPARE(j.light.lastCommand().args, QVariantList{3});
    QCOMPARE(cell(jw, 1, LoadedCol), QStringLiteral("3 blocks"));
    QCOMPARE(c.light.lastCommand().args, (QVariantList{0, 400}));
    QCOMPARE(cell(cw, 2, LoadedCol), QStringLiteral("400 bytes"));
}

void TestQueueWindow::longerTextsWidenTheirColumn()
{
    QueueWindow cw(nullptr, false);
    cw.setSaveDir(QDir(dir->path()));
    QueueSim c(2);
    c.hold = true;
    c.pieceSize = 40000;
    c.body = wordsLE({4, 60000}) + QByteArray(59998, 'c');
    cw.enqueue(&c.light, -1);
    QCoreApplication::processEvents();
    QVERIFY(c.answerOne());
    QCoreApplication::processEvents();
    const QString text = cell(cw, 2, LoadedCol);
    QCOMPARE(text, QStringLiteral("40000 bytes"));
    // The operator reads the whole count, not an elided one.
    QTableWidget* table = tableOf(cw);
    QVERIFY(table->columnWidth(LoadedCol) > QFontMetrics(table->font()).horizontalAdvance(text));
}

void TestQueueWindow::requeueRestartsAndIgnoresEarlierAnswer()
{
    QueueWindow w(nullptr, true);
    w.setSaveDir(QDir(dir->path()));
    QueueSim sim(3);
    sim.hold = true;
    sim.journal = journalRecords(60, 0);
    w.enqueue(&sim.light, -1);
    QVERIFY(sim.answerOne());
    QVERIFY(sim.answerOne());
    sim.light.setFailCalls(true);
    QTest::qWait(1);
    // A failed call counts an error; queuing again resets it.
    QVERIFY(sim.answerOne());
    QCOMPARE(cell(w, 3, ErrorsCol), QStringLiteral("1"));
    sim.light.setFailCalls(false);
    w.enqueue(&sim.light, 2);
    QCOMPARE(tableOf(w)->rowCount(), 1);
    QCOMPARE(cell(w, 3, ErrorsCol), QStringLiteral("0"));
    QCOMPARE(sim.light.lastCommand().args, QVariantList{0});
    QCOMPARE(barOf(w, 3)->maximum(), 2);

    // Requeued while an answer is out: the earlier answer changes nothing.
    Response* earlier = sim.light.pendingResponses().value(0);
    w.enqueue(&sim.light, 2);
    const int commands = sim.light.commandCount();
    const QString loaded = cell(w, 3, LoadedCol);
    earlier->finishWithData({0, QByteArray(96, 'x')});
    QCOMPARE(sim.light.commandCount(), commands);
    QCOMPARE(cell(w, 3, LoadedCol), loaded);
    QSignalSpy done(&w, &QueueWindow::downloadComplete);
    sim.hold = false;
    QVERIFY(sim.answerOne());
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(fileData(dir->filePath("Jrn00003.bin")), sim.journal.left(192));
}

void TestQueueWindow::journalDownload_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<int>("blockLength");
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<QString>("loadedText");
    QTest::addColumn<int>("commands");

    const QByteArray recs = journalRecords(36, 0); // 3 blocks of 96
    QTest::newRow("binary, erased after 3 blocks")
        << "Вегал V3.16" << -1 << recs << 96 << recs << "3 blocks" << 4;
    QTest::newRow("binary, erased at record 1 of block 3")
        << "Вегал V3.15" << -1 << recs + journalRecords(1, 36) << 96 << recs + journalRecords(1, 36)
        << "3 blocks" << 4;
    QTest::newRow("binary, limit 2") << "x" << 2 << recs << 96 << recs.left(192) << "2 blocks" << 2;
    QTest::newRow("binary, empty journal")
        << "x" << -1 << QByteArray() << 96 << QByteArray() << "0" << 1;
    QTest::newRow("binary, 344 blocks at most") << "x" << -1 << journalRecords(400, 0) << 8
                                                << journalRecords(344, 0) << "344 blocks" << 344;
    const QByteArray text = textLines(30, 0);
    QTest::newRow("tm_helix text") << "TM_HELIX" << -1 << text << 64 << text
                                   << QString("%1 blocks").arg(text.size() / 64) << 0;
    QTest::newRow("vegal text, limit 2")
        << "Vegal2" << 2 << text << 64 << text.left(128) << "2 blocks" << 2;
    QTest::newRow("зелта text in one block")
        << "ЗЕЛТА" << -1 << textLines(2, 0) << 64 << textLines(2, 0) << "0" << 1;
}

void TestQueueWindow::journalDownload()
{
    QFETCH(QString, type);
    QFETCH(int, blocks);
    QFETCH(QByteArray, journal);
    QFETCH(int, blockLength);
    QFETCH(QByteArray, saved);
    QFETCH(QString, loadedText);
    QFETCH(int, commands);
    QueueWindow w(nullptr, true);
    w.setSaveDir(QDir(dir->path()));
    QueueSim sim(5, type);
    sim.journal = journal;
    sim.blockLength = blockLength;
    sim.textJournal = type.toLower() != QLatin1String("x") && !type.startsWith("Вегал");
    QSignalSpy done(&w, &QueueWindow::downloadComplete);
    QSignalSpy failed(&w, &QueueWindow::downloadFailed);
    w.enqueue(&sim.light, blocks);
    QTRY_COMPARE(done.count(), 1);
    const QString path = QDir(dir->path()).absoluteFilePath("Jrn00005.bin");
    QCOMPARE(done.at(0).at(1).toString(), path);
    QCOMPARE(fileData(path), saved);
    QCOMPARE(cell(w, 5, StatusCol), QStringLiteral("completed"));
    QCOMPARE(cell(w, 5, LoadedCol), loadedText);
    QCOMPARE(barOf(w, 5)->maximum(), 100);
    QCOMPARE(barOf(w, 5)->value(), 100);
    if (commands > 0)
        QCOMPARE(sim.light.commandCount(), commands);
    QTest::qWait(5);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(done.count(), 1);
}

void TestQueueWindow::configDownload_data()
{
    QTest::addColumn<QString>("lightType");
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<QString>("loadedText");

    const QByteArray image = wordsLE({6, 500, 0xFFFF}) + QByteArray(700, 'i');
    QTest::newRow("binary 502") << "Вегал V3.17" << 7 << QByteArray() << image << image.left(502)
                                << "dat00007.cnf"
                                << "Вегал V3.17"
                                << "502 bytes";
    QTest::newRow("binary, long id")
        << "x" << 123456 << QByteArray() << image << image.left(502) << "dat123456.cnf"
        << "x"
        << "502 bytes";
    const QByteArray text("line 1\nline 2\nEND.\ngarbage");
    QTest::newRow("text") << "x" << 8 << QByteArray("#TxtCfg 2.1\n") << text
                          << QByteArray("line 1\nline 2\nEND.") << "dat00008.cnf"
                          << "Adapter"
                          << "12 bytes";
    const QByteArray json = QByteArray("{\"k\":\"") + QByteArray(300, 'j') + "\"}";
    QTest::newRow("json vegal2, zero byte") << "x" << 9 << QByteArray("#jcfg len=5000 type=vegal2 ")
                                            << json + '\0' + "junk" << json << "dat00009.json"
                                            << "vegal2"
                                            << "227 bytes";
    QTest::newRow("json, size reached")
        << "x" << 10 << QByteArray("#jcfg len=250 ") << json << json.left(250) << "dat00010.json"
        << "TM_HELIX3"
        << "250 bytes";
    // Marked by the light's type: even a first piece without header is a header.
    QTest::newRow("tm_helix light") << "tm_helix" << 11 << QByteArray("#jcfg type=TM_HELIX3 ")
                                    << json + '\0' << json << "dat00011.json"
                                    << "TM_HELIX3"
                                    << "221 bytes";
}

void TestQueueWindow::configDownload()
{
    QFETCH(QString, lightType);
    QFETCH(int, id);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, saved);
    QFETCH(QString, fileName);
    QFETCH(QString, typeText);
    QFETCH(QString, loadedText);
    QueueWindow w(nullptr, false);
    w.setSaveDir(QDir(dir->path()));
    QueueSim sim(id, lightType);
    sim.header = header;
    sim.body = body;
    QSignalSpy done(&w, &QueueWindow::downloadComplete);
    w.enqueue(&sim.light, -1);
    QTRY_COMPARE(done.count(), 1);
    const QString path = QDir(dir->path()).absoluteFilePath(fileName);
    QCOMPARE(done.at(0).at(1).toString(), path);
    QCOMPARE(sim.light.property("dqueue_config").toString(), path);
    QCOMPARE(fileData(path), saved);
    QCOMPARE(cell(w, id, TypeCol), typeText);
    QCOMPARE(cell(w, id, LoadedCol), loadedText);
    QCOMPARE(cell(w, id, StatusCol), QStringLiteral("completed"));
}

void TestQueueWindow::stopAndResume()
{
    QueueWindow w(nullptr, true);
    w.setSaveDir(QDir(dir->path()));
    QueueSim a(21), b(22);
    a.hold = b.hold = true;
    a.journal = journalRecords(60, 0);
    b.journal = journalRecords(60, 100);
    w.enqueue(&a.light, 4);
    w.enqueue(&b.light, -1);
    QVERIFY(a.answerOne());
    QVERIFY(a.answerOne());
    QVERIFY(b.answerOne());

    // Resume of a row that is not stopped changes nothing.
    selectCells(w, {{21, ObjectCol}});
    w.resumeDownloading();
    QCOMPARE(a.light.commandCount(), 3);
    QCOMPARE(cell(w, 21, StatusCol), QStringLiteral("downloading"));

    // All six cells of one row: stopped once.
    selectCells(w, {{21, 0}, {21, 1}, {21, 2}, {21, 3}, {21, 4}, {21, 5}});
    QSignalSpy failed(&w, &QueueWindow::downloadFailed);
    w.stopDownloading();
    QCOMPARE(cell(w, 21, StatusCol), QStringLiteral("interrupted"));
    QCOMPARE(cell(w, 22, StatusCol), QStringLiteral("downloading"));
    QCOMPARE(barOf(w, 21)->maximum(), 100);
    QCOMPARE(barOf(w, 21)->value(), 0);
    QCOMPARE(fileData(dir->filePath("Jrn00021.bin")), a.journal.left(192));
    QVERIFY(!QFile::exists(dir->filePath("Jrn00022.bin")));

    w.resumeDownloading();
    QCOMPARE(cell(w, 21, StatusCol), QStringLiteral("downloading"));
    QCOMPARE(a.light.lastCommand().args, QVariantList{2});
    QCOMPARE(barOf(w, 21)->maximum(), 4);
    QCOMPARE(barOf(w, 21)->value(), 2);
    // Resumed: a lost link that comes back carries it on.
    a.light.setConnected(false);
    a.light.setConnected(true);
    QCOMPARE(a.light.lastCommand().args, QVariantList{2});
    QSignalSpy done(&w, &QueueWindow::downloadComplete);
    while (a.answerOne()) {
    }
    QCOMPARE(done.count(), 1);
    QCOMPARE(fileData(dir->filePath("Jrn00021.bin")), a.journal.left(4 * 96));
    QCOMPARE(failed.count(), 0);
}

void TestQueueWindow::rowsFollowSortingAndRemoval()
{
    QueueWindow w(nullptr, false);
    w.setSaveDir(QDir(dir->path()));
    std::vector<std::unique_ptr<QueueSim>> sims;
    // Six that stay or go, and others that go: the rows removed lie apart.
    QList<int> ids{5, 40, 3, 17, 200, 9};
    for (int id = 300; id < 320; ++id)
        ids << id;
    for (int id : ids) {
        sims.emplace_back(new QueueSim(id, QStringLiteral("t%1").arg(id % 7)));
        sims.back()->hold = true;
        sims.back()->body = wordsLE({4, 998}) + QByteArray(996, char(id));
        w.enqueue(&sims.back()->light, -1);
    }
    QTableWidget* t = tableOf(w);
    // Until the operator sorts, rows stand in queue order.
    for (int i = 0; i < int(sims.size()); ++i)
        QCOMPARE(rowOf(w, sims[size_t(i)]->light.property("id").toInt()), i);
    t->sortByColumn(TypeCol, Qt::AscendingOrder);
    QObjectList removed{&sims[1]->light, &sims[4]->light};
    for (size_t i = 6; i < sims.size(); ++i)
        removed << &sims[i]->light;
    w.clearQueue(removed);
    QCOMPARE(t->rowCount(), 4);
    // The rows left keep the operator's order, and their numbers.
    QStringList types, objects;
    for (int r = 0; r < t->rowCount(); ++r) {
        types << t->item(r, TypeCol)->text();
        objects << t->item(r, ObjectCol)->text();
    }
    QCOMPARE(types, (QStringList{"t2", "t3", "t3", "t5"}));
    QCOMPARE(objects, (QStringList{"9", "3", "17", "5"}));
    sims.resize(6);
    t->sortByColumn(ObjectCol, Qt::DescendingOrder);
    // Every answer lands in its own row, whatever moved.
    for (auto& s : sims)
        s->answerOne();
    for (int id : {5, 3, 17, 9}) {
        QCOMPARE(cell(w, id, LoadedCol), QStringLiteral("200 bytes"));
        QCOMPARE(barOf(w, id)->maximum(), 1000);
        QCOMPARE(barOf(w, id)->value(), 200);
    }
    // Sorting by a column that changes with every answer.
    t->sortByColumn(LoadedCol, Qt::AscendingOrder);
    sims[2]->answerOne();
    sims[2]->answerOne();
    sims[0]->answerOne();
    QCOMPARE(cell(w, 3, LoadedCol), QStringLiteral("600 bytes"));
    QCOMPARE(cell(w, 5, LoadedCol), QStringLiteral("400 bytes"));
    QCOMPARE(cell(w, 17, LoadedCol), QStringLiteral("200 bytes"));
    QCOMPARE(barOf(w, 3)->value(), 600);
    // Each row's cells are those of one item.
    for (int r = 0; r < t->rowCount(); ++r) {
        QObject* light = t->item(r, ObjectCol)->data(Qt::UserRole).value<QObject*>();
        QCOMPARE(t->row(w.rows.value(light).cells[StatusCol]), r);
    }
}

void TestQueueWindow::numbersSortAsNumbers_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ascending");
    QTest::newRow("Object") << int(ObjectCol) << QStringList{"9", "15", "124"};
    QTest::newRow("Loaded") << int(LoadedCol) << QStringList{"9 blocks", "15 blocks", "124 blocks"};
    QTest::newRow("Errors") << int(ErrorsCol) << QStringList{"9", "15", "124"};
}

void TestQueueWindow::numbersSortAsNumbers()
{
    QFETCH(int, column);
    QFETCH(QStringList, ascending);
    QueueWindow w(nullptr, true);
    w.setSaveDir(QDir(dir->path()));
    std::vector<std::unique_ptr<QueueSim>> sims;
    for (int id : {15, 124, 9}) {
        sims.push_back(std::make_unique<QueueSim>(id));
        sims.back()->hold = true;
        w.enqueue(&sims.back()->light, -1);
        QueueItem& item = itemOf(w, &sims.back()->light);
        item.shown.loadedText = AnswerOutcome::Blocks;
        item.shown.loadedValue = item.errors = id;
        w.itemChanged(&sims.back()->light);
    }
    w.showChanges();
    QTableWidget* t = tableOf(w);
    t->sortByColumn(column, Qt::AscendingOrder);
    QStringList texts;
    for (int r = 0; r < t->rowCount(); ++r)
        texts << t->item(r, column)->text();
    QCOMPARE(texts, ascending);
}

void TestQueueWindow::clearQueueWithList()
{
    QueueWindow w(nullptr, true);
    w.setSaveDir(QDir(dir->path()));
    QueueSim a(41), b(42);
    a.hold = b.hold = true;
    a.journal = b.journal = journalRecords(40, 0);
    w.enqueue(&a.light, -1);
    w.enqueue(&b.light, -1);
    HostLight unqueued(99);
    w.clearQueue(QObjectList{nullptr, &unqueued});
    QCOMPARE(tableOf(w)->rowCount(), 2);
    w.clearQueue(QObjectList());
    QCOMPARE(tableOf(w)->rowCount(), 2);
    w.clearQueue(QObjectList{&a.light});
    QCOMPARE(tableOf(w)->rowCount(), 1);
    QCOMPARE(rowOf(w, 41), -1);
    // The removed item's answer is dropped, the other item still works.
    QVERIFY(a.answerOne());
    QVERIFY(b.answerOne());
    QCOMPARE(a.light.commandCount(), 1);
    QCOMPARE(b.light.commandCount(), 2);
    // Queued again after removal: a fresh row, one link connection.
    w.enqueue(&a.light, -1);
    QCOMPARE(tableOf(w)->rowCount(), 2);
    QCoreApplication::processEvents();
    a.light.setConnected(false);
    a.light.setConnected(true);
    QCOMPARE(a.light.commandCount(), 3);
}

void TestQueueWindow::failureTextShownAsText()
{
    // A response's text is shown as it is, never laid out as markup, and cut short.
    QueueWindow w(nullptr, true);
    w.setSaveDir(QDir(dir->path()));
    QueueSim sim(61);
    sim.hold = true;
    w.enqueue(&sim.light, -1);
    QVERIFY(sim.light.failNext(5, "<img src=x width=30000 height=30000>" + QString(5000, 'x')));
    w.showChanges();
    QTextDocument shown;
    shown.setHtml(tableOf(w)->item(rowOf(w, 61), StatusCol)->toolTip());
    QVERIFY2(shown.toPlainText().startsWith("<img src=x width=30000 height=30000>xxx"),
             qPrintable(shown.toPlainText().left(100)));
    QVERIFY(shown.toPlainText().size() < 1000);
}

void TestQueueWindow::viewAndRunEditor()
{
    QueueWindow jw(nullptr, true);
    jw.setSaveDir(QDir(dir->path()));
    QueueSim a(51), b(52), c(53);
    a.hold = b.hold = c.hold = true;
    a.journal = b.journal = journalRecords(30, 0);
    jw.enqueue(&a.light, -1);
    jw.enqueue(&b.light, -1);
    jw.enqueue(&c.light, -1);
    QVERIFY(a.answerOne());
    QVERIFY(b.answerOne());
    QSignalSpy views(&jw, &QueueWindow::viewJournalRequested);
    // No bytes yet: nothing opens.
    QMetaObject::invokeMethod(&jw, "on_queueTable_cellDoubleClicked", Q_ARG(int, rowOf(jw, 53)),
                              Q_ARG(int, 2));
    QCoreApplication::processEvents();
    QCOMPARE(views.count(), 0);
    selectCells(jw, {{51, 0}, {51, 3}, {51, 5}, {52, 1}, {53, 0}});
    QMetaObject::invokeMethod(&jw, "openConfigEditor");
    QCOMPARE(views.count(), 0); // opened from the event loop, once the action has returned
    QCoreApplication::processEvents();
    QCOMPARE(views.count(), 2);
    QCOMPARE(views.at(0).at(0).toInt(), 316); // the light's generation
    QCOMPARE(views.at(0).at(1).toByteArray(), a.journal.left(96));
    QCOMPARE(views.at(0).at(2).toString(), QString());
    QCOMPARE(views.at(0).at(3).toString(), QDir(dir->path()).absolutePath());
    QCOMPARE(views.at(0).at(4).toInt(), 51); // the controller, for the viewer's title
    QCOMPARE(views.at(0).at(5).toString(), a.light.property("type").toString());
    // Given back to its file under the memory budget: View opens the file.
    jw.engine->setMemoryBudget(0);
    while (a.answerOne()) {
    }
    QVERIFY(itemOf(jw, &a.light).memory.givenBack);
    selectCells(jw, {{51, 0}});
    QMetaObject::invokeMethod(&jw, "openConfigEditor");
    QCoreApplication::processEvents();
    QCOMPARE(views.count(), 3);
    QCOMPARE(views.at(2).at(1).toByteArray(), QByteArray());
    QCOMPARE(views.at(2).at(2).toString(), jw.engine->itemFileName(&a.light));

    QueueWindow cw(nullptr, false);
    cw.setSaveDir(QDir(dir->path()));
    QueueSim d(54);
    d.hold = true;
    d.body = wordsLE({4, 298}) + QByteArray(400, 'c');
    cw.enqueue(&d.light, -1);
    QSignalSpy open(&cw, &QueueWindow::openConfig);
    QVERIFY(d.answerOne());
    QMetaObject::invokeMethod(&cw, "on_queueTable_cellDoubleClicked", Q_ARG(int, rowOf(cw, 54)),
                              Q_ARG(int, 0));
    QCoreApplication::processEvents();
    QCOMPARE(open.count(), 0);
    while (d.answerOne()) {
    }
    QCOMPARE(cell(cw, 54, StatusCol), QStringLiteral("completed"));
    QMetaObject::invokeMethod(&cw, "on_queueTable_cellDoubleClicked", Q_ARG(int, rowOf(cw, 54)),
                              Q_ARG(int, 0));
    selectCells(cw, {{54, 1}, {54, 4}});
    QMetaObject::invokeMethod(&cw, "openConfigEditor");
    QCoreApplication::processEvents();
    QCOMPARE(open.count(), 2);
    QCOMPARE(open.at(0).at(0).value<QObject*>(), &d.light);
}

void TestQueueWindow::doubleClickOpensAfterTheClick_data()
{
    QTest::addColumn<bool>("windowGone");
    QTest::addColumn<bool>("lightGone");
    QTest::newRow("opens") << false << false;
    QTest::newRow("host deleted its main window") << true << false;
    QTest::newRow("light deleted") << false << true;
}

void TestQueueWindow::doubleClickOpensAfterTheClick()
{
    QFETCH(bool, windowGone);
    QFETCH(bool, lightGone);
    // A long open runs events (its progress), in which the host may delete its
    // main window: the table's mouse handler must have returned by then.
    auto host = std::make_unique<QMainWindow>();
    auto* jw = new QueueWindow(host.get(), true);
    host->setCentralWidget(jw);
    jw->setSaveDir(QDir(dir->path()));
    auto sim = std::make_unique<QueueSim>(61);
    sim->hold = true;
    sim->journal = journalRecords(30, 0);
    jw->enqueue(&sim->light, -1);
    QVERIFY(sim->answerOne());
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));
    QTableWidget* table = tableOf(*jw);
    const QRect cellRect = table->visualItemRect(table->item(rowOf(*jw, 61), ObjectCol));
    int views = 0;
    connect(jw, &QueueWindow::viewJournalRequested, this, [&views] { ++views; });
    // The press that starts a double click, then the double click itself.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cellRect.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cellRect.center());
    QCOMPARE(views, 0);
    if (windowGone)
        host.reset();
    if (lightGone)
        sim.reset();
    QCoreApplication::processEvents();
    QCOMPARE(views, windowGone || lightGone ? 0 : 1);
}

void TestQueueWindow::fiftyLightsAtOnce()
{
    QueueWindow jw(nullptr, true), cw(nullptr, false);
    jw.setSaveDir(QDir(dir->path()));
    cw.setSaveDir(QDir(dir->path()));
    // Retries come at once: each tick still counts as a second.
    jw.engine->setTickInterval(5);
    cw.engine->setTickInterval(5);
    QSignalSpy jdone(&jw, &QueueWindow::downloadComplete),
        cdone(&cw, &QueueWindow::downloadComplete);
    QSignalSpy jfailed(&jw, &QueueWindow::downloadFailed),
        cfailed(&cw, &QueueWindow::downloadFailed);

    struct Case
    {
        std::unique_ptr<QueueSim> sim;
        bool journal;
        int blocks;
        QByteArray expected;
        QString file;
    };
    std::vector<Case> cases;
    const QStringList journalTypes{"Вегал V3.15", "TM_HELIX", "vegal2", "зелта", "Вегал V3.17"};
    for (int i = 0; i < 50; ++i) {
        const int id = 1000 + i;
        Case c;
        c.journal = i % 2 == 0;
        const QString type = c.journal ? journalTypes[i / 2 % journalTypes.size()]
                                       : QStringLiteral("cfg%1").arg(i % 3);
        c.sim.reset(new QueueSim(id, type));
        QueueSim& s = *c.sim;
        if (i % 7 == 3)
            s.failEvery = 3; // some answers fail and are retried
        if (c.journal) {
            const bool text = i / 2 % journalTypes.size() >= 1 && i / 2 % journalTypes.size() <= 3;
            s.textJournal = text;
            s.blockLength = text ? 40 : 96;
            // Binary: whole blocks, the last one erased space.
            s.journal = text ? textLines(20 + i, 100 + i * 60)
                             : journalRecords(12 * (2 + i % 3), 100 + i * 60);
            c.blocks = i % 6 == 0 ? -3 : -1;
            c.file = dir->filePath(QString("Jrn%1.bin").arg(id, 5, 10, QChar('0')));
            if (c.blocks == -3) {
                // An older file whose newest entry the controller still holds.
                const QByteArray old = text ? textLines(8, 0) : journalRecords(8, 0);
                QVERIFY(writeFile(c.file, old));
                c.expected = s.journal + old;
                s.journal += old;
            } else {
                c.expected = s.journal;
            }
        } else {
            c.blocks = -1;
            switch (i % 3) {
            case 0: {
                s.body =
                    wordsLE({6, quint16(900 + i), 0xFFFF}) + QByteArray(1200, char('a' + i % 20));
                c.expected = s.body.left(902 + i);
                c.file = dir->filePath(QString("dat%1.cnf").arg(id, 5, 10, QChar('0')));
                break;
            }
            case 1:
                s.header = "#TxtCfg 1\n";
                s.body = QByteArray(500 + i, 't') + "END.tail";
                c.expected = QByteArray(500 + i, 't') + "END.";
                c.file = dir->filePath(QString("dat%1.cnf").arg(id, 5, 10, QChar('0')));
                break;
            default:
                s.header = "#jcfg len=99999 type=TM_HELIX3 ";
                s.body = "{" + QByteArray(700 + i, 'j') + "}" + QByteArray(1, '\0') + "x";
                c.expected = "{" + QByteArray(700 + i, 'j') + "}";
                c.file = dir->filePath(QString("dat%1.json").arg(id, 5, 10, QChar('0')));
                break;
            }
        }
        cases.push_back(std::move(c));
    }
    for (Case& c : cases)
        (c.journal ? jw : cw).enqueue(&c.sim->light, c.blocks);

    // Some are stopped part way and resumed; one loses its link for a while.
    QTest::qWait(2);
    for (QueueWindow* w : {&jw, &cw}) {
        selectCells(*w, {{1004, 0}, {1005, 2}, {1010, 5}, {1011, 3}});
        w->stopDownloading();
    }
    cases[20].sim->light.setConnected(false);
    QTest::qWait(20);
    for (QueueWindow* w : {&jw, &cw})
        w->resumeDownloading();
    cases[20].sim->light.setConnected(true);

    QTRY_VERIFY_WITH_TIMEOUT(jdone.count() + cdone.count() >= 50, 20000);
    QCOMPARE(jfailed.count() + cfailed.count(), 0);
    for (const Case& c : cases) {
        QVERIFY2(fileData(c.file) == c.expected, qPrintable(c.file));
        QCOMPARE(cell(c.journal ? jw : cw, c.sim->light.property("id").toInt(), StatusCol),
                 QStringLiteral("completed"));
    }
    QCOMPARE(jdone.count(), 25);
    QCOMPARE(cdone.count(), 25);
}

void TestQueueWindow::barsShownForRowsInView()
{
    // Only the rows in view have their progress bars shown and placed;
    // scrolling brings the others.
    QueueWindow w(nullptr, true);
    w.setSaveDir(QDir(dir->path()));
    w.resize(500, 250);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    std::vector<std::unique_ptr<QueueSim>> sims;
    for (int id = 1; id <= 100; ++id) {
        sims.push_back(std::make_unique<QueueSim>(id));
        sims.back()->hold = true;
        w.enqueue(&sims.back()->light, 10);
    }
    QTableWidget* t = tableOf(w);
    const auto inView = [t](QProgressBar* bar) {
        return bar->isVisible() && t->viewport()->rect().intersects(bar->geometry());
    };
    QTRY_VERIFY(inView(barOf(w, 1)));
    QVERIFY(!barOf(w, 100)->isVisible());
    t->scrollToBottom();
    QTRY_VERIFY(inView(barOf(w, 100)));
    QVERIFY(!barOf(w, 1)->isVisible());
    QCOMPARE(barOf(w, 100)->maximum(), 10);
}

QTEST_MAIN(TestQueueWindow)
#include "tst_queuewindow.moc"
