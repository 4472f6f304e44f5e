#include "plugin/editorlauncher.h"

namespace EditorLauncher {

void openConfig(QObject*, const QDir&) {}

} // namespace EditorLauncher
