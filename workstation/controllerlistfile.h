#pragma once

#include <QPair>
#include <QString>
#include <QVector>

// The host's list of its controllers, "id;type" a line in UTF-8, in the data
// directory: dq-journal --controllers reads each journal in its controller's
// format from it, as a journal file's name holds only the id.
namespace ControllerListFile {

QByteArray text(const QVector<QPair<int, QString>>& controllers);
// Replaces the file as a whole; false with the reason in error.
bool write(const QString& path, const QVector<QPair<int, QString>>& controllers, QString* error);

} // namespace ControllerListFile
