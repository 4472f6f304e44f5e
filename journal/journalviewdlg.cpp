#include "journal/journalviewdlg.h"
#include "ui_journalviewdlg.h"

#include "journal/journaldecoder.h"
#include "journal/journalorder.h"
#include "journal/journalwriter.h"
#include "journal/messagedefinitionparser.h"
#include "queue/downloadfile.h"

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelection>
#include <QMessageBox>
#include <QSaveFile>
#include <QSet>
#include <QSignalBlocker>
#include <QTableWidgetItem>

QString JournalViewDlg::lastSaveDir;

namespace {

// Whether some dialog's save button has been clicked in this process.
bool saveDirChosen = false;

// A cell that keeps its text as a plain string instead of a list of role
// values: a large journal has hundreds of thousands of cells. Once the text is
// set again (the user edits the cell) the ordinary role values take over.
class JournalTableItem : public QTableWidgetItem
{
public:
    static constexpr int ItemType = QTableWidgetItem::UserType + 1;

    // A null m_text marks a replaced text, so an empty one is kept as "".
    explicit JournalTableItem(const QString& text)
        : QTableWidgetItem(ItemType), m_text(text.isNull() ? QLatin1String("") : text)
    {}

    QVariant data(int role) const override
    {
        if (!m_text.isNull() && (role == Qt::DisplayRole || role == Qt::EditRole))
            return m_text;
        return QTableWidgetItem::data(role);
    }

    void setData(int role, const QVariant& value) override
    {
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            m_text = QString();
        QTableWidgetItem::setData(role, value);
    }

    QTableWidgetItem* clone() const override { return new JournalTableItem(*this); }

    // Whether the cell's text contains text, case-insensitively; reads the
    // string in place, without a copy or a QVariant, as the search reads every cell.
    static bool contains(const QTableWidgetItem* item, const QString& text)
    {
        if (item->type() == ItemType) {
            const auto* own = static_cast<const JournalTableItem*>(item);
            if (!own->m_text.isNull())
                return own->m_text.contains(text, Qt::CaseInsensitive);
        }
        return item->text().contains(text, Qt::CaseInsensitive);
    }

private:
    QString m_text;
};

} // namespace

JournalViewDlg::JournalViewDlg(QWidget* parent, QByteArray data, const QString& mesPath,
                               QString saveDir)
    : QDialog(parent), ui(new Ui::JournalViewDlg), journalData(std::move(data)),
      saveDirPath(std::move(saveDir))
{
    ui->setupUi(this);
    QTableWidget* table = ui->journalTable;
    // The table sorts descending by Time from the start.
    table->horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);

    QVector<JournalRow> rows;
    const bool textJournal = mesPath.isEmpty();
    if (!textJournal) {
        mesFile.setFileName(mesPath);
        // An unreadable definition file leaves the table empty; so does one
        // that never ends or never opens (a device, a FIFO) or is far too large.
        QByteArray definitions;
        if (DownloadFile::readRegular(mesFile, MessageDefinitionParser::maxFileSize,
                                      &definitions) != DownloadFile::Read)
            return;
        QBuffer buffer(&definitions);
        buffer.open(QIODevice::ReadOnly);
        MessageDefinitionParser::parse(buffer, sources, messages);
        rows = JournalDecoder(messages, sources).decodeBinary(journalData);
    } else {
        table->insertColumn(1);
        table->setHorizontalHeaderItem(1, new QTableWidgetItem(tr("type")));
        rows = JournalDecoder::decodeText(journalData);
    }
    fillTable(table, rows, textJournal);
    table->resizeColumnsToContents();
}

JournalViewDlg::~JournalViewDlg() = default;

void JournalViewDlg::fillTable(QTableWidget* table, const QVector<JournalRow>& rows,
                               bool textJournal)
{
    const QVector<int> order = JournalOrder::displayOrder(rows);
    const int columns = JournalOrder::columnCount(textJournal);
    QHeaderView* header = table->horizontalHeader();
    const int sortColumn = header->sortIndicatorSection();
    const Qt::SortOrder sortOrder = header->sortIndicatorOrder();

    // Sorting off while filling: a sorted table would move each row as it is set.
    table->setSortingEnabled(false);
    table->setUpdatesEnabled(false);
    table->setRowCount(order.size());
    // Types, sources and many messages repeat: cells with equal texts share one string.
    QSet<QString> shared;
    for (int r = 0; r < order.size(); ++r) {
        const JournalRow& row = rows.at(order.at(r));
        for (int c = 0; c < columns; ++c) {
            QString text = JournalOrder::cellText(row, c, textJournal);
            if (c != 0)                      // Time texts rarely repeat
                text = *shared.insert(text); // the stored copy when there is one
            table->setItem(r, c, new JournalTableItem(text));
        }
    }
    table->setUpdatesEnabled(true);
    // Re-enabling sorts once more; the sort is stable and the rows are already
    // in its order, so nothing moves.
    header->setSortIndicator(sortColumn, sortOrder);
    table->setSortingEnabled(true);
}

void JournalViewDlg::on_findEdit_textChanged(const QString& text)
{
    QTableWidget* table = ui->journalTable;
    // The view answers every selection change by working out the screen area of
    // each changed range; with tens of thousands of scattered matches that costs
    // far more than the search. The model is told quietly and the view is
    // repainted once instead.
    QItemSelectionModel* selectionModel = table->selectionModel();
    const QSignalBlocker quiet(selectionModel);
    selectionModel->clearSelection();
    table->viewport()->update();
    if (text.isEmpty()) {
        ui->matches->setValue(0);
        return;
    }
    // Matching cells in column order; runs of adjacent rows in a column
    // become one range so the selection is made in a single call.
    QAbstractItemModel* model = table->model();
    QItemSelection selection;
    int count = 0;
    const QTableWidgetItem* firstMatch = nullptr;
    const int rows = table->rowCount();
    const int columns = table->columnCount();
    for (int c = 0; c < columns; ++c) {
        int runStart = -1;
        for (int r = 0; r <= rows; ++r) {
            const QTableWidgetItem* item = r < rows ? table->item(r, c) : nullptr;
            const bool match = item && JournalTableItem::contains(item, text);
            if (match) {
                ++count;
                if (!firstMatch)
                    firstMatch = item;
                if (runStart < 0)
                    runStart = r;
            } else if (runStart >= 0) {
                selection.append(
                    QItemSelectionRange(model->index(runStart, c), model->index(r - 1, c)));
                runStart = -1;
            }
        }
    }
    ui->matches->setValue(qMin(count, ui->matches->maximum()));
    if (!firstMatch)
        return;
    table->scrollToItem(firstMatch, QAbstractItemView::EnsureVisible);
    selectionModel->select(selection, QItemSelectionModel::Select);
}

void JournalViewDlg::on_saveButton_clicked()
{
    if (!saveDirChosen) {
        saveDirChosen = true;
        lastSaveDir = saveDirPath;
    }
    QString selectedFilter;
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Select file to save"), lastSaveDir,
        tr("Text files (*.txt);;csv files (*.csv);;Binary files (*.bin)"), &selectedFilter);
    if (fileName.isEmpty())
        return;

    bool saved = false;
    QString error;
    {
        // Written aside and renamed into place, so a failed write never leaves
        // a half file nor destroys an existing one; what is left aside goes
        // with the object. Unbuffered: each write fails at once, with the
        // system's reason, and nothing is left for commit() to lose.
        QSaveFile file(fileName);
        bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        if (written && selectedFilter.contains(QLatin1String("*.bin"))) {
            written = JournalWriter::writeAll(file, journalData);
        } else if (written) {
            const JournalWriter::Format format = selectedFilter.contains(QLatin1String("*.csv"))
                                                     ? JournalWriter::Format::Csv
                                                     : JournalWriter::Format::AlignedText;
            const QTableWidget* table = ui->journalTable;
            written = JournalWriter::write(file, format, table->rowCount(), table->columnCount(),
                                           [table](int row, int column) {
                                               const QTableWidgetItem* item =
                                                   table->item(row, column);
                                               return item ? item->text() : QString();
                                           });
        }
        saved = written && file.commit();
        if (!saved)
            error = file.errorString();
    }
    // The operator would otherwise believe the journal saved.
    if (!saved)
        QMessageBox::warning(this, tr("Journal not saved"),
                             tr("The journal could not be saved to %1:\n%2")
                                 .arg(QDir::toNativeSeparators(fileName), error));
}
