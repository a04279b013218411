#include "app/devicesearch.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

DeviceSearch::DeviceSearch(VSNetSearchCallback callback, void *context, QObject *parent)
    : QObject(parent)
    , m_callback(callback)
    , m_context(context)
{
}

DeviceSearch::~DeviceSearch()
{
    shutdown();
}

void DeviceSearch::request()
{
    if (m_closing.load()) {
        return;
    }
    emit started();
    if (m_running) {
        // No library has to run two searches at once: this one waits for the running one to return.
        m_superseded = true;
        m_waiting = true;
        return;
    }
    start();
}

void DeviceSearch::shutdown()
{
    m_closing = true;
    m_waiting = false;
    if (m_running) {
        m_running->waitForFinished();
        delete m_running;
        m_running = nullptr;
    }
}

void DeviceSearch::start()
{
    m_superseded = false;
    m_waiting = false;
    m_running = new QFutureWatcher<int>();
    connect(m_running, &QFutureWatcherBase::finished, this, &DeviceSearch::onSearchReturned);
    // Only now: a search that has already ended still reports finished() once the future is set.
    m_running->setFuture(QtConcurrent::run(&vsnet_search, m_callback, m_context));
}

void DeviceSearch::onSearchReturned()
{
    QFutureWatcher<int> *watcher = m_running;
    m_running = nullptr;
    // Without a result an exception ended the library call early: a failure, never "no devices".
    const int result = watcher->future().resultCount() > 0 ? watcher->result() : VSNET_ERR_ABORTED;
    watcher->deleteLater();
    if (m_waiting) {
        start();
        return;
    }
    emit idle();
    emit finished(result);
}
