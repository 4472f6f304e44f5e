#include "core/downloadfile.h"
#include "tests/specialfiles.h"

#include <QtTest>

#include <limits>

class TestDownloadFile : public QObject
{
    Q_OBJECT

private slots:
    void fileName_data();
    void fileName();
    void jsonPath_data();
    void jsonPath();
    void saveReplacesWhole();
    void saveIntoMissingDirectory();
    void failedWriteKeepsPreviousFile_data();
    void failedWriteKeepsPreviousFile();
    void readOnlyRegularFiles_data();
    void readOnlyRegularFiles();
    void saveNeverThroughLinksOrIntoNonFiles_data();
    void saveNeverThroughLinksOrIntoNonFiles();
};

void TestDownloadFile::fileName_data()
{
    QTest::addColumn<bool>("journal");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::newRow("config 7") << false << 7 << "dat00007.cnf";
    QTest::newRow("config 12") << false << 12 << "dat00012.cnf";
    QTest::newRow("config 123456") << false << 123456 << "dat123456.cnf";
    QTest::newRow("journal 5") << true << 5 << "Jrn00005.bin";
    QTest::newRow("journal 12") << true << 12 << "Jrn00012.bin";
    QTest::newRow("journal -5") << true << -5 << "Jrn-0005.bin";
    QTest::newRow("journal 10^9") << true << 1000000000 << "Jrn1000000000.bin";
    QTest::newRow("journal INT_MIN")
        << true << std::numeric_limits<int>::min() << "Jrn-2147483648.bin";
}

void TestDownloadFile::fileName()
{
    QFETCH(bool, journal);
    QFETCH(int, id);
    QFETCH(QString, name);
    QCOMPARE(DownloadFile::fileName(journal, id), name);
    // A journal's name gives its id back; no other name gives one.
    int read = 1;
    QCOMPARE(DownloadFile::idFromFileName(name, &read), journal);
    if (journal)
        QCOMPARE(read, id);
    for (const char* other : {"Jrn00025.txt", "JrnX.bin", "Jrn99999999999.bin", "Jrn-.bin"})
        QVERIFY2(!DownloadFile::idFromFileName(QString::fromLatin1(other), &read), other);
}

void TestDownloadFile::jsonPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("json");
    QTest::newRow("plain") << "/d/dat00012.cnf"
                           << "/d/dat00012.json";
    QTest::newRow("directory named .cnf stays") << "/x.cnf/dat00012.cnf"
                                                << "/x.cnf/dat00012.json";
    QTest::newRow("case-sensitive") << "/d/dat00012.CNF"
                                    << "/d/dat00012.CNF";
}

void TestDownloadFile::jsonPath()
{
    QFETCH(QString, path);
    QFETCH(QString, json);
    QCOMPARE(DownloadFile::jsonPath(path), json);
}

void TestDownloadFile::saveReplacesWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f.bin");
    QCOMPARE(DownloadFile::save(path, QByteArray(1000, 'a')), DownloadFile::Saved);
    QCOMPARE(DownloadFile::save(path, QByteArray("\0b", 2)), DownloadFile::Saved);
    QByteArray data;
    QCOMPARE(DownloadFile::readFile(path, &data), DownloadFile::Read);
    QCOMPARE(data, QByteArray("\0b", 2));
    QCOMPARE(DownloadFile::readFile(dir.filePath("absent"), &data), DownloadFile::Missing);
}

void TestDownloadFile::saveIntoMissingDirectory()
{
    QTemporaryDir dir;
    QCOMPARE(DownloadFile::save(dir.filePath("missing/f.bin"), "x"), DownloadFile::OpenFailed);
}

void TestDownloadFile::failedWriteKeepsPreviousFile_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("beyond the write buffer") << 100000;
    QTest::newRow("within the write buffer") << 6000;
}

void TestDownloadFile::failedWriteKeepsPreviousFile()
{
    QFETCH(int, size);
    QTemporaryDir dir;
    const QString path = dir.filePath("f.bin");
    QCOMPARE(DownloadFile::save(path, "previous"), DownloadFile::Saved);
    DownloadFile::SaveResult result = DownloadFile::Saved;
    {
        const SpecialFiles::SaveBlocker blocked(path, 4096);
        QVERIFY(blocked.isSet());
        result = DownloadFile::save(path, QByteArray(size, 'n'));
    }
    QCOMPARE(result, DownloadFile::WriteFailed);
    QByteArray data;
    QCOMPARE(DownloadFile::readFile(path, &data), DownloadFile::Read);
    QCOMPARE(data, QByteArray("previous"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"f.bin"});
}

void TestDownloadFile::readOnlyRegularFiles_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("read");
    QTest::addColumn<bool>("tooLarge");
    QTest::newRow("regular file") << int(SpecialFiles::Regular) << true << false;
    // Whatever a link in the save directory points to is not the download's file.
    QTest::newRow("link to a regular file") << int(SpecialFiles::LinkToRegular) << false << false;
    QTest::newRow("FIFO") << int(SpecialFiles::Fifo) << false << false;
    QTest::newRow("link to /dev/zero") << int(SpecialFiles::LinkToZero) << false << false;
    QTest::newRow("past the ceiling") << int(SpecialFiles::Sparse) << false << true;
}

void TestDownloadFile::readOnlyRegularFiles()
{
    QFETCH(int, kind);
    QFETCH(bool, read);
    QFETCH(bool, tooLarge);
    QTemporaryDir dir;
    const QString path = dir.filePath("Jrn00001.bin");
    SPECIALFILES_SKIP_IF(SpecialFiles::unsupported(SpecialFiles::Kind(kind)));
    QVERIFY(SpecialFiles::make(SpecialFiles::Kind(kind), path, "journal",
                               qint64(DownloadFile::maxSize) + 1));
    QByteArray data;
    const SpecialFiles::FifoGuard guard(kind == SpecialFiles::Fifo ? path : QString());
    const DownloadFile::ReadResult result = DownloadFile::readFile(path, &data);
    QVERIFY(!guard.fired());
    QCOMPARE(result == DownloadFile::Read, read);
    QCOMPARE(result == DownloadFile::TooLarge, tooLarge);
    QCOMPARE(data, read ? QByteArray("journal") : QByteArray());
}

void TestDownloadFile::saveNeverThroughLinksOrIntoNonFiles_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("link to a regular file") << int(SpecialFiles::LinkToRegular);
    QTest::newRow("link to nothing") << int(SpecialFiles::DanglingLink);
    QTest::newRow("FIFO") << int(SpecialFiles::Fifo);
    // No link to a device here: a regression would replace the device itself.
}

void TestDownloadFile::saveNeverThroughLinksOrIntoNonFiles()
{
    QFETCH(int, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath("dat00001.cnf");
    SPECIALFILES_SKIP_IF(SpecialFiles::unsupported(SpecialFiles::Kind(kind)));
    QVERIFY(SpecialFiles::make(SpecialFiles::Kind(kind), path, "previous"));
    const int before = SpecialFiles::kindAt(path);
    const int targetBefore = SpecialFiles::kindAt(SpecialFiles::targetOf(path));
    QCOMPARE(DownloadFile::save(path, "new"), DownloadFile::OpenFailed);
    QCOMPARE(SpecialFiles::kindAt(path), before);
    QCOMPARE(SpecialFiles::kindAt(SpecialFiles::targetOf(path)), targetBefore);
    if (kind == SpecialFiles::LinkToRegular) {
        QFile target(SpecialFiles::targetOf(path));
        QVERIFY(target.open(QIODevice::ReadOnly));
        QCOMPARE(target.readAll(), QByteArray("previous"));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(),
             kind == SpecialFiles::LinkToRegular ? 2 : 1);
}

QTEST_APPLESS_MAIN(TestDownloadFile)
#include "tst_downloadfile.moc"
