#include "measure.h"

#include <QFile>
#include <QTimer>

#include <algorithm>
#include <ctime>

double threadCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

namespace {

double statusMiB(const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    return 0;
}

} // namespace

double peakRssMiB()
{
    return statusMiB("VmHWM:");
}

double rssMiB()
{
    return statusMiB("VmRSS:");
}

void resetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) {
        clear.write("5");
    }
}

QString summary(QVector<double> values, int decimals)
{
    if (values.isEmpty()) {
        return QStringLiteral("n/a");
    }
    std::sort(values.begin(), values.end());
    const double median = values.size() % 2 ? values.at(values.size() / 2)
                                            : (values.at(values.size() / 2 - 1) + values.at(values.size() / 2)) / 2;
    return QStringLiteral("median %1 (min %2, max %3, n=%4)")
        .arg(median, 0, 'f', decimals)
        .arg(values.constFirst(), 0, 'f', decimals)
        .arg(values.constLast(), 0, 'f', decimals)
        .arg(values.size());
}

StallMeter::StallMeter(QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(5);
    connect(m_timer, &QTimer::timeout, this, &StallMeter::tick);
}

void StallMeter::start()
{
    m_clock.start();
    m_lastNs = 0;
    m_worstNs = 0;
    m_timer->start();
}

double StallMeter::stop()
{
    tick();
    m_timer->stop();
    return m_worstNs / 1e6;
}

void StallMeter::tick()
{
    const qint64 now = m_clock.nsecsElapsed();
    m_worstNs = std::max(m_worstNs, now - m_lastNs);
    m_lastNs = now;
}
