#ifndef DEVSIM_DEVICESERVER_H
#define DEVSIM_DEVICESERVER_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QRandomGenerator>

#include <map>

class DeviceNetwork;
class QTextStream;
class QTimer;
class QUdpSocket;

// Puts a DeviceNetwork on the wire: takes probes and commands on the listening address and sends
// the answers back to the prober, paced so that a searcher's receive buffer is not overrun.
class DeviceServer : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QHostAddress address;
        quint16 port = 0;
        int duplicates = 1;
        bool burst = false;
        int jitterMs = 0;
        quint32 seed = 1;
    };

    DeviceServer(DeviceNetwork *network, const Options &options, QTextStream *journal, QObject *parent = nullptr);

    bool start(QString *error);

private:
    struct Pending
    {
        QByteArray datagram;
        QHostAddress address;
        quint16 port;
    };

    void readDatagrams();
    void schedule(const QList<QByteArray> &answers, const QHostAddress &address, quint16 port);
    void sendDue();
    void writeJournal(const QString &line);

    DeviceNetwork *m_network;
    Options m_options;
    QTextStream *m_journal;
    QUdpSocket *m_listener;
    QUdpSocket *m_sender;
    QTimer *m_timer;
    QElapsedTimer m_clock;
    QRandomGenerator m_random;
    std::multimap<qint64, Pending> m_pending;
};

#endif // DEVSIM_DEVICESERVER_H
