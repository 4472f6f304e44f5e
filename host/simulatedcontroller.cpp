#include "host/simulatedcontroller.h"

#include "host/hostlight.h"
#include "host/response.h"

#include <QPointer>
#include <QTimer>

using namespace ControllerData;

namespace {
// Journals start a few days before this moment; the year is not stored in a record.
const QDateTime journalEpoch(QDate(2026, 11, 14), QTime(17, 30, 0));
} // namespace

SimulatedController::SimulatedController(int id, Family family, quint32 seed, QObject* parent)
    : QObject(parent), m_light(new HostLight(id, typeFor(family, int(seed)), this)), m_id(id),
      m_family(family), m_rng(seed), m_newest(journalEpoch), m_oldest(journalEpoch),
      m_blockSize(ControllerData::isMarked(family) ? 256 : BinaryBlockSize)
{
    m_light->setHandler(
        [this](HostLight*, const HostLight::Command& c) { onCommand(c.name, c.args, c.response); });
    connect(m_light, &HostLight::connected, this, [this](bool up) {
        if (!up)
            ++m_linkEpoch;
    });
}

void SimulatedController::setJournalEntries(int count)
{
    m_newest = journalEpoch;
    m_journal = isMarked()
                    ? textLines(m_rng, m_family, count, m_newest, &m_oldest)
                    : binaryRecords(m_rng, journalVersion(m_family), count, m_newest, &m_oldest);
    // The newest entry is the first one; its time is just before the epoch.
    m_newest = journalEpoch.addSecs(-1);
    if (m_emptyNewestLine)
        m_journal.prepend('\0');
}

void SimulatedController::setEmptyNewestLine(bool on)
{
    if (!isMarked() || on == m_emptyNewestLine)
        return;
    m_emptyNewestLine = on;
    if (on)
        m_journal.prepend('\0');
    else
        m_journal.remove(0, 1);
}

void SimulatedController::growJournal(int count)
{
    QDateTime newest;
    const QByteArray fresh =
        isMarked() ? newerTextLines(m_rng, m_family, count, m_newest, &newest)
                   : newerBinaryRecords(m_rng, journalVersion(m_family), count, m_newest, &newest);
    m_journal.insert(m_emptyNewestLine ? 1 : 0, fresh);
    m_newest = newest;
    if (!isMarked())
        m_journal.truncate(MaxBinaryBlocks * BinaryBlockSize); // the oldest records are overwritten
}

void SimulatedController::fillJournal()
{
    setJournalEntries(MaxBinaryBlocks * BinaryBlockSize / RecordSize);
}

QByteArray SimulatedController::journalBlock(int n) const
{
    const int blocks = isMarked() ? m_textBlocks : MaxBinaryBlocks; // text: 0 is no end
    if (n < 0 || (blocks > 0 && n >= blocks))
        return QByteArray(); // beyond the journal memory
    // Binary records are followed by erased space. Zeroed memory after a text
    // makes the empty line (two zero bytes) that ends it; erased flash reads
    // 0xFF and leaves the text without that end.
    QByteArray b = m_journal.mid(n * m_blockSize, m_blockSize);
    b.append(QByteArray(m_blockSize - b.size(), isMarked() ? m_textFill : char(0xFF)));
    return b;
}

QByteArray SimulatedController::configPiece(int offset) const
{
    // The header of a text or JSON configuration comes alone in the first piece.
    const int size = offset == 0 && m_config.headerSize > 0 ? m_config.headerSize : m_pieceSize;
    return m_config.stream.mid(offset, size);
}

QByteArray SimulatedController::expectedJournalFile(int blocks, bool fileExists,
                                                    const QByteArray& existing) const
{
    return ControllerData::expectedJournalFile([this](int n) { return journalBlock(n); },
                                               isMarked(), blocks, fileExists, existing);
}

QString SimulatedController::configFileName() const
{
    return ControllerData::configFileName(m_id, configSavedAsJson());
}

void SimulatedController::onCommand(const QString& name, const QVariantList& args,
                                    Response* response)
{
    const int n = ++m_commands;
    const bool journal = name == QLatin1String("GET_JRNL");
    if (journal)
        ++m_journalCommands;
    else
        ++m_configCommands;
    const auto every = [n](int k) { return k > 0 && n % k == 0; };

    if (m_faults.dropLinkAt == n) {
        // The command is lost with the link; the response never finishes.
        QTimer::singleShot(m_latency, this, [this] {
            m_light->setConnected(false);
            QTimer::singleShot(m_faults.linkDownMs, this, [this] { m_light->setConnected(true); });
        });
        return;
    }

    QVariantList data;
    int errorCode = 0;
    QString errorText;
    if (every(m_faults.errorEvery)) {
        errorCode = 5;
        // Every other error comes without a text, as some firmware does.
        errorText = (n / m_faults.errorEvery) % 2 ? QStringLiteral("controller busy") : QString();
    } else if (journal) {
        int block = args.value(0).toInt();
        if (every(m_faults.resendEvery) && block > 0)
            --block;
        data = {block, journalBlock(block)};
    } else {
        const int area = args.value(0).toInt();
        int offset = args.value(1).toInt();
        if (area != 0) {
            errorCode = 2;
            errorText = QStringLiteral("no such area");
        } else {
            if (every(m_faults.resendEvery) && offset > 0)
                offset = qMax(0, offset - m_pieceSize);
            data = {area, offset, configPiece(offset)};
        }
    }

    const int delay = m_latency + (every(m_faults.lateEvery) ? m_faults.lateMs : 0);
    const bool duplicate = every(m_faults.duplicateEvery);
    const int epoch = m_linkEpoch;
    QPointer<Response> guard(response);
    QTimer::singleShot(delay, this, [=] {
        // An answer cannot cross a link that went down after the command.
        if (!guard || epoch != m_linkEpoch || !m_light->isConnected())
            return;
        if (errorCode != 0) {
            guard->finishWithError(errorCode, errorText);
            return;
        }
        answer(guard, name, data, duplicate);
    });
}

void SimulatedController::answer(Response* response, const QString& name, const QVariantList& data,
                                 bool duplicate)
{
    const bool journal = name == QLatin1String("GET_JRNL");
    const int before = journal ? m_journalCommands : m_configCommands;
    const int bytes = data.last().toByteArray().size();
    m_bytesSent += bytes;
    response->finishWithData(data);
    emit answered(name, bytes);
    // The module asks for the next block from within finished(): no new command
    // means it has completed (or given up on) this download.
    if ((journal ? m_journalCommands : m_configCommands) == before)
        emit transferEnded(name);
    if (duplicate) {
        QPointer<Response> guard(response);
        QTimer::singleShot(0, this, [guard] {
            if (guard)
                guard->emitFinishedAgain();
        });
    }
}
