#ifndef BRELO_TESTS_LOGMESSAGES_H
#define BRELO_TESTS_LOGMESSAGES_H

#include <QStringList>
#include <QTextEdit>

#include "app/mainwindow.h"

// The activity log's messages without their "yyyy-MM-dd hh:mm:ss: " prefix, oldest first.
inline QStringList logMessages(MainWindow &window)
{
    QStringList messages;
    const QString text = window.findChild<QTextEdit *>(QStringLiteral("textEdit"))->toPlainText();
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        messages.append(line.mid(21));
    }
    return messages;
}

#endif // BRELO_TESTS_LOGMESSAGES_H
