#include "journal/controllerlist.h"
#include "workstation/controllerlistfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The workstation's controller list is what dq-journal --controllers reads.
class TestWorkstationControllerList : public QObject
{
    Q_OBJECT

private slots:
    void readBackByTheJournalTool();
};

void TestWorkstationControllerList::readBackByTheJournalTool()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("controllers.txt"));
    const QVector<QPair<int, QString>> controllers = {{1, QStringLiteral("Вегал V3.16")},
                                                      {1007, QStringLiteral("Зелта")},
                                                      {25, QStringLiteral("tm_helix")}};
    QString error;
    QVERIFY2(ControllerListFile::write(path, controllers, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    ControllerList list;
    QCOMPARE(list.parse(file.readAll()), QStringList());
    QCOMPARE(list.size(), controllers.size());
    for (const auto& c : controllers)
        QCOMPARE(list.type(c.first), c.second);
    QCOMPARE(ControllerList::versionForType(list.type(1)), 316);

    QVERIFY(!ControllerListFile::write(dir.filePath(QStringLiteral("no/dir/c.txt")), controllers,
                                       &error));
    QVERIFY(error.contains(QLatin1String("no/dir/c.txt")));
}

QTEST_MAIN(TestWorkstationControllerList)
#include "tst_workstationcontrollerlist.moc"
