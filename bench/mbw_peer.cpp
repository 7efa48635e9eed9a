#include "mbw_peer.h"

#include <cstdio>
#include <sstream>

#include "child_process.h"

namespace qbench {

mbw_result parse_mbw_average(const std::string& output) {
  // AVG\tMethod: DUMB\tElapsed: 0.00722\tMiB: 64.00000\tCopy: 8861.198 MiB/s
  mbw_result result;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, 4, "AVG\t") != 0) continue;
    char method[64] = {0};
    double elapsed = 0;
    double mib = 0;
    double rate = 0;
    if (std::sscanf(line.c_str(), "AVG Method: %63s Elapsed: %lf MiB: %lf Copy: %lf", method,
                    &elapsed, &mib, &rate) == 4) {
      result.ok = true;
      result.method = method;
      result.elapsed_s = elapsed;
      result.mib_per_s = rate;
    }
  }
  return result;
}

mbw_result run_mbw(int test) {
  const std::string command = "mbw -q -n 10 -t" + std::to_string(test) + " 64";
  int status = 0;
  const std::string output = run_command(command, status);
  mbw_result result = parse_mbw_average(output);
  if (status != 0) result.ok = false;
  return result;
}

}  // namespace qbench
