// libFuzzer target: arbitrary message-definition files, then a journal decoded with them.

#include "journal/journaldecoder.h"
#include "journal/messagedefinitionparser.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char*>(data), int(size));
    buffer.open(QIODevice::ReadOnly);
    QMap<int, QString> sources, messages;
    MessageDefinitionParser::parse(buffer, sources, messages);

    // Every parsed template against records of every code, with all parameter values in use.
    QByteArray journal;
    for (int code = 0; code < 256; ++code) {
        const char rec[8] = {char(code),
                             0x10,
                             0x20,
                             char(code << 2),
                             char(code),
                             char(code * 7),
                             char(0xFF - code),
                             char(code ^ 0x5A)};
        journal.append(rec, 8);
    }
    const QVector<JournalRow> rows = JournalDecoder(messages, sources).decodeBinary(journal);
    for (const JournalRow& row : rows) {
        if (row.time.size() != 14 || row.message.isEmpty() || row.source.isNull())
            abort();
    }
    return 0;
}
