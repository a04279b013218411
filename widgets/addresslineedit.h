#ifndef BRELO_ADDRESSLINEEDIT_H
#define BRELO_ADDRESSLINEEDIT_H

#include <QLineEdit>

// A line edit for address text, which is typed in ASCII: it tells the platform that it takes no input
// method, so that where the platform honours this a Chinese input method gives ASCII keys here.
class AddressLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit AddressLineEdit(QWidget *parent = nullptr);

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
};

#endif // BRELO_ADDRESSLINEEDIT_H
