#pragma once

#include <QByteArray>
#include <QString>

class QFile;

// Names and writing of the files that downloads land in.
class DownloadFile
{
public:
    enum SaveResult { Saved, OpenFailed, WriteFailed };
    enum ReadResult { Read, NotRegular, Unreadable, TooLarge, Missing };

    // The most one download may hold in memory or read from its file. No
    // controller's journal or configuration comes near it; a controller that
    // sends more is broken or hostile, and the host is a 32-bit process.
    static constexpr int maxSize = 16 * 1024 * 1024;

    // "Jrn%1.bin" or "dat%1.cnf", the id filled with zeros to five digits.
    static QString fileName(bool journal, int id);
    // The controller id a journal's file name holds, as fileName() writes it
    // ("Jrn00025.bin": 25, "Jrn1000000000.bin", "Jrn-0005.bin": -5), in any
    // letter case; false when it holds none.
    static bool idFromFileName(const QString& fileName, int* id);
    // The name a configuration of a marked family is saved under: ".cnf"
    // becomes ".json" in the file name (never in the directories above it).
    static QString jsonPath(const QString& path);

    // Replaces the file as a whole or not at all: a failed write leaves the
    // previous file as it was. A symbolic link or anything but a regular file
    // at path is left alone and fails as a file that does not open.
    static SaveResult save(const QString& path, const QByteArray& data);

    // The whole file; false when it does not open, is a symbolic link or no
    // regular file, or (tooLarge set) when it is larger than maxSize, which is
    // then not read.
    static bool read(const QString& path, QByteArray* data, bool* tooLarge = nullptr);
    // The same read, telling why it failed: Missing when nothing is at path
    // (not even a link), NotRegular for a link or anything but a regular file.
    static ReadResult readFile(const QString& path, QByteArray* data);

    // Opens file (named, not yet open) read-only and reads it whole into data
    // when it is a regular file, also behind links, of at most limit bytes.
    // Anything else is not opened: a FIFO's open waits for a writer for ever,
    // a device has no end. Once opened the file stays open, so its
    // errorString() tells why it was Unreadable; data is set only when Read.
    static ReadResult readRegular(QFile& file, qint64 limit, QByteArray* data);
    // Whether the two paths lead to one file, also through links, other
    // spellings or hard links; false when either does not exist.
    static bool sameFile(const QString& a, const QString& b);

    // Why readRegular(file, limit, ...) gave result, in English, for a log line
    // or an error message: "no such file", "larger than 16 MiB" ...
    static QString readFailure(ReadResult result, const QFile& file, qint64 limit);
};
