#include "VSDevNetSDK.h"
#include "protocol.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QSet>
#include <QThreadStorage>
#include <QUdpSocket>
#include <QVariant>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>

namespace {

// Thousands of devices answer one probe within milliseconds; the buffer has to hold them until read.
constexpr int ReceiveBufferBytes = 8 * 1024 * 1024;
// How long a search may take to notice vsnet_uninit.
constexpr int AbortPollMs = 25;
constexpr int MaxDatagramSize = 65507;

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
        sockets.setLocalData(new QUdpSocket);
    }
    return sockets.localData();
}

bool isInitialised()
{
    std::lock_guard<std::mutex> lock(library().mutex);
    return library().initialised;
}

int runSearch(VSNetSearchCallback cb, void *context, quint64 generation)
{
    bool addressOk = false;
    bool portOk = false;
    bool windowOk = false;
    const QHostAddress address(VsnetProtocol::broadcastAddress(&addressOk));
    const quint16 port = VsnetProtocol::port(&portOk);
    const int windowMs = VsnetProtocol::searchMs(&windowOk);
    if (!addressOk || !portOk || !windowOk) {
        return VSNET_ERR_INVALID_ARGUMENT;
    }

    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QHostAddress::AnyIPv4), 0)) {
        return VSNET_ERR_SOCKET;
    }
    if (!VsnetProtocol::forceReceiveBuffer(socket.socketDescriptor(), ReceiveBufferBytes)) {
        socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
    }

    const quint64 nonce = QRandomGenerator::global()->generate64();
    const QByteArray probe = VsnetProtocol::encodeProbe(nonce);
    if (socket.writeDatagram(probe, address, port) != probe.size()) {
        return VSNET_ERR_SOCKET;
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
            const QByteArray record(reinterpret_cast<const char *>(&dev), sizeof dev);
            if (reported.contains(record)) {
                continue;
            }
            reported.insert(record);
            cb(&dev, context);
            ++count;
        }
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0) {
            break;
        }
        socket.waitForReadyRead(int(qMin<qint64>(remaining, AbortPollMs)));
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
    bool addressOk = true;
    bool portOk = false;
    const QByteArray given(address);
    const QByteArray target =
        given == "255.255.255.255" ? VsnetProtocol::broadcastAddress(&addressOk).toLatin1() : given;
    const quint16 port = VsnetProtocol::port(&portOk);
    const QByteArray payload(json);
    if (!addressOk || !portOk || !VsnetProtocol::isDottedIPv4(target) || payload.size() > MaxDatagramSize) {
        return VSNET_ERR_INVALID_ARGUMENT;
    }

    return sendSocket()->writeDatagram(payload, QHostAddress(QString::fromLatin1(target)), port) == payload.size()
        ? 0
        : VSNET_ERR_SOCKET;
}
