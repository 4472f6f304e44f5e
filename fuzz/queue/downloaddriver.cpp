#include "downloaddriver.h"

#include "fuzzfixture.h"
#include "fuzzinput.h"
#include "host/hostlight.h"
#include "host/response.h"
#include "queue/downloadfile.h"
#include "queue/queuewindow.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cstdlib>

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

} // namespace

void initDownloadDriver(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives for the whole fuzzing process.
    static QApplication app(*argc, *argv);
    if (!scratch().isValid())
        abort();
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

    // One window for the whole run, as a host keeps it; each input clears it.
    static QueueWindow* const window = new QueueWindow(nullptr, journal);
    window->setSaveDir(QDir(dirPath));
    auto* light = new HostLight(42, QString::fromUtf8(familyTypes[family]));
    auto* table = window->findChild<QTableWidget*>(QStringLiteral("queueTable"));

    qint64 largestSave = 0;
    const QMetaObject::Connection saves = QObject::connect(
        window, &QueueWindow::downloadComplete, [&](QObject*, const QString& file) {
            largestSave = qMax(largestSave, QFileInfo(file).size());
        });

    window->enqueue(light, blocks);
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
            if (Response* r = awaited(light, oldest))
                r->finishWithData(answer);
            break;
        }
        case 2: {
            const int code = int8_t(in.byte());
            const QString text = QString::fromUtf8(in.shortBytes());
            if (Response* r = awaited(light, oldest))
                r->finishWithError(code, text);
            break;
        }
        case 3: {
            QVariantList answer;
            const int count = in.byte() % 3;
            for (int i = 0; i < count; ++i)
                answer << 0;
            if (Response* r = awaited(light, oldest))
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
            if (Response* r = lastFinished(light))
                r->emitFinishedAgain();
            break;
        case 6: {
            const uint8_t how = in.byte();
            table->selectAll();
            if (how & 1)
                window->stopDownloading();
            if (how & 2)
                window->resumeDownloading();
            break;
        }
        case 7:
            switch (in.byte() % 3) {
            case 0:
                window->enqueue(light, blocks);
                break;
            case 1:
                window->clearQueue(QObjectList{light});
                window->enqueue(light, blocks);
                break;
            default:
                window->clearQueue();
                break;
            }
            break;
        }
    }

    if (largestSave > DownloadFile::maxSize)
        abort();
    // The host removes a light from the queue before deleting it.
    window->clearQueue();
    QObject::disconnect(saves);
    delete light;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
