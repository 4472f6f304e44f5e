#pragma once

#include <QByteArray>

// Where a binary journal block repeats what was received before it. A
// controller writes new records at the front of its journal at any moment,
// also while the journal is read: every record written between two block
// requests pushes the older ones back, so the next block begins with records
// already received (a whole block, for a controller that fills a block before
// it starts the next). A repeat is dropped only on proof: it is exactly the
// end of what came before (or a stretch of it, after a longer pause), and the
// records' own time stamps show that the controller cannot have written them
// twice in a row. A run of records of one second may be the controller's own
// burst: then the bytes alone cannot tell, and the repeat is kept.
struct BlockOverlap
{
    // Bytes at the block's start that repeat received records (0: none), and
    // how many records those are.
    int size = 0;
    int entries = 0;
    // The repeat is the controller's data moved back, not written twice.
    bool proven = false;
    // How far the controller's data moved (bytes); more than size when the
    // whole block came before, and the next block then goes on with the rest.
    int shift = 0;

    // received: the journal's whole records so far; carried: what a proven
    // move left over for this block (its shift less the previous block's
    // size), proven by that move.
    static BlockOverlap find(const QByteArray& received, const QByteArray& block, int carried = 0);

    // How far back a repeat is looked for: more than a controller writes
    // between two requests, also when a retry or a lost link delays the next.
    static constexpr int maxShiftRecords = 4096;

private:
    static BlockOverlap inRecords(const QByteArray& received, const QByteArray& block);
    // The controller wrote more since the first block than has been read: the
    // block begins with records newer than all received (left to the next
    // download, as they would go behind older ones), then repeats the start.
    static BlockOverlap aheadOfReceived(const QByteArray& received, const QByteArray& block);
};
