#include "workstation/momentdialog.h"
#include "ui_momentdialog.h"

#include <QLocale>

MomentDialog::MomentDialog(const QDateTime& initial, QWidget* parent)
    : QDialog(parent), ui(new Ui::MomentDialog)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("momentDialog"));
    ui->momentEdit->setDisplayFormat(QLocale().dateTimeFormat(QLocale::ShortFormat));
    ui->momentEdit->setDateTime(initial);
}

// Here, where the form's class is complete.
MomentDialog::~MomentDialog() = default;

QDateTime MomentDialog::moment() const
{
    return ui->momentEdit->dateTime();
}
