#include "journal/journalwriter.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QStringList>
#include <QTextCodec>
#include <QTextStream>

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

} // namespace

QString headerLine(Format format, int columnCount)
{
    const QStringList names = titles(columnCount);
    if (format == Format::Csv)
        return names.join(QLatin1Char(';'));
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
        return cells.join(QLatin1Char(';'));
    QString line;
    for (int i = 0; i < cells.size(); ++i)
        line += cells.at(i).leftJustified(fieldWidth(columnCount, i), QLatin1Char(' '));
    return line;
}

bool write(QIODevice& device, Format format, int rowCount, int columnCount, const CellText& cell)
{
    QTextStream out(&device);
    out.setCodec(QTextCodec::codecForName("UTF-8"));
    out.setGenerateByteOrderMark(false);
    out << headerLine(format, columnCount) << '\n';
    if (format == Format::AlignedText)
        out << dashLine(columnCount) << '\n';
    QStringList cells;
    cells.reserve(columnCount);
    for (int row = 0; row < rowCount; ++row) {
        cells.clear();
        for (int column = 0; column < columnCount; ++column)
            cells.append(cell(row, column));
        out << rowLine(format, columnCount, cells) << '\n';
    }
    out.flush();
    return out.status() == QTextStream::Ok;
}

} // namespace JournalWriter
