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

// What tells two viewers apart: the name their title shows after "Journal
// view - " and the name, without extension, their save dialog offers.
struct Name
{
    QString shown;
    QString saveName;
    // The controller's id, named in copied rows; empty when not known.
    QString controller;
};
// A journal file's: its file name, and that without extension; the controller
// when the name holds one ("Jrn00025.bin").
Name fileName(const QString& path);
// A controller's: its id and type, and the name its journal is saved under.
Name controllerName(int id, const QString& type);

// Opens binPath and shows it in a modeless, self-deleting dialog; the override
// definition file is looked for in mesDir. Returns the dialog, or null when
// nothing is shown. A file that is not read (none, no regular file, larger
// than a download), a journal of more than maxRows rows and one whose messages
// are more than the decoder's bound are refused with a message in the log and
// in a modeless message box; the box for too many rows offers to show the
// newest maxRows of them instead, the cut said in the dialog's title. The dialog is named by name,
// or else by binPath.
QWidget* viewJournal(QWidget* parent, int version, const QString& binPath, const QDir& mesDir,
                     const QString& saveDir, const Name& name = Name());

// Shows journal bytes held in memory; dir serves both as override and save directory.
QWidget* showJournal(QWidget* parent, int version, const QByteArray& data, const QDir& dir,
                     const Name& name = Name());

} // namespace JournalOpener
