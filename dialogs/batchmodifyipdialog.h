#ifndef BRELO_BATCHMODIFYIPDIALOG_H
#define BRELO_BATCHMODIFYIPDIALOG_H

#include <QDialog>
#include <QString>

namespace Ui {
class BatchModifyIPDialog;
}

// Collects the IP settings for a batch IP change; the caller reads them once accepted.
class BatchModifyIPDialog : public QDialog
{
    Q_OBJECT

public:
    explicit BatchModifyIPDialog(QWidget *parent = nullptr);
    ~BatchModifyIPDialog() override;

    QString getStartIp() const;
    QString getNetmask() const;
    QString getGateway() const;
    int isDhcp() const;
    QString getDns() const;

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_dhcp_checkBox_clicked(bool checked);

private:
    Ui::BatchModifyIPDialog *ui;
};

#endif // BRELO_BATCHMODIFYIPDIALOG_H
