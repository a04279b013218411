#ifndef BRELO_TRANSACTION_H
#define BRELO_TRANSACTION_H

#include "placer.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

// A new file written whole beside its target before the commit renames it there.
extern const std::string StagedSuffix;
// The hash of a link or junction: it never matches, so a link is never taken for a file of ours.
extern const std::string LinkHash;
// The hash of a file that cannot be read: held open by a program, which a placer waits for.
extern const std::string HeldHash;
extern const std::string NothingChangedText;

// Thrown where a test stops the run, as a kill would.
struct TransactionStopped
{
};

// A path as the manifests record it ("platforms\\qwindows.dll") below folder.
std::filesystem::path below(const std::filesystem::path &folder, std::string relative);
std::string shown(std::filesystem::path path);
bool present(const std::filesystem::path &path);
std::string hashBytes(const std::string &bytes);
// None for a link, a folder or a file that cannot be read.
std::optional<std::string> readFile(const std::filesystem::path &file);
// The link or junction nearest folder on the way to path below it, if any.
std::optional<std::filesystem::path> linkOnWay(const std::filesystem::path &folder, const std::string &path);
// The content of a file below folder: none when absent, LinkHash when it or a folder on its way is a
// link or a junction (or it is no file), which writes and removals never go through; HeldHash when it
// cannot be read.
std::optional<std::string> hashBelow(const std::filesystem::path &folder, const std::string &path);
std::string inUseText(const std::filesystem::path &file);
void addLines(std::vector<std::string> *messages, const std::string &text);

// One work item of the transaction: the file at path gets bytes, or goes when there are none.
struct Step
{
    std::string path; // as recorded
    std::optional<std::string> bytes;
    std::string told; // said once the commit is through
    std::optional<std::string> oldHash; // what the file held when planned; none: nothing
    std::string newHash; // of bytes, "-" for none; from the journal when recovered
};

// Stage, journal, commit, and the rollback of each; every change to the folder goes through act(), where
// a test may stop it or make it fail.
class Transaction
{
public:
    Transaction(std::filesystem::path folder, Interferer interfere, PlacerResult *result)
        : m_folder(std::move(folder))
        , m_interfere(std::move(interfere))
        , m_result(result)
    {
    }

    // Finishes what the journal of a killed run says: the rollback of an unfinished commit, or the
    // deletion of the old files of a finished one.
    bool recover();
    void add(Step step)
    {
        step.newHash = step.bytes ? hashBytes(*step.bytes) : "-";
        m_steps.push_back(std::move(step));
    }
    const std::vector<Step> &steps() const { return m_steps; }
    // Asks, changing nothing, whether every file to be replaced or removed can be: exit 4 when not.
    bool probe();
    bool commit();

private:
    std::error_code act(const std::function<std::error_code()> &change);
    std::filesystem::path target(const Step &step) const { return below(m_folder, step.path); }
    bool writeJournal(const std::string &state);
    void rollBack(std::size_t done);
    void removeEmptyFolders(std::filesystem::path folder);
    bool fail(int code, const std::string &text)
    {
        m_result->exitCode = code;
        addLines(&m_result->messages, text);
        return false;
    }
    bool failWith(const std::error_code &error, const std::filesystem::path &file);

    const std::filesystem::path m_folder;
    const Interferer m_interfere;
    PlacerResult *m_result;
    std::vector<Step> m_steps;
};

#endif // BRELO_TRANSACTION_H
