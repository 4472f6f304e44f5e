#include "bench/queue/benchlight.h"

#include "host/response.h"

#include <QTimer>

#include <cstring>
#include <utility>

void BenchLight::hold()
{
    held = true;
}

void BenchLight::release()
{
    held = false;
    for (const Pending& p : std::exchange(pending, {}))
        if (p.light)
            QMetaObject::invokeMethod(
                p.light.data(), [p] { p.light->answer(p.response, p.number); },
                Qt::QueuedConnection);
}

QByteArray BenchLight::block(int number) const
{
    if (m_kind == RealSize && (number < 0 || number >= m_blocks))
        return QByteArray(realBlockSize, char(0xFF));
    // Whole records that tell the light, the block and the record apart; no
    // record starts with the erased byte, so a hostile journal never ends.
    const int size = m_kind == Hostile ? hostileBlockSize : realBlockSize;
    QByteArray bytes(size, Qt::Uninitialized);
    char* p = bytes.data();
    for (int r = 0; r < size / recordSize; ++r, p += recordSize) {
        const char record[recordSize] = {
            char(0x10 + (r & 0x3F)), char(m_id), char(m_id >> 8), char(number),
            char(number >> 8),       char(r),    char(r >> 8),    char(m_id ^ r)};
        memcpy(p, record, recordSize);
    }
    return bytes;
}

QByteArray BenchLight::journal(int blocks) const
{
    if (blocks < 0)
        blocks = m_kind == RealSize ? m_blocks : 0;
    QByteArray bytes;
    for (int b = 0; b < blocks; ++b)
        bytes += block(b);
    return bytes;
}

Response* BenchLight::sendCommand(QVariant command, QVariant args)
{
    Q_UNUSED(command);
    ++commands;
    auto* response = new Response(this);
    const QPointer<Response> guard(response);
    const int number = args.toList().value(0).toInt();
    if (m_answers == Answers::Timer) {
        auto* timer = new QTimer(response);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this, guard, number] { answer(guard, number); });
        timer->start(0);
    } else {
        QMetaObject::invokeMethod(
            this, [this, guard, number] { answer(guard, number); }, Qt::QueuedConnection);
    }
    return response;
}

void BenchLight::answer(const QPointer<Response>& response, int number)
{
    if (!response)
        return;
    if (held) {
        pending.push_back({this, response, number});
        return;
    }
    response->finishWithData({number, block(number)});
    // Delivered: let go of at once, block and all. Deleted later, a pass of
    // the event loop would keep thousands of answered blocks alive at once,
    // and their memory would pass for the module's. From its own timer's
    // signal it can only go later.
    if (m_answers == Answers::Timer)
        response->deleteLater();
    else
        delete response.data();
}
