#include "widgets/myiplineedit.h"
#include "compat/qtcompat.h"
#include "ui_myiplineedit.h"
#include "widgets/asciiinputvalidator.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPainter>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

// Leading zeros are accepted on purpose: "010" stays as typed. ASCII digits only: "\d" would also take
// the digits of other scripts, which no device reads.
QString octetPattern()
{
    return QStringLiteral("^(2[0-4][0-9]|25[0-5]|[01]?[0-9][0-9]?)$");
}

QString addressPattern()
{
    return QStringLiteral("^((2[0-4][0-9]|25[0-5]|[01]?[0-9][0-9]?)\\.){3}(2[0-4][0-9]|25[0-5]|[01]?[0-9][0-9]?)$");
}

// The dot key of a full-width input method gives "。" or "．", not always with the key code of ".".
bool isDot(const QString &text)
{
    return Widgets::asciiFromFullWidth(text) == QLatin1String(".");
}

void focusAndSelectAll(QLineEdit *field)
{
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

} // namespace

MyIpLineEdit::MyIpLineEdit(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::MyIpLineEdit)
{
    ui->setupUi(this);

    // Focus arriving on the widget itself is handed on to the first octet.
    installEventFilter(this);

    for (QLineEdit *field : {ui->lineEdit, ui->lineEdit_2, ui->lineEdit_3, ui->lineEdit_4}) {
        // The panel drawn in paintEvent frames all four octets as one line edit.
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->installEventFilter(this);
        field->setValidator(new AsciiInputValidator(octetPattern(), this));
        connect(field, &QLineEdit::textChanged, this, &MyIpLineEdit::editTextChanged);
        connect(field, &QLineEdit::textChanged, this, [this] { emit textChanged(text()); });
    }
}

MyIpLineEdit::~MyIpLineEdit()
{
    delete ui;
}

void MyIpLineEdit::setText(const QString &ip)
{
    if (!QtCompat::matchesWhole(addressPattern(), ip)) {
        return;
    }
    setOctets(ip);
}

QString MyIpLineEdit::text() const
{
    const auto octet = [](const QLineEdit *field) {
        return field->text().isEmpty() ? QStringLiteral("0") : field->text();
    };
    return QStringLiteral("%1.%2.%3.%4")
        .arg(octet(ui->lineEdit))
        .arg(octet(ui->lineEdit_2))
        .arg(octet(ui->lineEdit_3))
        .arg(octet(ui->lineEdit_4));
}

bool MyIpLineEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (isOctetField(watched) && event->type() == QEvent::KeyPress) {
        auto *field = static_cast<QLineEdit *>(watched);
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        if (keyEvent->key() == Qt::Key_Period || isDot(keyEvent->text())) {
            moveOnAtDot(field);
        } else if (keyEvent->matches(QKeySequence::Paste)) {
            const QString clip = Widgets::asciiFromFullWidth(QGuiApplication::clipboard()->text(QClipboard::Clipboard));
            if (clip.split(QLatin1Char('.')).size() == 4) {
                // A four-part text is meant as a whole address: fill every octet or nothing.
                if (QtCompat::matchesWhole(addressPattern(), clip)) {
                    setOctets(clip);
                }
                return true;
            }
        } else if (keyEvent->key() == Qt::Key_Backspace && field->text().isEmpty()) {
            // Step back without deleting: the empty field still gets the key.
            if (QLineEdit *previous = previousField(field)) {
                previous->setFocus(Qt::OtherFocusReason);
                previous->setCursorPosition(previous->text().length());
            }
        } else if (keyEvent->key() == Qt::Key_Enter) {
            // Keypad Enter must not confirm the surrounding dialog; Return still does.
            return true;
        }
    } else if (isOctetField(watched) && event->type() == QEvent::InputMethod) {
        // Reaches the field only where the platform ignores that it takes no input method.
        if (isDot(static_cast<QInputMethodEvent *>(event)->commitString())) {
            moveOnAtDot(static_cast<QLineEdit *>(watched));
        }
    } else if (watched == this && event->type() == QEvent::FocusIn) {
        ui->lineEdit->setFocus(Qt::OtherFocusReason);
    }
    return QWidget::eventFilter(watched, event);
}

void MyIpLineEdit::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    QStyleOptionFrame option;
    option.initFrom(this);
    option.lineWidth = 1;
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
    QWidget::paintEvent(event);
}

void MyIpLineEdit::editTextChanged(QString text)
{
    auto *field = qobject_cast<QLineEdit *>(sender());
    if (!field || text.length() != 3) {
        return;
    }
    // A third digit completes the octet, so typing carries on in the next one.
    if (QLineEdit *next = nextField(field)) {
        focusAndSelectAll(next);
    }
}

void MyIpLineEdit::moveOnAtDot(QLineEdit *field)
{
    // The dot itself is refused by the field's validator, so it only moves on.
    QLineEdit *next = nextField(field);
    if (!field->text().isEmpty() && next) {
        focusAndSelectAll(next);
    }
}

QLineEdit *MyIpLineEdit::nextField(const QLineEdit *field) const
{
    if (field == ui->lineEdit) {
        return ui->lineEdit_2;
    }
    if (field == ui->lineEdit_2) {
        return ui->lineEdit_3;
    }
    if (field == ui->lineEdit_3) {
        return ui->lineEdit_4;
    }
    return nullptr;
}

QLineEdit *MyIpLineEdit::previousField(const QLineEdit *field) const
{
    if (field == ui->lineEdit_2) {
        return ui->lineEdit;
    }
    if (field == ui->lineEdit_3) {
        return ui->lineEdit_2;
    }
    if (field == ui->lineEdit_4) {
        return ui->lineEdit_3;
    }
    return nullptr;
}

bool MyIpLineEdit::isOctetField(const QObject *object) const
{
    return object == ui->lineEdit || object == ui->lineEdit_2 || object == ui->lineEdit_3 || object == ui->lineEdit_4;
}

void MyIpLineEdit::setOctets(const QString &ip)
{
    const QStringList parts = ip.split(QLatin1Char('.'));
    ui->lineEdit->setText(parts.at(0));
    ui->lineEdit_2->setText(parts.at(1));
    ui->lineEdit_3->setText(parts.at(2));
    ui->lineEdit_4->setText(parts.at(3));
}
