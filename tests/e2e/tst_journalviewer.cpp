// The journal viewer on a real X display (ctest starts it with xvfb-run),
// reached as the host reaches it: the built module loaded with QPluginLoader,
// its properties set and viewJournal invoked by name. The keys go to the
// table as the operator types them there.
#include "host/controllerdata.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPluginLoader>
#include <QSettings>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

QWidget* shownTopLevel(const char* className)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits(className) && w->isVisible())
            return w;
    return nullptr;
}

} // namespace

class TestJournalViewer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void viewerAsTheHostOpensIt();

private:
    bool view(const QString& path);

    QPluginLoader loader;
    QTemporaryDir dir;
};

void TestJournalViewer::initTestCase()
{
    qInfo("platform %s", qPrintable(QGuiApplication::platformName()));
    QVERIFY(dir.isValid());
    // What the viewer keeps goes here, not into the user's settings.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    loader.setFileName(qEnvironmentVariable("DQ_MODULE"));
    QVERIFY2(loader.load(), qPrintable(loader.errorString()));
    QObject* module = loader.instance();
    module->setProperty("journalDir", dir.path());
    module->setProperty("configDir", dir.path());
}

bool TestJournalViewer::view(const QString& path)
{
    QString p = path; // taken by reference
    return QMetaObject::invokeMethod(loader.instance(), "viewJournal", Q_ARG(int, 317),
                                     Q_ARG(QString&, p));
}

void TestJournalViewer::viewerAsTheHostOpensIt()
{
    // Twelve records a minute apart, 10:09 to 10:20, newest first on screen:
    // "10:1" is in the Time of the ten in the middle rows 1 to 10.
    QByteArray journal;
    const QVector<int>& codes = ControllerData::messageCodes(317);
    for (int i = 11; i >= 0; --i)
        journal += ControllerData::binaryRecord(QDateTime(QDate(2026, 3, 8), QTime(10, 9 + i)), 1,
                                                codes.at(i % codes.size()));
    const QString path = dir.filePath("Jrn00025.bin");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(journal) == journal.size());
    file.close();
    QVERIFY(view(path));
    auto* dlg = qobject_cast<QDialog*>(shownTopLevel("JournalViewDlg"));
    QVERIFY(dlg);
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Journal view - Jrn00025.bin"));
    dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dlg));
    auto* table = dlg->findChild<QTableWidget*>("journalTable");
    auto* find = dlg->findChild<QLineEdit*>("findEdit");
    QVERIFY(table && find);
    QCOMPARE(table->rowCount(), 12);

    // Ctrl+F from the table goes to the search field, its text selected.
    find->setText("10:1");
    table->setFocus();
    QTest::keySequence(table, QKeySequence::Find);
    QVERIFY(find->hasFocus());
    QCOMPARE(find->selectedText(), QStringLiteral("10:1"));
    // The typed search went to the first match from where the operator was
    // (nowhere: the top); F3 from the table moves on from there, the others
    // staying selected, and the place is told.
    table->setFocus();
    QTest::keyClick(table, Qt::Key_F3);
    QTest::keyClick(table, Qt::Key_F3);
    const QModelIndex current = table->currentIndex();
    QCOMPARE(current, table->model()->index(3, 0));
    QCOMPARE(dlg->findChild<QLabel*>("matchPosition")->text(), QStringLiteral("3 of 10"));
    // Time stays at the left, as wide as its text, through zooming in and out.
    auto* time = dlg->findChild<QTableView*>("frozenTime");
    QVERIFY(time && time->isVisible());
    QTest::keySequence(table, QKeySequence::ZoomIn);
    QTest::keySequence(table, QKeySequence::ZoomIn);
    QTest::keySequence(table, QKeySequence::ZoomOut);
    const int textWidth = table->fontMetrics().horizontalAdvance(table->item(0, 0)->text());
    QVERIFY(table->columnWidth(0) > textWidth && time->width() == table->columnWidth(0));
    QVERIFY(table->hasFocus());
    const QModelIndex other = table->model()->index(1, 0);
    QApplication::processEvents();
    QVERIFY(table->selectionModel()->isSelected(other));
    // The current match looks unlike the other matches.
    QApplication::processEvents();
    const QImage image = table->viewport()->grab().toImage();
    const auto background = [&](const QModelIndex& index) {
        const QRect r = table->visualRect(index);
        return image.pixelColor(r.right() - 3, r.center().y());
    };
    QVERIFY(background(current) != background(other));

    // Ctrl+C in the table: the selected rows, whole, tab-separated, as shown.
    table->clearSelection();
    table->selectionModel()->select(
        QItemSelection(table->model()->index(4, 0), table->model()->index(5, 0)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keySequence(table, QKeySequence::Copy);
    // With a header, the controller of the file's name and the year.
    QStringList rows{"Controller\tDate\tTime\tMessage\tSource"};
    for (int r : {4, 5}) {
        QStringList cells{"25", "08.03.2026"};
        for (int c = 0; c < table->columnCount(); ++c)
            cells << table->item(r, c)->text();
        rows << cells.join('\t');
    }
    QTRY_COMPARE(QGuiApplication::clipboard()->text(), rows.join('\n') + '\n');

    // Go to a time as typed, without a date: the journal's own day.
    QTimer::singleShot(0, dlg, [] {
        QWidget* ask = QApplication::activeModalWidget();
        auto* edit = ask ? ask->findChild<QLineEdit*>("timeEdit") : nullptr;
        if (edit) {
            edit->setText("10:15");
            QTest::keyClick(edit, Qt::Key_Return);
        }
    });
    QTest::keySequence(table, QKeySequence(Qt::CTRL | Qt::Key_G));
    QCOMPARE(table->item(table->currentIndex().row(), 0)->text(), QStringLiteral("08.03 10:15:00"));
    const int zoomedWidth = table->columnWidth(0);
    dlg->close();

    // Reopened: the zoom kept, Time as wide as its text again.
    QVERIFY(view(path));
    dlg = qobject_cast<QDialog*>(shownTopLevel("JournalViewDlg"));
    QVERIFY(dlg);
    QCOMPARE(dlg->findChild<QTableWidget*>("journalTable")->columnWidth(0), zoomedWidth);
    // A binary journal has no levels to filter.
    QVERIFY(!dlg->findChild<QWidget*>("levelE")->isVisible());
    dlg->close();

    // A text journal: E alone hides the other levels, with "Only matches" too.
    const QString textPath = dir.filePath("Jrn00026.bin");
    QFile text(textPath);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write(QByteArrayLiteral("08.03.26 10:00:00 E 5 pump\0"
                                 "08.03.26 10:00:01 W 5 pump\0"
                                 "08.03.26 10:00:02 E 5 door\0"));
    text.close();
    QString p = textPath;
    QVERIFY(QMetaObject::invokeMethod(loader.instance(), "viewJournal", Q_ARG(int, 0x2FFFF),
                                      Q_ARG(QString&, p)));
    dlg = qobject_cast<QDialog*>(shownTopLevel("JournalViewDlg"));
    QVERIFY(dlg);
    table = dlg->findChild<QTableWidget*>("journalTable");
    const auto shown = [table] {
        QStringList cells;
        for (int r = 0; r < table->rowCount(); ++r)
            if (!table->isRowHidden(r))
                cells << table->item(r, 1)->text() + table->item(r, 2)->text();
        return cells.join(',');
    };
    QCOMPARE(shown(), QStringLiteral("Edoor,Wpump,Epump"));
    QTest::mouseClick(dlg->findChild<QToolButton*>("levelE"), Qt::LeftButton);
    QCOMPARE(shown(), QStringLiteral("Edoor,Epump"));
    dlg->findChild<QLineEdit*>("findEdit")->setText("pump");
    QTest::mouseClick(dlg->findChild<QCheckBox*>("onlyMatches"), Qt::LeftButton);
    QCOMPARE(shown(), QStringLiteral("Epump"));
    dlg->close();

    // A journal the viewer refuses (a directory is no journal file) is told
    // in a box that leaves the host's call to return at once.
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^Cannot view the journal "));
    QVERIFY(view(dir.path()));
    auto* box = qobject_cast<QMessageBox*>(shownTopLevel("QMessageBox"));
    QVERIFY(box);
    QVERIFY(!box->isModal());
    QVERIFY2(box->text().startsWith("Cannot view the journal "), qPrintable(box->text()));
    box->close();
}

QTEST_MAIN(TestJournalViewer)
#include "tst_journalviewer.moc"
