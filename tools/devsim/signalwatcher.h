#ifndef DEVSIM_SIGNALWATCHER_H
#define DEVSIM_SIGNALWATCHER_H

#include <QObject>

class QSocketNotifier;

// Turns a request to end into a Qt signal delivered by the event loop: SIGINT and SIGTERM on Linux,
// through a pipe written by the handler since nothing else may be done safely inside a signal
// handler; Ctrl+C, Ctrl+Break and the console closing on Windows, whose handler runs on a thread of
// its own. Optionally also the end of standard input, for a parent that cannot send either. One
// watcher at a time: while one lives, another one watches nothing but standard input.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    bool isWatching() const;
    // Reports 0 once standard input has closed.
    void watchInputEnd();

signals:
    void received(int signalNumber);

private:
    // Blocks until standard input has closed.
    static void readInputToEnd();

    QSocketNotifier *m_notifier = nullptr; // Linux only
    bool m_watching = false;
};

#endif // DEVSIM_SIGNALWATCHER_H
