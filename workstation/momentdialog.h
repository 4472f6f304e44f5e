#pragma once

#include <QDateTime>
#include <QDialog>

#include <memory>

namespace Ui {
class MomentDialog;
}

// Asks for the moment an archived configuration was valid at, with a date and
// time picker in the operator's own format rather than free text.
class MomentDialog : public QDialog
{
    Q_OBJECT

public:
    explicit MomentDialog(const QDateTime& initial, QWidget* parent = nullptr);
    ~MomentDialog() override;

    QDateTime moment() const;

private:
    std::unique_ptr<Ui::MomentDialog> ui;
};
