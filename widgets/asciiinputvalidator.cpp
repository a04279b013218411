#include "widgets/asciiinputvalidator.h"
#include "compat/qtcompat.h"

#include <QString>

namespace Widgets {

QString asciiFromFullWidth(QString text)
{
    for (QChar &c : text) {
        const int code = c.unicode();
        if (code >= 0xFF10 && code <= 0xFF19) {
            c = QLatin1Char(char('0' + (code - 0xFF10)));
        } else if (code == 0x3002 || code == 0xFF0E) {
            c = QLatin1Char('.');
        } else if (code == 0xFF1B) {
            c = QLatin1Char(';');
        }
    }
    return text;
}

} // namespace Widgets

AsciiInputValidator::AsciiInputValidator(const QString &pattern, QObject *parent)
    : QValidator(parent)
    , m_pattern(QtCompat::newPatternValidator(pattern, this))
{
}

QValidator::State AsciiInputValidator::validate(QString &input, int &pos) const
{
    // One character for one, so the cursor position stays right.
    input = Widgets::asciiFromFullWidth(input);
    return m_pattern->validate(input, pos);
}
