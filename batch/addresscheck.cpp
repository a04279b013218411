#include "batch/addresscheck.h"

#include <QTimer>

#include <utility>

AddressCheck::AddressCheck(QObject *parent)
    : QObject(parent)
    , m_waits({3000, 10000, 30000})
    , m_pause(new QTimer(this))
{
    m_pause->setSingleShot(true);
    connect(m_pause, &QTimer::timeout, this, &AddressCheck::searchWanted);
}

void AddressCheck::setWaits(const QVector<int> &waitsMs)
{
    m_waits = waitsMs;
}

void AddressCheck::start(const QVector<CheckedDevice> &commands)
{
    m_record.begin(commands);
    setRound(checkedDevicesOf(commands));
}

void AddressCheck::startResend(const QVector<CheckedDevice> &devices)
{
    if (m_record.isEmpty()) {
        return;
    }
    m_record.recordResend(devices);
    setRound(devices);
}

void AddressCheck::setRound(const QVector<CheckedDevice> &devices)
{
    m_pause->stop();
    m_offer.clear();
    m_round = devices;
    for (CheckedDevice &device : m_round) {
        device.taken = false;
        device.seenAt.clear();
    }
    m_searches = 0;
    m_running = true;
    updateWaiting();
    emit outcomesChanged();
}

void AddressCheck::cancel()
{
    m_pause->stop();
    m_offer.clear();
    const bool wasRunning = std::exchange(m_running, false);
    m_round.clear();
    updateWaiting();
    if (wasRunning) {
        emit outcomesChanged();
    }
}

void AddressCheck::endRecord()
{
    cancel();
    if (!m_record.isEmpty()) {
        m_record.clear();
        emit outcomesChanged();
    }
}

void AddressCheck::searchStarted()
{
    m_pause->stop();
}

void AddressCheck::searchEnded(int result, const QVector<DeviceAddress> &found)
{
    // A failed search says nothing about the devices; its own line tells what happened.
    if (result < 0) {
        cancel();
        return;
    }
    if (m_record.isEmpty()) {
        return;
    }
    m_record.recordSearch(found);
    if (m_running) {
        m_pause->stop();
        ++m_searches;
        recordSearch(m_round, found);
        const int waitMs = nextCheckWait(m_round, m_waits, m_searches);
        if (waitMs >= 0) {
            emit message(checkProgress(m_round, waitMs));
            m_pause->start(waitMs);
        } else {
            finish();
        }
        updateWaiting();
    }
    emit outcomesChanged();
}

void AddressCheck::finish()
{
    m_running = false;
    const QVector<CheckedDevice> round = std::exchange(m_round, {});
    for (const QString &line : checkReport(round)) {
        emit message(line);
    }
    m_record.recordCheck(round);
    m_offer = devicesNotTaken(round);
    if (m_offer.isEmpty()) {
        return;
    }
    // Not from within the search's end: the question's modal loop, and a resend's new search, must
    // not run inside that emission.
    const QString question = resendQuestion(round);
    QTimer::singleShot(0, this, [this, question] {
        if (!m_offer.isEmpty()) {
            emit resendOffered(question, std::exchange(m_offer, {}));
        }
    });
}

void AddressCheck::updateWaiting()
{
    m_waiting.clear();
    if (!m_running) {
        return;
    }
    for (const CheckedDevice &device : std::as_const(m_round)) {
        if (isWaitedFor(device)) {
            m_waiting.insert(device.mac);
        }
    }
}

DeviceOutcome AddressCheck::shownOutcome(const QString &mac) const
{
    if (!m_record.isTaken(mac) && m_waiting.contains(mac)) {
        return {};
    }
    return m_record.outcome(mac);
}
