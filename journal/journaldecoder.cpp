#include "journal/journaldecoder.h"

#include "journal/journaltime.h"
#include "journal/messagedefinitionparser.h"

#include <QCoreApplication>
#include <QTextCodec>

#include <cstring>

namespace {

inline quint32 timeWordOf(const uchar* record, int len)
{
    quint32 word = 0;
    for (int i = 0; i < 4 && i < len; ++i)
        word |= quint32(record[i]) << (8 * i);
    return word;
}

// Time-stamp fields of the packed word; source in the top six bits.
inline uint secondOf(quint32 w)
{
    return w & 0x3F;
}
inline uint minuteOf(quint32 w)
{
    return (w >> 6) & 0x3F;
}
inline uint hourOf(quint32 w)
{
    return (w >> 12) & 0x1F;
}
inline uint dayOf(quint32 w)
{
    return (w >> 17) & 0x1F;
}
inline uint monthOf(quint32 w)
{
    return (w >> 22) & 0xF;
}
inline uint sourceOf(quint32 w)
{
    return w >> 26;
}

// Month, day, hour, minute and second lie in the word in falling significance,
// so within one year the low 26 bits order the time stamps.
inline quint32 stampKey(quint32 w)
{
    return w & 0x3FFFFFF;
}

inline void putTwoDigits(QChar* out, uint value)
{
    out[0] = QLatin1Char(char('0' + value / 10));
    out[1] = QLatin1Char(char('0' + value % 10));
}

// "dd.MM hh:mm:ss" from the raw fields, out-of-range values as they are.
QString timeText(quint32 w)
{
    QChar buf[14];
    putTwoDigits(buf, dayOf(w));
    buf[2] = QLatin1Char('.');
    putTwoDigits(buf + 3, monthOf(w));
    buf[5] = QLatin1Char(' ');
    putTwoDigits(buf + 6, hourOf(w));
    buf[8] = QLatin1Char(':');
    putTwoDigits(buf + 9, minuteOf(w));
    buf[11] = QLatin1Char(':');
    putTwoDigits(buf + 12, secondOf(w));
    return QString(buf, 14);
}

// How often decoding reports its progress: a few milliseconds of work.
constexpr int ProgressBlocks = 1024;
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
        row.when = JournalTime::fromText(row.time);
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

quint32 JournalDecoder::timeWord(const uchar* record, int len)
{
    return timeWordOf(record, len);
}

JournalDecoder::TimeFields JournalDecoder::timeFields(quint32 word)
{
    return {int(monthOf(word)), int(dayOf(word)), int(hourOf(word)), int(minuteOf(word)),
            int(secondOf(word))};
}

bool JournalDecoder::isValidTimeWord(quint32 word, int year)
{
    const uint month = monthOf(word);
    if (month < 1 || month > 12 || hourOf(word) > 23 || minuteOf(word) > 59 || secondOf(word) > 59)
        return false;
    const uint day = dayOf(word);
    return day >= 1 && int(day) <= QDate(year, int(month), 1).daysInMonth();
}

QDateTime JournalDecoder::recordDateTime(const uchar* record)
{
    const quint32 w = timeWordOf(record, 4);
    const QDate date(QDate::currentDate().year(), int(monthOf(w)), int(dayOf(w)));
    const QTime time(int(hourOf(w)), int(minuteOf(w)), int(secondOf(w)), 0);
    // QDateTime would take an invalid time for midnight.
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

bool JournalDecoder::blocksOldestFirst(const QByteArray& data, int year)
{
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const int size = data.size();
    // Days of each month this year, so a record needs no QDate to be checked.
    int monthDays[13] = {0};
    for (int m = 1; m <= 12; ++m)
        monthDays[m] = QDate(year, m, 1).daysInMonth();
    auto valid = [&monthDays](quint32 w) {
        const uint month = monthOf(w);
        const uint day = dayOf(w);
        return month >= 1 && month <= 12 && day >= 1 && int(day) <= monthDays[month] &&
               hourOf(w) <= 23 && minuteOf(w) <= 59 && secondOf(w) <= 59;
    };
    for (int block = 0; block < size; block += BlockSize) {
        const int blockEnd = qMin(size, block + BlockSize);
        for (int k = block; k + 2 * RecordSize <= blockEnd; k += RecordSize) {
            const quint32 a = timeWordOf(bytes + k, 4);
            const quint32 b = timeWordOf(bytes + k + RecordSize, 4);
            if (!valid(a) || !valid(b) || stampKey(a) == stampKey(b))
                continue;
            if (stampKey(a) < stampKey(b))
                return true;
            break; // newest first: the next block may still say otherwise
        }
    }
    return false;
}

void JournalDecoder::addRecord(const QByteArray& record, QVector<JournalRow>& rows) const
{
    addRecord(reinterpret_cast<const uchar*>(record.constData()), record.size(), rows);
}

void JournalDecoder::addRecord(const uchar* data, int len, QVector<JournalRow>& rows) const
{
    const quint32 w = timeWordOf(data, len);
    const uint source = sourceOf(w);
    JournalRow row;
    row.time = timeText(w);
    if (source != DebugSource && len >= RecordSize) {
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
    row.source = m_sources[source];
    rows.append(std::move(row));
}

QVector<JournalRow> JournalDecoder::decodeBinary(const QByteArray& data, const Progress& progress,
                                                 bool* tooMuchText) const
{
    if (tooMuchText)
        *tooMuchText = false;
    QVector<JournalRow> rows;
    qint64 text = 0;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const int size = data.size();
    rows.reserve((size + RecordSize - 1) / RecordSize);
    const bool reverse = blocksOldestFirst(data, QDate::currentDate().year());
    for (int block = 0; block < size; block += BlockSize) {
        if (progress && block % (ProgressBlocks * BlockSize) == 0 && !progress(block, size))
            return QVector<JournalRow>();
        const int blockEnd = qMin(size, block + BlockSize);
        const int count = (blockEnd - block + RecordSize - 1) / RecordSize;
        for (int i = 0; i < count; ++i) {
            const int start = block + RecordSize * (reverse ? count - 1 - i : i);
            if (bytes[start] == 0xFF) {
                JournalTime::setBinaryTimes(rows, QDate::currentDate());
                return rows; // erased space: nothing after it is shown
            }
            addRecord(bytes + start, qMin(RecordSize, blockEnd - start), rows);
            text += rows.constLast().message.size();
            if (text > MaxMessageText) {
                if (tooMuchText)
                    *tooMuchText = true;
                return QVector<JournalRow>();
            }
        }
    }
    JournalTime::setBinaryTimes(rows, QDate::currentDate());
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
