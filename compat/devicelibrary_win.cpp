#include "compat/devicelibrary.h"

#include "compat/peimage.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QMessageBox>
#include <QSet>

#include <algorithm>

namespace {

const char LibraryFile[] = "VSDevNetSDK.dll";
const char *const Functions[] = {"vsnet_init", "vsnet_uninit", "vsnet_search", "vsnet_send_json_msg"};
constexpr int ProgramBits = QT_POINTER_SIZE * 8;
// Bounds the walk through the imports of imports.
constexpr int MaxFilesRead = 64;

QString windowsFolder()
{
    return QDir::fromNativeSeparators(qEnvironmentVariable("SystemRoot"));
}

// Where LoadLibrary looks for a DLL named without a folder, in its order: the program's folder, the
// system folders, the Windows folder, the current folder, then PATH. A 32-bit program on 64-bit
// Windows opening System32 is sent to its 32-bit twin, as the loader is.
QStringList loaderFolders()
{
    QStringList folders {QCoreApplication::applicationDirPath()};
    const QString windows = windowsFolder();
    if (!windows.isEmpty()) {
        folders << windows + QStringLiteral("/System32") << windows + QStringLiteral("/System") << windows;
    }
    folders << QDir::currentPath();
    const QStringList path = qEnvironmentVariable("PATH").split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString folder : path) {
        folders << QDir::fromNativeSeparators(folder.remove(QLatin1Char('"')));
    }
    return folders;
}

QString findLikeLoader(const QString &name, const QStringList &folders)
{
    for (const QString &folder : folders) {
        const QFileInfo file(QDir(folder), name);
        if (file.isFile()) {
            return file.absoluteFilePath();
        }
    }
    return {};
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// API sets are names the loader maps to system DLLs, not files of their own.
bool isApiSet(const QString &name)
{
    return name.startsWith(QLatin1String("api-ms-"), Qt::CaseInsensitive)
        || name.startsWith(QLatin1String("ext-ms-"), Qt::CaseInsensitive);
}

// The DLLs that the file needs, itself or through the DLLs it needs beyond Windows' own, and that are
// nowhere the loader looks.
QStringList missingImports(const QString &path, const QStringList &folders)
{
    const QString windows = windowsFolder();
    QStringList missing;
    QSet<QString> seen;
    QStringList toRead {path};
    for (int read = 0; read < MaxFilesRead && !toRead.isEmpty(); ++read) {
        const QStringList imports = peImageImports(readFile(toRead.takeFirst()));
        for (const QString &name : imports) {
            if (isApiSet(name) || seen.contains(name.toLower())) {
                continue;
            }
            seen.insert(name.toLower());
            const QString found = findLikeLoader(name, folders);
            if (found.isEmpty()) {
                missing << name;
            } else if (windows.isEmpty() || !found.startsWith(windows + QLatin1Char('/'), Qt::CaseInsensitive)) {
                toRead << found;
            }
        }
    }
    return missing;
}

// A stdcall function keeps its argument size in its name (_vsnet_init@0 from MSVC, vsnet_init@0
// from MinGW), so a cdecl caller finds none of the four.
bool exportsStdcall(const QStringList &exports)
{
    return std::any_of(exports.cbegin(), exports.cend(), [](const QString &name) {
        return std::any_of(std::begin(Functions), std::end(Functions), [&name](const char *function) {
            const QString decorated = QLatin1String(function) + QLatin1Char('@');
            return name.startsWith(decorated) || name.startsWith(QLatin1Char('_') + decorated);
        });
    });
}

QStringList unresolved(QLibrary &library)
{
    QStringList names;
    for (const char *function : Functions) {
        if (!library.resolve(function)) {
            names << QLatin1String(function);
        }
    }
    return names;
}

// Why the library cannot be used: it did not load, or it lacks the functions in absent.
QString failureText(const QLibrary &library, const QStringList &absent)
{
    const QStringList folders = loaderFolders();
    const QString path = findLikeLoader(QLatin1String(LibraryFile), folders);
    if (path.isEmpty() && !library.isLoaded()) {
        return QStringLiteral("找不到设备库 %1。请把设备厂商提供的 VSDevNetSDK.dll 放到本程序所在的文件夹。")
            .arg(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
    }
    const QString shown = QDir::toNativeSeparators(path.isEmpty() ? QLatin1String(LibraryFile) : path);
    const QByteArray image = readFile(path);
    if (!absent.isEmpty()) {
        QString text =
            QStringLiteral("设备库 %1 缺少函数 %2, 无法使用。").arg(shown, absent.join(QStringLiteral(", ")));
        if (exportsStdcall(peImageExports(image))) {
            text += QStringLiteral("\n该库按 stdcall 约定导出函数, 本程序需要 cdecl 约定的设备库。");
        }
        return text;
    }
    const int bits = peImageBits(image);
    if (bits != 0 && bits != ProgramBits) {
        return QStringLiteral("设备库 %1 是 %2 位的, 本程序是 %3 位的。请改用 Brelo_Tool 的 %2 位版本 (win%2)。")
            .arg(shown, QString::number(bits), QString::number(ProgramBits));
    }
    const QStringList missing = missingImports(path, folders);
    if (bits == ProgramBits && !missing.isEmpty()) {
        return QStringLiteral(
                   "设备库 %1 依赖的 %2 找不到。请安装设备厂商要求的运行库, 或把这些文件放到本程序所在的文件夹。")
            .arg(shown, missing.join(QStringLiteral(", ")));
    }
    return QStringLiteral("无法加载设备库 %1: %2").arg(shown, library.errorString());
}

} // namespace

bool loadDeviceLibrary()
{
    // Found as the loader finds an import: beside the program first, then in the system folders and
    // on PATH, where some vendors install theirs. It stays loaded, and the delayed imports go to it.
    QLibrary library(QStringLiteral("VSDevNetSDK"));
    QStringList absent;
    if (library.load()) {
        absent = unresolved(library);
        if (absent.isEmpty()) {
            return true;
        }
    }
    const QString text = failureText(library, absent);
    qDebug().noquote() << text;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("提示"), text, QMessageBox::Ok);
    box.exec();
    return false;
}
