#ifndef BRELO_ACTIVITYLOG_H
#define BRELO_ACTIVITYLOG_H

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTextCursor>

class QTextEdit;
class QTimer;
class QWidget;

// The timestamped lines of a read-only text pane. Laying out and painting after every line makes a
// burst of devices freeze the window, and a steady trickle keep it busy: a line is in the document
// at once, while an open edit block holds back its layout, and the pane's window holds back its
// painting, until a short timer ends the burst. What changed meanwhile is then painted in one go,
// and nothing more, so that a row and its line appear together.
class ActivityLog : public QObject
{
    Q_OBJECT

public:
    explicit ActivityLog(QTextEdit *pane, QObject *parent = nullptr);

    // Adds "yyyy-MM-dd hh:mm:ss: " and message as a new last line, shown as written.
    void append(const QString &message);
    void clear();
    // Ends a deferral at once: lays out and paints what was held back.
    void flush();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void defer();

    QTextEdit *m_pane;
    QTextCursor m_end;
    QPointer<QWidget> m_window;
    QTimer *m_timer;
    bool m_deferred = false;
    bool m_paintHeld = false;
    bool m_followsTail = false;
    // The local time of the current second, formatted once per second rather than once per line.
    qint64 m_stampSecond = -1;
    QString m_stamp;
};

#endif // BRELO_ACTIVITYLOG_H
