#include "core/downloadfile.h"
#include "journal/journaldecoder.h"
#include "journal/journalopener.h"
#include "journal/journalviewdlg.h"
#include "tests/specialfiles.h"
#include "viewerfixtures.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace ViewerFixtures;
using JournalVersion::TextJournalOther;
using JournalVersion::TextJournalTmHelix;
using JournalVersion::TextJournalVegal;

namespace {

QTableWidget* tableOf(QWidget* dlg)
{
    return dlg ? dlg->findChild<QTableWidget*>(QStringLiteral("journalTable")) : nullptr;
}

int openViewers()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += qobject_cast<JournalViewDlg*>(w) && w->isVisible() ? 1 : 0;
    return n;
}

// The text of the refusal shown, which must leave the caller's call to return
// at once (not modal); closes it. Empty when none is shown.
QString refusalShown()
{
    QString text;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            text = box->isModal() ? QStringLiteral("(modal)") : box->text();
            box->close();
        }
    }
    return text;
}

void closeAll()
{
    refusalShown();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<JournalViewDlg*>(w))
            w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

const QString OverrideText = QStringLiteral("Текст из каталога конфигураций");

} // namespace

class TestJournalOpener : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { closeAll(); }
    void versionForLight_data();
    void versionForLight();
    void viewJournal_data();
    void viewJournal();
    void viewJournalWithoutFileShowsNothing_data();
    void viewJournalWithoutFileShowsNothing();
    void badDefinitionFileIsRefusedInABox();
    void viewJournalOnlyOfRegularFiles_data();
    void viewJournalOnlyOfRegularFiles();
    void refusesWhatTheViewerCannotHold_data();
    void refusesWhatTheViewerCannotHold();
    void dialogIsModelessAndDeletesItself();
    void viewJournalSavesIntoJournalDirectory();
    void showJournal_data();
    void showJournal();
    void longOpenShowsProgress_data();
    void longOpenShowsProgress();

private:
    QTemporaryDir m_dir;
    QString m_journal;     // one record of code 2 from source 1
    QString m_textJournal; // one text line
};

void TestJournalOpener::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QVERIFY(m_dir.isValid());
    keepSettingsIn(m_dir.path());
    m_journal = m_dir.filePath("Jrn00025.bin");
    QVERIFY(writeFile(m_journal, record(3, 5, 7, 8, 9, 1, 2)));
    m_textJournal = m_dir.filePath("Jrn00026.bin");
    QVERIFY(writeFile(m_textJournal, textLine("12.03.13", "10:15:00", "E", "5", "Door open")));
}

void TestJournalOpener::versionForLight_data()
{
    QTest::addColumn<bool>("tmHelix");
    QTest::addColumn<bool>("vegal");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("version");
    QTest::newRow("3.15") << false << false << QStringLiteral("Вегал V3.15") << 315;
    QTest::newRow("3.16 and a letter") << false << false << QStringLiteral("Вегал V3.16c") << 316;
    QTest::newRow("3.17 and a Cyrillic letter")
        << false << false << QStringLiteral("Вегал V3.17б") << 317;
    QTest::newRow("3.17") << false << false << QStringLiteral("Вегал V3.17") << 317;
    QTest::newRow("two letters") << false << false << QStringLiteral("Вегал V3.17bb") << 314;
    QTest::newRow("other version") << false << false << QStringLiteral("Вегал V3.18") << 314;
    QTest::newRow("empty") << false << false << QString() << 314;
    QTest::newRow("TM_HELIX whatever the type")
        << true << true << QStringLiteral("Вегал V3.17") << int(TextJournalTmHelix);
    QTest::newRow("vegal") << false << true << QStringLiteral("vegal2") << int(TextJournalVegal);
}

void TestJournalOpener::versionForLight()
{
    QFETCH(bool, tmHelix);
    QFETCH(bool, vegal);
    QFETCH(QString, type);
    QFETCH(int, version);
    QCOMPARE(JournalVersion::forLight(tmHelix, vegal, type), version);
}

void TestJournalOpener::viewJournal_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("text");
    QTest::addColumn<QString>("overrideName"); // written into the configuration directory
    QTest::addColumn<int>("columns");          // 0: nothing shown
    QTest::addColumn<QString>("message");      // of the only row

    QTest::newRow("315 prefers the override file")
        << 315 << false << "Notepad.mes.315" << 3 << OverrideText;
    QTest::newRow("315 built in") << 315 << false << QString() << 3 << QString();
    QTest::newRow("override of another version is ignored")
        << 317 << false << "Notepad.mes.315" << 3 << QString();
    QTest::newRow("318 without a file") << 318 << false << QString() << 0 << QString();
    QTest::newRow("318 with an override file")
        << 318 << false << "Notepad.mes.318" << 3 << OverrideText;
    QTest::newRow("TM_HELIX text")
        << int(TextJournalTmHelix) << true << QString() << 4 << "Door open";
    QTest::newRow("vegal text") << int(TextJournalVegal) << true << QString() << 4 << "Door open";
    QTest::newRow("other text") << int(TextJournalOther) << true << QString() << 4 << "Door open";
}

void TestJournalOpener::viewJournal()
{
    QFETCH(int, version);
    QFETCH(bool, text);
    QFETCH(QString, overrideName);
    QFETCH(int, columns);
    QFETCH(QString, message);
    QTemporaryDir configDir;
    if (!overrideName.isEmpty())
        QVERIFY(writeFile(configDir.filePath(overrideName), definitionFile({{2, OverrideText}})));

    QWidget parent;
    const QString path = text ? m_textJournal : m_journal;
    QWidget* dlg =
        JournalOpener::viewJournal(&parent, version, path, QDir(configDir.path()), m_dir.path());
    QCOMPARE(dlg != nullptr, columns != 0);
    QCOMPARE(openViewers(), columns != 0 ? 1 : 0);
    if (!dlg)
        return;
    QCOMPARE(dlg->windowTitle(), "Journal view - " + QFileInfo(path).fileName());
    QTableWidget* table = tableOf(dlg);
    QCOMPARE(table->columnCount(), columns);
    QCOMPARE(table->rowCount(), 1);
    const QString shown = table->item(0, columns - 2)->text();
    if (!message.isEmpty())
        QCOMPARE(shown, message);
    else
        QVERIFY(shown != OverrideText);
}

void TestJournalOpener::viewJournalWithoutFileShowsNothing_data()
{
    QTest::addColumn<int>("version");
    for (int v :
         {314, 317, 318, int(TextJournalTmHelix), int(TextJournalVegal), int(TextJournalOther)})
        QTest::addRow("%d", v) << v;
}

void TestJournalOpener::viewJournalWithoutFileShowsNothing()
{
    QFETCH(int, version);
    const QString missing = m_dir.filePath("Jrn99999.bin");
    QVERIFY(!JournalOpener::viewJournal(nullptr, version, missing, QDir(m_dir.path()), QString()));
    // Without a definition file nothing is even looked for.
    QCOMPARE(refusalShown().startsWith("Cannot view the journal "), version != 318);
    QVERIFY(!JournalOpener::viewJournal(nullptr, version, m_dir.path(), QDir(m_dir.path()),
                                        QString())); // a directory is no journal
    QCOMPARE(openViewers(), 0);
}

void TestJournalOpener::badDefinitionFileIsRefusedInABox()
{
    // As a journal that cannot be read is; the viewer opens all the same.
    QTemporaryDir dir;
    const QString mes = dir.filePath("Notepad.mes.315");
    QVERIFY(QDir().mkpath(mes));
    const QString message =
        QStringLiteral("Cannot read the message definitions %1: not a regular file")
            .arg(QDir::toNativeSeparators(mes));
    QTest::ignoreMessage(QtCriticalMsg, qPrintable(message));
    QVERIFY(JournalOpener::viewJournal(nullptr, 315, m_journal, QDir(dir.path()), QString()));
    QCOMPARE(openViewers(), 1);
    QCOMPARE(refusalShown(), message);
    closeAll();
}

void TestJournalOpener::viewJournalOnlyOfRegularFiles_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("reason"); // told in the log when not shown
    QTest::newRow("FIFO") << int(SpecialFiles::Fifo) << false << "not a regular file";
    QTest::newRow("link to /dev/zero")
        << int(SpecialFiles::LinkToZero) << false << "not a regular file";
    QTest::newRow("past the ceiling") << int(SpecialFiles::Sparse) << false << "larger than 16 MiB";
    QTest::newRow("link to a regular file") << int(SpecialFiles::LinkToRegular) << true << "";
}

void TestJournalOpener::viewJournalOnlyOfRegularFiles()
{
    QFETCH(int, kind);
    QFETCH(bool, shown);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath("Jrn00027.bin");
    SPECIALFILES_SKIP_IF(SpecialFiles::unsupported(SpecialFiles::Kind(kind)));
    QVERIFY(SpecialFiles::make(SpecialFiles::Kind(kind), path, readFile(m_textJournal),
                               DownloadFile::maxSize + 1));
    if (!shown)
        QTest::ignoreMessage(QtCriticalMsg,
                             qPrintable(QStringLiteral("Cannot view the journal %1: %2")
                                            .arg(QDir::toNativeSeparators(path), reason)));
    const SpecialFiles::FifoGuard guard(kind == SpecialFiles::Fifo ? path : QString());
    QWidget* dlg =
        JournalOpener::viewJournal(nullptr, TextJournalOther, path, QDir(dir.path()), QString());
    QVERIFY(!guard.fired());
    QCOMPARE(dlg != nullptr, shown);
    QCOMPARE(refusalShown(), shown ? QString()
                                   : QStringLiteral("Cannot view the journal %1: %2")
                                         .arg(QDir::toNativeSeparators(path), reason));
    if (dlg)
        QCOMPARE(tableOf(dlg)->rowCount(), 1);
}

void TestJournalOpener::refusesWhatTheViewerCannotHold_data()
{
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<QString>("message"); // %1, where it is there: the journal's path
    const QByteArray code2 = record(3, 5, 7, 8, 9, 1, 2);
    const QByteArray code3 = record(3, 5, 7, 8, 9, 1, 3);
    QTest::newRow("a short record past the row limit")
        << code3.repeated(JournalOpener::maxRows) + code3.left(1)
        << QStringLiteral("The journal has %1 records, more than the %2 the viewer shows: it is "
                          "not opened.")
               .arg(JournalOpener::maxRows + 1)
               .arg(JournalOpener::maxRows);
    // The override file's text of code 2 is longer than one record's message may be.
    QTest::newRow("messages past the bound")
        << code2.repeated(int(JournalDecoder::MaxMessageText / MessageTemplate::MaxExpandedLength) +
                          1)
        << QStringLiteral("The messages of the journal %1 come to more than the %2 characters "
                          "the viewer holds: it is not opened.")
               .arg(QStringLiteral("%1"), QString::number(JournalDecoder::MaxMessageText));
}

void TestJournalOpener::refusesWhatTheViewerCannotHold()
{
    QFETCH(QByteArray, journal);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath("Jrn00028.bin");
    QVERIFY(writeFile(path, journal));
    QVERIFY(writeFile(
        dir.filePath("Notepad.mes.315"),
        definitionFile({{2, QString(MessageTemplate::MaxExpandedLength + 1, QLatin1Char('m'))}})));
    QTest::ignoreMessage(QtCriticalMsg, qPrintable(message.contains(QLatin1String("%1"))
                                                       ? message.arg(QDir::toNativeSeparators(path))
                                                       : message));
    QVERIFY(!JournalOpener::viewJournal(nullptr, 315, path, QDir(dir.path()), dir.path()));
    QCOMPARE(openViewers(), 0);
    if (message.contains(QLatin1String("%1"))) {
        QCOMPARE(refusalShown(), message.arg(QDir::toNativeSeparators(path)));
        return;
    }
    // Too many rows: the box offers the newest of them, and names the tool
    // for the whole file; the viewer then says the cut in its title.
    QMessageBox* box = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible())
            box = b;
    QVERIFY(box);
    QVERIFY(box->text().startsWith(message));
    QVERIFY(box->text().contains(QLatin1String("dq-journal")));
    auto* newest = box->findChild<QPushButton*>(QStringLiteral("showNewest"));
    QVERIFY(newest);
    newest->click();
    auto* dlg = qobject_cast<JournalViewDlg*>(QApplication::activeWindow());
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<JournalViewDlg*>(w) && w->isVisible())
            dlg = qobject_cast<JournalViewDlg*>(w);
    QVERIFY(dlg);
    const int shown = JournalOpener::maxRows / 12 * 12; // whole blocks
    QCOMPARE(tableOf(dlg)->rowCount(), shown);
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Journal view - Jrn00028.bin (the newest %1 of %2 "
                                                "records)")
                                     .arg(shown)
                                     .arg(JournalOpener::maxRows + 1));
    closeAll();
}

void TestJournalOpener::dialogIsModelessAndDeletesItself()
{
    QPointer<QWidget> dlg = JournalOpener::viewJournal(nullptr, 316, m_journal, QDir(), QString());
    QVERIFY(dlg);
    QVERIFY(!dlg->parentWidget());
    QVERIFY(dlg->isVisible());
    QVERIFY(!dlg->isModal());
    QVERIFY(dlg->testAttribute(Qt::WA_DeleteOnClose));
    dlg->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!dlg);

    // A dialog with a parent goes with it.
    auto* parent = new QWidget;
    dlg = JournalOpener::showJournal(parent, TextJournalVegal, QByteArray(), QDir());
    QVERIFY(dlg);
    QCOMPARE(dlg->parentWidget(), parent);
    delete parent;
    QVERIFY(!dlg);
}

void TestJournalOpener::viewJournalSavesIntoJournalDirectory()
{
    QTemporaryDir configDir, journalDir;
    QWidget* dlg = JournalOpener::viewJournal(nullptr, TextJournalOther, m_textJournal,
                                              QDir(configDir.path()), journalDir.path());
    QVERIFY(dlg);
    QString offered, name;
    QTimer::singleShot(0, [&offered, &name] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* fd = qobject_cast<QFileDialog*>(w); fd && fd->isVisible()) {
                offered = fd->directory().absolutePath();
                name = QFileInfo(fd->selectedFiles().value(0)).fileName();
                fd->reject();
            }
        }
    });
    QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
    QCOMPARE(offered, QDir(journalDir.path()).absolutePath());
    QCOMPARE(name, QStringLiteral("Jrn00026.txt")); // the journal's file name
}

void TestJournalOpener::showJournal_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("overrideName");
    QTest::addColumn<int>("columns");
    QTest::newRow("other text without a file") << int(TextJournalOther) << QString() << 0;
    QTest::newRow("other text, file named after it")
        << int(TextJournalOther) << "Notepad.mes.327679" << 3;
    QTest::newRow("TM_HELIX") << int(TextJournalTmHelix) << QString() << 4;
    QTest::newRow("vegal") << int(TextJournalVegal) << QString() << 4;
    QTest::newRow("317 built in") << 317 << QString() << 3;
    QTest::newRow("318") << 318 << QString() << 0;
}

void TestJournalOpener::showJournal()
{
    QFETCH(int, version);
    QFETCH(QString, overrideName);
    QFETCH(int, columns);
    QTemporaryDir saveDir;
    if (!overrideName.isEmpty())
        QVERIFY(writeFile(saveDir.filePath(overrideName), definitionFile({{2, OverrideText}})));
    QWidget window;
    const QByteArray data = columns == 4 ? readFile(m_textJournal) : readFile(m_journal);
    QWidget* dlg = JournalOpener::showJournal(
        &window, version, data, QDir(saveDir.path()),
        JournalOpener::controllerName(25, QStringLiteral("Вегал V3.17")));
    QCOMPARE(dlg != nullptr, columns != 0);
    if (!dlg)
        return;
    QCOMPARE(dlg->parentWidget(), &window);
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Journal view - 25 (Вегал V3.17)"));
    QCOMPARE(tableOf(dlg)->columnCount(), columns);
    QCOMPARE(tableOf(dlg)->rowCount(), 1);
}

void TestJournalOpener::longOpenShowsProgress_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("to the end") << false;
    QTest::newRow("cancelled") << true;
}

void TestJournalOpener::longOpenShowsProgress()
{
    QFETCH(bool, cancel);
    // Enough lines to take well over half a second to open.
    constexpr int Lines = 400000; // just under the 16 MiB a journal may have
    static QByteArray data;
    if (data.isEmpty()) {
        // Distinct messages: each cell then holds its own text, as in a real journal.
        for (int i = 0; i < Lines; ++i)
            data += "01.03.21 10:00:00 E 5 Door open " + QByteArray::number(i) + '\0';
    }
    QWidget parent;
    QElapsedTimer clock;
    int shownAfter = -1;
    // Looks for the progress dialog whenever the open lets events through.
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* progress = qobject_cast<QProgressDialog*>(w);
            if (progress && progress->isVisible() && shownAfter < 0) {
                shownAfter = int(clock.elapsed());
                QVERIFY(progress->isModal());
                if (cancel)
                    progress->cancel();
            }
        }
    });
    watch.start(10);
    clock.start();
    QPointer<QWidget> dlg =
        JournalOpener::showJournal(&parent, TextJournalVegal, data, QDir(m_dir.path()));
    watch.stop();
    QVERIFY2(shownAfter >= 450, qPrintable(QString::number(shownAfter)));
    QCOMPARE(dlg.isNull(), cancel);
    QCOMPARE(openViewers(), cancel ? 0 : 1);
    if (!cancel) {
        QCOMPARE(dlg->parentWidget(), &parent);
        QCOMPARE(tableOf(dlg)->rowCount(), Lines);
    }
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<QProgressDialog*>(w));
}

QTEST_MAIN(TestJournalOpener)
#include "tst_journalopener.moc"
