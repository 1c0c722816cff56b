// The label that keeps its pictures must look exactly like a plain label with the same settings,
// whatever happened to it since the pictures were made.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "TCachedLabel.h"

namespace {

// Both labels set up as the main window's collection countdown.
template <class Label>
void SetUpLikeCountdown(Label& label) {
    label.setFixedSize(130, 24);
    QPalette pal = label.palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::green);
    label.setPalette(pal);
    label.setAutoFillBackground(true);
    QFont font = label.font();
    font.setBold(true);
    label.setFont(font);
}

QImage Picture(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

struct Pair {
    QLabel plain{QStringLiteral("采集倒计时:")};
    TCachedLabel kept{QStringLiteral("采集倒计时:")};
    Pair() {
        SetUpLikeCountdown(plain);
        SetUpLikeCountdown(kept);
    }
    void SetText(const QString& t) {
        plain.setText(t);
        kept.setText(t);
    }
    template <class F>
    void Both(F f) {
        f(static_cast<QLabel&>(plain));
        f(static_cast<QLabel&>(kept));
    }
    ::testing::AssertionResult Same() {
        const QImage a = Picture(plain);
        const QImage b = Picture(kept);
        if (a == b) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "the kept picture differs for \"" << qPrintable(kept.text()) << "\"";
    }
};

}  // namespace

// The countdown runs down and starts again: every text looks as a plain label draws it, the
// second time from the kept picture.
TEST(TCachedLabel, DrawsEachTextAsAPlainLabelAndKeepsIt) {
    Pair p;
    for (int round = 0; round < 2; ++round)
        for (int n = 12; n >= 0; --n) {
            p.SetText(QStringLiteral("采集倒计时:%1秒").arg(n));
            EXPECT_TRUE(p.Same());
        }
    EXPECT_EQ(p.kept.KeptPictures(), 13);
}

// Changes made after pictures were kept: none may show an old picture.
TEST(TCachedLabel, FollowsEveryChangeOfHowTheTextIsDrawn) {
    Pair p;
    p.SetText(QStringLiteral("采集倒计时:5秒"));
    ASSERT_TRUE(p.Same());

    p.Both([](QLabel& l) {
        QPalette pal = l.palette();
        pal.setColor(QPalette::WindowText, Qt::yellow);
        pal.setColor(QPalette::Window, Qt::darkBlue);
        l.setPalette(pal);
    });
    EXPECT_TRUE(p.Same()) << "colours";

    p.Both([](QLabel& l) {
        QFont f = l.font();
        f.setPixelSize(17);
        l.setFont(f);
    });
    EXPECT_TRUE(p.Same()) << "font";

    p.Both([](QLabel& l) { l.setAlignment(Qt::AlignRight | Qt::AlignBottom); });
    EXPECT_TRUE(p.Same()) << "alignment";

    p.Both([](QLabel& l) { l.setContentsMargins(9, 2, 0, 0); });
    EXPECT_TRUE(p.Same()) << "contents margins";

    p.Both([](QLabel& l) { l.setFixedSize(150, 30); });
    EXPECT_TRUE(p.Same()) << "size";

    p.Both([](QLabel& l) { l.setEnabled(false); });
    EXPECT_TRUE(p.Same()) << "disabled";
    p.Both([](QLabel& l) { l.setEnabled(true); });

    // Settings under which the label draws as any label does.
    p.Both([](QLabel& l) { l.setMargin(3); });
    EXPECT_TRUE(p.Same()) << "margin";
    p.Both([](QLabel& l) { l.setMargin(0); });
    p.Both([](QLabel& l) { l.setFrameStyle(QFrame::Box | QFrame::Plain); });
    EXPECT_TRUE(p.Same()) << "frame";
    p.Both([](QLabel& l) { l.setFrameStyle(QFrame::NoFrame); });
    p.SetText(QStringLiteral("<b>采集</b>倒计时"));
    EXPECT_TRUE(p.Same()) << "rich text";
    p.SetText(QStringLiteral("两行\n文字"));
    EXPECT_TRUE(p.Same()) << "two lines";
    p.Both([](QLabel& l) { l.setAutoFillBackground(false); });
    p.SetText(QStringLiteral("采集倒计时:3秒"));
    EXPECT_TRUE(p.Same()) << "no background of its own";
}

// A label that is shown a new text every time does not keep pictures without end.
TEST(TCachedLabel, KeepsABoundedNumberOfPictures) {
    Pair p;
    for (int n = 0; n < TCachedLabel::kMaxPictures * 2 + 5; ++n) {
        p.kept.setText(QString::number(n));
        Picture(p.kept);
        ASSERT_LE(p.kept.KeptPictures(), TCachedLabel::kMaxPictures);
    }
    p.SetText(QStringLiteral("采集倒计时:1秒"));
    EXPECT_TRUE(p.Same());
}
