#include <QTest>

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <cstring>

#include <link.h>

#include "standin_devsimprocess.h"

namespace {

constexpr int Rounds = 20;

// A sanitizer runtime must come first among the libraries of a process it checks; the probe
// module, preloaded before everything else, would otherwise precede it.
QStringList sanitizerRuntimes()
{
    QStringList runtimes;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            const QString name = QFileInfo(QString::fromLocal8Bit(info->dlpi_name)).fileName();
            if (name.startsWith(QLatin1String("libasan.so")) || name.startsWith(QLatin1String("libtsan.so"))) {
                static_cast<QStringList *>(data)->append(QString::fromLocal8Bit(info->dlpi_name));
            }
            return 0;
        },
        &runtimes);
    return runtimes;
}

} // namespace

// The application as a user runs it, against many simulated devices: the window is closed while a
// search is still running, twenty times over. A preloaded probe (searchcloseprobe.cpp) clicks
// "刷新", closes the window once rows arrive, and watches the calls into the device library.
class TestCloseUnderLoad : public QObject
{
    Q_OBJECT

private slots:
    void closingDuringSearchEndsTheProcessCleanly();
};

void TestCloseUnderLoad::closingDuringSearchEndsTheProcessCleanly()
{
    DevsimProcess devsim;
    QVERIFY(devsim.start({QStringLiteral("--count"), QStringLiteral("2000")}));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("VSNET_BROADCAST"));
    environment.remove(QStringLiteral("VSNET_INTERFACES"));
    environment.insert(QStringLiteral("VSNET_PORT"), QString::number(devsim.port()));
    environment.insert(QStringLiteral("VSNET_SEARCH_MS"), QStringLiteral("1500"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LD_PRELOAD"),
                       (sanitizerRuntimes() << QStringLiteral(PROBE_PATH)).join(QLatin1Char(':')));

    const QRegularExpression closing(QStringLiteral("^probe: closing with (\\d+) rows while the search runs$"),
                                     QRegularExpression::MultilineOption);
    const QRegularExpression calls(QStringLiteral("^probe: (\\d+) searches, at most (\\d+) running at vsnet_uninit, "
                                                  "(\\d+) devices reported, (\\d+) after vsnet_uninit$"),
                                   QRegularExpression::MultilineOption);
    for (int round = 0; round < Rounds; ++round) {
        QProcess app;
        app.setProcessEnvironment(environment);
        app.start(QStringLiteral(BRELO_TOOL_PATH), QStringList());
        QVERIFY(app.waitForStarted(10000));
        const bool finished = app.waitForFinished(30000);
        if (!finished) {
            app.kill();
            app.waitForFinished(5000);
        }
        const QString out = QString::fromLocal8Bit(app.readAllStandardOutput());
        const QString context =
            QStringLiteral("round %1:\n%2%3").arg(round).arg(out, QString::fromLocal8Bit(app.readAllStandardError()));
        QVERIFY2(finished, qPrintable(context));
        QVERIFY2(app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0, qPrintable(context));
        const QRegularExpressionMatch match = closing.match(out);
        QVERIFY2(match.hasMatch() && match.captured(1).toInt() > 0, qPrintable(context));
        // One search; vsnet_uninit never while it ran, and no device reported after vsnet_uninit.
        const QRegularExpressionMatch library = calls.match(out);
        QVERIFY2(library.hasMatch() && library.captured(1).toInt() == 1 && library.captured(2).toInt() == 0
                     && library.captured(3).toInt() > 0 && library.captured(4).toInt() == 0,
                 qPrintable(context));
    }
}

QTEST_GUILESS_MAIN(TestCloseUnderLoad)
#include "test_closeunderload.moc"
