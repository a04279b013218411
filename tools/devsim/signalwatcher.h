#ifndef DEVSIM_SIGNALWATCHER_H
#define DEVSIM_SIGNALWATCHER_H

#include <QObject>

class QSocketNotifier;

// Turns a request to end into a Qt signal from the event loop: SIGINT and SIGTERM on Linux; Ctrl+C,
// Ctrl+Break and the console closing on Windows; optionally the end of standard input, for a parent
// that can send neither. The handler serves one watcher: while it lives, another one is not watching.
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
