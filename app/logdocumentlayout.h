#ifndef BRELO_LOGDOCUMENTLAYOUT_H
#define BRELO_LOGDOCUMENTLAYOUT_H

#include <QAbstractTextDocumentLayout>
#include <QCache>
#include <QFont>
#include <QTextLayout>

// Lays out a log document as one unwrapped line per paragraph, all of one height, and only the
// lines that are drawn or hit. The stock layout shapes every paragraph as it arrives and walks the
// whole document to reach its end, which makes a log of thousands of lines slow to grow and to show.
class LogDocumentLayout : public QAbstractTextDocumentLayout
{
    Q_OBJECT

public:
    explicit LogDocumentLayout(QTextDocument *document);

    void draw(QPainter *painter, const PaintContext &context) override;
    int hitTest(const QPointF &point, Qt::HitTestAccuracy accuracy) const override;
    int pageCount() const override;
    QSizeF documentSize() const override;
    QRectF frameBoundingRect(QTextFrame *frame) const override;
    QRectF blockBoundingRect(const QTextBlock &block) const override;

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    qreal lineHeight() const;
    QTextLayout *layoutBlock(const QTextBlock &block) const;

    mutable QFont m_metricsFont;
    mutable qreal m_lineHeight = 0;
    mutable qreal m_widestLine = 0;
    // The lines laid out last, by block number: those shown, and a few screens around them. A day's
    // log keeps only its text.
    mutable QCache<int, QTextLayout> m_layouts;
    QSizeF m_reportedSize;
};

#endif // BRELO_LOGDOCUMENTLAYOUT_H
