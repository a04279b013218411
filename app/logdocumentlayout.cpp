#include "app/logdocumentlayout.h"

#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>

LogDocumentLayout::LogDocumentLayout(QTextDocument *document)
    : QAbstractTextDocumentLayout(document)
    , m_layouts(1024)
{
}

qreal LogDocumentLayout::lineHeight() const
{
    const QFont font = document()->defaultFont();
    if (m_lineHeight <= 0 || font != m_metricsFont) {
        // Latin and CJK glyphs may come from different fonts; a line must fit the taller of them.
        QTextLayout sample(QStringLiteral("0Ag|搜索"), font);
        sample.beginLayout();
        QTextLine line = sample.createLine();
        sample.endLayout();
        m_lineHeight = std::ceil(line.isValid() ? line.height() : 16.0);
        m_metricsFont = font;
    }
    return m_lineHeight;
}

QTextLayout *LogDocumentLayout::layoutBlock(const QTextBlock &block) const
{
    const int number = block.blockNumber();
    if (QTextLayout *cached = m_layouts.object(number)) {
        return cached;
    }
    // Kept with its glyphs, so that drawing does not shape the text a second time.
    auto *layout = new QTextLayout(block.text(), document()->defaultFont());
    layout->setCacheEnabled(true);
    QTextOption option = document()->defaultTextOption();
    option.setWrapMode(QTextOption::NoWrap);
    layout->setTextOption(option);
    layout->beginLayout();
    // A line separator inside a paragraph continues on the same row rather than overlap the next.
    qreal x = 0;
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setPosition(QPointF(x, 0));
        x += line.naturalTextWidth();
    }
    layout->endLayout();
    m_widestLine = std::max(m_widestLine, x);
    m_layouts.insert(number, layout);
    return layout;
}

void LogDocumentLayout::draw(QPainter *painter, const PaintContext &context)
{
    QTextDocument *doc = document();
    const qreal height = lineHeight();
    const qreal margin = doc->documentMargin();
    const QRectF clip = context.clip.isValid() ? context.clip : QRectF(QPointF(0, 0), documentSize());
    const int first = std::max(0, int((clip.top() - margin) / height));
    const int last = std::min(doc->blockCount() - 1, int((clip.bottom() - margin) / height));

    painter->save();
    painter->setPen(context.palette.color(QPalette::Text));
    QTextBlock block = doc->findBlockByNumber(first);
    for (int number = first; number <= last && block.isValid(); ++number, block = block.next()) {
        QTextLayout *layout = layoutBlock(block);
        const int start = block.position();
        const int length = block.length();

        QVector<QTextLayout::FormatRange> selections;
        for (const Selection &selection : context.selections) {
            const int from = std::max(selection.cursor.selectionStart() - start, 0);
            const int to = std::min(selection.cursor.selectionEnd() - start, length);
            if (from < to) {
                selections.append({from, to - from, selection.format});
            }
        }
        const QPointF origin(margin, margin + number * height);
        layout->draw(painter, origin, selections, clip);
        if (context.cursorPosition >= start && context.cursorPosition < start + length) {
            layout->drawCursor(painter, origin, context.cursorPosition - start);
        }
    }
    painter->restore();
}

int LogDocumentLayout::hitTest(const QPointF &point, Qt::HitTestAccuracy accuracy) const
{
    const QTextDocument *doc = document();
    const qreal margin = doc->documentMargin();
    const int number = int(std::floor((point.y() - margin) / lineHeight()));
    if (accuracy == Qt::ExactHit && (number < 0 || number >= doc->blockCount())) {
        return -1;
    }
    const QTextBlock block = doc->findBlockByNumber(std::clamp(number, 0, doc->blockCount() - 1));
    QTextLayout *layout = layoutBlock(block);
    const qreal x = point.x() - margin;
    for (int i = layout->lineCount() - 1; i >= 0; --i) {
        const QTextLine line = layout->lineAt(i);
        if (x >= line.x() || i == 0) {
            if (accuracy == Qt::ExactHit && (x < line.x() || x > line.x() + line.naturalTextWidth())) {
                return -1;
            }
            return block.position() + line.xToCursor(x);
        }
    }
    return accuracy == Qt::ExactHit ? -1 : block.position();
}

int LogDocumentLayout::pageCount() const
{
    return 1;
}

QSizeF LogDocumentLayout::documentSize() const
{
    const QTextDocument *doc = document();
    const qreal margin = doc->documentMargin();
    const qreal width = std::max(doc->pageSize().width(), m_widestLine + 2 * margin);
    return QSizeF(width, doc->blockCount() * lineHeight() + 2 * margin);
}

QRectF LogDocumentLayout::frameBoundingRect(QTextFrame *frame) const
{
    Q_UNUSED(frame)
    return QRectF(QPointF(0, 0), documentSize());
}

QRectF LogDocumentLayout::blockBoundingRect(const QTextBlock &block) const
{
    if (!block.isValid()) {
        return QRectF();
    }
    const qreal margin = document()->documentMargin();
    const qreal height = lineHeight();
    return QRectF(margin, margin + block.blockNumber() * height, documentSize().width() - 2 * margin, height);
}

void LogDocumentLayout::documentChanged(int from, int charsRemoved, int charsAdded)
{
    QTextDocument *doc = document();
    if (from == 0 && charsAdded >= doc->characterCount() - 1) {
        // The whole document changed (cleared, new font or width): forget every line's layout.
        m_widestLine = 0;
        m_lineHeight = 0;
        m_layouts.clear();
    } else {
        const QTextBlock first = doc->findBlock(from);
        const QTextBlock end = doc->findBlock(from + charsAdded);
        const int last = end.isValid() ? end.blockNumber() : doc->blockCount() - 1;
        for (int number = first.blockNumber(); number <= last; ++number) {
            m_layouts.remove(number);
        }
    }
    const QSizeF size = documentSize();
    if (size != m_reportedSize) {
        m_reportedSize = size;
        emit documentSizeChanged(size);
    }
    // Only from the first changed line down is anything new to paint. A line added after the last
    // one leaves the last one as it was.
    QTextBlock first = doc->findBlock(from);
    if (charsRemoved == 0 && doc->characterAt(from) == QChar::ParagraphSeparator) {
        first = first.next();
    }
    const QRectF changed = blockBoundingRect(first);
    emit update(QRectF(0, changed.top(), size.width(), size.height() - changed.top()));
}
