#include <QTest>

#include <map>

#include "compat/dllsearch.h"
#include "compat/libraryjudge.h"
#include "compat/peimage.h"
#include "pebuilder.h"

using Names = std::vector<std::string>;
Q_DECLARE_METATYPE(PeLayout)
Q_DECLARE_METATYPE(Names)
Q_DECLARE_METATYPE(LibraryVerdict)

namespace {

const Names Four = {"vsnet_init", "vsnet_uninit", "vsnet_search", "vsnet_send_json_msg"};
const std::array<std::uint16_t, 4> StandInVersion = {0, 0, 9999, 1};

PeLayout layout(int bits, Names exports, Names imports = {})
{
    PeLayout result;
    result.bits = bits;
    result.exports = std::move(exports);
    result.imports = std::move(imports);
    return result;
}

// The files around the judged library: where each name is found, and its bytes.
using Files = std::map<std::string, std::pair<FoundDll::Place, std::string>>;

DllLookup lookupIn(const Files &files)
{
    return {[files](const std::string &name) {
                const auto file = files.find(name);
                return file == files.end() ? FoundDll() : FoundDll {file->second.first, name};
            },
            [files](const std::string &path) { return std::optional<std::string>(files.at(path).second); }};
}

} // namespace

class TestLibraryJudge : public QObject
{
    Q_OBJECT

private slots:
    void readsBothFormats_data();
    void readsBothFormats();
    void truncatedImages();
    void craftedCountsStayBounded();
    void judges_data();
    void judges();
    void importsThatAreNoDllNames();
};

void TestLibraryJudge::readsBothFormats_data()
{
    QTest::addColumn<PeLayout>("layout");
    QTest::addColumn<int>("bits");
    QTest::addColumn<quint64>("version");

    PeLayout pe32 = layout(32, Four, {"KERNEL32.dll", "msvcrt.dll"});
    pe32.fileVersion = StandInVersion;
    QTest::newRow("PE32") << pe32 << 32 << quint64(0x270f0001);
    PeLayout pe32Plus = layout(64, Four, {"VCRUNTIME140.dll"});
    pe32Plus.fileVersion = {{1, 2, 3, 4}};
    QTest::newRow("PE32+") << pe32Plus << 64 << quint64(0x0001000200030004);
    QTest::newRow("ARM64") << layout(0, Four) << 0 << quint64(0);
    QTest::newRow("names at the length limit") << layout(64, {std::string(512, 'n')}) << 64 << quint64(0);
}

void TestLibraryJudge::readsBothFormats()
{
    QFETCH(PeLayout, layout);
    QFETCH(int, bits);
    QFETCH(quint64, version);

    const PeImage image = readPeImage(buildPe(layout));
    QCOMPARE(image.bits, bits);
    QCOMPARE(image.exports, layout.exports);
    QCOMPARE(image.imports, layout.imports);
    QCOMPARE(image.fileVersion.value_or(0), version);
}

// Every cut of a valid image reads as far as its bytes go, never beyond and never as other names.
void TestLibraryJudge::truncatedImages()
{
    for (int bits : {32, 64}) {
        PeLayout full = layout(bits, Four, {"KERNEL32.dll", "absent_runtime.dll"});
        full.fileVersion = StandInVersion;
        const std::string bytes = buildPe(full);
        for (std::size_t size = 0; size < bytes.size(); ++size) {
            const PeImage image = readPeImage(std::string_view(bytes).substr(0, size));
            QVERIFY(image.bits == 0 || image.bits == bits);
            for (const std::string &name : image.exports) {
                QVERIFY2(std::find(Four.begin(), Four.end(), name) != Four.end(), name.c_str());
            }
            QVERIFY(image.imports.size() <= 2);
            QVERIFY(!image.fileVersion || *image.fileVersion == 0x270f0001);
        }
        QCOMPARE(readPeImage(bytes).exports, Four);
    }
}

void TestLibraryJudge::craftedCountsStayBounded()
{
    PeLayout sections = layout(64, Four);
    sections.sectionCount = 0xffff;
    QCOMPARE(readPeImage(buildPe(sections)).bits, 0);

    PeLayout count = layout(32, Four);
    count.exportCount = 0xffffffff;
    QCOMPARE(readPeImage(buildPe(count)).exports.size() >= Four.size(), true);
    QVERIFY(readPeImage(buildPe(count)).exports.size() <= 65536);

    // Names that run on to the end of the file, and one a byte beyond the limit, are no names.
    PeLayout unterminated = layout(64, {});
    unterminated.exportCount = 65536;
    unterminated.unterminatedTail = 1 << 20;
    QCOMPARE(readPeImage(buildPe(unterminated)).exports, Names());
    QCOMPARE(readPeImage(buildPe(layout(64, {std::string(513, 'n')}))).exports, Names());
}

void TestLibraryJudge::judges_data()
{
    QTest::addColumn<PeLayout>("layout");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<LibraryVerdict>("verdict");
    QTest::addColumn<bool>("standIn");
    QTest::addColumn<Names>("companions");
    QTest::addColumn<Names>("missing");
    QTest::addColumn<QString>("text");

    const QString shown = QStringLiteral("D:\\厂商\\VSDevNetSDK.dll");
    const Names windows = {"KERNEL32.dll", "api-ms-win-crt-runtime-l1-1-0.dll"};
    PeLayout standIn = layout(64, Four, windows);
    standIn.fileVersion = StandInVersion;
    QTest::newRow("the stand-in") << standIn << true << LibraryVerdict::Usable << true << Names() << Names()
                                  << QString();
    PeLayout vendor = layout(64, Four, windows);
    vendor.fileVersion = {{0, 0, 9999, 2}};
    QTest::newRow("a vendor's") << vendor << true << LibraryVerdict::Usable << false << Names() << Names() << QString();
    QTest::newRow("unreadable") << PeLayout() << false << LibraryVerdict::Unusable << false << Names() << Names()
                                << QStringLiteral("无法读取设备库 %1。").arg(shown);
    QTest::newRow("no PE image") << layout(0, Four) << true << LibraryVerdict::Unusable << false << Names() << Names()
                                 << QStringLiteral("设备库 %1 不是 32 位或 64 位的 Windows DLL, 无法使用。").arg(shown);
    QTest::newRow("other bits") << layout(32, {"vsnet_init"}, {"nowhere.dll"}) << true << LibraryVerdict::OtherBits
                                << false << Names() << Names()
                                << QStringLiteral("设备库 %1 是 32 位的, 本程序是 64 位的。请改用 Brelo_Tool 的 32 "
                                                  "位版本 (win32)。")
                                       .arg(shown);
    QTest::newRow("no search") << layout(64, {"vsnet_init", "vsnet_uninit", "vsnet_send_json_msg"}) << true
                               << LibraryVerdict::Unusable << false << Names() << Names()
                               << QStringLiteral("设备库 %1 缺少函数 vsnet_search, 无法使用。").arg(shown);
    QTest::newRow("stdcall") << layout(64, {"_vsnet_init@0", "_vsnet_uninit@0", "_vsnet_search@8"}) << true
                             << LibraryVerdict::Unusable << false << Names() << Names()
                             << QStringLiteral("设备库 %1 缺少函数 vsnet_init, vsnet_uninit, vsnet_search, "
                                               "vsnet_send_json_msg, 无法使用。\n该库按 stdcall 约定导出函数, "
                                               "本程序需要 cdecl 约定的设备库。")
                                    .arg(shown);
    // companion.dll needs deep.dll, found nowhere, and itself again.
    QTest::newRow("imports of a companion")
        << layout(64, Four, {"companion.dll", "KERNEL32.dll"}) << true << LibraryVerdict::Usable << false
        << Names {"companion.dll"} << Names {"deep.dll"}
        << QStringLiteral("设备库 %1 依赖的 deep.dll 找不到。请安装设备厂商要求的运行库, 或把这些文件放到本程序所在的"
                          "文件夹。")
               .arg(shown);
    Names many;
    for (int i = 0; i < 5000; ++i) {
        many.push_back("r" + std::to_string(i) + ".dll");
    }
    QTest::newRow("thousands missing")
        << layout(64, Four, many) << true << LibraryVerdict::Usable << false << Names()
        << Names(many.begin(), many.begin() + 4096)
        << QStringLiteral("设备库 %1 依赖的 r0.dll, r1.dll, r2.dll, r3.dll, r4.dll, r5.dll, r6.dll, r7.dll 等 4096 个 "
                          "找不到。请安装设备厂商要求的运行库, 或把这些文件放到本程序所在的文件夹。")
               .arg(shown);
}

void TestLibraryJudge::judges()
{
    QFETCH(PeLayout, layout);
    QFETCH(bool, readable);
    QFETCH(LibraryVerdict, verdict);
    QFETCH(bool, standIn);
    QFETCH(Names, companions);
    QFETCH(Names, missing);
    QFETCH(QString, text);

    const Files files = {
        {"KERNEL32.dll", {FoundDll::Windows, {}}},
        {"companion.dll", {FoundDll::Beside, buildPe(::layout(64, {}, {"deep.dll", "companion.dll", "KERNEL32.dll"}))}},
    };
    const std::optional<std::string> image = readable ? std::optional<std::string>(buildPe(layout)) : std::nullopt;
    const LibraryJudgement judgement = judgeLibrary(image, "D:\\厂商\\VSDevNetSDK.dll", 64, lookupIn(files));
    QCOMPARE(judgement.verdict, verdict);
    QCOMPARE(judgement.bits, readable ? layout.bits : 0);
    QCOMPARE(judgement.standIn, standIn);
    QCOMPARE(judgement.companions, companions);
    QCOMPARE(judgement.missingImports, missing);
    QCOMPARE(QString::fromStdString(judgement.text), text);
}

// Such an import makes the image malformed: no name of it is looked up, printed or copied.
void TestLibraryJudge::importsThatAreNoDllNames()
{
    std::string bad;
    for (int c = 1; c < 0x20; ++c) {
        bad += char(c);
    }
    bad += "\x7f/\\:";
    for (const char c : bad) {
        const std::string name = std::string("a") + c + "b.dll";
        QVERIFY2(!isDllName(name), qPrintable(QString::number(int(c))));
        const PeImage image = readPeImage(buildPe(layout(64, Four, {"KERNEL32.dll", name})));
        QCOMPARE(image.bits, 0);
        QVERIFY(image.badImport && image.imports.empty());
    }
    for (const char *name : {"..", ".", "", "..\\x.dll"}) {
        QVERIFY2(!isDllName(name), name);
        QCOMPARE(DllSearch({"."}, {}).find(name).place, FoundDll::Nowhere);
    }
    // The judge names the cause rather than calling the image no DLL.
    const LibraryJudgement judged =
        judgeLibrary(buildPe(layout(64, Four, {"\xd6\xd0.dll"})), "x.dll", 64, lookupIn({}));
    QCOMPARE(judged.verdict, LibraryVerdict::Unusable);
    QCOMPARE(QString::fromStdString(judged.text),
             QStringLiteral("设备库 x.dll 依赖的一个文件的名称无法读取 (不是 UTF-8 编码, 或者含有路径), 无法使用。"));
    QVERIFY(isDllName("VCRUNTIME140.dll"));
    QVERIFY(isDllName("厂商.dll"));
}

QTEST_APPLESS_MAIN(TestLibraryJudge)
#include "test_libraryjudge.moc"
