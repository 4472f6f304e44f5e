#include "downloaddriver.h"

#include "core/downloadfile.h"
#include "fuzzfixture.h"
#include "fuzzinput.h"
#include "host/hostlight.h"
#include "host/response.h"
#include "queue/downloadengine.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace {

Response* awaited(HostLight* light, bool oldest)
{
    const QVector<Response*> pending = light->pendingResponses();
    if (pending.isEmpty())
        return nullptr;
    return oldest ? pending.first() : pending.last();
}

Response* lastFinished(HostLight* light)
{
    const auto& commands = light->commands();
    for (int i = commands.size() - 1; i >= 0; --i)
        if (commands.at(i).response && commands.at(i).response->isFinished())
            return commands.at(i).response;
    return nullptr;
}

QByteArray largeFill(FuzzInput& in)
{
    const int size = in.byte() * 65536 + in.word();
    return QByteArray(size, char(in.byte()));
}

bool isPending(HostLight* light, const QObject* response)
{
    // Compared as pointers only: a dangling one must not be touched.
    const QVector<Response*> pending = light->pendingResponses();
    for (const Response* r : pending)
        if (r == response)
            return true;
    return false;
}

// What the engine promises between two calls, for a queue that only this
// light has ever been in and that no storage download drives.
void checkItem(const DownloadEngine& engine, HostLight* light)
{
    using Status = QueueItem::Status;
    const QueueItem* item = light ? engine.item(light) : nullptr;
    if (engine.count() != (item ? 1 : 0))
        abort();
    if (!item)
        return;
    // However the controller answers, nothing past the ceiling is held.
    if (item->buffer.size() > DownloadFile::maxSize)
        abort();
    // Shown as downloading exactly while an answer is awaited, and that answer
    // is one the light has yet to give: otherwise the item would hang.
    const bool awaiting = item->response != nullptr;
    if (awaiting != (item->shown.status == Status::Downloading))
        abort();
    if (awaiting && !isPending(light, item->response))
        abort();
    // Both pass at once: a command goes out, or the item shows why not.
    if (item->shown.status == Status::Waiting || item->shown.status == Status::Resumed)
        abort();
    if (item->shown.status == Status::Completed && !item->done)
        abort();
    if (item->shown.status == Status::Failed && item->shown.message.isEmpty())
        abort();
}

// A completed item's file holds what the item holds.
void checkSaved(const DownloadEngine& engine, HostLight* light, bool journal)
{
    const QueueItem* item = light ? engine.item(light) : nullptr;
    if (!item || item->shown.status != QueueItem::Status::Completed)
        return;
    QString path = engine.itemFileName(light);
    if (!journal && item->isMarked())
        path = DownloadFile::jsonPath(path);
    QByteArray saved;
    if (DownloadFile::readFile(path, &saved) != DownloadFile::Read || saved != item->buffer)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Lives for the whole fuzzing process.
    static QCoreApplication app(*argc, *argv);
    if (!scratch().isValid())
        abort();
    return 0;
}

void runDownload(bool journal, const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t setup = in.byte();
    const int family = setup & 3;
    int blocks = -1;
    if (journal) {
        switch ((setup >> 2) & 3) {
        case 0:
            blocks = -1;
            break;
        case 1:
            blocks = -3;
            break;
        case 2:
            blocks = in.byte();
            break;
        default:
            blocks = 0;
            break;
        }
    }
    const bool missingDir = setup & 0x10;

    const QString dirPath =
        missingDir ? scratch().filePath(QStringLiteral("missing")) : scratch().path();
    const QString fileName =
        journal ? QStringLiteral("Jrn00042.bin") : QStringLiteral("dat00042.cnf");
    const QString path = QDir(dirPath).absoluteFilePath(fileName);
    const QString jsonPath = QDir(dirPath).absoluteFilePath(QStringLiteral("dat00042.json"));
    QFile::remove(path);
    QFile::remove(jsonPath);
    QByteArray existing;
    if (journal && blocks == -3) {
        existing = in.bytes();
        QFile f(path);
        if (!missingDir && f.open(QIODevice::WriteOnly))
            f.write(existing);
    }

    // One engine for the whole run, as a host keeps its queue; each input clears it.
    static DownloadEngine engine(journal);
    engine.setSaveDir(QDir(dirPath));
    const QString type = QString::fromUtf8(familyTypes[family]);
    auto light = std::make_unique<HostLight>(42, type);

    qint64 largestSave = 0;
    // Only the light now queued may be spoken of, never one already deleted.
    const auto current = [&light](QObject* l) {
        if (l != light.get())
            abort();
    };
    const QMetaObject::Connection connections[] = {
        QObject::connect(&engine, &DownloadEngine::itemAdded, current),
        QObject::connect(&engine, &DownloadEngine::itemChanged, current),
        QObject::connect(&engine, &DownloadEngine::downloadFailed, current),
        QObject::connect(&engine, &DownloadEngine::downloadComplete,
                         [&](QObject* l, const QString& file) {
                             current(l);
                             largestSave = qMax(largestSave, QFileInfo(file).size());
                         }),
    };

    engine.enqueue(light.get(), blocks);
    checkItem(engine, light.get());
    while (!in.atEnd()) {
        const uint8_t op = in.byte();
        const bool oldest = op & 8;
        switch (op & 7) {
        case 0:
        case 1: {
            QVariantList answer;
            if (journal) {
                answer << in.int32();
            } else {
                answer << int(int8_t(in.byte()));
                answer << in.int32();
            }
            answer << ((op & 7) == 0 ? in.bytes() : largeFill(in));
            if (Response* r = awaited(light.get(), oldest))
                r->finishWithData(answer);
            break;
        }
        case 2: {
            const int code = int8_t(in.byte());
            const QString text = QString::fromUtf8(in.shortBytes());
            if (Response* r = awaited(light.get(), oldest))
                r->finishWithError(code, text);
            break;
        }
        case 3: {
            QVariantList answer;
            const int count = in.byte() % 3;
            for (int i = 0; i < count; ++i)
                answer << 0;
            if (Response* r = awaited(light.get(), oldest))
                r->finishWithData(answer);
            break;
        }
        case 4: {
            const uint8_t how = in.byte();
            if (how & 1)
                light->setConnected(false);
            if (how & 2)
                light->setConnected(true);
            break;
        }
        case 5:
            if (Response* r = lastFinished(light.get()))
                r->emitFinishedAgain();
            break;
        case 6: {
            const uint8_t how = in.byte();
            if (how & 1)
                engine.stop({light.get()});
            if (how & 2)
                engine.resume({light.get()});
            break;
        }
        case 7:
            switch (in.byte() % 4) {
            case 0:
                engine.enqueue(light.get(), blocks);
                break;
            case 1:
                engine.remove({light.get()});
                engine.enqueue(light.get(), blocks);
                break;
            case 2:
                engine.clear();
                break;
            default:
                // Deleted while queued, its answers with it: the item goes too.
                light.reset();
                if (engine.count() != 0)
                    abort();
                light = std::make_unique<HostLight>(42, type);
                engine.enqueue(light.get(), blocks);
                break;
            }
            break;
        }
        checkItem(engine, light.get());
    }

    checkSaved(engine, light.get(), journal);
    if (largestSave > DownloadFile::maxSize)
        abort();
    // The host removes a light from the queue before deleting it.
    engine.clear();
    if (engine.count() != 0)
        abort();
    for (const QMetaObject::Connection& c : connections)
        QObject::disconnect(c);
    light.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
