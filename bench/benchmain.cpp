#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTextStream>

#include "scenarios.h"

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the main window's real code paths at scale."));
    parser.addHelpOption();
    QCommandLineOption repetitions(QStringLiteral("repetitions"), QStringLiteral("Repetitions per figure (>= 3)."),
                                   QStringLiteral("n"), QStringLiteral("3"));
    QCommandLineOption only(
        QStringLiteral("only"),
        QStringLiteral("Run one scenario: flood, day, trickle, sort, discovery, batch, fleet, plan, judge or find."),
        QStringLiteral("scenario"));
    QCommandLineOption quick(QStringLiteral("quick"), QStringLiteral("Skip the largest sizes."));
    parser.addOptions({repetitions, only, quick});
    parser.process(app);

    BenchOptions options;
    options.repetitions = std::max(3, parser.value(repetitions).toInt());
    options.quick = parser.isSet(quick);
    options.devsimPath = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("devsim"));

    const QString scenario = parser.value(only);
    const struct
    {
        const char *name;
        void (*run)(const BenchOptions &);
    } scenarios[] = {// The day first: its memory figure wants a process that has not yet held a larger table.
                     {"day", runDay},     {"flood", runFlood},         {"trickle", runTrickle},
                     {"sort", runSort},   {"discovery", runDiscovery}, {"batch", runBatch},
                     {"fleet", runFleet}, {"plan", runPlan},           {"judge", runJudge},
                     {"find", runFind}};
    for (const auto &entry : scenarios) {
        if (scenario.isEmpty() || scenario == QLatin1String(entry.name)) {
            entry.run(options);
        }
    }
    return 0;
}
