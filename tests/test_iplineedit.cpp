#include <QSignalSpy>
#include <QTest>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "guitest.h"
#include "widgets/myiplineedit.h"

namespace {

const QStringList fieldNames {"lineEdit", "lineEdit_2", "lineEdit_3", "lineEdit_4"};

// Keys go wherever the focus is at the moment, as they would for a user.
void typeKeys(const QString &keys)
{
    for (const QChar c : keys) {
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }
}

} // namespace

class TestIpLineEdit : public GuiTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void octetRefusesWhatIsNotAByteValue_data();
    void octetRefusesWhatIsNotAByteValue();
    void typingMovesFocusOnlyWhenAnOctetIsComplete_data();
    void typingMovesFocusOnlyWhenAnOctetIsComplete();
    void movingOnSelectsTheNextOctetSoTypingReplacesIt();
    void backspaceStepsBackOnlyFromAnEmptyOctet();
    void pasteShortcut_data();
    void pasteShortcut();
    void textReadsEmptyOctetsAsZero_data();
    void textReadsEmptyOctetsAsZero();
    void setTextTakesOnlyWholeAddresses_data();
    void setTextTakesOnlyWholeAddresses();
    void focusOnTheWidgetLandsInTheFirstOctet();
    void keypadEnterIsSwallowedWhileReturnReachesTheDialog();

private:
    QLineEdit *field(const QString &name) const { return edit->findChild<QLineEdit *>(name); }
    QStringList octets() const;
    void setOctets(const QStringList &texts);

    MyIpLineEdit *edit = nullptr;
};

void TestIpLineEdit::init()
{
    edit = new MyIpLineEdit;
    QVERIFY(showActive(edit));
}

void TestIpLineEdit::cleanup()
{
    delete edit;
    edit = nullptr;
}

QStringList TestIpLineEdit::octets() const
{
    QStringList texts;
    for (const QString &name : fieldNames) {
        texts << field(name)->text();
    }
    return texts;
}

void TestIpLineEdit::setOctets(const QStringList &texts)
{
    for (int i = 0; i < fieldNames.size(); ++i) {
        field(fieldNames.at(i))->setText(texts.at(i));
    }
}

void TestIpLineEdit::octetRefusesWhatIsNotAByteValue_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");
    QTest::newRow("255 is the largest") << "255"
                                        << "255";
    QTest::newRow("256 keeps 25") << "256"
                                  << "25";
    QTest::newRow("300 keeps 30") << "300"
                                  << "30";
    QTest::newRow("no fourth digit") << "1234"
                                     << "123";
    QTest::newRow("leading zeros kept") << "007"
                                        << "007";
    QTest::newRow("letters refused") << "1a2"
                                     << "12";
    QTest::newRow("dot never inserted") << "1.2"
                                        << "12";
}

void TestIpLineEdit::octetRefusesWhatIsNotAByteValue()
{
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    // The last octet has no successor, so every key lands in it.
    field("lineEdit_4")->setFocus();
    QTRY_VERIFY(field("lineEdit_4")->hasFocus());
    typeKeys(keys);
    QCOMPARE(field("lineEdit_4")->text(), expected);
    QVERIFY(field("lineEdit_4")->hasFocus());
}

void TestIpLineEdit::typingMovesFocusOnlyWhenAnOctetIsComplete_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("focused");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("192 moves on") << "lineEdit"
                                  << "192"
                                  << "lineEdit_2" << QStringList {"192", "", "", ""};
    QTest::newRow("19 stays") << "lineEdit"
                              << "19"
                              << "lineEdit" << QStringList {"19", "", "", ""};
    QTest::newRow("refused 256 stays") << "lineEdit"
                                       << "256"
                                       << "lineEdit" << QStringList {"25", "", "", ""};
    QTest::newRow("third digit in last octet") << "lineEdit_4"
                                               << "123"
                                               << "lineEdit_4" << QStringList {"", "", "", "123"};
    QTest::newRow("dot in empty octet") << "lineEdit_2"
                                        << "."
                                        << "lineEdit_2" << QStringList {"", "", "", ""};
    QTest::newRow("dot after 10") << "lineEdit"
                                  << "10."
                                  << "lineEdit_2" << QStringList {"10", "", "", ""};
    QTest::newRow("dot in last octet") << "lineEdit_4"
                                       << "10."
                                       << "lineEdit_4" << QStringList {"", "", "", "10"};
    QTest::newRow("whole address typed") << "lineEdit"
                                         << "10.1.20.3"
                                         << "lineEdit_4" << QStringList {"10", "1", "20", "3"};
    // The dot after a completed octet falls into the empty next one and so skips nothing.
    QTest::newRow("dot after three digits") << "lineEdit"
                                            << "192.168.1.15"
                                            << "lineEdit_4" << QStringList {"192", "168", "1", "15"};
}

void TestIpLineEdit::typingMovesFocusOnlyWhenAnOctetIsComplete()
{
    QFETCH(QString, start);
    QFETCH(QString, keys);
    QFETCH(QString, focused);
    QFETCH(QStringList, expected);
    field(start)->setFocus();
    QTRY_VERIFY(field(start)->hasFocus());
    typeKeys(keys);
    QCOMPARE(octets(), expected);
    QCOMPARE(QApplication::focusWidget(), field(focused));
}

void TestIpLineEdit::movingOnSelectsTheNextOctetSoTypingReplacesIt()
{
    setOctets({"", "168", "1", ""});
    field("lineEdit")->setFocus();
    QTRY_VERIFY(field("lineEdit")->hasFocus());

    typeKeys("192");
    QVERIFY(field("lineEdit_2")->hasFocus());
    QCOMPARE(field("lineEdit_2")->selectedText(), QString("168"));
    typeKeys("10.");
    QVERIFY(field("lineEdit_3")->hasFocus());
    QCOMPARE(field("lineEdit_3")->selectedText(), QString("1"));
    typeKeys("5");
    QCOMPARE(octets(), (QStringList {"192", "10", "5", ""}));
}

void TestIpLineEdit::backspaceStepsBackOnlyFromAnEmptyOctet()
{
    setOctets({"", "168", "5", ""});
    field("lineEdit_2")->home(false);
    field("lineEdit_3")->setFocus();
    QTRY_VERIFY(field("lineEdit_3")->hasFocus());
    field("lineEdit_3")->end(false);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QCOMPARE(field("lineEdit_3")->text(), QString());
    QVERIFY(field("lineEdit_3")->hasFocus());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QVERIFY(field("lineEdit_2")->hasFocus());
    QCOMPARE(field("lineEdit_2")->text(), QString("168"));
    QCOMPARE(field("lineEdit_2")->cursorPosition(), 3);
    QVERIFY(!field("lineEdit_2")->hasSelectedText());

    setOctets({"", "", "", ""});
    field("lineEdit")->setFocus();
    QTRY_VERIFY(field("lineEdit")->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QVERIFY(field("lineEdit")->hasFocus());
    QCOMPARE(octets(), (QStringList {"", "", "", ""}));
}

void TestIpLineEdit::pasteShortcut_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("focused");
    // Every row starts from the octets 7, empty, empty, empty.
    const QStringList unchanged {"7", "", "", ""};
    QTest::newRow("valid address into any octet") << "lineEdit_3"
                                                  << "10.0.0.1" << QStringList {"10", "0", "0", "1"} << "lineEdit_3";
    QTest::newRow("three-digit octets carry the focus")
        << "lineEdit"
        << "192.168.100.200" << QStringList {"192", "168", "100", "200"} << "lineEdit_4";
    QTest::newRow("octet out of range") << "lineEdit_2"
                                        << "1.2.3.256" << unchanged << "lineEdit_2";
    QTest::newRow("not a number") << "lineEdit_2"
                                  << "1.2.3.x" << unchanged << "lineEdit_2";
    QTest::newRow("trailing line break") << "lineEdit_2"
                                         << "10.0.0.1\n"
                                         << unchanged << "lineEdit_2";
    QTest::newRow("leading space not trimmed") << "lineEdit_2"
                                               << " 10.0.0.1" << unchanged << "lineEdit_2";
    QTest::newRow("single number pastes normally") << "lineEdit_2"
                                                   << "12" << QStringList {"7", "12", "", ""} << "lineEdit_2";
    QTest::newRow("two parts refused by the octet") << "lineEdit_2"
                                                    << "1.2" << unchanged << "lineEdit_2";
}

void TestIpLineEdit::pasteShortcut()
{
    QFETCH(QString, start);
    QFETCH(QString, clipboard);
    QFETCH(QStringList, expected);
    QFETCH(QString, focused);
    setOctets({"7", "", "", ""});
    QGuiApplication::clipboard()->setText(clipboard, QClipboard::Clipboard);
    field(start)->setFocus();
    QTRY_VERIFY(field(start)->hasFocus());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(octets(), expected);
    QCOMPARE(QApplication::focusWidget(), field(focused));
}

void TestIpLineEdit::textReadsEmptyOctetsAsZero_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("expected");
    QTest::newRow("all empty") << QStringList {"", "", "", ""} << "0.0.0.0";
    QTest::newRow("some empty") << QStringList {"192", "", "1", ""} << "192.0.1.0";
    QTest::newRow("leading zeros kept") << QStringList {"010", "001", "0", "1"} << "010.001.0.1";
}

void TestIpLineEdit::textReadsEmptyOctetsAsZero()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, expected);
    setOctets(fields);
    QCOMPARE(edit->text(), expected);
}

void TestIpLineEdit::setTextTakesOnlyWholeAddresses_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QStringList>("expected");
    // Every row starts from 10.20.30.40.
    const QStringList unchanged {"10", "20", "30", "40"};
    QTest::newRow("netmask") << "255.255.255.0" << QStringList {"255", "255", "255", "0"};
    QTest::newRow("leading zeros") << "010.001.0.1" << QStringList {"010", "001", "0", "1"};
    QTest::newRow("three parts") << "1.2.3" << unchanged;
    QTest::newRow("empty") << "" << unchanged;
    QTest::newRow("octet out of range") << "1.2.3.256" << unchanged;
    QTest::newRow("empty part") << "1..3.4" << unchanged;
    QTest::newRow("trailing space") << "1.2.3.4 " << unchanged;
}

void TestIpLineEdit::setTextTakesOnlyWholeAddresses()
{
    QFETCH(QString, ip);
    QFETCH(QStringList, expected);
    edit->setText("10.20.30.40");
    edit->setText(ip);
    QCOMPARE(octets(), expected);
}

void TestIpLineEdit::focusOnTheWidgetLandsInTheFirstOctet()
{
    QWidget window;
    auto *before = new QLineEdit(&window);
    auto *ip = new MyIpLineEdit(&window);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(before);
    layout->addWidget(ip);
    QVERIFY(showActive(&window));

    before->setFocus();
    QTRY_VERIFY(before->hasFocus());
    QTest::keyClick(before, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), ip->findChild<QLineEdit *>("lineEdit"));

    before->setFocus();
    ip->setFocus(Qt::OtherFocusReason);
    QCOMPARE(QApplication::focusWidget(), ip->findChild<QLineEdit *>("lineEdit"));
}

void TestIpLineEdit::keypadEnterIsSwallowedWhileReturnReachesTheDialog()
{
    QDialog dialog;
    auto *ip = new MyIpLineEdit(&dialog);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(ip);
    layout->addWidget(buttons);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QVERIFY(showActive(&dialog));
    QLineEdit *octet = ip->findChild<QLineEdit *>("lineEdit_2");
    octet->setFocus();
    QTRY_VERIFY(octet->hasFocus());

    QTest::keyClick(octet, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(accepted.count(), 0);
    QVERIFY(dialog.isVisible());

    QTest::keyClick(octet, Qt::Key_Return);
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

QTEST_MAIN(TestIpLineEdit)
#include "test_iplineedit.moc"
