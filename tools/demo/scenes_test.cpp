// Tests of the demo scenes: every scene paints a varied picture, the same way every time.
#include "scenes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace demo {
namespace {

constexpr Scene kScenes[] = {Scene::Landscape, Scene::Aurora,  Scene::NightSky, Scene::Tiles,
                             Scene::Triangles, Scene::Truchet, Scene::Rings};

TEST(ScenesTest, TheSameRecipePaintsTheSamePixels)
{
    for (Scene scene : kScenes) {
        const SceneRecipe recipe{scene, Palette::Sunset, true, 42};
        Image a(160, 90), b(160, 90);
        paint(a, recipe);
        paint(b, recipe);
        EXPECT_EQ(a.bytes(), b.bytes()) << static_cast<int>(scene);
    }
}

TEST(ScenesTest, AnotherSeedPaintsAnotherPicture)
{
    for (Scene scene : kScenes) {
        Image a(160, 90), b(160, 90);
        paint(a, SceneRecipe{scene, Palette::Noon, true, 1});
        paint(b, SceneRecipe{scene, Palette::Noon, true, 2});
        EXPECT_NE(a.bytes(), b.bytes()) << static_cast<int>(scene);
    }
}

TEST(ScenesTest, EveryScenePaintsManyColoursOverTheWholePicture)
{
    for (Scene scene : kScenes) {
        Image image(120, 80);
        paint(image, SceneRecipe{scene, Palette::Dawn, true, 7});
        std::set<std::uint32_t> colours;
        const auto& bytes = image.bytes();
        for (std::size_t i = 0; i < bytes.size(); i += 3)
            colours.insert(bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2]);
        EXPECT_GT(colours.size(), 20u) << static_cast<int>(scene);
        // Neither the top nor the bottom row is left black: the scene covers the canvas.
        const auto row_sum = [&](int y) {
            int sum = 0;
            for (int x = 0; x < image.width(); ++x) {
                const Rgb c = image.at(x, y);
                sum += static_cast<int>((c.r + c.g + c.b) * 255);
            }
            return sum;
        };
        EXPECT_GT(row_sum(0), 0) << static_cast<int>(scene);
        EXPECT_GT(row_sum(image.height() - 1), 0) << static_cast<int>(scene);
    }
}

} // namespace
} // namespace demo
