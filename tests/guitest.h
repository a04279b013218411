#ifndef BRELO_TESTS_GUITEST_H
#define BRELO_TESTS_GUITEST_H

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <functional>

#include "app/mainwindow.h"

// What the window and dialog tests share: driving the next modal dialog, showing a window so that
// keys reach it, and reading the table and the log as the user sees them.
class GuiTest : public QObject
{
protected:
    static bool showActive(QWidget *window)
    {
        window->show();
        QApplication::setActiveWindow(window);
        return QTest::qWaitForWindowActive(window);
    }

    // Runs fill on the next modal dialog, then accepts or rejects it. The wait is as generous as
    // the searches' (30 s): under sanitizers on a loaded machine a dialog can take seconds to open.
    void answerNextDialog(std::function<void(QDialog *)> fill, bool accept = true)
    {
        m_dialogSeen = false;
        auto *timer = new QTimer(this);
        m_answers.append(timer);
        timer->setInterval(10);
        const QDeadlineTimer deadline(30000);
        connect(timer, &QTimer::timeout, this, [this, timer, fill, accept, deadline] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog) {
                if (deadline.hasExpired()) {
                    timer->deleteLater();
                }
                return;
            }
            timer->stop();
            timer->deleteLater();
            m_dialogSeen = true;
            if (fill) {
                fill(dialog);
            }
            accept ? dialog->accept() : dialog->reject();
        });
        timer->start();
    }
    bool dialogSeen() const { return m_dialogSeen; }
    // An answer left unused must not answer the next test's dialog.
    void dropDialogAnswers()
    {
        for (const QPointer<QTimer> &timer : std::as_const(m_answers)) {
            delete timer.data();
        }
        m_answers.clear();
    }

    static QTableWidget *table(MainWindow &window)
    {
        return window.findChild<QTableWidget *>(QStringLiteral("dev_search_tableWidget"));
    }
    static QPushButton *button(MainWindow &window, const char *name)
    {
        return window.findChild<QPushButton *>(QLatin1String(name));
    }
    static void click(MainWindow &window, const char *name) { QTest::mouseClick(button(window, name), Qt::LeftButton); }
    static QStringList column(QTableWidget *table, int column)
    {
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row) {
            texts.append(table->item(row, column)->text());
        }
        return texts;
    }
    // The activity log's messages without their "yyyy-MM-dd hh:mm:ss: " prefix, oldest first.
    static QStringList logMessages(MainWindow &window)
    {
        QStringList messages;
        const QString text = window.findChild<QTextEdit *>(QStringLiteral("textEdit"))->toPlainText();
        for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            messages.append(line.mid(21));
        }
        return messages;
    }

private:
    QList<QPointer<QTimer>> m_answers;
    bool m_dialogSeen = false;
};

#endif // BRELO_TESTS_GUITEST_H
