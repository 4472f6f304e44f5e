#include "tools/fleetrun.h"

#include "journal/journaltime.h"

#include "core/downloadfile.h"
#include "core/journalversion.h"
#include "journal/journaldecoder.h"
#include "journal/journalrecords.h"
#include "journal/journalwriter.h"
#include "journal/messagedefinitionparser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

// Output goes out in pieces of this size: few writes, little held.
constexpr int WriteChunk = 256 * 1024;

} // namespace

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
    if (!ControllerList::idFromFileName(info.fileName(), &input.controllerId)) {
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
        input.version =
            ControllerList::versionForType(m_settings.controllers.type(input.controllerId));
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

void FleetRun::collect()
{
    for (const Input& input : m_inputs)
        collectOne(input);
    m_merge.start(m_settings.oldestFirst);
}

void FleetRun::collectOne(const Input& input)
{
    const bool text = !JournalVersion::isBinary(input.version);
    const JournalDecoder* decoder = text ? nullptr : decoderFor(input.version, input.path);
    if (!text && !decoder)
        return;
    QByteArray data;
    {
        QFile file(input.path);
        const QString failure =
            DownloadFile::readFailure(DownloadFile::readRegular(file, DownloadFile::maxSize, &data),
                                      file, DownloadFile::maxSize);
        if (!failure.isEmpty()) {
            error(QStringLiteral("%1: cannot read: %2").arg(input.path, failure));
            return;
        }
    }
    // Counted from here on: a journal that could not be read has no count.
    if (m_settings.count && !m_counts.contains(input.controllerId))
        m_counts.insert(input.controllerId, 0);
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
        warn(QStringLiteral("%1: modified %2, which cannot be right: "
                            "its records' years count back from today")
                 .arg(input.path, modified.isValid() ? modified.toString(Qt::ISODate)
                                                     : QStringLiteral("at the epoch")));
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
    Kept kept;
    QVector<JournalMerge::Entry> entries;
    qint64 matches = 0;
    for (int i = 0; i < records.size(); ++i) {
        if (!filter.acceptsTime(times.at(i)))
            continue;
        const JournalRecords::Record& r = records.at(i);
        const char* bytes = data.constData() + r.offset;
        if (filter.needsRow()) {
            const JournalRow row = text ? JournalRecords::textRow(bytes, r.length)
                                        : JournalRecords::binaryRow(*decoder, bytes, r.length);
            if (!filter.acceptsRow(row, text))
                continue;
        }
        ++matches;
        if (m_settings.count)
            continue;
        JournalMerge::Entry e;
        e.key = keys.at(i);
        e.position = i;
        e.offset = kept.bytes.size();
        e.length = r.length;
        kept.bytes.append(bytes, r.length);
        entries.append(e);
    }
    m_matches += matches;
    if (m_settings.count) {
        m_counts[input.controllerId] += matches;
        return;
    }
    if (entries.isEmpty())
        return;
    kept.controllerId = input.controllerId;
    kept.textJournal = text;
    kept.decoder = decoder;
    kept.file = input.path;
    kept.bytes.squeeze();
    m_kept.push_back(std::move(kept));
    m_merge.addJournal(input.controllerId, std::move(entries));
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
    QByteArray chunk = m_matches > 0 ? writer.header() : QByteArray();
    int journal = 0;
    const JournalMerge::Entry* entry = nullptr;
    while (m_merge.next(&journal, &entry)) {
        const Kept& k = m_kept[size_t(journal)];
        const char* bytes = k.bytes.constData() + entry->offset;
        const JournalRow row = k.textJournal
                                   ? JournalRecords::textRow(bytes, entry->length)
                                   : JournalRecords::binaryRow(*k.decoder, bytes, entry->length);
        FleetWriter::Record record;
        record.controllerId = k.controllerId;
        record.controllerType = m_settings.controllers.type(k.controllerId);
        record.row = &row;
        record.file = k.file;
        if (k.textJournal) {
            record.isoTime = RecordTime::fromText(row.time).toIso();
        } else {
            const quint32 word =
                BinaryJournal::timeWord(reinterpret_cast<const uchar*>(bytes), entry->length);
            record.isoTime =
                RecordTime::fromTimeWord(word).withYear(RecordTime::yearOfKey(entry->key)).toIso();
        }
        chunk += writer.line(record);
        if (chunk.size() >= WriteChunk) {
            if (!JournalWriter::writeAll(out, chunk))
                return false;
            chunk.clear();
        }
    }
    return JournalWriter::writeAll(out, chunk);
}
