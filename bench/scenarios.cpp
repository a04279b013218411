#include "scenarios.h"

#include "measure.h"

#include "app/logdocumentlayout.h"
#include "app/mainwindow.h"
#include "app/messagebox.h"
#include "batch/addressplan.h"
#include "batch/planjudge.h"
#include "batch/planreader.h"
#include "dialogs/addressplandialog.h"
#include "hints/devicehints.h"
#include "widgets/myiplineedit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QHostAddress>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

namespace {

struct Device
{
    QString p2pid, ip, version, model, mac, hid;
};

QVector<Device> makeDevices(int count)
{
    QVector<Device> devices;
    devices.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString mac = QString::asprintf("02:B7:%02X:%02X:%02X:%02X", (i >> 24) & 0xFF, (i >> 16) & 0xFF,
                                              (i >> 8) & 0xFF, i & 0xFF);
        devices.append({QStringLiteral("P2P-%1").arg(i * 7919 % 100003, 6, 10, QLatin1Char('0')),
                        QStringLiteral("10.%1.%2.%3").arg((i >> 16) & 0xFF).arg((i >> 8) & 0xFF).arg(i & 0xFF),
                        QStringLiteral("V2.%1.%2").arg(i % 7).arg(i % 13), QStringLiteral("BOX-%1").arg(i % 5), mac,
                        i % 3 ? QString() : QStringLiteral("HID-%1").arg(i)});
    }
    return devices;
}

void print(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Runs the event loop until done() holds or the time is up.
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 120000)
{
    QElapsedTimer clock;
    clock.start();
    // Wakes the loop below even when nothing else would.
    QTimer wake;
    wake.start(5);
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    waitUntil([&] { return clock.elapsed() >= ms; });
}

std::unique_ptr<MainWindow> shownWindow()
{
    auto window = std::make_unique<MainWindow>();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
        print(QStringLiteral("bench: window not exposed"));
    }
    settle(50);
    return window;
}

QTableWidget *tableOf(MainWindow &window)
{
    return window.findChild<QTableWidget *>(QStringLiteral("dev_search_tableWidget"));
}

// The comparison point: the same rows into a bare table, no log, no window around it.
class BareTable : public QObject
{
    Q_OBJECT

public:
    explicit BareTable(QObject *parent = nullptr)
        : QObject(parent)
    {
        table.setColumnCount(6);
        table.resize(1280, 520);
        table.show();
        if (!QTest::qWaitForWindowExposed(&table)) {
            print(QStringLiteral("bench: baseline table not exposed"));
        }
        connect(this, &BareTable::deviceFound, this, &BareTable::add, Qt::QueuedConnection);
    }

    QTableWidget table;

signals:
    void deviceFound(QString p2pid, QString ip, QString version, QString model, QString mac, QString hid);

private:
    void add(QString p2pid, QString ip, QString version, QString model, QString mac, QString hid)
    {
        const int row = table.rowCount();
        table.insertRow(row);
        const QString texts[] = {QString::number(row + 1), hid.isEmpty() ? p2pid : hid, ip, version, model, mac};
        for (int column = 0; column < 6; ++column) {
            table.setItem(row, column, new QTableWidgetItem(texts[column]));
        }
    }
};

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

struct FloodResult
{
    double cpuUsPerDevice;
    double lastRowMs;
    double stallMs;
    double rssMiB;
};

// Emits every device back to back from a worker thread and waits for the last row.
FloodResult flood(const QVector<Device> &devices, QTableWidget *table,
                  const std::function<void(const Device &)> &emitDevice)
{
    StallMeter stall;
    resetPeakRss();
    const int target = devices.size();
    QElapsedTimer wall;
    stall.start();
    const double cpu0 = threadCpuMs();
    wall.start();
    std::thread worker([&] {
        for (const Device &device : devices) {
            emitDevice(device);
        }
    });
    waitUntil([&] { return table->rowCount() >= target; });
    const double lastRowMs = wall.nsecsElapsed() / 1e6;
    worker.join();
    // Include the coalesced repaint that follows the last row.
    settle(150);
    const double cpu = threadCpuMs() - cpu0;
    const double stallMs = stall.stop();
    return {cpu * 1000.0 / target, lastRowMs, stallMs, peakRssMiB()};
}

void printFlood(const QString &label, const QVector<FloodResult> &results)
{
    QVector<double> cpu, last, stall, rss;
    for (const FloodResult &r : results) {
        cpu.append(r.cpuUsPerDevice);
        last.append(r.lastRowMs);
        stall.append(r.stallMs);
        rss.append(r.rssMiB);
    }
    print(QStringLiteral("%1 gui cpu per device (us): %2").arg(label, summary(cpu, 2)));
    print(QStringLiteral("%1 time to last row (ms): %2").arg(label, summary(last)));
    print(QStringLiteral("%1 worst stall (ms): %2").arg(label, summary(stall)));
    print(QStringLiteral("%1 peak rss (MiB): %2").arg(label, summary(rss)));
}

} // namespace

void runFlood(const BenchOptions &options)
{
    // Every device of the flood lies outside this network: each row carries a mark, the costlier case.
    DeviceHints::injectNetworks({{0xC0A80102, 24}});
    QVector<int> sizes = {1000, 10000, 50000};
    if (options.quick) {
        sizes.removeLast();
    }
    for (int n : sizes) {
        const QVector<Device> devices = makeDevices(n);
        QVector<FloodResult> app, bare;
        QVector<double> ratio;
        // One flood of 10,000 lasts some 70 ms, and one pair's ratio ran from 1.2 to 2.2 in a run: each
        // repetition's ratio is of medians of floods taken in turns.
        const int turns = 5;
        for (int rep = 0; rep < options.repetitions; ++rep) {
            QVector<double> appCpu, bareCpu;
            for (int turn = 0; turn < turns; ++turn) {
                {
                    auto window = shownWindow();
                    MainWindow *w = window.get();
                    app.append(flood(devices, tableOf(*w), [w](const Device &d) {
                        emit w->addSearchDeviceToTable(d.p2pid, d.ip, d.version, d.model, d.mac, d.hid);
                    }));
                }
                {
                    BareTable baseline;
                    bare.append(flood(devices, &baseline.table, [&baseline](const Device &d) {
                        emit baseline.deviceFound(d.p2pid, d.ip, d.version, d.model, d.mac, d.hid);
                    }));
                }
                appCpu.append(app.constLast().cpuUsPerDevice);
                bareCpu.append(bare.constLast().cpuUsPerDevice);
            }
            ratio.append(median(appCpu) / median(bareCpu));
        }
        printFlood(QStringLiteral("flood %1 window").arg(n), app);
        printFlood(QStringLiteral("flood %1 baseline bare table").arg(n), bare);
        print(QStringLiteral("flood %1 gui cpu, window / bare table: %2").arg(n).arg(summary(ratio, 3)));
    }

    // Factory-fresh devices all at one address: every row is a conflict with all the others.
    QVector<Device> sameAddress = makeDevices(10000);
    for (Device &device : sameAddress) {
        device.ip = QStringLiteral("192.168.1.64");
    }
    QVector<FloodResult> conflicts;
    for (int rep = 0; rep < options.repetitions; ++rep) {
        auto window = shownWindow();
        MainWindow *w = window.get();
        conflicts.append(flood(sameAddress, tableOf(*w), [w](const Device &d) {
            emit w->addSearchDeviceToTable(d.p2pid, d.ip, d.version, d.model, d.mac, d.hid);
        }));
    }
    printFlood(QStringLiteral("flood 10000 at one address window"), conflicts);
    DeviceHints::clearInjectedNetworks();
}

namespace {

// What a search does to the window, without the library: the start line, an empty table, every
// device of the flood, the end line.
FloodResult search(MainWindow &window, const QVector<Device> &devices)
{
    window.appendLog(QStringLiteral("开始搜索, 清空表格!"));
    QTableWidget *table = tableOf(window);
    table->clearContents();
    table->setRowCount(0);
    const FloodResult result = flood(devices, table, [&window](const Device &d) {
        emit window.addSearchDeviceToTable(d.p2pid, d.ip, d.version, d.model, d.mac, d.hid);
    });
    window.appendLog(QStringLiteral("搜索完成!!!"));
    return result;
}

} // namespace

namespace {

// As the log's menu entry "清空" does.
void clearLog(MainWindow &window)
{
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("清空")) {
            action->trigger();
        }
    }
}

// A document of the log's kind holding `before` lines, with no window around it: the part of a day's cost
// that lies in the document itself.
class BareLog
{
public:
    explicit BareLog(int before)
        : m_end(&m_document)
    {
        m_document.setUndoRedoEnabled(false);
        m_document.setDocumentLayout(new LogDocumentLayout(&m_document));
        QTextCursor(&m_document).beginEditBlock();
        for (int i = 0; i < before; ++i) {
            m_end.insertText(i == 0 ? m_line : QLatin1Char('\n') + m_line, QTextCharFormat());
        }
        QTextCursor(&m_document).endEditBlock();
    }

    // GUI CPU of one line added as the log adds it, in a burst of a search's size.
    double lineUs()
    {
        const int added = 10000;
        QTextCursor(&m_document).beginEditBlock();
        const double cpu0 = threadCpuMs();
        for (int i = 0; i < added; ++i) {
            m_end.insertText(QLatin1Char('\n') + m_line, QTextCharFormat());
        }
        const double cpu = threadCpuMs() - cpu0;
        QTextCursor(&m_document).endEditBlock();
        return cpu * 1000.0 / added;
    }

private:
    const QString m_line = QStringLiteral("2026-12-08 09:07:03: 搜索到设备, ip: 10.0.12.34 mac: 02:B7:00:00:0C:22");
    QTextDocument m_document;
    QTextCursor m_end;
};

} // namespace

void runDay(const BenchOptions &options)
{
    const int n = 10000;
    const int searches = 20;
    // One search is short and its cost drifts with the machine's load: each side is the median of
    // a few, taken in turns from two windows open side by side, so that a drift weighs on both.
    const int samples = 9;
    const QVector<Device> devices = makeDevices(n);
    const int lines = searches * (n + 2);
    DeviceHints::injectNetworks({{0xC0A80102, 24}});
    QVector<double> empty, full, ratio, added, bareEmpty, bareFull, againstBare;
    double rssFresh = 0;
    double rssDay = 0;
    for (int rep = 0; rep < options.repetitions; ++rep) {
        auto day = shownWindow();
        const double fresh = rssMiB();
        for (int i = 0; i < searches; ++i) {
            search(*day, devices);
        }
        settle(100);
        // Later repetitions start in a process that has held a day's log already.
        if (rep == 0) {
            rssFresh = fresh;
            rssDay = rssMiB();
        }
        auto other = shownWindow();
        search(*other, devices);
        // The bare documents' figures are a difference of two small ones, so they too are medians taken in
        // turns with the searches; one pair alone gave ratios from 1.1 to 4.9 in one run. The bare day
        // grows by a search's lines at each turn, as the day's log does, so both are measured as deep.
        BareLog bareDay(lines);
        QVector<double> emptySamples, fullSamples, bareEmptySamples, bareFullSamples;
        for (int i = 0; i < samples; ++i) {
            clearLog(*other);
            emptySamples.append(search(*other, devices).cpuUsPerDevice);
            fullSamples.append(search(*day, devices).cpuUsPerDevice);
            bareEmptySamples.append(BareLog(0).lineUs());
            bareFullSamples.append(bareDay.lineUs());
        }
        empty.append(median(emptySamples));
        full.append(median(fullSamples));
        ratio.append(full.constLast() / empty.constLast());
        added.append(full.constLast() - empty.constLast());
        bareEmpty.append(median(bareEmptySamples));
        bareFull.append(median(bareFullSamples));
        againstBare.append(added.constLast() / (bareFull.constLast() - bareEmpty.constLast()));
    }
    DeviceHints::clearInjectedNetworks();
    print(QStringLiteral("day search of %1 gui cpu per device, empty log (us): %2").arg(n).arg(summary(empty, 2)));
    print(QStringLiteral("day search of %1 gui cpu per device, after %2 log lines (us): %3")
              .arg(n)
              .arg(lines)
              .arg(summary(full, 2)));
    print(QStringLiteral("day search of %1 gui cpu, after %2 log lines / empty log: %3")
              .arg(n)
              .arg(lines)
              .arg(summary(ratio, 3)));
    print(QStringLiteral("day search of %1 gui cpu per device, added by %2 log lines (us): %3")
              .arg(n)
              .arg(lines)
              .arg(summary(added, 2)));
    print(QStringLiteral("day line into a bare log document, empty (us): %1").arg(summary(bareEmpty, 2)));
    print(QStringLiteral("day line into a bare log document after %1 lines (us): %2")
              .arg(lines)
              .arg(summary(bareFull, 2)));
    print(QStringLiteral("day what %1 log lines add per device / what they add to a line of a bare document: %2")
              .arg(lines)
              .arg(summary(againstBare, 3)));
    print(QStringLiteral("day rss of a shown window, empty (MiB): %1").arg(rssFresh, 0, 'f', 1));
    print(QStringLiteral("day rss after %1 log lines and %2 rows (MiB): %3").arg(lines).arg(n).arg(rssDay, 0, 'f', 1));
}

namespace {

// Marks the rows present at each paint of the table as shown: a paint of its rows, or of its scroll
// bar for rows that arrive below the visible part.
class PaintWatcher : public QObject
{
public:
    PaintWatcher(QTableWidget *table, QVector<qint64> *paintedNs, const QElapsedTimer *clock)
        : QObject(table)
        , m_table(table)
        , m_paintedNs(paintedNs)
        , m_clock(clock)
    {
        table->viewport()->installEventFilter(this);
        table->verticalScrollBar()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            const qint64 now = m_clock->nsecsElapsed();
            const int rows = std::min(m_table->rowCount(), static_cast<int>(m_paintedNs->size()));
            for (; m_next < rows; ++m_next) {
                (*m_paintedNs)[m_next] = now;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTableWidget *m_table;
    QVector<qint64> *m_paintedNs;
    const QElapsedTimer *m_clock;
    int m_next = 0;
};

struct TrickleResult
{
    double cpuMs;
    double busyPercent;
    double stallMs;
    double worstPaintDelayMs;
};

TrickleResult trickle(const QVector<Device> &devices, int spreadMs, QTableWidget *table,
                      const std::function<void(const Device &)> &emitDevice)
{
    const int n = devices.size();
    QVector<qint64> arrivedNs(n, 0);
    QVector<qint64> paintedNs(n, -1);
    QElapsedTimer clock;
    clock.start();
    auto *watcher = new PaintWatcher(table, &paintedNs, &clock);

    StallMeter stall;
    stall.start();
    const double cpu0 = threadCpuMs();
    const qint64 start = clock.nsecsElapsed();
    std::thread worker([&] {
        for (int i = 0; i < n; ++i) {
            const qint64 due = start + qint64(i) * spreadMs * 1000000 / n;
            const qint64 wait = due - clock.nsecsElapsed();
            if (wait > 0) {
                std::this_thread::sleep_for(std::chrono::nanoseconds(wait));
            }
            arrivedNs[i] = clock.nsecsElapsed();
            emitDevice(devices.at(i));
        }
    });
    waitUntil([&] { return table->rowCount() >= n; });
    worker.join();
    settle(200);
    const double cpu = threadCpuMs() - cpu0;
    const double wallMs = (clock.nsecsElapsed() - start) / 1e6;
    const double stallMs = stall.stop();
    delete watcher;

    double worst = 0;
    for (int i = 0; i < n; ++i) {
        const double delay = paintedNs.at(i) < 0 ? 1e9 : (paintedNs.at(i) - arrivedNs.at(i)) / 1e6;
        worst = std::max(worst, delay);
    }
    return {cpu, 100.0 * cpu / wallMs, stallMs, worst};
}

void printTrickle(const QString &label, const QVector<TrickleResult> &results)
{
    QVector<double> busy, stall, delay;
    for (const TrickleResult &r : results) {
        busy.append(r.busyPercent);
        stall.append(r.stallMs);
        delay.append(r.worstPaintDelayMs);
    }
    print(QStringLiteral("%1 gui thread busy (%): %2").arg(label, summary(busy)));
    print(QStringLiteral("%1 worst stall (ms): %2").arg(label, summary(stall)));
    print(QStringLiteral("%1 worst arrival-to-paint delay (ms): %2").arg(label, summary(delay)));
}

} // namespace

void runTrickle(const BenchOptions &options)
{
    const QVector<Device> devices = makeDevices(1000);
    QVector<TrickleResult> app, bare;
    for (int rep = 0; rep < options.repetitions; ++rep) {
        {
            auto window = shownWindow();
            MainWindow *w = window.get();
            app.append(trickle(devices, 2000, tableOf(*w), [w](const Device &d) {
                emit w->addSearchDeviceToTable(d.p2pid, d.ip, d.version, d.model, d.mac, d.hid);
            }));
        }
        {
            BareTable baseline;
            bare.append(trickle(devices, 2000, &baseline.table, [&baseline](const Device &d) {
                emit baseline.deviceFound(d.p2pid, d.ip, d.version, d.model, d.mac, d.hid);
            }));
        }
    }
    printTrickle(QStringLiteral("trickle 1000 over 2 s window"), app);
    printTrickle(QStringLiteral("trickle 1000 over 2 s baseline bare table"), bare);
    // The bare table paints every row as it arrives: the naive window the real one is held against.
    QVector<double> ratio;
    for (int rep = 0; rep < app.size(); ++rep) {
        ratio.append(app.at(rep).cpuMs / bare.at(rep).cpuMs);
    }
    print(QStringLiteral("trickle 1000 over 2 s gui cpu, window / naive bare table: %1").arg(summary(ratio, 3)));
}

namespace {

void clickHeader(QTableWidget *table, int section)
{
    QHeaderView *header = table->horizontalHeader();
    const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
}

void fillWindow(MainWindow &window, const QVector<Device> &devices)
{
    for (const Device &d : devices) {
        emit window.addSearchDeviceToTable(d.p2pid, d.ip, d.version, d.model, d.mac, d.hid);
    }
    QTableWidget *table = tableOf(window);
    waitUntil([&] { return table->rowCount() >= devices.size(); });
    settle(100);
}

} // namespace

void runSort(const BenchOptions &options)
{
    QVector<int> sizes = {10000, 50000};
    if (options.quick) {
        sizes.removeLast();
    }
    // GUI-thread CPU time, so that other processes' load does not count; what is left drifts with the
    // machine's caches: each side is the median of a few clicks, taken in turns from a window and a
    // bare table open side by side, as in the day scenario.
    const int samples = 7;
    for (int n : sizes) {
        const QVector<Device> devices = makeDevices(n);
        auto window = shownWindow();
        fillWindow(*window, devices);
        QTableWidget *table = tableOf(*window);
        BareTable baseline;
        for (const Device &d : devices) {
            emit baseline.deviceFound(d.p2pid, d.ip, d.version, d.model, d.mac, d.hid);
        }
        waitUntil([&] { return baseline.table.rowCount() >= n; });
        settle(100);
        QVector<double> app, bare, ratio;
        int clicks = 0;
        for (int rep = 0; rep < options.repetitions; ++rep) {
            QVector<double> appSamples, bareSamples;
            for (int i = 0; i < samples; ++i) {
                // Alternate columns so that every click sorts ascending and really moves rows.
                const int column = clicks++ % 2 ? 1 : 2;
                double cpu0 = threadCpuMs();
                clickHeader(table, column);
                appSamples.append(threadCpuMs() - cpu0);
                // The layout and paint that follow are left out of both sides.
                settle(50);
                cpu0 = threadCpuMs();
                baseline.table.sortByColumn(column, Qt::AscendingOrder);
                bareSamples.append(threadCpuMs() - cpu0);
                settle(50);
            }
            app.append(median(appSamples));
            bare.append(median(bareSamples));
            ratio.append(app.constLast() / bare.constLast());
        }
        print(QStringLiteral("sort+renumber %1 rows by header click, gui cpu, median of %2 (ms): %3")
                  .arg(n)
                  .arg(samples)
                  .arg(summary(app)));
        print(QStringLiteral("sort %1 rows baseline bare table, no renumber, gui cpu, median of %2 (ms): %3")
                  .arg(n)
                  .arg(samples)
                  .arg(summary(bare)));
        print(QStringLiteral("sort %1 rows, window / bare table: %2").arg(n).arg(summary(ratio, 3)));
    }
}

namespace {

// Datagrams per second that loopback carries from one socket to another right now.
double rawLoopbackRate(int count)
{
    QUdpSocket receiver;
    receiver.bind(QHostAddress(QHostAddress::LocalHost), 0);
    receiver.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    const quint16 port = receiver.localPort();
    std::atomic_bool done {false};
    const QByteArray payload(220, 'x');
    QElapsedTimer clock;
    clock.start();
    std::thread sender([&] {
        QUdpSocket socket;
        for (int i = 0; i < count && !done; ++i) {
            socket.writeDatagram(payload, QHostAddress::LocalHost, port);
        }
    });
    int received = 0;
    qint64 lastNs = 0;
    while (received < count && receiver.waitForReadyRead(300)) {
        while (receiver.hasPendingDatagrams()) {
            receiver.readDatagram(nullptr, 0);
            ++received;
            lastNs = clock.nsecsElapsed();
        }
    }
    done = true;
    sender.join();
    return lastNs > 0 ? received / (lastNs / 1e9) : 0;
}

struct SearchCounter
{
    QElapsedTimer *clock;
    int found = 0;
    qint64 lastNs = 0;
};

void countDevice(VSOneDev *, void *context)
{
    auto *counter = static_cast<SearchCounter *>(context);
    ++counter->found;
    counter->lastNs = counter->clock->nsecsElapsed();
}

} // namespace

void runDiscovery(const BenchOptions &options)
{
    const int count = 10000;
    const quint16 port = 20000 + QCoreApplication::applicationPid() % 20000;
    QProcess devsim;
    devsim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    devsim.start(options.devsimPath,
                 {QStringLiteral("--count"), QString::number(count), QStringLiteral("--port"), QString::number(port)});
    if (!devsim.waitForStarted() || !devsim.waitForReadyRead(10000)) {
        print(QStringLiteral("discovery: devsim did not start (%1)").arg(options.devsimPath));
        return;
    }
    qputenv("VSNET_PORT", QByteArray::number(port));
    qputenv("VSNET_SEARCH_MS", "3000");
    vsnet_init();

    QVector<double> found, lastMs, rawMs, rates;
    const int runs = std::max(5, options.repetitions);
    for (int run = 0; run < runs; ++run) {
        const double rate = rawLoopbackRate(count);
        QElapsedTimer clock;
        SearchCounter counter {&clock};
        clock.start();
        vsnet_search(countDevice, &counter);
        found.append(counter.found);
        lastMs.append(counter.lastNs / 1e6);
        rates.append(rate / 1000.0);
        rawMs.append(rate > 0 ? count / rate * 1000.0 : 0);
        print(QStringLiteral("discovery run %1: %2 of %3 devices found, last after %4 ms")
                  .arg(run + 1)
                  .arg(counter.found)
                  .arg(count)
                  .arg(counter.lastNs / 1e6, 0, 'f', 1));
    }
    vsnet_uninit();
    devsim.terminate();
    devsim.waitForFinished(5000);

    print(QStringLiteral("discovery %1 devices found per run: %2").arg(count).arg(summary(found, 0)));
    print(QStringLiteral("discovery %1 probe to last device (ms): %2").arg(count).arg(summary(lastMs)));
    print(QStringLiteral("discovery baseline raw loopback rate (k datagrams/s): %1").arg(summary(rates)));
    print(QStringLiteral("discovery baseline %1 datagrams at that rate (ms): %2").arg(count).arg(summary(rawMs)));
}

namespace {

// Accepts the next modal dialog as soon as it is up, after fill has set its fields.
void acceptNextDialog(QObject *context, const std::function<void(QDialog *)> &fill = {})
{
    auto *timer = new QTimer(context);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, context, [timer, fill] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            if (fill) {
                fill(dialog);
            }
            dialog->accept();
        }
    });
    timer->start();
}

// The batch IP dialog with DHCP and a DNS text: without DHCP the address rule cannot give thousands
// of devices distinct addresses in one network.
void acceptNextDhcpDialog(QObject *context)
{
    acceptNextDialog(context, [](QDialog *dialog) {
        dialog->findChild<QAbstractButton *>(QStringLiteral("dhcp_checkBox"))->click();
        dialog->findChild<QLineEdit *>(QStringLiteral("dns_lineEdit"))->setText("8.8.8.8;1.1.1.1");
    });
}

double batchCpuUsPerDevice(MainWindow &window, const char *button, int devices)
{
    acceptNextDialog(&window);
    const double cpu0 = threadCpuMs();
    QTest::mouseClick(window.findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
    return (threadCpuMs() - cpu0) * 1000.0 / devices;
}

} // namespace

void runBatch(const BenchOptions &options)
{
    // Nothing listens on this port while the batch runs; the commands only cross loopback.
    qputenv("VSNET_PORT", QByteArray::number(20000 + (QCoreApplication::applicationPid() + 1) % 20000));
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    for (int n : {1000, 10000}) {
        const QVector<Device> devices = makeDevices(n);
        QVector<double> algo, ip, bare;
        auto window = shownWindow();
        fillWindow(*window, devices);
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("select_all_btn")), Qt::LeftButton);
        for (int rep = 0; rep < options.repetitions; ++rep) {
            algo.append(batchCpuUsPerDevice(*window, "batch_modify_algo_btn", n));
            acceptNextDhcpDialog(window.get());
            const double cpu0 = threadCpuMs();
            QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("batch_modify_ip_btn")), Qt::LeftButton);
            ip.append((threadCpuMs() - cpu0) * 1000.0 / n);

            // The library's own share: the same number of ready-made commands, sent and nothing else.
            const QByteArray command = "{\n    \"cmd\": \"brl_algo_config\"\n}\n";
            const double bare0 = threadCpuMs();
            for (int i = 0; i < n; ++i) {
                vsnet_send_json_msg("255.255.255.255", command.constData());
            }
            bare.append((threadCpuMs() - bare0) * 1000.0 / n);
            window->findChild<QTextEdit *>(QStringLiteral("textEdit"))->clear();
        }
        print(QStringLiteral("batch algorithm %1 devices gui cpu per device (us): %2").arg(n).arg(summary(algo, 2)));
        print(QStringLiteral("batch ip (dhcp) %1 devices gui cpu per device (us): %2").arg(n).arg(summary(ip, 2)));
        print(
            QStringLiteral("batch baseline send only %1 devices cpu per device (us): %2").arg(n).arg(summary(bare, 2)));
    }
    MessageBox::clearNextAnswer();
}

namespace {

// Counts the lines that a growing file gains, reading on from where the last call stopped.
class JournalTail
{
public:
    explicit JournalTail(const QString &path)
        : m_file(path)
    {
    }

    // How many of the lines added since the last call begin with prefix.
    int count(const QByteArray &prefix)
    {
        if (!m_file.isOpen() && !m_file.open(QIODevice::ReadOnly)) {
            return 0;
        }
        m_rest += m_file.readAll();
        int found = 0;
        int start = 0;
        for (int end = m_rest.indexOf('\n'); end >= 0; end = m_rest.indexOf('\n', start)) {
            if (end - start >= prefix.size() && std::equal(prefix.begin(), prefix.end(), m_rest.begin() + start)) {
                ++found;
            }
            start = end + 1;
        }
        m_rest.remove(0, start);
        return found;
    }

private:
    QFile m_file;
    QByteArray m_rest;
};

} // namespace

void runFleet(const BenchOptions &options)
{
    // DHCP: counted addresses would stop at the last octet's .254.
    const int count = options.quick ? 10000 : 60000;
    const quint16 port = 20000 + (QCoreApplication::applicationPid() + 2) % 20000;
    QTemporaryDir dir;
    const QString journal = dir.filePath(QStringLiteral("journal"));
    QProcess devsim;
    devsim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    devsim.start(options.devsimPath,
                 {QStringLiteral("--count"), QString::number(count), QStringLiteral("--port"), QString::number(port),
                  QStringLiteral("--journal"), journal});
    if (!devsim.waitForStarted() || !devsim.waitForReadyRead(10000)) {
        print(QStringLiteral("fleet: devsim did not start (%1)").arg(options.devsimPath));
        return;
    }
    qputenv("VSNET_PORT", QByteArray::number(port));
    qputenv("VSNET_SEARCH_MS", "5000");
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    {
        auto window = shownWindow();
        QTableWidget *table = tableOf(*window);
        auto *search = window->findChild<QPushButton *>(QStringLiteral("search_dev_btn"));
        // Under load a search may lose answers; the batch goes to the devices of the best of three.
        for (int attempt = 0; attempt < 3 && table->rowCount() < count; ++attempt) {
            QTest::mouseClick(search, Qt::LeftButton);
            waitUntil([&] { return search->isEnabled(); });
        }
        const int found = table->rowCount();
        print(QStringLiteral("fleet search found %1 of %2 simulated devices").arg(found).arg(count));
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("select_all_btn")), Qt::LeftButton);

        JournalTail tail(journal);
        QVector<double> gui, applied;
        for (int rep = 0; rep < options.repetitions; ++rep) {
            tail.count({});
            acceptNextDhcpDialog(window.get());
            QElapsedTimer clock;
            clock.start();
            const double cpu0 = threadCpuMs();
            QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("batch_modify_ip_btn")), Qt::LeftButton);
            gui.append((threadCpuMs() - cpu0) * 1000.0 / found);
            int done = 0;
            qint64 lastNs = 0;
            const bool all = waitUntil(
                [&] {
                    const int more = tail.count("applied ip_config_bc");
                    if (more > 0) {
                        done += more;
                        lastNs = clock.nsecsElapsed();
                    }
                    return done >= found;
                },
                60000);
            if (!all) {
                print(QStringLiteral(
                          "fleet batch %1: in 60 s the simulator applied %2 of %3 commands, the last after %4 s")
                          .arg(rep + 1)
                          .arg(done)
                          .arg(found)
                          .arg(lastNs / 1e9, 0, 'f', 2));
                continue;
            }
            applied.append(lastNs / 1e9);
            window->findChild<QTextEdit *>(QStringLiteral("textEdit"))->clear();
            MessageBox::clearShown();
        }
        print(QStringLiteral("fleet batch ip (dhcp) %1 devices gui cpu per device (us): %2")
                  .arg(found)
                  .arg(summary(gui, 2)));
        print(QStringLiteral("fleet batch ip (dhcp) %1 devices, click to the simulator's journal holding all (s): %2")
                  .arg(found)
                  .arg(summary(applied, 2)));
    }
    MessageBox::clearNextAnswer();
    devsim.terminate();
    devsim.waitForFinished(5000);
}

namespace {

// What "复制" gives for the devices, with a new address in 172.16.0.0/16 typed over each one's; then,
// up to lines, devices the table does not list, in 172.17.0.0/16.
QString pastedPlan(const QVector<Device> &devices, int lines = 0)
{
    QString text = QStringLiteral("序号\t设备ID\tIP地址\t版本号\t型号\tMAC地址\n");
    for (int i = 0; i < devices.size(); ++i) {
        const Device &device = devices.at(i);
        text += QStringLiteral("%1\t%2\t172.16.%3.%4\t%5\t%6\t%7\n")
                    .arg(i + 1)
                    .arg(device.p2pid)
                    .arg(i / 250)
                    .arg(i % 250 + 1)
                    .arg(device.version, device.model, device.mac);
    }
    for (int i = int(devices.size()); i < lines; ++i) {
        const int j = i - int(devices.size());
        text += QStringLiteral("%1\tP\t172.17.%2.%3\tV\tM\t%4\n")
                    .arg(i + 1)
                    .arg(j / 250)
                    .arg(j % 250 + 1)
                    .arg(QString::asprintf("02:D0:00:00:%02X:%02X", (j >> 8) & 0xFF, j & 0xFF));
    }
    return text;
}

// Shows the preview and paints it; false when it never shows.
bool showPreview(AddressPlanDialog &dialog)
{
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) {
        print(QStringLiteral("plan: dialog not exposed"));
        return false;
    }
    dialog.repaint();
    return true;
}

QVector<DeviceAddress> tableOfDevices(const QVector<Device> &devices)
{
    QVector<DeviceAddress> table;
    table.reserve(devices.size());
    for (const Device &device : devices) {
        table.append({device.mac, device.ip});
    }
    return table;
}

const PlanDefaults kPlanDefaults {QStringLiteral("255.255.0.0"), QStringLiteral("172.16.255.254"), QString()};

} // namespace

namespace {

// 65,536 lines against 60,000 devices, every field keystroke judged and painted: the DNS field typed
// one character at a time, which turns every line into an error and back; a gateway octet.
void runPlanKeystrokes(const BenchOptions &options)
{
    if (options.quick) {
        return;
    }
    const QVector<Device> devices = makeDevices(60000);
    const PlanText lines = Batch::readAddressPlan(pastedPlan(devices, MaxPlanLines));
    const QVector<DeviceAddress> table = tableOfDevices(devices);
    QVector<double> shown, dns, gatewayOctet, dnsCpu, gatewayCpu;
    for (int rep = 0; rep < options.repetitions; ++rep) {
        QElapsedTimer clock;
        clock.start();
        AddressPlanDialog dialog(lines.lines, table);
        if (!showPreview(dialog)) {
            return;
        }
        shown.append(clock.nsecsElapsed() / 1e6);
        dialog.findChild<MyIpLineEdit *>(QStringLiteral("plan_netmask_lineEdit"))
            ->setText(QStringLiteral("255.254.0.0"));
        auto *gateway = dialog.findChild<MyIpLineEdit *>(QStringLiteral("plan_gateway_lineEdit"));
        gateway->setText(QStringLiteral("172.16.255.254"));
        auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("plan_dns_lineEdit"));
        for (const QChar c : QStringLiteral("8.8.4.4")) {
            const double cpu = threadCpuMs();
            clock.restart();
            QTest::keyClick(field, c.toLatin1());
            dialog.repaint();
            dns.append(clock.nsecsElapsed() / 1e6);
            dnsCpu.append(threadCpuMs() - cpu);
        }
        // The gateway's last octet: "25" then "254" again.
        auto *octet = gateway->findChild<QLineEdit *>(QStringLiteral("lineEdit_4"));
        for (int key : {int(Qt::Key_Backspace), int(Qt::Key_4)}) {
            const double cpu = threadCpuMs();
            clock.restart();
            QTest::keyClick(octet, Qt::Key(key));
            dialog.repaint();
            gatewayOctet.append(clock.nsecsElapsed() / 1e6);
            gatewayCpu.append(threadCpuMs() - cpu);
        }
        if (dialog.commands().size() != devices.size()) {
            print(QStringLiteral("plan: %1 commands, not %2").arg(dialog.commands().size()).arg(devices.size()));
            return;
        }
    }
    print(QStringLiteral("plan preview of %1 lines against %2 devices, construction to first paint (ms): %3")
              .arg(MaxPlanLines)
              .arg(devices.size())
              .arg(summary(shown, 1)));
    // Every line turns into an error and back as the DNS is typed: the most a keystroke changes.
    print(QStringLiteral("the same, a DNS keystroke judged and painted, wall / GUI-thread CPU (ms): %1 / %2")
              .arg(summary(dns, 1), summary(dnsCpu, 1)));
    print(QStringLiteral("the same, a gateway keystroke judged and painted, wall / GUI-thread CPU (ms): %1 / %2")
              .arg(summary(gatewayOctet, 1), summary(gatewayCpu, 1)));
}

// Ctrl+V in the window of a clipboard with one 10 MB cell, to the preview shown and painted.
void runPlanHugeCell(const BenchOptions &options)
{
    QVector<double> shown;
    const QString text = QStringLiteral("MAC地址\t新IP\t说明\n02:B7:00:00:00:01\t10.0.0.101\t")
        + QString(10 * 1024 * 1024, QLatin1Char('x'));
    for (int rep = 0; rep < options.repetitions; ++rep) {
        MainWindow window;
        emit window.addSearchDeviceToTable(QStringLiteral("P"), QStringLiteral("10.0.0.1"), QStringLiteral("V"),
                                           QStringLiteral("M"), QStringLiteral("02:B7:00:00:00:01"), QString());
        auto *table = window.findChild<QTableWidget *>(QStringLiteral("dev_search_tableWidget"));
        if (!waitUntil([table] { return table->rowCount() == 1; })) {
            print(QStringLiteral("plan: the table never showed its device"));
            return;
        }
        QGuiApplication::clipboard()->setText(text);
        QElapsedTimer clock;
        bool seen = false;
        auto *poll = new QTimer(&window);
        QObject::connect(poll, &QTimer::timeout, &window, [&] {
            auto *dialog = qobject_cast<AddressPlanDialog *>(QApplication::activeModalWidget());
            if (!dialog || !QTest::qWaitForWindowExposed(dialog)) {
                return;
            }
            poll->stop();
            dialog->repaint();
            shown.append(clock.nsecsElapsed() / 1e6);
            seen = true;
            dialog->reject();
        });
        poll->start(0);
        clock.start();
        QTest::keySequence(table, QKeySequence::Paste);
        if (!seen) {
            print(QStringLiteral("plan: no preview for the huge cell"));
            return;
        }
    }
    print(QStringLiteral("Ctrl+V of a clipboard with one 10 MB cell, to the preview painted (ms): %1")
              .arg(summary(shown, 0)));
}

} // namespace

void runPlan(const BenchOptions &options)
{
    // Every line lies outside this network: each line sent carries the warning, the costlier case.
    DeviceHints::injectNetworks({{0xC0A80102, 24}});
    const int batch = 250;
    const int others = 10000;
    const QStringList plan = Batch::planAddresses(QStringLiteral("10.0.0.1"), batch);
    // Outside the plan's range, so that the check compares every address with every other device.
    QVector<DeviceAddress> outside;
    outside.reserve(others);
    for (int i = 0; i < others; ++i) {
        outside.append({QString::asprintf("02:C4:00:00:%02X:%02X", (i >> 8) & 0xFF, i & 0xFF),
                        QStringLiteral("172.16.%1.%2").arg(i / 250).arg(i % 250 + 1)});
    }
    QVector<double> ms;
    for (int rep = 0; rep < std::max(5, options.repetitions); ++rep) {
        QElapsedTimer clock;
        clock.start();
        const QString refusal =
            Batch::addressPlanRefusal(plan, QStringLiteral("255.255.0.0"), QStringLiteral("10.0.255.254"), outside);
        ms.append(clock.nsecsElapsed() / 1e6);
        if (!refusal.isEmpty()) {
            print(QStringLiteral("plan: unexpected refusal: %1").arg(refusal));
            return;
        }
    }
    print(QStringLiteral("plan check of %1 addresses against %2 other devices (ms): %3")
              .arg(batch)
              .arg(others)
              .arg(summary(ms, 2)));

    // A pasted plan, every line a device of the table moved to a new address.
    for (int n : {10000, 60000}) {
        if (options.quick && n > 10000) {
            continue;
        }
        const QVector<Device> devices = makeDevices(n);
        const QString text = pastedPlan(devices);
        const QVector<DeviceAddress> table = tableOfDevices(devices);
        QVector<double> read, judge;
        for (int rep = 0; rep < std::max(5, options.repetitions); ++rep) {
            QElapsedTimer clock;
            clock.start();
            const PlanText lines = Batch::readAddressPlan(text);
            read.append(clock.nsecsElapsed() / 1e6);
            clock.restart();
            const PlanCounts counts = Batch::planCounts(
                Batch::judgeAddressPlan(lines.lines, table, kPlanDefaults, DeviceHints::localNetworks()));
            judge.append(clock.nsecsElapsed() / 1e6);
            if (counts.sent != n) {
                print(QStringLiteral("plan: %1").arg(Batch::planSummary(counts)));
                return;
            }
        }
        QVector<double> total;
        for (int rep = 0; rep < read.size(); ++rep) {
            total.append(read.at(rep) + judge.at(rep));
        }
        print(QStringLiteral("pasted plan of %1 lines against %1 devices, read / judge / both (ms): %2 / %3 / %4")
                  .arg(n)
                  .arg(summary(read, 1), summary(judge, 1), summary(total, 1)));
    }

    // The preview of 10,000 lines: built, shown and painted; then one field changed.
    const QVector<Device> devices = makeDevices(10000);
    const PlanText lines = Batch::readAddressPlan(pastedPlan(devices));
    const QVector<DeviceAddress> table = tableOfDevices(devices);
    QVector<double> shown, rejudged;
    for (int rep = 0; rep < options.repetitions; ++rep) {
        QElapsedTimer clock;
        clock.start();
        AddressPlanDialog dialog(lines.lines, table);
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog)) {
            print(QStringLiteral("plan: dialog not exposed"));
            return;
        }
        dialog.repaint();
        shown.append(clock.nsecsElapsed() / 1e6);
        auto *gateway = dialog.findChild<MyIpLineEdit *>(QStringLiteral("plan_gateway_lineEdit"));
        clock.restart();
        gateway->setText(QStringLiteral("172.16.255.254"));
        dialog.repaint();
        // setText sets four octets, each judged again.
        rejudged.append(clock.nsecsElapsed() / 1e6 / 4);
    }
    print(QStringLiteral("plan preview of 10000 lines, construction to first paint (ms): %1").arg(summary(shown, 1)));
    print(QStringLiteral("plan preview of 10000 lines, one field change judged and repainted (ms): %1")
              .arg(summary(rejudged, 1)));

    runPlanKeystrokes(options);
    runPlanHugeCell(options);
    DeviceHints::clearInjectedNetworks();
}

namespace {

// As Ctrl+F does, then the text typed in one go.
QLineEdit *openFindBar(MainWindow &window, const QString &text)
{
    for (QAction *action : window.actions()) {
        if (action->text() == QStringLiteral("查找…")) {
            action->trigger();
        }
    }
    auto *edit = window.findChild<QLineEdit *>(QStringLiteral("find_lineEdit"));
    edit->setText(text);
    return edit;
}

int shownRows(QTableWidget *table)
{
    int shown = 0;
    for (int row = 0; row < table->rowCount(); ++row) {
        shown += table->isRowHidden(row) ? 0 : 1;
    }
    return shown;
}

// The version of one device in seven: the bar hides six rows in seven.
const QString kFindQuery = QStringLiteral("v2.3.");

} // namespace

void runFind(const BenchOptions &options)
{
    const int n = options.quick ? 10000 : 60000;
    const QVector<Device> devices = makeDevices(n);

    // A search with the bar open against one with it closed, in turns.
    QVector<double> closedCpu, openCpu, closedLast, openLast, cpuRatio, lastRatio;
    int shown = 0;
    for (int rep = 0; rep < options.repetitions; ++rep) {
        {
            auto window = shownWindow();
            const FloodResult result = search(*window, devices);
            closedCpu.append(result.cpuUsPerDevice);
            closedLast.append(result.lastRowMs);
        }
        {
            auto window = shownWindow();
            openFindBar(*window, kFindQuery);
            const FloodResult result = search(*window, devices);
            openCpu.append(result.cpuUsPerDevice);
            openLast.append(result.lastRowMs);
            shown = shownRows(tableOf(*window));
        }
        cpuRatio.append(openCpu.constLast() / closedCpu.constLast());
        lastRatio.append(openLast.constLast() / closedLast.constLast());
    }
    print(
        QStringLiteral("find search of %1, bar closed, gui cpu per device (us): %2").arg(n).arg(summary(closedCpu, 2)));
    print(QStringLiteral("find search of %1, bar showing %2 rows, gui cpu per device (us): %3")
              .arg(n)
              .arg(shown)
              .arg(summary(openCpu, 2)));
    print(QStringLiteral("find search of %1, bar closed, time to last row (ms): %2").arg(n).arg(summary(closedLast)));
    print(QStringLiteral("find search of %1, bar open, time to last row (ms): %2").arg(n).arg(summary(openLast)));
    print(QStringLiteral("find search of %1, bar open / closed, gui cpu: %2, time to last row: %3")
              .arg(n)
              .arg(summary(cpuRatio, 3), summary(lastRatio, 3)));

    // A header click with most rows hidden against one with none, in turns as in the sort scenario.
    const int samples = 5;
    auto plain = shownWindow();
    fillWindow(*plain, devices);
    auto filtered = shownWindow();
    fillWindow(*filtered, devices);
    QLineEdit *edit = openFindBar(*filtered, kFindQuery);
    settle(100);
    QVector<double> plainSort, filteredSort, sortRatio;
    int clicks = 0;
    for (int rep = 0; rep < options.repetitions; ++rep) {
        QVector<double> plainSamples, filteredSamples;
        for (int i = 0; i < samples; ++i) {
            const int column = clicks++ % 2 ? 1 : 2;
            double cpu0 = threadCpuMs();
            clickHeader(tableOf(*plain), column);
            plainSamples.append(threadCpuMs() - cpu0);
            settle(50);
            cpu0 = threadCpuMs();
            clickHeader(tableOf(*filtered), column);
            filteredSamples.append(threadCpuMs() - cpu0);
            settle(50);
        }
        plainSort.append(median(plainSamples));
        filteredSort.append(median(filteredSamples));
        sortRatio.append(filteredSort.constLast() / plainSort.constLast());
    }
    print(QStringLiteral("find sort of %1 rows by header click, none hidden, gui cpu (ms): %2")
              .arg(n)
              .arg(summary(plainSort)));
    print(QStringLiteral("find sort of %1 rows by header click, %2 hidden, gui cpu (ms): %3")
              .arg(n)
              .arg(n - shownRows(tableOf(*filtered)))
              .arg(summary(filteredSort)));
    print(QStringLiteral("find sort of %1 rows, hidden / none hidden: %2").arg(n).arg(summary(sortRatio, 3)));
    plain.reset();

    // Keystrokes in the bar, each filtered and painted: narrowing, then widening again.
    QTableWidget *table = tableOf(*filtered);
    QVector<double> keystrokes, keystrokeCpu;
    for (int rep = 0; rep < options.repetitions; ++rep) {
        edit->clear();
        settle(50);
        const auto timed = [&](const std::function<void()> &press) {
            QElapsedTimer clock;
            clock.start();
            const double cpu0 = threadCpuMs();
            press();
            table->viewport()->repaint();
            keystrokes.append(clock.nsecsElapsed() / 1e6);
            keystrokeCpu.append(threadCpuMs() - cpu0);
            settle(20);
        };
        for (const QChar c : kFindQuery + QStringLiteral("1")) {
            timed([&] { QTest::keyClick(edit, c.toLatin1()); });
        }
        for (int i = 0; i < 6; ++i) {
            timed([&] { QTest::keyClick(edit, Qt::Key_Backspace); });
        }
        for (const QChar c : QStringLiteral("0c:2")) {
            timed([&] { QTest::keyClick(edit, c.toLatin1()); });
        }
    }
    std::sort(keystrokes.begin(), keystrokes.end());
    std::sort(keystrokeCpu.begin(), keystrokeCpu.end());
    print(
        QStringLiteral("find keystroke in the bar with %1 rows, filtered and painted, of %2: wall median %3 ms, worst "
                       "%4 ms; gui cpu median %5 ms, worst %6 ms")
            .arg(n)
            .arg(keystrokes.size())
            .arg(median(keystrokes), 0, 'f', 1)
            .arg(keystrokes.constLast(), 0, 'f', 1)
            .arg(median(keystrokeCpu), 0, 'f', 1)
            .arg(keystrokeCpu.constLast(), 0, 'f', 1));
}

#include "scenarios.moc"
