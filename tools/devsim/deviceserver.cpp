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
    // Not shared: a second simulator on the same port would double every answer unnoticed.
    if (!m_listener->bind(m_options.address, m_options.port, QAbstractSocket::DontShareAddress)) {
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(m_options.address.toString())
                     .arg(m_options.port)
                     .arg(m_listener->errorString());
        return false;
    }
    if (!VsnetProtocol::forceReceiveBuffer(m_listener->socketDescriptor(), ReceiveBufferBytes)) {
        m_listener->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
    }
    // Answers leave from a loopback address of their own rather than from the broadcast address.
    if (!m_sender->bind(QHostAddress(QHostAddress::LocalHost), 0)) {
        *error = QStringLiteral("cannot open the answer socket: %1").arg(m_sender->errorString());
        return false;
    }
    return true;
}

void DeviceServer::readDatagrams()
{
    while (m_listener->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_listener->receiveDatagram();
        const QHostAddress sender = datagram.senderAddress();
        const QByteArray data = datagram.data();
        quint64 nonce = 0;
        const bool isProbe = VsnetProtocol::decodeProbe(data, &nonce);
        if (!sender.isLoopback()) {
            if (!isProbe) {
                writeJournal(
                    QStringLiteral("ignored a datagram from %1: not a loopback sender").arg(sender.toString()));
            }
            continue;
        }
        if (isProbe) {
            schedule(m_network->answersFor(data, m_clock.elapsed()), sender, quint16(datagram.senderPort()));
        } else {
            const QString line = m_network->applyCommand(data, m_clock.elapsed());
            if (!line.isEmpty()) {
                writeJournal(line);
            }
        }
    }
}

void DeviceServer::schedule(const QList<QByteArray> &answers, const QHostAddress &address, quint16 port)
{
    const qint64 now = m_clock.elapsed();
    for (const QByteArray &answer : answers) {
        const qint64 due = now + (m_options.jitterMs > 0 ? m_random.bounded(m_options.jitterMs + 1) : 0);
        for (int i = 0; i < m_options.duplicates; ++i) {
            m_pending.emplace(due, Pending {answer, address, port});
        }
    }
    if (!m_pending.empty() && !m_timer->isActive()) {
        m_timer->start(0);
    }
}

void DeviceServer::sendDue()
{
    const qint64 now = m_clock.elapsed();
    int sent = 0;
    while (!m_pending.empty() && m_pending.begin()->first <= now && (m_options.burst || sent < ChunkSize)) {
        const Pending &pending = m_pending.begin()->second;
        if (m_sender->writeDatagram(pending.datagram, pending.address, pending.port) < 0
            && m_sender->error() == QAbstractSocket::TemporaryError) {
            // The socket's send buffer is full; the same answer goes first on the next round.
            break;
        }
        m_pending.erase(m_pending.begin());
        ++sent;
    }
    if (m_pending.empty()) {
        return;
    }
    const qint64 untilNext = m_pending.begin()->first - now;
    m_timer->start(int(qMax<qint64>(untilNext, ChunkIntervalMs)));
}

void DeviceServer::writeJournal(const QString &line)
{
    *m_journal << line << '\n';
    m_journal->flush();
}
