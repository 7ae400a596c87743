#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "sensor_msgs/msg/point_cloud2.hpp"
#include "sensor_msgs/point_cloud2_iterator.hpp"

namespace {

using sensor_msgs::msg::PointCloud2;
using sensor_msgs::msg::PointField;

template <typename T>
T readAt(const PointCloud2 & cloud, size_t byte_offset)
{
  T value;
  std::memcpy(&value, cloud.data.data() + byte_offset, sizeof(T));
  return value;
}

template <typename T>
void writeAt(PointCloud2 & cloud, size_t byte_offset, T value)
{
  std::memcpy(cloud.data.data() + byte_offset, &value, sizeof(T));
}

void expectField(
    const PointField & field,
    const std::string & name,
    uint32_t offset,
    uint8_t datatype,
    uint32_t count)
{
  EXPECT_EQ(field.name, name);
  EXPECT_EQ(field.offset, offset) << name;
  EXPECT_EQ(field.datatype, datatype) << name;
  EXPECT_EQ(field.count, count) << name;
}

}  // namespace

class FieldLayoutTest : public ::testing::Test
{
protected:
  PointCloud2 cloud;
  sensor_msgs::PointCloud2Modifier modifier{cloud};
};

TEST_F(FieldLayoutTest, XyzIsThreeFloatsPaddedToSixteenBytes)
{
  modifier.setPointCloud2FieldsByString(1, "xyz");
  ASSERT_EQ(cloud.fields.size(), 3u);
  expectField(cloud.fields[0], "x", 0, PointField::FLOAT32, 1);
  expectField(cloud.fields[1], "y", 4, PointField::FLOAT32, 1);
  expectField(cloud.fields[2], "z", 8, PointField::FLOAT32, 1);
  EXPECT_EQ(cloud.point_step, 16u);
  EXPECT_TRUE(cloud.data.empty());
}

TEST_F(FieldLayoutTest, XyzRgbPutsColourAfterThePaddedPoint)
{
  modifier.setPointCloud2FieldsByString(2, "xyz", "rgb");
  ASSERT_EQ(cloud.fields.size(), 4u);
  expectField(cloud.fields[3], "rgb", 16, PointField::FLOAT32, 1);
  EXPECT_EQ(cloud.point_step, 32u);
}

TEST_F(FieldLayoutTest, UnknownNamedGroupThrows)
{
  try {
    modifier.setPointCloud2FieldsByString(2, "xyz", "normals");
    FAIL() << "expected std::runtime_error";
  } catch (const std::runtime_error & e) {
    EXPECT_STREQ(e.what(), "Field normals does not exist");
  }
}

TEST_F(FieldLayoutTest, ExplicitFieldsArePackedWithoutPadding)
{
  cloud.height = 2;
  cloud.width = 3;
  modifier.setPointCloud2Fields(
      3, "x", 1, PointField::FLOAT32, "label", 1, PointField::UINT8, "ring", 2, PointField::UINT16);
  ASSERT_EQ(cloud.fields.size(), 3u);
  expectField(cloud.fields[0], "x", 0, PointField::FLOAT32, 1);
  expectField(cloud.fields[1], "label", 4, PointField::UINT8, 1);
  expectField(cloud.fields[2], "ring", 5, PointField::UINT16, 2);
  EXPECT_EQ(cloud.point_step, 9u);
  EXPECT_EQ(cloud.row_step, 27u);
  EXPECT_EQ(cloud.data.size(), 54u);
  EXPECT_EQ(modifier.size(), 6u);
}

TEST_F(FieldLayoutTest, EveryDatatypeHasItsSize)
{
  // clang-format off
  modifier.setPointCloud2Fields(8,
    "a", 1, PointField::INT8, "b", 1, PointField::UINT8,
    "c", 1, PointField::INT16, "d", 1, PointField::UINT16,
    "e", 1, PointField::INT32, "f", 1, PointField::UINT32,
    "g", 1, PointField::FLOAT32, "h", 1, PointField::FLOAT64);
  // clang-format on
  const std::vector<uint32_t> offsets{0, 1, 2, 4, 6, 10, 14, 18};
  ASSERT_EQ(cloud.fields.size(), offsets.size());
  for (size_t i = 0; i < offsets.size(); ++i) {
    EXPECT_EQ(cloud.fields[i].offset, offsets[i]) << cloud.fields[i].name;
  }
  EXPECT_EQ(cloud.point_step, 26u);
}

TEST_F(FieldLayoutTest, UnknownDatatypeThrows)
{
  EXPECT_THROW(modifier.setPointCloud2Fields(1, "x", 1, 9), std::runtime_error);
}

TEST_F(FieldLayoutTest, ResizeOfAFreshCloudMakesItUnorganised)
{
  modifier.setPointCloud2FieldsByString(1, "xyz");
  modifier.resize(5);
  EXPECT_EQ(cloud.height, 1u);
  EXPECT_EQ(cloud.width, 5u);
  EXPECT_EQ(cloud.row_step, 80u);
  EXPECT_EQ(cloud.data.size(), 80u);
  EXPECT_EQ(modifier.size(), 5u);
}

TEST_F(FieldLayoutTest, ResizeKeepsASingleColumn)
{
  cloud.height = 4;
  cloud.width = 1;
  modifier.setPointCloud2FieldsByString(1, "xyz");
  modifier.resize(2);
  EXPECT_EQ(cloud.height, 2u);
  EXPECT_EQ(cloud.width, 1u);
  EXPECT_EQ(cloud.data.size(), 32u);
}

TEST_F(FieldLayoutTest, ResizeFlattensAnOrganisedCloud)
{
  cloud.height = 2;
  cloud.width = 3;
  modifier.setPointCloud2FieldsByString(1, "xyz");
  EXPECT_EQ(cloud.data.size(), 96u);
  modifier.resize(7);
  EXPECT_EQ(cloud.height, 1u);
  EXPECT_EQ(cloud.width, 7u);
  EXPECT_EQ(cloud.row_step, 112u);
}

TEST_F(FieldLayoutTest, ClearEmptiesAnUnorganisedCloud)
{
  modifier.setPointCloud2FieldsByString(1, "xyz");
  modifier.resize(4);
  modifier.clear();
  EXPECT_TRUE(cloud.data.empty());
  EXPECT_EQ(cloud.height, 1u);
  EXPECT_EQ(cloud.width, 0u);
  EXPECT_EQ(cloud.row_step, 0u);
  EXPECT_EQ(modifier.size(), 0u);
}

class PointCloud2IteratorTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    sensor_msgs::PointCloud2Modifier modifier(cloud);
    // label and ring keep every point four-byte aligned, as float access needs.
    // clang-format off
    modifier.setPointCloud2Fields(5,
      "x", 1, PointField::FLOAT32,
      "y", 1, PointField::FLOAT32,
      "z", 1, PointField::FLOAT32,
      "label", 1, PointField::UINT16,
      "ring", 1, PointField::UINT16);
    // clang-format on
    modifier.resize(kPoints);
  }

  static constexpr size_t kPoints = 4;
  PointCloud2 cloud;
};

TEST_F(PointCloud2IteratorTest, WritesLandAtFieldOffsetsOfEachPoint)
{
  sensor_msgs::PointCloud2Iterator<float> x(cloud, "x");
  sensor_msgs::PointCloud2Iterator<float> y(cloud, "y");
  sensor_msgs::PointCloud2Iterator<float> z(cloud, "z");
  sensor_msgs::PointCloud2Iterator<uint16_t> label(cloud, "label");
  for (size_t i = 0; i < kPoints; ++i, ++x, ++y, ++z, ++label) {
    *x = static_cast<float>(i) + 0.5f;
    *y = -static_cast<float>(i);
    *z = 10.0f * static_cast<float>(i);
    *label = static_cast<uint16_t>(1000 + i);
  }
  ASSERT_EQ(cloud.point_step, 16u);
  for (size_t i = 0; i < kPoints; ++i) {
    const size_t base = i * cloud.point_step;
    EXPECT_EQ(readAt<float>(cloud, base + 0), static_cast<float>(i) + 0.5f);
    EXPECT_EQ(readAt<float>(cloud, base + 4), -static_cast<float>(i));
    EXPECT_EQ(readAt<float>(cloud, base + 8), 10.0f * static_cast<float>(i));
    EXPECT_EQ(readAt<uint16_t>(cloud, base + 12), 1000 + i);
  }
}

TEST_F(PointCloud2IteratorTest, ConstIteratorVisitsEveryPointThenReachesEnd)
{
  for (size_t i = 0; i < kPoints; ++i) {
    writeAt<uint16_t>(cloud, i * cloud.point_step + 12, static_cast<uint16_t>(7 * i));
  }
  const PointCloud2 & const_cloud = cloud;
  std::vector<uint16_t> seen;
  for (sensor_msgs::PointCloud2ConstIterator<uint16_t> it(const_cloud, "label"); it != it.end();
       ++it) {
    seen.push_back(*it);
  }
  EXPECT_EQ(seen, (std::vector<uint16_t>{0, 7, 14, 21}));
}

TEST_F(PointCloud2IteratorTest, IndexReachesFollowingElementsOfThePoint)
{
  writeAt<float>(cloud, 2 * cloud.point_step + 0, 1.0f);
  writeAt<float>(cloud, 2 * cloud.point_step + 4, 2.0f);
  writeAt<float>(cloud, 2 * cloud.point_step + 8, 3.0f);
  sensor_msgs::PointCloud2ConstIterator<float> it(cloud, "x");
  it += 2;
  EXPECT_EQ(it[0], 1.0f);
  EXPECT_EQ(it[1], 2.0f);
  EXPECT_EQ(it[2], 3.0f);
}

TEST_F(PointCloud2IteratorTest, PlusReturnsAMovedCopy)
{
  writeAt<float>(cloud, 3 * cloud.point_step + 8, 42.0f);
  sensor_msgs::PointCloud2Iterator<float> z(cloud, "z");
  auto last = z + 3;
  EXPECT_EQ(*last, 42.0f);
  EXPECT_EQ(*z, 0.0f);
  EXPECT_FALSE(!(z != last));
  ++last;
  EXPECT_FALSE(last != z.end());
}

TEST_F(PointCloud2IteratorTest, MissingFieldThrows)
{
  try {
    sensor_msgs::PointCloud2ConstIterator<float> it(cloud, "intensity");
    FAIL() << "expected std::runtime_error";
  } catch (const std::runtime_error & e) {
    EXPECT_STREQ(e.what(), "Field intensity does not exist");
  }
  EXPECT_THROW(sensor_msgs::PointCloud2ConstIterator<uint8_t>(cloud, "r"), std::runtime_error);
}

TEST_F(PointCloud2IteratorTest, EmptyDataGivesNoPoints)
{
  sensor_msgs::PointCloud2Modifier(cloud).clear();
  sensor_msgs::PointCloud2ConstIterator<float> x(cloud, "x");
  EXPECT_FALSE(x != x.end());
}

TEST(PointCloud2ColourTest, ChannelsAddressTheBytesOfPackedRgb)
{
  PointCloud2 cloud;
  sensor_msgs::PointCloud2Modifier modifier(cloud);
  modifier.setPointCloud2FieldsByString(2, "xyz", "rgb");
  modifier.resize(2);
  // Little-endian packed colour 0xAARRGGBB.
  const uint32_t packed = 0x40102030u;
  writeAt<uint32_t>(cloud, 1 * cloud.point_step + 16, packed);
  sensor_msgs::PointCloud2ConstIterator<uint8_t> r(cloud, "r");
  sensor_msgs::PointCloud2ConstIterator<uint8_t> g(cloud, "g");
  sensor_msgs::PointCloud2ConstIterator<uint8_t> b(cloud, "b");
  sensor_msgs::PointCloud2ConstIterator<uint8_t> a(cloud, "a");
  ++r;
  ++g;
  ++b;
  ++a;
  EXPECT_EQ(*r, 0x10);
  EXPECT_EQ(*g, 0x20);
  EXPECT_EQ(*b, 0x30);
  EXPECT_EQ(*a, 0x40);
}
