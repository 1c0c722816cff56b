// A one-line label whose text never sets the width of the window it lies in: a text wider
// than the label is cut at the end with an ellipsis where it is drawn, while text() keeps
// the whole text.
#pragma once

#include <QLabel>

class TElidedLabel : public QLabel {
    Q_OBJECT
  public:
    explicit TElidedLabel(const QString& text, QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};
