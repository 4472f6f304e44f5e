#pragma once

#include <QString>

// Which format a journal is read in (no widgets: hosts may decide it too).
namespace JournalOpener {

enum Version : int {
    TextJournalTmHelix = 0x2FFFF,
    TextJournalVegal = 0x3FFFF,
    TextJournalOther = 0x4FFFF,
};

// The version the journal queue picks from a light's family marks and "type".
int versionForLight(bool isTmHelix, bool isVegal, const QString& type);

} // namespace JournalOpener
