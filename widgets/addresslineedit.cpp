#include "widgets/addresslineedit.h"

#include <QVariant>

AddressLineEdit::AddressLineEdit(QWidget *parent)
    : QLineEdit(parent)
{
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

QVariant AddressLineEdit::inputMethodQuery(Qt::InputMethodQuery query) const
{
    // Qt 6's line edit answers this itself and ignores WA_InputMethodEnabled.
    if (query == Qt::ImEnabled) {
        return false;
    }
    return QLineEdit::inputMethodQuery(query);
}
