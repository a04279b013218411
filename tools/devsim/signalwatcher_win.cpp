#include "signalwatcher.h"

#include <csignal>
#include <mutex>

#include <windows.h>

namespace {

// Windows ends a console program about five seconds after its console closes, and at once when the
// handler returns; the handler gives the orderly end less than that.
constexpr DWORD OrderlyEndMs = 3000;

// The handler runs on a thread of its own: it reads the watcher only under this lock, which the
// watcher's destructor takes before it goes.
std::mutex watcherLock;
SignalWatcher *watcher = nullptr;
// Set once the watcher is gone; the handler waits on a duplicate, so the destructor may close it.
HANDLE watcherGone = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    int signalNumber = 0;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        signalNumber = SIGINT;
        break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        signalNumber = SIGTERM;
        break;
    default:
        return FALSE;
    }
    HANDLE gone = nullptr;
    {
        const std::lock_guard<std::mutex> guard(watcherLock);
        if (!watcher) {
            return FALSE;
        }
        SignalWatcher *target = watcher;
        QMetaObject::invokeMethod(
            target, [target, signalNumber] { emit target->received(signalNumber); }, Qt::QueuedConnection);
        if (signalNumber == SIGTERM) {
            DuplicateHandle(GetCurrentProcess(), watcherGone, GetCurrentProcess(), &gone, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
        }
    }
    if (gone) {
        WaitForSingleObject(gone, OrderlyEndMs);
        CloseHandle(gone);
    }
    return TRUE;
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
    const std::lock_guard<std::mutex> guard(watcherLock);
    // A second watcher would take the first one's requests.
    if (watcher) {
        return;
    }
    watcherGone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!watcherGone) {
        return;
    }
    if (!SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
        CloseHandle(watcherGone);
        watcherGone = nullptr;
        return;
    }
    watcher = this;
    m_watching = true;
}

SignalWatcher::~SignalWatcher()
{
    if (!m_watching) {
        return;
    }
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    const std::lock_guard<std::mutex> guard(watcherLock);
    watcher = nullptr;
    SetEvent(watcherGone);
    CloseHandle(watcherGone);
    watcherGone = nullptr;
}

void SignalWatcher::readInputToEnd()
{
    char buffer[256];
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD got = 0;
    while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) { }
}
