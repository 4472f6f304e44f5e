#include "journal/journalwriter.h"

#include "journal/journaltime.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QStringList>

namespace JournalWriter {

namespace {

// Field widths of the aligned layout; a header title and its ":" take the
// width of the row field below it, the last title has no colon.
constexpr int BinaryWidths[] = {18, 76, 21};
constexpr int TextWidths[] = {22, 11, 76, 21};
constexpr int BinaryDashes = 115;
constexpr int TextDashes = 125;

bool isTextLayout(int columnCount)
{
    return columnCount > 3;
}

int fieldWidth(int columnCount, int column)
{
    if (isTextLayout(columnCount))
        return column < 4 ? TextWidths[column] : 0;
    return column < 3 ? BinaryWidths[column] : 0;
}

QStringList titles(int columnCount)
{
    const char* const ctx = "JournalViewDlg";
    if (isTextLayout(columnCount))
        return {QCoreApplication::translate(ctx, "Date"), QCoreApplication::translate(ctx, "Type"),
                QCoreApplication::translate(ctx, "Message"),
                QCoreApplication::translate(ctx, "Source")};
    return {QCoreApplication::translate(ctx, "Date"), QCoreApplication::translate(ctx, "Message"),
            QCoreApplication::translate(ctx, "Source")};
}

QString centred(const QString& title, int width)
{
    const int free = qMax(0, width - title.size());
    const int left = free / 2;
    return QString(left, QLatin1Char(' ')) + title + QString(free - left, QLatin1Char(' '));
}

// A cell that holds the separator, a quote or a line end is quoted, its
// quotes doubled; every other cell is written as it is.
QString csvCell(const QString& cell)
{
    for (const QChar c : cell) {
        if (c == QLatin1Char(';') || c == QLatin1Char('"') || c == QLatin1Char('\r') ||
            c == QLatin1Char('\n')) {
            QString quoted = cell;
            quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
            return QLatin1Char('"') + quoted + QLatin1Char('"');
        }
    }
    return cell;
}

QString csvLine(const QStringList& cells)
{
    QString line;
    for (int i = 0; i < cells.size(); ++i) {
        if (i > 0)
            line += QLatin1Char(';');
        line += csvCell(cells.at(i));
    }
    return line;
}

} // namespace

QString headerLine(Format format, int columnCount)
{
    const QStringList names = titles(columnCount);
    if (format == Format::Csv)
        return csvLine(names);
    QString line;
    for (int i = 0; i < names.size(); ++i) {
        const bool last = i == names.size() - 1;
        line += centred(names.at(i), fieldWidth(columnCount, i) - 1);
        if (!last)
            line += QLatin1Char(':');
    }
    return line;
}

QString dashLine(int columnCount)
{
    return QString(isTextLayout(columnCount) ? TextDashes : BinaryDashes, QLatin1Char('-'));
}

QString rowLine(Format format, int columnCount, const QStringList& cells)
{
    if (format == Format::Csv)
        return csvLine(cells);
    // Each cell padded to its field, as leftJustified would, but in one string.
    QString line;
    line.reserve(128);
    for (int i = 0; i < cells.size(); ++i) {
        const QString& cell = cells.at(i);
        line += cell;
        const int width = fieldWidth(columnCount, i);
        if (cell.size() < width)
            line.resize(line.size() + width - cell.size(), QLatin1Char(' '));
    }
    return line;
}

bool writeAll(QIODevice& device, const QByteArray& data)
{
    const char* next = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const qint64 written = device.write(next, left);
        if (written <= 0)
            return false;
        next += written;
        left -= written;
    }
    return true;
}

bool write(QIODevice& device, Format format, int rowCount, int columnCount, const CellText& cell)
{
    // Lines gathered in chunks, so that an unbuffered device sees few large
    // writes, and every chunk written whole.
    constexpr int ChunkSize = 64 * 1024;
    QByteArray chunk;
    chunk.reserve(ChunkSize + 1024);
    const auto add = [&](const QString& line) {
        chunk += line.toUtf8();
        chunk += '\n';
        if (chunk.size() < ChunkSize)
            return true;
        const bool written = writeAll(device, chunk);
        chunk.clear();
        return written;
    };
    if (!add(headerLine(format, columnCount)))
        return false;
    if (format == Format::AlignedText && !add(dashLine(columnCount)))
        return false;
    QStringList cells;
    cells.reserve(columnCount);
    for (int row = 0; row < rowCount; ++row) {
        cells.clear();
        for (int column = 0; column < columnCount; ++column)
            cells.append(cell(row, column));
        if (!add(rowLine(format, columnCount, cells)))
            return false;
    }
    return writeAll(device, chunk);
}

QString copyText(const QVector<int>& rows, const QString& controller, const QStringList& titles,
                 const RecordTime& when, const CellText& cell)
{
    if (rows.isEmpty())
        return QString();
    const auto append = [](QString& out, QString text) {
        for (QChar& ch : text) {
            if (ch == QLatin1Char('\t') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
                ch = QLatin1Char(' ');
        }
        out += text;
    };
    QString out;
    if (!controller.isEmpty())
        out += QLatin1String("Controller\t");
    out += QLatin1String("Date");
    for (const QString& title : titles) {
        out += QLatin1Char('\t');
        append(out, title);
    }
    out += QLatin1Char('\n');
    for (const int row : rows) {
        if (!controller.isEmpty()) {
            append(out, controller);
            out += QLatin1Char('\t');
        }
        const qint64 t = when(row);
        if (t != JournalTime::Unknown)
            out += JournalTime::toDateTime(t).date().toString(QStringLiteral("dd.MM.yyyy"));
        for (int c = 0; c < titles.size(); ++c) {
            out += QLatin1Char('\t');
            append(out, cell(row, c));
        }
        out += QLatin1Char('\n');
    }
    return out;
}

} // namespace JournalWriter
