// LED digit display: a text shown in seven-segment digits, at rest centred, or scrolling
// from right to left as a marquee.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QTimer;

class TLEDDisplay : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(bool Scrolling READ Scrolling WRITE setScrolling)
    Q_PROPERTY(QColor SegmentColor READ SegmentColor WRITE setSegmentColor)
    Q_PROPERTY(QColor OffSegmentColor READ OffSegmentColor WRITE setOffSegmentColor)
    Q_PROPERTY(QColor BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(int ScrollInterval READ ScrollInterval WRITE setScrollInterval)

  public:
    // Segment bits of one character cell.
    enum Segment : unsigned {
        SegTop = 0x01,
        SegUpperRight = 0x02,
        SegLowerRight = 0x04,
        SegBottom = 0x08,
        SegLowerLeft = 0x10,
        SegUpperLeft = 0x20,
        SegMiddle = 0x40,
        SegPoint = 0x80,
    };

    explicit TLEDDisplay(QWidget* parent = nullptr);

    QString Caption() const { return caption; }
    void setCaption(const QString& text);
    bool Scrolling() const { return scrolling; }
    void setScrolling(bool on);

    QColor SegmentColor() const { return segmentColor; }
    void setSegmentColor(const QColor& colour);
    QColor OffSegmentColor() const { return offSegmentColor; }
    void setOffSegmentColor(const QColor& colour);
    QColor BackColor() const { return backColor; }
    void setBackColor(const QColor& colour);
    // Time between two scroll steps in ms.
    int ScrollInterval() const { return scrollInterval; }
    void setScrollInterval(int ms);

    // Pixels the text has moved to the left since scrolling started from the right edge.
    int ScrollOffset() const { return scrollOffset; }
    // Moves the marquee on by one step; the scroll timer calls it.
    void ScrollStep();

    // The segments lit for a character (letters that seven segments cannot show are blank).
    static unsigned SegmentsOf(QChar ch);

    QSize sizeHint() const override { return {140, 40}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Metrics {
        int charWidth;
        int charHeight;
        int spacing;
        int thickness;
        int top;
    };
    Metrics CellMetrics() const;
    int TextWidth(const Metrics& m) const;
    void DrawCharacter(class QPainter& painter, const Metrics& m, int x, unsigned segments) const;

    QString caption;
    bool scrolling = false;
    int scrollOffset = 0;
    int scrollInterval = 60;
    QColor segmentColor;
    QColor offSegmentColor;
    QColor backColor;
    QTimer* scrollTimer;
};
