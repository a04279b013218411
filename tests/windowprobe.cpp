// Preloaded (LD_PRELOAD) into the installed application by package_test.sh. The offscreen
// platform has no window system another process could ask, so the check runs inside the process:
// it reports the main window once it is shown and exposed, then closes it through the same close
// event a user's click sends. The application itself is unchanged and must then exit 0 on its own.
// It also reports where the device library was loaded from, to show which copy the process uses.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstring>

#include <link.h>

namespace {

constexpr int PollMs = 20;
constexpr qint64 GiveUpMs = 20000;
constexpr int NoWindowExitCode = 3;

QWidget *exposedWindow(const QString &title)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == title && widget->windowHandle()
            && widget->windowHandle()->isExposed()) {
            return widget;
        }
    }
    return nullptr;
}

void reportLoadedLibrary(const QByteArray &baseName)
{
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            const char *slash = std::strrchr(info->dlpi_name, '/');
            const char *name = slash ? slash + 1 : info->dlpi_name;
            const auto *wanted = static_cast<const QByteArray *>(data);
            if (!wanted->isEmpty() && std::strncmp(name, wanted->constData(), size_t(wanted->size())) == 0) {
                std::printf("probe: loaded %s\n", info->dlpi_name);
            }
            return 0;
        },
        const_cast<QByteArray *>(&baseName));
}

void startProbe()
{
    const QString title = QString::fromLocal8Bit(qgetenv("BRELO_PROBE_TITLE"));
    const QByteArray library = qgetenv("BRELO_PROBE_LIBRARY");
    auto *poll = new QTimer(QCoreApplication::instance());
    QElapsedTimer clock;
    clock.start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, clock, title, library] {
        if (QWidget *window = exposedWindow(title)) {
            poll->stop();
            std::printf("probe: window \"%s\" exposed %dx%d\n", qPrintable(window->windowTitle()), window->width(),
                        window->height());
            reportLoadedLibrary(library);
            std::fflush(stdout);
            window->close();
        } else if (clock.elapsed() > GiveUpMs) {
            poll->stop();
            std::fprintf(stderr, "probe: no exposed window \"%s\"\n", qPrintable(title));
            QCoreApplication::exit(NoWindowExitCode);
        }
    });
    poll->start(PollMs);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
