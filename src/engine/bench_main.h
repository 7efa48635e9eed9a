// The run thread's body: the fixed sequence of five measurements.
#ifndef QUORVANE_ENGINE_BENCH_MAIN_H
#define QUORVANE_ENGINE_BENCH_MAIN_H

#include "platform/platform.h"

namespace quorvane {

// The run thread's entry. Opens the run, measures phases 1 to 5 (stopping
// after any of phases 1 to 4 on a cancel request), commits the results and
// closes the run with the final state; the argument is ignored.
platform::thread_result QUORVANE_THREAD_CALL bench_main(void* unused);

}  // namespace quorvane

#endif  // QUORVANE_ENGINE_BENCH_MAIN_H
