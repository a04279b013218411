#include "placer.h"

#include "compat/dllsearch.h"
#include "compat/durablefile.h"
#include "compat/libraryjudge.h"
#include "compat/peimage.h"
#include "sha256.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <set>

namespace fs = std::filesystem;

namespace {

const std::string Library = "VSDevNetSDK.dll";
const std::string PackageManifest = "uninstall-package.sha256";
const std::string VendorManifest = "uninstall-vendor.sha256";
// Where the installers before this one set a vendor library aside during an upgrade.
const std::string Aside = "vendor-kept";
// A file being written, renamed over its target once whole.
const std::string PartSuffix = ".brelo-part";
const std::string NothingInstalled = "什么都没有安装。Nothing was installed.";

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

fs::path below(const fs::path &folder, std::string relative)
{
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return folder / fs::u8path(relative);
}

std::string shown(fs::path path)
{
    return path.make_preferred().u8string();
}

std::optional<std::string> hashFile(const fs::path &file)
{
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    Sha256 sha;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        sha.add(std::string_view(buffer, std::size_t(in.gcount())));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return sha.hexDigest();
}

std::string hashBytes(const std::string &bytes)
{
    Sha256 sha;
    sha.add(bytes);
    return sha.hexDigest();
}

bool present(const fs::path &path)
{
    std::error_code error;
    return fs::exists(path, error);
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

// Lines not of the form "<64 hex digits>  <plain relative path>" name nothing that may be touched.
std::optional<Manifest> readManifest(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    Manifest manifest;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const bool hex = line.size() > 66 && std::all_of(line.cbegin(), line.cbegin() + 64, [](char c) {
                             return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f');
                         });
        if (hex && line.compare(64, 2, "  ") == 0 && isPlainRelativePath(line.substr(66))) {
            manifest.push_back({line.substr(66), line.substr(0, 64)});
        }
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
        if (const std::optional<std::string> hash = hashFile(folder / Library)) {
            manifest.push_back({Library, *hash});
        }
    }
    for (const std::string &name : previous.companions) {
        const std::optional<std::string> hash = isDllName(name) ? hashFile(folder / fs::u8path(name)) : std::nullopt;
        if (hash && !findIn(manifest, name)) {
            manifest.push_back({name, *hash});
        }
    }
    return manifest;
}

void addLines(std::vector<std::string> *messages, const std::string &text)
{
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        messages->push_back(text.substr(start, end - start));
        start = end + 1;
    }
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

struct Write
{
    std::string path; // as recorded
    fs::path from; // the file copied, or
    std::optional<std::string> bytes; // the bytes written
    std::string told;
};

class Placer
{
public:
    Placer(const Placement &placement, PlacerResult *result)
        : m_placement(placement)
        , m_folder(placement.folder)
        , m_result(result)
    {
    }

    bool plan();
    bool checkWritable();
    bool execute();

private:
    bool refuse(int code, const std::string &text)
    {
        m_result->exitCode = code;
        addLines(&m_result->messages, text);
        return false;
    }
    bool chooseLibrary();
    bool planPackage();
    bool planCompanions();
    void planTidying();
    std::optional<std::string> hashPlaced(const std::string &path) const;
    bool cutShortStandIn(const std::optional<std::string> &bytes) const;
    bool change();
    bool write(const fs::path &target, const Write &source);
    bool remove(const fs::path &file);
    void removeEmptyFolders(fs::path folder);
    bool failed(const fs::path &file);

    const Placement &m_placement;
    const fs::path m_folder;
    PlacerResult *m_result;
    Manifest m_oldPackage;
    Manifest m_oldVendor;
    Manifest m_package;
    Manifest m_vendor;
    std::set<std::string> m_shipped; // lower case
    std::optional<Judged> m_chosen;
    fs::path m_chosenPath;
    std::optional<Judged> m_kept;
    std::vector<std::pair<fs::path, fs::path>> m_restores; // from vendor-kept\ back into the folder
    std::vector<Write> m_writes;
    std::vector<Write> m_libraryWrites; // after the package's files
    std::vector<std::string> m_removals;
    std::vector<fs::path> m_parts;
};

bool Placer::plan()
{
    // NSIS puts a /D= folder whose path runs through a file somewhere else; it is refused instead.
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
    m_oldPackage = readManifest(m_folder / PackageManifest).value_or(Manifest());
    const std::optional<Manifest> vendor = readManifest(m_folder / VendorManifest);
    m_oldVendor = vendor ? *vendor : previousManifest(m_folder, m_placement.previous);
    if (!chooseLibrary() || !planPackage() || !planCompanions()) {
        return false;
    }
    planTidying();
    for (const Manifest *manifest : {&m_oldPackage, &m_oldVendor, &m_package, &m_vendor}) {
        for (const Entry &entry : *manifest) {
            const fs::path part = below(m_folder, entry.path + PartSuffix);
            if (present(part) && std::find(m_parts.cbegin(), m_parts.cend(), part) == m_parts.cend()) {
                m_parts.push_back(part);
            }
        }
    }
    return true;
}

bool Placer::chooseLibrary()
{
    const int bits = m_placement.programBits;
    if (!m_placement.library.empty()) {
        std::error_code error;
        const fs::path library = fs::absolute(m_placement.library, error);
        m_chosen = judge(library, library.parent_path(), bits);
        const LibraryJudgement &judgement = m_chosen->judgement;
        if (judgement.verdict != LibraryVerdict::Usable) {
            return refuse(SetupRefused, judgement.text + "\n" + NothingInstalled);
        }
        m_chosenPath = library;
        addLines(&m_result->messages, judgement.text);
        return true;
    }
    const fs::path inPlace = m_folder / Library;
    bool standInInPlace = false;
    if (present(inPlace)) {
        Judged judged = judge(inPlace, m_folder, bits);
        // A stand-in torn by a killed install is ours too: a library set aside goes back over it.
        standInInPlace = judged.judgement.standIn || cutShortStandIn(judged.bytes);
        if (!standInInPlace) {
            m_kept = std::move(judged);
        }
    }
    const fs::path aside = m_folder / Aside / Library;
    if (!m_kept && present(aside)) {
        m_kept = judge(aside, m_folder / Aside, bits);
    }
    if (m_kept && m_kept->judgement.verdict == LibraryVerdict::OtherBits) {
        const std::string other = std::to_string(96 - bits);
        const std::string mine = std::to_string(bits);
        return refuse(SetupRefused,
                      m_kept->judgement.text + "\n安装文件夹里已有这个设备库, 安装程序不会替换它: 请选择 " + mine
                          + " 位的设备库, 或者改用 Brelo_Tool 的 " + other + " 位版本 (win" + other
                          + ") 的安装程序。没有做任何更改。\nThe install folder holds this library, which the "
                            "installer keeps: choose a "
                          + mine + "-bit library or use the win" + other + " installer. Nothing was changed.\n"
                          + NothingInstalled);
    }
    if (m_kept) {
        m_result->messages.push_back("保留了安装文件夹里设备厂商的 " + Library + ", 没有动它。");
        addLines(&m_result->messages, m_kept->judgement.text);
    }
    std::error_code error;
    for (fs::directory_iterator it(m_folder / Aside, error), end; !error && it != end; it.increment(error)) {
        const fs::path target = m_folder / it->path().filename();
        const bool overStandIn = lower(it->path().filename().u8string()) == lower(Library) && standInInPlace;
        if (!it->is_directory(error) && (!present(target) || overStandIn)) {
            m_restores.emplace_back(it->path(), target);
        }
    }
    return true;
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
        const std::optional<std::string> hash = hashFile(from);
        if (!hash) {
            return refuse(SetupNotWritten, "无法读取安装包的文件 " + shown(from) + "。Cannot read the package.");
        }
        if (lower(path) == lower(Library)) {
            if (!m_chosen && !m_kept) {
                m_package.push_back({path, *hash});
                if (hashFile(m_folder / Library) != hash) {
                    m_libraryWrites.push_back(
                        {Library, from, {}, "安装了替身设备库 " + Library + ", 它只与设备模拟器 devsim 通信。"});
                }
            }
            continue;
        }
        m_shipped.insert(lower(path));
        m_package.push_back({path, *hash});
        if (hashFile(below(m_folder, path)) != hash) {
            m_writes.push_back({path, from, {}, {}});
        }
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

// A chosen library's companions follow its release: one an installer copied and nobody changed since
// is replaced; one changed or put there by someone else stops the install before anything changes.
bool Placer::planCompanions()
{
    if (!m_chosen) {
        return true;
    }
    const fs::path from = m_chosenPath.parent_path();
    for (const std::string &name : m_chosen->judgement.companions) {
        if (m_shipped.count(lower(name)) > 0 || lower(name) == lower(Library)) {
            continue;
        }
        std::optional<std::string> bytes = DllSearch::read((from / fs::u8path(name)).u8string());
        if (!bytes) {
            return refuse(SetupRefused,
                          "无法读取 " + shown(from / fs::u8path(name)) + "。Cannot read it.\n" + NothingInstalled);
        }
        const std::string hash = hashBytes(*bytes);
        m_vendor.push_back({name, hash});
        const std::optional<std::string> there = hashFile(m_folder / fs::u8path(name));
        if (there == hash) {
            continue;
        }
        const Entry *vendor = findIn(m_oldVendor, name);
        const Entry *package = findIn(m_oldPackage, name);
        const bool ours = !there || (vendor && vendor->hash == there) || (package && package->hash == there);
        if (!ours) {
            const std::string target = shown(m_folder / fs::u8path(name));
            return refuse(SetupNotWritten,
                          "安装文件夹里的 " + target
                              + " 不是安装程序放进来的, 或者安装之后被改过, 安装程序不会替换它; 设备库需要的是 "
                              + shown(from / fs::u8path(name))
                              + "。请移走这个文件, 再运行安装程序。没有做任何更改。\nKept " + target
                              + ": the installer did not put it there or it changed since; the library needs "
                              + shown(from / fs::u8path(name))
                              + ". Move it away and run the installer again. "
                                "Nothing was changed.");
        }
        m_libraryWrites.push_back(
            {name, {}, std::move(bytes), (there ? "已换上设备库新版本的 " : "已复制设备库依赖的 ") + name + "。"});
    }
    // The library last, once the program and the companions are in.
    const std::string hash = hashBytes(*m_chosen->bytes);
    const std::string told = "已装入设备厂商的设备库 " + shown(m_chosenPath) + "。";
    m_vendor.insert(m_vendor.begin(), {Library, hash});
    if (hashFile(m_folder / Library) != hash) {
        m_libraryWrites.push_back({Library, {}, m_chosen->bytes, told});
    } else {
        m_result->messages.push_back(told);
    }
    return true;
}

// The content a recorded file will have once vendor-kept\ is back in place.
std::optional<std::string> Placer::hashPlaced(const std::string &path) const
{
    for (const auto &restore : m_restores) {
        if (lower(restore.second.filename().u8string()) == lower(path)) {
            return hashFile(restore.first);
        }
    }
    return hashFile(below(m_folder, path));
}

// Files of the older version go when unchanged and needed by no library import; what an installer
// copied stays recorded while unchanged.
void Placer::planTidying()
{
    const std::set<std::string> none;
    const std::set<std::string> &needs = m_chosen ? m_chosen->needs : m_kept ? m_kept->needs : none;
    const bool checkOnly = m_placement.payload.empty();
    for (const Entry &entry : m_oldPackage) {
        const std::string key = lower(entry.path);
        if (checkOnly || m_shipped.count(key) > 0 || key == lower(Library) || findIn(m_vendor, entry.path)
            || hashPlaced(entry.path) != entry.hash) {
            continue;
        }
        if (needs.count(key) > 0) {
            m_package.push_back(entry);
        } else {
            m_removals.push_back(entry.path);
        }
    }
    for (const Entry &entry : m_oldVendor) {
        if (!findIn(m_vendor, entry.path) && !findIn(m_package, entry.path) && hashPlaced(entry.path) == entry.hash) {
            m_vendor.push_back(entry);
        }
    }
}

bool Placer::checkWritable()
{
    std::vector<fs::path> files;
    for (const std::vector<Write> *writes : {&m_writes, &m_libraryWrites}) {
        for (const Write &write : *writes) {
            files.push_back(below(m_folder, write.path));
        }
    }
    for (const std::string &path : m_removals) {
        files.push_back(below(m_folder, path));
    }
    for (const auto &restore : m_restores) {
        files.insert(files.end(), {restore.first, restore.second});
    }
    if (!m_placement.payload.empty()) {
        files.insert(files.end(), {m_folder / PackageManifest, m_folder / VendorManifest});
    }
    for (const fs::path &file : files) {
        std::error_code error;
        if (!fs::is_regular_file(file, error)) {
            continue;
        }
        std::ofstream probe(file, std::ios::binary | std::ios::app);
        if (!probe) {
            const std::string name = shown(file);
            return refuse(SetupInUse,
                          "无法写入 " + name + ", 它正在被使用。请关闭 Brelo_Tool 和 devsim。" + name
                              + " 正在被使用, 没有做任何更改。" + name + " is in use; nothing was changed.");
        }
    }
    return true;
}

bool Placer::change()
{
    if (m_placement.beforeChange && !m_placement.beforeChange()) {
        m_result->stopped = true;
        m_result->exitCode = SetupNotWritten;
        return false;
    }
    return true;
}

bool Placer::failed(const fs::path &file)
{
    return refuse(SetupNotWritten,
                  "无法写入 " + shown(file) + ", 安装没有完成, 请再运行一次安装程序。Cannot write " + shown(file)
                      + ": run the installer again to complete the install.");
}

bool Placer::write(const fs::path &target, const Write &source)
{
    fs::path part = target;
    part += fs::u8path(PartSuffix);
    if (!change()) {
        return false;
    }
    std::optional<std::string> read;
    if (!source.bytes) {
        read = DllSearch::read(source.from.u8string());
        if (!read) {
            return failed(target);
        }
    }
    const std::string &bytes = source.bytes ? *source.bytes : *read;
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    {
        // In two halves, so that a stop can fall inside a write, as a kill can.
        const std::size_t half = bytes.size() / 2;
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(half)).flush();
        if (!change()) {
            return false;
        }
        out.write(bytes.data() + half, std::streamsize(bytes.size() - half)).flush();
        if (!out) {
            out.close();
            fs::remove(part, error);
            return failed(target);
        }
    }
    if (!flushToDisk(part) || !change()) {
        return m_result->stopped ? false : failed(target);
    }
    fs::rename(part, target, error);
    if (error) {
        fs::remove(part, error);
        return failed(target);
    }
    if (!source.told.empty()) {
        m_result->messages.push_back(source.told);
    }
    return true;
}

bool Placer::remove(const fs::path &file)
{
    std::error_code error;
    if (!change()) {
        return false;
    }
    if (!fs::remove(file, error) && error) {
        return failed(file);
    }
    return true;
}

// Folders the removals emptied, up to the install folder, which stays.
void Placer::removeEmptyFolders(fs::path folder)
{
    std::error_code error;
    while (folder != m_folder && folder.has_relative_path() && fs::is_empty(folder, error) && !error) {
        if (!change()) {
            return;
        }
        fs::remove(folder, error);
        folder = folder.parent_path();
    }
}

bool Placer::execute()
{
    for (const fs::path &part : m_parts) {
        if (!remove(part)) {
            return false;
        }
    }
    std::error_code error;
    for (const auto &restore : m_restores) {
        if (!change()) {
            return false;
        }
        fs::rename(restore.first, restore.second, error);
        if (error) {
            return failed(restore.second);
        }
        m_result->messages.push_back("已把以前的安装程序放在 " + shown(m_folder / Aside) + " 里的 "
                                     + restore.second.filename().u8string() + " 放回原处。");
    }
    if (!m_restores.empty()) {
        removeEmptyFolders(m_folder / Aside);
    }
    for (const std::vector<Write> *writes : {&m_writes, &m_libraryWrites}) {
        for (const Write &source : *writes) {
            if (!write(below(m_folder, source.path), source)) {
                return false;
            }
        }
    }
    for (const std::string &path : m_removals) {
        if (!remove(below(m_folder, path))) {
            return false;
        }
        removeEmptyFolders(below(m_folder, path).parent_path());
        if (m_result->stopped) {
            return false;
        }
        m_result->messages.push_back("删除了旧版本的 " + path + "。");
    }
    return write(m_folder / PackageManifest, {PackageManifest, {}, manifestText(m_package), {}})
        && write(m_folder / VendorManifest, {VendorManifest, {}, manifestText(m_vendor), {}});
}

} // namespace

bool isPlainRelativePath(const std::string &path)
{
    if (path.empty()) {
        return false;
    }
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find_first_of("\\/", start), path.size());
        if (!isDllName(std::string_view(path).substr(start, end - start))) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

PlacerResult placeFiles(const Placement &placement)
{
    PlacerResult result;
    Placer placer(placement, &result);
    if (placer.plan() && placer.checkWritable() && !placement.payload.empty()) {
        placer.execute();
    }
    return result;
}

PlacerResult removeInstalled(const fs::path &folder)
{
    PlacerResult result;
    bool libraryNamed = false;
    for (const std::string &name : {PackageManifest, VendorManifest}) {
        const std::optional<Manifest> manifest = readManifest(folder / name);
        for (const Entry &entry : manifest.value_or(Manifest())) {
            const fs::path file = below(folder, entry.path);
            const std::optional<std::string> hash = hashFile(file);
            libraryNamed = libraryNamed || (lower(entry.path) == lower(Library) && hash);
            std::error_code error;
            if (hash && *hash != entry.hash) {
                result.messages.push_back("保留了 " + entry.path + ": 安装之后它被改过或者换过。Kept " + entry.path
                                          + ": it changed after the install.");
            } else if (hash && !fs::remove(file, error)) {
                result.exitCode = SetupNotWritten;
                result.messages.push_back("无法删除 " + entry.path + "。Cannot delete " + entry.path + ".");
            }
            fs::path part = file;
            fs::remove(part += fs::u8path(PartSuffix), error);
            for (fs::path at = file.parent_path(); at != folder && fs::is_empty(at, error) && !error;
                 at = at.parent_path()) {
                fs::remove(at, error);
            }
        }
        std::error_code error;
        fs::remove(folder / name, error);
    }
    if (!libraryNamed && present(folder / Library)) {
        result.messages.push_back("保留了设备厂商的 " + Library + ": 它不是安装程序放进来的。Kept the vendor's "
                                  + Library + ": the installer did not put it there.");
    }
    return result;
}
