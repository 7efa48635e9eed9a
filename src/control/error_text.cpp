#include "control/error_text.h"

#include "control/run_state.h"

namespace quorvane {

void set_error_text(const char* text) {
  std::size_t i = 0;
  for (; i + 1 < err_size && text[i] != '\0'; ++i) {
    __atomic_store_n(&g_err[i], text[i], __ATOMIC_RELAXED);
  }
  __atomic_store_n(&g_err[i], '\0', __ATOMIC_RELAXED);
}

}  // namespace quorvane
