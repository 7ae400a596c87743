// The plug-in library as the server's loader sees it: the classes its description names, the
// classes the library registers, and the shared flag constants once it is loaded.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "brindlex_nav2_semanticmap/layer.hpp"
#include "brindlex_nav2_semanticmap/semantic_type.hpp"
#include "class_loader/class_loader.hpp"
#include "pluginlib/class_loader.hpp"

namespace {

using semantic_map::BrindlexLayer;

const std::vector<std::string> kClasses = {
    "semantic_map::CleanCoverageLayer",
    "semantic_map::CoveredMapPublishLayer",
    "semantic_map::ObstacleMapPublishLayer",
    "semantic_map::StaticMarkLayer",
    "semantic_map::VelnorLayer"};

std::vector<std::string> sorted(std::vector<std::string> names)
{
  std::sort(names.begin(), names.end());
  return names;
}

TEST(LorventRegistration, TheLoaderOffersExactlyTheLibrarysClasses)
{
  pluginlib::ClassLoader<BrindlexLayer> loader(
      "brindlex_nav2_semanticmap", "semantic_map::BrindlexLayer", "plugin");
  EXPECT_EQ(sorted(loader.getDeclaredClasses()), kClasses);
  for (const auto & name : kClasses) {
    EXPECT_EQ(loader.getBaseClassType(), "semantic_map::BrindlexLayer");
    EXPECT_EQ(loader.getClassType(name), name);
    EXPECT_EQ(loader.getClassPackage(name), "brindlex_nav2_semanticmap");
    const std::string path = loader.getClassLibraryPath(name);
    EXPECT_EQ(path.substr(path.rfind('/') + 1), "liblorvent.so") << name;
  }

  // Every declared class is created by name; the base code makes each a fresh, disabled layer.
  for (const auto & name : kClasses) {
    std::shared_ptr<BrindlexLayer> layer = loader.createSharedInstance(name);
    ASSERT_TRUE(layer) << name;
    EXPECT_FALSE(layer->isEnabled());
    EXPECT_FALSE(layer->isCurrent());
    EXPECT_FALSE(layer->isClearable());
    EXPECT_EQ(layer->layered_semanticmap, nullptr);
  }
  EXPECT_THROW(
      loader.createSharedInstance("semantic_map::NoSuchLayer"), pluginlib::PluginlibException);

  // The library itself registers the same classes under the base, and no others.
  class_loader::ClassLoader library(LORVENT_LIBRARY_PATH);
  EXPECT_EQ(sorted(library.getAvailableClasses<BrindlexLayer>()), kClasses);
}

TEST(LorventRegistration, FlagConstantsHaveTheirValuesOnceLoaded)
{
  pluginlib::ClassLoader<BrindlexLayer> loader(
      "brindlex_nav2_semanticmap", "semantic_map::BrindlexLayer", "plugin");
  auto layer = loader.createSharedInstance("semantic_map::StaticMarkLayer");
  ASSERT_TRUE(layer);
  EXPECT_EQ(semantic_map::SemanticFlags::EMPTY.value, 0u);
  EXPECT_EQ(semantic_map::SemanticFlags::FORBIDDEN.value, 16u);
  EXPECT_EQ(semantic_map::SemanticFlags::NARROW_CORRIDOR.value, 32u);
  EXPECT_EQ(semantic_map::SemanticFlags::COVERED_AREA.value, 64u);
}

}  // namespace
