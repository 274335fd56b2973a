#include "capture/PictureHandOver.h"

#include <gtest/gtest.h>

#include <memory>

namespace glimmora {
namespace {

QImage solid(QRgb colour) {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

std::shared_ptr<const DesktopScene> sceneOf(QSize size) {
    auto scene = std::make_shared<DesktopScene>();
    scene->size = size;
    return scene;
}

TEST(PictureHandOverTest, TheNewestPictureWinsWhateverItsKind) {
    PictureHandOver handOver;
    const auto scene = sceneOf({8, 8});
    handOver.submit(solid(qRgb(1, 2, 3)));
    handOver.submit(DesktopPicture{QImage(), scene});
    std::optional<DesktopPicture> taken = handOver.takePending();
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->scene, scene);
    EXPECT_TRUE(taken->image.isNull());

    const QImage image = solid(qRgb(4, 5, 6));
    handOver.submit(DesktopPicture{QImage(), sceneOf({2, 2})});
    handOver.submit(image);
    taken = handOver.takePending();
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->image, image);
    EXPECT_EQ(taken->scene, nullptr);
    EXPECT_EQ(handOver.droppedCount(), 2);
    EXPECT_FALSE(handOver.takePending().has_value()) << "taken once";
}

TEST(PictureHandOverTest, AReplacedSceneIsReleasedAndAWithdrawalIsNull) {
    PictureHandOver handOver;
    auto scene = sceneOf({8, 8});
    const std::weak_ptr<const DesktopScene> watch = scene;
    handOver.submit(DesktopPicture{QImage(), std::move(scene)});
    handOver.submit(QImage());
    EXPECT_TRUE(watch.expired()) << "nothing keeps the pixmaps of a scene that will never show";
    const std::optional<DesktopPicture> taken = handOver.takePending();
    ASSERT_TRUE(taken.has_value());
    EXPECT_TRUE(taken->isNull());
}

}  // namespace
}  // namespace glimmora
