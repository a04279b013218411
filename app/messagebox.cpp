#include "app/messagebox.h"

#include <QAbstractButton>

namespace {

bool g_hasNextAnswer = false;
QMessageBox::StandardButton g_nextAnswer = QMessageBox::NoButton;
QList<MessageBox::Shown> g_shown;

} // namespace

void MessageBox::information(const QString &text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), text, QMessageBox::Ok);
    run(box);
}

void MessageBox::warning(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("提示"), text, QMessageBox::Ok);
    run(box);
}

QMessageBox::StandardButton MessageBox::question(const QString &text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("询问"), text, QMessageBox::Ok | QMessageBox::Cancel);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    return run(box);
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton button)
{
    g_hasNextAnswer = true;
    g_nextAnswer = button;
}

void MessageBox::clearNextAnswer()
{
    g_hasNextAnswer = false;
}

const QList<MessageBox::Shown> &MessageBox::shown()
{
    return g_shown;
}

void MessageBox::clearShown()
{
    g_shown.clear();
}

QMessageBox::StandardButton MessageBox::run(QMessageBox &box)
{
    if (g_hasNextAnswer) {
        Shown shown {box.icon(), box.windowTitle(), box.text(), {}};
        const auto buttons = box.buttons();
        for (const auto *button : buttons) {
            shown.buttons.append(button->text());
        }
        g_shown.append(shown);
        // The answer holds for every box until cleared, so a run with several boxes stays scripted.
        return g_nextAnswer;
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
