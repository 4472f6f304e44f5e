#pragma once

#include "core/journalversion.h"

#include <QByteArray>
#include <QDir>
#include <QString>

class QWidget;

// The two ways into the journal viewer: a saved file (the host's viewJournal)
// and bytes held by the journal queue (its View action and double click).
namespace JournalOpener {

// The most rows the viewer shows. A table row costs about 750 bytes, so the
// largest journals a download holds (two million records) would take 1.5 GiB,
// most of a 32-bit host's address space; the longest journals a controller
// keeps have a few hundred thousand lines.
constexpr int maxRows = 500000;

// Opens binPath and shows it in a modeless, self-deleting dialog; the override
// definition file is looked for in mesDir. Returns the dialog, or null when
// nothing is shown. A file that is not read (no regular file, larger than a
// download), a journal of more than maxRows rows and one whose messages are
// more than the decoder's bound are refused with a message in the log.
QWidget* viewJournal(QWidget* parent, int version, const QString& binPath, const QDir& mesDir,
                     const QString& saveDir);

// Shows journal bytes held in memory; dir serves both as override and save directory.
QWidget* showJournal(QWidget* parent, int version, const QByteArray& data, const QDir& dir);

} // namespace JournalOpener
