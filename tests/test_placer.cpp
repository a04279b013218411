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
// The start of another build's stand-in: its mark went with its tail.
const std::string TornOther = library("standin of another build", {}, true).substr(0, 700);
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
        if (!it->is_symlink() && it->is_regular_file()
            && (withManifests || path.find(".sha256") == std::string::npos)) {
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
    bool bringInPlace = false; // the library brought is the one in the folder, spelled with ".\\"
    const char *said = nullptr; // a line of the install's messages
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
          {"uninstall-vendor.sha256",
           manifest({{"VSDevNetSDK.dll", Vendor1}, {"vshelper.dll", Helper1}}) + "no record\r\n"}},
         {},
         {},
         {{"brelo_tool.exe", Tool2},
          {"platforms/qwindows.dll", Qwindows},
          {"VSDevNetSDK.dll", Vendor1},
          {"vshelper.dll", Helper1}},
         {},
         false,
         "安装记录 uninstall-vendor.sha256 里有 1 行无法读取, 它们所指的文件没有动。"},
        {"vendor-kept put back over a stand-in cut short",
         {{"VSDevNetSDK.dll", StandIn2.substr(0, StandIn2.size() / 2)},
          {"vendor-kept/VSDevNetSDK.dll", Vendor1},
          {"uninstall-vendor.sha256", manifest({{"VSDevNetSDK.dll", Vendor1}})}},
         {},
         {},
         {{"brelo_tool.exe", Tool2}, {"platforms/qwindows.dll", Qwindows}, {"VSDevNetSDK.dll", Vendor1}},
         {}},
        {"the library brought is the one in place",
         {{"VSDevNetSDK.dll", Vendor1}, {"vshelper.dll", Helper1}},
         {},
         {},
         {{"brelo_tool.exe", Tool2},
          {"platforms/qwindows.dll", Qwindows},
          {"VSDevNetSDK.dll", Vendor1},
          {"vshelper.dll", Helper1}},
         {{"VSDevNetSDK.dll", Vendor1}, {"vshelper.dll", Helper1}},
         true,
         "保留了安装文件夹里设备厂商的 VSDevNetSDK.dll, 没有动它。"},
        {"vendor-kept put back over another build's torn stand-in",
         {{"VSDevNetSDK.dll", TornOther},
          {"vendor-kept/VSDevNetSDK.dll", Vendor1},
          {"vendor-kept/vshelper.dll", Helper1}},
         {},
         {},
         {{"brelo_tool.exe", Tool2},
          {"platforms/qwindows.dll", Qwindows},
          {"VSDevNetSDK.dll", Vendor1},
          {"vshelper.dll", Helper1}},
         {{"VSDevNetSDK.dll", Vendor1}, {"vshelper.dll", Helper1}}},
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
        if (scenario.bringInPlace) {
            placement.library = root / Folder / "." / "VSDevNetSDK.dll";
        }
        placement.previous = scenario.previous;
    }

    QTemporaryDir dir;
    fs::path root;
    Placement placement;
};

// The install, or the uninstall after it, with what a test makes of its changes; before: the folder
// before the run interfered with.
PlacerResult run(Setup *setup, bool removing, const Interferer &interfere, Files *before)
{
    setup->placement.beforeChange = removing ? Interferer() : interfere;
    if (!removing) {
        *before = readTree(setup->placement.folder);
        return placeFiles(setup->placement);
    }
    placeFiles(setup->placement);
    *before = readTree(setup->placement.folder);
    return removeInstalled(setup->placement.folder, interfere);
}

// How many changes an uninterrupted run makes, and its end state.
std::pair<int, Files> uninterrupted(const Scenario &scenario, bool removing)
{
    Setup setup(scenario);
    int changes = 0;
    Files before;
    const PlacerResult result = run(
        &setup, removing, [&changes] { return ++changes, Interference::None; }, &before);
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
    if (s.said) {
        std::string said;
        for (const std::string &line : result.messages) {
            said += line + "\n";
        }
        QVERIFY2(said.find(s.said) != std::string::npos, said.c_str());
    }
    // A second run changes nothing.
    const Files placed = readTree(setup.placement.folder);
    QCOMPARE(placeFiles(setup.placement).exitCode, int(SetupDone));
    QVERIFY(readTree(setup.placement.folder) == placed);

    QCOMPARE(removeInstalled(setup.placement.folder).exitCode, int(SetupDone));
    QVERIFY(readTree(setup.placement.folder) == s.left);
}

// Stopped before its N-th change, for every N, as by a kill, or that change failing as the system can
// make it fail; also for the uninstall. After any run that next finds what the first left, the folder
// is exactly as before or as after, manifests included, and a new run ends where an uninterrupted one does.
void TestPlacer::interrupted_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<bool>("removing");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("interference");
    const char *names[] = {"", "stopped", "no space", "access denied", "in use"};
    int rows = 0;
    for (std::size_t i = 0; i < scenarios().size(); ++i) {
        for (const bool removing : {false, true}) {
            const int changes = uninterrupted(scenarios()[i], removing).first;
            QVERIFY2(changes > 0 || removing, scenarios()[i].name);
            for (int step = 1; step <= changes; ++step) {
                // A stop, and a failure whose kind turns with the step.
                for (const int kind : {int(Interference::Stop), int(Interference::NoSpace) + step % 3}) {
                    ++rows;
                    QTest::addRow("%s, %s, %s at change %d of %d", scenarios()[i].name,
                                  removing ? "uninstall" : "install", names[kind], step, changes)
                        << int(i) << removing << step << kind;
                }
            }
        }
    }
    qInfo("interruption table: %d rows", rows);
}

void TestPlacer::interrupted()
{
    QFETCH(int, scenario);
    QFETCH(bool, removing);
    QFETCH(int, step);
    QFETCH(int, interference);
    const Scenario &s = scenarios()[std::size_t(scenario)];
    const Files end = uninterrupted(s, removing).second;
    Setup setup(s);
    Files before;
    int made = 0;
    const PlacerResult result = run(
        &setup, removing,
        [&made, step, interference] { return ++made == step ? Interference(interference) : Interference::None; },
        &before);
    QCOMPARE(result.stopped, Interference(interference) == Interference::Stop);
    if (result.exitCode != SetupDone && !result.stopped) {
        QVERIFY(readTree(setup.placement.folder) == before);
        QCOMPARE(result.exitCode,
                 int(Interference(interference) == Interference::InUse ? SetupInUse : SetupNotWritten));
        const std::string cause = Interference(interference) == Interference::NoSpace ? "磁盘空间不足" : "";
        QVERIFY(result.messages.back().find(cause) != std::string::npos);
    }

    Placement check = setup.placement;
    check.payload.clear();
    check.beforeChange = {};
    placeFiles(check);
    const Files now = readTree(setup.placement.folder);
    QVERIFY(now == before || now == end);
    if (removing) {
        QCOMPARE(removeInstalled(setup.placement.folder).exitCode, int(SetupDone));
    } else {
        setup.placement.beforeChange = {};
        QCOMPARE(placeFiles(setup.placement).exitCode, int(SetupDone));
    }
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
    QTest::newRow("a chosen library importing a name in GBK bytes") << "安装"
                                                                    << "gbk" << int(SetupRefused) << "名称无法读取";
    QTest::newRow("a link in the folder, never written through") << "安装"
                                                                 << "" << int(SetupNotWritten) << "platforms 是链接";
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
    const std::map<QString, std::string> libraries = {
        {"release2", Vendor2}, {"escape", library("e", {"../x.dll"})}, {"gbk", library("g", {"\xd6\xd0.dll"})}};
    if (libraries.count(libraryBytes) > 0) {
        writeTree(root / VendorFolder, {{"VSDevNetSDK.dll", libraries.at(libraryBytes)}, {"vshelper.dll", Helper2}});
    }
    const bool otherBits = QByteArray(QTest::currentDataTag()).contains("other bitness");
    writeTree(root / Folder,
              {{"VSDevNetSDK.dll", otherBits ? library("other", {}, false, 96 - Bits) : Vendor1},
               {"vshelper.dll", "changed by the user"},
               {"uninstall-vendor.sha256", manifest({{"VSDevNetSDK.dll", Vendor1}, {"vshelper.dll", Helper1}})}});
    if (QByteArray(QTest::currentDataTag()).contains("link")) {
        std::error_code error;
        fs::create_directory_symlink(root / "outside", root / Folder / "platforms", error);
        if (error) {
            QSKIP("this system makes no links for this user");
        }
    }
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
    QTest::newRow("a device") << "platforms\\CON" << false;
    QTest::newRow("a device with an extension") << "nul.txt" << false;
    QTest::newRow("a trailing dot") << "x.dll." << false;
    QTest::newRow("a trailing space") << "x.dll " << false;
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
    writeTree(root / Folder, {{"uninstall-package.sha256", lines + manifest({{"link.dll", "the user's"}})}});
    std::error_code error;
    fs::create_symlink(root / "outside/notes.txt", root / Folder / "link.dll", error);

    const PlacerResult result = removeInstalled(root / Folder);
    QCOMPARE(result.exitCode, int(SetupDone));
    QVERIFY(readTree(root) == (Files {{"outside/notes.txt", "the user's"}, {"安装/VSDevNetSDK.dll", Vendor1}}));
    QVERIFY(error || fs::is_symlink(root / Folder / "link.dll"));
    QCOMPARE(result.messages.size(), std::size_t(error ? 2 : 3));
    QVERIFY(result.messages[0].find("uninstall-package.sha256 里有 2 行无法读取") != std::string::npos);
    QVERIFY(result.messages[1].find("VSDevNetSDK.dll") != std::string::npos);
}

QTEST_APPLESS_MAIN(TestPlacer)
#include "test_placer.moc"
