#include "platform/x11/capture/PicturePool.h"

#include <gtest/gtest.h>

namespace glimmora {
namespace {

const QSize kSize(64, 48);

TEST(PicturePoolTest, NewPicturesAreWhollyOutOfDate) {
    PicturePool pool(kSize, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pool.picture(i).size(), kSize);
        EXPECT_EQ(pool.picture(i).format(), QImage::Format_RGB32);
        EXPECT_EQ(pool.outOfDate(i), QRegion(0, 0, 64, 48));
    }
}

TEST(PicturePoolTest, ChangesPileUpUntilAPictureIsDelivered) {
    PicturePool pool(kSize, 2);
    pool.markDelivered(0);
    pool.markDelivered(1);
    pool.invalidate(QRegion(0, 0, 4, 4));
    pool.markDelivered(0);
    pool.invalidate(QRegion(10, 10, 4, 4));

    EXPECT_EQ(pool.outOfDate(0), QRegion(10, 10, 4, 4));
    EXPECT_EQ(pool.outOfDate(1), QRegion(0, 0, 4, 4) + QRegion(10, 10, 4, 4));
}

TEST(PicturePoolTest, PrefersTheMostRecentlyDeliveredFreePicture) {
    PicturePool pool(kSize, 3);
    pool.markDelivered(2);
    pool.markDelivered(0);
    EXPECT_EQ(pool.acquire(), 0);

    const QImage held = pool.picture(0);  // the consumer keeps it
    EXPECT_EQ(pool.acquire(), 2);
}

TEST(PicturePoolTest, HasNoneFreeWhileTheConsumerHoldsThemAll) {
    PicturePool pool(kSize, 2);
    {
        const QImage first = pool.picture(0);
        const QImage second = pool.picture(1);
        EXPECT_EQ(pool.acquire(), -1);
    }
    EXPECT_NE(pool.acquire(), -1) << "free again once dropped";
}

}  // namespace
}  // namespace glimmora
