// Preloaded (LD_PRELOAD) into brelo_tool by test_closeunderload. Once the window is exposed it clicks
// "刷新", and as soon as rows arrive it closes the window as a user would, while the search still
// runs. It also stands between the application and the device library, and reports when the process
// ends whether vsnet_uninit came while a search ran and whether any device was reported after it.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <dlfcn.h>

#include "VSDevNetSDK.h"

namespace {

constexpr int PollMs = 5;
constexpr qint64 GiveUpMs = 20000;
constexpr int NoWindowExitCode = 3;

std::atomic<int> searchesRunning {0};
std::atomic<int> searches {0};
std::atomic<int> mostRunningAtUninit {0};
std::atomic<bool> uninitCalled {false};
std::atomic<int> devicesReported {0};
std::atomic<int> devicesAfterUninit {0};

struct Relay
{
    VSNetSearchCallback callback;
    void *context;
};

void relayDevice(VSOneDev *dev, void *opaque)
{
    const auto *relay = static_cast<const Relay *>(opaque);
    ++devicesReported;
    if (uninitCalled) {
        ++devicesAfterUninit;
    }
    relay->callback(dev, relay->context);
}

template<typename Function> Function library(const char *name)
{
    auto *function = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
    if (!function) {
        std::fprintf(stderr, "probe: the device library has no %s\n", name);
        std::abort();
    }
    return function;
}

void report()
{
    std::printf("probe: %d searches, at most %d running at vsnet_uninit, %d devices reported, %d after "
                "vsnet_uninit\n",
                searches.load(), mostRunningAtUninit.load(), devicesReported.load(), devicesAfterUninit.load());
    std::fflush(stdout);
}

QWidget *exposedWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowHandle() && widget->windowHandle()->isExposed()
            && widget->findChild<QPushButton *>(QStringLiteral("search_dev_btn"))) {
            return widget;
        }
    }
    return nullptr;
}

void startProbe()
{
    std::atexit(report);
    auto *poll = new QTimer(QCoreApplication::instance());
    QElapsedTimer clock;
    clock.start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, clock, clicked = false]() mutable {
        QWidget *window = exposedWindow();
        if (!window) {
            if (clock.elapsed() > GiveUpMs) {
                poll->stop();
                std::fprintf(stderr, "probe: no exposed main window\n");
                QCoreApplication::exit(NoWindowExitCode);
            }
            return;
        }
        auto *refresh = window->findChild<QPushButton *>(QStringLiteral("search_dev_btn"));
        const auto *table = window->findChild<QTableWidget *>(QStringLiteral("dev_search_tableWidget"));
        if (!clicked) {
            clicked = true;
            refresh->click();
            return;
        }
        if (table->rowCount() == 0) {
            return;
        }
        poll->stop();
        const bool running = searchesRunning > 0 && !refresh->isEnabled();
        std::printf("probe: closing with %d rows while the search %s\n", table->rowCount(),
                    running ? "runs" : "has ended");
        std::fflush(stdout);
        window->close();
    });
    poll->start(PollMs);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)

extern "C" {

int vsnet_search(VSNetSearchCallback cb, void *context)
{
    static const auto search = library<int (*)(VSNetSearchCallback, void *)>("vsnet_search");
    Relay relay {cb, context};
    ++searches;
    ++searchesRunning;
    const int result = search(cb ? relayDevice : nullptr, &relay);
    --searchesRunning;
    return result;
}

int vsnet_uninit(void)
{
    static const auto uninit = library<int (*)()>("vsnet_uninit");
    const int running = searchesRunning;
    int most = mostRunningAtUninit;
    while (running > most && !mostRunningAtUninit.compare_exchange_weak(most, running)) { }
    uninitCalled = true;
    return uninit();
}

} // extern "C"
