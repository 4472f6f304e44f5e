// The Windows version block is generated from the project's version on every
// platform; here we check what the Windows build will compile.
#include <QFile>
#include <QTest>

class TestVersionBlock : public QObject
{
    Q_OBJECT

private slots:
    void entries_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("file version") << "FILEVERSION 2,3,41,0";
        QTest::newRow("product version") << "PRODUCTVERSION 2,3,41,0";
        QTest::newRow("a DLL") << "FILETYPE VFT_DLL";
        QTest::newRow("32-bit Windows") << "FILEOS VOS_NT_WINDOWS32";
        QTest::newRow("US English, Unicode") << "BLOCK \"040904b0\"";
        QTest::newRow("translation") << "VALUE \"Translation\", 0x409, 1200";
        QTest::newRow("description")
            << "VALUE \"FileDescription\", \"Модуль загрузки журналов и конфигураций\"";
        QTest::newRow("file version text") << "VALUE \"FileVersion\", \"2.3.41.0\"";
        QTest::newRow("product version text") << "VALUE \"ProductVersion\", \"2.3.41.0\"";
        QTest::newRow("source in UTF-8") << "#pragma code_page(65001)";
    }
    void entries()
    {
        QFETCH(QString, line);
        QFile rc(QStringLiteral(DQ_VERSION_RC_PATH));
        QVERIFY2(rc.open(QIODevice::ReadOnly), qPrintable(rc.fileName()));
        const QString text = QString::fromUtf8(rc.readAll());
        QVERIFY(!text.contains(QLatin1Char('@'))); // every placeholder filled
        QStringList lines;
        for (const QString& l : text.split(QLatin1Char('\n')))
            lines << l.trimmed();
        QVERIFY2(lines.contains(line), qPrintable(line));
    }
};

QTEST_APPLESS_MAIN(TestVersionBlock)
#include "tst_versionblock.moc"
