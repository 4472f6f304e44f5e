#include "journal/messagedefinitionparser.h"

#include <QIODevice>
#include <QTextCodec>

#include <limits>

namespace MessageDefinitionParser {

QTextCodec* journalCodec()
{
    static QTextCodec* const codec = [] {
        QTextCodec* c = QTextCodec::codecForName("Windows-1251");
        return c ? c : QTextCodec::codecForLocale();
    }();
    return codec;
}

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads one "#define name value /*"text"*/" line; false when it defines nothing.
bool parseDefinition(const QByteArray& line, int& value, QByteArray& text)
{
    const char* p = line.constData() + 7; // past "#define"
    const char* end = line.constData() + line.size();
    while (p < end && isBlank(*p))
        ++p;
    while (end > p && isBlank(end[-1]))
        --end;
    // The identifier runs to the first space or tab, whatever its characters.
    while (p < end && *p != ' ' && *p != '\t')
        ++p;
    if (p == end)
        return false;
    while (p < end && isBlank(*p))
        ++p;
    if (p == end || *p < '0' || *p > '9')
        return false;
    qint64 number = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        number = number * 10 + (*p - '0');
        // No record can refer to a code this large; refuse it rather than wrap around.
        if (number > std::numeric_limits<int>::max())
            return false;
    }
    value = int(number);
    const char* open = static_cast<const char*>(memchr(p, '"', size_t(end - p)));
    if (!open)
        return false;
    const char* close = static_cast<const char*>(memchr(open + 1, '"', size_t(end - open - 1)));
    if (!close)
        return false;
    text = QByteArray(open + 1, int(close - open - 1));
    return true;
}

} // namespace

void parse(QIODevice& device, QMap<int, QString>& sources, QMap<int, QString>& messages)
{
    QTextCodec* codec = journalCodec();
    bool inMessages = false;
    for (;;) {
        const QByteArray line = device.readLine();
        if (line.isEmpty())
            break;
        if (!inMessages && line.contains("DISASTERS")) {
            inMessages = true;
            continue;
        }
        if (!line.startsWith("#define"))
            continue;
        int value = 0;
        QByteArray text;
        if (!parseDefinition(line, value, text))
            continue;
        // The first definition of a code wins, for sources as for messages.
        QMap<int, QString>& map = inMessages ? messages : sources;
        if (map.contains(value))
            continue;
        map.insert(value, codec->toUnicode(text));
    }
}

} // namespace MessageDefinitionParser
