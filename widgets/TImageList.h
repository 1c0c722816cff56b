// An ordered list of small pictures handed by reference to the controls that show them
// (the tray icon's animation frames). The list does not know who uses it: it must outlive them.
#pragma once

#include <QIcon>
#include <QList>
#include <QSize>

class TImageList {
  public:
    explicit TImageList(QSize imageSize = QSize(16, 16)) : imageSize_(imageSize) {}

    int Count() const { return static_cast<int>(images_.size()); }
    QSize ImageSize() const { return imageSize_; }

    // Appends a picture and returns its index.
    int Add(const QIcon& image);
    void Clear() { images_.clear(); }
    // Picture number index, or a null icon when there is no such picture.
    QIcon GetIcon(int index) const;

  private:
    QSize imageSize_;
    QList<QIcon> images_;
};
