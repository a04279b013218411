#include "app/activitylog.h"

#include "app/logdocumentlayout.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFormat>
#include <QTimer>

#include <utility>

ActivityLog::ActivityLog(QTextEdit *pane, QObject *parent)
    : QObject(parent)
    , m_pane(pane)
    , m_timer(new QTimer(this))
{
    // Nothing in a read-only log is ever undone; keeping undo steps would only cost memory.
    QTextDocument *document = m_pane->document();
    document->setUndoRedoEnabled(false);
    // The stock layout shapes every line as it arrives; ours only the lines that are shown.
    document->setDocumentLayout(new LogDocumentLayout(document));
    m_timer->setSingleShot(true);
    m_timer->setInterval(50);
    connect(m_timer, &QTimer::timeout, this, &ActivityLog::flush);
}

void ActivityLog::append(const QString &message)
{
    const qint64 second = QDateTime::currentMSecsSinceEpoch() / 1000;
    if (second != m_stampSecond) {
        m_stampSecond = second;
        m_stamp = QDateTime::fromSecsSinceEpoch(second).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    defer();

    // Device texts come from the network: they are shown as written, never interpreted as markup.
    // Every walk through the document's trees costs more the longer a day's log grows, so a line
    // goes in with one insertion at the cursor kept at the end, its new paragraph included, with
    // the formats given rather than looked up where it stands.
    const QString line = m_stamp + QStringLiteral(": ") + message;
    m_end.insertText(m_end.position() == 0 ? line : QLatin1Char('\n') + line, QTextCharFormat());
}

void ActivityLog::clear()
{
    flush();
    m_pane->clear();
}

void ActivityLog::defer()
{
    if (m_deferred) {
        return;
    }
    m_deferred = true;
    // Only this log writes to its pane, and the end cursor follows whatever is inserted before it
    // or cleared, so it is checked once a burst rather than at every line.
    if (m_end.isNull() || !m_end.atEnd()) {
        m_end = QTextCursor(m_pane->document());
        m_end.movePosition(QTextCursor::End);
    }
    const QScrollBar *scrollBar = m_pane->verticalScrollBar();
    m_followsTail = scrollBar->value() == scrollBar->maximum();
    QTextCursor(m_pane->document()).beginEditBlock();
    m_window = m_pane->window();
    m_window->installEventFilter(this);
    m_timer->start();
}

void ActivityLog::flush()
{
    if (!m_deferred) {
        return;
    }
    m_deferred = false;
    m_timer->stop();
    QTextCursor(m_pane->document()).endEditBlock();
    if (m_followsTail) {
        QScrollBar *scrollBar = m_pane->verticalScrollBar();
        scrollBar->setValue(scrollBar->maximum());
    }
    if (m_window) {
        m_window->removeEventFilter(this);
        if (std::exchange(m_paintHeld, false)) {
            // The window asks for no further painting until its held request has been served.
            QEvent request(QEvent::UpdateRequest);
            QCoreApplication::sendEvent(m_window, &request);
        }
    }
}

bool ActivityLog::eventFilter(QObject *watched, QEvent *event)
{
    if (m_deferred && watched == m_window && event->type() == QEvent::UpdateRequest) {
        m_paintHeld = true;
        return true;
    }
    return QObject::eventFilter(watched, event);
}
