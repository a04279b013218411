#include "standin_devsimprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTest>

DevsimProcess::DevsimProcess(quint16 port)
    : m_port(port)
{
    m_process.setProgram(QStringLiteral(DEVSIM_PATH));
    // Not forwarded: a simulator left behind by a crashed test must not hold the runner's pipe open.
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

DevsimProcess::~DevsimProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        // Closing its input ends it on every system; a console program on Windows never sees the
        // window message that terminate() posts.
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    // A simulator that started and then crashed or failed, as one does on a sanitizer report, fails
    // the test that ran it.
    if (m_ready && (m_process.exitStatus() != QProcess::NormalExit || m_process.exitCode() != 0)) {
        const QByteArray message = "devsim ended with status " + QByteArray::number(m_process.exitCode()) + ": "
            + m_process.readAllStandardError();
        QTest::qFail(message.constData(), __FILE__, __LINE__);
    }
}

void DevsimProcess::setNetworkNamespace(const QString &name)
{
    m_namespace = name;
}

bool DevsimProcess::start(const QStringList &arguments)
{
    QStringList all =
        QStringList {QStringLiteral("--until-input-closes"), QStringLiteral("--port"), QString::number(m_port)}
        + arguments;
    if (!m_namespace.isEmpty()) {
        // "ip netns exec" replaces itself with the simulator, so the pid stays the simulator's.
        all = QStringList {QStringLiteral("netns"), QStringLiteral("exec"), m_namespace, QStringLiteral(DEVSIM_PATH)}
            + all;
        m_process.setProgram(QStringLiteral("ip"));
    }
    m_process.setArguments(all);
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!m_ready && !deadline.hasExpired() && m_process.state() == QProcess::Running) {
        m_process.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        readLines();
    }
    if (!m_ready) {
        qWarning("devsim did not start: %s", m_process.readAllStandardError().constData());
    }
    return m_ready;
}

bool DevsimProcess::waitForJournal(int count, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    readLines();
    while (m_journal.size() < count && !deadline.hasExpired() && m_process.state() == QProcess::Running) {
        m_process.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        readLines();
    }
    return m_journal.size() >= count;
}

void DevsimProcess::readLines()
{
    m_partial += m_process.readAllStandardOutput();
    int end = 0;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        // On Windows the simulator's standard output ends its lines with CR LF.
        const int length = end > 0 && m_partial.at(end - 1) == '\r' ? end - 1 : end;
        const QString line = QString::fromUtf8(m_partial.left(length));
        m_partial.remove(0, end + 1);
        if (!m_ready && line.startsWith(QLatin1String("devsim: "))) {
            m_ready = true;
            const QRegularExpressionMatch port = QRegularExpression(QStringLiteral(" port (\\d+)$")).match(line);
            if (port.hasMatch()) {
                m_port = quint16(port.captured(1).toUInt());
            }
        } else {
            m_journal.append(line);
        }
    }
}
