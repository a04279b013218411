#include "transaction.h"

#include "compat/durablefile.h"
#include "sha256.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

const std::string StagedSuffix = ".brelo-part";
const std::string LinkHash = "link";
const std::string HeldHash = "held";
const std::string NothingChangedText = "没有做任何更改。Nothing was changed.";

namespace {

// An old file moved aside by the commit, deleted once the commit is through.
const std::string ReplacedSuffix = ".brelo-old";
const std::string Journal = "brelo-journal.txt";

fs::path withSuffix(fs::path file, const std::string &suffix)
{
    return file += fs::u8path(suffix);
}

} // namespace

fs::path below(const fs::path &folder, std::string relative)
{
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return folder / fs::u8path(relative);
}

std::string shown(fs::path path)
{
    return path.make_preferred().u8string();
}

bool present(const fs::path &path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

std::string hashBytes(const std::string &bytes)
{
    Sha256 sha;
    sha.add(bytes);
    return sha.hexDigest();
}

std::optional<std::string> readFile(const fs::path &file)
{
    std::error_code error;
    if (isLink(file) || !fs::is_regular_file(file, error)) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<fs::path> linkOnWay(const fs::path &folder, const std::string &path)
{
    std::optional<fs::path> link;
    for (fs::path at = below(folder, path); at != folder && at.has_relative_path(); at = at.parent_path()) {
        if (isLink(at)) {
            link = at;
        }
    }
    return link;
}

std::optional<std::string> hashBelow(const fs::path &folder, const std::string &path)
{
    if (linkOnWay(folder, path)) {
        return LinkHash;
    }
    const fs::path file = below(folder, path);
    if (!present(file)) {
        return std::nullopt;
    }
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        return LinkHash;
    }
    const std::optional<std::string> bytes = readFile(file);
    return bytes ? hashBytes(*bytes) : HeldHash;
}

std::string inUseText(const fs::path &file)
{
    const std::string name = shown(file);
    return "无法替换或删除 " + name + ", 它正在被使用。请关闭 Brelo_Tool 和 devsim。" + NothingChangedText + " " + name
        + " is in use.";
}

void addLines(std::vector<std::string> *messages, const std::string &text)
{
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        messages->push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::error_code Transaction::act(const std::function<std::error_code()> &change)
{
    switch (m_interfere ? m_interfere() : Interference::None) {
    case Interference::Stop:
        throw TransactionStopped();
    case Interference::NoSpace:
        return std::make_error_code(std::errc::no_space_on_device);
    case Interference::Denied:
        return std::make_error_code(std::errc::permission_denied);
    case Interference::InUse:
        return std::make_error_code(std::errc::device_or_resource_busy);
    case Interference::None:
        break;
    }
    return change();
}

bool Transaction::failWith(const std::error_code &error, const fs::path &file)
{
    const std::string name = shown(file);
    if (error == std::errc::device_or_resource_busy) {
        return fail(SetupInUse, inUseText(file));
    }
    if (error == std::errc::no_space_on_device) {
        return fail(SetupNotWritten,
                    "磁盘空间不足, 无法写入 " + name + "。" + NothingChangedText + " The disk is full.");
    }
    if (error == std::errc::permission_denied) {
        return fail(SetupNotWritten, "没有权限写入 " + name + "。" + NothingChangedText + " Access denied.");
    }
    return fail(SetupNotWritten, "无法写入 " + name + ": " + error.message() + "。" + NothingChangedText);
}

// The journal's first line is its state, "rollback" or "finish"; then a step a line:
// path, the old file's hash, the new file's hash ("-" for none), tab-separated.
bool Transaction::writeJournal(const std::string &state)
{
    std::string text = state + "\n";
    for (const Step &step : m_steps) {
        text += step.path + "\t" + step.oldHash.value_or("-") + "\t" + step.newHash + "\n";
    }
    const fs::path journal = m_folder / Journal;
    const fs::path staged = withSuffix(journal, StagedSuffix);
    std::error_code error = act([&] { return writeDurably(staged, text); });
    if (!error) {
        error = act([&] { return renameOver(staged, journal); });
    }
    if (error) {
        removeFile(staged);
        return failWith(error, journal);
    }
    return true;
}

bool Transaction::recover()
{
    if (present(withSuffix(m_folder / Journal, StagedSuffix))) {
        removeFile(withSuffix(m_folder / Journal, StagedSuffix));
    }
    const std::optional<std::string> text = readFile(m_folder / Journal);
    if (!text) {
        return true;
    }
    std::istringstream in(*text);
    std::string state;
    std::getline(in, state);
    m_steps.clear();
    for (std::string line; std::getline(in, line);) {
        const std::size_t first = line.find('\t');
        const std::size_t second = line.find('\t', first + 1);
        if (second != std::string::npos && isPlainRelativePath(line.substr(0, first))) {
            const std::string oldHash = line.substr(first + 1, second - first - 1);
            m_steps.push_back({line.substr(0, first),
                               std::nullopt,
                               {},
                               oldHash == "-" ? std::nullopt : std::optional<std::string>(oldHash),
                               line.substr(second + 1)});
        }
    }
    if (state == "rollback") {
        rollBack(m_steps.size());
    } else {
        bool cleared = true;
        for (const Step &step : m_steps) {
            const fs::path replaced = withSuffix(target(step), ReplacedSuffix);
            cleared = (!present(replaced) || !removeFile(replaced)) && cleared;
            removeEmptyFolders(target(step).parent_path());
        }
        if (cleared) {
            removeFile(m_folder / Journal);
        }
    }
    m_steps.clear();
    if (present(m_folder / Journal)) {
        return fail(SetupNotWritten,
                    "无法恢复上次中断的安装留下的文件, 请关闭 Brelo_Tool 和 devsim 再运行一次。"
                    "Cannot put back what an interrupted install left; close Brelo_Tool and "
                    "devsim and run it again.");
    }
    return true;
}

// Puts the first done steps back, in reverse order, and removes the staged files and the journal; the
// journal stays while anything could not be put back, for the next run.
void Transaction::rollBack(std::size_t done)
{
    bool whole = true;
    for (std::size_t i = m_steps.size(); i-- > 0;) {
        const Step &step = m_steps[i];
        const fs::path file = target(step);
        const fs::path replaced = withSuffix(file, ReplacedSuffix);
        const fs::path staged = withSuffix(file, StagedSuffix);
        if (i < done) {
            if (present(replaced)) {
                whole = !renameOver(replaced, file) && whole;
            } else if (!step.oldHash && hashBelow(m_folder, step.path) == step.newHash) {
                whole = !removeFile(file) && whole;
            }
        }
        if (present(staged)) {
            whole = !removeFile(staged) && whole;
        }
        removeEmptyFolders(file.parent_path());
    }
    if (whole) {
        removeFile(m_folder / Journal);
        removeFile(withSuffix(m_folder / Journal, StagedSuffix));
    }
}

// Folders left empty, up to the install folder, which stays.
void Transaction::removeEmptyFolders(fs::path folder)
{
    std::error_code error;
    while (folder != m_folder && folder.has_relative_path() && !isLink(folder) && fs::is_empty(folder, error)
           && !error) {
        fs::remove(folder, error);
        folder = folder.parent_path();
    }
}

bool Transaction::probe()
{
    for (const Step &step : m_steps) {
        if (step.oldHash) {
            const std::error_code error = probeRename(target(step));
            if (error) {
                return failWith(error, target(step));
            }
        }
    }
    return true;
}

bool Transaction::commit()
{
    if (m_steps.empty()) {
        return true;
    }
    std::error_code error;
    fs::create_directories(m_folder, error);
    if (!probe() || !writeJournal("rollback")) {
        return false;
    }
    for (const Step &step : m_steps) {
        if (!step.bytes) {
            continue;
        }
        const fs::path staged = withSuffix(target(step), StagedSuffix);
        fs::create_directories(staged.parent_path(), error);
        error = act([&] { return writeDurably(staged, *step.bytes); });
        if (error) {
            rollBack(0);
            return failWith(error, target(step));
        }
    }
    for (std::size_t i = 0; i < m_steps.size(); ++i) {
        const Step &step = m_steps[i];
        const fs::path file = target(step);
        error.clear();
        if (step.oldHash) {
            error = act([&] { return renameOver(file, withSuffix(file, ReplacedSuffix)); });
        }
        if (!error && step.bytes) {
            error = act([&] { return renameOver(withSuffix(file, StagedSuffix), file); });
        }
        if (error) {
            rollBack(i + 1);
            return failWith(error, file);
        }
    }
    // The commit point: from here on the old files are not needed.
    if (!writeJournal("finish")) {
        rollBack(m_steps.size());
        return false;
    }
    // An old file that cannot go yet (a running program's on Windows) goes in the next run, which
    // finds the journal.
    bool cleared = true;
    for (const Step &step : m_steps) {
        if (step.oldHash) {
            cleared = !act([&] { return removeFile(withSuffix(target(step), ReplacedSuffix)); }) && cleared;
        }
        removeEmptyFolders(target(step).parent_path());
    }
    if (cleared) {
        act([&] { return removeFile(m_folder / Journal); });
    }
    for (const Step &step : m_steps) {
        if (!step.told.empty()) {
            m_result->messages.push_back(step.told);
        }
    }
    return true;
}
