#pragma once

#include <QByteArray>
#include <QString>

// Names and writing of the files that downloads land in.
class DownloadFile
{
public:
    enum SaveResult { Saved, OpenFailed, WriteFailed };

    // "Jrn%1.bin" or "dat%1.cnf", the id filled with zeros to five digits.
    static QString fileName(bool journal, int id);
    // The name a configuration of a marked family is saved under: ".cnf"
    // becomes ".json" in the file name (never in the directories above it).
    static QString jsonPath(const QString& path);

    // Replaces the file as a whole or not at all: a failed write leaves the
    // previous file as it was.
    static SaveResult save(const QString& path, const QByteArray& data);

    // The whole file; false when it does not open.
    static bool read(const QString& path, QByteArray* data);
};
