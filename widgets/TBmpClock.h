// Analogue clock: a face picture (or a plain colour) with hour, minute and second hands drawn
// as straight lines, an optional centre mark, and a round or rounded-rectangle window shape.
// A timer redraws it and reports the changes of second, minute and hour.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QTime>
#include <QWidget>
#include <functional>

#include "TCenter.h"
#include "TCenterPoint.h"
#include "THand.h"

class QMenu;
class QPainter;
class QTimer;

class TBmpClock : public QWidget {
    Q_OBJECT
    // The published properties, in publishing order; Color, the framework's, comes last.
    Q_PROPERTY(QImage Picture READ Picture WRITE setPicture)
    Q_PROPERTY(QColor TransParentColor READ TransParentColor WRITE setTransParentColor)
    Q_PROPERTY(bool TransParent READ TransParent WRITE setTransParent)
    Q_PROPERTY(int Interval READ Interval WRITE setInterval)
    Q_PROPERTY(bool Active READ Active WRITE setActive)
    Q_PROPERTY(QString VersionInfo READ VersionInfo WRITE setVersionInfo STORED false)
    Q_PROPERTY(TBgStyle BackGroundStyle READ BackGroundStyle WRITE setBackGroundStyle)
    Q_PROPERTY(QColor BackGroundColor READ BackGroundColor WRITE setBackGroundColor)
    Q_PROPERTY(bool CenterPoint READ CenterPoint WRITE setCenterPoint)
    Q_PROPERTY(bool AutoCenter READ AutoCenter WRITE setAutoCenter)
    Q_PROPERTY(bool HourHandEnabled READ HourHandEnabled WRITE setHourHandEnabled)
    Q_PROPERTY(bool MinuteHandEnabled READ MinuteHandEnabled WRITE setMinuteHandEnabled)
    Q_PROPERTY(bool SecondHandEnabled READ SecondHandEnabled WRITE setSecondHandEnabled)
    Q_PROPERTY(TCenter* Center READ Center CONSTANT)
    Q_PROPERTY(THand* HourHand READ HourHand CONSTANT)
    Q_PROPERTY(THand* MinuteHand READ MinuteHand CONSTANT)
    Q_PROPERTY(THand* SecondHand READ SecondHand CONSTANT)
    Q_PROPERTY(TCenterPoint* CenterMark READ CenterMark CONSTANT)
    Q_PROPERTY(TPictureStyle PictureStyle READ PictureStyle WRITE setPictureStyle)
    Q_PROPERTY(TThemeStyle ThemeStyle READ ThemeStyle WRITE setThemeStyle)
    Q_PROPERTY(int RoundX READ RoundX WRITE setRoundX)
    Q_PROPERTY(int RoundY READ RoundY WRITE setRoundY)
    Q_PROPERTY(bool RoundHole READ RoundHole WRITE setRoundHole)
    Q_PROPERTY(QColor Color READ Color WRITE setColor)

  public:
    // One byte each; known to the property system by their names.
    enum TBgStyle : unsigned char { bgPicture, bgColor };
    Q_ENUM(TBgStyle)
    enum TPictureStyle : unsigned char { psNone, psStretch, psTile };
    Q_ENUM(TPictureStyle)
    enum TThemeStyle : unsigned char { tsNone, tsCircle, tsRoundRect };
    Q_ENUM(TThemeStyle)

  public:
    explicit TBmpClock(QWidget* parent = nullptr);
    ~TBmpClock() override;

    // The face built into the program: round green face, white numerals, magenta surround.
    static QImage BuiltInFace();
    // The main window's face: dark face, white numerals, gray bands at top and bottom.
    static QImage MainWindowFace();
    // Sets the clock up as the main window shows it (98 x 98, navy, stretched dark face,
    // rounded corners, yellow/lime/red hands) and takes the current time as the last
    // reported one. The caller places it (the main window puts it at 24, 0).
    static void ConfigureAsMainWindowClock(TBmpClock& clock);

    const QImage& Picture() const { return picture; }
    // Takes a copy of a non-empty picture and gives the clock the picture's size.
    void setPicture(const QImage& image);
    // Takes the picture as a window description does: the clock keeps its size.
    void LoadPicture(const QImage& image);
    QColor TransParentColor() const { return transParentColor; }
    void setTransParentColor(const QColor& colour);
    bool TransParent() const { return transParent; }
    void setTransParent(bool on);
    int Interval() const { return interval; }
    void setInterval(int ms);
    bool Active() const { return active; }
    void setActive(bool on);
    QString VersionInfo() const { return versionInfo; }
    // The text is fixed: an attempt to change it shows it in an information box instead.
    void setVersionInfo(const QString& text);
    TBgStyle BackGroundStyle() const { return backGroundStyle; }
    void setBackGroundStyle(TBgStyle style);
    QColor BackGroundColor() const { return backGroundColor; }
    void setBackGroundColor(const QColor& colour);
    bool CenterPoint() const { return centerPoint; }
    void setCenterPoint(bool on);
    bool AutoCenter() const { return autoCenter; }
    void setAutoCenter(bool on);
    bool HourHandEnabled() const { return hourHandEnabled; }
    void setHourHandEnabled(bool on);
    bool MinuteHandEnabled() const { return minuteHandEnabled; }
    void setMinuteHandEnabled(bool on);
    bool SecondHandEnabled() const { return secondHandEnabled; }
    void setSecondHandEnabled(bool on);
    TCenter* Center() const { return center; }
    THand* HourHand() const { return hourHand; }
    THand* MinuteHand() const { return minuteHand; }
    THand* SecondHand() const { return secondHand; }
    TCenterPoint* CenterMark() const { return centerMark; }
    TPictureStyle PictureStyle() const { return pictureStyle; }
    void setPictureStyle(TPictureStyle style);
    TThemeStyle ThemeStyle() const { return themeStyle; }
    void setThemeStyle(TThemeStyle style);
    int RoundX() const { return roundX; }
    void setRoundX(int value);
    int RoundY() const { return roundY; }
    void setRoundY(int value);
    bool RoundHole() const { return roundHole; }
    void setRoundHole(bool on);
    // Background behind the face.
    QColor Color() const { return color; }
    void setColor(const QColor& colour);
    // Menu shown on a right click; not owned by the clock.
    void setPopupMenu(QMenu* menu) { popupMenu = menu; }
    QMenu* PopupMenu() const { return popupMenu; }

    // Where the clock reads the time; the system clock unless replaced.
    void setTimeSource(std::function<QTime()> source);

    // To be called once the clock's settings are in place: changes of the time are reported
    // from then on, not the time itself.
    void Loaded();
    // One timer step: redraw, then report what changed.
    void TimerTick();
    // Composes the whole clock off screen and shows it.
    void Paint();
    // The last composed picture of the whole control.
    const QImage& BackBuffer() const { return backBuffer; }

  signals:
    void OnHour(QObject* sender, quint16 hour);
    void OnMinute(QObject* sender, quint16 minute);
    void OnSecond(QObject* sender, quint16 second);
    void OnTime(QObject* sender);
    void OnClick(QObject* sender);
    void OnDblClick(QObject* sender);
    void OnMouseDown(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                     int y);
    void OnMouseMove(QObject* sender, Qt::KeyboardModifiers shift, int x, int y);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void ComposeBackBuffer();
    void ComposeFace(int w, int h);
    void DrawHand(QPainter& painter, int radius, int backRadius, const QColor& colour, int width);
    void DrawCenterMark(QPainter& painter, int pointSize, int penSize, const QColor& penColour,
                        const QColor& fillColour);
    void ApplyShape();
    QPoint HandCentre() const;

    QColor transParentColor;
    bool transParent = false;
    QTimer* timer;
    int interval = 1000;
    bool active = true;
    QImage picture;
    // Rows drawn per call when the picture is put on the screen (see paintEvent).
    static constexpr int kPaintBand = 48;
    QImage backBuffer;
    QImage faceCopy;  // the face as composed for faceKey: background, picture, key colour
    struct FaceKey {
        qint64 picture = 0;
        int width = 0, height = 0;
        int backGroundStyle = -1, pictureStyle = -1;
        bool transParent = false;
        QRgb transParentColor = 0, color = 0, backGroundColor = 0;
        bool operator==(const FaceKey&) const = default;
    } faceKey;
    quint16 hour = 0, minute = 0, second = 0;
    quint16 lastHour = 0, lastMinute = 0, lastSecond = 0;
    QString versionInfo;
    TBgStyle backGroundStyle = bgPicture;
    TPictureStyle pictureStyle = psNone;
    QColor backGroundColor;
    bool centerPoint = false;
    TCenter* center;
    THand* hourHand;
    THand* minuteHand;
    THand* secondHand;
    TCenterPoint* centerMark;
    bool autoCenter = true;
    double currentAngle = 0.0;
    TThemeStyle themeStyle = tsNone;
    int roundX = 25;
    int roundY = 25;
    int regionWidth = 100;
    int regionHeight = 100;
    bool hourHandEnabled = true;
    bool minuteHandEnabled = true;
    bool secondHandEnabled = true;
    bool roundHole = false;
    QColor color;
    QMenu* popupMenu = nullptr;
    std::function<QTime()> timeSource;
    bool pressed = false;
};

// The style types and their values go by their own names wherever the clock is used.
using TBgStyle = TBmpClock::TBgStyle;
using TPictureStyle = TBmpClock::TPictureStyle;
using TThemeStyle = TBmpClock::TThemeStyle;
using enum TBmpClock::TBgStyle;
using enum TBmpClock::TPictureStyle;
using enum TBmpClock::TThemeStyle;
