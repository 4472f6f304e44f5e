// libFuzzer target: arbitrary binary journals decoded with the built-in 3.17 file.

#include "journal/journaldecoder.h"
#include "journal/messagedefinitionparser.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>

namespace {

const JournalDecoder& decoder()
{
    static const JournalDecoder d = [] {
        QFile file(QStringLiteral(":/mes_files/Notepad.mes.317"));
        if (!file.open(QIODevice::ReadOnly))
            abort();
        QMap<int, QString> sources, messages;
        MessageDefinitionParser::parse(file, sources, messages);
        return JournalDecoder(messages, sources);
    }();
    return d;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray journal(reinterpret_cast<const char*>(data), int(size));
    const QVector<JournalRow> rows = decoder().decodeBinary(journal);
    if (rows.size() > (journal.size() + 7) / 8)
        abort();
    for (const JournalRow& row : rows) {
        if (row.time.size() != 14 || row.message.isEmpty() || row.source.isEmpty() ||
            !row.type.isEmpty())
            abort();
    }
    // Erased space ends the rows.
    if (!journal.isEmpty() && uchar(journal.at(0)) == 0xFF && journal.size() <= 8 &&
        !rows.isEmpty())
        abort();
    return 0;
}
