#ifndef BRELO_MAINWINDOW_H
#define BRELO_MAINWINDOW_H

#include <QMainWindow>
#include <QSet>
#include <QString>
#include <QVector>

#include "app/devicerow.h"
#include "batch/addressplan.h"
#include "sdk/VSDevNetSDK.h"

class ActivityLog;
class AddressCheck;
class DeviceSearch;
class FindBar;
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
    void searchForCheck();
    void onSearchFinished(int result);
    void toggleRow(int row);
    // For the installer's records.
    void copyDeviceList();
    void setAllChecked(bool checked);
    // Refuses the batch with nothingChecked when no row is checked.
    QStringList batchTargets(const QString &nothingChecked);
    QStringList checkedMacs() const;
    void refuseBatch(const QString &text);

    // A resend belongs to the batch it repeats; a new batch ends the record of the one before.
    enum class IpSend { NewBatch, Resend };
    // False, with nothing sent, when the plan is refused. Sets each device's sent.
    bool sendIpCommands(QVector<CheckedDevice> &devices, IpSend kind);
    // The question after a batch's commands went out; "确定" searches and starts the check.
    void askToSearchAgain(const QVector<CheckedDevice> &devices);
    // A site's address plan from the clipboard, previewed, then sent as a batch.
    void pasteAddressPlan();
    void offerResend(const QString &question, QVector<CheckedDevice> devices);
    void markRows();
    // Holds a device that arrives while the find bar hides rows, for addHeldRows; false when it goes
    // in at once.
    bool holdRow(const DeviceRow &device);
    void addHeldRows();

    Ui::MainWindow *ui;
    QMenu *logMenu;
    QMenu *tableMenu;
    ActivityLog *m_log;
    DeviceSearch *m_search;
    AddressCheck *m_check;
    // The MACs whose rows the check's own searches put back checked.
    QSet<QString> m_keptMarks;
    // The rows of the last search that ended well, what the next one is compared with.
    QVector<DeviceAddress> m_lastSearch;
    bool m_searchedBefore = false;
    FindBar *m_findBar;
    QVector<DeviceRow> m_heldRows;
    bool m_addingHeldRows = false;
};

#endif // BRELO_MAINWINDOW_H
