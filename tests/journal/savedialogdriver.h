#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QVector>

// Answers the next save-file dialog the way a user would.
class SaveDialogDriver : public QObject
{
public:
    // Accept fileName with filter; an empty fileName cancels.
    void answer(const QString& fileName, const QString& filter = QString())
    {
        m_fileName = fileName;
        m_filter = filter;
        m_tries = 0;
        seen = false;
        QTimer::singleShot(0, this, &SaveDialogDriver::poll);
    }

    bool seen = false;
    QString caption;
    QString directory;
    QStringList filters;
    QString initialFilter;
    QString initialFile; // the name offered, without its directory

private:
    void poll()
    {
        QFileDialog* dialog = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible())
                dialog = d;
        }
        if (!dialog) {
            if (++m_tries < 500)
                QTimer::singleShot(10, this, &SaveDialogDriver::poll);
            return;
        }
        seen = true;
        caption = dialog->windowTitle();
        directory = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        initialFilter = dialog->selectedNameFilter();
        // As Qt's own dialog shows it in its name field.
        const auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        initialFile = nameField ? nameField->text() : QStringLiteral("(no name field)");
        if (m_fileName.isEmpty()) {
            dialog->reject();
            return;
        }
        // The filter first: choosing one rewrites the typed name's extension.
        dialog->selectNameFilter(m_filter);
        dialog->selectFile(m_fileName);
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept is protected
    }

    QString m_fileName;
    QString m_filter;
    int m_tries = 0;
};

// Answers message boxes while started, the way a user would: Yes to a
// question (such as the file dialog's "replace it?"), OK to anything else,
// and keeps what each box said.
class MessageBoxDriver : public QObject
{
public:
    struct Box
    {
        QString text;
        QMessageBox::Icon icon;
        QPointer<QWidget> parent;
    };

    void start()
    {
        boxes.clear();
        m_active = true;
        QTimer::singleShot(0, this, &MessageBoxDriver::poll);
    }
    void stop() { m_active = false; }

    QVector<Box> boxes;

private:
    void poll()
    {
        if (!m_active)
            return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible())
                continue;
            boxes.append({box->text(), box->icon(), box->parentWidget()});
            QAbstractButton* button = box->button(QMessageBox::Yes);
            if (!button)
                button = box->button(QMessageBox::Ok);
            if (button)
                button->click();
            else
                box->reject();
        }
        QTimer::singleShot(10, this, &MessageBoxDriver::poll);
    }

    bool m_active = false;
};
