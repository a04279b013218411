#ifndef BRELO_BENCH_MEASURE_H
#define BRELO_BENCH_MEASURE_H

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVector>

class QTimer;

// CPU time of the calling thread, in milliseconds.
double threadCpuMs();
// Peak resident set since the last reset, in MiB; the reset is best effort.
double peakRssMiB();
void resetPeakRss();
// Resident set now, in MiB.
double rssMiB();

// Median and spread of repeated figures.
QString summary(QVector<double> values, int decimals = 1);

// Ticks a precise 5 ms timer on the calling thread and keeps the largest gap between two ticks.
class StallMeter : public QObject
{
    Q_OBJECT

public:
    explicit StallMeter(QObject *parent = nullptr);
    void start();
    double stop();

private:
    void tick();

    QTimer *m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_worstNs = 0;
};

#endif // BRELO_BENCH_MEASURE_H
