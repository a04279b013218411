#include <QApplication>
#include <QDir>
#include <QStringList>
#include <QTextStream>

#include "pictures.h"

int main(int argc, char *argv[])
{
    // Nothing is shown on screen, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QVector<Picture> pictures = allPictures();
    QStringList names;
    for (const Picture &picture : pictures) {
        names << picture.name;
    }

    QStringList args = QApplication::arguments().mid(1);
    if (args.isEmpty()) {
        err << "usage: brelo_screenshot <outdir> [" << names.join(QLatin1Char('|')) << "...]\n";
        return 2;
    }
    const QString outDir = args.takeFirst();
    const QStringList wanted = args.isEmpty() ? names : args;
    for (const QString &name : wanted) {
        if (!names.contains(name)) {
            err << "unknown picture: " << name << " (known: " << names.join(QStringLiteral(", ")) << ")\n";
            return 2;
        }
    }
    if (!QDir().mkpath(outDir)) {
        err << "cannot create " << outDir << '\n';
        return 1;
    }

    int status = 0;
    for (const Picture &picture : pictures) {
        if (!wanted.contains(picture.name)) {
            continue;
        }
        const QString path = QDir(outDir).filePath(picture.name + QStringLiteral(".png"));
        if (picture.render().save(path, "PNG")) {
            out << path << '\n';
        } else {
            err << "cannot write " << path << '\n';
            status = 1;
        }
    }
    return status;
}
