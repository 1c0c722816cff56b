// Fixed centre of the clock hands, used when the clock does not centre them itself.
#pragma once

#include <QObject>

class TCenter : public QObject {
    Q_OBJECT
    Q_PROPERTY(int X READ X WRITE setX)
    Q_PROPERTY(int Y READ Y WRITE setY)

  public:
    explicit TCenter(QObject* owner, int x = 50, int y = 50);

    int X() const { return x; }
    void setX(int value);
    int Y() const { return y; }
    void setY(int value);

  signals:
    void Changed();

  private:
    int x;
    int y;
};
