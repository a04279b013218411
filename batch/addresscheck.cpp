#include "batch/addresscheck.h"

#include <QApplication>
#include <QTimer>

#include <utility>

namespace {

constexpr int HeldRecheckMs = 250;

// The boxes have no parent window, so any modal widget counts: the search would empty the table
// under a dialog or an open menu ("复制" would copy part of a list), the question stand over them.
bool windowHoldsCheck()
{
    return QApplication::activeModalWidget() || QApplication::activePopupWidget();
}

} // namespace

AddressCheck::AddressCheck(QObject *parent)
    : QObject(parent)
    , m_waits({3000, 10000, 30000})
    , m_pause(new QTimer(this))
    , m_offerDelay(new QTimer(this))
{
    m_pause->setSingleShot(true);
    connect(m_pause, &QTimer::timeout, this, &AddressCheck::searchWhenFree);
    m_offerDelay->setSingleShot(true);
    connect(m_offerDelay, &QTimer::timeout, this, &AddressCheck::offerWhenFree);
}

void AddressCheck::setWaits(const QVector<int> &waitsMs)
{
    m_waits = waitsMs;
}

void AddressCheck::beginRecord(const QVector<CheckedDevice> &commands)
{
    cancel();
    m_record.begin(commands);
    emit outcomesChanged();
}

void AddressCheck::start()
{
    if (!m_record.isEmpty()) {
        setRound(m_record.macs());
    }
}

void AddressCheck::startResend(const QVector<CheckedDevice> &devices)
{
    if (m_record.isEmpty()) {
        return;
    }
    m_record.recordSends(devices);
    QSet<QString> macs;
    for (const CheckedDevice &device : devices) {
        macs.insert(device.mac);
    }
    setRound(macs);
}

void AddressCheck::setRound(const QSet<QString> &macs)
{
    m_pause->stop();
    m_offerDelay->stop();
    m_offer.clear();
    m_round = macs;
    m_searches = 0;
    m_running = true;
    emit outcomesChanged();
}

void AddressCheck::cancel()
{
    m_pause->stop();
    m_offerDelay->stop();
    m_offer.clear();
    m_round.clear();
    if (std::exchange(m_running, false)) {
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

void AddressCheck::endForNewBatch()
{
    if (m_running) {
        const QVector<CheckedDevice> round = m_record.devices(m_round);
        if (Batch::waitingCount(round) > 0) {
            emit message(Batch::checkSuperseded(round));
        }
    }
    endRecord();
}

void AddressCheck::searchStarted()
{
    m_pause->stop();
}

void AddressCheck::searchEnded(int result, const QVector<DeviceAddress> &found)
{
    if (m_record.isEmpty()) {
        return;
    }
    // To a round, a failed search is one that saw none of its devices.
    if (result >= 0) {
        m_record.recordSearch(found);
    }
    if (m_running) {
        m_pause->stop();
        ++m_searches;
        const QVector<CheckedDevice> round = m_record.devices(m_round);
        const int waitMs = Batch::nextCheckWait(round, m_waits, m_searches);
        if (waitMs >= 0) {
            emit message(Batch::checkProgress(round, waitMs));
            m_pause->start(waitMs);
        } else if (result < 0 && Batch::waitingCount(round) > 0) {
            // The devices not taken keep what they showed before this round.
            m_running = false;
            m_round.clear();
            emit message(Batch::checkAborted(round));
        } else {
            finish(round);
        }
    }
    emit outcomesChanged();
}

void AddressCheck::finish(const QVector<CheckedDevice> &round)
{
    m_running = false;
    m_record.recordCheck(std::exchange(m_round, {}));
    for (const QString &line : Batch::checkReport(round)) {
        emit message(line);
    }
    m_offer = Batch::devicesToResend(round);
    if (!m_offer.isEmpty()) {
        // The question's modal loop, and a resend's search, must not run inside the search's end.
        m_question = Batch::resendQuestion(round);
        m_offerDelay->start(0);
    }
}

void AddressCheck::searchWhenFree()
{
    if (windowHoldsCheck()) {
        m_pause->start(HeldRecheckMs);
        return;
    }
    emit searchWanted();
}

void AddressCheck::offerWhenFree()
{
    if (windowHoldsCheck()) {
        m_offerDelay->start(HeldRecheckMs);
        return;
    }
    if (!m_offer.isEmpty()) {
        emit resendOffered(m_question, std::exchange(m_offer, {}));
    }
}

DeviceOutcome AddressCheck::shownOutcome(const QString &mac) const
{
    if (m_running && m_round.contains(mac)) {
        const CheckedDevice *device = m_record.device(mac);
        if (device && Batch::isWaitedFor(*device)) {
            return {};
        }
    }
    return m_record.outcome(mac);
}
