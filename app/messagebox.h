#ifndef BRELO_MESSAGEBOX_H
#define BRELO_MESSAGEBOX_H

#include <QMessageBox>
#include <QString>

// The notices of the batch commands: parentless, modal QMessageBox boxes. Tests may set the next
// answer; the box is then built exactly as the user would see it, recorded, and not run.
class MessageBox
{
public:
    struct Shown
    {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;
        QStringList buttons;
    };

    // Title "提示", one Ok button, no default button.
    static void information(const QString &text);
    // The same box with the warning icon, for a batch that did not fully go out.
    static void warning(const QString &text);
    // Title "询问", Ok and Cancel relabelled "确定" and "取消". Returns the button pressed.
    static QMessageBox::StandardButton question(const QString &text);

    static void setNextAnswer(QMessageBox::StandardButton button);
    static void clearNextAnswer();
    static const QList<Shown> &shown();
    static void clearShown();

private:
    static QMessageBox::StandardButton run(QMessageBox &box);
};

#endif // BRELO_MESSAGEBOX_H
