#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QVariant>

#include <vector>

class Response;

// How a light answers: by a call posted to the event loop (the least a host
// can do), or as hosts do, through a zero-time timer of the response's own.
// Each pending timer is one more that Qt walks to stop any timer: a client
// that starts and stops one per request pays for the host's timers too.
enum class Answers { Posted, Timer };

// A connected light of bench-queue's runs, apart from the stand-in light
// because a run of thousands must hold nothing per command: blocks are made
// when the answer goes out and let go of with it. A real-size light holds a
// journal of `blocks` blocks of realBlockSize bytes, then erased space; a
// hostile one answers every block with hostileBlockSize bytes of records and
// never ends, so that its download reaches the ceiling.
class BenchLight : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int id READ id)
    Q_PROPERTY(QString type READ type)
    Q_PROPERTY(bool isConnected READ isConnected)

public:
    enum Kind { RealSize, Hostile };

    static constexpr int recordSize = 8;
    static constexpr int realBlockSize = 12 * recordSize;
    static constexpr int fullBlocks = 344;
    static constexpr int hostileBlockSize = 1024 * 1024;

    BenchLight(int id, Kind kind, int blocks = fullBlocks, Answers answers = Answers::Posted)
        : m_id(id), m_kind(kind), m_blocks(blocks), m_answers(answers)
    {}

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

    // Block `number` as this light sends it.
    QByteArray block(int number) const;
    // The first `blocks` blocks; by default what a download of the whole
    // journal holds (nothing for a hostile light).
    QByteArray journal(int blocks = -1) const;

    Q_INVOKABLE Response* sendCommand(QVariant command, QVariant args);

signals:
    void connected(bool up);

private:
    void answer(const QPointer<Response>& response, int number);

    struct Pending
    {
        QPointer<BenchLight> light;
        QPointer<Response> response;
        int number;
    };
    static inline bool held = false;
    static inline std::vector<Pending> pending;

    int m_id;
    Kind m_kind;
    int m_blocks;
    Answers m_answers;
};
