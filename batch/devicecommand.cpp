#include "batch/devicecommand.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace Batch {

QByteArray ipConfigCommand(const QString &mac, int dhcp, const QString &ip, const QString &netmask,
                           const QString &gateway, const QString &dns)
{
    QJsonObject command;
    command.insert(QStringLiteral("cmd"), QStringLiteral("ip_config_bc"));
    command.insert(QStringLiteral("mac"), mac);
    command.insert(QStringLiteral("dev"), QStringLiteral("eth0"));
    command.insert(QStringLiteral("dhcp"), dhcp);
    if (dhcp == 0) {
        command.insert(QStringLiteral("ip"), ip);
        command.insert(QStringLiteral("netmask"), netmask);
        command.insert(QStringLiteral("gateway"), gateway);
    }
    const QString servers = dns.trimmed();
    if (!servers.isEmpty()) {
        command.insert(QStringLiteral("dns"), servers);
    }
    return QJsonDocument(command).toJson();
}

QByteArray algoConfigCommand(const QString &mac, int algoType, int reboot)
{
    QJsonObject command;
    command.insert(QStringLiteral("cmd"), QStringLiteral("brl_algo_config"));
    command.insert(QStringLiteral("mac"), mac);
    command.insert(QStringLiteral("brl_algo_type"), algoType);
    command.insert(QStringLiteral("brl_reboot"), reboot);
    return QJsonDocument(command).toJson();
}

namespace {

QString commandLogLine(QString line, int sendResult)
{
    if (sendResult < 0) {
        line += QStringLiteral(" 发送失败, 错误码 %1!").arg(sendResult);
    }
    return line;
}

} // namespace

QString ipCommandLogLine(const QString &mac, const QString &target, int sendResult)
{
    return commandLogLine(mac + QStringLiteral(" 设备修改 IP 为 ") + target, sendResult);
}

QString algoCommandLogLine(const QString &mac, const QString &algoName, int sendResult)
{
    return commandLogLine(mac + QStringLiteral(" 设备修改算法为 ") + algoName, sendResult);
}

} // namespace Batch
