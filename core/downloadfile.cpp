#include "core/downloadfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace DownloadFile {

QString fileName(bool journal, int id)
{
    return QString::fromLatin1(journal ? "Jrn%1.bin" : "dat%1.cnf")
        .arg(id, 5, 10, QLatin1Char('0'));
}

bool idFromFileName(const QString& fileName, int* id)
{
    // Any int the module may write: five digits at least, a sign where negative.
    static const QRegularExpression pattern(QStringLiteral("^Jrn(-?\\d{1,10})\\.bin$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(fileName);
    bool ok = false;
    const int value = m.hasMatch() ? m.captured(1).toInt(&ok) : 0;
    if (ok)
        *id = value;
    return ok;
}

QString jsonPath(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    QString name = path.mid(slash + 1);
    name.replace(QLatin1String(".cnf"), QLatin1String(".json"));
    return path.left(slash + 1) + name;
}

SaveResult save(const QString& path, const QByteArray& data)
{
    // A link would have its target replaced, wherever it points, and a FIFO or
    // device would be replaced by a regular file: neither is the download's file.
    const QFileInfo existing(path);
    if (existing.isSymLink() || (existing.exists() && !existing.isFile()))
        return OpenFailed;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return OpenFailed;
    // Flushed here: a failure that only shows when the buffer goes out must
    // not pass as a saved file.
    if (file.write(data) != data.size() || !file.flush()) {
        file.cancelWriting();
        return WriteFailed;
    }
    return file.commit() ? Saved : WriteFailed;
}

ReadResult readFile(const QString& path, QByteArray* data)
{
    const QFileInfo info(path);
    if (info.isSymLink()) // not what save would write to (above)
        return NotRegular;
    if (!info.exists())
        return Missing;
    QFile file(path);
    return readRegular(file, maxSize, data);
}

ReadResult readRegular(QFile& file, qint64 limit, QByteArray* data)
{
    const QFileInfo info(file.fileName());
    if (!info.isFile())
        return NotRegular;
    if (info.size() > limit)
        return TooLarge;
    if (!file.open(QIODevice::ReadOnly))
        return Unreadable;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Unreadable;
    if (bytes.size() > limit) // grown meanwhile
        return TooLarge;
    *data = std::move(bytes);
    return Read;
}

QString readFailure(ReadResult result, const QFile& file, qint64 limit)
{
    switch (result) {
    case Read:
        return QString();
    case NotRegular:
        return QFileInfo::exists(file.fileName()) ? QStringLiteral("not a regular file")
                                                  : QStringLiteral("no such file");
    case TooLarge:
        return QStringLiteral("larger than %1 MiB").arg(limit / (1024 * 1024));
    case Missing:
        return QStringLiteral("no such file");
    case Unreadable:
        break;
    }
    return file.errorString();
}

bool sameFile(const QString& a, const QString& b)
{
#ifdef Q_OS_UNIX
    struct stat first, second;
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
#else
    // Names on Windows' file systems differ in letter case only as spellings.
    const QString first = QFileInfo(a).canonicalFilePath();
    return !first.isEmpty() &&
           first.compare(QFileInfo(b).canonicalFilePath(), Qt::CaseInsensitive) == 0;
#endif
}

} // namespace DownloadFile
