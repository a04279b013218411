#ifndef BRELO_MAINWINDOW_H
#define BRELO_MAINWINDOW_H

#include <QMainWindow>
#include <QString>
#include <QVector>

#include "sdk/VSDevNetSDK.h"

class ActivityLog;
class AddressCheck;
class DeviceSearch;
class QMenu;
struct CheckedDevice;

namespace Ui {
class MainWindow;
}

void dev_search_cb(VSOneDev *dev, void *context);

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void appendLog(const QString &message);

signals:
    void addSearchDeviceToTable(QString p2pid, QString ip, QString version, QString model, QString mac, QString hid);

private slots:
    void addDevice2TableWidget(QString p2pid, QString ip, QString version, QString model, QString mac, QString hid);
    void on_search_dev_btn_clicked();
    void on_dev_search_tableWidget_cellDoubleClicked(int row, int column);
    void on_batch_modify_ip_btn_clicked();
    void on_textEdit_customContextMenuRequested(QPoint pos);
    void on_select_all_btn_clicked();
    void on_unselect_all_btn_clicked();
    void on_batch_modify_algo_btn_clicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    friend void dev_search_cb(VSOneDev *dev, void *context);

    void onHeaderSectionClicked(int logicalIndex);
    void onSearchFinished(int result);
    void toggleRow(int row);
    // Puts the checked rows, or all, on the clipboard for the installer's records.
    void copyDeviceList();
    void setAllChecked(bool checked);
    // The MACs of the checked rows in table order; refuses the batch with nothingChecked if none.
    QStringList batchTargets(const QString &nothingChecked);
    QStringList checkedMacs() const;
    void refuseBatch(const QString &text);

    // A batch IP change ends the record of the one before and, unless by DHCP, starts its own with
    // its sends; a resend belongs to the batch it repeats.
    enum class IpSend { NewBatch, Resend };
    // The IP commands of a batch or a resend: the planned addresses checked against the devices
    // outside it (not with DHCP), then each device's command and its log line, and whether the
    // library took it in the device's sent. False, with nothing sent, when the plan is refused.
    bool sendIpCommands(QVector<CheckedDevice> &devices, int dhcp, IpSend kind);
    void offerResend(const QString &question, QVector<CheckedDevice> devices);
    // Every row shows the outcome of its device in the batch IP change on record.
    void markRows();

    Ui::MainWindow *ui;
    QMenu *logMenu;
    QMenu *tableMenu;
    ActivityLog *m_log;
    DeviceSearch *m_search;
    AddressCheck *m_check;
};

#endif // BRELO_MAINWINDOW_H
