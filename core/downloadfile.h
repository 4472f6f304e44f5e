#pragma once

#include <QByteArray>
#include <QString>

class QFile;

// Names, writing and reading of the files that downloads land in.
namespace DownloadFile {

enum SaveResult { Saved, OpenFailed, WriteFailed };
enum ReadResult { Read, NotRegular, Unreadable, TooLarge, Missing };

// The most one download may hold in memory or read from its file. No
// controller's journal or configuration comes near it; a controller that
// sends more is broken or hostile, and the host is a 32-bit process.
constexpr int maxSize = 16 * 1024 * 1024;

// "Jrn%1.bin" or "dat%1.cnf", the id filled with zeros to five digits.
QString fileName(bool journal, int id);
// The controller id a journal's file name holds, as fileName() writes it
// ("Jrn00025.bin": 25, "Jrn1000000000.bin", "Jrn-0005.bin": -5), in any
// letter case; false when it holds none.
bool idFromFileName(const QString& fileName, int* id);
// The name a configuration of a marked family is saved under: ".cnf"
// becomes ".json" in the file name (never in the directories above it).
QString jsonPath(const QString& path);

// Replaces the file as a whole or not at all: a failed write leaves the
// previous file as it was. A symbolic link or anything but a regular file
// at path is left alone and fails as a file that does not open.
SaveResult save(const QString& path, const QByteArray& data);

// A file save() wrote, read back as readRegular() reads it, up to maxSize;
// but a symbolic link (which save() would not have written to) is
// NotRegular, and Missing tells that nothing is at path, not even a link.
ReadResult readFile(const QString& path, QByteArray* data);

// Opens file (named, not yet open) read-only and reads it whole into data
// when it is a regular file, also behind links, of at most limit bytes.
// Anything else is not opened: a FIFO's open waits for a writer for ever,
// a device has no end. Once opened the file stays open, so its
// errorString() tells why it was Unreadable; data is set only when Read.
ReadResult readRegular(QFile& file, qint64 limit, QByteArray* data);
// Whether the two paths lead to one file, also through links, other
// spellings or hard links; false when either does not exist.
bool sameFile(const QString& a, const QString& b);

// Why readRegular(file, limit, ...) gave result, in English, for a log line
// or an error message: "no such file", "larger than 16 MiB" ...
QString readFailure(ReadResult result, const QFile& file, qint64 limit);
} // namespace DownloadFile
