#ifndef BRELO_BENCH_SCENARIOS_H
#define BRELO_BENCH_SCENARIOS_H

#include <QString>

struct BenchOptions
{
    int repetitions = 3;
    bool quick = false;
    QString devsimPath;
};

void runFlood(const BenchOptions &options);
void runDay(const BenchOptions &options);
void runTrickle(const BenchOptions &options);
void runSort(const BenchOptions &options);
void runDiscovery(const BenchOptions &options);
void runBatch(const BenchOptions &options);
void runFleet(const BenchOptions &options);
void runPlan(const BenchOptions &options);
void runJudge(const BenchOptions &options);
void runFind(const BenchOptions &options);

#endif // BRELO_BENCH_SCENARIOS_H
