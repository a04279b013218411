#ifndef BRELO_MAINWINDOW_H
#define BRELO_MAINWINDOW_H

#include <QList>
#include <QMainWindow>
#include <QString>

#include <atomic>

#include "sdk/VSDevNetSDK.h"

class QMenu;
class QTimer;
template<typename T> class QFutureWatcher;

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

private:
    friend void dev_search_cb(VSOneDev *dev, void *context);

    void onHeaderSectionClicked(int logicalIndex);
    void onSearchFinished(QFutureWatcher<void> *watcher);
    void toggleRow(int row);
    void setAllChecked(bool checked);
    void deferViewUpdates();
    void flushViewUpdates();
    // The MACs of the checked rows in table order; refuses the batch with nothingChecked if none.
    QStringList batchTargets(const QString &nothingChecked);
    QStringList checkedMacs() const;
    void refuseBatch(const QString &text);

    Ui::MainWindow *ui;
    QMenu *logMenu;
    // Searches started by this window that have not yet reported completion; the window waits for
    // them before it releases the library.
    QList<QFutureWatcher<void> *> m_searches;
    // Layout and painting of the log and the table wait for this timer during a burst of lines.
    QTimer *m_viewUpdateTimer;
    bool m_viewsDeferred = false;
    bool m_logFollowsTail = false;
    // The local time of the current second, formatted once per second rather than once per line.
    qint64 m_stampSecond = -1;
    QString m_stamp;
    // Set once the window starts to go away, so that late devices are not emitted to it.
    std::atomic_bool m_closing {false};
};

#endif // BRELO_MAINWINDOW_H
