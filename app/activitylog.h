#ifndef BRELO_ACTIVITYLOG_H
#define BRELO_ACTIVITYLOG_H

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QTextEdit;
class QTimer;
class QWidget;

// The timestamped lines of a read-only text pane. Laying out and painting after every line makes a
// burst of devices freeze the window, and a steady trickle keep it busy: a line is in the document
// at once, while an open edit block and disabled updates hold back its layout and painting, and
// that of the companion widgets, until a short timer ends the burst.
class ActivityLog : public QObject
{
    Q_OBJECT

public:
    explicit ActivityLog(QTextEdit *pane, QObject *parent = nullptr);

    // Widgets whose painting waits with the log's, so that a row and its line appear together.
    void addCompanion(QWidget *widget);

    // Adds "yyyy-MM-dd hh:mm:ss: " and message as a new last line, shown as written.
    void append(const QString &message);
    void clear();
    // Ends a deferral at once: lays out and paints what was held back.
    void flush();

private:
    void defer();
    void setUpdatesEnabled(bool enabled);

    QTextEdit *m_pane;
    QList<QPointer<QWidget>> m_companions;
    QTimer *m_timer;
    bool m_deferred = false;
    bool m_followsTail = false;
    // The local time of the current second, formatted once per second rather than once per line.
    qint64 m_stampSecond = -1;
    QString m_stamp;
};

#endif // BRELO_ACTIVITYLOG_H
