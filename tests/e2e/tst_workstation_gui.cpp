#include "tests/recordingprogram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// Starts the workstation window on a virtual X display (xvfb-run): the queue
// docks show, and the layout saved on closing brings them back, in the places
// the operator gave them, at the next start; what an earlier session saved is
// opened the right way; the View menu and Quit.
class TestWorkstationGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void savedLayoutBringsDocksBack_data();
    void savedLayoutBringsDocksBack();
    void savedJournalOpensInItsFormat_data();
    void savedJournalOpensInItsFormat();
    void savedConfigurationsKnownAfterRestart_data();
    void savedConfigurationsKnownAfterRestart();
    void viewMenuAndQuit_data();
    void viewMenuAndQuit();

private:
    // pathFirst: a directory put in front of the search path.
    QString run(const QStringList& args, int* exitCode, const QString& pathFirst = QString());

    QString m_xvfbRun;
    QTemporaryDir m_home;
    QString m_saved;         // data directory of an earlier session (14 controllers, seed 7)
    QStringList m_savedArgs; // a session with these
};

void TestWorkstationGui::initTestCase()
{
#ifdef Q_OS_WIN
    QSKIP("the window runs on a virtual X display (xvfb-run), which Windows programs cannot start");
#endif
    m_xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (m_xvfbRun.isEmpty())
        QSKIP("xvfb-run is not installed");
    QVERIFY(m_home.isValid());

    // An earlier session: the journals and configurations of a vegal (1016) and a
    // 3.15 (1040, its configuration memory erased) controller are downloaded and saved.
    m_saved = m_home.filePath(QStringLiteral("saved"));
    m_savedArgs = QStringList{QStringLiteral("--data"), m_saved, QStringLiteral("--lights"),
                              QStringLiteral("14")};
    int code = -1;
    const QString out =
        run(m_savedArgs + QStringList{QStringLiteral("--select"), QStringLiteral("1016,1040"),
                                      QStringLiteral("--trigger"),
                                      QStringLiteral("actionJournalAll,actionConfig"),
                                      QStringLiteral("--quit-after"), QStringLiteral("3000")},
            &code);
    QCOMPARE(code, 0);
    for (const char* file :
         {"journals/Jrn01016.bin", "journals/Jrn01040.bin", "configs/dat01016.json"})
        QVERIFY2(QFileInfo::exists(QDir(m_saved).filePath(QLatin1String(file))), qPrintable(out));
}

QString TestWorkstationGui::run(const QStringList& args, int* exitCode, const QString& pathFirst)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // a real X connection, not offscreen
    // The X client libraries keep allocations to the end; leaks are checked by the
    // batch test, which runs the same program offscreen.
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    if (!asan.isEmpty())
        env.insert(QStringLiteral("ASAN_OPTIONS"), asan + QStringLiteral(":detect_leaks=0"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
    if (!pathFirst.isEmpty())
        env.insert(QStringLiteral("PATH"),
                   pathFirst + QDir::listSeparator() + env.value(QStringLiteral("PATH")));
    p.setProcessEnvironment(env);
    const QString workstation = QDir(QCoreApplication::applicationDirPath())
                                    .absoluteFilePath(QStringLiteral("dq-workstation"));
    p.start(m_xvfbRun,
            QStringList{QStringLiteral("-a"), QStringLiteral("-s"),
                        QStringLiteral("-screen 0 1600x1000x24"), workstation,
                        QStringLiteral("--plugin"), qEnvironmentVariable("DQ_PLUGIN_DIR"),
                        QStringLiteral("--data"), m_home.filePath(QStringLiteral("data")),
                        QStringLiteral("--lights"), QStringLiteral("8"),
                        QStringLiteral("--print-layout")} +
                args);
    if (!p.waitForFinished(60000))
        p.kill();
    *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

void TestWorkstationGui::savedLayoutBringsDocksBack_data()
{
    QTest::addColumn<QString>("arrangement");
    QTest::addColumn<int>("journalArea");
    QTest::addColumn<int>("configArea");
    QTest::newRow("left and top") << "journal=left,config=top" << int(Qt::LeftDockWidgetArea)
                                  << int(Qt::TopDockWidgetArea);
    QTest::newRow("right and bottom")
        << "journal=right,config=bottom" << int(Qt::RightDockWidgetArea)
        << int(Qt::BottomDockWidgetArea);
}

void TestWorkstationGui::savedLayoutBringsDocksBack()
{
    QFETCH(QString, arrangement);
    QFETCH(int, journalArea);
    QFETCH(int, configArea);
    const auto dockLine = [](const QString& name, int area) {
        return QRegularExpression(
            QStringLiteral("^%1 area=%2 floating=0 visible=1 ").arg(name).arg(area),
            QRegularExpression::MultilineOption);
    };

    // First start: downloads make the module create its docks, the operator moves them.
    int code = -1;
    QString out = run({QStringLiteral("--demo"), QStringLiteral("--arrange-docks"), arrangement,
                       QStringLiteral("--quit-after"), QStringLiteral("3000")},
                      &code);
    QCOMPARE(code, 0);
    QVERIFY2(out.contains(QLatin1String("platform xcb")), qPrintable(out));
    QVERIFY2(out.contains(dockLine(QStringLiteral("journalQueueDoc"), journalArea)),
             qPrintable(out));
    QVERIFY2(out.contains(dockLine(QStringLiteral("configQueueDoc"), configArea)), qPrintable(out));

    // Kept with the data directory's files.
    QSettings saved(
        m_home.filePath(QStringLiteral("data/settings/RoadControl/dq-workstation.conf")),
        QSettings::IniFormat);
    QVERIFY(!saved.value(QStringLiteral("window/state")).toByteArray().isEmpty());
    QCOMPARE(saved.value(QStringLiteral("window/openQueues")).toStringList().size(), 2);

    // Second start, no downloads asked for: both docks come back where they were left.
    out = run({QStringLiteral("--quit-after"), QStringLiteral("2000")}, &code);
    QCOMPARE(code, 0);
    QVERIFY2(out.contains(dockLine(QStringLiteral("journalQueueDoc"), journalArea)),
             qPrintable(out));
    QVERIFY2(out.contains(dockLine(QStringLiteral("configQueueDoc"), configArea)), qPrintable(out));
}

void TestWorkstationGui::savedJournalOpensInItsFormat_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("said"); // a line of the log pane, as a pattern
    // Neither is of the generation offered by default (3.17).
    QTest::newRow("3.15")
        << "Jrn01040.bin"
        << "Journal Jrn01040\\.bin: controller 1040 \\(.*\\), binary journal 3\\.15$";
    QTest::newRow("vegal") << "Jrn01016.bin"
                           << "Journal Jrn01016\\.bin: controller 1016 \\(.*\\), text journal "
                              "\\(vegal\\)$";
}

void TestWorkstationGui::savedJournalOpensInItsFormat()
{
    QFETCH(QString, file);
    QFETCH(QString, said);
    int code = -1;
    const QString out =
        run(m_savedArgs + QStringList{QStringLiteral("--view-journal"),
                                      QDir(m_saved).filePath(QStringLiteral("journals/") + file),
                                      QStringLiteral("--print-log"), QStringLiteral("--quit-after"),
                                      QStringLiteral("1500")},
            &code);
    QCOMPARE(code, 0);
    QVERIFY2(out.contains(QRegularExpression(said, QRegularExpression::MultilineOption)),
             qPrintable(out));
}

void TestWorkstationGui::savedConfigurationsKnownAfterRestart_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("tool");    // a configuration tool on the search path
    QTest::addColumn<QString>("said"); // a line of the log pane, as a pattern
    QTest::newRow("saved .json, not dat%1.cnf")
        << "1016" << true << "Controller 1016: open configuration .*/configs/dat01016\\.json$";
    QTest::newRow("none saved: the failure is in the log pane")
        << "1001" << false << "Controller 1001: .*/configs/dat01001\\.cnf not exists$";
}

void TestWorkstationGui::savedConfigurationsKnownAfterRestart()
{
    QFETCH(QString, id);
    QFETCH(bool, tool);
    QFETCH(QString, said);
    QTemporaryDir bin;
    // The configuration tool stand-in records the file it was given.
    const QString varnik =
        tool ? makeRecordingProgram(bin.filePath(QStringLiteral("varnik"))) : QString();
    QCOMPARE(varnik.isEmpty(), !tool);
    int code = -1;
    const QString out = run(
        m_savedArgs + QStringList{QStringLiteral("--select"), id, QStringLiteral("--trigger"),
                                  QStringLiteral("actionOpenConfig"), QStringLiteral("--print-log"),
                                  QStringLiteral("--quit-after"), QStringLiteral("1500")},
        &code, tool ? bin.path() : QString());
    QCOMPARE(code, 0);
    QVERIFY2(out.contains(QLatin1String("1 configuration(s) saved earlier found")),
             qPrintable(out));
    QVERIFY2(out.contains(QRegularExpression(said, QRegularExpression::MultilineOption)),
             qPrintable(out));
    if (tool)
        QCOMPARE(waitForRecordedRun(varnik),
                 (QStringList{QStringLiteral("1"),
                              QDir(m_saved).filePath(QStringLiteral("configs/dat01016.json"))}));
}

void TestWorkstationGui::viewMenuAndQuit_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("shown"); // patterns the output holds
    QTest::addColumn<QString>("notShown");
    QTest::newRow("a closed queue comes back")
        << QStringList{QStringLiteral("--select"),
                       QStringLiteral("1001"),
                       QStringLiteral("--trigger"),
                       QStringLiteral("actionJournalAll,actionShowJournalQueue,"
                                      "actionShowJournalQueue"),
                       QStringLiteral("--quit-after"),
                       QStringLiteral("2500")}
        << QStringList{QStringLiteral("Queued 1 journal download \\(whole journal\\)\n.*"
                                      "Journal queue hidden\n.*Journal queue shown"),
                       QStringLiteral("^journalQueueDoc area=\\d+ floating=0 visible=1 ")}
        << QString();
    QTest::newRow("both queues show at the first start")
        << QStringList{QStringLiteral("--quit-after"), QStringLiteral("1500")}
        << QStringList{QStringLiteral("^journalQueueDoc area=8 floating=0 visible=1 "),
                       QStringLiteral("^configQueueDoc area=8 floating=0 visible=1 ")}
        << QString();
    QTest::newRow("an action without a selection asks for one")
        << QStringList{QStringLiteral("--trigger"), QStringLiteral("actionJournalAll"),
                       QStringLiteral("--quit-after"), QStringLiteral("1500")}
        << QStringList{QStringLiteral("Select controllers first$")} << QStringLiteral("Queued");
    QTest::newRow("clearing the queues asks while downloads run")
        << QStringList{QStringLiteral("--demo"), QStringLiteral("--trigger"),
                       QStringLiteral("actionClearQueues"), QStringLiteral("--quit-after"),
                       QStringLiteral("1500")}
        << QStringList{QStringLiteral("^asked: Clear both queues\\? \\d+ downloads? (is|are) still "
                                      "running\\.\n.*Queues cleared")}
        << QString();
    QTest::newRow("quit asks while downloads run")
        << QStringList{QStringLiteral("--demo"), QStringLiteral("--quit-after"),
                       QStringLiteral("700")}
        << QStringList{QStringLiteral("^asked: \\d+ download\\(s\\) still running")} << QString();
    QTest::newRow("quit asks nothing when idle")
        << QStringList{QStringLiteral("--quit-after"), QStringLiteral("700")}
        << QStringList{QStringLiteral("^platform xcb")} << QStringLiteral("asked:");
}

void TestWorkstationGui::viewMenuAndQuit()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, shown);
    QFETCH(QString, notShown);
    // Each row starts without a saved layout: no queue comes back by itself.
    QFile::remove(m_home.filePath(QStringLiteral("menu/settings/RoadControl/dq-workstation.conf")));
    int code = -1;
    const QString out =
        run(args + QStringList{QStringLiteral("--data"), m_home.filePath(QStringLiteral("menu")),
                               QStringLiteral("--print-log")},
            &code);
    QCOMPARE(code, 0);
    for (const QString& pattern : shown)
        QVERIFY2(out.contains(QRegularExpression(
                     pattern, QRegularExpression::MultilineOption |
                                  QRegularExpression::DotMatchesEverythingOption)),
                 qPrintable(pattern + QLatin1Char('\n') + out));
    if (!notShown.isEmpty())
        QVERIFY2(!out.contains(notShown), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestWorkstationGui)
#include "tst_workstation_gui.moc"
