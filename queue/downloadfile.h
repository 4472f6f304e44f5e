#pragma once

#include <QByteArray>
#include <QString>

// Names and writing of the files that downloads land in.
class DownloadFile
{
public:
    enum SaveResult { Saved, OpenFailed, WriteFailed };

    // The most one download may hold in memory or read from its file. No
    // controller's journal or configuration comes near it; a controller that
    // sends more is broken or hostile, and the host is a 32-bit process.
    static constexpr int maxSize = 16 * 1024 * 1024;

    // "Jrn%1.bin" or "dat%1.cnf", the id filled with zeros to five digits.
    static QString fileName(bool journal, int id);
    // The name a configuration of a marked family is saved under: ".cnf"
    // becomes ".json" in the file name (never in the directories above it).
    static QString jsonPath(const QString& path);

    // Replaces the file as a whole or not at all: a failed write leaves the
    // previous file as it was.
    static SaveResult save(const QString& path, const QByteArray& data);

    // The whole file; false when it does not open, or (tooLarge set) when it
    // is larger than maxSize, which is then not read.
    static bool read(const QString& path, QByteArray* data, bool* tooLarge = nullptr);
};
