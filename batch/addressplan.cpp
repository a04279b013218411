#include "batch/addressplan.h"

#include <QSet>

QStringList planAddresses(const QString &startIp, int count)
{
    int counter = startIp.split(QLatin1Char('.')).value(3).toInt();
    const QString prefix = startIp.left(startIp.lastIndexOf(QLatin1Char('.')) + 1);

    QStringList plan;
    plan.reserve(count);
    for (int i = 0; i < count; ++i) {
        plan.append(prefix + QString::number(counter));
        ++counter;
        if (counter >= 255) {
            counter = 254;
        }
    }
    return plan;
}

int distinctAddressCount(const QStringList &plan)
{
    return QSet<QString>(plan.constBegin(), plan.constEnd()).size();
}

bool isUsableDeviceAddress(const QString &ip)
{
    const int first = ip.split(QLatin1Char('.')).value(0).toInt();
    return first != 0 && first != 127 && first < 224;
}
