#pragma once

#include <QDir>
#include <QString>

#include <memory>

class QObject;
class QSettings;

// Opens a light's downloaded configuration in the configuration tool or in the
// editor remembered for its controller type.
namespace EditorLauncher {

void openConfig(QObject* light, const QDir& configDir);

// The same, looking for the configuration tool in appDir, along pathValue split
// at separator, under toolName (the host's directory, "PATH" and the platform's
// conventions in the overload above).
void openConfig(QObject* light, const QDir& configDir, const QString& appDir,
                const QByteArray& pathValue, char separator, const QString& toolName);

// The directory the editor dialog starts in: that of the program chosen last.
QString lastDirectory();

// The application's settings file the editors are remembered in, read and written as UTF-8.
std::unique_ptr<QSettings> settings();

} // namespace EditorLauncher
