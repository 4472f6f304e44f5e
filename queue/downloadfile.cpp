#include "queue/downloadfile.h"

#include <QFile>
#include <QSaveFile>

QString DownloadFile::fileName(bool journal, int id)
{
    return QString::fromLatin1(journal ? "Jrn%1.bin" : "dat%1.cnf")
        .arg(id, 5, 10, QLatin1Char('0'));
}

QString DownloadFile::jsonPath(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    QString name = path.mid(slash + 1);
    name.replace(QLatin1String(".cnf"), QLatin1String(".json"));
    return path.left(slash + 1) + name;
}

DownloadFile::SaveResult DownloadFile::save(const QString& path, const QByteArray& data)
{
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

bool DownloadFile::read(const QString& path, QByteArray* data, bool* tooLarge)
{
    if (tooLarge)
        *tooLarge = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A device or pipe tells no size: it counts as too large, unread.
    if (file.isSequential() || file.size() > maxSize) {
        if (tooLarge)
            *tooLarge = true;
        return false;
    }
    *data = file.readAll();
    if (data->size() > maxSize) { // grown meanwhile
        data->clear();
        if (tooLarge)
            *tooLarge = true;
        return false;
    }
    return true;
}
