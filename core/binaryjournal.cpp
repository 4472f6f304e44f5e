#include "core/binaryjournal.h"

namespace BinaryJournal {

int firstErasedRecord(const QByteArray& block)
{
    const auto* bytes = reinterpret_cast<const uchar*>(block.constData());
    for (int i = 0; i < block.size(); i += RecordSize)
        if (isErased(bytes + i))
            return i;
    return -1;
}

quint32 timeWord(const uchar* record, int length)
{
    quint32 word = 0;
    for (int i = 0; i < 4 && i < length; ++i)
        word |= quint32(record[i]) << (8 * i);
    return word;
}

Stamp Stamp::of(quint32 word)
{
    Stamp s;
    s.second = int(word & 0x3F);
    s.minute = int((word >> 6) & 0x3F);
    s.hour = int((word >> 12) & 0x1F);
    s.day = int((word >> 17) & 0x1F);
    s.month = int((word >> 22) & 0xF);
    s.source = int(word >> 26);
    return s;
}

bool Stamp::isValid() const
{
    static constexpr int monthDays[13] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month >= 1 && month <= 12 && day >= 1 && day <= monthDays[month] && hour <= 23 &&
           minute <= 59 && second <= 59;
}

bool earlier(const Stamp& a, const Stamp& b)
{
    if (qAbs(a.month - b.month) > 6)
        return a.month > b.month;
    return a.key() < b.key();
}

bool blocksOldestFirst(const QByteArray& data)
{
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const int size = data.size();
    for (int block = 0; block < size; block += BlockSize) {
        const int blockEnd = qMin(size, block + BlockSize);
        for (int k = block; k + 2 * RecordSize <= blockEnd; k += RecordSize) {
            const Stamp a = Stamp::at(bytes + k, RecordSize);
            const Stamp b = Stamp::at(bytes + k + RecordSize, RecordSize);
            if (!a.isValid() || !b.isValid() || a.key() == b.key())
                continue;
            if (earlier(a, b))
                return true;
            break; // newest first: the next block may still say otherwise
        }
    }
    return false;
}

} // namespace BinaryJournal
