#ifndef BRELO_MYIPLINEEDIT_H
#define BRELO_MYIPLINEEDIT_H

#include <QString>
#include <QWidget>

class QLineEdit;

namespace Ui {
class MyIpLineEdit;
}

// One IPv4 address edited as four octet fields inside a single line-edit frame. Full-width digits and
// dots from a Chinese input method are taken as ASCII.
class MyIpLineEdit : public QWidget
{
    Q_OBJECT

public:
    explicit MyIpLineEdit(QWidget *parent = nullptr);
    ~MyIpLineEdit() override;

    // Ignores anything that is not a complete dotted address.
    void setText(const QString &ip);
    // Always four parts; an empty octet reads as "0".
    QString text() const;

signals:
    // On every change of an octet, as text() then reads.
    void textChanged(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private slots:
    void editTextChanged(QString text);

private:
    void moveOnAtDot(QLineEdit *field);
    QLineEdit *nextField(const QLineEdit *field) const;
    QLineEdit *previousField(const QLineEdit *field) const;
    bool isOctetField(const QObject *object) const;
    void setOctets(const QString &ip);

    Ui::MyIpLineEdit *ui;
};

#endif // BRELO_MYIPLINEEDIT_H
