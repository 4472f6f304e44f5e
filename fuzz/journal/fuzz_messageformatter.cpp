// libFuzzer target: arbitrary templates and records, checked against a plain
// step-by-step expansion written independently of the formatter's precompiled form.
//
// Input: one byte giving the record length (low four bits), the record, then
// the template in UTF-8.

#include "journal/messageformatter.h"
#include "journal/messagetemplate.h"

#include <QStringList>

#include <cstdint>
#include <cstdlib>

namespace {

QString hex2(uint value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0'));
}

QString reference(const QString& text, const QByteArray& record)
{
    auto at = [&record](int i) -> uint { return i < record.size() ? uchar(record.at(i)) : 0u; };
    QString result;
    QString rest = text;
    int cursor = 5;
    for (;;) {
        const int dollar = rest.indexOf(QLatin1Char('$'));
        if (dollar < 0) {
            result += rest;
            break;
        }
        result += rest.left(dollar);
        const QChar c = dollar + 1 < rest.size() ? rest.at(dollar + 1) : QChar();
        rest = rest.mid(dollar + 2);
        const uint b = at(cursor);
        const ushort code = c.unicode() > 0xFF ? ushort(0xFFFF) : c.unicode();
        switch (code) {
        case 'i':
            result += QString::number(b);
            ++cursor;
            break;
        case 's':
            result += QString::number(qint8(b));
            ++cursor;
            break;
        case 'I':
        case 'S':
            result += QString::number(b + 256 * at(cursor + 1));
            cursor += 2;
            break;
        case 'x':
            result += hex2(b) + QLatin1Char('h');
            ++cursor;
            break;
        case 'X':
            result += hex2(b + 256 * at(cursor + 1)) + QLatin1Char('h');
            cursor += 2;
            break;
        case 'l':
            result += QString::number(b & 15);
            break;
        case 'h':
            result += QString::number(b >> 4);
            ++cursor;
            break;
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case 'a': {
            // Table rows come from the formatter itself; the unit tests check them.
            QByteArray one(8, '\0');
            one[5] = char(b);
            result += formatMessage(QStringLiteral("$") + QChar(code), one);
            ++cursor;
            break;
        }
        case 'V': {
            const int close = rest.indexOf(QLatin1Char(')'));
            if (!rest.startsWith(QLatin1Char('(')) || close < 0) {
                result += QStringLiteral("ERROR: invalid variant list");
                break;
            }
            const QStringList variants = rest.mid(1, close - 1).split(QLatin1Char(','));
            rest = rest.mid(close + 1);
            result += b < uint(variants.size())
                          ? variants.at(int(b))
                          : QStringLiteral("ERROR: invalid variant index %1").arg(b);
            break;
        }
        default:
            result += QStringLiteral("ERROR: unknown conversion code %1h").arg(hex2(b));
            ++cursor;
            break;
        }
    }
    // One record's text is cut, visibly, at the bound.
    if (result.size() > MessageTemplate::MaxExpandedLength)
        result = result.left(MessageTemplate::MaxExpandedLength - 1) + QChar(0x2026);
    if (result.isEmpty()) {
        result = QStringLiteral("%1h %2h %3h %4h")
                     .arg(hex2(at(4)), hex2(at(5)), hex2(at(6)), hex2(at(7)));
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int length = qMin(int(data[0] & 0x0F), int(size) - 1);
    const QByteArray record(reinterpret_cast<const char*>(data + 1), length);
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 1 + length), int(size) - 1 - length);
    if (formatMessage(text, record) != reference(text, record))
        abort();
    return 0;
}
