// The journal viewer on a real X display (ctest starts it with xvfb-run),
// reached as the host reaches it: the built module loaded with QPluginLoader,
// its properties set and viewJournal invoked by name. The keys go to the
// table as the operator types them there.
#include "host/controllerdata.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPluginLoader>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

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
    // F3 from the table moves to the next match, the others staying selected.
    table->setFocus();
    QTest::keyClick(table, Qt::Key_F3);
    QTest::keyClick(table, Qt::Key_F3);
    const QModelIndex current = table->currentIndex();
    QCOMPARE(current, table->model()->index(2, 0));
    QVERIFY(table->hasFocus());
    const QModelIndex other = table->model()->index(1, 0);
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
    QStringList rows;
    for (int r : {4, 5}) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c)
            cells << table->item(r, c)->text();
        rows << cells.join('\t');
    }
    QTRY_COMPARE(QGuiApplication::clipboard()->text(), rows.join('\n') + '\n');
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
