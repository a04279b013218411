#ifndef BRELO_ASCIIINPUTVALIDATOR_H
#define BRELO_ASCIIINPUTVALIDATOR_H

#include <QValidator>

class QString;

// A Chinese input method in full-width mode types "０"-"９", "。" or "．" and "；" for the digit, dot
// and semicolon keys. They become "0"-"9", "." and ";"; every other character stays as it is.
namespace Widgets {
QString asciiFromFullWidth(QString text);
}

// A pattern validator for address fields that first turns full-width input into ASCII in place, so
// typed keys, input-method commits and pasted text all end up as the ASCII a device can read.
class AsciiInputValidator : public QValidator
{
    Q_OBJECT

public:
    AsciiInputValidator(const QString &pattern, QObject *parent);

    State validate(QString &input, int &pos) const override;

private:
    QValidator *m_pattern;
};

#endif // BRELO_ASCIIINPUTVALIDATOR_H
