#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QVariant>

#include <vector>

class Response;

// A connected light of the memory runs. A real-size one holds a journal of
// realBlocks blocks of realBlockSize bytes; a hostile one answers every block
// with hostileBlockSize bytes of records and never ends, so that its download
// reaches the ceiling. Blocks are made when the answer goes out and let go of
// with it: what the process holds beyond the module is the light's few bytes.
class MemoryLight : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int id READ id)
    Q_PROPERTY(QString type READ type)
    Q_PROPERTY(bool isConnected READ isConnected)

public:
    enum Kind { RealSize, Hostile };

    static constexpr int recordSize = 8;
    static constexpr int realBlockSize = 12 * recordSize;
    static constexpr int realBlocks = 344;
    static constexpr int hostileBlockSize = 1024 * 1024;

    MemoryLight(int id, Kind kind) : m_id(id), m_kind(kind) {}

    // Commands answered by all lights: the watchdog's sign of progress.
    static inline int commands = 0;
    // While held, answers are kept back (unmade), and go out on release in
    // the order they were asked for.
    static void hold();
    static void release();

    int id() const { return m_id; }
    // Of an unmarked binary family, viewed in the 3.17 format.
    QString type() const { return QStringLiteral("Вегал V3.17"); }
    bool isConnected() const { return true; }

    // Block `number` as this light sends it; erased space past a real-size journal.
    QByteArray block(int number) const;
    // The first `blocks` blocks: what a download holds after them.
    QByteArray journal(int blocks) const;

    Q_INVOKABLE Response* sendCommand(QVariant command, QVariant args);

signals:
    void connected(bool up);

private:
    void answer(const QPointer<Response>& response, int number);

    struct Pending
    {
        QPointer<MemoryLight> light;
        QPointer<Response> response;
        int number;
    };
    static inline bool held = false;
    static inline std::vector<Pending> pending;

    int m_id;
    Kind m_kind;
};
