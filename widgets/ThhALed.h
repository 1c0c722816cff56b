// Lamp control: a fixed-size picture of an LED, lit or unlit, blinking while lit.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

class QTimer;

enum TLEDStyle : unsigned char {
    LEDSmall = 0,       // 16 x 16, round
    LEDLarge = 1,       // 22 x 22, round
    LEDSqSmall = 2,     // 16 x 16, square
    LEDSqLarge = 3,     // 22 x 22, square
    LEDVertical = 4,    // 16 x 22, upright rectangle
    LEDHorizontal = 5,  // 22 x 16, flat rectangle
};

class ThhALed : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor TrueColor READ TrueColor WRITE setTrueColor)
    Q_PROPERTY(QColor FalseColor READ FalseColor WRITE setFalseColor)
    Q_PROPERTY(QColor BorderColor READ BorderColor WRITE setBorderColor)
    Q_PROPERTY(bool Blink READ Blink WRITE setBlink)
    Q_PROPERTY(bool Bordered READ Bordered WRITE setBordered)
    Q_PROPERTY(bool Value READ Value WRITE setValue)
    Q_PROPERTY(int Interval READ Interval WRITE setInterval)
    Q_PROPERTY(int LEDStyle READ LEDStyleOrdinal WRITE setLEDStyleOrdinal)

  public:
    explicit ThhALed(QWidget* parent = nullptr);
    ~ThhALed() override;

    // Sets the lamp up as the main window shows it: square large lamp, red when unlit,
    // black surround, blinking every 200 ms while lit. The properties are applied in the
    // same order as the window's own description would apply them.
    static void ConfigureAsMainWindowLamp(ThhALed& led);

    QColor TrueColor() const { return trueColor; }
    void setTrueColor(const QColor& colour);
    QColor FalseColor() const { return falseColor; }
    void setFalseColor(const QColor& colour);
    QColor BorderColor() const { return borderColor; }
    void setBorderColor(const QColor& colour);
    bool Blink() const { return blink; }
    void setBlink(bool on);
    bool Bordered() const { return bordered; }
    void setBordered(bool on);
    bool Value() const { return value; }
    void setValue(bool on);
    int Interval() const { return interval; }
    void setInterval(int ms);
    TLEDStyle LEDStyle() const { return ledStyle; }
    void setLEDStyle(TLEDStyle style);

    // Which picture is on screen: 0 the lit one, 1 the unlit one.
    int Phase() const { return phase; }
    bool IsBlinking() const { return blinkTimer != nullptr; }
    const QImage& LitImage() const { return litImage; }
    const QImage& UnlitImage() const { return unlitImage; }

    // Resource name of the picture for a style and border switch ("BSQLG", "NSM", ...).
    static QString ResourceName(TLEDStyle style, bool bordered);
    static QSize StyleSize(TLEDStyle style);

    QSize sizeHint() const override { return size(); }

  signals:
    void OnTimer(QObject* sender);
    void OnMouseEnter(QObject* sender);
    void OnMouseLeave(QObject* sender);
    void OnClick(QObject* sender);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    int LEDStyleOrdinal() const { return ledStyle; }
    void setLEDStyleOrdinal(int ordinal);

    void BuildImages();
    void DrawLit();
    void DrawUnlit();
    void StartBlink();
    void StopBlink();
    void BlinkStep();
    void ChangeColour(QColor& field, const QColor& colour);

    QImage litImage;
    QImage unlitImage;
    QTimer* blinkTimer = nullptr;
    QColor trueColor;
    QColor falseColor;
    QColor borderColor;
    bool bordered = true;
    bool blink = true;
    TLEDStyle ledStyle = LEDSmall;
    int interval = 1000;
    bool value = false;
    unsigned char phase = 1;
    bool pressed = false;
};
