// libFuzzer target: arbitrary text journals.

#include "journal/journaldecoder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray journal(reinterpret_cast<const char*>(data), int(size));
    const QVector<JournalRow> rows = JournalDecoder::decodeText(journal);
    if (rows.size() > journal.count('\0'))
        abort();
    for (const JournalRow& row : rows) {
        if (row.time.isEmpty() || row.type.isEmpty() || row.source.isEmpty() ||
            !row.time.at(0).isDigit())
            abort();
    }
    return 0;
}
