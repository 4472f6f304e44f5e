#include "journal/journalopener.h"

#include "core/downloadfile.h"
#include "journal/journaldecoder.h"
#include "journal/journaltime.h"
#include "journal/journalviewdlg.h"
#include "journal/recordtime.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>

#include <memory>

namespace JournalOpener {

namespace {

// The override file in dir, else the built-in one; empty when neither exists.
QString definitionPath(int version, const QDir& dir)
{
    const QString name = QStringLiteral("Notepad.mes.%1").arg(version);
    const QString plain = dir.absoluteFilePath(name);
    if (QFile::exists(plain))
        return plain;
    const QString builtIn = QStringLiteral(":/mes_files/") + name;
    if (QFile::exists(builtIn))
        return builtIn;
    return QString();
}

// An open that takes longer than this shows a progress dialog.
constexpr int ProgressDelayMs = 500;

// The operator asked to see the journal, so a refusal is told to them too; in
// a box that is only shown, so that the host's call returns at once. The
// message is logged; more follows it in the box only. The caller shows the box.
QMessageBox* refusal(QWidget* parent, const QString& message, const QString& more = QString(),
                     QMessageBox::StandardButtons buttons = QMessageBox::Ok)
{
    qCritical("%s", qUtf8Printable(message));
    auto* box = new QMessageBox(
        QMessageBox::Warning, QCoreApplication::translate("JournalOpener", "Journal view"),
        more.isEmpty() ? message : message + QLatin1Char('\n') + more, buttons, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    return box;
}

// At most maxRows rows of a journal, the newest: a binary journal's first
// records (the decoder reads newest first), in whole blocks; a text journal's
// lines from the end its times show to be the newest.
QByteArray newestRows(const QByteArray& data, bool textJournal)
{
    if (!textJournal) {
        const int blockRecords = BinaryJournal::BlockSize / BinaryJournal::RecordSize;
        return data.left(maxRows / blockRecords * BinaryJournal::BlockSize);
    }
    const auto timeOf = [](const QByteArray& line) {
        return RecordTime::fromText(QString::fromLatin1(line).section(QLatin1Char(' '), 0, 1))
            .when();
    };
    const int firstEnd = int(data.indexOf('\0'));
    const int lastStart = int(data.lastIndexOf('\0', data.size() - 2)) + 1;
    const qint64 first = timeOf(data.left(firstEnd));
    const qint64 last = timeOf(data.mid(lastStart, 17));
    if (first != JournalTime::Unknown && last != JournalTime::Unknown && last > first) {
        // Oldest first: the lines after the last maxRows + 1 ends from the end.
        int from = data.endsWith('\0') ? data.size() - 1 : data.size();
        for (int lines = 0; lines < maxRows && from > 0; ++lines)
            from = int(data.lastIndexOf('\0', from - 1));
        return data.mid(from + 1);
    }
    int end = -1;
    for (int lines = 0; lines < maxRows; ++lines)
        end = int(data.indexOf('\0', end + 1));
    return data.left(end + 1);
}

// binPath names the journal's file; empty for one held in memory. total, when
// given, is how many rows the journal had before it was cut to data.
QWidget* openDialog(QWidget* parent, const QByteArray& data, const QString& mesPath,
                    const QString& saveDir, const Name& name, const QString& binPath = QString(),
                    const QDate& written = QDate(), qint64 total = 0)
{
    // Counted before anything is decoded: at most one row per line or record,
    // a short last record included.
    const qint64 rows = mesPath.isEmpty() ? data.count('\0')
                                          : (qint64(data.size()) + BinaryJournal::RecordSize - 1) /
                                                BinaryJournal::RecordSize;
    if (rows > maxRows) {
        const QString message =
            QCoreApplication::translate("JournalOpener",
                                        "The journal has %1 records, more than the %2 the viewer "
                                        "shows: it is not opened.")
                .arg(rows)
                .arg(maxRows);
        // The newest rows are the ones an investigation of recent events needs;
        // the whole file stays for dq-journal.
        QMessageBox* box =
            refusal(parent, message,
                    QCoreApplication::translate("JournalOpener",
                                                "Its newest %1 records can be shown instead; "
                                                "dq-journal decodes the whole file.")
                        .arg(maxRows),
                    QMessageBox::NoButton);
        QPushButton* newest = box->addButton(
            QCoreApplication::translate("JournalOpener", "Show the newest %1").arg(maxRows),
            QMessageBox::AcceptRole);
        newest->setObjectName(QStringLiteral("showNewest"));
        box->addButton(QMessageBox::Close);
        const QPointer<QWidget> owner(parent);
        const bool hadParent = parent != nullptr;
        QObject::connect(newest, &QPushButton::clicked, box, [=] {
            if (hadParent && !owner)
                return;
            openDialog(owner, newestRows(data, mesPath.isEmpty()), mesPath, saveDir, name, binPath,
                       written, rows);
        });
        box->show();
        return nullptr;
    }

    // Events run while a long open shows its progress, and may take the parent away.
    const QPointer<QWidget> owner(parent);
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> progress;
    const auto report = [&](int permille) {
        if (!progress) {
            if (clock.elapsed() < ProgressDelayMs)
                return true;
            progress = std::make_unique<QProgressDialog>(
                QCoreApplication::translate("JournalOpener", "Opening the journal ..."),
                QCoreApplication::translate("JournalOpener", "Cancel"), 0, 1000);
            progress->setWindowTitle(QCoreApplication::translate("JournalOpener", "Journal view"));
            progress->setWindowModality(Qt::ApplicationModal);
            progress->setMinimumDuration(0);
            progress->setAutoClose(false);
            progress->setAutoReset(false);
        }
        progress->setValue(permille);
        QCoreApplication::processEvents();
        return !progress->wasCanceled() && (!parent || owner);
    };
    // No parent until it is complete; a cancelled dialog goes with what it read.
    auto dlg = std::make_unique<JournalViewDlg>(nullptr, data, saveDir);
    dlg->load(mesPath, report, written);
    progress.reset();
    if (dlg->hasTooMuchText()) {
        const QString bound = QString::number(JournalDecoder::MaxMessageText);
        refusal(owner,
                binPath.isEmpty()
                    ? QCoreApplication::translate(
                          "JournalOpener",
                          "The journal's messages come to more than the %1 characters the "
                          "viewer holds: it is not opened.")
                          .arg(bound)
                    : QCoreApplication::translate(
                          "JournalOpener",
                          "The messages of the journal %1 come to more than the %2 characters "
                          "the viewer holds: it is not opened.")
                          .arg(QDir::toNativeSeparators(binPath), bound))
            ->show();
        return nullptr;
    }
    if (!dlg->isComplete() || (parent && !owner))
        return nullptr;
    // Told as a journal that cannot be read is; the viewer still opens, and
    // shows which file was refused in its title and the box.
    if (!dlg->definitionsRefusal().isEmpty())
        refusal(owner, dlg->definitionsRefusal())->show();
    if (!name.shown.isEmpty()) {
        dlg->setName(total > rows ? QCoreApplication::translate("JournalOpener",
                                                                "%1 (the newest %2 of %3 records)")
                                        .arg(name.shown)
                                        .arg(rows)
                                        .arg(total)
                                  : name.shown,
                     name.saveName);
    }
    dlg->setController(name.controller);
    if (parent)
        dlg->setParent(parent, dlg->windowFlags());
    // Owned by its parent, or by itself through delete-on-close.
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->show();
    return dlg.release();
}

} // namespace

Name fileName(const QString& path)
{
    const QFileInfo file(path);
    int id = 0;
    const bool known = DownloadFile::idFromFileName(file.fileName(), &id);
    return {file.fileName(), file.completeBaseName(), known ? QString::number(id) : QString()};
}

Name controllerName(int id, const QString& type)
{
    const QString shown =
        type.isEmpty() ? QString::number(id) : QStringLiteral("%1 (%2)").arg(id).arg(type);
    return {shown, QFileInfo(DownloadFile::fileName(true, id)).completeBaseName(),
            QString::number(id)};
}

QWidget* viewJournal(QWidget* parent, int version, const QString& binPath, const QDir& mesDir,
                     const QString& saveDir, const Name& name)
{
    QString mesPath;
    if (version != JournalVersion::TextJournalTmHelix &&
        version != JournalVersion::TextJournalVegal &&
        version != JournalVersion::TextJournalOther) {
        mesPath = definitionPath(version, mesDir);
        if (mesPath.isEmpty())
            return nullptr;
    }
    // Only a regular file no larger than any download is a journal: a FIFO
    // would not even open, a device never end.
    QFile file(binPath);
    QByteArray data;
    const DownloadFile::ReadResult read =
        DownloadFile::readRegular(file, DownloadFile::maxSize, &data);
    if (read != DownloadFile::Read) {
        refusal(parent,
                QCoreApplication::translate("JournalOpener", "Cannot view the journal %1: %2")
                    .arg(QDir::toNativeSeparators(binPath),
                         DownloadFile::readFailure(read, file, DownloadFile::maxSize)))
            ->show();
        return nullptr;
    }
    file.close();
    // The records' years count back from the day the file was written.
    return openDialog(parent, data, mesPath, saveDir,
                      name.shown.isEmpty() ? fileName(binPath) : name, binPath,
                      JournalTime::writtenDate(QFileInfo(binPath).lastModified()));
}

QWidget* showJournal(QWidget* parent, int version, const QByteArray& data, const QDir& dir,
                     const Name& name)
{
    if (data.size() > DownloadFile::maxSize)
        return nullptr;
    QString mesPath;
    // The queue's own opener knows only the two text-journal families it marks.
    if (version != JournalVersion::TextJournalTmHelix &&
        version != JournalVersion::TextJournalVegal) {
        mesPath = definitionPath(version, dir);
        if (mesPath.isEmpty())
            return nullptr;
    }
    return openDialog(parent, data, mesPath, dir.absolutePath(), name);
}

} // namespace JournalOpener
