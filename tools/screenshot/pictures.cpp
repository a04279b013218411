#include "pictures.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "app/devicetablewidget.h"
#include "app/findbar.h"
#include "app/mainwindow.h"
#include "batch/addressplan.h"
#include "batch/planreader.h"
#include "dialogs/addressplandialog.h"
#include "dialogs/batchmodifyalgodialog.h"
#include "dialogs/batchmodifyipdialog.h"
#include "hints/devicehints.h"
#include "widgets/myiplineedit.h"

#include <functional>

namespace {

void runUntil(const std::function<bool()> &done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

// The window paints new rows and log lines in batches; let the last batch through.
void settle()
{
    runUntil([] { return false; }, 300);
}

// Focus frames and the default button are only drawn in an active window, so wait for it to become one.
QPixmap showAndGrab(QWidget *window)
{
    window->show();
    QApplication::setActiveWindow(window);
    runUntil([window] { return window->isActiveWindow(); }, 2000);
    QCoreApplication::processEvents();
    return window->grab();
}

QPushButton *refreshButton(MainWindow &window)
{
    return window.findChild<QPushButton *>(QStringLiteral("search_dev_btn"));
}

void waitForSearch(MainWindow &window)
{
    QPushButton *refresh = refreshButton(window);
    runUntil([refresh] { return refresh->isEnabled(); }, 30000);
}

// Whatever devices answer (scripts/screenshot starts simulated ones).
void search(MainWindow &window)
{
    refreshButton(window)->click();
    waitForSearch(window);
}

} // namespace

QVector<Picture> allPictures()
{
    return {
        {QStringLiteral("main-window"), &renderMainWindow}, {QStringLiteral("main-window-hints"), &renderHintsWindow},
        {QStringLiteral("ip-dialog"), &renderIpDialog},     {QStringLiteral("algo-dialog"), &renderAlgoDialog},
        {QStringLiteral("plan-dialog"), &renderPlanDialog},
    };
}

// The window after a search, with a few of the devices checked, on a PC in the simulated devices' network.
QPixmap renderMainWindow()
{
    DeviceHints::injectNetworks({{0xC0A80102, 24}});
    MainWindow window;
    window.show();
    search(window);
    auto *table = window.findChild<QTableWidget *>(QStringLiteral("dev_search_tableWidget"));
    for (int row : {0, 2, 3, 6}) {
        if (QTableWidgetItem *item = table->item(row, 0)) {
            item->setCheckState(Qt::Checked);
        }
    }
    table->selectRow(2);
    settle();
    const QPixmap picture = showAndGrab(&window);
    DeviceHints::clearInjectedNetworks();
    return picture;
}

// The window after a search on a PC at 192.168.1.2/24: a new camera at the address of a simulated
// one, and one at its factory address in another subnet, both answering first; the find bar shows
// only the marked rows.
QPixmap renderHintsWindow()
{
    DeviceHints::injectNetworks({{0xC0A80102, 24}});
    MainWindow window;
    window.show();
    refreshButton(window)->click();
    emit window.addSearchDeviceToTable(QStringLiteral("P2P-NEW-0001"), QStringLiteral("192.168.1.101"),
                                       QStringLiteral("V2.1.0"), QStringLiteral("CAM-2"),
                                       QStringLiteral("02:5A:00:00:0B:01"), QString());
    emit window.addSearchDeviceToTable(QStringLiteral("P2P-NEW-0002"), QStringLiteral("192.168.0.64"),
                                       QStringLiteral("V2.1.0"), QStringLiteral("CAM-2"),
                                       QStringLiteral("02:5A:00:00:0B:02"), QString());
    waitForSearch(window);
    window.findChild<FindBar *>()->open();
    window.findChild<QCheckBox *>(QStringLiteral("find_marked_checkBox"))->click();
    settle();
    const QPixmap picture = showAndGrab(&window);
    DeviceHints::clearInjectedNetworks();
    return picture;
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

// A site's plan for the first devices found, as a spreadsheet would hand it over: each line's state,
// one of them an address given twice.
QPixmap renderPlanDialog()
{
    MainWindow window;
    search(window);
    const QVector<DeviceAddress> table =
        window.findChild<DeviceTableWidget *>(QStringLiteral("dev_search_tableWidget"))->devices();
    const auto mac = [&table](int row) { return table.value(row).mac; };
    const QString text = QStringLiteral("MAC地址\t新IP\t位置\n"
                                        "%1\t192.168.1.201\t大门上方\n"
                                        "%2\t192.168.1.202\t大厅\n"
                                        "%3\t%4\t停车场\n"
                                        "%5\tDHCP\t临时\n"
                                        "%6\t192.168.1.202\t仓库\n"
                                        "02:5A:00:00:0A:01\t192.168.1.210\t北门\n"
                                        "%7\t\t备用\n")
                             .arg(mac(0), mac(1), mac(2), table.value(2).ip, mac(3), mac(4), mac(5));
    // Taken on a PC in the devices' network, whatever this machine's are.
    DeviceHints::injectNetworks({{0xC0A80102, 24}});
    AddressPlanDialog dialog(Batch::readAddressPlan(text).lines, table);
    const QPixmap picture = showAndGrab(&dialog);
    DeviceHints::clearInjectedNetworks();
    return picture;
}
