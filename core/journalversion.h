#pragma once

#include <QString>

// Which format a journal is read in (no widgets: hosts may decide it too).
namespace JournalVersion {

// Besides 314 to 317, the binary generations named by their definition files.
enum Version : int {
    TextJournalTmHelix = 0x2FFFF,
    TextJournalVegal = 0x3FFFF,
    TextJournalOther = 0x4FFFF,
};

// 314 to 317: a binary journal's generation.
bool isBinary(int version);
// A binary generation or one of the text formats above.
bool isKnown(int version);

// The version the journal queue picks from a light's family marks and "type".
int forLight(bool isTmHelix, bool isVegal, const QString& type);
// The same from the "type" alone, its family marks read from it.
int forType(const QString& type);

} // namespace JournalVersion
