#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "pebuilder.h"
#include "tools/libcheck/libcheckcommand.h"
#include "tools/libcheck/sha256.h"

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// An out-file read back: UTF-16LE behind its BOM, with CRLF line ends.
QString utf16Text(const QString &path)
{
    const QByteArray bytes = contents(path);
    if (!bytes.startsWith("\xff\xfe")) {
        return QStringLiteral("(no BOM)");
    }
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2), (bytes.size() - 2) / 2);
}

int run(const std::vector<QString> &args, QStringList *said = nullptr)
{
    std::vector<std::string> utf8;
    for (const QString &arg : args) {
        utf8.push_back(arg.toStdString());
    }
    return runLibCheck(utf8, [said](const std::string &line) {
        if (said) {
            said->append(QString::fromStdString(line));
        }
    });
}

} // namespace

class TestLibCheck : public QObject
{
    Q_OBJECT

private slots:
    void sha256_data();
    void sha256();
    void judgesAFile();
    void placingModes();
    void usage();
};

void TestLibCheck::sha256_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("digest");

    QTest::newRow("empty") << QByteArray()
                           << QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    QTest::newRow("abc") << QByteArray("abc")
                         << QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    QTest::newRow("two blocks") << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
                                << QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    QTest::newRow("a million a") << QByteArray(1000000, 'a')
                                 << QByteArray("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

void TestLibCheck::sha256()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, digest);

    // Fed in uneven pieces, so that blocks straddle them.
    Sha256 sha;
    for (int at = 0, piece = 1; at < input.size(); at += piece, piece = piece * 3 % 1000 + 1) {
        sha.add(std::string_view(input.constData() + at, std::size_t(std::min(piece, int(input.size()) - at))));
    }
    QCOMPARE(QByteArray::fromStdString(sha.hexDigest()), digest);
}

void TestLibCheck::judgesAFile()
{
    QTemporaryDir dir;
    const QString dll = dir.filePath(QStringLiteral("厂商/VSDevNetSDK.dll"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("厂商")));
    PeLayout layout;
    layout.bits = int(sizeof(void *) * 8);
    layout.exports = {"vsnet_init", "vsnet_uninit", "vsnet_send_json_msg"};
    layout.imports = {"companion.dll"};
    const std::string image = buildPe(layout);
    QVERIFY(write(dll, QByteArray::fromStdString(image)));
    PeLayout companion;
    companion.imports = {"absent.dll"};
    QVERIFY(write(dir.filePath(QStringLiteral("厂商/companion.dll")), QByteArray::fromStdString(buildPe(companion))));

    const QString out = dir.filePath(QStringLiteral("结果.txt"));
    QCOMPARE(run({dll, out}), 2);
    QCOMPARE(utf16Text(out),
             QStringLiteral("verdict=unusable\r\nbits=%1\r\nstandin=0\r\ncompanion=companion.dll\r\n"
                            "missing_import=absent.dll\r\ntext=设备库 %2 缺少函数 vsnet_search, 无法使用。\r\n")
                 .arg(layout.bits)
                 .arg(dll));
    QCOMPARE(run({dll, dir.filePath(QStringLiteral("no/such/folder/out.txt"))}), 9);
}

// The placing modes: setup.exe's exit codes, their words in the messages-file, a line each.
void TestLibCheck::placingModes()
{
    QTemporaryDir dir;
    QVERIFY(write(dir.filePath(QStringLiteral("文件")), "in the way"));
    const QString folder = dir.filePath(QStringLiteral("文件/程序"));
    const QString messages = dir.filePath(QStringLiteral("messages.txt"));
    QStringList said;
    QCOMPARE(run({QStringLiteral("--check"), folder, messages}, &said), 2);
    QVERIFY(utf16Text(messages).startsWith(QStringLiteral("无法安装到 %1: ").arg(QDir::toNativeSeparators(folder))));
    QCOMPARE(utf16Text(messages).count(QStringLiteral("\r\n")), 2);
    QCOMPARE(said.size(), 2);
    QCOMPARE(run({QStringLiteral("--place"), dir.filePath(QStringLiteral("payload")), folder, messages,
                  QStringLiteral("--previous"), QStringLiteral("1"), QStringLiteral("5"), QStringLiteral("a.dll|")}),
             2);
    // A messages-file that cannot be written stops it before any change, with one of setup's codes.
    QCOMPARE(
        run({QStringLiteral("--check"), dir.filePath(QStringLiteral("new")), dir.filePath(QStringLiteral("no/m"))}), 3);
    QVERIFY(!QDir(dir.filePath(QStringLiteral("new"))).exists());
    QCOMPARE(run({QStringLiteral("--remove"), dir.filePath(QStringLiteral("none")), messages}), 0);
    QCOMPARE(utf16Text(messages), QStringLiteral(""));
}

void TestLibCheck::usage()
{
    QCOMPARE(run({}), 9);
    QCOMPARE(run({QStringLiteral("--record"), QStringLiteral("a"), QStringLiteral("b")}), 9);
    QCOMPARE(run({QStringLiteral("--verify"), QStringLiteral("a")}), 9);
    QCOMPARE(run({QStringLiteral("--check"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("--previous")}),
             9);
    QCOMPARE(run({QStringLiteral("--remove"), QStringLiteral("a")}), 9);
}

QTEST_APPLESS_MAIN(TestLibCheck)
#include "test_libcheck.moc"
