// The process-wide worker pool behind batch validation, and an order-keeping parallel map.
//
// Workers start on first use and live until the process ends. A batch is split into chunks that
// the workers and the calling thread claim from one atomic index; results are written into a
// pre-sized vector at their input positions, so order is kept without any merging. A failure
// inside a task (an exception) never leaves its thread: it is caught, the rest of the batch is
// abandoned and the failure is handed back to the caller as a value.
//
// Size: the environment variable TESSARK_NUM_THREADS (a decimal count, 1 to kMaxPoolThreads,
// read once when the pool starts) or, when it is absent or not such a number, the number of
// processors this process may run on. The count includes the calling thread.
//
// fork(): a child process starts without the parent's workers; its first batch builds a fresh
// pool. Worker threads get kWorkerStackSize of stack, ample for the parser's nesting bound.
#pragma once

#include <cstddef>
#include <exception>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace tessark {

inline constexpr std::size_t kMaxPoolThreads = 256;
inline constexpr std::size_t kWorkerStackSize = std::size_t{8} << 20;  // 8 MiB
// Batches shorter than this run on the calling thread alone: waking workers would cost more.
inline constexpr std::size_t kInlineBatchSize = 16;

// The pool size that TESSARK_NUM_THREADS asks for (`setting` is its value, nullopt when unset),
// given the processor count; exposed for tests.
std::size_t pool_size_from_setting(std::optional<std::string_view> setting, std::size_t processors);

// A range task: called with [begin, end) index ranges that together cover [0, count) once.
struct RangeTask {
  void* context;
  void (*run)(void* context, std::size_t begin, std::size_t end);
};

// Runs `task` over [0, count) on the process-wide pool and the calling thread; returns once every
// index has been processed, or, when a task threw, the first exception (the remaining indices may
// be skipped). Safe to call from several threads at once; batches then take turns on the workers.
[[nodiscard]] std::exception_ptr run_on_pool(std::size_t count, RangeTask task);

// Number of threads a batch runs on (workers plus the caller); starts the pool if needed.
std::size_t pool_thread_count();

// The results of a parallel map: `values[i]` belongs to input i; when `failure` is set the
// values are incomplete and must not be used.
template <typename R>
struct MapResult {
  std::vector<R> values;
  std::exception_ptr failure;
};

// values[i] = fn(i) for i in [0, count), computed in parallel, kept in input order.
template <typename R, typename Fn>
MapResult<R> parallel_map(std::size_t count, Fn&& fn) {
  MapResult<R> result;
  result.values.resize(count);
  struct Context {
    Fn* fn;
    std::vector<R>* out;
  } context{&fn, &result.values};
  RangeTask task{&context, [](void* raw, std::size_t begin, std::size_t end) {
                   auto* c = static_cast<Context*>(raw);
                   for (std::size_t i = begin; i < end; ++i) (*c->out)[i] = (*c->fn)(i);
                 }};
  result.failure = run_on_pool(count, task);
  return result;
}

}  // namespace tessark
