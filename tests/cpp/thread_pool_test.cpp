// The worker pool: order, coverage, failures coming back as values, size setting, fork().
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

#include "validator/thread_pool.hpp"

namespace tessark {
namespace {

TEST(ThreadPool, SizeSetting) {
  struct Case {
    std::optional<std::string_view> setting;
    std::size_t processors;
    std::size_t expected;
  };
  const Case cases[] = {
      {std::nullopt, 6, 6},
      {std::nullopt, 0, 1},                 // an unknown processor count still gives one thread
      {std::nullopt, 100000, kMaxPoolThreads},
      {"3", 8, 3},
      {" 2\t", 8, 2},
      {"1", 8, 1},
      {"0", 8, 8},                          // not a usable size: the processor count
      {"-2", 8, 8},
      {"", 8, 8},
      {"four", 8, 8},
      {"3x", 8, 8},
      {"2.5", 8, 8},
      {"100000", 8, kMaxPoolThreads},
      {"99999999999999999999999", 8, kMaxPoolThreads},
  };
  for (const Case& c : cases)
    EXPECT_EQ(pool_size_from_setting(c.setting, c.processors), c.expected)
        << (c.setting ? *c.setting : "(unset)");
}

TEST(ThreadPool, MapKeepsInputOrderForEverySize) {
  for (std::size_t count : std::vector<std::size_t>{0, 1, kInlineBatchSize - 1, kInlineBatchSize, 1000, 100003}) {
    MapResult<std::size_t> result =
        parallel_map<std::size_t>(count, [](std::size_t i) { return i * 7 + 1; });
    ASSERT_FALSE(result.failure);
    ASSERT_EQ(result.values.size(), count);
    for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(result.values[i], i * 7 + 1) << i;
  }
}

TEST(ThreadPool, EveryIndexRunsExactlyOnce) {
  std::vector<std::atomic<int>> seen(50000);
  MapResult<int> result = parallel_map<int>(seen.size(), [&](std::size_t i) {
    return seen[i].fetch_add(1) + 1;
  });
  ASSERT_FALSE(result.failure);
  for (std::size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i].load(), 1) << i;
}

TEST(ThreadPool, ExceptionComesBackAsFailure) {
  for (std::size_t count : std::vector<std::size_t>{5, 10000}) {
    MapResult<int> result = parallel_map<int>(count, [](std::size_t i) -> int {
      if (i == 3) throw std::runtime_error("task 3 failed");
      return 0;
    });
    ASSERT_TRUE(result.failure) << count;
    try {
      std::rethrow_exception(result.failure);
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "task 3 failed");
    }
  }
  // The pool still works afterwards.
  MapResult<int> after = parallel_map<int>(1000, [](std::size_t) { return 1; });
  ASSERT_FALSE(after.failure);
  EXPECT_EQ(std::accumulate(after.values.begin(), after.values.end(), 0), 1000);
}

TEST(ThreadPool, BatchesFromSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        MapResult<std::size_t> r =
            parallel_map<std::size_t>(2000, [t](std::size_t i) { return i + t; });
        for (std::size_t i = 0; i < r.values.size(); ++i)
          if (r.failure || r.values[i] != i + t) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

// A child forked after the parent's pool started has none of its workers; its batch must still
// complete (the child builds a pool of its own).
TEST(ThreadPool, BatchInForkedChild) {
  ASSERT_FALSE(parallel_map<int>(1000, [](std::size_t) { return 1; }).failure);
  pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    MapResult<std::size_t> r = parallel_map<std::size_t>(5000, [](std::size_t i) { return i; });
    bool ok = !r.failure && r.values.size() == 5000 && r.values[4999] == 4999;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace tessark
