#include "compat/devicelibrary.h"

#include "compat/dllsearch.h"
#include "compat/libraryjudge.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QLibrary>
#include <QMessageBox>
#include <QPushButton>

namespace {

const char LibraryFile[] = "VSDevNetSDK.dll";
const char *const Functions[] = {"vsnet_init", "vsnet_uninit", "vsnet_search", "vsnet_send_json_msg"};
constexpr int ProgramBits = QT_POINTER_SIZE * 8;

std::vector<std::string> unresolved(QLibrary &library)
{
    std::vector<std::string> names;
    for (const char *function : Functions) {
        if (!library.resolve(function)) {
            names.emplace_back(function);
        }
    }
    return names;
}

// Why the library cannot be used: it did not load, or it lacks the functions in absent.
QString failureText(const QLibrary &library, const std::vector<std::string> &absent)
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    const DllSearch search = DllSearch::likeLoader(programFolder.toStdWString());
    const FoundDll found = search.find(LibraryFile);
    if (found.place == FoundDll::Nowhere && !library.isLoaded()) {
        return QString::fromStdString(libraryNotFoundText(QDir::toNativeSeparators(programFolder).toStdString()));
    }
    const std::string shown = found.place == FoundDll::Nowhere
        ? LibraryFile
        : QDir::toNativeSeparators(QString::fromStdString(found.path)).toStdString();
    // Loaded from where the search does not look: only what the loader said is known.
    if (found.place == FoundDll::Nowhere) {
        return QString::fromStdString(absentFunctionsText(shown, absent));
    }
    const LibraryJudgement judgement = judgeLibrary(DllSearch::read(found.path), shown, ProgramBits, search.lookup());
    if (!judgement.text.empty()) {
        return QString::fromStdString(judgement.text);
    }
    if (!absent.empty()) {
        return QString::fromStdString(absentFunctionsText(shown, absent));
    }
    return QString::fromStdString(loadFailedText(shown, library.errorString().toStdString()));
}

} // namespace

bool loadDeviceLibrary()
{
    // Found as the loader finds an import: beside the program first, then in the system folders and
    // on PATH, where some vendors install theirs. It stays loaded, and the delayed imports go to it.
    QLibrary library(QStringLiteral("VSDevNetSDK"));
    std::vector<std::string> absent;
    if (library.load()) {
        absent = unresolved(library);
        if (absent.empty()) {
            return true;
        }
    }
    const QString text = failureText(library, absent);
    qDebug().noquote() << text;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("提示"), text, QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
    return false;
}
