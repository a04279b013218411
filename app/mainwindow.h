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
struct DeviceAddress;

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
    // Every row's MAC and address, in table order.
    QVector<DeviceAddress> tableDevices() const;
    void refuseBatch(const QString &text);

    Ui::MainWindow *ui;
    QMenu *logMenu;
    QMenu *tableMenu;
    ActivityLog *m_log;
    DeviceSearch *m_search;
    AddressCheck *m_check;
};

#endif // BRELO_MAINWINDOW_H
