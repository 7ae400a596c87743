#include <gtest/gtest.h>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <cstdint>
#include <vector>

#include "pcl_conversions/pcl_conversions.h"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "sensor_msgs/point_cloud2_iterator.hpp"

using sensor_msgs::msg::PointCloud2;
using sensor_msgs::msg::PointField;

TEST(StampConversionTest, MicrosecondsSplitIntoSecondsAndNanoseconds)
{
  const auto stamp = pcl_conversions::fromPCL(std::uint64_t{1234567890123});
  EXPECT_EQ(stamp.sec, 1234567);
  EXPECT_EQ(stamp.nanosec, 890123000u);
}

TEST(StampConversionTest, SubMicrosecondPartIsDropped)
{
  builtin_interfaces::msg::Time stamp;
  stamp.sec = 5;
  stamp.nanosec = 1999;
  const std::uint64_t pcl_stamp = pcl_conversions::toPCL(stamp);
  EXPECT_EQ(pcl_stamp, 5000001u);
  const auto back = pcl_conversions::fromPCL(pcl_stamp);
  EXPECT_EQ(back.sec, 5);
  EXPECT_EQ(back.nanosec, 1000u);
}

TEST(HeaderConversionTest, FrameAndStampSurviveARoundTripAndSeqIsZero)
{
  std_msgs::msg::Header header;
  header.frame_id = "camera_link";
  header.stamp.sec = 100;
  header.stamp.nanosec = 250000000;
  pcl::PCLHeader pcl_header;
  pcl_header.seq = 17;
  pcl_conversions::toPCL(header, pcl_header);
  EXPECT_EQ(pcl_header.seq, 0u);
  EXPECT_EQ(pcl_header.frame_id, "camera_link");
  EXPECT_EQ(pcl_header.stamp, 100250000u);
  EXPECT_EQ(pcl_conversions::fromPCL(pcl_header), header);
}

class CloudConversionTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    pcl_cloud.push_back(pcl::PointXYZ(1.0f, 2.0f, 3.0f));
    pcl_cloud.push_back(pcl::PointXYZ(-4.0f, 5.5f, 0.25f));
    pcl_cloud.push_back(pcl::PointXYZ(7.0f, -8.0f, 9.0f));
    pcl_cloud.header.frame_id = "map";
    pcl_cloud.header.stamp = 42000007;
  }

  pcl::PointCloud<pcl::PointXYZ> pcl_cloud;
};

TEST_F(CloudConversionTest, ToRosMsgGivesPaddedXyzLayout)
{
  PointCloud2 msg;
  pcl::toROSMsg(pcl_cloud, msg);
  EXPECT_EQ(msg.header.frame_id, "map");
  EXPECT_EQ(msg.header.stamp.sec, 42);
  EXPECT_EQ(msg.header.stamp.nanosec, 7000u);
  EXPECT_EQ(msg.height, 1u);
  EXPECT_EQ(msg.width, 3u);
  ASSERT_EQ(msg.fields.size(), 3u);
  const char * names[] = {"x", "y", "z"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(msg.fields[i].name, names[i]);
    EXPECT_EQ(msg.fields[i].offset, 4 * i);
    EXPECT_EQ(msg.fields[i].datatype, PointField::FLOAT32);
    EXPECT_EQ(msg.fields[i].count, 1u);
  }
  EXPECT_EQ(msg.point_step, 16u);
  EXPECT_EQ(msg.row_step, 48u);
  EXPECT_EQ(msg.data.size(), 48u);

  std::vector<float> xs;
  std::vector<float> zs;
  sensor_msgs::PointCloud2ConstIterator<float> x(msg, "x");
  sensor_msgs::PointCloud2ConstIterator<float> z(msg, "z");
  for (; x != x.end(); ++x, ++z) {
    xs.push_back(*x);
    zs.push_back(*z);
  }
  EXPECT_EQ(xs, (std::vector<float>{1.0f, -4.0f, 7.0f}));
  EXPECT_EQ(zs, (std::vector<float>{3.0f, 0.25f, 9.0f}));
}

TEST_F(CloudConversionTest, RoundTripRestoresPointsAndHeader)
{
  PointCloud2 msg;
  pcl::toROSMsg(pcl_cloud, msg);
  pcl::PointCloud<pcl::PointXYZ> back;
  pcl::fromROSMsg(msg, back);
  ASSERT_EQ(back.size(), pcl_cloud.size());
  for (size_t i = 0; i < back.size(); ++i) {
    EXPECT_EQ(back[i].x, pcl_cloud[i].x);
    EXPECT_EQ(back[i].y, pcl_cloud[i].y);
    EXPECT_EQ(back[i].z, pcl_cloud[i].z);
  }
  EXPECT_EQ(back.header.frame_id, "map");
  EXPECT_EQ(back.header.stamp, 42000007u);
}

TEST(FromRosMsgTest, FieldsAreMatchedByNameNotPosition)
{
  PointCloud2 msg;
  sensor_msgs::PointCloud2Modifier modifier(msg);
  // clang-format off
  modifier.setPointCloud2Fields(4,
    "label", 1, PointField::UINT32,
    "z", 1, PointField::FLOAT32,
    "y", 1, PointField::FLOAT32,
    "x", 1, PointField::FLOAT32);
  // clang-format on
  modifier.resize(2);
  sensor_msgs::PointCloud2Iterator<float> x(msg, "x");
  sensor_msgs::PointCloud2Iterator<float> y(msg, "y");
  sensor_msgs::PointCloud2Iterator<float> z(msg, "z");
  sensor_msgs::PointCloud2Iterator<uint32_t> label(msg, "label");
  for (int i = 0; i < 2; ++i, ++x, ++y, ++z, ++label) {
    *x = 1.0f + static_cast<float>(i);
    *y = 10.0f + static_cast<float>(i);
    *z = 100.0f + static_cast<float>(i);
    *label = 99;
  }
  pcl::PointCloud<pcl::PointXYZ> pcl_cloud;
  pcl::fromROSMsg(msg, pcl_cloud);
  ASSERT_EQ(pcl_cloud.size(), 2u);
  EXPECT_EQ(pcl_cloud[1].x, 2.0f);
  EXPECT_EQ(pcl_cloud[1].y, 11.0f);
  EXPECT_EQ(pcl_cloud[1].z, 101.0f);
  EXPECT_EQ(pcl::getFieldIndex(msg, "x"), 3);
  EXPECT_EQ(pcl::getFieldIndex(msg, "intensity"), -1);
}

TEST(MoveConversionTest, MoveFromPclTakesTheData)
{
  pcl::PCLPointCloud2 pcl_pc2;
  pcl_pc2.height = 1;
  pcl_pc2.width = 2;
  pcl_pc2.point_step = 3;
  pcl_pc2.row_step = 6;
  pcl_pc2.data = {1, 2, 3, 4, 5, 6};
  PointCloud2 msg;
  pcl_conversions::moveFromPCL(pcl_pc2, msg);
  EXPECT_EQ(msg.data, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(pcl_pc2.data.empty());
  EXPECT_EQ(msg.width, 2u);
  EXPECT_EQ(msg.row_step, 6u);

  pcl::PCLPointCloud2 again;
  pcl_conversions::toPCL(msg, again);
  EXPECT_EQ(again.data, msg.data);
  EXPECT_EQ(again.point_step, 3u);
}
