// The memory copy peer: mbw, run with the library's 64 MiB block. In mbw
// 1.2.2 test 1, printed as "DUMB", is the one that calls memcpy once per
// copy, like the library; test 0, printed as "MEMCPY", copies in a plain
// element loop. Both are run, and test 1 is the like-for-like peer.
#ifndef QUORVANE_BENCH_MBW_PEER_H
#define QUORVANE_BENCH_MBW_PEER_H

#include <string>

namespace qbench {

struct mbw_result {
  bool ok = false;
  std::string method;    // the name mbw printed
  double mib_per_s = 0;  // the AVG line's copy rate
  double elapsed_s = 0;  // the AVG line's time of one copy
};

// Reads the "AVG" line of mbw's output.
mbw_result parse_mbw_average(const std::string& output);

// Runs "mbw -q -n 10 -t<test> 64" and reads its average.
mbw_result run_mbw(int test);

}  // namespace qbench

#endif  // QUORVANE_BENCH_MBW_PEER_H
