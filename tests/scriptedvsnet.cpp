// Put in place of VSDevNetSDK.dll in the unpacked Windows zip by windows_package_test.sh, as a vendor's
// library would be. It exports the four functions, reports three scripted devices to every search
// (one with a Chinese hid in the local 8-bit encoding) and writes each command it is given to the
// report. It also drives the window from inside the process, as nothing outside it can under Wine:
// once the main window is exposed it clicks the search button, waits for the rows, reports what the
// table shows, and closes the window through the close event a user's click sends. The application
// must then exit 0 on its own. With BRELO_PROBE_PASTE set, the test has put an address plan on the X
// clipboard first: before closing, the probe presses Ctrl+V in the table, reports the preview's
// summary, confirms it and answers the question after the commands with "取消".
#include "VSDevNetSDK.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QTextEdit>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

#include <cstring>

namespace {

constexpr int PollMs = 20;
constexpr qint64 GiveUpMs = 30000;
constexpr int DeviceCount = 3;

void report(const QString &line)
{
    QFile file(QString::fromLocal8Bit(qgetenv("BRELO_PROBE_REPORT")));
    if (file.open(QIODevice::Append | QIODevice::Text)) {
        file.write(line.toUtf8() + '\n');
    }
}

void copyText(char *span, int size, const QByteArray &text)
{
    std::memset(span, 0, size_t(size));
    std::memcpy(span, text.constData(), size_t(qMin(text.size(), size - 1)));
}

VSOneDev device(int n)
{
    VSOneDev dev;
    std::memset(&dev, 0, sizeof dev);
    copyText(dev.ip, VSNET_IP_LEN, "192.168.1." + QByteArray::number(100 + n));
    copyText(dev.p2pid, VSNET_P2PID_LEN, "SCRIPTED-" + QByteArray::number(n));
    copyText(dev.version, VSNET_VERSION_LEN, "V1.0.0");
    copyText(dev.model, VSNET_MODEL_LEN, "S100");
    const unsigned char mac[VSNET_MAC_LEN] = {0x02, 0x5c, 0x00, 0x00, 0x00, static_cast<unsigned char>(n)};
    std::memcpy(dev.mac, mac, VSNET_MAC_LEN);
    if (n == 1) {
        copyText(dev.hid, VSNET_HID_LEN, QStringLiteral("北门摄像机").toLocal8Bit());
    }
    return dev;
}

QWidget *exposedMainWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == QLatin1String("Brelo_Tool") && widget->windowHandle()
            && widget->windowHandle()->isExposed()) {
            return widget;
        }
    }
    return nullptr;
}

void reportRows(const QTableWidget *table)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column) {
            const QTableWidgetItem *item = table->item(row, column);
            cells.append(item ? item->text() : QString());
        }
        report(QStringLiteral("row: ") + cells.join(QLatin1Char('\t')));
    }
}

void startProbe()
{
    auto *poll = new QTimer(QCoreApplication::instance());
    QElapsedTimer clock;
    clock.start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, clock] {
        QWidget *window = exposedMainWindow();
        auto *table = window ? window->findChild<QTableWidget *>(QStringLiteral("dev_search_tableWidget")) : nullptr;
        auto *search = window ? window->findChild<QPushButton *>(QStringLiteral("search_dev_btn")) : nullptr;
        if (clock.elapsed() > GiveUpMs) {
            poll->stop();
            report(QStringLiteral("gave up: ") + (window ? QStringLiteral("no rows") : QStringLiteral("no window")));
            QCoreApplication::exit(3);
        } else if (!table || !search) {
            return;
        } else if (!poll->property("searched").toBool()) {
            report(QStringLiteral("window: %1x%2").arg(window->width()).arg(window->height()));
            poll->setProperty("searched", true);
            search->click();
        } else if (table->rowCount() == DeviceCount && search->isEnabled() && !poll->property("rows").toBool()) {
            poll->setProperty("rows", true);
            reportRows(table);
            if (!qEnvironmentVariableIsEmpty("BRELO_PROBE_PASTE")) {
                // Posted: the preview runs modally in the event loop, and the probe answers it from there.
                QCoreApplication::postEvent(table, new QKeyEvent(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier));
            }
        } else if (auto *plan = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                   plan && plan->objectName() == QLatin1String("AddressPlanDialog")) {
            report(QStringLiteral("plan: ") + plan->findChild<QLabel *>(QStringLiteral("plan_summary_label"))->text());
            plan->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        } else if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            report(QStringLiteral("box: ") + box->text());
            box->button(box->buttons().size() > 1 ? QMessageBox::Cancel : QMessageBox::Ok)->click();
        } else if (poll->property("rows").toBool() && !QApplication::activeModalWidget()) {
            poll->stop();
            report(QStringLiteral("log: ") + window->findChild<QTextEdit *>(QStringLiteral("textEdit"))->toPlainText());
            window->close();
        }
    });
    poll->start(PollMs);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)

int vsnet_init(void)
{
    return 0;
}

int vsnet_uninit(void)
{
    return 0;
}

int vsnet_search(VSNetSearchCallback cb, void *context)
{
    if (!cb) {
        return VSNET_ERR_INVALID_ARGUMENT;
    }
    for (int n = 1; n <= DeviceCount; ++n) {
        VSOneDev dev = device(n);
        cb(&dev, context);
    }
    return DeviceCount;
}

int vsnet_send_json_msg(const char *address, const char *json)
{
    if (!address || !json) {
        return VSNET_ERR_INVALID_ARGUMENT;
    }
    report(QStringLiteral("sent to %1: %2").arg(QString::fromLatin1(address), QString::fromUtf8(json)));
    return 0;
}
