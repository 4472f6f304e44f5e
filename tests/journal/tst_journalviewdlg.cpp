#include "journal/journaltimelineview.h"
#include "journal/journalviewdlg.h"
#include "journal/journalviewsettings.h"
#include "journal/messagedefinitionparser.h"
#include "savedialogdriver.h"
#include "tests/specialfiles.h"
#include "viewerfixtures.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolTip>
#include <QVBoxLayout>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <memory>

using namespace ViewerFixtures;

namespace {

const QString TextFilter = QStringLiteral("Text files (*.txt)");
const QString CsvFilter = QStringLiteral("csv files (*.csv)");
const QString BinFilter = QStringLiteral("Binary files (*.bin)");

QTableWidget* tableOf(QWidget* dlg)
{
    return dlg->findChild<QTableWidget*>(QStringLiteral("journalTable"));
}

QStringList rowTexts(const QTableWidget* table, int row)
{
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c)
        texts << (table->item(row, c) ? table->item(row, c)->text() : QString());
    return texts;
}

QByteArray textJournal(const QList<QStringList>& lines)
{
    QByteArray data;
    for (const QStringList& l : lines)
        data += textLine(l.at(0), l.at(1), l.at(2), l.at(3), l.at(4));
    return data;
}

// 300 lines shown newest first, so line i lands in row 299 - i: "needle" is the
// Source of row 0 and in the Message of rows 239 and 279.
QByteArray needleJournal()
{
    QList<QStringList> lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringList{
            "04.03.21", QStringLiteral("10:%1:%2").arg(i / 60).arg(i % 60, 2, 10, QLatin1Char('0')),
            "E", i == 299 ? "needle" : "src", i == 60 || i == 20 ? "a needle" : "text"};
    return textJournal(lines);
}

std::unique_ptr<JournalViewDlg> textDialog(const QByteArray& data,
                                           const QString& saveDir = QString())
{
    auto dlg = std::make_unique<JournalViewDlg>(nullptr, data, saveDir);
    dlg->load(QString());
    return dlg;
}

} // namespace

class TestJournalViewDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void form();
    void textJournalHasTypeColumn();
    void unreadableDefinitionFileLeavesTableEmpty_data();
    void unreadableDefinitionFileLeavesTableEmpty();
    void sameTimeStampKeepsOwnRows();
    void search_data();
    void search();
    void searchCountsEveryMatch();
    void typedSearchGoesToTheNearestMatch();
    void findNextAndPrevious_data();
    void findNextAndPrevious();
    void copy_data();
    void copy();
    void findFromAnywhere();
    void timeline();
    void goToTime_data();
    void goToTime();
    void saveStartsInFirstClickedDialogsDirectory();
    void timeSortsByWhenWritten(); // saves: after the test of the first click
    void onlyMatches();            // clicks a save button: after the test of the first click
    void editedCellIsSearchedAndSaved();
    void save_data();
    void save();
    void saveFollowsUserSorting();
    void cancelledSaveWritesNothing();
    void saveOffersNameAndLastFilter();
    void remembersSizeWidthsAndFont();
    void keptLayoutFitsTheScreen();
    void messageColumnTakesTheRoomLeft();
    void cutCellShowsItsTextAsTooltip();
    void failedSaveKeepsFileAndWarns_data();
    void failedSaveKeepsFileAndWarns();

private:
    QTemporaryDir m_dir;
    SaveDialogDriver m_driver;
    QString m_mesPath;
};

void TestJournalViewDlg::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QVERIFY(m_dir.isValid());
    keepSettingsIn(m_dir.path());
    m_mesPath = m_dir.filePath(QStringLiteral("Notepad.mes.test"));
    QVERIFY(writeFile(m_mesPath, definitionFile({{1, QStringLiteral("Сбой процессора")},
                                                 {2, QStringLiteral("Door open")},
                                                 {3, QStringLiteral("Parameter $i")}})));
}

void TestJournalViewDlg::cleanup()
{
    // What one test's dialogs kept does not reach the next.
    QSettings(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
              QCoreApplication::applicationName())
        .remove(QStringLiteral("Plugins/DownloadQueue/journalView"));
}

void TestJournalViewDlg::form()
{
    JournalViewDlg dlg(nullptr, QByteArray(), QString());
    dlg.load(m_mesPath);
    QCOMPARE(dlg.objectName(), QStringLiteral("JournalViewDlg"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Journal view"));
    QCOMPARE(dlg.size(), QSize(712, 576));

    QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("label"))->text(),
             QStringLiteral("Quick search:"));
    QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("label_2"))->text(), QStringLiteral("matches:"));
    QVERIFY(dlg.findChild<QLineEdit*>(QStringLiteral("findEdit")));
    auto* matches = dlg.findChild<QSpinBox*>(QStringLiteral("matches"));
    QVERIFY(matches->isReadOnly());
    QCOMPARE(matches->buttonSymbols(), QAbstractSpinBox::NoButtons);
    QVERIFY(!matches->keyboardTracking());
    QCOMPARE(matches->minimum(), 0);
    QCOMPARE(matches->maximum(), 0); // as many as cells
    QCOMPARE(dlg.findChild<QPushButton*>(QStringLiteral("saveButton"))->text(),
             QStringLiteral("Save ..."));

    QTableWidget* table = tableOf(&dlg);
    QCOMPARE(table->columnCount(), 3);
    QStringList headers;
    for (int c = 0; c < 3; ++c)
        headers << table->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, (QStringList{"Time", "Message", "Source"}));
    QVERIFY(table->isSortingEnabled());
    QCOMPARE(table->horizontalHeader()->sortIndicatorSection(), 0);
    QCOMPARE(table->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    QVERIFY(table->editTriggers() != QAbstractItemView::NoEditTriggers);

    auto* top = dlg.findChild<QVBoxLayout*>(QStringLiteral("verticalLayout"));
    QCOMPARE(top->count(), 3);
    QCOMPARE(top->itemAt(0)->layout()->objectName(), QStringLiteral("horizontalLayout_2"));
    QCOMPARE(top->itemAt(1)->widget(), table);
    QLayout* bottom = top->itemAt(2)->layout();
    QCOMPARE(bottom->objectName(), QStringLiteral("horizontalLayout"));
    QCOMPARE(bottom->itemAt(0)->widget()->objectName(), QStringLiteral("saveButton"));
    QSpacerItem* spacer = bottom->itemAt(1)->spacerItem();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(40, 20));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);

    const QMetaObject* mo = dlg.metaObject();
    const int save = mo->indexOfSlot("on_saveButton_clicked()");
    const int find = mo->indexOfSlot("on_findEdit_textChanged(QString)");
    QVERIFY2(save >= 0 && find == save + 1,
             qPrintable(QStringLiteral("save slot %1, find slot %2").arg(save).arg(find)));
}

void TestJournalViewDlg::textJournalHasTypeColumn()
{
    auto dlg = textDialog(textLine("12.03.13", "10:15:00", "E", "5", "Door open"));
    QTableWidget* table = tableOf(dlg.get());
    QCOMPARE(table->columnCount(), 4);
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("type"));
    QCOMPARE(rowTexts(table, 0), (QStringList{"12.03.13 10:15:00", "E", "Door open", "5"}));
}

void TestJournalViewDlg::unreadableDefinitionFileLeavesTableEmpty_data()
{
    QTest::addColumn<int>("kind"); // -1: no file at all
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("reason"); // told by the dialog when not shown
    QTest::newRow("missing") << -1 << false << "no such file";
    QTest::newRow("FIFO") << int(SpecialFiles::Fifo) << false << "not a regular file";
    QTest::newRow("link to /dev/zero")
        << int(SpecialFiles::LinkToZero) << false << "not a regular file";
    QTest::newRow("past the ceiling") << int(SpecialFiles::Sparse) << false << "larger than 4 MiB";
    QTest::newRow("link to a regular file") << int(SpecialFiles::LinkToRegular) << true << "";
}

void TestJournalViewDlg::unreadableDefinitionFileLeavesTableEmpty()
{
    QFETCH(int, kind);
    QFETCH(bool, shown);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath("Notepad.mes.315");
    if (kind >= 0)
        SPECIALFILES_SKIP_IF(SpecialFiles::unsupported(SpecialFiles::Kind(kind)));
    if (kind >= 0)
        QVERIFY(SpecialFiles::make(SpecialFiles::Kind(kind), path, readFile(m_mesPath),
                                   MessageDefinitionParser::maxFileSize + 1));
    const SpecialFiles::FifoGuard guard(kind == SpecialFiles::Fifo ? path : QString());
    JournalViewDlg dlg(nullptr, binaryJournal(2, true, 1), QString());
    dlg.load(path);
    QVERIFY(!guard.fired());
    QCOMPARE(dlg.definitionsRefusal(),
             shown ? QString()
                   : QStringLiteral("Cannot read the message definitions %1: %2")
                         .arg(QDir::toNativeSeparators(path), reason));
    QCOMPARE(tableOf(&dlg)->columnCount(), 3);
    QCOMPARE(tableOf(&dlg)->rowCount(), shown ? 24 : 0);
}

void TestJournalViewDlg::sameTimeStampKeepsOwnRows()
{
    const QByteArray data = record(3, 5, 7, 8, 9, 1, 1) + record(3, 5, 7, 8, 9, 2, 2);
    JournalViewDlg dlg(nullptr, data, QString());
    dlg.load(m_mesPath);
    QTableWidget* table = tableOf(&dlg);
    QCOMPARE(table->rowCount(), 2);
    // The second record is added later, so it stands above the first.
    QCOMPARE(rowTexts(table, 0),
             (QStringList{"05.03 07:08:09", "Door open", "Контролер верхнего уровня"}));
    QCOMPARE(rowTexts(table, 1), (QStringList{"05.03 07:08:09", QStringLiteral("Сбой процессора"),
                                              QStringLiteral("Календарная автоматика")}));
}

void TestJournalViewDlg::timeSortsByWhenWritten()
{
    auto dlg = textDialog(textJournal({{"28.02.26", "10:00:00", "I", "5", "feb"},
                                       {"31.12.25", "23:59:59", "I", "5", "dec"},
                                       {"01.03.26", "00:00:00", "I", "5", "mar"},
                                       {"01.01.26", "00:00:00", "I", "5", "jan"}}));
    QTableWidget* table = tableOf(dlg.get());
    const auto messages = [table] {
        QStringList m;
        for (int r = 0; r < table->rowCount(); ++r)
            m << table->item(r, 2)->text();
        return m;
    };
    QCOMPARE(messages(), (QStringList{"mar", "feb", "jan", "dec"}));
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QHeaderView* header = table->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    QCOMPARE(messages(), (QStringList{"dec", "jan", "feb", "mar"}));
    const QString path = m_dir.filePath("oldest.csv");
    m_driver.answer(path, CsvFilter);
    QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    QVERIFY(readFile(path).startsWith("Date;Type;Message;Source\n31.12.25 23:59:59;I;dec;5\n"));
}

void TestJournalViewDlg::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::newRow("empty text") << QString() << 0;
    QTest::newRow("nothing") << QStringLiteral("zzz") << 0;
    QTest::newRow("Cyrillic, lower case finds capitals") << QStringLiteral("дверь") << 2;
    QTest::newRow("Latin, mixed case") << QStringLiteral("pUmP") << 1;
    QTest::newRow("two cells of one row count twice") << QStringLiteral("77") << 3;
    QTest::newRow("Time column") << QStringLiteral("03.21 10") << 2;
}

void TestJournalViewDlg::search()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    auto dlg = textDialog(textJournal({
        {"01.03.21", "10:00:00", "E", "77", QStringLiteral("ДВЕРЬ открыта")},
        {"01.03.21", "10:00:01", "W", "3", QStringLiteral("Дверь закрыта 77")},
        {"01.03.21", "11:00:00", "I", "77", QStringLiteral("Pump stopped")},
    }));
    QTableWidget* table = tableOf(dlg.get());
    auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("findEdit"));
    auto* matches = dlg->findChild<QSpinBox*>(QStringLiteral("matches"));
    // Start from another search so the selection has something to clear.
    edit->setText(QStringLiteral("0"));
    QVERIFY(!table->selectedItems().isEmpty());
    edit->setText(text);
    QCOMPARE(matches->value(), count);

    QSet<QPair<int, int>> expected;
    if (!text.isEmpty()) {
        for (int r = 0; r < table->rowCount(); ++r)
            for (int c = 0; c < table->columnCount(); ++c)
                if (table->item(r, c)->text().contains(text, Qt::CaseInsensitive))
                    expected.insert({r, c});
    }
    const auto selected = [table] {
        QSet<QPair<int, int>> cells;
        for (const QModelIndex& i : table->selectionModel()->selectedIndexes())
            cells.insert({i.row(), i.column()});
        return cells;
    };
    QCOMPARE(selected(), expected);
    QCOMPARE(selected().size(), count);
    QCOMPARE(table->rowCount(), 3); // nothing hidden or removed

    // The user's own selection gives way even when the new text finds the same cells.
    if (text.toUpper() != text) {
        table->clearSelection();
        edit->setText(text.toUpper());
        QCOMPARE(selected(), expected);
    }
}

void TestJournalViewDlg::searchCountsEveryMatch()
{
    QByteArray data;
    for (int i = 0; i < 5000; ++i)
        data += textLine("02.03.21", QStringLiteral("10:%1:%2").arg(i / 60).arg(i % 60), "E", "xq",
                         QStringLiteral("text xq %1").arg(i));
    auto dlg = textDialog(data);
    dlg->findChild<QLineEdit*>(QStringLiteral("findEdit"))->setText(QStringLiteral("XQ"));
    QCOMPARE(dlg->findChild<QSpinBox*>(QStringLiteral("matches"))->value(), 10000);
    QCOMPARE(tableOf(dlg.get())->selectionModel()->selectedIndexes().size(), 10000);
}

void TestJournalViewDlg::typedSearchGoesToTheNearestMatch()
{
    auto dlg = textDialog(needleJournal());
    dlg->resize(400, 400); // narrow: going to a Message match scrolls sideways
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QTableWidget* table = tableOf(dlg.get());
    QCOMPARE(table->item(0, 3)->text(), QStringLiteral("needle")); // a Source match at the top
    table->setCurrentCell(200, 0);
    dlg->findChild<QLineEdit*>(QStringLiteral("findEdit"))->setText(QStringLiteral("NEEDLE"));
    QCOMPARE(dlg->findChild<QSpinBox*>(QStringLiteral("matches"))->value(), 3);
    // From row 200 on: the Message match in row 239, the second in reading order.
    QCOMPARE(table->currentIndex(), table->model()->index(239, 2));
    QCOMPARE(dlg->findChild<QLabel*>(QStringLiteral("matchPosition"))->text(),
             QStringLiteral("2 of 3"));
    QVERIFY(table->viewport()->rect().contains(table->visualRect(table->currentIndex())));
    // Back to the Source match past a wide Message: the table scrolls
    // sideways, and Time stays in view at the left.
    table->setColumnWidth(2, 900);
    QCoreApplication::processEvents(); // the scroll range follows
    dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    QTest::keyClick(table, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(table->currentIndex(), table->model()->index(0, 3));
    auto* time = dlg->findChild<QTableView*>(QStringLiteral("frozenTime"));
    QVERIFY(time && time->isVisible());
    QVERIFY(table->horizontalScrollBar()->value() > 0);
    QCOMPARE(time->visualRect(table->currentIndex().siblingAtColumn(0)).top(),
             table->visualRect(table->currentIndex()).top());
    QVERIFY(time->geometry().right() <
            table->visualRect(table->currentIndex()).left() + table->viewport()->x());
}

void TestJournalViewDlg::findNextAndPrevious_data()
{
    QTest::addColumn<QList<QKeySequence>>("keys");
    QTest::addColumn<QPoint>("cell"); // column, row of the current cell
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("position");
    const QKeySequence enter(Qt::Key_Return), f3(Qt::Key_F3);
    const QKeySequence back(Qt::SHIFT | Qt::Key_Return), backF3(Qt::SHIFT | Qt::Key_F3);
    const QString top = QStringLiteral("Search wrapped to the top");
    const QString bottom = QStringLiteral("Search wrapped to the bottom");
    // Matches in reading order: Source row 0, then Message rows 239 and 279.
    QTest::newRow("first") << QList<QKeySequence>{enter} << QPoint(3, 0) << ""
                           << "1 of 3";
    QTest::newRow("F3 thrice, across columns")
        << QList<QKeySequence>{f3, f3, f3} << QPoint(2, 279) << ""
        << "3 of 3";
    QTest::newRow("wraps forward")
        << QList<QKeySequence>{f3, f3, f3, enter} << QPoint(3, 0) << top << "1 of 3";
    QTest::newRow("back from none to the last") << QList<QKeySequence>{back} << QPoint(2, 279) << ""
                                                << "3 of 3";
    QTest::newRow("back") << QList<QKeySequence>{back, backF3} << QPoint(2, 239) << ""
                          << "2 of 3";
    QTest::newRow("back past the first wraps")
        << QList<QKeySequence>{f3, backF3} << QPoint(2, 279) << bottom << "3 of 3";
    QTest::newRow("Enter on the keypad")
        << QList<QKeySequence>{QKeySequence(Qt::Key_Enter)} << QPoint(3, 0) << ""
        << "1 of 3";
}

void TestJournalViewDlg::findNextAndPrevious()
{
    QFETCH(QList<QKeySequence>, keys);
    QFETCH(QPoint, cell);
    QFETCH(QString, status);
    QFETCH(QString, position);
    auto dlg = textDialog(needleJournal());
    dlg->show();
    dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    QTableWidget* table = tableOf(dlg.get());
    auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("findEdit"));
    edit->setFocus();
    edit->setText(QStringLiteral("needle"));
    table->scrollToTop();
    table->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    const QModelIndexList selected = table->selectionModel()->selectedIndexes();
    QCOMPARE(selected.size(), 3);

    for (const QKeySequence& key : keys)
        QTest::keySequence(edit, key);
    const QModelIndex current = table->currentIndex();
    QCOMPARE(QPoint(current.column(), current.row()), cell);
    // With rows of context around it.
    const QRect shown = table->visualRect(current);
    QVERIFY(table->viewport()->rect().contains(shown));
    QVERIFY(current.row() < 3 || shown.top() >= 3 * shown.height());
    QCOMPARE(dlg->findChild<QLabel*>(QStringLiteral("searchStatus"))->text(), status);
    QCOMPARE(dlg->findChild<QLabel*>(QStringLiteral("matchPosition"))->text(), position);
    // The selection of all matches stays, and Enter does not press "Save ...".
    QCOMPARE(table->selectionModel()->selectedIndexes().size(), 3);
    QVERIFY(!m_driver.seen);
    QVERIFY(edit->hasFocus());
}

void TestJournalViewDlg::findFromAnywhere()
{
    // Newest first: I, W, E.
    auto dlg = textDialog(textJournal({{"01.03.21", "10:00:00", "E", "5", "pump on"},
                                       {"01.03.21", "10:00:01", "W", "6", "door"},
                                       {"01.03.21", "10:00:02", "I", "7", "pump off"}}));
    dlg->show();
    dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    QTableWidget* table = tableOf(dlg.get());
    auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("findEdit"));
    edit->setText(QStringLiteral("pump"));
    table->setFocus();
    table->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    QTest::keySequence(table, QKeySequence(Qt::Key_F3));
    QTest::keySequence(table, QKeySequence(Qt::Key_F3));
    QCOMPARE(table->currentIndex(), table->model()->index(2, 2));
    QVERIFY(table->hasFocus());

    const QImage image = table->viewport()->grab().toImage();
    const auto background = [&](int row, int column) {
        const QRect r = table->visualRect(table->model()->index(row, column));
        return image.pixelColor(r.right() - 3, r.center().y());
    };
    // The current match looks unlike the other match, which stays selected.
    QVERIFY(table->selectionModel()->isSelected(table->model()->index(0, 2)));
    QVERIFY(background(2, 2) != background(0, 2));
    // Errors and warnings are tinted, the whole row, and a selected error
    // still looks unlike another selected cell.
    const QColor plain = background(0, 3);
    QVERIFY(background(2, 3) != plain && background(1, 3) != plain);
    QVERIFY(background(2, 3) != background(1, 3));
    QCOMPARE(background(2, 1), background(2, 3));
    edit->setText(QStringLiteral("0"));
    QVERIFY(table->selectionModel()->isSelected(table->model()->index(0, 0)));
    const QImage selected = table->viewport()->grab().toImage();
    const QRect error = table->visualRect(table->model()->index(2, 0));
    const QRect other = table->visualRect(table->model()->index(0, 0));
    QVERIFY(selected.pixelColor(error.right() - 3, error.center().y()) !=
            selected.pixelColor(other.right() - 3, other.center().y()));

    QTest::keySequence(table, QKeySequence::Find);
    QVERIFY(edit->hasFocus());
    QCOMPARE(edit->selectedText(), QStringLiteral("0"));
}

void TestJournalViewDlg::timeline()
{
    // Three hours, newest first; the middle one empty.
    auto dlg = textDialog(textJournal({{"01.03.21", "12:30:00", "I", "5", "late"},
                                       {"01.03.21", "10:40:00", "E", "5", "second"},
                                       {"01.03.21", "10:20:00", "I", "5", "first"}}));
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    auto* strip = dlg->findChild<JournalTimelineView*>(QStringLiteral("timeline"));
    QVERIFY(strip && strip->isVisible());
    QTableWidget* table = tableOf(dlg.get());
    QVERIFY(strip->geometry().bottom() < table->geometry().top());
    const auto xOf = [strip](int bin) {
        int x = 0;
        while (strip->binAt(x) != bin)
            ++x;
        return x + 1;
    };
    QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(xOf(1), strip->height() / 2));
    QVERIFY(!table->currentIndex().isValid()); // an empty hour goes nowhere
    QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(xOf(0), strip->height() / 2));
    QCOMPARE(table->item(table->currentIndex().row(), 2)->text(), QStringLiteral("first"));
    QCOMPARE(strip->currentBin(), 0);
    table->setCurrentCell(0, 2);
    QCOMPARE(strip->currentBin(), 2);
}

void TestJournalViewDlg::goToTime_data()
{
    QTest::addColumn<bool>("text");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("time"); // of the record gone to; empty: none
    // Binary records carry no year: a day is the latest one of the journal.
    QTest::newRow("binary, a time alone: the newest such") << false << "23:45"
                                                           << "02.01 00:05:00";
    QTest::newRow("binary, across the year") << false << "31.12 23:45"
                                             << "31.12 23:50:00";
    // No later 3 January is in the journal: the one a year before is meant.
    QTest::newRow("binary, past the newest") << false << "3.1 0:00"
                                             << "30.12 12:00:00";
    QTest::newRow("text, after all") << true << "2026-04-01 00:00"
                                     << "01.03.26 00:00:00";
    QTest::newRow("text, not read: no jump") << true << "01.01 0310"
                                             << "";
}

void TestJournalViewDlg::goToTime()
{
    QFETCH(bool, text);
    QFETCH(QString, asked);
    QFETCH(QString, time);
    // Newest first, as controllers keep them.
    const QByteArray data = text ? textJournal({{"01.03.26", "00:00:00", "I", "5", "mar"},
                                                {"28.02.26", "10:00:00", "I", "5", "feb"},
                                                {"01.01.26", "00:00:00", "I", "5", "jan"},
                                                {"31.12.25", "23:59:59", "I", "5", "dec"}})
                                 : record(1, 2, 0, 10, 0, 1, 1) + record(1, 2, 0, 5, 0, 1, 1) +
                                       record(12, 31, 23, 50, 0, 1, 1) +
                                       record(12, 30, 12, 0, 0, 1, 1);
    JournalViewDlg dlg(nullptr, data, QString());
    dlg.load(text ? QString() : m_mesPath);
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QTableWidget* table = tableOf(&dlg);
    QString understood;
    QTimer::singleShot(0, &dlg, [&] {
        auto* ask = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        auto* edit = ask ? ask->findChild<QLineEdit*>(QStringLiteral("timeEdit")) : nullptr;
        if (!edit)
            return;
        edit->setText(asked);
        understood = ask->findChild<QLabel*>(QStringLiteral("understood"))->text();
        QTest::keyClick(edit, Qt::Key_Return); // what cannot be read is not accepted
        if (ask->isVisible())
            ask->reject();
    });
    table->setFocus();
    const QModelIndex before = table->currentIndex();
    QTest::keySequence(table, QKeySequence(Qt::CTRL | Qt::Key_G));
    if (time.isEmpty()) {
        QVERIFY2(understood.startsWith(QLatin1String("Not a time")), qPrintable(understood));
        QCOMPARE(table->currentIndex(), before);
        return;
    }
    // Said as understood, with its year, before going there.
    QVERIFY2(understood.startsWith(QLatin1String("Goes to ")) &&
                 understood.contains(
                     QRegularExpression("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$")),
             qPrintable(understood));
    QCOMPARE(table->item(table->currentIndex().row(), 0)->text(), time);
}

void TestJournalViewDlg::copy_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<bool>("onlyMatches");
    QTest::addColumn<QString>("clipboard");
    const QString header = QStringLiteral("Date\tTime\ttype\tMessage\tSource\n");
    const QString one = QStringLiteral("01.03.2021\t01.03.21 10:00:02\tW\tpump off\t7\n");
    const QString three = QStringLiteral("01.03.2021\t01.03.21 10:00:00\tE\tpump on\t5\n");
    QTest::newRow("rows of the matches, as shown") << "pump" << false << header + one + three;
    QTest::newRow("hidden rows left out") << "pump on" << true << header + three;
    QTest::newRow("a single cell: its text") << "off" << false << "pump off";
}

void TestJournalViewDlg::copy()
{
    QFETCH(QString, search);
    QFETCH(bool, onlyMatches);
    QFETCH(QString, clipboard);
    auto dlg = textDialog(textJournal({{"01.03.21", "10:00:00", "E", "5", "pump on"},
                                       {"01.03.21", "10:00:01", "E", "6", "door"},
                                       {"01.03.21", "10:00:02", "W", "7", "pump off"}}));
    dlg->show();
    dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    QTableWidget* table = tableOf(dlg.get());
    dlg->findChild<QLineEdit*>(QStringLiteral("findEdit"))->setText(search);
    if (onlyMatches) {
        dlg->findChild<QCheckBox*>(QStringLiteral("onlyMatches"))->setChecked(true);
        table->selectAll(); // rows hidden but selected are not copied
    }
    QGuiApplication::clipboard()->clear();
    table->setFocus();
    QTest::keySequence(table, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
}

void TestJournalViewDlg::onlyMatches()
{
    auto dlg = textDialog(textJournal({{"01.03.21", "10:00:00", "E", "5", "pump on"},
                                       {"01.03.21", "10:00:01", "E", "6", "door"},
                                       {"01.03.21", "10:00:02", "E", "7", "pump off"}}));
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QTableWidget* table = tableOf(dlg.get());
    auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("findEdit"));
    auto* only = dlg->findChild<QCheckBox*>(QStringLiteral("onlyMatches"));
    QCOMPARE(only->text(), QStringLiteral("Only matches"));
    const auto hidden = [table] {
        QList<int> rows;
        for (int r = 0; r < table->rowCount(); ++r)
            if (table->isRowHidden(r))
                rows << r;
        return rows;
    };
    edit->setText(QStringLiteral("PUMP"));
    QCOMPARE(hidden(), QList<int>{});
    QTest::mouseClick(only, Qt::LeftButton);
    QCOMPARE(hidden(), QList<int>{1});
    edit->setText(QStringLiteral("pump o"));
    QCOMPARE(hidden(), QList<int>{1});
    edit->setText(QStringLiteral("pump on"));
    QCOMPARE(hidden(), (QList<int>{0, 1}));

    // Save writes the rows shown while the box is checked, all rows when not.
    const QString shownPath = m_dir.filePath("shown.csv");
    m_driver.answer(shownPath, CsvFilter);
    QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    QCOMPARE(readFile(shownPath), QByteArray("Date;Type;Message;Source\n"
                                             "01.03.21 10:00:00;E;pump on;5\n"));
    // Sorting while filtered keeps only the matching rows shown.
    table->sortByColumn(3, Qt::AscendingOrder);
    QCOMPARE(hidden(), (QList<int>{1, 2}));
    QCOMPARE(table->item(0, 2)->text(), QStringLiteral("pump on"));
    // Rows shown again and hidden around the sort keep the match selected, and
    // the row header marks the rows of the table's own selection.
    QCOMPARE(table->selectionModel()->selectedIndexes(),
             QModelIndexList{table->model()->index(0, 2)});
    QCOMPARE(table->verticalHeader()->selectionModel(), table->selectionModel());

    edit->clear();
    QCOMPARE(hidden(), QList<int>{});
    edit->setText(QStringLiteral("door")); // rows now by Source: 5, 6, 7
    QCOMPARE(hidden(), (QList<int>{0, 2}));
    QTest::mouseClick(only, Qt::LeftButton);
    QCOMPARE(hidden(), QList<int>{});
    const QString allPath = m_dir.filePath("all.csv");
    m_driver.answer(allPath, CsvFilter);
    QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    QCOMPARE(readFile(allPath).count('\n'), 4);
}

void TestJournalViewDlg::editedCellIsSearchedAndSaved()
{
    auto dlg = textDialog(textJournal({{"01.03.21", "10:00:00", "E", "5", "old text"},
                                       {"01.03.21", "10:00:01", "E", "6", "other"}}));
    QTableWidget* table = tableOf(dlg.get());
    QVERIFY(!table->editTriggers().testFlag(QAbstractItemView::NoEditTriggers));
    // What the editor's delegate does when the user commits an edit.
    QVERIFY(table->model()->setData(table->model()->index(1, 2), QStringLiteral("new words")));
    QCOMPARE(table->item(1, 2)->text(), QStringLiteral("new words"));

    auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("findEdit"));
    auto* matches = dlg->findChild<QSpinBox*>(QStringLiteral("matches"));
    edit->setText(QStringLiteral("OLD"));
    QCOMPARE(matches->value(), 0);
    edit->setText(QStringLiteral("words"));
    QCOMPARE(matches->value(), 1);

    const QString path = m_dir.filePath("edited.csv");
    m_driver.answer(path, CsvFilter);
    QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    QCOMPARE(readFile(path), QByteArray("Date;Type;Message;Source\n"
                                        "01.03.21 10:00:01;E;other;6\n"
                                        "01.03.21 10:00:00;E;new words;5\n"));
}

void TestJournalViewDlg::saveStartsInFirstClickedDialogsDirectory()
{
    QTemporaryDir first, second;
    auto a = textDialog(QByteArray(), first.path());
    auto b = textDialog(QByteArray(), second.path());
    m_driver.answer(QString()); // the user cancels, the directory is fixed all the same
    QTest::mouseClick(a->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    QVERIFY(m_driver.seen);
    QCOMPARE(m_driver.caption, QStringLiteral("Select file to save"));
    QCOMPARE(m_driver.filters, (QStringList{TextFilter, CsvFilter, BinFilter}));
    QCOMPARE(m_driver.initialFilter, TextFilter);
    QCOMPARE(m_driver.directory, QDir(first.path()).absolutePath());

    m_driver.answer(QString());
    QTest::mouseClick(b->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    QCOMPARE(m_driver.directory, QDir(first.path()).absolutePath());
}

void TestJournalViewDlg::save_data()
{
    QTest::addColumn<bool>("text");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("typedName");

    QTest::newRow("binary journal, binary filter, .txt name") << false << BinFilter << "a.txt";
    QTest::newRow("text journal, binary filter, .csv name") << true << BinFilter << "b.csv";
    QTest::newRow("binary journal, csv filter") << false << CsvFilter << "c.csv";
    QTest::newRow("text journal, csv filter, .bin name") << true << CsvFilter << "d.bin";
    QTest::newRow("binary journal, text filter, no extension") << false << TextFilter << "e";
    QTest::newRow("text journal, text filter") << true << TextFilter << "f.txt";
}

void TestJournalViewDlg::save()
{
    QFETCH(bool, text);
    QFETCH(QString, filter);
    QFETCH(QString, typedName);
    const QByteArray data =
        text ? textJournal({{"12.03.13", "10:15:00", "E", "5", QStringLiteral("Дверь открыта")},
                            {"12.03.13", "10:16:00", "W", "6", "Door closed"}})
             : record(3, 5, 7, 8, 9, 1, 3, 42) + record(3, 5, 7, 8, 10, 2, 2);
    JournalViewDlg dlg(nullptr, data, QString());
    dlg.load(text ? QString() : m_mesPath);
    const QString path = m_dir.filePath(typedName);
    m_driver.answer(path, filter);
    QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    QVERIFY(m_driver.seen);
    // The name as typed; one without extension gets the filter's.
    const QByteArray saved = readFile(QFileInfo(path).suffix().isEmpty() ? path + ".txt" : path);

    if (filter == BinFilter) {
        QCOMPARE(saved, data);
        return;
    }
    QVERIFY2(saved.endsWith('\n') && !saved.contains('\r') && !saved.startsWith("\xEF\xBB\xBF"),
             saved.toHex(' ').constData());
    const QStringList lines = QString::fromUtf8(saved).split('\n');
    QCOMPARE(lines.size(), (filter == CsvFilter ? 1 : 2) + 2 + 1);
    if (filter == CsvFilter) {
        QCOMPARE(lines.at(0), text ? QStringLiteral("Date;Type;Message;Source")
                                   : QStringLiteral("Date;Message;Source"));
        const QStringList first = text ? QStringList{"12.03.13 10:16:00", "W", "Door closed", "6"}
                                       : QStringList{"05.03 07:08:10", "Door open",
                                                     QStringLiteral("Контролер верхнего уровня")};
        QCOMPARE(lines.at(1), first.join(';'));
        QCOMPARE(lines.at(2).split(';').size(), text ? 4 : 3);
    } else {
        QCOMPARE(lines.at(0).size(), text ? 129 : 114);
        QCOMPARE(lines.at(1), QString(text ? 125 : 115, QLatin1Char('-')));
        // A fitting row fills every field; a longer source is written whole.
        if (text)
            QCOMPARE(lines.at(2).size(), 130);
        else
            QCOMPARE(lines.at(2), QStringLiteral("05.03 07:08:10") + QString(4, ' ') + "Door open" +
                                      QString(67, ' ') +
                                      QStringLiteral("Контролер верхнего уровня"));
        QVERIFY(lines.at(3).startsWith(text ? QStringLiteral("12.03.13 10:15:00     E   ")
                                            : QStringLiteral("05.03 07:08:09    Parameter 42 ")));
    }
}

void TestJournalViewDlg::saveFollowsUserSorting()
{
    auto dlg = textDialog(textJournal({{"01.03.21", "10:00:00", "E", "b", "one"},
                                       {"01.03.21", "10:00:01", "E", "c", "two"},
                                       {"01.03.21", "10:00:02", "E", "a", "three"}}));
    tableOf(dlg.get())->sortByColumn(3, Qt::AscendingOrder);
    const QString path = m_dir.filePath("sorted.csv");
    m_driver.answer(path, CsvFilter);
    QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    QCOMPARE(readFile(path), QByteArray("Date;Type;Message;Source\n"
                                        "01.03.21 10:00:02;E;three;a\n"
                                        "01.03.21 10:00:00;E;one;b\n"
                                        "01.03.21 10:00:01;E;two;c\n"));
}

void TestJournalViewDlg::cancelledSaveWritesNothing()
{
    auto dlg = textDialog(textLine("12.03.13", "10:15:00", "E", "5", "x"), m_dir.path());
    const int before = QDir(m_dir.path()).count();
    m_driver.answer(QString());
    QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    QVERIFY(m_driver.seen);
    QCOMPARE(int(QDir(m_dir.path()).count()), before);
}

void TestJournalViewDlg::failedSaveKeepsFileAndWarns_data()
{
    QTest::addColumn<QString>("filter");
    QTest::newRow("binary") << BinFilter;
    QTest::newRow("text") << TextFilter;
}

void TestJournalViewDlg::failedSaveKeepsFileAndWarns()
{
    QFETCH(QString, filter);
    QList<QStringList> lines;
    for (int i = 0; i < 100; ++i)
        lines << QStringList{"01.03.21", QStringLiteral("10:%1:00").arg(i % 60), "E", "5", "text"};
    const QByteArray data = textJournal(lines);
    auto dlg = textDialog(data);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("export.txt"));
    QVERIFY(writeFile(path, "previous export"));

    MessageBoxDriver boxes;
    m_driver.answer(path, filter);
    boxes.start();
    {
        // As a full disk would (on Windows: the file held open by another program).
        const SpecialFiles::SaveBlocker blocked(path, 1024);
        QVERIFY(blocked.isSet());
        QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("saveButton")),
                          Qt::LeftButton);
    }
    boxes.stop();
    QVERIFY(m_driver.seen);
    QCOMPARE(readFile(path), QByteArray("previous export"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"export.txt"});
    // The file dialog's question whether to replace the file, then the warning.
    QCOMPARE(boxes.boxes.size(), 2);
    const MessageBoxDriver::Box& box = boxes.boxes.last();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.parent.data(), dlg.get());
    QVERIFY2(box.text.contains(QDir::toNativeSeparators(path)), qPrintable(box.text));
    QVERIFY2(box.text.contains(SpecialFiles::SaveBlocker::reason()), qPrintable(box.text));
}

void TestJournalViewDlg::saveOffersNameAndLastFilter()
{
    auto dlg = textDialog(textJournal({{"01.03.21", "10:00:00", "E", "5", "pump on"}}));
    dlg->setName(QStringLiteral("Jrn00025.bin"), QStringLiteral("Jrn00025"));
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Journal view - Jrn00025.bin"));
    auto* save = dlg->findChild<QPushButton*>(QStringLiteral("saveButton"));
    const QString typed = m_dir.filePath(QStringLiteral("excerpt"));
    m_driver.answer(typed, CsvFilter);
    QTest::mouseClick(save, Qt::LeftButton);
    QCOMPARE(m_driver.initialFile, QStringLiteral("Jrn00025.txt"));
    QVERIFY(readFile(typed + ".csv").startsWith("Date;Type;Message;Source\n"));
    QVERIFY(!QFile::exists(typed));
    // The next dialog, also of another viewer, starts on the filter chosen last.
    auto other = textDialog(QByteArray());
    m_driver.answer(QString());
    QTest::mouseClick(other->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    QCOMPARE(m_driver.initialFilter, CsvFilter);
}

void TestJournalViewDlg::remembersSizeWidthsAndFont()
{
    const QByteArray data = textJournal({{"01.03.21", "10:00:00", "E", "5", "pump on"}});
    auto dlg = textDialog(data);
    dlg->show();
    dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    QTableWidget* table = tableOf(dlg.get());
    const int defaultPoints = table->font().pointSize();
    const int defaultRow = table->verticalHeader()->defaultSectionSize();
    dlg->resize(700, 500);
    table->setColumnWidth(3, 211);
    QTest::keySequence(table, QKeySequence::ZoomIn);
    QTest::keySequence(table, QKeySequence::ZoomIn);
    QCOMPARE(table->font().pointSize(), defaultPoints + 2);
    QVERIFY(table->verticalHeader()->defaultSectionSize() > defaultRow);
    QVERIFY(table->columnWidth(3) > 211); // the columns grow with their text
    // Time is as wide as its text at every size, never cut.
    const auto timeFits = [&] {
        return table->columnWidth(0) >
               table->fontMetrics().horizontalAdvance(table->item(0, 0)->text());
    };
    QVERIFY(timeFits());
    const int kept = table->columnWidth(3);
    dlg->close();
    dlg.reset();

    dlg = textDialog(data);
    table = tableOf(dlg.get());
    QCOMPARE(dlg->size(), QSize(700, 500));
    QCOMPARE(table->columnWidth(3), kept);
    QCOMPARE(table->font().pointSize(), defaultPoints + 2);
    QVERIFY(timeFits());
    dlg->show();
    dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    QTest::keySequence(table, QKeySequence(Qt::CTRL | Qt::Key_0));
    QCOMPARE(table->font().pointSize(), defaultPoints);
    QCOMPARE(table->verticalHeader()->defaultSectionSize(), defaultRow);
    QVERIFY(timeFits());
    dlg.reset();
    QCOMPARE(tableOf(textDialog(data).get())->font().pointSize(), defaultPoints);
}

void TestJournalViewDlg::keptLayoutFitsTheScreen()
{
    // Kept values from a damaged settings file, or a far larger screen.
    JournalViewSettings kept;
    kept.setSize(QSize(32768, 32768));
    kept.setFontSize(std::numeric_limits<int>::max());
    kept.setColumnWidths({1, 100000, 100000, 100000});
    auto dlg = textDialog(textJournal({{"01.03.21", "10:00:00", "E", "5", "pump on"}}));
    dlg->show();
    dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    const QRect room = dlg->screen()->availableGeometry();
    QVERIFY2(room.contains(dlg->frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                 .arg(dlg->x())
                                                                 .arg(dlg->y())
                                                                 .arg(dlg->width())
                                                                 .arg(dlg->height())));
    QTableWidget* table = tableOf(dlg.get());
    QHeaderView* header = table->horizontalHeader();
    QVERIFY(table->columnWidth(0) >= header->sectionSizeHint(0));
    for (int c = 1; c < table->columnCount(); ++c)
        QVERIFY(table->columnWidth(c) <= room.width());
    QCOMPARE(table->font().pointSize(), JournalViewSettings::maxFontSize);
    QTest::keySequence(table, QKeySequence::ZoomIn);
    QTest::keySequence(table, QKeySequence::ZoomOut);
    QCOMPARE(table->font().pointSize(), JournalViewSettings::maxFontSize - 1);
}

void TestJournalViewDlg::messageColumnTakesTheRoomLeft()
{
    auto dlg = textDialog(textJournal({{"01.03.21", "10:00:00", "E", "5", "pump on"}}));
    QTableWidget* table = tableOf(dlg.get());
    const int own = table->columnWidth(2);
    dlg->show();
    const auto others = [table] {
        return table->columnWidth(0) + table->columnWidth(1) + table->columnWidth(3);
    };
    dlg->resize(1200, 500);
    QTRY_COMPARE(table->columnWidth(2), table->viewport()->width() - others());
    QVERIFY(table->columnWidth(2) > own);
    // It never goes below its own width, nor below what the user gave it.
    dlg->resize(300, 500); // as narrow as the search row lets it be
    QTRY_COMPARE(table->columnWidth(2), qMax(own, table->viewport()->width() - others()));
    table->setColumnWidth(2, own + 500);
    dlg->resize(400, 500);
    QTRY_COMPARE(table->columnWidth(2), own + 500);
}

void TestJournalViewDlg::cutCellShowsItsTextAsTooltip()
{
    const QString longText = QStringLiteral("Питание 30В ниже допуска ").repeated(8);
    auto dlg = textDialog(textJournal({{"01.03.21", "10:00:00", "E", "5", longText}}));
    dlg->show();
    QTableWidget* table = tableOf(dlg.get());
    table->setColumnWidth(2, 60);
    const auto hover = [table](int column) {
        QToolTip::hideText();
        const QPoint at = table->visualRect(table->model()->index(0, column)).center();
        QHelpEvent help(QEvent::ToolTip, at, table->viewport()->mapToGlobal(at));
        QApplication::sendEvent(table->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    QCOMPARE(hover(1), QString()); // "E" fits
    QVERIFY2(hover(2).contains(longText.trimmed()), qPrintable(hover(2)));
}

QTEST_MAIN(TestJournalViewDlg)
#include "tst_journalviewdlg.moc"
