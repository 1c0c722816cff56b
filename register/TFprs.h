// The search progress window: a borderless bar that fills while the sensors answer a search.
#pragma once

#include <QDialog>

class TFprs : public QDialog {
    Q_OBJECT
  public:
    explicit TFprs(QWidget* parent = nullptr);
};
