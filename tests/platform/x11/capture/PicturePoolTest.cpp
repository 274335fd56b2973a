#include "platform/x11/capture/PicturePool.h"

#include <gtest/gtest.h>

namespace glimmora {
namespace {

TEST(PicturePoolTest, HandsOutTheFreshestFreePictureAndWhatItMustRepaint) {
    std::vector<QImage> pictures;
    for (int i = 0; i < 3; ++i) {
        pictures.emplace_back(64, 48, QImage::Format_RGB32);
    }
    PicturePool pool(std::move(pictures));
    pool.markDelivered(2);
    pool.invalidate(QRegion(0, 0, 4, 4));
    pool.markDelivered(0);
    pool.invalidate(QRegion(10, 10, 4, 4));
    EXPECT_EQ(pool.outOfDate(0), QRegion(10, 10, 4, 4));
    EXPECT_EQ(pool.outOfDate(2), QRegion(0, 0, 4, 4) + QRegion(10, 10, 4, 4));
    EXPECT_EQ(pool.outOfDate(1), QRegion(0, 0, 64, 48)) << "never painted";

    EXPECT_EQ(pool.acquire(), 0) << "the most recently delivered";
    const QImage held = pool.picture(0);  // the consumer keeps it
    EXPECT_EQ(pool.acquire(), 2);
    {
        const QImage others[] = {pool.picture(1), pool.picture(2)};
        EXPECT_EQ(pool.acquire(), -1) << "the consumer holds them all";
    }
    EXPECT_EQ(pool.acquire(), 2) << "free again once dropped";
}

}  // namespace
}  // namespace glimmora
