#pragma once

#include <QDir>

class QObject;

// Opens a light's downloaded configuration in the configuration tool or in the
// editor remembered for its controller type.
namespace EditorLauncher {

void openConfig(QObject* light, const QDir& configDir);

} // namespace EditorLauncher
