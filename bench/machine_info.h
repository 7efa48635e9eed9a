// What the report says about the machine and the moment.
#ifndef QUORVANE_BENCH_MACHINE_INFO_H
#define QUORVANE_BENCH_MACHINE_INFO_H

#include <string>

namespace qbench {

// The processor's model name, with family and model numbers when the name
// alone is vague (virtual machines often report only the brand).
std::string processor_model();

// Logical processors online.
int logical_processors();

// The current date and time in UTC, "YYYY-MM-DD HH:MM UTC".
std::string utc_now();

// The one-minute load average, or -1 when unknown.
double load_average();

}  // namespace qbench

#endif  // QUORVANE_BENCH_MACHINE_INFO_H
