#pragma once

#include <QByteArray>
#include <QString>

// Where the configuration tool lives: next to the host application first, then
// along the search path. Kept apart from the launcher so that both the Windows
// and the POSIX conventions can be exercised on any machine.
namespace ConfigToolFinder {

// The tool's file name, the search path and its separator of the running platform.
QString defaultFileName();
QByteArray defaultSearchPath(); // UTF-8, as findConfigTool() reads it
char defaultSeparator();

// Returns the absolute path of fileName in appDir, or else in the first part of
// pathValue (split at separator) that holds it as an executable regular file (a
// link to one included); an empty string when none does.
// Parts are taken as they stand (no unquoting, no expansion); an empty part is
// the current directory.
QString findConfigTool(const QString& appDir, const QByteArray& pathValue, char separator,
                       const QString& fileName);

} // namespace ConfigToolFinder
