#include <QTest>
#include <QValidator>

#include <memory>

#include "compat/qtcompat.h"

// The validator patterns must mean on Qt 6 what QRegExp makes of them on Qt 5.
class TestQtCompat : public QObject
{
    Q_OBJECT

private slots:
    void patternsKeepTheirRegExpMeaning_data();
    void patternsKeepTheirRegExpMeaning();
};

void TestQtCompat::patternsKeepTheirRegExpMeaning_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QValidator::State>("state");

    const QString octet = QStringLiteral("^(2[0-4]\\d|25[0-5]|[01]?\\d\\d?)$");
    const QString address =
        QStringLiteral("^((2[0-4]\\d|25[0-5]|[01]?\\d\\d?)\\.){3}(2[0-4]\\d|25[0-5]|[01]?\\d\\d?)$");
    const QString dns = QStringLiteral("^[0-9.;]+$");

    QTest::newRow("octet") << octet << "255" << QValidator::Acceptable;
    QTest::newRow("octet out of range") << octet << "256" << QValidator::Invalid;
    QTest::newRow("empty octet") << octet << "" << QValidator::Intermediate;
    QTest::newRow("octet, final newline") << octet << "12\n" << QValidator::Invalid;
    QTest::newRow("octet, Arabic-Indic digits")
        << octet << QString::fromUtf8("\xd9\xa1\xd9\xa2") << QValidator::Acceptable;
    QTest::newRow("address") << address << "192.168.1.20" << QValidator::Acceptable;
    QTest::newRow("address begun") << address << "192.168." << QValidator::Intermediate;
    QTest::newRow("address, final newline") << address << "1.2.3.4\n" << QValidator::Invalid;
    QTest::newRow("dns list") << dns << "8.8.8.8;1.1.1.1" << QValidator::Acceptable;
    QTest::newRow("dns, final newline") << dns << "8.8.8.8\n" << QValidator::Invalid;
    QTest::newRow("dollar inside a class") << QStringLiteral("^[]$]+$") << "]$]" << QValidator::Acceptable;
}

void TestQtCompat::patternsKeepTheirRegExpMeaning()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(QValidator::State, state);

    const std::unique_ptr<QValidator> validator(QtCompat::newPatternValidator(pattern, nullptr));
    QString input = text;
    int position = input.size();
    QCOMPARE(validator->validate(input, position), state);
    QCOMPARE(QtCompat::matchesWhole(pattern, text), state == QValidator::Acceptable);
}

QTEST_GUILESS_MAIN(TestQtCompat)
#include "test_qtcompat.moc"
