#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

class QIODevice;

// Writes a journal table as the viewer saves it: aligned text or CSV, UTF-8
// without a byte-order mark, LF line ends; a CSV cell that holds ";", a
// double quote, CR or LF is put in double quotes, its quotes doubled.
// Widget-free, so the viewer and the command-line decoder produce the same
// bytes from the same cells.
namespace JournalWriter {

enum class Format { AlignedText, Csv };

// Text of the cell at row, column (0-based, rows top to bottom as shown).
using CellText = std::function<QString(int row, int column)>;

// Up to three columns is the binary-journal layout (Time, Message, Source),
// four the text-journal layout (Time, type, Message, Source).
QString headerLine(Format format, int columnCount);
// Aligned text only: the line of dashes under the header.
QString dashLine(int columnCount);
QString rowLine(Format format, int columnCount, const QStringList& cells);

// Writes the header and all rows; false when the device reports a write error.
bool write(QIODevice& device, Format format, int rowCount, int columnCount, const CellText& cell);

// Rows as the viewer copies them for a report, so that a pasted line still
// says whose and which day it is: a header line, then each given row (in the
// order given) on its own line, ended by LF. A line holds the controller
// (only when one is given), the date of the row's record with its year
// ("14.11.2026"; empty when its time is Unknown) and the cells in column
// order, separated by tabs; titles names the cells' columns in the header. A
// tab, CR or LF inside a cell becomes a space, so that every line stays one row.
using RecordTime = std::function<qint64(int row)>;
QString copyText(const QVector<int>& rows, const QString& controller, const QStringList& titles,
                 const RecordTime& when, const CellText& cell);

// Writes all of data, going on after a short write as the system expects: on
// a full disk the next write then fails and the device learns the reason.
bool writeAll(QIODevice& device, const QByteArray& data);

} // namespace JournalWriter
