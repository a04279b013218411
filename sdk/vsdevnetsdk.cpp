#include "VSDevNetSDK.h"
#include "protocol.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QSet>
#include <QThreadStorage>
#include <QUdpSocket>
#include <QVariant>
#include <QVector>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace {

// Thousands of devices answer one probe within milliseconds; the buffer has to hold them until read.
constexpr int ReceiveBufferBytes = 8 * 1024 * 1024;
// How long a search may take to notice vsnet_uninit.
constexpr int AbortPollMs = 25;
constexpr int MaxDatagramSize = 65507;
// On real links the probe goes out again at these times (ms after the first) that fall inside the
// window: at 10 % loss each way one probe misses a device one time in five, four probes about one
// time in eight hundred.
constexpr int ProbeRepeatMs[] = {250, 750, 1500};

struct Library
{
    std::mutex mutex;
    std::condition_variable searchEnded;
    bool initialised = false;
    // Bumped by every vsnet_uninit: a search that started under an older generation must stop.
    std::atomic<quint64> generation {0};
    // Generations of the searches still running.
    std::multiset<quint64> running;
};

Library &library()
{
    static Library lib;
    return lib;
}

// Counts a search as running for vsnet_uninit; created with the library's mutex held.
class SearchRegistration
{
public:
    explicit SearchRegistration(quint64 generation)
        : m_generation(generation)
    {
        library().running.insert(generation);
    }
    ~SearchRegistration()
    {
        Library &lib = library();
        {
            std::lock_guard<std::mutex> lock(lib.mutex);
            lib.running.erase(lib.running.find(m_generation));
        }
        lib.searchEnded.notify_all();
    }
    SearchRegistration(const SearchRegistration &) = delete;
    SearchRegistration &operator=(const SearchRegistration &) = delete;

private:
    quint64 m_generation;
};

// Opening a socket per command costs more than building and sending the command; each thread keeps
// one for its sends, used and deleted on that thread only.
QUdpSocket *sendSocket()
{
    static QThreadStorage<QUdpSocket *> sockets;
    if (!sockets.hasLocalData()) {
        auto *socket = new QUdpSocket;
        // IPv4 from the start: left to bind itself on first use, it binds dual-stack, and such a
        // socket cannot send an IPv4 datagram that names its interface.
        socket->bind(QHostAddress(QHostAddress::AnyIPv4), 0);
        sockets.setLocalData(socket);
    }
    return sockets.localData();
}

bool isInitialised()
{
    std::lock_guard<std::mutex> lock(library().mutex);
    return library().initialised;
}

// Where a datagram goes. Probes and commands for "255.255.255.255" go to the configured broadcast
// address in loopback mode, or as a limited broadcast out of each chosen interface on real links.
struct Route
{
    QHostAddress address;
    QVector<int> interfaces; // empty: wherever the routing table sends address
};

bool isUsable(const QNetworkInterface &interface)
{
    const QNetworkInterface::InterfaceFlags flags = interface.flags();
    if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack)
        || !flags.testFlag(QNetworkInterface::CanBroadcast)) {
        return false;
    }
    const QList<QNetworkAddressEntry> entries = interface.addressEntries();
    return std::any_of(entries.cbegin(), entries.cend(), [](const QNetworkAddressEntry &entry) {
        return entry.ip().protocol() == QAbstractSocket::IPv4Protocol;
    });
}

int broadcastRoute(Route *route)
{
    const VsnetProtocol::InterfaceChoice choice = VsnetProtocol::interfaceChoice();
    if (!choice.realLink) {
        bool ok = false;
        route->address = QHostAddress(VsnetProtocol::broadcastAddress(&ok));
        return ok ? 0 : VSNET_ERR_INVALID_ARGUMENT;
    }
    route->address = QHostAddress(QHostAddress::Broadcast);
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    if (choice.all) {
        for (const QNetworkInterface &interface : interfaces) {
            if (isUsable(interface)) {
                route->interfaces.append(interface.index());
            }
        }
    }
    for (const QString &name : choice.names) {
        const auto found =
            std::find_if(interfaces.cbegin(), interfaces.cend(),
                         [&name](const QNetworkInterface &interface) { return interface.name() == name; });
        if (found == interfaces.cend()) {
            return VSNET_ERR_NO_INTERFACE;
        }
        // One that is down or has no address is left out, so that a list keeps working while a cable
        // is out; only when none is left does the call fail.
        if (isUsable(*found) && !route->interfaces.contains(found->index())) {
            route->interfaces.append(found->index());
        }
    }
    return route->interfaces.isEmpty() ? VSNET_ERR_NO_INTERFACE : 0;
}

// The outgoing interface is set on each datagram (IP_PKTINFO) rather than left to the routing table:
// a laptop may have no default route, and a limited broadcast must leave by every chosen interface,
// not by one. True when the network took the datagram, on real links by at least one interface: a
// firewall or a card going down on one link must not fail what reached the others.
bool sendAlong(QUdpSocket *socket, const QByteArray &payload, const Route &route, quint16 port)
{
    if (route.interfaces.isEmpty()) {
        return socket->writeDatagram(payload, route.address, port) == payload.size();
    }
    bool sent = false;
    for (int index : route.interfaces) {
        QNetworkDatagram datagram(payload, route.address, port);
        datagram.setInterfaceIndex(uint(index));
        if (socket->writeDatagram(datagram) == payload.size()) {
            sent = true;
        } else {
            qDebug("VSDevNetSDK: %s did not take a datagram to %s: %s",
                   qPrintable(QNetworkInterface::interfaceNameFromIndex(index)), qPrintable(route.address.toString()),
                   qPrintable(socket->errorString()));
        }
    }
    return sent;
}

// A device heard on two interfaces, or answering several probes, is one device, shown again only when
// it answers from another address, as one that took a new address during the search does. On loopback
// a differing answer under the same MAC still shows, as the devices sent it.
QByteArray reportKey(const VSOneDev &dev, bool realLink)
{
    if (!realLink) {
        return QByteArray(reinterpret_cast<const char *>(&dev), sizeof dev);
    }
    return QByteArray(reinterpret_cast<const char *>(dev.mac), VSNET_MAC_LEN)
        + QByteArray(dev.ip, int(qstrnlen(dev.ip, VSNET_IP_LEN)));
}

// QAbstractSocket::waitForReadyRead closes a socket that once failed to send, as when one interface
// refused a probe; the search would then hear nothing more. Waiting on the descriptor leaves it open.
void waitForDatagram(QUdpSocket &socket, int timeoutMs)
{
#ifdef Q_OS_UNIX
    pollfd descriptor {int(socket.socketDescriptor()), POLLIN, 0};
    ::poll(&descriptor, 1, timeoutMs);
#else
    socket.waitForReadyRead(timeoutMs);
#endif
}

int runSearch(VSNetSearchCallback cb, void *context, quint64 generation)
{
    bool portOk = false;
    bool windowOk = false;
    Route route;
    const int routeResult = broadcastRoute(&route);
    const quint16 port = VsnetProtocol::port(&portOk);
    const int windowMs = VsnetProtocol::searchMs(&windowOk);
    if (!portOk || !windowOk) {
        return VSNET_ERR_INVALID_ARGUMENT;
    }
    if (routeResult != 0) {
        return routeResult;
    }
    const bool realLink = !route.interfaces.isEmpty();

    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QHostAddress::AnyIPv4), 0)) {
        return VSNET_ERR_SOCKET;
    }
    if (!VsnetProtocol::forceReceiveBuffer(socket.socketDescriptor(), ReceiveBufferBytes)) {
        socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
    }

    const quint64 nonce = QRandomGenerator::global()->generate64();
    const QByteArray probe = VsnetProtocol::encodeProbe(nonce);
    if (!sendAlong(&socket, probe, route, port)) {
        return VSNET_ERR_SOCKET;
    }
    QElapsedTimer sinceProbe;
    sinceProbe.start();
    QVector<int> repeats;
    for (int atMs : ProbeRepeatMs) {
        if (realLink && atMs < windowMs) {
            repeats.append(atMs);
        }
    }

    const Library &lib = library();
    const auto aborted = [&lib, generation] { return lib.generation.load() != generation; };
    const QDeadlineTimer deadline(windowMs);
    // One byte more than an answer may have, so that a longer datagram is seen as too long.
    QByteArray buffer(VsnetProtocol::MaxAnswerSize + 1, Qt::Uninitialized);
    QSet<QByteArray> reported;
    int count = 0;
    while (!aborted()) {
        while (socket.hasPendingDatagrams() && !aborted()) {
            const qint64 size = socket.readDatagram(buffer.data(), buffer.size());
            VSOneDev dev;
            if (size < 0
                || !VsnetProtocol::decodeAnswer(QByteArray::fromRawData(buffer.constData(), int(size)), nonce, &dev)) {
                continue;
            }
            const QByteArray key = reportKey(dev, realLink);
            if (reported.contains(key)) {
                continue;
            }
            reported.insert(key);
            cb(&dev, context);
            ++count;
        }
        if (!repeats.isEmpty() && sinceProbe.elapsed() >= repeats.first()) {
            // A repeat that the network does not take is not worth ending the search for.
            sendAlong(&socket, probe, route, port);
            repeats.removeFirst();
        }
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0) {
            break;
        }
        qint64 waitMs = qMin<qint64>(remaining, AbortPollMs);
        if (!repeats.isEmpty()) {
            waitMs = qBound<qint64>(0, repeats.first() - sinceProbe.elapsed(), waitMs);
        }
        waitForDatagram(socket, int(waitMs));
    }
    return aborted() ? VSNET_ERR_ABORTED : count;
}

} // namespace

int vsnet_init(void)
{
    std::lock_guard<std::mutex> lock(library().mutex);
    library().initialised = true;
    return 0;
}

int vsnet_uninit(void)
{
    Library &lib = library();
    std::unique_lock<std::mutex> lock(lib.mutex);
    if (lib.initialised) {
        lib.initialised = false;
        ++lib.generation;
    }
    // Searches begun after a later vsnet_init are not ours to wait for.
    const quint64 current = lib.generation.load();
    lib.searchEnded.wait(lock, [&lib, current] { return lib.running.empty() || *lib.running.begin() >= current; });
    return 0;
}

int vsnet_search(VSNetSearchCallback cb, void *context)
{
    if (!cb) {
        return VSNET_ERR_INVALID_ARGUMENT;
    }
    Library &lib = library();
    std::unique_lock<std::mutex> lock(lib.mutex);
    if (!lib.initialised) {
        return VSNET_ERR_NOT_INITIALISED;
    }
    const quint64 generation = lib.generation.load();
    SearchRegistration registration(generation);
    lock.unlock();
    return runSearch(cb, context, generation);
}

int vsnet_send_json_msg(const char *address, const char *json)
{
    if (!address || !json) {
        return VSNET_ERR_INVALID_ARGUMENT;
    }
    if (!isInitialised()) {
        return VSNET_ERR_NOT_INITIALISED;
    }
    bool portOk = false;
    const QByteArray given(address);
    const quint16 port = VsnetProtocol::port(&portOk);
    const QByteArray payload(json);
    if (!portOk || payload.size() > MaxDatagramSize) {
        return VSNET_ERR_INVALID_ARGUMENT;
    }

    Route route;
    if (given == "255.255.255.255") {
        const int routeResult = broadcastRoute(&route);
        if (routeResult != 0) {
            return routeResult;
        }
    } else if (VsnetProtocol::isDottedIPv4(given)) {
        // A unicast address takes the routing table's way, in either mode.
        route.address = QHostAddress(QString::fromLatin1(given));
    } else {
        return VSNET_ERR_INVALID_ARGUMENT;
    }
    return sendAlong(sendSocket(), payload, route, port) ? 0 : VSNET_ERR_SOCKET;
}
