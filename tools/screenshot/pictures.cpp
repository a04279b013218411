#include "pictures.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "app/mainwindow.h"
#include "dialogs/batchmodifyalgodialog.h"
#include "dialogs/batchmodifyipdialog.h"
#include "widgets/myiplineedit.h"

namespace {

// Focus frames and the default button are only drawn in an active window, so wait for it to become one.
QPixmap showAndGrab(QWidget *window)
{
    window->show();
    QApplication::setActiveWindow(window);
    const QDeadlineTimer deadline(2000);
    while (!window->isActiveWindow() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QCoreApplication::processEvents();
    return window->grab();
}

} // namespace

QVector<Picture> allPictures()
{
    return {
        {QStringLiteral("main-window"), &renderMainWindow},
        {QStringLiteral("ip-dialog"), &renderIpDialog},
        {QStringLiteral("algo-dialog"), &renderAlgoDialog},
    };
}

// The window after a search of whatever devices answer (scripts/screenshot starts simulated ones),
// with a few of them checked.
QPixmap renderMainWindow()
{
    MainWindow window;
    window.show();
    auto *refresh = window.findChild<QPushButton *>(QStringLiteral("search_dev_btn"));
    refresh->click();
    const QDeadlineTimer deadline(30000);
    while (!refresh->isEnabled() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    auto *table = window.findChild<QTableWidget *>(QStringLiteral("dev_search_tableWidget"));
    for (int row : {0, 2, 3, 6}) {
        if (QTableWidgetItem *item = table->item(row, 0)) {
            item->setCheckState(Qt::Checked);
        }
    }
    table->selectRow(2);
    // The window paints new rows and log lines in batches; let the last batch through.
    const QDeadlineTimer settled(300);
    while (!settled.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return showAndGrab(&window);
}

QPixmap renderIpDialog()
{
    BatchModifyIPDialog dialog;
    dialog.findChild<MyIpLineEdit *>(QStringLiteral("ip_lineEdit"))->setText(QStringLiteral("192.168.1.100"));
    dialog.findChild<QLineEdit *>(QStringLiteral("dns_lineEdit"))->setText(QStringLiteral("8.8.8.8;114.114.114.114"));
    return showAndGrab(&dialog);
}

QPixmap renderAlgoDialog()
{
    BatchModifyAlgoDialog dialog;
    dialog.findChild<QComboBox *>(QStringLiteral("algo_comboBox"))->setCurrentIndex(1);
    return showAndGrab(&dialog);
}
