#pragma once

#include "core/binaryjournal.h"
#include "queue/answeroutcome.h"
#include "queue/queueitem.h"

#include <QVariantList>

// The "GET_JRNL" block protocol: appends one answer to the item and decides
// whether the journal has ended.
class JournalProtocol
{
public:
    // Blocks an unmarked journal download never goes beyond.
    static constexpr int maxBlocks = 344;

    static AnswerOutcome handleBlock(QueueItem& item, const QVariantList& data);

    // Where the previously saved journal begins in the newly received data
    // (the item's buffer followed by block), or -1. Unmarked journals match
    // whole records of the block only; marked ones match whole lines, also
    // across the block boundary.
    static qint64 findStopMarker(const QByteArray& buffer, const QByteArray& block,
                                 const QByteArray& marker, bool marked);

    // The marker of a saved journal: its newest non-empty line (marked
    // families) or its newest record; empty when it has none.
    static QByteArray stopMarkerOf(const QByteArray& journal, bool marked);

    // What an only-new download saves: the new data, then the journal it
    // continues. With the marker met, that journal from its marker on (an
    // empty line in front of it is the controller's, and the new data holds
    // it). Without, only the entries (lines, records) of that journal that the
    // new data does not hold: a merge never repeats an entry, nor drops one
    // the new data lacks.
    static QByteArray continued(const QByteArray& fresh, const QByteArray& previous, bool markerMet,
                                bool marked);

private:
    // A binary block without the records at its start that repeat what was
    // received, where they are proven to be the controller's data moved back;
    // repeats counts them (dropped, or kept where the bytes cannot tell).
    static QByteArray withoutRepeat(const QByteArray& block, const QByteArray& received,
                                    int* carried, QueueItem::Repeats* repeats);
    static AnswerOutcome takeBlock(QueueItem& item, const QVariantList& data);
    // Marked families: zero-terminated lines, ending at two zero bytes.
    static AnswerOutcome takeTextBlock(QueueItem& item, const QByteArray& block);
    // Unmarked families: numbered blocks of 8-byte records, ending at erased space.
    static AnswerOutcome takeRecordBlock(QueueItem& item, const QByteArray& block, qint64 number);
    // A whole block stored: what the queue shows, and the end at the blocks asked for.
    static AnswerOutcome counted(const QueueItem& item);
};
