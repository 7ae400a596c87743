// Both nodes of the server load their zones on their own map-update threads, possibly at the
// same time. Its own test binary, so that the first use of the name tables and of the image
// library happens inside the concurrent loads.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "trasque/trasque.hpp"

namespace {

TEST(ZoneLoaderThreads, ConcurrentLoadsOfTheExampleMapAgree)
{
  setenv("SPDLOG_STDOUT", "false", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  const std::vector<std::string> expected{
      "door-west-east", "sofa-gap", "table-passage", "hall-behind-shelf", "4017"};
  constexpr int kThreads = 4;
  constexpr int kLoads = 10;
  std::atomic<int> good{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      while (!go.load()) {
        std::this_thread::yield();
      }
      for (int i = 0; i < kLoads; ++i) {
        trasque::MapMeta meta;
        const auto zones = trasque::TrasqueFactory(
            TRASQUE_EXAMPLE_MAP_DIR, "history.map", "map.yaml", "editlayout.yaml", meta);
        std::vector<std::string> ids;
        for (const auto & zone : zones) {
          ids.push_back(zone->id);
          // Each load owns its zones: rasterising them needs no lock.
          if (zone->getGrid(0.05)->size_x == 0) {
            ids.push_back("<empty raster>");
          }
        }
        if (ids == expected && meta.width == 240u && meta.height == 160u) {
          ++good;
        }
      }
    });
  }
  go = true;
  for (auto & thread : threads) {
    thread.join();
  }
  EXPECT_EQ(good.load(), kThreads * kLoads);
}

}  // namespace
