#include "placer.h"

#include "compat/dllsearch.h"
#include "compat/durablefile.h"
#include "compat/libraryjudge.h"
#include "compat/peimage.h"
#include "sha256.h"
#include "transaction.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string Library = "VSDevNetSDK.dll";
const std::string PackageManifest = "uninstall-package.sha256";
const std::string VendorManifest = "uninstall-vendor.sha256";
// Where the installers before this one set a vendor library aside during an upgrade.
const std::string Aside = "vendor-kept";
const std::string NothingInstalled = "什么都没有安装。Nothing was installed.";
const std::string KeptInPlaceText = "保留了安装文件夹里设备厂商的 " + Library + ", 没有动它。";

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// Paths as the manifests have always held them, with backslashes.
std::string recorded(const fs::path &relative)
{
    std::string text = relative.generic_u8string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

struct Entry
{
    std::string path; // as recorded
    std::string hash;
};
using Manifest = std::vector<Entry>;

const Entry *findIn(const Manifest &manifest, const std::string &path)
{
    const auto entry = std::find_if(manifest.cbegin(), manifest.cend(),
                                    [&path](const Entry &e) { return lower(e.path) == lower(path); });
    return entry == manifest.cend() ? nullptr : &*entry;
}

// Lines not of the form "<64 hex digits>  <plain relative path>" name nothing that may be touched; the
// messages say how many there were, so that the user hears of files left alone.
Manifest readManifest(const fs::path &file, std::vector<std::string> *messages)
{
    Manifest manifest;
    int skipped = 0;
    std::istringstream in(readFile(file).value_or(std::string()));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const bool hex = line.size() > 66 && std::all_of(line.cbegin(), line.cbegin() + 64, [](char c) {
                             return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f');
                         });
        if (hex && line.compare(64, 2, "  ") == 0 && isPlainRelativePath(line.substr(66))) {
            manifest.push_back({line.substr(66), line.substr(0, 64)});
        } else if (!line.empty()) {
            ++skipped;
        }
    }
    if (skipped > 0) {
        const std::string name = file.filename().u8string();
        const std::string count = std::to_string(skipped);
        messages->push_back("安装记录 " + name + " 里有 " + count + " 行无法读取, 它们所指的文件没有动。" + count
                            + " lines of " + name + " could not be read; the files they name were left as they are.");
    }
    return manifest;
}

std::string manifestText(const Manifest &manifest)
{
    std::string text;
    for (const Entry &entry : manifest) {
        text += entry.hash + "  " + entry.path + "\r\n";
    }
    return text;
}

bool sameFile(const fs::path &a, const fs::path &b)
{
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

struct Judged
{
    std::optional<std::string> bytes;
    LibraryJudgement judgement;
    // Lower-case names of the DLLs it loads from beside it, or may: none of them is tidied away.
    std::set<std::string> needs;
};

Judged judge(const fs::path &library, const fs::path &beside, int programBits)
{
    Judged judged;
    judged.bytes = DllSearch::read(library.u8string());
    const DllSearch search = DllSearch::likeLoader(beside);
    judged.judgement = judgeLibrary(judged.bytes, shown(library), programBits, search.lookup());
    for (const std::vector<std::string> *names : {&judged.judgement.companions, &judged.judgement.missingImports}) {
        for (const std::string &name : *names) {
            judged.needs.insert(lower(name));
        }
    }
    if (judged.bytes) {
        for (const std::string &name : readPeImage(*judged.bytes).imports) {
            judged.needs.insert(lower(name));
        }
    }
    return judged;
}

// What goes into the library's place, decided once for the page, the install and the record.
struct LibraryDecision
{
    enum Kind {
        StandIn, // the package's
        Brought, // the vendor's, chosen on the page or with /SDK=
        Kept, // the one already in place, not ours
        PutBack, // the one an older installer set aside in vendor-kept\, back in place
    };
    Kind kind = StandIn;
    std::optional<Judged> judged; // of the library that will be in place, when not the stand-in
    fs::path from;
};

class Placer
{
public:
    Placer(const Placement &placement, fs::path folder, Transaction *transaction, PlacerResult *result)
        : m_placement(placement)
        , m_folder(std::move(folder))
        , m_transaction(transaction)
        , m_result(result)
    {
    }

    bool plan();

private:
    bool refuse(int code, const std::string &text)
    {
        m_result->exitCode = code;
        addLines(&m_result->messages, text);
        return false;
    }
    bool refuseFolderThroughFile();
    bool decideLibrary();
    bool planPackage();
    bool planCompanions();
    bool planPutBack();
    bool planTidying();

    bool cutShortStandIn(const std::optional<std::string> &bytes) const;
    bool place(const std::string &path, std::string bytes, const std::string &told = {});
    void planRemoval(const std::string &path, const std::string &told = {});
    std::optional<std::string> placedHash(const std::string &path) const;

    const Placement &m_placement;
    const fs::path m_folder;
    Transaction *m_transaction;
    PlacerResult *m_result;
    Manifest m_oldPackage;
    Manifest m_oldVendor;
    Manifest m_package;
    Manifest m_vendor;
    std::set<std::string> m_shipped; // lower case
    LibraryDecision m_library;
};

// The older installers' registry values stand for a vendor manifest: the library while its size is as
// recorded, the companions as they are now.
Manifest previousManifest(const fs::path &folder, const PreviousVendorRecord &previous)
{
    Manifest manifest;
    if (!previous.copied) {
        return manifest;
    }
    std::error_code error;
    const std::uintmax_t size = fs::file_size(folder / Library, error);
    if (!error && size == previous.librarySize) {
        if (const std::optional<std::string> hash = hashBelow(folder, Library)) {
            manifest.push_back({Library, *hash});
        }
    }
    for (const std::string &name : previous.companions) {
        const std::optional<std::string> hash = isDllName(name) ? hashBelow(folder, name) : std::nullopt;
        if (hash && !findIn(manifest, name)) {
            manifest.push_back({name, *hash});
        }
    }
    return manifest;
}

bool Placer::plan()
{
    if (!refuseFolderThroughFile()) {
        return false;
    }
    m_oldPackage = readManifest(m_folder / PackageManifest, &m_result->messages);
    m_oldVendor = present(m_folder / VendorManifest) ? readManifest(m_folder / VendorManifest, &m_result->messages)
                                                     : previousManifest(m_folder, m_placement.previous);
    if (!decideLibrary() || !planPackage() || !planCompanions() || !planPutBack() || !planTidying()) {
        return false;
    }
    if (m_placement.payload.empty()) {
        return true;
    }
    // Files an older installer was killed while writing.
    for (const Manifest *manifest : {&m_oldPackage, &m_oldVendor, &m_package, &m_vendor}) {
        for (const Entry &entry : *manifest) {
            const std::string staged = entry.path + StagedSuffix;
            if (const std::optional<std::string> hash = hashBelow(m_folder, staged); hash && hash != LinkHash) {
                removeFile(below(m_folder, staged));
            }
        }
    }
    // The manifests are the last steps, so that they never name a file before it is in.
    return place(PackageManifest, manifestText(m_package)) && place(VendorManifest, manifestText(m_vendor));
}

// NSIS puts a /D= folder whose path runs through a file somewhere else; it is refused instead.
bool Placer::refuseFolderThroughFile()
{
    for (fs::path at = m_folder; !at.empty(); at = at.parent_path()) {
        std::error_code error;
        const fs::file_status status = fs::status(at, error);
        if (fs::exists(status) && !fs::is_directory(status)) {
            return refuse(SetupRefused,
                          "无法安装到 " + shown(m_folder) + ": " + shown(at) + " 是文件, 不是文件夹。"
                              + NothingInstalled + "\nCannot install into " + shown(m_folder) + ": " + shown(at)
                              + " is a file, not a folder.");
        }
        if (fs::exists(status) || at == at.parent_path()) {
            break;
        }
    }
    return true;
}

// The one decision about the library. A library brought that is the file in place already is no copy. A
// file in place that cannot be loaded as a library is nobody's library: a usable one set aside goes
// back over it. Else a vendor's library in place stays; the stand-in goes where there is none.
bool Placer::decideLibrary()
{
    const int bits = m_placement.programBits;
    const fs::path inPlace = m_folder / Library;
    if (!m_placement.library.empty()) {
        std::error_code error;
        const fs::path library = fs::absolute(m_placement.library, error);
        Judged judged = judge(library, library.parent_path(), bits);
        if (judged.judgement.verdict != LibraryVerdict::Usable) {
            return refuse(SetupRefused, judged.judgement.text + "\n" + NothingInstalled);
        }
        const bool there = sameFile(library, inPlace);
        if (there) {
            m_result->messages.push_back(KeptInPlaceText);
        }
        addLines(&m_result->messages, judged.judgement.text);
        m_library = {there ? LibraryDecision::Kept : LibraryDecision::Brought, std::move(judged), library};
        return true;
    }
    std::optional<Judged> there;
    if (present(inPlace)) {
        there = judge(inPlace, m_folder, bits);
    }
    const bool ours = there && (there->judgement.standIn || cutShortStandIn(there->bytes));
    const bool loadable = there && there->judgement.verdict != LibraryVerdict::Unusable;
    const fs::path asidePath = m_folder / Aside / Library;
    const std::optional<std::string> aside = hashBelow(m_folder, Aside + "\\" + Library);
    if (there && !ours && loadable) {
        m_library = {LibraryDecision::Kept, std::move(there), inPlace};
    } else if (aside && aside != LinkHash) {
        Judged setAside = judge(asidePath, m_folder / Aside, bits);
        if (setAside.judgement.verdict != LibraryVerdict::Unusable) {
            m_library = {LibraryDecision::PutBack, std::move(setAside), asidePath};
        }
    }
    if (m_library.kind == LibraryDecision::StandIn && there && !ours) {
        // Neither ours nor usable, and nothing to put back: it stays, for its owner to replace.
        m_result->messages.push_back("保留了安装文件夹里的 " + Library + ", 它不是安装程序放进来的, 但是无法使用:");
        addLines(&m_result->messages, there->judgement.text);
        m_library = {LibraryDecision::Kept, std::move(there), inPlace};
        return true;
    }
    if (m_library.judged && m_library.judged->judgement.verdict == LibraryVerdict::OtherBits) {
        const std::string other = std::to_string(96 - bits);
        const std::string mine = std::to_string(bits);
        return refuse(SetupRefused,
                      m_library.judged->judgement.text + "\n安装文件夹里已有这个设备库, 安装程序不会替换它: 请选择 "
                          + mine + " 位的设备库, 或者改用 Brelo_Tool 的 " + other + " 位版本 (win" + other
                          + ") 的安装程序。没有做任何更改。\nThe install folder holds this library, which the "
                            "installer keeps: choose a "
                          + mine + "-bit library or use the win" + other + " installer. Nothing was changed.\n"
                          + NothingInstalled);
    }
    if (m_library.kind == LibraryDecision::Kept) {
        m_result->messages.push_back(KeptInPlaceText);
        addLines(&m_result->messages, m_library.judged->judgement.text);
    }
    return true;
}

// The installers before this one wrote the stand-in in place: one killed meanwhile left the start of
// it, which no vendor's file is.
bool Placer::cutShortStandIn(const std::optional<std::string> &bytes) const
{
    if (!bytes || m_placement.payload.empty()) {
        return false;
    }
    const std::optional<std::string> standIn = DllSearch::read((m_placement.payload / Library).u8string());
    return standIn && bytes->size() < standIn->size() && standIn->compare(0, bytes->size(), *bytes) == 0;
}

// A step when the file there differs; a target that is a link or below one is no file of ours.
bool Placer::place(const std::string &path, std::string bytes, const std::string &told)
{
    const std::optional<std::string> there = hashBelow(m_folder, path);
    if (there == HeldHash) {
        return refuse(SetupInUse, inUseText(below(m_folder, path)));
    }
    if (there == LinkHash) {
        // The link itself, which is what to move away; else the target is a folder or no file.
        const std::optional<fs::path> link = linkOnWay(m_folder, path);
        const std::string target = shown(link ? *link : below(m_folder, path));
        return refuse(SetupNotWritten,
                      target + " 是链接, 安装程序不会经由它写入。请移走它, 再运行安装程序。" + NothingChangedText + " "
                          + target + " is a link, which the installer "
                          + "never writes through. Move it away and run the installer again.");
    }
    if (there != hashBytes(bytes)) {
        m_transaction->add({path, std::move(bytes), told, there, {}});
    }
    return true;
}

void Placer::planRemoval(const std::string &path, const std::string &told)
{
    m_transaction->add({path, std::nullopt, told, hashBelow(m_folder, path), {}});
}

bool Placer::planPackage()
{
    if (m_placement.payload.empty()) {
        return true;
    }
    std::error_code error;
    std::vector<std::string> files;
    for (fs::recursive_directory_iterator it(m_placement.payload, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error)) {
            files.push_back(recorded(fs::relative(it->path(), m_placement.payload, error)));
        }
    }
    if (error || files.empty()) {
        return refuse(SetupNotWritten,
                      "无法读取安装包的文件 " + shown(m_placement.payload) + "。Cannot read the package.");
    }
    std::sort(files.begin(), files.end());
    for (const std::string &path : files) {
        const fs::path from = below(m_placement.payload, path);
        std::optional<std::string> bytes = readFile(from);
        if (!bytes) {
            return refuse(SetupNotWritten, "无法读取安装包的文件 " + shown(from) + "。Cannot read the package.");
        }
        const bool library = lower(path) == lower(Library);
        if (library && m_library.kind != LibraryDecision::StandIn) {
            continue;
        }
        if (!library) {
            m_shipped.insert(lower(path));
        }
        m_package.push_back({path, hashBytes(*bytes)});
        const std::string told = library ? "安装了替身设备库 " + Library + ", 它只与设备模拟器 devsim 通信。" : "";
        if (!place(path, std::move(*bytes), told)) {
            return false;
        }
    }
    return true;
}

// A brought library's companions follow its release: one an installer copied and nobody changed since
// is replaced; one changed or put there by someone else stops the install before anything changes.
// Companions that are the files in place already are no copies, and not recorded as ours.
bool Placer::planCompanions()
{
    if (m_library.kind != LibraryDecision::Brought) {
        return true;
    }
    const fs::path from = m_library.from.parent_path();
    for (const std::string &name : m_library.judged->judgement.companions) {
        const fs::path source = from / fs::u8path(name);
        if (m_shipped.count(lower(name)) > 0 || lower(name) == lower(Library)
            || sameFile(source, m_folder / fs::u8path(name))) {
            continue;
        }
        std::optional<std::string> bytes = DllSearch::read(source.u8string());
        if (!bytes) {
            return refuse(SetupRefused, "无法读取 " + shown(source) + "。Cannot read it.\n" + NothingInstalled);
        }
        const std::string hash = hashBytes(*bytes);
        m_vendor.push_back({name, hash});
        const std::optional<std::string> there = hashBelow(m_folder, name);
        const Entry *vendor = findIn(m_oldVendor, name);
        const Entry *package = findIn(m_oldPackage, name);
        const bool ours =
            !there || there == hash || (vendor && vendor->hash == there) || (package && package->hash == there);
        if (!ours) {
            const std::string target = shown(m_folder / fs::u8path(name));
            return refuse(SetupNotWritten,
                          "安装文件夹里的 " + target
                              + " 不是安装程序放进来的, 或者安装之后被改过, 安装程序不会替换它; 设备库需要的是 "
                              + shown(source) + "。请移走这个文件, 再运行安装程序。没有做任何更改。\nKept " + target
                              + ": the installer did not put it there or it changed since; the library needs "
                              + shown(source) + ". Move it away and run the installer again. Nothing was changed.");
        }
        if (!place(name, std::move(*bytes), (there ? "已换上设备库新版本的 " : "已复制设备库依赖的 ") + name + "。")) {
            return false;
        }
    }
    // The library last, once the program and the companions are in.
    const std::string hash = hashBytes(*m_library.judged->bytes);
    const std::string told = "已装入设备厂商的设备库 " + shown(m_library.from) + "。";
    m_vendor.insert(m_vendor.begin(), {Library, hash});
    if (hashBelow(m_folder, Library) == hash) {
        m_result->messages.push_back(told);
    }
    return place(Library, *m_library.judged->bytes, told);
}

// What an older installer set aside in vendor-kept\ goes back where nothing took its place, the library
// as decided.
bool Placer::planPutBack()
{
    std::error_code error;
    if (isLink(m_folder / Aside)) {
        return true;
    }
    for (fs::directory_iterator it(m_folder / Aside, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().u8string();
        const bool library = lower(name) == lower(Library);
        const bool back =
            library ? m_library.kind == LibraryDecision::PutBack : !present(m_folder / it->path().filename());
        const std::optional<std::string> bytes = back ? readFile(it->path()) : std::nullopt;
        if (bytes && isDllName(name)) {
            if (!place(name, *bytes)) {
                return false;
            }
            planRemoval(Aside + "\\" + name,
                        "已把以前的安装程序放在 " + shown(m_folder / Aside) + " 里的 " + name + " 放回原处。");
        }
    }
    return true;
}

// The content a recorded file will have once the steps are through.
std::optional<std::string> Placer::placedHash(const std::string &path) const
{
    const std::vector<Step> &steps = m_transaction->steps();
    const auto step =
        std::find_if(steps.crbegin(), steps.crend(), [&path](const Step &s) { return lower(s.path) == lower(path); });
    if (step != steps.crend()) {
        return step->bytes ? std::optional<std::string>(hashBytes(*step->bytes)) : std::nullopt;
    }
    return hashBelow(m_folder, path);
}

// Files of the older version go when unchanged and needed by no library import; what an installer
// copied stays recorded while unchanged.
bool Placer::planTidying()
{
    if (m_placement.payload.empty()) {
        return true;
    }
    const std::set<std::string> none;
    const std::set<std::string> &needs = m_library.judged ? m_library.judged->needs : none;
    for (const Entry &entry : m_oldPackage) {
        const std::string key = lower(entry.path);
        const bool current = m_shipped.count(key) > 0 || key == lower(Library) || findIn(m_vendor, entry.path);
        const std::optional<std::string> placed = placedHash(entry.path);
        if (placed == HeldHash) {
            return refuse(SetupInUse, inUseText(below(m_folder, entry.path)));
        }
        if (current || placed != entry.hash) {
            continue;
        }
        if (needs.count(key) > 0) {
            m_package.push_back(entry);
        } else {
            planRemoval(entry.path, "删除了旧版本的 " + entry.path + "。");
        }
    }
    for (const Entry &entry : m_oldVendor) {
        if (!findIn(m_vendor, entry.path) && !findIn(m_package, entry.path) && placedHash(entry.path) == entry.hash) {
            m_vendor.push_back(entry);
        }
    }
    return true;
}

// "C:\Tools\Brelo\" as typed is the folder C:\Tools\Brelo.
fs::path withoutTrailingSeparator(const fs::path &folder)
{
    return folder.has_filename() || !folder.has_relative_path() ? folder : folder.parent_path();
}

} // namespace

bool isPlainRelativePath(const std::string &path)
{
    if (path.empty()) {
        return false;
    }
    static const std::set<std::string> devices = {"con",  "prn",  "aux",  "nul",  "com1", "com2", "com3",   "com4",
                                                  "com5", "com6", "com7", "com8", "com9", "lpt1", "lpt2",   "lpt3",
                                                  "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9", "conin$", "conout$"};
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find_first_of("\\/", start), path.size());
        const std::string name = path.substr(start, end - start);
        // Windows drops a trailing dot or space and reads CON, NUL, CON.txt… as devices.
        if (!isDllName(name) || name.back() == '.' || name.back() == ' '
            || devices.count(lower(name.substr(0, name.find('.')))) > 0) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

PlacerResult placeFiles(const Placement &placement)
{
    PlacerResult result;
    try {
        const fs::path folder = withoutTrailingSeparator(placement.folder);
        Transaction transaction(folder, placement.beforeChange, &result);
        Placer placer(placement, folder, &transaction, &result);
        if (transaction.recover() && placer.plan()) {
            if (placement.payload.empty()) {
                transaction.probe();
            } else {
                transaction.commit();
            }
        }
    } catch (const TransactionStopped &) {
        result.stopped = true;
        result.exitCode = SetupNotWritten;
    }
    return result;
}

PlacerResult removeInstalled(const fs::path &installed, const Interferer &beforeChange)
{
    PlacerResult result;
    const fs::path folder = withoutTrailingSeparator(installed);
    try {
        Transaction transaction(folder, beforeChange, &result);
        if (!transaction.recover()) {
            return result;
        }
        bool libraryNamed = false;
        std::set<std::string> planned;
        for (const std::string &name : {PackageManifest, VendorManifest}) {
            for (const Entry &entry : readManifest(folder / name, &result.messages)) {
                const std::optional<std::string> hash = hashBelow(folder, entry.path);
                if (hash == HeldHash) {
                    result.exitCode = SetupInUse;
                    addLines(&result.messages, inUseText(below(folder, entry.path)));
                    return result;
                }
                libraryNamed = libraryNamed || (lower(entry.path) == lower(Library) && hash);
                if (hash && *hash != entry.hash) {
                    result.messages.push_back("保留了 " + entry.path + ": 安装之后它被改过或者换过。Kept " + entry.path
                                              + ": it changed after the install.");
                } else if (hash && planned.insert(lower(entry.path)).second) {
                    transaction.add({entry.path, std::nullopt, {}, hash, {}});
                }
                const fs::path staged = below(folder, entry.path + StagedSuffix);
                if (present(staged) && !isLink(staged)) {
                    removeFile(staged);
                }
            }
        }
        for (const std::string &name : {PackageManifest, VendorManifest}) {
            if (const std::optional<std::string> hash = hashBelow(folder, name); hash && hash != LinkHash) {
                transaction.add({name, std::nullopt, {}, hash, {}});
            }
        }
        if (transaction.commit() && !libraryNamed && present(folder / Library)) {
            result.messages.push_back("保留了设备厂商的 " + Library + ": 它不是安装程序放进来的。Kept the vendor's "
                                      + Library + ": the installer did not put it there.");
        }
    } catch (const TransactionStopped &) {
        result.stopped = true;
        result.exitCode = SetupNotWritten;
    }
    return result;
}
