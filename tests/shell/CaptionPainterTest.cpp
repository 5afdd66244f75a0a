#include <gtest/gtest.h>

#include <QImage>

#include "shell/CaptionPainter.h"

namespace velto {
namespace {

const QColor kNavy(0, 0, 128);
const QColor kTeal(0, 128, 128);
const QColor kGrey(128, 128, 128);

QImage Painted(int width, bool active, const QColor& colour = kNavy) {
    QImage image(width, 4, QImage::Format_RGB32);
    image.fill(Qt::magenta);  // anything left unpainted shows up
    CCaptionPainter::PaintBackground(image, active, colour, kGrey);
    return image;
}

QColor At(const QImage& image, int x) { return image.pixelColor(x, 2); }

TEST(CaptionStripes, WideCaptionFadesToBlackInStripesOfFiveW384) {
    // w = 768: x = 640, s = 10; stripe k spans [640 - 10k, 650 - 10k).
    const QImage image = Painted(768, true, kTeal);
    EXPECT_EQ(At(image, 767), kTeal);
    EXPECT_EQ(At(image, 640), kTeal);
    // Stripe 1: 128 - 100 * 128 / 409600 = 128.
    EXPECT_EQ(At(image, 639), kTeal);
    EXPECT_EQ(At(image, 630), kTeal);
    // Stripe 32 at [320, 330): 128 - 102400 * 128 / 409600 = 96.
    EXPECT_EQ(At(image, 325), QColor(0, 96, 96));
    EXPECT_EQ(At(image, 320), QColor(0, 96, 96));
    EXPECT_EQ(At(image, 319), At(image, 310));
    EXPECT_NE(At(image, 319), At(image, 320));
    // Stripe 63 ends at x = 10 = s, the last one: 128 - 396900 * 128 / 409600 = 4.
    EXPECT_EQ(At(image, 10), QColor(0, 4, 4));
    EXPECT_EQ(At(image, 19), QColor(0, 4, 4));
    // Black from 0 to the last stripe.
    EXPECT_EQ(At(image, 0), QColor(Qt::black));
    EXPECT_EQ(At(image, 9), QColor(Qt::black));
}

TEST(CaptionStripes, NarrowCaptionsStillGetStripesOnePixelWide) {
    // w = 60: 5w/384 = 0, so s = 1; x = 50.
    const QImage image = Painted(60, true);
    EXPECT_EQ(At(image, 50), kNavy);
    EXPECT_EQ(At(image, 59), kNavy);
    // Stripe k is the single column 50 - k: 128 - k^2 * 128 / 2500.
    EXPECT_EQ(At(image, 49), kNavy);                 // k = 1: 128 - 0
    EXPECT_EQ(At(image, 25), QColor(0, 0, 96));      // k = 25: 128 - 32
    EXPECT_EQ(At(image, 24), QColor(0, 0, 94));      // k = 26: 128 - 34
    EXPECT_EQ(At(image, 1), QColor(0, 0, 6));        // k = 49, left end 1 = s: the last
    EXPECT_EQ(At(image, 0), QColor(Qt::black));
    for (int x = 1; x < 50; ++x) EXPECT_LE(At(image, x - 1).blue(), At(image, x).blue()) << x;
}

TEST(CaptionStripes, TinyCaptionsAndTheInactiveState) {
    // w = 2: x = 1 and s = 1 >= x: no stripe, black up to x.
    QImage image = Painted(2, true);
    EXPECT_EQ(At(image, 0), QColor(Qt::black));
    EXPECT_EQ(At(image, 1), kNavy);
    // w = 1: x = 0, all the active colour.
    EXPECT_EQ(At(Painted(1, true), 0), kNavy);
    // w = 5: x = 4, stripes at 3 and 2 and 1 (left end 1 = s stops), black at 0.
    image = Painted(5, true);
    EXPECT_EQ(At(image, 4), kNavy);
    EXPECT_EQ(At(image, 3), QColor(0, 0, 120));  // 128 - 1 * 128 / 16
    EXPECT_EQ(At(image, 2), QColor(0, 0, 96));   // 128 - 4 * 128 / 16
    EXPECT_EQ(At(image, 1), QColor(0, 0, 56));   // 128 - 9 * 128 / 16
    EXPECT_EQ(At(image, 0), QColor(Qt::black));

    image = Painted(300, false);
    for (int x : {0, 150, 299}) EXPECT_EQ(At(image, x), kGrey);
}

TEST(CaptionBand, ShowsTheTitleAndRepaintsAfterATitleChange) {
    CCaptionPainter band;
    band.resize(400, band.sizeHint().height());
    band.UpdateTitle("VeltoMail 98 - All MailBoxes - 0 Messages");
    const QImage first = band.Caption(true);
    ASSERT_EQ(first.size(), band.size());
    EXPECT_EQ(band.Caption(true), first);  // from the cache
    // White title text sits on the dark left part.
    int white = 0;
    for (int x = 0; x < 200; ++x)
        for (int y = 0; y < first.height(); ++y) white += first.pixelColor(x, y) == QColor(Qt::white);
    EXPECT_GT(white, 20);
    band.UpdateTitle("VeltoMail 98 - pop.example.com - 12 Messages");
    EXPECT_NE(band.Caption(true), first);
    EXPECT_NE(band.Caption(false), band.Caption(true));
}

}  // namespace
}  // namespace velto
