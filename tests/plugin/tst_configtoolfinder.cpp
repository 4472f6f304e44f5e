#include "plugin/configtoolfinder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

// Finding the configuration tool under both platform conventions.
class TestConfigToolFinder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void find_data();
    void find();
    void platformDefaults();

private:
    void touch(const QString& relativePath);
    QScopedPointer<QTemporaryDir> root;
    QString savedCwd;
};

void TestConfigToolFinder::init()
{
    root.reset(new QTemporaryDir);
    QVERIFY(root->isValid());
    QDir r(root->path());
    for (const char* d : {"app", "a", "b", "c", "cwd", "empty"})
        QVERIFY(r.mkdir(QLatin1String(d)));
    savedCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(r.filePath(QStringLiteral("cwd"))));
}

void TestConfigToolFinder::cleanup()
{
    QDir::setCurrent(savedCwd);
    root.reset();
}

// "x" makes a program, "x!" a file without execute permission, "x|" a FIFO and
// "x/" a directory.
void TestConfigToolFinder::touch(const QString& relativePath)
{
    QString path = QDir(root->path()).filePath(relativePath);
    const QChar kind = path.back();
    if (kind == QLatin1Char('/')) {
        QVERIFY(QDir().mkpath(path));
        return;
    }
    if (kind == QLatin1Char('!') || kind == QLatin1Char('|'))
        path.chop(1);
    if (kind == QLatin1Char('|')) {
#ifdef Q_OS_UNIX
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0755), 0);
#endif
        return;
    }
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    if (kind != QLatin1Char('!'))
        QVERIFY(f.setPermissions(f.permissions() | QFile::ExeOwner));
}

// Paths in the data are relative to the temporary root and written as "@/..."
void TestConfigToolFinder::find_data()
{
    QTest::addColumn<QStringList>("files"); // to create, as touch() reads them
    QTest::addColumn<QString>("pathValue"); // "@" stands for the temporary root
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("expected"); // relative to the root; empty: not found

    QTest::newRow("app dir wins over PATH") << QStringList{"app/varnik", "a/varnik"} << "@/a"
                                            << ":"
                                            << "varnik"
                                            << "app/varnik";
    QTest::newRow("first PATH match wins") << QStringList{"b/varnik", "c/varnik"} << "@/a:@/b:@/c"
                                           << ":"
                                           << "varnik"
                                           << "b/varnik";
    QTest::newRow("windows separator and name")
        << QStringList{"b/varnik", "c/varnik.exe"} << "@/a;@/b;@/c"
        << ";"
        << "varnik.exe"
        << "c/varnik.exe";
    QTest::newRow("windows: PATH with spaces and Cyrillic letters")
        << QStringList{"a/varnik", QStringLiteral("Program Files/Конфигуратор/varnik.exe")}
        << QStringLiteral("@/a;@/Program Files/Конфигуратор;@/b") << ";"
        << "varnik.exe" << QStringLiteral("Program Files/Конфигуратор/varnik.exe");
    QTest::newRow("semicolon is no separator here") << QStringList{"b/varnik"} << "@/a;@/b"
                                                    << ":"
                                                    << "varnik"
                                                    << "";
    QTest::newRow("empty part is the current dir") << QStringList{"cwd/varnik"} << "@/a::@/c"
                                                   << ":"
                                                   << "varnik"
                                                   << "cwd/varnik";
    QTest::newRow("empty PATH is the current dir") << QStringList{"cwd/varnik"} << ""
                                                   << ":"
                                                   << "varnik"
                                                   << "cwd/varnik";
    QTest::newRow("quotes are kept") << QStringList{"b/varnik"} << "\"@/b\""
                                     << ":"
                                     << "varnik"
                                     << "";
    QTest::newRow("variables are not expanded") << QStringList{"b/varnik"} << "$DQ_FINDER_DIR"
                                                << ":"
                                                << "varnik"
                                                << "";
    QTest::newRow("a directory of that name is skipped")
        << QStringList{"a/varnik/", "b/varnik"} << "@/a:@/b"
        << ":"
        << "varnik"
        << "b/varnik";
    QTest::newRow("a file without execute permission is skipped")
        << QStringList{"app/varnik!", "a/varnik!", "b/varnik"} << "@/a:@/b"
        << ":"
        << "varnik"
        << "b/varnik";
    QTest::newRow("a FIFO of that name is skipped")
        << QStringList{"app/varnik|", "a/varnik|", "b/varnik"} << "@/a:@/b"
        << ":"
        << "varnik"
        << "b/varnik";
    QTest::newRow("nowhere") << QStringList{} << "@/a:@/b"
                             << ":"
                             << "varnik"
                             << "";
}

void TestConfigToolFinder::find()
{
    QFETCH(QStringList, files);
    QFETCH(QString, pathValue);
    QFETCH(QString, separator);
    QFETCH(QString, fileName);
    QFETCH(QString, expected);
#ifdef Q_OS_WIN
    // Unix's rows on Windows' terms: ';' between folders, a program ends in ".exe".
    if (separator == QLatin1String(":")) {
        const bool unixOnly =
            pathValue.contains(QLatin1Char(';')) ||
            std::any_of(files.cbegin(), files.cend(), [](const QString& f) {
                return f.endsWith(QLatin1Char('!')) || f.endsWith(QLatin1Char('|'));
            });
        if (unixOnly)
            QSKIP("a ';' in a Unix PATH, execute permissions and FIFOs are Unix's");
        pathValue.replace(QLatin1Char(':'), QLatin1Char(';'));
        separator = QStringLiteral(";");
        fileName += QStringLiteral(".exe");
        for (QString& f : files)
            f.insert(f.endsWith(QLatin1Char('/')) ? f.size() - 1 : f.size(),
                     QStringLiteral(".exe"));
        if (!expected.isEmpty())
            expected += QStringLiteral(".exe");
    }
#endif

    for (const QString& f : files)
        touch(f);
    qputenv("DQ_FINDER_DIR", QDir(root->path()).filePath(QStringLiteral("b")).toUtf8());
    pathValue.replace(QLatin1Char('@'), root->path());
    const QString appDir = QDir(root->path()).filePath(QStringLiteral("app"));

    const QString found = ConfigToolFinder::findConfigTool(appDir, pathValue.toUtf8(),
                                                           separator.at(0).toLatin1(), fileName);
    const QString want = expected.isEmpty() ? QString() : QDir(root->path()).filePath(expected);
    QCOMPARE(found, want);
}

void TestConfigToolFinder::platformDefaults()
{
#ifdef Q_OS_WIN
    QCOMPARE(ConfigToolFinder::defaultFileName(), QStringLiteral("varnik.exe"));
    QCOMPARE(ConfigToolFinder::defaultSeparator(), ';');
#else
    QCOMPARE(ConfigToolFinder::defaultFileName(), QStringLiteral("varnik"));
    QCOMPARE(ConfigToolFinder::defaultSeparator(), ':');
#endif
}

QTEST_GUILESS_MAIN(TestConfigToolFinder)
#include "tst_configtoolfinder.moc"
