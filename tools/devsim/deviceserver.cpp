#include "deviceserver.h"

#include "devicenetwork.h"
#include "protocol.h"

#include <QNetworkDatagram>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>
#include <QVariant>

namespace {

// Paced sending: at most ChunkSize answers every ChunkIntervalMs, a rate at which a searcher with a
// few MiB of receive buffer keeps up with ten thousand devices.
constexpr int ChunkSize = 200;
constexpr int ChunkIntervalMs = 2;
// Commands arrive back to back when many devices are configured at once.
constexpr int ReceiveBufferBytes = 8 * 1024 * 1024;

} // namespace

DeviceServer::DeviceServer(DeviceNetwork *network, const Options &options, QTextStream *journal, QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_options(options)
    , m_journal(journal)
    , m_listener(new QUdpSocket(this))
    , m_sender(new QUdpSocket(this))
    , m_timer(new QTimer(this))
    , m_random(options.seed)
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &DeviceServer::sendDue);
    connect(m_listener, &QUdpSocket::readyRead, this, &DeviceServer::readDatagrams);
    m_clock.start();
}

bool DeviceServer::start(QString *error)
{
    const bool realLink = m_options.interfaceIndex != 0;
    // Not shared unless asked: a second simulator on the same port would double every answer unnoticed.
    const QHostAddress address = realLink ? QHostAddress(QHostAddress::AnyIPv4) : m_options.address;
    // Sharing is SO_REUSEADDR, which Qt sets through ShareAddress on Unix and ReuseAddressHint on Windows.
    const QAbstractSocket::BindMode mode = m_options.sharePort
        ? QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint
        : QAbstractSocket::BindMode(QAbstractSocket::DontShareAddress);
    if (!m_listener->bind(address, m_options.port, mode)) {
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(address.toString())
                     .arg(m_options.port)
                     .arg(m_listener->errorString());
        return false;
    }
    if (!VsnetProtocol::forceReceiveBuffer(m_listener->socketDescriptor(), ReceiveBufferBytes)) {
        m_listener->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
    }
    // Answers leave from an address of their own rather than from the broadcast address; on a real
    // link the interface is named with each datagram.
    if (!m_sender->bind(QHostAddress(realLink ? QHostAddress::AnyIPv4 : QHostAddress::LocalHost), 0)) {
        *error = QStringLiteral("cannot open the answer socket: %1").arg(m_sender->errorString());
        return false;
    }
    return true;
}

quint16 DeviceServer::port() const
{
    return m_listener->localPort();
}

void DeviceServer::readDatagrams()
{
    while (m_listener->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_listener->receiveDatagram();
        const QHostAddress sender = datagram.senderAddress();
        const QByteArray data = datagram.data();
        quint64 nonce = 0;
        const bool isProbe = VsnetProtocol::decodeProbe(data, &nonce);
        const bool served = m_options.interfaceIndex == 0 ? sender.isLoopback()
                                                          : datagram.interfaceIndex() == uint(m_options.interfaceIndex);
        if (!served) {
            if (!isProbe) {
                writeJournal(QStringLiteral("ignored a datagram from %1: %2")
                                 .arg(sender.toString(),
                                      m_options.interfaceIndex == 0 ? QStringLiteral("not a loopback sender")
                                                                    : QStringLiteral("not from the served interface")));
            }
            continue;
        }
        if (isProbe) {
            answerProbe(data, sender, quint16(datagram.senderPort()));
        } else {
            const QString line = m_network->applyCommand(data, m_clock.elapsed());
            if (!line.isEmpty()) {
                writeJournal(line);
            }
        }
    }
}

void DeviceServer::answerProbe(const QByteArray &probe, const QHostAddress &prober, quint16 port)
{
    AnswerQueue::Probe asked {prober.toIPv4Address(), port, 0};
    VsnetProtocol::decodeProbe(probe, &asked.nonce);
    const qint64 now = m_clock.elapsed();
    const quint32 broadcast = QHostAddress(QHostAddress::Broadcast).toIPv4Address();
    for (int i = 0; i < m_network->devices().size(); ++i) {
        if (!m_network->isUp(i, now)
            || (m_options.dropProbes > 0 && m_random.generateDouble() < m_options.dropProbes)) {
            continue;
        }
        const bool unicast = m_options.interfaceIndex == 0 || m_network->sharesSubnet(i, asked.prober);
        const qint64 due = now + (m_options.jitterMs > 0 ? m_random.bounded(m_options.jitterMs + 1) : 0);
        int copies = 0;
        for (int copy = 0; copy < m_options.duplicates; ++copy) {
            if (m_options.dropAnswers <= 0 || m_random.generateDouble() >= m_options.dropAnswers) {
                ++copies;
            }
        }
        // A repeated probe finds this device's answer still queued: one on its way is enough. The random
        // draws above go on all the same, so that a seed drops what it always dropped.
        if (copies > 0 && !m_pending.isWaiting(asked, i)) {
            m_pending.add(asked, i, due,
                          {m_network->answerOf(i, asked.nonce), unicast ? asked.prober : broadcast, port}, copies);
        }
    }
    if (!m_pending.isEmpty() && !m_timer->isActive()) {
        m_timer->start(0);
    }
}

qint64 DeviceServer::send(const AnswerQueue::Answer &answer)
{
    const QHostAddress address(answer.address);
    if (m_options.interfaceIndex == 0) {
        return m_sender->writeDatagram(answer.datagram, address, answer.port);
    }
    // On a real link every answer leaves by the served interface, whatever the routing table says:
    // a device moved into another subnet has no route back, yet shares the link.
    QNetworkDatagram datagram(answer.datagram, address, answer.port);
    datagram.setInterfaceIndex(uint(m_options.interfaceIndex));
    return m_sender->writeDatagram(datagram);
}

void DeviceServer::sendDue()
{
    const qint64 now = m_clock.elapsed();
    int sent = 0;
    while (!m_pending.isEmpty() && m_pending.nextDueMs() <= now && (m_options.burst || sent < ChunkSize)) {
        if (send(m_pending.next()) < 0 && m_sender->error() == QAbstractSocket::TemporaryError) {
            // The socket's send buffer is full; the same answer goes first on the next round.
            break;
        }
        m_pending.removeNext();
        ++sent;
    }
    if (m_pending.isEmpty()) {
        return;
    }
    const qint64 untilNext = m_pending.nextDueMs() - now;
    m_timer->start(int(qMax<qint64>(untilNext, ChunkIntervalMs)));
}

void DeviceServer::writeJournal(const QString &line)
{
    *m_journal << line << '\n';
    m_journal->flush();
}
