#include "plugin/configtoolfinder.h"
#include "plugin/editorlauncher.h"
#include "tests/recordingprogram.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// Answers the editor dialog when it comes up: picks `choice`, or cancels when
// it is empty. Records how often it came and where it started.
class DialogDriver : public QObject
{
    Q_OBJECT

public:
    explicit DialogDriver(const QString& choice) : choice(choice)
    {
        connect(&timer, &QTimer::timeout, this, &DialogDriver::poll);
        timer.start(20);
    }

    QString choice;
    int shown = 0;
    QString startDir;
    QString caption;

private:
    void poll()
    {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        ++shown;
        startDir = dialog->directory().absolutePath();
        caption = dialog->windowTitle();
        if (choice.isEmpty()) {
            dialog->reject();
        } else {
            // Typed as the operator would; selectFile() needs the directory loaded first.
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            edit->setText(choice);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    }

    QTimer timer;
};

class TestEditorLauncher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void toolStartsWhateverTheFile_data();
    void toolStartsWhateverTheFile();
    void toolOnTheSystemSearchPath();
    void missingFileIsLogged();
    void failedStartIsLogged_data();
    void failedStartIsLogged();
    void storedEditorStartsWithoutDialog();
    void newTypeAsksOnceAndRemembers();
    void earlierKeyIsConverted_data();
    void earlierKeyIsConverted();
    void laterDuplicateWins();
    void nullLightIsIgnored();

private:
    QString makeProgram(const QString& name, bool runnable = true);
    QString makeConfig(const QString& name);
    bool ranWithin(const QString& program, int ms);
    void open(QObject* light, QString pathValue = QString());
    void storeEditors(const QList<QPair<QString, QString>>& editors);
    QList<QPair<QString, QString>> storedEditors();

    QTemporaryDir settingsDir;
    QScopedPointer<QTemporaryDir> work;
    QString emptyDir;
    QString configDir;
};

void TestEditorLauncher::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    QCoreApplication::setOrganizationName(QStringLiteral("DqTest"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_editorlauncher"));
}

void TestEditorLauncher::init()
{
    work.reset(new QTemporaryDir);
    QVERIFY(work->isValid());
    QDir w(work->path());
    QVERIFY(w.mkdir(QStringLiteral("empty")));
    QVERIFY(w.mkdir(QStringLiteral("config")));
    QVERIFY(w.mkdir(QStringLiteral("bin")));
    emptyDir = w.filePath(QStringLiteral("empty"));
    configDir = w.filePath(QStringLiteral("config"));
    const auto s = EditorLauncher::settings();
    s->clear();
    s->sync();
}

// A program that records how many arguments it got and the first one, or one
// that the system cannot run.
QString TestEditorLauncher::makeProgram(const QString& relativePath, bool runnable)
{
    return makeRecordingProgram(QDir(work->path()).filePath(relativePath), runnable);
}

// An empty configuration file of that name in configDir; returns its path.
QString TestEditorLauncher::makeConfig(const QString& name)
{
    const QString path = QDir(configDir).filePath(name);
    QFile(path).open(QIODevice::WriteOnly);
    return path;
}

bool TestEditorLauncher::ranWithin(const QString& program, int ms)
{
    const QString out = program + QStringLiteral(".out");
    return QTest::qWaitFor([&] { return QFile::exists(out); }, ms);
}

// pathValue's parts are separated by ':' and "@" is the work directory; the
// platform's own separator and tool name are used.
void TestEditorLauncher::open(QObject* light, QString pathValue)
{
    const char separator = ConfigToolFinder::defaultSeparator();
    pathValue.replace(QLatin1Char(':'), QLatin1Char(separator));
    pathValue.replace(QLatin1Char('@'), work->path());
    // No tool next to the application unless a test puts one in bin/.
    EditorLauncher::openConfig(light, QDir(configDir), QDir(work->path()).filePath("bin"),
                               (pathValue.isEmpty() ? emptyDir : pathValue).toUtf8(), separator,
                               ConfigToolFinder::defaultFileName());
}

void TestEditorLauncher::storeEditors(const QList<QPair<QString, QString>>& editors)
{
    const auto s = EditorLauncher::settings();
    s->beginGroup("Plugins/DownloadQueue");
    s->beginWriteArray("editors");
    for (int i = 0; i < editors.size(); ++i) {
        s->setArrayIndex(i);
        s->setValue("type", editors.at(i).first);
        s->setValue("prog", editors.at(i).second);
    }
    s->endArray();
    s->endGroup();
}

QList<QPair<QString, QString>> TestEditorLauncher::storedEditors()
{
    const auto s = EditorLauncher::settings();
    QList<QPair<QString, QString>> list;
    s->beginGroup(QStringLiteral("Plugins/DownloadQueue"));
    const int n = s->beginReadArray(QStringLiteral("editors"));
    for (int i = 0; i < n; ++i) {
        s->setArrayIndex(i);
        list.append({s->value("type").toString(), s->value("prog").toString()});
    }
    s->endArray();
    s->endGroup();
    std::sort(list.begin(), list.end());
    return list;
}

void TestEditorLauncher::toolStartsWhateverTheFile_data()
{
    QTest::addColumn<QString>("toolAt");    // where varnik lives, relative to the work dir
    QTest::addColumn<QString>("pathValue"); // "@" is the work dir
    QTest::addColumn<QVariant>("id");
    QTest::addColumn<QVariant>("stored");      // "dqueue_config"
    QTest::addColumn<QString>("expectedFile"); // "@" is the config dir

    QTest::newRow("next to the application, stored path")
        << "bin/varnik"
        << "@/p1:@/p2" << QVariant(7) << QVariant(QStringLiteral("/no/such dir/$HOME;x.cnf"))
        << "/no/such dir/$HOME;x.cnf";
    QTest::newRow("on PATH, default name")
        << "p2/varnik"
        << "@/p1:@/p2" << QVariant(42) << QVariant() << "@/dat00042.cnf";
    QTest::newRow("empty stored path, long id")
        << "p1/varnik"
        << "@/p1:@/p2" << QVariant(123456) << QVariant(QString()) << "@/dat123456.cnf";
    QTest::newRow("id not a number")
        << "p1/varnik"
        << "@/p1" << QVariant(QStringLiteral("x")) << QVariant() << "@/dat00000.cnf";
}

void TestEditorLauncher::toolStartsWhateverTheFile()
{
    QFETCH(QString, toolAt);
    QFETCH(QString, pathValue);
    QFETCH(QVariant, id);
    QFETCH(QVariant, stored);
    QFETCH(QString, expectedFile);

    const QString tool = makeProgram(toolAt);
    // An editor is stored for the type: the tool must still win.
    const QString editor = makeProgram(QStringLiteral("editor"));
    storeEditors({{"vegal2", editor}});
    QObject light;
    light.setProperty("id", id);
    light.setProperty("type", QStringLiteral("vegal2"));
    if (stored.isValid())
        light.setProperty("dqueue_config", stored);

    DialogDriver driver(QString{});
    open(&light, pathValue);

    const QStringList run = waitForRecordedRun(tool);
    QCOMPARE(run, (QStringList{"1", expectedFile.replace(QLatin1Char('@'), configDir)}));
    QCOMPARE(driver.shown, 0);
    QVERIFY(!ranWithin(editor, 100));
}

// Sets PATH as the system holds it: on Windows in UTF-16, whose narrow copy has
// only the ANSI code page's letters.
static void setSearchPath(const QString& value)
{
#ifdef Q_OS_WIN
    _wputenv(reinterpret_cast<const wchar_t*>((QStringLiteral("PATH=") + value).utf16()));
#else
    qputenv("PATH", QFile::encodeName(value));
#endif
}

void TestEditorLauncher::toolOnTheSystemSearchPath()
{
    // Where an installer puts it, in a folder named in Cyrillic.
    const QString tool = makeProgram(QStringLiteral("Program Files/Конфигуратор/varnik"));
    const QString cfg = makeConfig(QStringLiteral("dat00009.cnf"));
    QObject light;
    light.setProperty("id", 9);
    light.setProperty("type", QStringLiteral("vegal2"));
    const QString oldPath = qEnvironmentVariable("PATH");
    setSearchPath(QDir::toNativeSeparators(QFileInfo(tool).absolutePath()) + QDir::listSeparator() +
                  oldPath);
    DialogDriver driver(QString{});
    EditorLauncher::openConfig(&light, QDir(configDir));
    setSearchPath(oldPath);
    QCOMPARE(waitForRecordedRun(tool), (QStringList{"1", cfg}));
    QCOMPARE(driver.shown, 0);
}

void TestEditorLauncher::missingFileIsLogged()
{
    QObject light;
    light.setProperty("id", 42);
    light.setProperty("type", QStringLiteral("newtype"));
    const QString file = QDir(configDir).filePath(QStringLiteral("dat00042.cnf"));
    QTest::ignoreMessage(QtCriticalMsg, qPrintable(file + QStringLiteral(" not exists")));
    DialogDriver driver(QString{});
    open(&light);
    QTest::qWait(100);
    QCOMPARE(driver.shown, 0);
    const auto s = EditorLauncher::settings();
    QCOMPARE(s->allKeys(), QStringList());
}

void TestEditorLauncher::failedStartIsLogged_data()
{
    QTest::addColumn<bool>("tool");         // a varnik on PATH that cannot be run
    QTest::addColumn<bool>("editorExists"); // the editor stored for the type
    QTest::addColumn<QString>("log");       // "@" is the work dir, "%1" the tool

    QTest::newRow("tool that cannot run, the stored editor stands in")
        << true << true
        << "Cannot start %1: the system could not run it (unknown format, missing "
           "interpreter or out of resources)";
    QTest::newRow("stored editor gone") << false << false << "Cannot start @/editor: no such file";
}

void TestEditorLauncher::failedStartIsLogged()
{
    QFETCH(bool, tool);
    QFETCH(bool, editorExists);
    QFETCH(QString, log);

    const QString toolPath = tool ? makeProgram(QStringLiteral("p1/varnik"), false) : QString();
    QVERIFY(toolPath.isEmpty() != tool);
    if (tool)
        log = log.arg(toolPath);
    const QString editor = editorExists ? makeProgram(QStringLiteral("editor"))
                                        : QDir(work->path()).filePath(QStringLiteral("editor"));
    storeEditors({{"vegal2", editor}});
    const QString cfg = makeConfig(QStringLiteral("dat00008.cnf"));
    QObject light;
    light.setProperty("id", 8);
    light.setProperty("type", QStringLiteral("vegal2"));

    QTest::ignoreMessage(QtCriticalMsg, qPrintable(log.replace(QLatin1Char('@'), work->path())));
    DialogDriver driver(QString{});
    open(&light, QStringLiteral("@/p1"));
    QCOMPARE(driver.shown, 0);
    if (editorExists)
        QCOMPARE(waitForRecordedRun(editor), (QStringList{"1", cfg}));
}

void TestEditorLauncher::storedEditorStartsWithoutDialog()
{
    // Where programs are installed on Windows: spaces, letters beyond Latin-1.
    const QString editor = makeProgram(QStringLiteral("Program Files/Редактор ТСО/editor"));
    const QString other = makeProgram(QStringLiteral("other"));
    storeEditors({{QStringLiteral("Вегал V3.16"), editor}, {"tm_helix", other}});
    const auto s = EditorLauncher::settings();
    QFile settingsFile(s->fileName());
    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    const QByteArray before = settingsFile.readAll();
    settingsFile.close();

    const QString cfg = makeConfig(QStringLiteral("my config.cnf"));
    QObject light;
    light.setProperty("id", 3);
    light.setProperty("type", QStringLiteral("Вегал V3.16"));
    light.setProperty("dqueue_config", cfg);
    DialogDriver driver(QString{});
    open(&light);

    QCOMPARE(waitForRecordedRun(editor), (QStringList{"1", cfg}));
    QCOMPARE(driver.shown, 0);
    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    QCOMPARE(settingsFile.readAll(), before);
}

void TestEditorLauncher::newTypeAsksOnceAndRemembers()
{
    const QString existing = makeProgram(QStringLiteral("existing"));
    const QString chosen = makeProgram(QStringLiteral("tools/chosen"));
    storeEditors({{"old", existing}});
    const QString cfg = makeConfig(QStringLiteral("dat00005.cnf"));
    QObject light;
    light.setProperty("id", 5);
    light.setProperty("type", QStringLiteral("new"));

    {
        DialogDriver driver(chosen);
        open(&light);
        QCOMPARE(driver.shown, 1);
        QCOMPARE(driver.caption, QStringLiteral("Select program to open file"));
    }
    QCOMPARE(waitForRecordedRun(chosen), (QStringList{"1", cfg}));
    QCOMPARE(storedEditors(), (QList<QPair<QString, QString>>{{"new", chosen}, {"old", existing}}));
    QCOMPARE(EditorLauncher::lastDirectory(), QFileInfo(chosen).absolutePath());

    // The same type again: no question.
    QFile::remove(chosen + ".out");
    {
        DialogDriver driver(QString{});
        open(&light);
        QCOMPARE(driver.shown, 0);
    }
    QCOMPARE(waitForRecordedRun(chosen), (QStringList{"1", cfg}));

    // Another new type: the dialog starts where the last program was found; cancelling
    // starts nothing and stores nothing.
    light.setProperty("type", QStringLiteral("third"));
    {
        DialogDriver driver(QString{});
        open(&light);
        QCOMPARE(driver.shown, 1);
        QCOMPARE(driver.startDir, QFileInfo(chosen).absolutePath());
    }
    QCOMPARE(storedEditors().size(), 2);

    // A light without a type: the chosen program starts, but no type could find it again.
    light.setProperty("type", QString());
    QFile::remove(chosen + ".out");
    {
        DialogDriver driver(chosen);
        open(&light);
        QCOMPARE(driver.shown, 1);
    }
    QCOMPARE(waitForRecordedRun(chosen), (QStringList{"1", cfg}));
    QCOMPARE(storedEditors().size(), 2);
}

void TestEditorLauncher::earlierKeyIsConverted_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("choose"); // when asked: choose a program, or cancel
    QTest::addColumn<int>("dialogs");
    QTest::addColumn<QString>("started"); // "A", "B", "new" or "" for none

    QTest::newRow("type among converted") << "B" << false << 0 << "B";
    QTest::newRow("dialog cancelled") << "C" << false << 1 << "";
    QTest::newRow("dialog answered") << "D" << true << 1 << "new";
}

void TestEditorLauncher::earlierKeyIsConverted()
{
    QFETCH(QString, type);
    QFETCH(bool, choose);
    QFETCH(int, dialogs);
    QFETCH(QString, started);

    const QString progA = makeProgram("A");
    const QString progB = makeProgram("B");
    const QString progNew = makeProgram("new");
    {
        const auto s = EditorLauncher::settings();
        s->setValue("Plugins/DownloadQueue/ProgTypeString",
                    QStringList{"A", progA, "", "B", progB, "C"});
    }
    const QString cfg = makeConfig(QStringLiteral("c.cnf"));
    QObject light;
    light.setProperty("type", type);
    light.setProperty("dqueue_config", cfg);
    {
        DialogDriver driver(choose ? progNew : QString());
        open(&light);
        QCOMPARE(driver.shown, dialogs);
    }

    QList<QPair<QString, QString>> expected{{"A", progA}, {"B", progB}};
    if (choose)
        expected.append({type, progNew});
    QCOMPARE(storedEditors(), expected);
    const auto s = EditorLauncher::settings();
    QVERIFY(!s->contains("Plugins/DownloadQueue/ProgTypeString"));

    const QMap<QString, QString> programs{{"A", progA}, {"B", progB}, {"new", progNew}};
    if (!started.isEmpty())
        QCOMPARE(waitForRecordedRun(programs.value(started)), (QStringList{"1", cfg}));
    for (auto p = programs.cbegin(); p != programs.cend(); ++p)
        if (p.key() != started)
            QVERIFY(!ranWithin(p.value(), started.isEmpty() ? 200 : 0));
}

void TestEditorLauncher::laterDuplicateWins()
{
    const QString first = makeProgram("first");
    const QString second = makeProgram("second");
    const QString third = makeProgram("third");
    // The last one is ignored: no program.
    storeEditors({{"T", first}, {"T", second}, {"X", ""}});
    const QString cfg = makeConfig(QStringLiteral("c.cnf"));
    QObject light;
    light.setProperty("type", "T");
    light.setProperty("dqueue_config", cfg);
    open(&light);
    QCOMPARE(waitForRecordedRun(second), (QStringList{"1", cfg}));
    QVERIFY(!ranWithin(first, 0));

    // The next write keeps one entry per type, with no stale element behind it.
    light.setProperty("type", "U");
    {
        DialogDriver driver(third);
        open(&light);
    }
    QCOMPARE(storedEditors(), (QList<QPair<QString, QString>>{{"T", second}, {"U", third}}));
    const auto s = EditorLauncher::settings();
    const QStringList keys = s->allKeys();
    QVERIFY2(!keys.join(' ').contains("editors/3"), qPrintable(keys.join(' ')));
}

void TestEditorLauncher::nullLightIsIgnored()
{
    DialogDriver driver(QString{});
    open(nullptr);
    QCOMPARE(driver.shown, 0);
}

int main(int argc, char** argv)
{
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    TestEditorLauncher test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_editorlauncher.moc"
