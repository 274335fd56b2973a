#include "capture/PictureHandOver.h"

#include <gtest/gtest.h>

namespace glimmora {
namespace {

TEST(PictureHandOverTest, TheNewestPictureWinsWhateverItsKindAndIsTakenOnce) {
    PictureHandOver handOver;
    auto scene = std::make_shared<const DesktopScene>();
    const std::weak_ptr<const DesktopScene> replaced = scene;
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));

    handOver.submit(image);
    handOver.submit(DesktopPicture{QImage(), std::move(scene)});
    handOver.submit(QImage());  // a withdrawal
    EXPECT_TRUE(replaced.expired()) << "nothing keeps the pixmaps of a scene that will never show";
    EXPECT_TRUE(handOver.takePending().value().isNull());
    EXPECT_FALSE(handOver.takePending().has_value()) << "taken once";

    handOver.submit(image);
    EXPECT_EQ(handOver.takePending().value(), (DesktopPicture{image, nullptr}));
    EXPECT_EQ(handOver.droppedCount(), 2);
}

}  // namespace
}  // namespace glimmora
