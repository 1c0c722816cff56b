// The tray's alarm frames and the station's icon are drawn at each size they are shown at.
#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>

#include "StationIcon.h"
#include "TrayPictures.h"

namespace {

// Fully opaque pixels of image.
int Opaque(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += qAlpha(image.pixel(x, y)) == 255;
    return n;
}

}  // namespace

TEST(TrayPictures, AlarmFramesAreDrawnAt16And22And32Pixels) {
    for (int frame : {0, 1}) {
        const QIcon icon = MakeTrayFlashFrame(frame);
        const QList<QSize> sizes = icon.availableSizes();
        for (int size : {16, 22, 32}) {
            EXPECT_TRUE(sizes.contains(QSize(size, size))) << "frame " << frame << " at " << size;
            const QImage picture = icon.pixmap(QSize(size, size)).toImage();
            ASSERT_EQ(picture.size(), QSize(size, size));
            // The rounded tile fills the picture up to its corners, which stay clear.
            EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0) << size;
            EXPECT_GE(Opaque(picture), size * size * 2 / 3) << size;
        }
    }
    // The two frames differ at every size a tray may ask for.
    for (int size : {16, 22, 32})
        EXPECT_NE(MakeTrayFlashFrame(0).pixmap(QSize(size, size)).toImage(),
                  MakeTrayFlashFrame(1).pixmap(QSize(size, size)).toImage());
}

TEST(StationIcon, IsDrawnAtEverySizeOfTheDesktopsMenus) {
    const QIcon icon = MakeStationIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        const QImage p = StationIconPicture(size);
        ASSERT_EQ(p.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(p.pixel(0, 0)), 0) << size;  // rounded corner
        // Teal tile, the thermometer's red bulb and its white glass, at every size.
        const QColor tile = p.pixelColor(size * 24 / 64, size * 8 / 64);
        EXPECT_GT(tile.green(), 100) << size;
        EXPECT_LT(tile.red(), 60) << size;
        const QColor bulb = p.pixelColor(size * 37 / 64, size * 48 / 64);
        EXPECT_GT(bulb.red(), 180) << size;
        EXPECT_LT(bulb.green(), 80) << size;
    }
}
