#include "control/error_text.h"

#include "control/run_state.h"

namespace quorvane {
namespace {

bool text_in_place(const char* text) {
  for (std::size_t i = 0; i < err_size; ++i) {
    const char held = __atomic_load_n(&g_err[i], __ATOMIC_RELAXED);
    if (held != text[i]) return false;
    if (held == '\0') return true;
  }
  return false;
}

}  // namespace

void set_error_text(const char* text) {
  if (text_in_place(text)) return;
  std::size_t i = 0;
  for (; i + 1 < err_size && text[i] != '\0'; ++i) {
    __atomic_store_n(&g_err[i], text[i], __ATOMIC_RELAXED);
  }
  __atomic_store_n(&g_err[i], '\0', __ATOMIC_RELAXED);
}

}  // namespace quorvane
