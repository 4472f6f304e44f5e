#include "plugin/editorlauncher.h"

#include "core/downloadfile.h"
#include "plugin/configtoolfinder.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

namespace EditorLauncher {

namespace {

const char settingsGroup[] = "Plugins/DownloadQueue";
const char editorsArray[] = "editors";
// The list form of the table that earlier releases wrote: type, program, type, ...
const char earlierKey[] = "Plugins/DownloadQueue/ProgTypeString";

// Shared by every call in the process, so that the dialog returns where the
// operator last found a program.
QString& lastDir()
{
    static QString dir;
    return dir;
}

using EditorTable = QMap<QString, QString>;

QString configFileOf(QObject* light, const QDir& configDir)
{
    const QString stored = light->property("dqueue_config").toString();
    if (!stored.isEmpty())
        return stored;
    // An id that is not a number counts as 0, as toInt() gives.
    const int id = light->property("id").toInt();
    return configDir.absoluteFilePath(DownloadFile::fileName(false, id));
}

void readEditors(QSettings& settings, EditorTable& table)
{
    settings.beginGroup(QLatin1String(settingsGroup));
    const int size = settings.beginReadArray(QLatin1String(editorsArray));
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        const QString type = settings.value(QStringLiteral("type")).toString();
        const QString prog = settings.value(QStringLiteral("prog")).toString();
        if (!type.isEmpty() && !prog.isEmpty())
            table.insert(type, prog); // a later entry replaces an earlier one
    }
    settings.endArray();
    settings.endGroup();
}

// Returns true when the earlier key was there (and is now gone).
bool convertEarlierKey(QSettings& settings, EditorTable& table)
{
    const QString key = QLatin1String(earlierKey);
    if (!settings.contains(key))
        return false;
    const QStringList list = settings.value(key).toStringList();
    for (int i = 0; i < list.size(); ++i) {
        const QString& type = list.at(i);
        if (type.isEmpty())
            continue;
        if (i + 1 >= list.size())
            break; // a type without program
        const QString& prog = list.at(++i);
        if (!prog.isEmpty())
            table.insert(type, prog);
    }
    settings.remove(key);
    return true;
}

void writeEditors(QSettings& settings, const EditorTable& table)
{
    settings.beginGroup(QLatin1String(settingsGroup));
    // Drop the old elements first: a shorter array would leave stale ones behind.
    settings.remove(QLatin1String(editorsArray));
    settings.beginWriteArray(QLatin1String(editorsArray), table.size());
    int index = 0;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        settings.setArrayIndex(index++);
        settings.setValue(QStringLiteral("type"), it.key());
        settings.setValue(QStringLiteral("prog"), it.value());
    }
    settings.endArray();
    settings.endGroup();
}

// A detached start says only that it failed: the program's file tells why, as
// far as it can be told.
QString whyNotStarted(const QString& program)
{
    QFileInfo info(program);
    if (!info.exists() && info.fileName() == program) {
        // A bare name is looked up along the search path.
        const QString found = QStandardPaths::findExecutable(program);
        if (found.isEmpty())
            return QStringLiteral("not found on the search path");
        info.setFile(found);
    }
    if (!info.exists())
        return QStringLiteral("no such file");
    if (!info.isFile())
        return QStringLiteral("not a regular file");
    if (!info.isExecutable())
        return QStringLiteral("not executable");
    return QStringLiteral(
        "the system could not run it (unknown format, missing interpreter or out of resources)");
}

// Returns false, and says so in the log, when the program could not be started.
bool start(const QString& program, const QString& file)
{
    // No shell and no working directory: the path goes over as one argument, whatever it holds.
    if (QProcess::startDetached(program, QStringList{file}))
        return true;
    qCritical("Cannot start %s: %s", qUtf8Printable(program),
              qUtf8Printable(whyNotStarted(program)));
    return false;
}

} // namespace

QString lastDirectory()
{
    return lastDir();
}

std::unique_ptr<QSettings> settings()
{
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                QCoreApplication::organizationName(),
                                                QCoreApplication::applicationName());
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    settings->setIniCodec("UTF-8"); // Qt 6 reads and writes INI files as UTF-8 always
#endif
    return settings;
}

void openConfig(QObject* light, const QDir& configDir)
{
    openConfig(light, configDir, QCoreApplication::applicationDirPath(),
               ConfigToolFinder::defaultSearchPath(), ConfigToolFinder::defaultSeparator(),
               ConfigToolFinder::defaultFileName());
}

void openConfig(QObject* light, const QDir& configDir, const QString& appDir,
                const QByteArray& pathValue, char separator, const QString& toolName)
{
    if (!light)
        return;
    const QString file = configFileOf(light, configDir);

    const QString tool = ConfigToolFinder::findConfigTool(appDir, pathValue, separator, toolName);
    // The tool deals with a missing file itself. When it cannot be started, the
    // editors stand in for it, as when there is none.
    if (!tool.isEmpty() && start(tool, file))
        return;

    if (!QFileInfo::exists(file)) {
        const QString message = file + QCoreApplication::translate("DownloadQueue", " not exists");
        qCritical("%s", qUtf8Printable(message));
        return;
    }

    const std::unique_ptr<QSettings> stored = EditorLauncher::settings();
    QSettings& settings = *stored;

    EditorTable table;
    // The array is read even when the earlier key is present, so that a table
    // holding both forms loses none of the array's entries on conversion.
    readEditors(settings, table);
    const bool converted = convertEarlierKey(settings, table);

    const QString type = light->property("type").toString();
    QString program = table.value(type);
    const bool choose = program.isEmpty();
    if (choose) {
        program = QFileDialog::getOpenFileName(
            nullptr, QCoreApplication::translate("DownloadQueue", "Select program to open file"),
            lastDir());
        if (!program.isEmpty())
            lastDir() = QFileInfo(program).absolutePath();
    }
    // An empty type could never be found again: it is not stored.
    const bool chosen = choose && !program.isEmpty() && !type.isEmpty();
    if (chosen)
        table.insert(type, program);
    if (chosen || converted)
        writeEditors(settings, table);
    if (!program.isEmpty())
        start(program, file);
}

} // namespace EditorLauncher
