#include "journal/messagetemplate.h"

#include <QCoreApplication>

namespace {

// Substitution tables, indexed by one parameter byte.
const char* const ModuleNames[] = {
    "приемника",     "АСУДД",         "табло",         "интеллектуального ВПУ", "детекторов N1",
    "детекторов N2", "детекторов N3", "детекторов N4", "Эл.счетчика",
};
const char* const ControlSources[] = {
    "'отсутствует'", "'локальное'",        "'контролер 2'",     "'АСУДД'",
    "'ВПУ'",         "'инженерный пульт'", "'клавиатура П.П.'", "'аварийное'",
};
const char* const ResetReasons[] = {
    "'програмный сброс'",
    "'включение питания'",
    "'внешний сброс'",
    "'включение питания и внешний сброс'",
    "'супервизор питания'",
    "'включение и супервизор питания'",
    "'6'",
    "'7'",
    "'сторожевой таймер'",
};
const char* const FirmwareUpdateStates[] = {
    "'задействуется встроенное обновление модуля АСУДД'",
    "'найден код для EEPROM'",
    "'начато обновление ПО'",
    "'завершено обновление ПО'",
    "'размер кода для обновления некорректен'",
    "'ошибка CRC кода обновления ПО'",
    "'версия кода обновления ПО устарела'",
    "'загрузчик в целевом устройстве не обнаружен '",
    "'ошибка обмена по SPI'",
    "'ошибка обмена по TWI'",
    "'ошибочный ответ от загрузчика'",
    "'ошибка CRC при обмене с загрузчиком'",
    "'нет готовности при обмене с загрузчиком'",
    "'нет подходящего ID устройства'",
    "'обновления ПО ЦП не произошло'",
    "'запрос на обновление ПО'",
    "'код для обновления ПО не найден'",
    "'найден код для сетевых устройств'",
    "'неисправность NTWC'",
    "'ошибка сетевого устройства'",
    "'критическая ошибка сетевого устройства'",
    "'исчерпано число попыток'",
};
const char* const ConfigActivationModes[] = {
    "'некорректно'",
    "'с последующм сбросом'",
    "'по возможности без сброса'",
    "'без сброса'",
};
const char* const ConfigCopyStages[] = {
    "'контроль защищённой области'",
    "'начало копирования'",
    "'копирование завершено'",
    "'подмена рабочих переменных'",
};
const char* const ConfigCopyErrors[] = {
    "'отсутствует'",
    "'не завершена предыдущая перезапись'",
    "'нет аппаратного доступа'",
    "'размер за допустимыми пределами'",
    "'несовпадение контрольной суммы'",
    "'несовпадение защищённой области 1'",
    "'несовпадение защищённой области 2'",
};

template <size_t N> QVector<QString> table(const char* const (&rows)[N])
{
    QVector<QString> result;
    result.reserve(int(N));
    for (const char* row : rows)
        result.append(QString::fromUtf8(row));
    return result;
}

// The tables of conversions 1..7 and a, decoded once.
struct Tables
{
    QVector<QString> rows[8];
    QString badAddress;
    Tables()
    {
        rows[0] = table(ModuleNames);
        rows[1] = table(ControlSources);
        rows[2] = table(ResetReasons);
        rows[3] = table(FirmwareUpdateStates);
        rows[4] = table(ConfigActivationModes);
        rows[5] = table(ConfigCopyStages);
        rows[6] = table(ConfigCopyErrors);
        for (int i = 0; i < 16; ++i)
            rows[7].append(QStringLiteral("SPI %1").arg(i));
        rows[7].append(QStringLiteral("NTWC"));
        rows[7].append(QStringLiteral("CPU"));
        badAddress = QString::fromUtf8("ошибочный");
    }
};

const Tables& tables()
{
    static const Tables t;
    return t;
}

// The overflow text is translated once per process, at the first expansion.
const QString& overflowFormat()
{
    static const QString text =
        QCoreApplication::translate("QObject", "ERROR: overflow substitute type %1");
    return text;
}

inline uint byteAt(const uchar* record, int len, int index)
{
    return index < len ? record[index] : 0u;
}

const char HexDigits[] = "0123456789abcdef";

inline void appendDecimal(QString& out, uint value)
{
    QChar buf[10];
    int pos = 10;
    do {
        buf[--pos] = QLatin1Char(char('0' + value % 10));
        value /= 10;
    } while (value);
    out.append(buf + pos, 10 - pos);
}

// Lower-case hexadecimal with at least two digits.
inline void appendHex(QString& out, uint value)
{
    QChar buf[8];
    int pos = 8;
    do {
        buf[--pos] = QLatin1Char(HexDigits[value & 0xF]);
        value >>= 4;
    } while (value || pos > 6);
    out.append(buf + pos, 8 - pos);
}

// How far each conversion moves the parameter cursor.
int advanceOf(ushort conv)
{
    switch (conv) {
    case 'I':
    case 'S':
    case 'X':
        return 2;
    case 'l':
    case 'V':
        return 0;
    default:
        return 1;
    }
}

} // namespace

MessageTemplate::MessageTemplate(const QString& text)
{
    const QString& overflow = overflowFormat();
    int cursor = 5;
    int pos = 0;
    const int size = text.size();
    auto addLiteral = [this](const QString& literal) {
        if (literal.isEmpty())
            return;
        if (!m_pieces.isEmpty() && m_pieces.last().conv == Literal) {
            m_pieces.last().text += literal;
        } else {
            Piece p;
            p.text = literal;
            m_pieces.append(p);
        }
    };
    while (pos < size) {
        const int dollar = text.indexOf(QLatin1Char('$'), pos);
        if (dollar < 0) {
            addLiteral(text.mid(pos));
            break;
        }
        addLiteral(text.mid(pos, dollar - pos));
        // A "$" at the very end converts a NUL, which is no known conversion.
        const QChar ch = dollar + 1 < size ? text.at(dollar + 1) : QChar();
        pos = dollar + 2;
        Piece p;
        // Compared as Latin-1: anything beyond it is no conversion.
        p.conv = ch.unicode() <= 0xFF ? ch.unicode() : ushort(Unknown);
        switch (p.conv) {
        case 'i':
        case 's':
        case 'I':
        case 'S':
        case 'x':
        case 'X':
        case 'l':
        case 'h':
        case 'a':
            break;
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
            p.text = overflow.arg(QChar(p.conv));
            break;
        case 'V': {
            const int close = text.indexOf(QLatin1Char(')'), pos);
            if (pos >= size || text.at(pos) != QLatin1Char('(') || close < 0) {
                // Not a list: the error, and the text after the V stays as it is.
                addLiteral(QCoreApplication::translate("QObject", "ERROR: invalid variant list"));
                m_expandable = false;
                continue;
            }
            p.variants = text.mid(pos + 1, close - pos - 1).split(QLatin1Char(','));
            p.text = QCoreApplication::translate("QObject", "ERROR: invalid variant index %1");
            pos = close + 1;
            break;
        }
        default:
            p.conv = Unknown;
            m_expandable = false;
            p.text = QCoreApplication::translate("QObject", "ERROR: unknown conversion code %1h");
            break;
        }
        p.offset = cursor;
        // A conversion that moves the cursor by two reads the byte after its own too.
        m_lastByte = qMax(m_lastByte, cursor + (advanceOf(p.conv) == 2 ? 1 : 0));
        cursor += advanceOf(p.conv);
        m_pieces.append(p);
    }
}

void MessageTemplate::expand(const uchar* record, int len, QString& out) const
{
    const Tables& t = tables();
    const int end = out.size() + MaxExpandedLength;
    // Texts are taken only as far as one character past the end, which is
    // enough to know that the expansion is cut; numbers add a few characters.
    const auto put = [&out, end](const QString& text) {
        out.append(text.constData(), qMin(text.size(), end + 1 - out.size()));
    };
    for (const Piece& p : m_pieces) {
        if (out.size() > end)
            break;
        if (p.conv == Literal) {
            put(p.text);
            continue;
        }
        const uint b = byteAt(record, len, p.offset);
        switch (p.conv) {
        case 'i':
            appendDecimal(out, b);
            break;
        case 's':
            if (b & 0x80) {
                out.append(QLatin1Char('-'));
                appendDecimal(out, 256 - b);
            } else {
                appendDecimal(out, b);
            }
            break;
        case 'I':
        case 'S':
            appendDecimal(out, b | byteAt(record, len, p.offset + 1) << 8);
            break;
        case 'x':
            appendHex(out, b);
            out.append(QLatin1Char('h'));
            break;
        case 'X':
            appendHex(out, b | byteAt(record, len, p.offset + 1) << 8);
            out.append(QLatin1Char('h'));
            break;
        case 'l':
            appendDecimal(out, b & 0xF);
            break;
        case 'h':
            appendDecimal(out, b >> 4);
            break;
        case 'a': {
            const QVector<QString>& rows = t.rows[7];
            put(b < uint(rows.size()) ? rows.at(int(b)) : t.badAddress);
            break;
        }
        case 'V':
            if (b < uint(p.variants.size()))
                put(p.variants.at(int(b)));
            else
                put(p.text.arg(b));
            break;
        case Unknown:
            put(p.text.arg(b, 2, 16, QLatin1Char('0')));
            break;
        default: { // '1'..'7'
            const QVector<QString>& rows = t.rows[p.conv - '1'];
            put(b < uint(rows.size()) ? rows.at(int(b)) : p.text);
            break;
        }
        }
    }
    if (out.size() > end) {
        out.truncate(end - 1);
        out.append(QChar(0x2026)); // "…"
    }
}

int MessageTemplate::valuesAllowed(int index) const
{
    if (!m_expandable)
        return 0;
    const Tables& t = tables();
    int allowed = 256;
    for (const Piece& p : m_pieces) {
        if (p.conv == Literal || p.offset != index)
            continue;
        if (p.conv == 'V')
            allowed = qMin(allowed, int(p.variants.size()));
        else if (p.conv == 'a')
            allowed = qMin(allowed, int(t.rows[7].size()));
        else if (p.conv >= '1' && p.conv <= '7')
            allowed = qMin(allowed, int(t.rows[p.conv - '1'].size()));
    }
    return allowed;
}

void MessageTemplate::appendHexFallback(const uchar* record, int len, QString& out)
{
    QChar buf[15];
    int n = 0;
    for (int i = 4; i < 8; ++i) {
        const uint b = byteAt(record, len, i);
        if (i > 4)
            buf[n++] = QLatin1Char(' ');
        buf[n++] = QLatin1Char(HexDigits[b >> 4]);
        buf[n++] = QLatin1Char(HexDigits[b & 0xF]);
        buf[n++] = QLatin1Char('h');
    }
    out.append(buf, n);
}
