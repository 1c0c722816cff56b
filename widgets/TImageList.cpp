#include "TImageList.h"

int TImageList::Add(const QIcon& image) {
    images_.append(image);
    return Count() - 1;
}

QIcon TImageList::GetIcon(int index) const {
    if (index < 0 || index >= Count()) return QIcon();
    return images_.at(index);
}
