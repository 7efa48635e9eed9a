// Binary segmentation with the Mann-Whitney split statistic.
#include "history/change_points.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <utility>

#include "number_text.h"
#include "results/rank_statistics.h"

namespace quorvane::host {

const char* const change_point_method =
    "binary segmentation (Vostrikova 1981) with the Mann-Whitney split statistic on the "
    "logarithms of the clean, finished runs: a segment splits at its smallest split p-value "
    "when that p-value times the number of possible splits (Bonferroni) is below 1%, and a "
    "change is reported only when its 95% Hodges-Lehmann interval reaches a step of at least 2%";

namespace {

// A split whose shorter side has at most this many runs gets the exact U
// distribution: there the normal one understates by orders of magnitude
// how unlikely a few runs all below the rest are.
constexpr std::size_t exact_side = 10;

// The runs each side of a change that its estimate and interval use: the
// exact interval's limit, and the runs that describe the change locally.
constexpr std::size_t interval_window = 100;

double binomial(std::size_t total, std::size_t chosen) {
  double result = 1;
  for (std::size_t i = 1; i <= chosen; ++i) {
    result = result * static_cast<double>(total - chosen + i) / static_cast<double>(i);
  }
  return result;
}

// P(U <= u) for samples of k and m runs without ties: the coefficients of
// the Gaussian binomial [m + k, k]_q up to degree u over C(m + k, k). Every
// step reads only lower degrees, so cutting the series at u is exact, and
// the cost is k * u.
double exact_lower_tail(std::size_t k, std::size_t m, std::size_t u) {
  std::vector<double> counts(u + 1, 0.0);
  counts[0] = 1;
  for (std::size_t j = 1; j <= k; ++j) {
    const std::size_t rise = m + j;  // times (1 - q^(m + j))
    for (std::size_t v = u; v >= rise && rise <= u; --v) counts[v] -= counts[v - rise];
    for (std::size_t v = j; v <= u; ++v) counts[v] += counts[v - j];  // over (1 - q^j)
  }
  const double ways = std::accumulate(counts.begin(), counts.end(), 0.0);
  return std::min(1.0, ways / binomial(m + k, k));
}

// A lower bound on P(U <= u) for u <= m: every partition of v into at most
// k parts comes from at most k! of the C(v + k - 1, k - 1) compositions.
double lower_tail_bound(std::size_t k, std::size_t m, std::size_t u) {
  double factorial = 1;
  for (std::size_t i = 2; i <= k; ++i) factorial *= static_cast<double>(i);
  return binomial(u + k, k) / factorial / binomial(m + k, k);
}

struct split_test {
  std::size_t at = 0;  // the first run of the right side, from the segment's start
  double p_value = 1;  // Bonferroni-bounded
};

// The segment's best split and its p-value. logs has at least 2 * shortest
// values.
split_test test_segment(const std::vector<double>& logs, std::size_t shortest,
                        double false_alarm_rate) {
  const std::size_t n = logs.size();
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return logs[a] < logs[b]; });
  // Midranks, and the ties' term of the variance.
  std::vector<double> rank(n);
  double ties = 0;
  for (std::size_t i = 0; i < n;) {
    std::size_t j = i;
    while (j < n && logs[order[j]] == logs[order[i]]) ++j;
    const double mid = (static_cast<double>(i + j) + 1) / 2;
    for (std::size_t k = i; k < j; ++k) rank[order[k]] = mid;
    const auto t = static_cast<double>(j - i);
    ties += t * t * t - t;
    i = j;
  }

  const auto count = static_cast<double>(n);
  const double tie_factor = (count + 1) - ties / (count * (count - 1));
  const std::size_t splits = n - 2 * shortest + 1;
  // The one-sided tail a split needs to matter at all.
  const double needed = false_alarm_rate / (2.0 * static_cast<double>(splits));
  split_test best;
  double best_one_sided = 2;
  double rank_sum = 0;
  for (std::size_t t = 1; t + shortest <= n; ++t) {
    rank_sum += rank[t - 1];
    if (t < shortest) continue;
    const auto left = static_cast<double>(t);
    const double pairs = left * (count - left);
    const double u_left = rank_sum - left * (left + 1) / 2;  // left above right
    const double distance = std::fabs(u_left - pairs / 2);
    const std::size_t k = std::min(t, n - t);
    const std::size_t m = n - k;
    double one_sided;
    if (k <= exact_side) {
      const auto lower = static_cast<std::size_t>(std::floor(pairs / 2 - distance));
      const double factorial_bound = 1.0 / std::tgamma(static_cast<double>(k) + 1);
      if (lower <= m) {
        const double bound = lower_tail_bound(k, m, lower);
        one_sided = bound >= needed ? bound : exact_lower_tail(k, m, lower);
      } else if (factorial_bound >= needed) {
        one_sided = factorial_bound;  // P(U <= m) is at least 1/k!
      } else {
        one_sided = exact_lower_tail(k, m, lower);
      }
    } else {
      const double sigma = std::sqrt(pairs / 12 * tie_factor);
      const double z = sigma > 0 ? std::max(0.0, distance - 0.5) / sigma : 0;
      one_sided = 0.5 * std::erfc(z / std::sqrt(2.0));
    }
    if (one_sided < best_one_sided) {
      best_one_sided = one_sided;
      best.at = t;
    }
  }
  best.p_value = std::min(1.0, 2 * best_one_sided * static_cast<double>(splits));
  return best;
}

std::vector<double> slice(const std::vector<double>& values, std::size_t first, std::size_t end) {
  return {values.begin() + static_cast<std::ptrdiff_t>(first),
          values.begin() + static_cast<std::ptrdiff_t>(end)};
}

double median(std::vector<double> values) {
  const std::size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle),
                   values.end());
  double result = values[middle];
  if (values.size() % 2 == 0) {
    const double below =
        *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
    result = std::sqrt(below * result);  // the middle of the logarithms
  }
  return result;
}

// The change from the level [first, at) to the level [at, end), on the runs
// nearest the change; false when no interval exists at 95%.
bool describe_change(const std::vector<double>& values, std::size_t first, std::size_t at,
                     std::size_t end, change_point& change) {
  const std::size_t from = at - std::min(at - first, interval_window);
  const std::size_t to = at + std::min(end - at, interval_window);
  const rank_comparison compared = compare_ranks(slice(values, from, at), slice(values, at, to));
  if (!compared.estimate || !compared.low || !compared.high) return false;
  change.index = at;
  change.change = *compared.estimate - 1;
  change.low = *compared.low - 1;
  change.high = *compared.high - 1;
  return true;
}

}  // namespace

change_analysis find_change_points(const std::vector<double>& values,
                                   const change_point_options& options) {
  for (const double value : values) {
    if (!(value > 0) || !std::isfinite(value)) {
      throw std::invalid_argument("a figure's value for change points is not above 0");
    }
  }
  change_analysis analysis;
  if (values.empty()) return analysis;
  std::vector<double> logs(values.size());
  std::transform(values.begin(), values.end(), logs.begin(),
                 [](double value) { return std::log(value); });
  const std::size_t shortest = std::max<std::size_t>(options.shortest_level, 1);

  // Segments still to test, and the accepted splits with their p-values.
  std::vector<std::pair<std::size_t, std::size_t>> pending{{0, values.size()}};
  std::vector<change_point> splits;
  while (!pending.empty()) {
    const auto [first, end] = pending.back();
    pending.pop_back();
    if (end - first < 2 * shortest) continue;
    const split_test test =
        test_segment(slice(logs, first, end), shortest, options.false_alarm_rate);
    if (!(test.p_value < options.false_alarm_rate)) continue;
    const std::size_t at = first + test.at;
    change_point change;
    if (!describe_change(values, first, at, end, change)) continue;
    const bool clear = change.low > 0 || change.high < 0;
    const bool large = change.low <= -options.smallest_step || change.high >= options.smallest_step;
    if (!clear || !large) continue;
    change.p_value = test.p_value;
    splits.push_back(change);
    pending.emplace_back(first, at);
    pending.emplace_back(at, end);
  }
  std::sort(splits.begin(), splits.end(),
            [](const change_point& a, const change_point& b) { return a.index < b.index; });

  std::size_t first = 0;
  for (std::size_t i = 0; i <= splits.size(); ++i) {
    const std::size_t end = i < splits.size() ? splits[i].index : values.size();
    analysis.levels.push_back({first, end, median(slice(values, first, end))});
    first = end;
  }
  // Each change described again between its final neighbours, which later
  // splits may have brought nearer; the first description stays when the
  // nearer runs allow no interval.
  for (std::size_t i = 0; i < splits.size(); ++i) {
    const history_level& before = analysis.levels[i];
    const history_level& after = analysis.levels[i + 1];
    change_point change = splits[i];
    describe_change(values, before.first, after.first, after.end, change);
    change.before = before.value;
    change.after = after.value;
    analysis.changes.push_back(change);
  }
  return analysis;
}

namespace {

// A signed percentage with a true minus sign: "−9.8%", "+2.1%".
std::string percent_text(double share) {
  std::string text = printed("%+.1f%%", share * 100);
  if (text[0] == '-') text.replace(0, 1, "\u2212");
  return text;
}

}  // namespace

std::string level_text(double value) {
  const double size = std::fabs(value);
  return printed(size >= 100 ? "%.0f" : size >= 10 ? "%.1f" : "%.3g", value);
}

std::string change_text(const change_point& change) {
  return level_text(change.before) + " \u2192 " + level_text(change.after) + " (" +
         percent_text(change.change) + ", " + percent_text(change.low) + " to " +
         percent_text(change.high) + ")";
}

}  // namespace quorvane::host
