#ifndef BRELO_DEVICESEARCH_H
#define BRELO_DEVICESEARCH_H

#include <QObject>

#include <atomic>

#include "sdk/VSDevNetSDK.h"

template<typename T> class QFutureWatcher;

// The window's searches: at most one runs in the library at a time. A search requested while
// another runs supersedes it and starts as soon as it has returned; nothing the superseded search
// still reports is shown, and its end is not reported.
class DeviceSearch : public QObject
{
    Q_OBJECT

public:
    DeviceSearch(VSNetSearchCallback callback, void *context, QObject *parent = nullptr);
    ~DeviceSearch() override;

    void request();

    // Any thread: whether the library's callback should still hand on devices.
    bool reports() const { return !m_closing.load() && !m_superseded.load(); }
    // GUI thread: a search runs or waits to start.
    bool busy() const { return m_running != nullptr || m_waiting; }
    // GUI thread: whether a device delivered now belongs to the newest search.
    bool accepts() const { return !m_waiting && !m_closing.load(); }

    // Stops reporting and waits for the running search; a waiting one never starts. Before the
    // library is released, which must not happen under a running search.
    void shutdown();

signals:
    // A search was asked for: the table is about to be filled anew.
    void started();
    // No search runs or waits any more.
    void idle();
    // The newest search has ended with the library's result.
    void finished(int result);

private:
    void start();
    void onSearchReturned();

    VSNetSearchCallback m_callback;
    void *m_context;
    QFutureWatcher<int> *m_running = nullptr;
    bool m_waiting = false;
    std::atomic_bool m_superseded {false};
    std::atomic_bool m_closing {false};
};

#endif // BRELO_DEVICESEARCH_H
