// A deterministic platform for the unit tests. Threads are real (the engine
// really runs its workers); everything else is under the test's control.
#include "fake_platform.h"

#include <cstdlib>
#include <cstring>

#include "control/run_state.h"
#include "engine/run_load.h"
#include "platform/platform.h"

#if defined(_WIN32)
#  include <process.h>
#  include <windows.h>
#else
#  include <pthread.h>
#  include <time.h>
#endif

#if defined(__linux__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#  define FAKE_WATCH_FINAL_STATE 1
#  include <signal.h>
#  include <ucontext.h>
#else
#  define FAKE_WATCH_FINAL_STATE 0
#endif

namespace fake {
namespace {

config g_config;
counters g_counters;
std::atomic<std::int64_t> g_ticks{counter_origin};
std::atomic<int> g_thread_number{0};

struct matrix_holder {
  double* set = nullptr;
  matrix_holder() = default;
  matrix_holder(const matrix_holder&) = delete;
  matrix_holder& operator=(const matrix_holder&) = delete;
  ~matrix_holder() {
    if (set != nullptr) {
      std::free(set);
      g_counters.matrix_sets_released.fetch_add(1);
    }
  }
};

// Worker threads wait at their start until the runner's next sleep or join,
// so that all workers of a window begin together once every one of them has
// been created. On two cores, hundreds of workers that start computing at
// once starve the thread that creates the rest; that only costs time on a
// real machine, but under a sanitizer it costs minutes.
std::atomic<std::int64_t> g_release_epoch{0};
// Workers created but not yet inside their entry. The runner's sleep waits
// for every released worker to get there, so a worker always reaches its
// first flag test while the window is open: on a loaded machine a worker
// may otherwise not be scheduled before the whole fake window has passed,
// and a phase would measure nothing.
std::atomic<int> g_workers_not_entered{0};

struct held_start {
  quorvane::platform::thread_entry entry;
  void* arg;
  std::int64_t epoch;
};

void real_sleep_us(std::int64_t us);

quorvane::platform::thread_result QUORVANE_THREAD_CALL held_trampoline(void* raw) {
  auto* start = static_cast<held_start*>(raw);
  const held_start copy = *start;
  delete start;
  while (g_release_epoch.load() <= copy.epoch) real_sleep_us(100);
  g_workers_not_entered.fetch_sub(1);
  const auto result = copy.entry(copy.arg);
  // The record lives until run_load has joined this thread.
  g_counters.phase_iterations[quorvane::g_phase.load()].fetch_add(
      static_cast<quorvane::worker_arg*>(copy.arg)->iterations);
  return result;
}

#if FAKE_WATCH_FINAL_STATE
constexpr greg_t trap_flag = 0x100;

// Runs after every instruction of the single-stepped run thread.
void on_step(int /*signal*/, siginfo_t* /*info*/, void* context) {
  const std::int32_t state = quorvane::g_state.load(std::memory_order_relaxed);
  if (state != quorvane::state_finished && state != quorvane::state_cancelled) return;
  static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_EFL] &= ~trap_flag;
  if (g_config.at_final_state) g_config.at_final_state();
}

// Single-steps the calling thread from its next instruction on.
void step_until_final_state() {
  struct sigaction action {};
  action.sa_sigaction = &on_step;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTRAP, &action, nullptr);
  __asm__ volatile("pushfq\n\torq $0x100, (%%rsp)\n\tpopfq" ::: "memory", "cc");
}
#endif

// The closing of a finished run reads the clock with progress 100 while
// phase 5 still shows; no other reading does.
void watch_closing() {
#if FAKE_WATCH_FINAL_STATE
  if (g_config.at_final_state && quorvane::g_progress.load() == 100 &&
      quorvane::g_phase.load() == 5) {
    step_until_final_state();
  }
#endif
}

void real_sleep_us(std::int64_t us) {
  if (us <= 0) return;
#if defined(_WIN32)
  Sleep(static_cast<DWORD>((us + 999) / 1000));
#else
  timespec t{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000L};
  nanosleep(&t, nullptr);
#endif
}

}  // namespace

void reset(config settings) {
  g_config = std::move(settings);
  g_counters.threads_created = 0;
  g_counters.threads_refused = 0;
  g_counters.threads_joined = 0;
  g_counters.threads_released = 0;
  g_counters.blocks_obtained = 0;
  g_counters.blocks_given_back = 0;
  g_counters.block_requests = 0;
  g_counters.copies = 0;
  g_counters.sleeps = 0;
  g_counters.matrix_sets_created = 0;
  g_counters.matrix_sets_released = 0;
  g_counters.module_refs = 0;
  for (auto& iterations : g_counters.phase_iterations) iterations = 0;
  g_thread_number = 0;
  g_ticks = counter_origin;
}

bool watch_final_state() { return FAKE_WATCH_FINAL_STATE != 0; }

config& settings() { return g_config; }
counters& count() { return g_counters; }

void set_clock_ms(std::int64_t ms) { g_ticks = counter_origin + ms * (frequency / 1000); }
std::int64_t clock_ms() { return (g_ticks.load() - counter_origin) / (frequency / 1000); }
void advance_ms(std::int64_t ms) { g_ticks.fetch_add(ms * (frequency / 1000)); }

}  // namespace fake

namespace quorvane {
namespace platform {

thread_handle thread_create(thread_entry entry, void* arg) {
  const int number = fake::g_thread_number.fetch_add(1);
  if (fake::g_config.allow_thread && !fake::g_config.allow_thread(number)) {
    fake::g_counters.threads_refused.fetch_add(1);
    return nullptr;
  }
  fake::held_start* held = nullptr;
  if (entry == &quorvane::worker_fn) {
    held = new fake::held_start{entry, arg, fake::g_release_epoch.load()};
    entry = &fake::held_trampoline;
    arg = held;
    fake::g_workers_not_entered.fetch_add(1);
  }
#if defined(_WIN32)
  const std::uintptr_t handle = _beginthreadex(nullptr, 0, entry, arg, 0, nullptr);
  if (handle == 0) {
    if (held != nullptr) fake::g_workers_not_entered.fetch_sub(1);
    delete held;
    return nullptr;
  }
  fake::g_counters.threads_created.fetch_add(1);
  return reinterpret_cast<thread_handle>(handle);
#else
  pthread_t thread{};
  if (pthread_create(&thread, nullptr, entry, arg) != 0) {
    if (held != nullptr) fake::g_workers_not_entered.fetch_sub(1);
    delete held;
    return nullptr;
  }
  fake::g_counters.threads_created.fetch_add(1);
  thread_handle handle = nullptr;
  std::memcpy(&handle, &thread, sizeof thread);
  return handle;
#endif
}

void thread_release(thread_handle handle) {
  fake::g_counters.threads_released.fetch_add(1);
#if defined(_WIN32)
  CloseHandle(handle);
#else
  pthread_t thread{};
  std::memcpy(&thread, &handle, sizeof thread);
  pthread_detach(thread);
#endif
}

void thread_join(thread_handle handle) {
  fake::g_release_epoch.fetch_add(1);
#if defined(_WIN32)
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
#else
  pthread_t thread{};
  std::memcpy(&thread, &handle, sizeof thread);
  pthread_join(thread, nullptr);
#endif
  fake::g_counters.threads_joined.fetch_add(1);
}

std::int64_t perf_counter() {
  if (fake::g_config.on_clock) fake::g_config.on_clock();
  fake::watch_closing();
  return fake::g_ticks.load();
}

std::int64_t perf_frequency() { return fake::frequency; }

void sleep_ms(std::uint32_t ms) {
  fake::g_counters.sleeps.fetch_add(1);
  fake::g_release_epoch.fetch_add(1);
  while (fake::g_workers_not_entered.load() > 0) fake::real_sleep_us(100);
  if (fake::g_config.on_sleep) fake::g_config.on_sleep(ms);
  fake::real_sleep_us(fake::g_config.real_sleep_us);
  fake::advance_ms(static_cast<std::int64_t>(ms) * fake::g_config.sleep_scale);
}

std::int32_t processor_count() {
  if (fake::g_config.on_processor_count) fake::g_config.on_processor_count();
  return fake::g_config.processors;
}

void* block_obtain(std::size_t bytes) {
  const int number = fake::g_counters.block_requests.fetch_add(1);
  if (fake::g_config.allow_block && !fake::g_config.allow_block(number)) return nullptr;
  void* block = std::malloc(bytes);
  if (block != nullptr) fake::g_counters.blocks_obtained.fetch_add(1);
  return block;
}

void block_give_back(void* block) {
  if (block == nullptr) return;
  fake::g_counters.blocks_given_back.fetch_add(1);
  std::free(block);
}

void block_fill(void* block, unsigned char value, std::size_t bytes) {
  std::memset(block, value, bytes);
  fake::advance_ms(fake::g_config.fill_ms);
}

void block_copy(void* destination, const void* source, std::size_t bytes) {
  std::memcpy(destination, source, bytes);
  fake::advance_ms(fake::g_config.copy_ms);
  const int copies = fake::g_counters.copies.fetch_add(1) + 1;
  if (fake::g_config.on_copy) fake::g_config.on_copy(copies);
}

double* thread_matrices() {
  if (fake::g_config.on_matrices) fake::g_config.on_matrices();
  if (fake::g_config.allow_matrices && !fake::g_config.allow_matrices()) return nullptr;
  thread_local fake::matrix_holder holder;
  if (holder.set == nullptr) {
    holder.set = static_cast<double*>(std::calloc(matrix_set_doubles, sizeof(double)));
    if (holder.set != nullptr) fake::g_counters.matrix_sets_created.fetch_add(1);
  }
  if (holder.set != nullptr && fake::g_config.on_matrix_set)
    fake::g_config.on_matrix_set(holder.set);
  return holder.set;
}

void module_ref_take() { fake::g_counters.module_refs.fetch_add(1); }
void module_ref_drop() { fake::g_counters.module_refs.fetch_sub(1); }
void run_thread_exit() { fake::g_counters.module_refs.fetch_sub(1); }

}  // namespace platform
}  // namespace quorvane
