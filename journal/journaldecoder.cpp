#include "journal/journaldecoder.h"

#include "journal/journaltime.h"
#include "journal/messagedefinitionparser.h"
#include "journal/recordtime.h"

#include <QCoreApplication>
#include <QTextCodec>

#include <cstring>

namespace {

inline void putTwoDigits(QChar* out, int value)
{
    out[0] = QLatin1Char(char('0' + value / 10));
    out[1] = QLatin1Char(char('0' + value % 10));
}

// "dd.MM hh:mm:ss" from the raw fields, out-of-range values as they are.
QString timeText(const BinaryJournal::Stamp& s)
{
    QChar buf[14];
    putTwoDigits(buf, s.day);
    buf[2] = QLatin1Char('.');
    putTwoDigits(buf + 3, s.month);
    buf[5] = QLatin1Char(' ');
    putTwoDigits(buf + 6, s.hour);
    buf[8] = QLatin1Char(':');
    putTwoDigits(buf + 9, s.minute);
    buf[11] = QLatin1Char(':');
    putTwoDigits(buf + 12, s.second);
    return QString(buf, 14);
}

// How often decoding reports its progress: a few milliseconds of work.
constexpr int ProgressRecords = 12 * 1024;
constexpr int ProgressLines = 8192;

// Room for the messages of the shipped definition files, made once per record.
constexpr int ReservedMessage = 96;

// JournalDecoder::readTextLine, the message read only with a codec: inline in the viewer's
// decoding loop, which a call per line would slow by a few per cent.
Q_ALWAYS_INLINE JournalDecoder::TextLine readLine(const char* line, const char* lineEnd,
                                                  JournalRow& row, QTextCodec* messageCodec)
{
    auto nextSpace = [lineEnd](const char* from) {
        return static_cast<const char*>(memchr(from, ' ', size_t(lineEnd - from)));
    };
    auto skipSpaces = [lineEnd](const char* from) {
        while (from < lineEnd && *from == ' ')
            ++from;
        return from;
    };
    const char* const dateEnd = nextSpace(line);
    if (!dateEnd)
        return JournalDecoder::TextLine::End; // a line without any space ends the journal
    if (dateEnd == line || *line < '0' || *line > '9')
        return JournalDecoder::TextLine::Skip;
    // Time, type and source, each ended by a space.
    QString fields[3];
    const char* fieldEnd = dateEnd;
    for (QString& field : fields) {
        const char* const start = skipSpaces(fieldEnd);
        fieldEnd = nextSpace(start);
        if (!fieldEnd)
            return JournalDecoder::TextLine::End; // a missing separator ends the journal
        field = QString::fromUtf8(start, int(fieldEnd - start));
    }
    row.time = QString::fromUtf8(line, int(dateEnd - line)) + QLatin1Char(' ') + fields[0];
    row.type = fields[1];
    row.source = fields[2];
    if (messageCodec) {
        const char* const message = skipSpaces(fieldEnd);
        row.message = messageCodec->toUnicode(message, int(lineEnd - message));
        row.when = RecordTime::fromText(row.time).when();
        row.order = row.when;
    }
    return JournalDecoder::TextLine::Row;
}

} // namespace

JournalDecoder::JournalDecoder(const QMap<int, QString>& messages,
                               const QMap<int, QString>& sources)
{
    for (auto it = messages.cbegin(); it != messages.cend(); ++it) {
        if (it.key() >= 0 && it.key() < int(m_templates.size()))
            m_templates[size_t(it.key())] = MessageTemplate(it.value());
    }
    const QString unknown = QCoreApplication::translate("JournalViewDlg", "Not identified");
    for (size_t i = 0; i < m_sources.size(); ++i)
        m_sources[i] = sources.value(int(i), unknown);
}

JournalRow JournalDecoder::row(const uchar* data, int len) const
{
    const BinaryJournal::Stamp stamp = BinaryJournal::Stamp::at(data, len);
    JournalRow row;
    row.time = timeText(stamp);
    if (stamp.source != BinaryJournal::DebugSource && len >= RecordSize) {
        const MessageTemplate& t = m_templates[data[4]];
        if (!t.isEmpty()) {
            row.message.reserve(ReservedMessage);
            t.expand(data, len, row.message);
            // Grown by doubling; a long text keeps only its own size.
            if (row.message.size() > ReservedMessage)
                row.message.squeeze();
        }
    }
    if (row.message.isEmpty())
        MessageTemplate::appendHexFallback(data, len, row.message);
    row.source = m_sources[size_t(stamp.source)];
    return row;
}

QVector<JournalRow> JournalDecoder::decodeBinary(const QByteArray& data, const Progress& progress,
                                                 bool* tooMuchText, const QDate& written) const
{
    if (tooMuchText)
        *tooMuchText = false;
    QVector<JournalRow> rows;
    QVector<quint32> words;
    qint64 text = 0;
    bool stopped = false;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    rows.reserve((data.size() + RecordSize - 1) / RecordSize);
    words.reserve(rows.capacity());
    BinaryJournal::forEachRecord(data, [&](int offset, int length) {
        if (progress && rows.size() % ProgressRecords == 0 && !progress(offset, data.size())) {
            stopped = true;
            return false;
        }
        rows.append(row(bytes + offset, length));
        words.append(BinaryJournal::timeWord(bytes + offset, length));
        text += rows.constLast().message.size();
        if (text > MaxMessageText) {
            stopped = true;
            if (tooMuchText)
                *tooMuchText = true;
            return false;
        }
        return true;
    });
    if (stopped)
        return QVector<JournalRow>();
    JournalTime::setBinaryTimes(rows, words, written.isValid() ? written : QDate::currentDate());
    return rows;
}

QVector<JournalRow> JournalDecoder::decodeText(const QByteArray& data, const Progress& progress)
{
    QVector<JournalRow> rows;
    QTextCodec* const messageCodec = MessageDefinitionParser::journalCodec();
    const char* next = data.constData();
    const char* const end = next + data.size();
    while (const char* lineEnd = static_cast<const char*>(memchr(next, '\0', size_t(end - next)))) {
        const char* const line = next;
        next = lineEnd + 1;
        if (progress && rows.size() % ProgressLines == 0 &&
            !progress(int(line - data.constData()), data.size()))
            return QVector<JournalRow>();
        JournalRow row;
        switch (readLine(line, lineEnd, row, messageCodec)) {
        case TextLine::Row:
            rows.append(std::move(row));
            break;
        case TextLine::Skip:
            break;
        case TextLine::End:
            return rows;
        }
    }
    return rows;
}

JournalDecoder::TextLine JournalDecoder::readTextLine(const char* line, const char* lineEnd,
                                                      JournalRow& row, bool withMessage)
{
    return readLine(line, lineEnd, row,
                    withMessage ? MessageDefinitionParser::journalCodec() : nullptr);
}
