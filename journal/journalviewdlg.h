#pragma once

#include <QByteArray>
#include <QDate>
#include <QDialog>
#include <QFile>
#include <QMap>
#include <QString>

#include "journal/journalsearch.h"
#include "journal/journaltimeline.h"

#include <functional>
#include <memory>

struct JournalRow;
class JournalCellDelegate;
class JournalTimelineView;
class QAction;
class QTimer;

namespace Ui {
class JournalViewDlg;
}

// Shows one controller journal as a table with quick search and saving.
class JournalViewDlg : public QDialog
{
    Q_OBJECT

public:
    // Told now and then how far the open has come (0 to 1000); returning
    // false stops it, and the table stays empty.
    using Progress = std::function<bool(int permille)>;

    // saveDir is where saving starts. The table stays empty until load.
    JournalViewDlg(QWidget* parent, QByteArray data, QString saveDir);
    ~JournalViewDlg() override;

    // Decodes the journal, fills the table and lays it out as kept. An empty
    // mesPath means a text journal. A binary journal's records take their
    // years counting back from the day it was written (invalid: today, for
    // one held in memory).
    void load(const QString& mesPath, const Progress& progress = Progress(),
              const QDate& written = QDate());

    // Whether dialogs opened from now on show the timeline above the table
    // (they do unless told otherwise); for measuring what it costs.
    static void setTimelineShown(bool shown);

    // Titles the dialog "Journal view - " and shown; saveName (without
    // extension) is the name its save dialog offers.
    void setName(const QString& shown, const QString& saveName);
    // The controller whose journal this is, named in copied rows; empty when
    // not known.
    void setController(const QString& id) { m_controller = id; }

    // False when the progress callback stopped the open.
    bool isComplete() const { return !m_cancelled; }
    // Whether the journal's messages came to more than the decoder's bound
    // (the table then stays empty).
    bool hasTooMuchText() const { return m_tooMuchText; }
    // Why the message-definition file was not read (the table then stays
    // empty); empty when it was, or none was needed.
    QString definitionsRefusal() const { return m_definitionsRefusal; }
    // Whether a quick search is still running in slices.
    bool isSearching() const { return !m_search.isDone(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void on_saveButton_clicked();
    void on_findEdit_textChanged(const QString& text);
    void on_onlyMatches_toggled(bool checked);

private:
    // The steps of an open: wiring the form (the constructor), then decode,
    // fill and restoreLayout (load).
    void setUpActions();
    QVector<JournalRow> decode(const QString& mesPath, const Progress& progress,
                               const QDate& written);
    void fill(const QVector<JournalRow>& rows, const Progress& progress);
    void restoreLayout();

    void continueSearch();
    // Counts and selects the matches of a finished search; a typed search
    // then goes to the nearest match from the current row on (nearest).
    void showMatches(bool nearest = true);
    // "n of N" beside the count while the current cell is a match.
    void showMatchPosition();
    void applyFilter();
    // The next or previous match from the current cell (wholeRow: from the
    // start of its row, so that its own matches count).
    void goToMatch(bool forward, bool wholeRow = false);
    // Time as wide as its widest text, Source as wide as its widest at most
    // half the screen, at the table's font.
    void fitTextColumns();
    // The E, W and I toggles: which types a text journal's rows show; empty for all.
    QStringList shownLevels() const;
    // The timeline's marks on the bars holding the current matches.
    void markMatches();
    // Asks for a date and time and shows the record that going there reaches.
    void goToTime();
    // Bins the records for the timeline; errors tells, per record, which are errors.
    void buildTimeline(const QVector<bool>& errors);
    void cellsChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight);
    void rowsRearranged();
    void loadCells();
    // Ctrl+C: the selected rows, or the text of a single selected cell.
    void copySelection();
    void copyRows();
    void copyCell(const QModelIndex& index);
    void showTableMenu(const QPoint& pos);
    // The Message column takes the width the others leave, never less than its own.
    void fitMessageColumn();
    int messageColumn() const;
    // The table's font this many points larger than the default (0: the default).
    void setFontSize(int points);
    void zoom(int steps);
    // Keeps the size and the column widths for the next dialog.
    void keepLayout();
    // Brings the dialog within the screen it opens on: a size kept from a
    // larger screen, or read from a damaged settings file, never makes a
    // window larger than the screen (nor one Qt cannot paint).
    void fitIntoScreen();

    // Gives the freed heap back to the system when it goes: declared first, so
    // that it goes after everything else the dialog holds.
    struct HeapTrim
    {
        ~HeapTrim();
    };
    HeapTrim m_heapTrim;

    std::unique_ptr<Ui::JournalViewDlg> ui;
    QFile mesFile; // stays open for the dialog's life
    QMap<int, QString> messages;
    QMap<int, QString> sources;
    QByteArray journalData;
    QString saveDirPath;

    JournalSearch m_search;
    QTimer* m_searchSlice = nullptr; // runs the next slice of a long search
    QTimer* m_fitMessage = nullptr;  // fits the Message column to the room left
    bool m_cellsStale = true;        // rows moved since the texts were taken
    QString m_widestTime;            // the longest Time text
    QStringList m_sourceTexts;       // the Source texts, each once
    QString m_controller;
    QAction* m_copyRows = nullptr;
    QAction* m_goToTime = nullptr;
    bool m_textJournal = false;
    QVector<qint64> m_when;     // per record, when it was written
    QVector<int> m_oldestFirst; // the records in time order
    JournalTimeline m_timeline;
    JournalTimelineView* m_timelineView = nullptr;
    JournalCellDelegate* m_delegate = nullptr;
    bool m_cancelled = false;
    bool m_tooMuchText = false;
    QString m_definitionsRefusal;
    bool m_placed = false;  // fitted into the screen at the first show
    QString m_saveName;     // offered by the save dialog
    int m_messageWidth = 0; // the Message column's own width, before it fills the room
    bool m_fitting = false; // the Message column is being fitted, not resized by the user
    int m_defaultFontSize = 0;
    int m_defaultRowHeight = 0;

    // Start directory of every save dialog in the process, fixed at the first save click.
    static QString lastSaveDir;
};
