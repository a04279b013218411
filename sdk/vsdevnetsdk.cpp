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
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <poll.h>
#endif

namespace {

// Thousands of devices answer one probe within milliseconds; the buffer has to hold them until read.
constexpr int ReceiveBufferBytes = 8 * 1024 * 1024;
// How long a search may take to notice vsnet_uninit.
constexpr int AbortPollMs = 25;
constexpr int MaxDatagramSize = 65507;
// On real links the probe is repeated at these times (ms after the first), against lost datagrams.
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

#ifdef Q_OS_WIN
// Windows sends a limited broadcast out of one adapter only, the one whose route has the lowest
// metric, whatever interface a datagram names: a socket bound to each adapter's address sends out of
// that adapter, and hears the answers that come back there.
constexpr bool SocketPerLink = true;
#else
constexpr bool SocketPerLink = false;
#endif

// Reading the interfaces costs system calls, and a batch sends hundreds of commands in a row. Kept per
// thread, since a thread may have a network namespace of its own.
constexpr qint64 InterfaceRefreshMs = 1000;

QList<QNetworkInterface> machineInterfaces()
{
    struct Snapshot
    {
        QList<QNetworkInterface> interfaces;
        QElapsedTimer age;
    };
    static QThreadStorage<Snapshot> snapshots;
    Snapshot &snapshot = snapshots.localData();
    if (!snapshot.age.isValid() || snapshot.age.hasExpired(InterfaceRefreshMs)) {
        snapshot.interfaces = QNetworkInterface::allInterfaces();
        snapshot.age.start();
    }
    return snapshot.interfaces;
}

using SocketsByAddress = std::map<QString, std::unique_ptr<QUdpSocket>>;

// Opening a socket per command costs more than the command itself; each thread keeps those of its
// last send by local address, used and deleted on that thread only.
SocketsByAddress &sendSockets()
{
    static QThreadStorage<SocketsByAddress *> sockets;
    if (!sockets.hasLocalData()) {
        sockets.setLocalData(new SocketsByAddress);
    }
    return *sockets.localData();
}

bool isInitialised()
{
    std::lock_guard<std::mutex> lock(library().mutex);
    return library().initialised;
}

// An interface a broadcast leaves by. index is 0 for a test link; name is for the debug output.
struct Link
{
    int index = 0;
    QHostAddress local;
    QString name;
    quint16 localPort = 0;
};

struct Route
{
    QHostAddress address;
    QVector<Link> links; // empty: wherever the routing table sends address
    bool realLink = false;
    bool socketPerLink = SocketPerLink;
};

QHostAddress firstIPv4(const QNetworkInterface &nic)
{
    const QList<QNetworkAddressEntry> entries = nic.addressEntries();
    for (const QNetworkAddressEntry &entry : entries) {
        if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) {
            return entry.ip();
        }
    }
    return {};
}

bool isUsable(const QNetworkInterface &nic)
{
    const QNetworkInterface::InterfaceFlags flags = nic.flags();
    if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack)
        || !flags.testFlag(QNetworkInterface::CanBroadcast)) {
        return false;
    }
    return !firstIPv4(nic).isNull();
}

void addLink(Route *route, const QNetworkInterface &nic)
{
    const bool known = std::any_of(route->links.cbegin(), route->links.cend(),
                                   [&nic](const Link &link) { return link.index == nic.index(); });
    if (!known) {
        route->links.append(Link {nic.index(), firstIPv4(nic), nic.name()});
    }
}

int broadcastRoute(Route *route)
{
    const VsnetProtocol::InterfaceChoice choice = VsnetProtocol::interfaceChoice();
    if (!choice.realLink) {
        bool ok = false;
        bool linksOk = false;
        route->address = QHostAddress(VsnetProtocol::broadcastAddress(&ok));
        const QVector<VsnetProtocol::TestLink> testLinks = VsnetProtocol::testLinks(&linksOk);
        for (const VsnetProtocol::TestLink &link : testLinks) {
            route->links.append(Link {0, QHostAddress(link.address), link.address, link.port});
        }
        route->socketPerLink = true;
        return ok && linksOk ? 0 : VSNET_ERR_INVALID_ARGUMENT;
    }
    route->realLink = true;
    route->address = QHostAddress(QHostAddress::Broadcast);
    const QList<QNetworkInterface> interfaces = machineInterfaces();
    if (choice.all) {
        for (const QNetworkInterface &nic : interfaces) {
            if (isUsable(nic)) {
                addLink(route, nic);
            }
        }
    }
    for (const QString &name : choice.names) {
        const auto found = std::find_if(interfaces.cbegin(), interfaces.cend(),
                                        [&name](const QNetworkInterface &nic) { return nic.name() == name; });
        if (found == interfaces.cend()) {
            return VSNET_ERR_NO_INTERFACE;
        }
        // One that is down or has no address is left out, so that a list keeps working while a cable
        // is out; only when none is left does the call fail.
        if (isUsable(*found)) {
            addLink(route, *found);
        }
    }
    return route->links.isEmpty() ? VSNET_ERR_NO_INTERFACE : 0;
}

// index: the interface each datagram names (0: none); name empty: the routing table's way.
struct Channel
{
    QUdpSocket *socket = nullptr;
    int index = 0;
    QString name;
};

// Linux names the outgoing interface on each datagram (IP_PKTINFO), so one socket serves every link;
// Windows needs one bound to each. Real links bypass the routing table: a laptop may have no default route.
template<typename SocketFor> QVector<Channel> channelsAlong(const Route &route, SocketFor socketFor)
{
    QVector<Channel> channels;
    if (route.links.isEmpty() || !route.socketPerLink) {
        QUdpSocket *socket = socketFor(QHostAddress(QHostAddress::AnyIPv4), 0);
        if (route.links.isEmpty()) {
            channels.append(Channel {socket, 0, QString()});
        }
        for (const Link &link : route.links) {
            channels.append(Channel {socket, link.index, link.name});
        }
        return channels;
    }
    for (const Link &link : route.links) {
        channels.append(Channel {socketFor(link.local, link.localPort), 0, link.name});
    }
    return channels;
}

// Leaves the channels whose socket is bound, and the bound sockets: a link may lose its address
// between the list and the bind, and the others still serve.
void dropUnbound(QVector<Channel> *channels, std::vector<std::unique_ptr<QUdpSocket>> *sockets)
{
    const auto unbound = [](const QUdpSocket *socket) { return socket->state() != QAbstractSocket::BoundState; };
    for (const Channel &channel : std::as_const(*channels)) {
        if (unbound(channel.socket) && !channel.name.isEmpty()) {
            qDebug("VSDevNetSDK: %s is left out of the search: %s", qPrintable(channel.name),
                   qPrintable(channel.socket->errorString()));
        }
    }
    channels->erase(std::remove_if(channels->begin(), channels->end(),
                                   [&unbound](const Channel &channel) { return unbound(channel.socket); }),
                    channels->end());
    sockets->erase(
        std::remove_if(sockets->begin(), sockets->end(),
                       [&unbound](const std::unique_ptr<QUdpSocket> &socket) { return unbound(socket.get()); }),
        sockets->end());
}

// True when at least one link took the datagram: a firewall or a card going down on one link must not
// fail what reached the others.
bool sendAlong(const QVector<Channel> &channels, const QByteArray &payload, const QHostAddress &address, quint16 port,
               QSet<const QUdpSocket *> *refused = nullptr)
{
    bool sent = false;
    for (const Channel &channel : channels) {
        QNetworkDatagram datagram(payload, address, port);
        if (channel.index != 0) {
            datagram.setInterfaceIndex(uint(channel.index));
        }
        if (channel.socket->state() == QAbstractSocket::BoundState
            && channel.socket->writeDatagram(datagram) == payload.size()) {
            sent = true;
            continue;
        }
        if (refused) {
            refused->insert(channel.socket);
        }
        if (!channel.name.isEmpty()) {
            qDebug("VSDevNetSDK: %s did not take a datagram to %s: %s", qPrintable(channel.name),
                   qPrintable(address.toString()), qPrintable(channel.socket->errorString()));
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

// Devices send hid in UTF-8; the record carries it in the local 8-bit encoding, which on Windows is
// the ANSI code page (936 on a Chinese system) rather than UTF-8.
void toLocalEncoding(VSOneDev *dev)
{
#ifdef Q_OS_WIN
    const QByteArray local =
        VsnetProtocol::encodeWithin(QString::fromUtf8(dev->hid, int(qstrnlen(dev->hid, VSNET_HID_LEN))),
                                    VSNET_HID_LEN - 1, [](const QString &text) { return text.toLocal8Bit(); });
    std::memset(dev->hid, 0, VSNET_HID_LEN);
    std::memcpy(dev->hid, local.constData(), size_t(local.size()));
#else
    Q_UNUSED(dev)
#endif
}

// QAbstractSocket::waitForReadyRead closes a socket that once failed to send, as when one interface
// refused a probe; waiting on the descriptors leaves it open. A socket the wait reports broken would
// end every later wait at once, so it leaves the wait.
void waitForDatagram(std::vector<QUdpSocket *> *waiting, int timeoutMs)
{
#ifdef Q_OS_WIN
    std::vector<WSAPOLLFD> descriptors;
    for (const QUdpSocket *socket : *waiting) {
        descriptors.push_back(WSAPOLLFD {SOCKET(socket->socketDescriptor()), POLLRDNORM, 0});
    }
    if (::WSAPoll(descriptors.data(), ULONG(descriptors.size()), timeoutMs) <= 0) {
        return;
    }
#else
    std::vector<pollfd> descriptors;
    for (const QUdpSocket *socket : *waiting) {
        descriptors.push_back(pollfd {int(socket->socketDescriptor()), POLLIN, 0});
    }
    if (::poll(descriptors.data(), nfds_t(descriptors.size()), timeoutMs) <= 0) {
        return;
    }
#endif
    for (size_t i = descriptors.size(); i-- > 0;) {
        const auto revents = descriptors[i].revents;
        if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
            const char *state = (revents & POLLNVAL) ? "it is invalid" : (revents & POLLHUP) ? "a hang-up" : "an error";
            const QUdpSocket *socket = waiting->at(i);
            qDebug("VSDevNetSDK: no longer waiting for answers on %s port %u: the socket reports %s",
                   qPrintable(socket->localAddress().toString()), unsigned(socket->localPort()), state);
            waiting->erase(waiting->begin() + std::ptrdiff_t(i));
        }
    }
}

// Keeps only the sockets that took this send: an adapter that lost its address may get it back, and
// is bound again next time.
bool sendCommand(const Route &route, const QByteArray &payload, quint16 port)
{
    SocketsByAddress &kept = sendSockets();
    SocketsByAddress used;
    const QVector<Channel> channels = channelsAlong(route, [&kept, &used](const QHostAddress &local, quint16 onPort) {
        const QString key = local.toString() + QLatin1Char(':') + QString::number(onPort);
        std::unique_ptr<QUdpSocket> &socket = used[key];
        if (!socket) {
            const auto found = kept.find(key);
            if (found != kept.end()) {
                socket = std::move(found->second);
            } else {
                socket = std::make_unique<QUdpSocket>();
                // IPv4 from the start: left to bind itself on first use, it binds dual-stack, and such
                // a socket cannot send an IPv4 datagram that names its interface.
                socket->bind(local, onPort);
            }
        }
        return socket.get();
    });
    QSet<const QUdpSocket *> refused;
    const bool sent = sendAlong(channels, payload, route.address, port, &refused);
    for (auto it = used.begin(); it != used.end();) {
        it = refused.contains(it->second.get()) ? used.erase(it) : std::next(it);
    }
    kept = std::move(used);
    return sent;
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
    const bool realLink = route.realLink;

    std::vector<std::unique_ptr<QUdpSocket>> sockets;
    QVector<Channel> channels = channelsAlong(route, [&sockets](const QHostAddress &local, quint16 localPort) {
        auto socket = std::make_unique<QUdpSocket>();
        if (socket->bind(local, localPort)
            && !VsnetProtocol::forceReceiveBuffer(socket->socketDescriptor(), ReceiveBufferBytes)) {
            socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
        }
        sockets.push_back(std::move(socket));
        return sockets.back().get();
    });
    dropUnbound(&channels, &sockets);
    if (sockets.empty()) {
        return VSNET_ERR_SOCKET;
    }

    const quint64 nonce = QRandomGenerator::global()->generate64();
    const QByteArray probe = VsnetProtocol::encodeProbe(nonce);
    if (!sendAlong(channels, probe, route.address, port)) {
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
    std::vector<QUdpSocket *> waiting;
    for (const auto &socket : sockets) {
        waiting.push_back(socket.get());
    }
    while (!aborted()) {
        for (const auto &socket : sockets) {
            while (socket->hasPendingDatagrams() && !aborted()) {
                const qint64 size = socket->readDatagram(buffer.data(), buffer.size());
                VSOneDev dev;
                if (size < 0
                    || !VsnetProtocol::decodeAnswer(QByteArray::fromRawData(buffer.constData(), int(size)), nonce,
                                                    &dev)) {
                    continue;
                }
                const QByteArray key = reportKey(dev, realLink);
                if (reported.contains(key)) {
                    continue;
                }
                reported.insert(key);
                toLocalEncoding(&dev);
                cb(&dev, context);
                ++count;
            }
        }
        if (!repeats.isEmpty() && sinceProbe.elapsed() >= repeats.first()) {
            // A repeat that the network does not take is not worth ending the search for.
            sendAlong(channels, probe, route.address, port);
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
        if (waiting.empty()) {
            // Nothing more can be heard: what was reported is only part of the answers.
            return aborted() ? VSNET_ERR_ABORTED : VSNET_ERR_SOCKET;
        }
        waitForDatagram(&waiting, int(waitMs));
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
    return sendCommand(route, payload, port) ? 0 : VSNET_ERR_SOCKET;
}
