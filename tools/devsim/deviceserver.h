#ifndef DEVSIM_DEVICESERVER_H
#define DEVSIM_DEVICESERVER_H

#include "answerqueue.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QRandomGenerator>

class DeviceNetwork;
class QTextStream;
class QTimer;
class QUdpSocket;

// Puts a DeviceNetwork on the wire: takes probes and commands on the listening address and sends
// the answers back to the prober, paced so that a searcher's receive buffer is not overrun. On loopback
// it serves loopback senders only; on a real link, whatever arrives by that interface, and answers a
// prober outside a device's own subnet by a limited broadcast there, as such a device must.
class DeviceServer : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QHostAddress address;
        quint16 port = 0; // 0: one the system picks
        // The real link's interface; 0 serves loopback on address.
        int interfaceIndex = 0;
        int duplicates = 1;
        // Listens beside other simulators that share the port too, each answering for its own devices.
        bool sharePort = false;
        bool burst = false;
        int jitterMs = 0;
        // Chances that a device does not hear a probe, and that an answer is lost on its way.
        double dropProbes = 0.0;
        double dropAnswers = 0.0;
        quint32 seed = 1;
    };

    DeviceServer(DeviceNetwork *network, const Options &options, QTextStream *journal, QObject *parent = nullptr);

    bool start(QString *error);
    // The port listened on, once started.
    quint16 port() const;

private:
    void readDatagrams();
    void answerProbe(const QByteArray &probe, const QHostAddress &prober, quint16 port);
    qint64 send(const AnswerQueue::Answer &answer);
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
    AnswerQueue m_pending;
};

#endif // DEVSIM_DEVICESERVER_H
