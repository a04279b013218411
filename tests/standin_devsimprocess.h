#ifndef STANDIN_DEVSIMPROCESS_H
#define STANDIN_DEVSIMPROCESS_H

#include <QProcess>
#include <QStringList>

// One device simulator child process on a port of its own, stopped by closing its input when destroyed; the
// running test fails if the simulator, once started, did not end normally with status 0. Port 0 lets
// the simulator choose; port() gives the real one once started.
class DevsimProcess
{
public:
    explicit DevsimProcess(quint16 port = 0);
    ~DevsimProcess();
    DevsimProcess(const DevsimProcess &) = delete;
    DevsimProcess &operator=(const DevsimProcess &) = delete;

    // Runs it in that network namespace (through "ip netns exec"), from the next start on.
    void setNetworkNamespace(const QString &name);
    // Starts it and waits for its ready line.
    bool start(const QStringList &arguments = {});
    // Waits until at least count journal lines have been written.
    bool waitForJournal(int count, int timeoutMs = 10000);
    QStringList journal() const { return m_journal; }
    quint16 port() const { return m_port; }
    QProcess &process() { return m_process; }

private:
    void readLines();

    QProcess m_process;
    QString m_namespace;
    quint16 m_port;
    QByteArray m_partial;
    QStringList m_journal;
    bool m_ready = false;
};

#endif // STANDIN_DEVSIMPROCESS_H
