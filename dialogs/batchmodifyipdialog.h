#ifndef BRELO_BATCHMODIFYIPDIALOG_H
#define BRELO_BATCHMODIFYIPDIALOG_H

#include <QDialog>
#include <QString>
#include <QVector>

#include "hints/devicehints.h"

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

    // How many devices the batch addresses: the warning judges that many addresses from the start
    // address against this PC's networks as they are now.
    void setDeviceCount(int count);

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_dhcp_checkBox_clicked(bool checked);

private:
    // A warning, never a refusal: the site's network may not be the laptop's.
    void judgeReach();

    Ui::BatchModifyIPDialog *ui;
    int m_count = 0;
    QVector<DeviceHints::Network> m_networks;
};

#endif // BRELO_BATCHMODIFYIPDIALOG_H
