#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// Starts the workstation window on a virtual X display (xvfb-run): the queue
// docks show, and the layout saved on closing brings them back, in the places
// the operator gave them, at the next start.
class TestWorkstationGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void savedLayoutBringsDocksBack_data();
    void savedLayoutBringsDocksBack();

private:
    QString run(const QStringList& args, int* exitCode);

    QString m_xvfbRun;
    QTemporaryDir m_home;
};

void TestWorkstationGui::initTestCase()
{
    m_xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (m_xvfbRun.isEmpty())
        QSKIP("xvfb-run is not installed");
    QVERIFY(m_home.isValid());
}

QString TestWorkstationGui::run(const QStringList& args, int* exitCode)
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

    QSettings saved(m_home.filePath(QStringLiteral("config/RoadControl/dq-workstation.conf")),
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

QTEST_GUILESS_MAIN(TestWorkstationGui)
#include "tst_workstation_gui.moc"
