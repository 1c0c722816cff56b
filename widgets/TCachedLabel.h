// A one-line label that keeps the picture of every text it has drawn, for a label that goes
// through the same few texts again and again (the collection countdown changes every second).
// Drawing a text lays it out and looks up fonts for its Chinese characters each time; here each
// text is drawn once, by the same style call a label makes, onto the label's own background
// colour, and from then on only copied.
//
// Pictures are kept only where they are exactly what the label would draw: a plain one-line text
// without frame, margin, indent or mnemonic, left to right, over a background the label fills
// with one colour. Any other label draws as every label does. The pictures are thrown away when
// the font, colours, style, size, alignment or state (enabled, active window) change.
#pragma once

#include <QHash>
#include <QLabel>
#include <QPixmap>

class TCachedLabel : public QLabel {
    Q_OBJECT
  public:
    explicit TCachedLabel(const QString& text, QWidget* parent = nullptr);

    // Pictures kept at most; the whole store is emptied when a new text would pass it.
    static constexpr int kMaxPictures = 128;
    int KeptPictures() const { return static_cast<int>(pictures_.size()); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // What the kept pictures depend on besides the text, the font, the colours and the style.
    struct Form {
        QRect contents;  // the label's size with its contents margins
        int alignment = 0;
        int colourGroup = 0;
        qreal ratio = 0;
        bool operator==(const Form&) const = default;
    };

    bool Keepable() const;
    Form CurrentForm() const;
    QPixmap Picture(const QString& text);

    QHash<QString, QPixmap> pictures_;
    Form form_;
};
