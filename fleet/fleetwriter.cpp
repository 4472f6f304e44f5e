#include "fleet/fleetwriter.h"

#include "journal/journaldecoder.h"
#include "journal/journalorder.h"
#include "journal/journalwriter.h"

namespace {

// The id column of the aligned layout: "Id" centred in 6 and ":" over 7.
constexpr int IdWidth = 7;

// JSON string: quotes, backslashes and control characters escaped; a lone
// surrogate (no character at all) becomes U+FFFD so the UTF-8 stays valid.
void appendJsonString(QByteArray& out, const QString& text)
{
    QString clean;
    clean.reserve(text.size() + 8);
    clean += QLatin1Char('"');
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const ushort u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            clean += c;
            clean += text.at(++i);
        } else if (c.isSurrogate()) {
            clean += QChar(0xFFFD);
        } else if (u == '"' || u == '\\') {
            clean += QLatin1Char('\\');
            clean += c;
        } else if (u < 0x20) {
            switch (u) {
            case '\n':
                clean += QLatin1String("\\n");
                break;
            case '\r':
                clean += QLatin1String("\\r");
                break;
            case '\t':
                clean += QLatin1String("\\t");
                break;
            default:
                clean += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
            }
        } else {
            clean += c;
        }
    }
    clean += QLatin1Char('"');
    out += clean.toUtf8();
}

void appendField(QByteArray& out, const char* name, const QString& value, bool nullWhenEmpty)
{
    if (out.size() > 1)
        out += ',';
    out += '"';
    out += name;
    out += "\":";
    if (nullWhenEmpty && value.isEmpty())
        out += "null";
    else
        appendJsonString(out, value);
}

void appendNumber(QByteArray& out, const char* name, qint64 value)
{
    if (out.size() > 1)
        out += ',';
    out += '"';
    out += name;
    out += "\":";
    out += QByteArray::number(value);
}

} // namespace

FleetWriter::FleetWriter(Format format, bool textLayout)
    : m_format(format), m_textLayout(textLayout)
{}

QByteArray FleetWriter::header() const
{
    const int columns = JournalOrder::columnCount(m_textLayout);
    if (m_format == Format::JsonLines)
        return QByteArray();
    if (m_format == Format::Csv)
        return "Id;" + JournalWriter::headerLine(JournalWriter::Format::Csv, columns).toUtf8() +
               '\n';
    return "  Id  :" +
           JournalWriter::headerLine(JournalWriter::Format::AlignedText, columns).toUtf8() + '\n' +
           QByteArray(IdWidth, '-') + JournalWriter::dashLine(columns).toUtf8() + '\n';
}

QByteArray FleetWriter::line(const Record& record) const
{
    const JournalRow& row = *record.row;
    if (m_format == Format::JsonLines) {
        QByteArray out("{");
        appendNumber(out, "controller", record.controllerId);
        appendField(out, "controllerType", record.controllerType, true);
        appendField(out, "time", row.time, false);
        appendField(out, "isoTime", record.isoTime, true);
        appendField(out, "type", row.type, true);
        appendField(out, "message", row.message, false);
        appendField(out, "source", row.source, false);
        appendField(out, "file", record.file, false);
        out += "}\n";
        return out;
    }
    const int columns = JournalOrder::columnCount(m_textLayout);
    QStringList cells;
    for (int c = 0; c < columns; ++c)
        cells << JournalOrder::cellText(row, c, m_textLayout);
    const QString id = QString::number(record.controllerId);
    if (m_format == Format::Csv)
        return (id + QLatin1Char(';') +
                JournalWriter::rowLine(JournalWriter::Format::Csv, columns, cells))
                   .toUtf8() +
               '\n';
    return (id.leftJustified(IdWidth) +
            JournalWriter::rowLine(JournalWriter::Format::AlignedText, columns, cells))
               .toUtf8() +
           '\n';
}

QByteArray FleetWriter::countHeader() const
{
    if (m_format == Format::Csv)
        return "Id;Matches\n";
    return QByteArray();
}

QByteArray FleetWriter::countLine(int controllerId, const QString& controllerType,
                                  qint64 count) const
{
    if (m_format == Format::JsonLines) {
        QByteArray out("{");
        appendNumber(out, "controller", controllerId);
        appendField(out, "controllerType", controllerType, true);
        appendNumber(out, "matches", count);
        out += "}\n";
        return out;
    }
    if (m_format == Format::Csv)
        return QByteArray::number(controllerId) + ';' + QByteArray::number(count) + '\n';
    return QString::number(controllerId).leftJustified(IdWidth).toUtf8() +
           QByteArray::number(count) + '\n';
}

QByteArray FleetWriter::countTotal(qint64 total) const
{
    if (m_format == Format::JsonLines)
        return "{\"total\":" + QByteArray::number(total) + "}\n";
    if (m_format == Format::Csv)
        return "Total;" + QByteArray::number(total) + '\n';
    return QStringLiteral("Total").leftJustified(IdWidth).toUtf8() + QByteArray::number(total) +
           '\n';
}
