// The line protocol between the measuring program's child runs and the
// process that gathers their figures: one "key value..." line per figure,
// the key a single word, the rest of the line its value.
#ifndef QUORVANE_BENCH_CHILD_OUTPUT_H
#define QUORVANE_BENCH_CHILD_OUTPUT_H

#include <string>
#include <utility>
#include <vector>

namespace qbench {

// Prints one line: key, a space, value with every significant digit.
void emit(const char* key, double value);
void emit(const char* key, const std::string& value);

class child_output {
 public:
  // Lines that do not start with a word followed by a space are skipped, so
  // stray text from the system (Wine prints some) does no harm.
  static child_output parse(const std::string& text);

  bool has(const std::string& key) const;
  // The value of the first line with the key, or fallback.
  std::string text(const std::string& key, const std::string& fallback = "") const;
  double number(const std::string& key, double fallback = 0.0) const;
  // The values of every line with the key, in order.
  std::vector<std::string> all(const std::string& key) const;

 private:
  std::vector<std::pair<std::string, std::string>> lines_;
};

}  // namespace qbench

#endif  // QUORVANE_BENCH_CHILD_OUTPUT_H
