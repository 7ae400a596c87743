// util::ThreadPool: start and stop, draining on destruction, refusal once stopping, FIFO order,
// concurrent producers, and tasks that throw.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "log_capture.hpp"
#include "util/util.hpp"

namespace {

constexpr auto kDeadline = std::chrono::seconds(10);

/// A one-shot event a test thread can wait on with a deadline.
class Event
{
public:
  void set()
  {
    {
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
    }
    cv.notify_all();
  }
  bool waitFor(std::chrono::seconds timeout)
  {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, timeout, [this] { return done; });
  }

private:
  std::mutex mutex;
  std::condition_variable cv;
  bool done{false};
};

TEST(ThreadPoolTest, ZeroThreadsRefusesWorkAndStopsAtOnce)
{
  bool ran = false;
  {
    util::ThreadPool pool(0);
    EXPECT_FALSE(pool.push([&ran] { ran = true; }));
  }
  EXPECT_FALSE(ran);
}

TEST(ThreadPoolTest, EmptyTaskIsRefused)
{
  util::ThreadPool pool(1);
  EXPECT_FALSE(pool.push(std::function<void()>()));
}

TEST(ThreadPoolTest, SingleWorkerRunsTasksInPushOrder)
{
  std::vector<int> order;  // touched by the one worker only, read after the join
  {
    util::ThreadPool pool(1);
    for (int i = 0; i < 500; ++i) {
      ASSERT_TRUE(pool.push([&order, i] { order.push_back(i); }));
    }
  }
  ASSERT_EQ(order.size(), 500u);
  for (int i = 0; i < 500; ++i) {
    EXPECT_EQ(order[i], i);
  }
}

TEST(ThreadPoolTest, WorkersRunTasksSideBySide)
{
  // Every task waits until all four run at once, which needs four distinct workers. Then the pool
  // is idle when it is destroyed, and every worker must wake up and end.
  const int n = 4;
  std::mutex mutex;
  std::condition_variable cv;
  int running = 0;
  std::set<std::thread::id> ids;
  std::atomic<int> met{0};
  {
    util::ThreadPool pool(n);
    for (int i = 0; i < n; ++i) {
      ASSERT_TRUE(pool.push([&] {
        std::unique_lock<std::mutex> lock(mutex);
        ids.insert(std::this_thread::get_id());
        ++running;
        cv.notify_all();
        if (cv.wait_for(lock, kDeadline, [&] { return running == n; })) {
          ++met;
        }
      }));
    }
  }
  EXPECT_EQ(met.load(), n);
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(n));
}

class ThreadPoolStopTest : public ::testing::Test
{
protected:
  /**
   * Destroys a one-worker pool while its worker is busy and `queued` tasks wait behind it. The
   * busy task keeps pushing until the pool refuses, which happens only once destruction has set
   * the stop flag, so the queued tasks are still queued at that moment.
   */
  void destroyWithQueuedTasks(int queued)
  {
    std::optional<util::ThreadPool> pool(std::in_place, 1);
    Event busy_started;
    Event destroying;
    util::ThreadPool * const raw = &*pool;
    ASSERT_TRUE(pool->push([&, raw] {
      busy_started.set();
      if (!destroying.waitFor(kDeadline)) {
        return;
      }
      // Poll until refused; the deadline only keeps a pool that never refuses from hanging.
      const auto give_up = std::chrono::steady_clock::now() + kDeadline;
      while (raw->push([this] { ++late_accepted_ran; })) {
        ++late_accepted;
        if (std::chrono::steady_clock::now() > give_up) {
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      refused_after_stop = true;
      // A refused task is dropped, never run.
      raw->push([this] { ++refused_ran; });
    }));
    ASSERT_TRUE(busy_started.waitFor(kDeadline));
    for (int i = 0; i < queued; ++i) {
      ASSERT_TRUE(pool->push([this] { ++queued_ran; }));
    }
    destroying.set();
    pool.reset();
  }

  std::atomic<int> queued_ran{0};
  std::atomic<int> late_accepted{0};
  std::atomic<int> late_accepted_ran{0};
  std::atomic<int> refused_ran{0};
  std::atomic<bool> refused_after_stop{false};
};

TEST_F(ThreadPoolStopTest, DestructionRunsEveryQueuedTask)
{
  destroyWithQueuedTasks(200);
  ASSERT_TRUE(refused_after_stop.load());
  EXPECT_EQ(queued_ran.load(), 200);
  EXPECT_EQ(late_accepted_ran.load(), late_accepted.load());
}

TEST_F(ThreadPoolStopTest, PushOnceStoppingIsRefused)
{
  destroyWithQueuedTasks(1);
  EXPECT_TRUE(refused_after_stop.load());
  EXPECT_EQ(refused_ran.load(), 0);
}

TEST(ThreadPoolTest, ManyProducersManyWorkers)
{
  const int producers = 8;
  const int per_producer = 2000;
  // Each task writes its own slot without a lock: the pool's hand-over and the join must order
  // those writes before the reads below (ThreadSanitizer checks this).
  std::vector<int> slots(producers * per_producer, 0);
  std::atomic<int> refused{0};
  {
    util::ThreadPool pool(6);
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
      threads.emplace_back([&, p] {
        for (int i = 0; i < per_producer; ++i) {
          const int slot = p * per_producer + i;
          if (!pool.push([&slots, slot] { slots[slot] += slot + 1; })) {
            ++refused;
          }
        }
      });
    }
    for (auto & thread : threads) {
      thread.join();
    }
  }
  EXPECT_EQ(refused.load(), 0);
  for (int slot = 0; slot < producers * per_producer; ++slot) {
    ASSERT_EQ(slots[slot], slot + 1) << "slot " << slot;
  }
}

TEST(ThreadPoolTest, ThrowingTaskIsLoggedAndItsWorkerGoesOn)
{
  test_util::ScopedCapture capture;
  std::vector<int> order;
  {
    util::ThreadPool pool(1);
    ASSERT_TRUE(pool.push([] { throw std::runtime_error("sensor gone"); }));
    ASSERT_TRUE(pool.push([&order] { order.push_back(1); }));
    ASSERT_TRUE(pool.push([] { throw 7; }));
    ASSERT_TRUE(pool.push([&order] { order.push_back(2); }));
  }
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  const auto records = capture.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].level, spdlog::level::err);
  EXPECT_EQ(records[0].text.substr(3), " [ERROR] ThreadPool task threw: sensor gone");
  EXPECT_EQ(records[1].level, spdlog::level::err);
  EXPECT_EQ(records[1].text.substr(3), " [ERROR] ThreadPool task threw a non-standard exception");
}

}  // namespace

int main(int argc, char ** argv)
{
  // Keep the console quiet; the records are read through the capture sink.
  setenv("SPDLOG_STDOUT", "false", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  setenv("SPDLOG_LEVEL", "info", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
