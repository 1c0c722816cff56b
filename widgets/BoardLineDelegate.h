// Draws the message board's lines. The board repaints every visible line whenever a line is
// added, which happens with every reading; the standard drawing lays each line's text out anew
// (twice: to place it and to draw it) on every repaint. Here each line's text is laid out once
// and kept, and a repaint only puts the kept glyphs on the screen.
#pragma once

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

class BoardLineDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  private:
    const QStaticText& Laid(const QString& text, const QFont& font) const;

    mutable QHash<QString, QStaticText> laid_;
    mutable QFont laidFont_;
};
