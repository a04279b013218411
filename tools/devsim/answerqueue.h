#ifndef DEVSIM_ANSWERQUEUE_H
#define DEVSIM_ANSWERQUEUE_H

#include <QByteArray>
#include <QtGlobal>

#include <map>
#include <tuple>

// The answers waiting to be sent, earliest due first. A device has at most one answer, with its
// copies, waiting per probe and prober: a probe repeated while its answers are still on their way
// adds answers only for the devices that have none waiting, so that a searcher that probes again
// against lost datagrams does not pile up a full set of answers with every probe.
class AnswerQueue
{
public:
    // Who asked: the prober's IPv4 address and port, and the probe's nonce.
    struct Probe
    {
        quint32 prober = 0;
        quint16 port = 0;
        quint64 nonce = 0;
    };

    struct Answer
    {
        QByteArray datagram;
        // Where it goes: the prober, or a broadcast address.
        quint32 address = 0;
        quint16 port = 0;
    };

    // Whether copies of the device's answer to this probe are still queued.
    bool isWaiting(const Probe &probe, int device) const;
    void add(const Probe &probe, int device, qint64 dueMs, const Answer &answer, int copies);

    bool isEmpty() const { return m_queue.empty(); }
    int size() const { return int(m_queue.size()); }
    // The earliest answer and when it is due; only when not empty.
    const Answer &next() const { return m_queue.begin()->second.answer; }
    qint64 nextDueMs() const { return m_queue.begin()->first; }
    void removeNext();

private:
    using Key = std::tuple<quint32, quint16, quint64, int>;

    struct Entry
    {
        Answer answer;
        Key key;
    };

    static Key keyOf(const Probe &probe, int device) { return Key(probe.prober, probe.port, probe.nonce, device); }

    std::multimap<qint64, Entry> m_queue;
    // Copies waiting per probe and device.
    std::map<Key, int> m_waiting;
};

#endif // DEVSIM_ANSWERQUEUE_H
