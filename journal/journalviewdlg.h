#pragma once

#include <QByteArray>
#include <QDialog>
#include <QFile>
#include <QMap>
#include <QString>

#include <memory>

struct JournalRow;
class QTableWidget;

namespace Ui {
class JournalViewDlg;
}

// Shows one controller journal as a table with quick search and saving.
// Everything shown is computed in the constructor.
class JournalViewDlg : public QDialog
{
    Q_OBJECT

public:
    // An empty mesPath means a text journal; saveDir is where saving starts.
    JournalViewDlg(QWidget* parent, QByteArray data, const QString& mesPath, QString saveDir);
    ~JournalViewDlg() override;

    // Fills the empty table with rows (given in the order they are added), in
    // the order that adding them one by one to the table sorted descending by
    // Time would give, without re-sorting per row; leaves sorting on.
    static void fillTable(QTableWidget* table, const QVector<JournalRow>& rows, bool textJournal);

private slots:
    void on_saveButton_clicked();
    void on_findEdit_textChanged(const QString& text);

private:
    std::unique_ptr<Ui::JournalViewDlg> ui;
    QFile mesFile; // stays open for the dialog's life
    QMap<int, QString> messages;
    QMap<int, QString> sources;
    QByteArray journalData;
    QString saveDirPath;

    // Start directory of every save dialog in the process, fixed at the first save click.
    static QString lastSaveDir;
};
