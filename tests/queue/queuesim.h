#pragma once

#include "host/hostlight.h"
#include "host/response.h"

#include <QFile>
#include <QPointer>
#include <QTimer>

#include <initializer_list>

// A controller behind a stand-in light: it holds a journal and a
// configuration and answers "GET_JRNL" / "GET_CONFIG" through the event loop.
// Apart from the simulated controller because each case sets its exact bytes
// and block size, and may answer one command at a time, at once.
class QueueSim
{
public:
    explicit QueueSim(int id, const QString& type = QStringLiteral("Вегал V3.16")) : light(id, type)
    {
        light.setHandler([this](HostLight*, const HostLight::Command& c) { onCommand(c); });
    }

    HostLight light;

    // Journal: binary records, or zero-terminated lines for marked families.
    QByteArray journal;
    int blockLength = 96;
    bool textJournal = false;

    // Configuration: a first piece that is only a header (text and JSON
    // forms), then the body; the controller's offsets count the header too.
    QByteArray header;
    QByteArray body;
    int pieceSize = 200;

    bool hold = false; // answer only through answerOne()
    int failEvery = 0; // every n-th command ends with a response error
    int commandsSeen = 0;

    QVariantList answerFor(const HostLight::Command& c) const
    {
        if (c.name == QLatin1String("GET_JRNL")) {
            const qint64 n = c.args.value(0).toLongLong();
            QByteArray block;
            if (textJournal) {
                const QByteArray text = journal + QByteArray(2, '\0');
                block = text.mid(int(n * blockLength), blockLength);
                block += QByteArray(blockLength - block.size(), '\0');
            } else {
                block = journal.mid(int(n * blockLength), blockLength);
                block += QByteArray(blockLength - block.size(), char(0xFF));
            }
            return {n, block};
        }
        const int area = c.args.value(0).toInt();
        const int offset = c.args.value(1).toInt();
        QByteArray piece;
        if (!header.isEmpty())
            piece = offset == 0 ? header : body.mid(offset - header.size(), pieceSize);
        else
            piece = body.mid(offset, pieceSize);
        return {area, offset, piece};
    }

    // Answers the oldest awaited command now; false when none waits.
    bool answerOne()
    {
        for (const HostLight::Command& c : light.commands()) {
            if (c.response && !c.response->isFinished()) {
                c.response->finishWithData(answerFor(c));
                return true;
            }
        }
        return false;
    }

private:
    void onCommand(const HostLight::Command& c)
    {
        ++commandsSeen;
        if (hold)
            return;
        QPointer<Response> response = c.response;
        const bool fail = failEvery > 0 && commandsSeen % failEvery == 0;
        const QVariantList data = answerFor(c);
        QTimer::singleShot(0, &light, [response, data, fail] {
            if (!response)
                return;
            if (fail)
                response->finishWithError(5, QStringLiteral("link noise"));
            else
                response->finishWithData(data);
        });
    }
};

// Journal records: count 8-byte records, numbered from first.
inline QByteArray journalRecords(int count, int first)
{
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const int n = first + i;
        out += char(0x10 + n % 60);
        out += char(n & 0x7F);
        out += char((n >> 7) & 0x7F);
        out += QByteArray(5, char(n % 97));
    }
    return out;
}

inline QByteArray textLines(int count, int first)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += QByteArray("event ") + QByteArray::number(first + i) + '\0';
    return out;
}

// A file's bytes, or "<no file>" when it does not open.
inline QByteArray fileData(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Little-endian 16-bit words, as configuration images begin.
inline QByteArray wordsLE(std::initializer_list<quint16> values)
{
    QByteArray out;
    for (quint16 v : values) {
        out += char(v & 0xFF);
        out += char(v >> 8);
    }
    return out;
}
