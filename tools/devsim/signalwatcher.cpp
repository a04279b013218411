#include "signalwatcher.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <csignal>
#include <thread>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN

SignalWatcher *watcher = nullptr;
// Set once the watcher is gone: Windows ends the process as soon as the handler of a closing console
// returns, so the handler waits for the orderly end it asked for.
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
    QMetaObject::invokeMethod(
        watcher, [signalNumber] { emit watcher->received(signalNumber); }, Qt::QueuedConnection);
    if (signalNumber == SIGTERM) {
        // The system allows a few seconds before it ends the process anyway.
        WaitForSingleObject(watcherGone, 10000);
    }
    return TRUE;
}

#else

int pipeEnds[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    Q_UNUSED(written)
}

#endif

} // namespace

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_WIN
    watcherGone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    watcher = this;
    m_watching = watcherGone && SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readPipe);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    m_watching = true;
#endif
}

SignalWatcher::~SignalWatcher()
{
#ifdef Q_OS_WIN
    if (m_watching) {
        SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    }
    if (watcherGone) {
        SetEvent(watcherGone);
    }
    watcher = nullptr;
#else
    if (!m_notifier) {
        return;
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    delete m_notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
#endif
}

bool SignalWatcher::isWatching() const
{
    return m_watching;
}

void SignalWatcher::watchInputEnd()
{
    // A blocking read has no portable event-loop notifier (pipes on Windows have none); the thread
    // is left to the process's end, blocked in the read, if the simulator ends otherwise.
    const QPointer<SignalWatcher> self(this);
    // Raw reads rather than stdio, whose lock the exit of the process would otherwise wait for.
    std::thread([self] {
        char buffer[256];
#ifdef Q_OS_WIN
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        DWORD got = 0;
        while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) { }
#else
        while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) { }
#endif
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self] {
                if (self) {
                    emit self->received(0);
                }
            },
            Qt::QueuedConnection);
    }).detach();
}

void SignalWatcher::readPipe()
{
#ifndef Q_OS_WIN
    unsigned char byte = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1) {
        emit received(int(byte));
    }
#endif
}
