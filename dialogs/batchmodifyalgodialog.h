#ifndef BRELO_BATCHMODIFYALGODIALOG_H
#define BRELO_BATCHMODIFYALGODIALOG_H

#include <QDialog>
#include <QString>

namespace Ui {
class BatchModifyAlgoDialog;
}

// Asks which algorithm the devices switch to and whether they reboot afterwards.
class BatchModifyAlgoDialog : public QDialog
{
    Q_OBJECT

public:
    explicit BatchModifyAlgoDialog(QWidget *parent = nullptr);
    ~BatchModifyAlgoDialog() override;

    // The id the device receives; 0 when nothing is chosen.
    int getAlgoType() const;
    QString getAlgoName() const;
    int isReboot() const;

private:
    Ui::BatchModifyAlgoDialog *ui;
};

#endif // BRELO_BATCHMODIFYALGODIALOG_H
