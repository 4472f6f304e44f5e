// The Windows version block is generated from the project's version on every
// platform; here we check what the Windows build will compile, and on Windows
// what the system reads from the built module.
#include <QFile>
#include <QTest>

#ifdef Q_OS_WIN
#include <QDir>
#include <qt_windows.h>
#endif

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

    // As Explorer's properties or an installer read it: the Windows API on the built DLL.
    void builtModule_data()
    {
#ifndef Q_OS_WIN
        QSKIP("a built module's version block is read with the Windows API");
#endif
        QTest::addColumn<QString>("key"); // in the US English strings; empty: the fixed part
        QTest::addColumn<QString>("value");
        QTest::newRow("fixed file version") << ""
                                            << "2.3.41.0";
        QTest::newRow("file version") << "FileVersion"
                                      << "2.3.41.0";
        QTest::newRow("product version") << "ProductVersion"
                                         << "2.3.41.0";
        QTest::newRow("file name") << "OriginalFilename"
                                   << "downloadqueue.dll";
        QTest::newRow("description") << "FileDescription"
                                     << "Модуль загрузки журналов и конфигураций";
    }
    void builtModule()
    {
#ifdef Q_OS_WIN
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QString module = QDir::toNativeSeparators(qEnvironmentVariable("DQ_MODULE"));
        QCOMPARE(QFileInfo(module).fileName(), QStringLiteral("downloadqueue.dll"));
        const auto* name = reinterpret_cast<const wchar_t*>(module.utf16());
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(name, &handle);
        QVERIFY2(size > 0, qPrintable(module));
        QByteArray block(int(size), '\0');
        QVERIFY(GetFileVersionInfoW(name, 0, size, block.data()));
        void* found = nullptr;
        UINT length = 0;
        if (key.isEmpty()) {
            QVERIFY(VerQueryValueW(block.data(), L"\\", &found, &length));
            const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(found);
            QCOMPARE(QStringLiteral("%1.%2.%3.%4")
                         .arg(HIWORD(fixed->dwFileVersionMS))
                         .arg(LOWORD(fixed->dwFileVersionMS))
                         .arg(HIWORD(fixed->dwFileVersionLS))
                         .arg(LOWORD(fixed->dwFileVersionLS)),
                     value);
            QCOMPARE(fixed->dwFileType, DWORD(VFT_DLL));
        } else {
            const QString sub = QStringLiteral("\\StringFileInfo\\040904b0\\") + key;
            QVERIFY2(VerQueryValueW(block.data(), reinterpret_cast<const wchar_t*>(sub.utf16()),
                                    &found, &length),
                     qPrintable(sub));
            QCOMPARE(QString::fromWCharArray(static_cast<const wchar_t*>(found)), value);
        }
#endif
    }
};

QTEST_APPLESS_MAIN(TestVersionBlock)
#include "tst_versionblock.moc"
