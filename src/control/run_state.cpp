#include "control/run_state.h"

namespace quorvane {

// All constant-initialised: no static constructor runs at load.
std::atomic<std::int32_t> g_state{0};
std::atomic<std::int32_t> g_phase{0};
std::atomic<std::int32_t> g_progress{0};
std::atomic<std::int32_t> g_cancel{0};
bench_results g_res{};
char g_err[err_size];
char g_json[json_size];

}  // namespace quorvane
