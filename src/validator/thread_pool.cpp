// The worker pool: one job at a time, claimed in chunks; see thread_pool.hpp.
#include "validator/thread_pool.hpp"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace tessark {
namespace {

// One batch in flight. Lives on the submitting thread's stack; workers reach it only between
// joining (under the pool mutex, while the pool still offers it) and leaving.
struct Job {
  Job(std::size_t count, std::size_t chunk, RangeTask task) : count(count), chunk(chunk), task(task) {}

  std::size_t count;
  std::size_t chunk;
  RangeTask task;
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex failure_mutex;
  std::exception_ptr failure;  // the first exception, guarded by failure_mutex

  // Claims and runs chunks until none are left; never throws.
  void work() {
    while (!failed.load(std::memory_order_relaxed)) {
      std::size_t begin = next.fetch_add(chunk, std::memory_order_relaxed);
      if (begin >= count) return;
      std::size_t end = std::min(count, begin + chunk);
      try {
        task.run(task.context, begin, end);
      } catch (...) {
        std::lock_guard lock(failure_mutex);
        if (!failure) failure = std::current_exception();
        failed.store(true, std::memory_order_relaxed);
      }
    }
  }
};

class Pool {
 public:
  explicit Pool(std::size_t threads) : threads_(1) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return;
    pthread_attr_setstacksize(&attr, kWorkerStackSize);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    for (std::size_t i = 1; i < threads; ++i) {
      pthread_t thread;
      // A worker that cannot be started only makes the pool smaller: the caller always works.
      if (pthread_create(&thread, &attr, &Pool::worker_main, this) != 0) break;
      ++threads_;
    }
    pthread_attr_destroy(&attr);
  }

  std::size_t threads() const { return threads_; }

  std::exception_ptr run(std::size_t count, RangeTask task) {
    Job job{count, chunk_size(count), task};
    if (threads_ == 1 || count < kInlineBatchSize) {
      job.chunk = count;
      job.work();
      return job.failure;
    }
    std::lock_guard submit(submit_mutex_);
    {
      std::lock_guard lock(mutex_);
      job_ = &job;
      ++generation_;
    }
    wake_.notify_all();
    job.work();
    {
      std::unique_lock lock(mutex_);
      job_ = nullptr;  // no worker joins from here on
      idle_.wait(lock, [&] { return busy_ == 0; });
    }
    return job.failure;
  }

 private:
  std::size_t chunk_size(std::size_t count) const {
    // Several chunks per thread even out uneven query costs; small chunks cost an atomic add.
    std::size_t chunk = count / (threads_ * 8);
    return std::clamp<std::size_t>(chunk, 1, 64);
  }

  static void* worker_main(void* raw) {
    static_cast<Pool*>(raw)->worker_loop();
    return nullptr;
  }

  void worker_loop() {
    std::uint64_t seen = 0;
    for (;;) {
      Job* job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return job_ != nullptr && generation_ != seen; });
        seen = generation_;
        job = job_;
        ++busy_;
      }
      job->work();
      {
        std::lock_guard lock(mutex_);
        if (--busy_ == 0) idle_.notify_all();
      }
    }
  }

  std::size_t threads_;
  std::mutex submit_mutex_;  // one batch at a time on the workers
  std::mutex mutex_;         // guards job_, generation_, busy_
  std::condition_variable wake_;
  std::condition_variable idle_;
  Job* job_ = nullptr;
  std::uint64_t generation_ = 0;
  std::size_t busy_ = 0;  // workers inside job_->work()
};

std::size_t processor_count() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<std::size_t>(n);
  }
  unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? n : 1;
}

// The process's pool. Never destroyed: workers may still wait on it while the process exits.
// A forked child finds the parent's pool under another pid and builds its own (the old object,
// whose workers did not survive the fork, is abandoned).
std::mutex pool_creation_mutex;
Pool* pool = nullptr;
pid_t pool_pid = 0;

void lock_creation_before_fork() { pool_creation_mutex.lock(); }
void unlock_creation_after_fork() { pool_creation_mutex.unlock(); }

Pool& current_pool() {
  static const bool fork_handlers = [] {
    // Holding the creation mutex across fork() keeps it consistent in the child.
    pthread_atfork(lock_creation_before_fork, unlock_creation_after_fork,
                   unlock_creation_after_fork);
    return true;
  }();
  (void)fork_handlers;
  std::lock_guard lock(pool_creation_mutex);
  pid_t pid = getpid();
  if (pool == nullptr || pool_pid != pid) {
    const char* setting = std::getenv("TESSARK_NUM_THREADS");
    std::size_t size = pool_size_from_setting(
        setting ? std::optional<std::string_view>(setting) : std::nullopt, processor_count());
    pool = new Pool(size);
    pool_pid = pid;
  }
  return *pool;
}

}  // namespace

std::size_t pool_size_from_setting(std::optional<std::string_view> setting, std::size_t processors) {
  std::size_t fallback = std::clamp<std::size_t>(processors, 1, kMaxPoolThreads);
  if (!setting) return fallback;
  std::string_view text = *setting;
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error == std::errc::invalid_argument || end != text.data() + text.size())
    return fallback;
  if (error == std::errc::result_out_of_range) return kMaxPoolThreads;
  if (value == 0) return fallback;
  return static_cast<std::size_t>(std::min<std::uint64_t>(value, kMaxPoolThreads));
}

std::exception_ptr run_on_pool(std::size_t count, RangeTask task) {
  if (count == 0) return nullptr;
  try {
    return current_pool().run(count, task);
  } catch (...) {
    // Starting the pool itself failed (out of memory, a system error from a mutex).
    return std::current_exception();
  }
}

std::size_t pool_thread_count() { return current_pool().threads(); }

}  // namespace tessark
