#include "scenarios.h"

#include "measure.h"

#include "compat/libraryjudge.h"
#include "compat/peimage.h"
#include "pebuilder.h"

#include <QElapsedTimer>

#include <cstdio>

// The judge of a VSDevNetSDK.dll on the worst file for its reader: every export name runs on to the
// end of the file, so each is looked for as far as the reader's length limit lets it.
void runJudge(const BenchOptions &options)
{
    const int names = 65536;
    PeLayout layout;
    layout.exportCount = names;
    layout.unterminatedTail = 8 * 1024 * 1024 - 0x400 - 4 * names - 64;
    const std::string crafted = buildPe(layout);
    layout = PeLayout();
    for (int i = 0; i < names; ++i) {
        layout.exports.push_back("vsnet_export_" + std::to_string(i));
    }
    const std::string plain = buildPe(layout);

    const DllLookup nowhere {[](const std::string &) { return FoundDll(); },
                             [](const std::string &) { return std::optional<std::string>(); }};
    for (const auto &[label, image] : {std::pair {"crafted, names to the end of the file", &crafted},
                                       std::pair {"plain, NUL-ended names", &plain}}) {
        QVector<double> ms;
        for (int rep = 0; rep < options.repetitions; ++rep) {
            QElapsedTimer clock;
            clock.start();
            const LibraryJudgement judgement = judgeLibrary(*image, "VSDevNetSDK.dll", 64, nowhere);
            ms.append(clock.nsecsElapsed() / 1e6);
            if (judgement.verdict != LibraryVerdict::Unusable) {
                std::printf("judge: unexpected verdict\n");
            }
        }
        std::printf("judge of a %.1f MiB DLL with %d export names, %s (ms): %s\n", image->size() / 1048576.0, names,
                    label, qPrintable(summary(ms, 1)));
        std::fflush(stdout);
    }
}
