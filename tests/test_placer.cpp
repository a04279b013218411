#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "compat/dllsearch.h"
#include "pebuilder.h"
#include "tools/libcheck/placer.h"
#include "tools/libcheck/sha256.h"

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>; // relative path with '/' -> content

const int Bits = int(sizeof(void *) * 8);
// UTF-8 made paths on every system, whose narrow strings Windows would read in its code page.
const fs::path Folder = fs::u8path("安装");
const fs::path VendorFolder = fs::u8path("厂商");

std::string library(const std::string &mark, std::vector<std::string> imports = {}, bool standIn = false,
                    int bits = Bits)
{
    PeLayout layout;
    layout.bits = bits;
    layout.exports = {"vsnet_init", "vsnet_uninit", "vsnet_search", "vsnet_send_json_msg", mark};
    layout.imports = std::move(imports);
    if (standIn) {
        layout.fileVersion = {{0, 0, 9999, 1}};
    }
    return buildPe(layout);
}

std::string helper(const std::string &mark)
{
    PeLayout layout;
    layout.bits = Bits;
    layout.exports = {mark};
    return buildPe(layout);
}

const std::string Tool1 = "brelo_tool 1";
const std::string Tool2 = "brelo_tool 2";
const std::string Qwindows = "qwindows 2";
const std::string Old = "a file only the older version shipped";
const std::string StandIn1 = library("standin1", {}, true);
const std::string StandIn2 = library("standin2", {}, true);
const std::string Vendor1 = library("release1", {"vshelper.dll"});
const std::string Vendor2 = library("release2", {"vshelper.dll"});
const std::string Helper1 = helper("helper1");
const std::string Helper2 = helper("helper2");
const std::string NeedsRuntime = library("release1", {"runtime.dll"});
const std::string Runtime = helper("runtime");
const std::string BadImport = library("release1", {"x\nstandin=1"});
const Files Payload = {{"brelo_tool.exe", Tool2}, {"platforms/qwindows.dll", Qwindows}, {"VSDevNetSDK.dll", StandIn2}};

std::string manifest(const Files &files)
{
    std::string text;
    for (const auto &[path, bytes] : files) {
        Sha256 sha;
        sha.add(bytes);
        std::string recorded = path;
        std::replace(recorded.begin(), recorded.end(), '/', '\\');
        text += sha.hexDigest() + "  " + recorded + "\r\n";
    }
    return text;
}

void writeTree(const fs::path &root, const Files &files)
{
    for (const auto &[path, bytes] : files) {
        fs::create_directories((root / fs::u8path(path)).parent_path());
        std::ofstream(root / fs::u8path(path), std::ios::binary) << bytes;
    }
}

// Every file below root; the manifests too, unless left out.
Files readTree(const fs::path &root, bool withManifests = true)
{
    Files files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        const std::string path = fs::relative(it->path(), root).generic_u8string();
        if (it->is_regular_file() && (withManifests || path.find(".sha256") == std::string::npos)) {
            std::ifstream in(it->path(), std::ios::binary);
            files[path] = std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        }
    }
    return files;
}

struct Scenario
{
    const char *name;
    Files before; // the install folder
    Files source; // the vendor's folder, with the VSDevNetSDK.dll chosen; empty for none
    PreviousVendorRecord previous;
    Files after; // the folder after the install, manifests left out
    Files left; // what the uninstall then leaves
};

const std::vector<Scenario> &scenarios()
{
    static const std::vector<Scenario> all = {
        {"release 2 of a library over release 1",
         {{"brelo_tool.exe", Tool1},
          {"old.dll", Old},
          {"VSDevNetSDK.dll", Vendor1},
          {"vshelper.dll", Helper1},
          {"uninstall-package.sha256", manifest({{"brelo_tool.exe", Tool1}, {"old.dll", Old}})},
          {"uninstall-vendor.sha256", manifest({{"VSDevNetSDK.dll", Vendor1}, {"vshelper.dll", Helper1}})}},
         {{"VSDevNetSDK.dll", Vendor2}, {"vshelper.dll", Helper2}},
         {},
         {{"brelo_tool.exe", Tool2},
          {"platforms/qwindows.dll", Qwindows},
          {"VSDevNetSDK.dll", Vendor2},
          {"vshelper.dll", Helper2}},
         {}},
        {"the stand-in upgraded",
         {{"brelo_tool.exe", Tool1},
          {"old.dll", Old},
          {"VSDevNetSDK.dll", StandIn1},
          {"uninstall-package.sha256",
           manifest({{"brelo_tool.exe", Tool1}, {"old.dll", Old}, {"VSDevNetSDK.dll", StandIn1}})}},
         {},
         {},
         {{"brelo_tool.exe", Tool2}, {"platforms/qwindows.dll", Qwindows}, {"VSDevNetSDK.dll", StandIn2}},
         {}},
        {"a stand-in cut short by an earlier installer",
         {{"VSDevNetSDK.dll", StandIn2.substr(0, StandIn2.size() / 2)}},
         {},
         {},
         {{"brelo_tool.exe", Tool2}, {"platforms/qwindows.dll", Qwindows}, {"VSDevNetSDK.dll", StandIn2}},
         {}},
        {"an older version's file changed since",
         {{"old.dll", "changed"}, {"uninstall-package.sha256", manifest({{"old.dll", Old}})}},
         {},
         {},
         {{"brelo_tool.exe", Tool2},
          {"platforms/qwindows.dll", Qwindows},
          {"VSDevNetSDK.dll", StandIn2},
          {"old.dll", "changed"}},
         {{"old.dll", "changed"}}},
        {"a kept library's import that the older version shipped",
         {{"brelo_tool.exe", Tool1},
          {"runtime.dll", Runtime},
          {"VSDevNetSDK.dll", NeedsRuntime},
          {"uninstall-package.sha256", manifest({{"brelo_tool.exe", Tool1}, {"runtime.dll", Runtime}})}},
         {},
         {},
         {{"brelo_tool.exe", Tool2},
          {"platforms/qwindows.dll", Qwindows},
          {"runtime.dll", Runtime},
          {"VSDevNetSDK.dll", NeedsRuntime}},
         {{"VSDevNetSDK.dll", NeedsRuntime}}},
        {"a library whose import name holds a line break",
         {{"VSDevNetSDK.dll", BadImport}},
         {},
         {},
         {{"brelo_tool.exe", Tool2}, {"platforms/qwindows.dll", Qwindows}, {"VSDevNetSDK.dll", BadImport}},
         {{"VSDevNetSDK.dll", BadImport}}},
        {"the previous installer's record",
         {{"brelo_tool.exe", Tool1}, {"VSDevNetSDK.dll", Vendor1}, {"vshelper.dll", Helper1}},
         {},
         {true, Vendor1.size(), {"vshelper.dll", "..\\outside.dll"}},
         {{"brelo_tool.exe", Tool2},
          {"platforms/qwindows.dll", Qwindows},
          {"VSDevNetSDK.dll", Vendor1},
          {"vshelper.dll", Helper1}},
         {}},
        {"the previous installer's record of a library replaced since",
         {{"VSDevNetSDK.dll", Vendor1}, {"vshelper.dll", Helper1}},
         {},
         {true, Vendor1.size() + 1, {"vshelper.dll"}},
         {{"brelo_tool.exe", Tool2},
          {"platforms/qwindows.dll", Qwindows},
          {"VSDevNetSDK.dll", Vendor1},
          {"vshelper.dll", Helper1}},
         {{"VSDevNetSDK.dll", Vendor1}}},
        {"vendor-kept put back",
         {{"VSDevNetSDK.dll", StandIn1},
          {"vendor-kept/VSDevNetSDK.dll", Vendor1},
          {"vendor-kept/vshelper.dll", Helper1},
          {"uninstall-vendor.sha256", manifest({{"VSDevNetSDK.dll", Vendor1}, {"vshelper.dll", Helper1}})}},
         {},
         {},
         {{"brelo_tool.exe", Tool2},
          {"platforms/qwindows.dll", Qwindows},
          {"VSDevNetSDK.dll", Vendor1},
          {"vshelper.dll", Helper1}},
         {}},
        {"vendor-kept put back over a stand-in cut short",
         {{"VSDevNetSDK.dll", StandIn2.substr(0, StandIn2.size() / 2)},
          {"vendor-kept/VSDevNetSDK.dll", Vendor1},
          {"uninstall-vendor.sha256", manifest({{"VSDevNetSDK.dll", Vendor1}})}},
         {},
         {},
         {{"brelo_tool.exe", Tool2}, {"platforms/qwindows.dll", Qwindows}, {"VSDevNetSDK.dll", Vendor1}},
         {}},
        {"a fresh install with a library",
         {},
         {{"VSDevNetSDK.dll", Vendor2}, {"vshelper.dll", Helper2}},
         {},
         {{"brelo_tool.exe", Tool2},
          {"platforms/qwindows.dll", Qwindows},
          {"VSDevNetSDK.dll", Vendor2},
          {"vshelper.dll", Helper2}},
         {}},
    };
    return all;
}

// A scenario's folders in a temporary directory; place() runs the placer on them.
struct Setup
{
    explicit Setup(const Scenario &scenario)
        : root(fs::u8path(dir.path().toStdString()))
    {
        writeTree(root / "payload", Payload);
        writeTree(root / Folder, scenario.before);
        writeTree(root / VendorFolder, scenario.source);
        placement.payload = root / "payload";
        placement.folder = root / Folder;
        placement.library = scenario.source.empty() ? fs::path() : root / VendorFolder / "VSDevNetSDK.dll";
        placement.previous = scenario.previous;
    }

    QTemporaryDir dir;
    fs::path root;
    Placement placement;
};

// How many changes an uninterrupted run makes, and its end state.
std::pair<int, Files> uninterrupted(const Scenario &scenario)
{
    Setup setup(scenario);
    int changes = 0;
    setup.placement.beforeChange = [&changes]() { return ++changes > 0; };
    const PlacerResult result = placeFiles(setup.placement);
    return {result.exitCode == SetupDone ? changes : -1, readTree(setup.placement.folder)};
}

} // namespace

class TestPlacer : public QObject
{
    Q_OBJECT

private slots:
    void places_data();
    void places();
    void interrupted_data();
    void interrupted();
    void refuses_data();
    void refuses();
    void plainRelativePaths_data();
    void plainRelativePaths();
    void uninstallsOnlyWhatItRecorded();
};

void TestPlacer::places_data()
{
    QTest::addColumn<int>("scenario");
    for (std::size_t i = 0; i < scenarios().size(); ++i) {
        QTest::newRow(scenarios()[i].name) << int(i);
    }
}

void TestPlacer::places()
{
    QFETCH(int, scenario);
    const Scenario &s = scenarios()[std::size_t(scenario)];
    Setup setup(s);

    const PlacerResult result = placeFiles(setup.placement);
    QCOMPARE(result.exitCode, int(SetupDone));
    QVERIFY(readTree(setup.placement.folder, false) == s.after);
    // A second run changes nothing.
    const Files placed = readTree(setup.placement.folder);
    QCOMPARE(placeFiles(setup.placement).exitCode, int(SetupDone));
    QVERIFY(readTree(setup.placement.folder) == placed);

    QCOMPARE(removeInstalled(setup.placement.folder).exitCode, int(SetupDone));
    QVERIFY(readTree(setup.placement.folder) == s.left);
}

// Stopped before its N-th change, for every N, as by a kill: every file is as before or as after and
// whole, and a new run ends where an uninterrupted one does.
void TestPlacer::interrupted_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("changes");
    int rows = 0;
    for (std::size_t i = 0; i < scenarios().size(); ++i) {
        const int changes = uninterrupted(scenarios()[i]).first;
        QVERIFY2(changes > 0, scenarios()[i].name);
        for (int stop = 1; stop <= changes; ++stop, ++rows) {
            QTest::addRow("%s, stopped before change %d of %d", scenarios()[i].name, stop, changes)
                << int(i) << stop << changes;
        }
    }
    qInfo("interruption table: %d rows", rows);
}

void TestPlacer::interrupted()
{
    QFETCH(int, scenario);
    QFETCH(int, stop);
    QFETCH(int, changes);
    const Scenario &s = scenarios()[std::size_t(scenario)];
    const auto [count, end] = uninterrupted(s);
    QCOMPARE(count, changes);
    Setup setup(s);
    int made = 0;
    setup.placement.beforeChange = [&made, stop]() { return ++made < stop; };
    QVERIFY(placeFiles(setup.placement).stopped);

    Files now = readTree(setup.placement.folder);
    for (auto it = now.begin(); it != now.end();) {
        it = it->first.size() > 11 && it->first.compare(it->first.size() - 11, 11, ".brelo-part") == 0 ? now.erase(it)
                                                                                                       : std::next(it);
    }
    Files all = s.before;
    all.insert(end.cbegin(), end.cend());
    for (const auto &[path, bytes] : all) {
        const auto at = now.find(path);
        const auto was = s.before.find(path);
        const auto will = end.find(path);
        const bool asBefore =
            at == now.end() ? was == s.before.end() : was != s.before.end() && was->second == at->second;
        const bool asAfter = at == now.end() ? will == end.end() : will != end.end() && will->second == at->second;
        QVERIFY2(asBefore || asAfter, path.c_str());
    }
    QVERIFY(now.size() <= all.size());
    if (s.before.count("VSDevNetSDK.dll") > 0 && s.before.at("VSDevNetSDK.dll") != StandIn1) {
        QVERIFY(now.count("VSDevNetSDK.dll") > 0);
    }

    setup.placement.beforeChange = {};
    QCOMPARE(placeFiles(setup.placement).exitCode, int(SetupDone));
    QVERIFY(readTree(setup.placement.folder) == end);
}

// Refused before any change, with a text that names the cause.
void TestPlacer::refuses_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("libraryBytes"); // key into the table below; empty for no library
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("named");

    QTest::newRow("a companion the user changed") << "安装"
                                                  << "release2" << int(SetupNotWritten) << "vshelper.dll";
    QTest::newRow("a folder whose path runs through a file") << "blocked/sub"
                                                             << "" << int(SetupRefused) << "blocked";
    QTest::newRow("the chosen library's folder gone") << "安装"
                                                      << "gone" << int(SetupRefused) << "gone";
    QTest::newRow("a chosen library importing ../x.dll") << "安装"
                                                         << "escape" << int(SetupRefused) << "厂商";
    QTest::newRow("a kept library of the other bitness") << "安装"
                                                         << "" << int(SetupRefused) << "win";
}

void TestPlacer::refuses()
{
    QFETCH(QString, folder);
    QFETCH(QString, libraryBytes);
    QFETCH(int, code);
    QFETCH(QString, named);

    QTemporaryDir dir;
    const fs::path root = fs::u8path(dir.path().toStdString());
    writeTree(root / "payload", Payload);
    writeTree(root, {{"blocked", "a file"}, {"x.dll", Helper2}});
    const std::map<QString, std::string> libraries = {{"release2", Vendor2}, {"escape", library("e", {"../x.dll"})}};
    if (libraries.count(libraryBytes) > 0) {
        writeTree(root / VendorFolder, {{"VSDevNetSDK.dll", libraries.at(libraryBytes)}, {"vshelper.dll", Helper2}});
    }
    const bool otherBits = QByteArray(QTest::currentDataTag()).contains("other bitness");
    writeTree(root / Folder,
              {{"VSDevNetSDK.dll", otherBits ? library("other", {}, false, 96 - Bits) : Vendor1},
               {"vshelper.dll", "changed by the user"},
               {"uninstall-vendor.sha256", manifest({{"VSDevNetSDK.dll", Vendor1}, {"vshelper.dll", Helper1}})}});
    const Files before = readTree(root);

    Placement placement;
    placement.payload = root / "payload";
    placement.folder = root / fs::u8path(folder.toStdString());
    placement.library = libraryBytes.isEmpty() ? fs::path() : root / VendorFolder / "VSDevNetSDK.dll";
    if (libraryBytes == "gone") {
        placement.library = root / "gone" / "VSDevNetSDK.dll";
    }
    const PlacerResult result = placeFiles(placement);
    QCOMPARE(result.exitCode, code);
    QString said;
    for (const std::string &line : result.messages) {
        said += QString::fromStdString(line) + '\n';
    }
    QVERIFY2(said.contains(named), qPrintable(said));
    QVERIFY(readTree(root) == before);
}

void TestPlacer::plainRelativePaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("plain");

    QTest::newRow("a file") << "brelo_tool.exe" << true;
    QTest::newRow("below a folder") << "platforms\\qwindows.dll" << true;
    QTest::newRow("a Chinese name") << "文档/说明.txt" << true;
    QTest::newRow("up and out") << "..\\outside\\notes.txt" << false;
    QTest::newRow("up inside") << "platforms\\..\\..\\x.dll" << false;
    QTest::newRow("absolute") << "/etc/passwd" << false;
    QTest::newRow("a drive") << "C:\\Windows\\x.dll" << false;
    QTest::newRow("drive-relative") << "C:x.dll" << false;
    QTest::newRow("a share") << "\\\\server\\share\\x.dll" << false;
    QTest::newRow("a stream") << "x.dll:stream" << false;
    QTest::newRow("a line break") << "x\ny.dll" << false;
    QTest::newRow("a dot") << ".\\x.dll" << false;
    QTest::newRow("empty") << "" << false;
}

void TestPlacer::plainRelativePaths()
{
    QFETCH(QString, path);
    QFETCH(bool, plain);
    QCOMPARE(isPlainRelativePath(path.toStdString()), plain);
}

// The manifests' paths confined to the folder; a file changed since stays, and is named.
void TestPlacer::uninstallsOnlyWhatItRecorded()
{
    QTemporaryDir dir;
    const fs::path root = fs::u8path(dir.path().toStdString());
    const Files recorded = {{"brelo_tool.exe", Tool2}, {"platforms/qwindows.dll", Qwindows}};
    writeTree(root / Folder, recorded);
    writeTree(root, {{"outside/notes.txt", "the user's"}, {"安装/VSDevNetSDK.dll", Vendor1}});
    std::string lines = manifest(recorded) + manifest({{"VSDevNetSDK.dll", Vendor2}});
    for (const std::string &escape : {std::string("..\\outside\\notes.txt"), (root / "outside/notes.txt").string()}) {
        lines += manifest({{"x", "the user's"}}).substr(0, 66) + escape + "\r\n";
    }
    writeTree(root / Folder, {{"uninstall-package.sha256", lines}});

    const PlacerResult result = removeInstalled(root / Folder);
    QCOMPARE(result.exitCode, int(SetupDone));
    QVERIFY(readTree(root) == (Files {{"outside/notes.txt", "the user's"}, {"安装/VSDevNetSDK.dll", Vendor1}}));
    QCOMPARE(result.messages.size(), std::size_t(1));
    QVERIFY(result.messages[0].find("VSDevNetSDK.dll") != std::string::npos);
}

QTEST_APPLESS_MAIN(TestPlacer)
#include "test_placer.moc"
