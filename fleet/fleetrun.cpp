#include "fleet/fleetrun.h"

#include "journal/journaltime.h"

#include "core/downloadfile.h"
#include "core/journalversion.h"
#include "fleet/journalrecords.h"
#include "journal/journaldecoder.h"
#include "journal/journalwriter.h"
#include "journal/messagedefinitionparser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>
#include <QThreadPool>

#include <array>
#include <map>

FleetRun::FleetRun(Settings settings) : m_settings(std::move(settings)) {}

FleetRun::~FleetRun() = default;

QString FleetRun::printable(const QString& text)
{
    // Names and list lines come from anywhere: a newline or an escape sequence
    // in them must not forge lines or drive the terminal, nor a megabyte fill it.
    constexpr int longest = 300;
    QString out;
    for (const QChar c : text) {
        if (out.size() >= longest) {
            out += QChar(0x2026);
            break;
        }
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

void FleetRun::warn(const QString& message)
{
    QTextStream(stderr) << "dq-journal: " << printable(message) << '\n';
}

void FleetRun::error(const QString& message)
{
    warn(message);
    m_errors = true;
}

void FleetRun::addPaths(const QStringList& paths)
{
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            error(QStringLiteral("%1: no such file").arg(path));
        } else if (info.isDir()) {
            const QDir dir(path);
            const QStringList names =
                dir.entryList({QStringLiteral("Jrn*.bin")}, QDir::Files | QDir::System, QDir::Name);
            if (names.isEmpty())
                warn(path + QStringLiteral(": no Jrn*.bin files"));
            for (const QString& name : names)
                addFile(dir.filePath(name));
        } else {
            addFile(path);
        }
    }
}

QStringList FleetRun::inputFiles() const
{
    QStringList files;
    for (const Input& input : m_inputs)
        files.append(input.path);
    return files;
}

void FleetRun::addFile(const QString& path)
{
    const QFileInfo info(path);
    // The same journal named twice (a file and its directory) is read once.
    // A broken link has no canonical path: each is its own, and reported.
    const QString canonical = info.canonicalFilePath();
    const QString seen = canonical.isEmpty() ? info.absoluteFilePath() : canonical;
    if (m_seen.contains(seen))
        return;
    m_seen.insert(seen);
    Input input;
    input.path = path;
    input.size = info.size();
    if (!DownloadFile::idFromFileName(info.fileName(), &input.controllerId)) {
        error(QStringLiteral("%1: skipped: the name holds no controller id (JrnNNNNN.bin)")
                  .arg(path));
        return;
    }
    if (m_settings.useList) {
        if (m_settings.controllers.conflicting(input.controllerId)) {
            error(QStringLiteral("%1: skipped: controller %2 has two types in %3")
                      .arg(path)
                      .arg(input.controllerId)
                      .arg(m_settings.listName));
            return;
        }
        if (!m_settings.controllers.contains(input.controllerId)) {
            error(QStringLiteral("%1: skipped: controller %2 is not in %3")
                      .arg(path)
                      .arg(input.controllerId)
                      .arg(m_settings.listName));
            return;
        }
        input.version = JournalVersion::forType(m_settings.controllers.type(input.controllerId));
    } else {
        input.version = m_settings.version;
    }
    if (!JournalVersion::isBinary(input.version))
        m_textLayout = true;
    m_inputs.push_back(input);
}

const JournalDecoder* FleetRun::decoderFor(int version, const QString& path)
{
    if (!JournalVersion::isBinary(version))
        return nullptr;
    auto it = m_decoders.find(version);
    if (it == m_decoders.end()) {
        const QString mesPath = QStringLiteral(":/mes_files/Notepad.mes.%1").arg(version);
        QFile mes(mesPath);
        QMap<int, QString> sources;
        QMap<int, QString> messages;
        if (!mes.open(QIODevice::ReadOnly)) {
            error(QStringLiteral("%1: cannot read the message definitions %2").arg(path, mesPath));
            return nullptr;
        }
        MessageDefinitionParser::parse(mes, sources, messages);
        it = m_decoders.insert(version, std::make_shared<JournalDecoder>(messages, sources));
    }
    return it.value().get();
}

// What reading one journal came to, for collect() to take in order.
struct FleetRun::Collected
{
    struct Message
    {
        QString text;
        bool isError = false;
    };
    QVector<Message> messages;
    bool read = false; // counted from here on: a journal that could not be read has no count
    qint64 matches = 0;
    QByteArray data; // the journal; the entries' bytes lie in it
    QVector<JournalMerge::Entry> entries;
};

namespace {

// How many journals are read at once: a few per thread, and no more bytes
// than this in all.
constexpr int JournalsPerThread = 8;
constexpr qint64 BytesAtOnce = 32 * 1024 * 1024;
// Records formatted at once by the threads while the next are merged.
constexpr int RecordsAtOnce = 32 * 1024;

int threadCount()
{
    return qBound(1, QThread::idealThreadCount(), 8);
}

// Runs work(0) … work(parts - 1) on the pool, and waits for them all.
template <typename Work> void onAllThreads(QThreadPool& pool, int parts, Work work)
{
    for (int part = 1; part < parts; ++part)
        pool.start([&work, part] { work(part); });
    work(0);
    pool.waitForDone();
}

} // namespace

// Whether the filter takes a binary record, with as little decoding as can
// be: a row's source is one of a few, and its message depends on the
// record's last four bytes alone (and on whether it comes from the debug
// source), so the verdicts on them are kept: per source, and per kind of
// message in a table of recent ones, for each decoder. Only the time text
// must be looked at each time, and only when a text can be in it.
struct FleetRun::Verdicts
{
    explicit Verdicts(const JournalFilter& filter)
        : m_filter(filter), m_timeMatters(m_filter.textsMayBeInTime())
    {}

    bool accepts(const JournalDecoder& decoder, const char* record, int length)
    {
        if (!m_filter.takesBinaryRows())
            return false;
        const auto* bytes = reinterpret_cast<const uchar*>(record);
        if (length != BinaryJournal::RecordSize)
            return m_filter.acceptsRow(decoder.row(bytes, length), false);
        Table& table = m_tables[&decoder];
        if (table.entries.empty())
            table.entries.resize(Slots);
        const int source = BinaryJournal::Stamp::at(bytes, length).source;
        const quint64 kind = (quint64(1) << 41) |
                             (quint64(source == BinaryJournal::DebugSource) << 32) |
                             (quint64(bytes[4]) << 24) | (quint64(bytes[5]) << 16) |
                             (quint64(bytes[6]) << 8) | quint64(bytes[7]);
        quint64& slot = table.entries[size_t((kind * 0x9E3779B97F4A7C15ull) >> (64 - SlotBits))];
        qint8& bySource = table.sources[size_t(source) & 63];
        const bool known = (slot & ~Accepted) == kind && bySource >= 0;
        if (known && !m_timeMatters)
            return (slot & Accepted) || bySource;
        const JournalRow row = decoder.row(bytes, length);
        if ((slot & ~Accepted) != kind)
            slot = kind | (m_filter.holdsText(row.message) ? Accepted : 0);
        if (bySource < 0)
            bySource = m_filter.holdsText(row.source) ? 1 : 0;
        return (slot & Accepted) || bySource || (m_timeMatters && m_filter.holdsText(row.time));
    }

private:
    static constexpr int SlotBits = 16;
    static constexpr int Slots = 1 << SlotBits;
    // A slot holds a kind (bit 41 set: an empty slot holds none) and its verdict.
    static constexpr quint64 Accepted = quint64(1) << 40;
    struct Table
    {
        std::vector<quint64> entries;
        std::array<qint8, 64> sources{}; // -1: not known yet
        Table() { sources.fill(-1); }
    };
    const JournalFilter& m_filter;
    const bool m_timeMatters;
    std::map<const JournalDecoder*, Table> m_tables;
};

void FleetRun::collect()
{
    m_merge = std::make_unique<JournalMerge>(m_settings.oldestFirst);
    // Decoders are made once, here, and only read by the threads.
    std::vector<Input> inputs;
    for (Input input : m_inputs) {
        if (JournalVersion::isBinary(input.version)) {
            input.decoder = decoderFor(input.version, input.path);
            if (!input.decoder)
                continue;
        }
        inputs.push_back(input);
    }
    const int threads = threadCount();
    QThreadPool pool;
    pool.setMaxThreadCount(threads);
    std::vector<Verdicts> verdicts(size_t(threads), Verdicts(m_settings.filter));
    for (size_t first = 0; first < inputs.size();) {
        size_t end = first;
        qint64 bytes = 0;
        while (end < inputs.size() && end - first < size_t(threads * JournalsPerThread) &&
               (end == first || bytes < BytesAtOnce))
            bytes += inputs[end++].size;
        std::vector<Collected> batch(end - first);
        onAllThreads(pool, threads, [&](int part) {
            for (size_t i = size_t(part); i < batch.size(); i += size_t(threads))
                batch[i] = collectOne(inputs[first + i], verdicts[size_t(part)]);
        });
        for (size_t i = 0; i < batch.size(); ++i)
            keep(inputs[first + i], batch[i]);
        first = end;
    }
    if (!m_settings.count && !m_merge->start())
        error(m_merge->errorString());
}

void FleetRun::keep(const Input& input, Collected& collected)
{
    for (const Collected::Message& m : collected.messages) {
        if (m.isError)
            error(m.text);
        else
            warn(m.text);
    }
    if (!collected.read)
        return;
    m_matches += collected.matches;
    if (m_settings.count) {
        m_counts[input.controllerId] += collected.matches;
        return;
    }
    if (collected.entries.isEmpty())
        return;
    const int journal = m_merge->addJournal(input.controllerId, std::move(collected.entries),
                                            collected.data.constData());
    if (journal < 0)
        return; // said once the merge starts
    Kept kept;
    kept.controllerId = input.controllerId;
    kept.controllerType = m_settings.controllers.type(input.controllerId);
    kept.decoder = input.decoder;
    kept.file = input.path;
    m_kept.push_back(std::move(kept));
}

FleetRun::Collected FleetRun::collectOne(const Input& input, Verdicts& verdicts) const
{
    Collected result;
    const bool text = !input.decoder;
    {
        QFile file(input.path);
        const QString failure = DownloadFile::readFailure(
            DownloadFile::readRegular(file, DownloadFile::maxSize, &result.data), file,
            DownloadFile::maxSize);
        if (!failure.isEmpty()) {
            result.messages.append(
                {QStringLiteral("%1: cannot read: %2").arg(input.path, failure), true});
            return result;
        }
    }
    result.read = true;
    const QByteArray& data = result.data;
    const QVector<JournalRecords::Record> records =
        text ? JournalRecords::text(data) : JournalRecords::binary(data);
    QVector<RecordTime> times(records.size());
    for (int i = 0; i < records.size(); ++i)
        times[i] = records.at(i).time;
    // The years count back from the day the file was written, or from now
    // when its modification time cannot be right.
    const QDateTime modified = QFileInfo(input.path).lastModified();
    const QDate day = JournalTime::writtenDate(modified);
    const QDateTime written = day == modified.date() ? modified : QDateTime::currentDateTime();
    if (!text && day != modified.date())
        result.messages.append(
            {QStringLiteral("%1: modified %2, which cannot be right: "
                            "its records' years count back from today")
                 .arg(input.path, modified.isValid() ? modified.toString(Qt::ISODate)
                                                     : QStringLiteral("at the epoch")),
             false});
    if (!text)
        RecordTime::inferYears(times, day);

    // A record whose time is not known keeps its place next to the one
    // before it (or after it, at the start) in its journal.
    QVector<qint64> keys(times.size(), -1);
    qint64 last = -1;
    for (int i = 0; i < times.size(); ++i) {
        if (times.at(i).hasYear() && times.at(i).isValid())
            last = times.at(i).key();
        keys[i] = last;
    }
    qint64 next = RecordTime::fromDateTime(written).key();
    for (int i = times.size() - 1; i >= 0; --i) {
        if (times.at(i).hasYear() && times.at(i).isValid())
            next = times.at(i).key();
        else if (keys.at(i) < 0)
            keys[i] = next;
    }

    const JournalFilter& filter = m_settings.filter;
    for (int i = 0; i < records.size(); ++i) {
        if (!filter.acceptsTime(times.at(i)))
            continue;
        const JournalRecords::Record& r = records.at(i);
        const char* bytes = data.constData() + r.offset;
        if (filter.needsRow()) {
            const bool accepted =
                text ? filter.acceptsRow(JournalRecords::textRow(bytes, r.length), true)
                     : verdicts.accepts(*input.decoder, bytes, r.length);
            if (!accepted)
                continue;
        }
        ++result.matches;
        if (m_settings.count)
            continue;
        JournalMerge::Entry e;
        e.key = keys.at(i);
        e.position = i;
        e.offset = r.offset;
        e.length = r.length;
        result.entries.append(e);
    }
    if (m_settings.count || result.entries.isEmpty())
        result.data = QByteArray();
    return result;
}

// Merged records waiting to be formatted: their journals and keys, and
// their bytes one after the other.
struct FleetRun::Piece
{
    struct Record
    {
        int journal = 0;
        qint64 key = 0;
        int offset = 0;
        int length = 0;
    };
    std::vector<Record> records;
    QByteArray bytes;
};

QByteArray FleetRun::format(const FleetWriter& writer, const Piece& piece, int from, int to) const
{
    QByteArray lines;
    for (int i = from; i < to; ++i) {
        const Piece::Record& taken = piece.records[size_t(i)];
        const Kept& k = m_kept[size_t(taken.journal)];
        const char* bytes = piece.bytes.constData() + taken.offset;
        const auto* raw = reinterpret_cast<const uchar*>(bytes);
        const JournalRow row = k.decoder ? k.decoder->row(raw, taken.length)
                                         : JournalRecords::textRow(bytes, taken.length);
        FleetWriter::Record record;
        record.controllerId = k.controllerId;
        record.controllerType = k.controllerType;
        record.row = &row;
        record.file = k.file;
        if (k.decoder) {
            const quint32 word = BinaryJournal::timeWord(raw, taken.length);
            record.isoTime =
                RecordTime::fromTimeWord(word).withYear(RecordTime::yearOfKey(taken.key)).toIso();
        } else {
            record.isoTime = RecordTime::fromText(row.time).toIso();
        }
        lines += writer.line(record);
    }
    return lines;
}

bool FleetRun::write(QIODevice& out)
{
    const FleetWriter writer(m_settings.format, m_textLayout);
    if (m_settings.count) {
        QByteArray chunk = writer.countHeader();
        qint64 total = 0;
        for (auto it = m_counts.cbegin(); it != m_counts.cend(); ++it) {
            total += it.value();
            if (it.value() > 0 || m_settings.countAll)
                chunk +=
                    writer.countLine(it.key(), m_settings.controllers.type(it.key()), it.value());
        }
        chunk += writer.countTotal(total);
        return JournalWriter::writeAll(out, chunk);
    }
    // Nothing matched: nothing to head either.
    if (m_matches > 0 && !JournalWriter::writeAll(out, writer.header()))
        return false;
    // The main thread merges a piece while the others format the one before.
    const int threads = threadCount();
    QThreadPool pool;
    pool.setMaxThreadCount(threads);
    Piece pieces[2];
    std::vector<QByteArray> lines(static_cast<size_t>(threads));
    bool writing = false; // lines hold a formatted piece not yet written
    bool ok = true;
    const auto flush = [&] {
        pool.waitForDone();
        for (QByteArray& l : lines) {
            ok = ok && JournalWriter::writeAll(out, l);
            l.clear();
        }
        writing = false;
    };
    JournalMerge::Taken taken;
    bool more = m_merge && m_merge->next(&taken);
    for (int p = 0; more && ok; p ^= 1) {
        Piece& piece = pieces[p];
        piece.records.clear();
        piece.bytes.clear();
        while (more && piece.records.size() < size_t(RecordsAtOnce)) {
            piece.records.push_back(
                {taken.journal, taken.key, int(piece.bytes.size()), taken.length});
            piece.bytes.append(taken.bytes, taken.length);
            more = m_merge->next(&taken);
        }
        if (writing)
            flush();
        const int count = int(piece.records.size());
        for (int part = 0; part < threads; ++part)
            pool.start([this, &writer, &lines, &piece, part, count, threads] {
                lines[size_t(part)] =
                    format(writer, piece, count * part / threads, count * (part + 1) / threads);
            });
        writing = true;
    }
    if (writing)
        flush();
    if (m_merge && !m_merge->errorString().isEmpty())
        error(m_merge->errorString());
    return ok;
}
