// Binary segmentation with the Mann-Whitney split statistic.
#include "history/change_points.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <utility>

#include "number_text.h"
#include "results/rank_statistics.h"

namespace quorvane::host {

const char* const change_point_method =
    "binary segmentation (Vostrikova 1981) with the Mann-Whitney split statistic on the "
    "logarithms of the clean, finished runs: a segment splits at its most significant split "
    "when a weighted Bonferroni bound over all its splits (each split's share of the 5% "
    "false-alarm rate inversely proportional to its shorter side) is met, and a change is "
    "reported only when its 95% Hodges-Lehmann interval excludes no change and reaches a "
    "step of 2%";

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

// P(X <= x) for X the sum of k uniform values on [0, 1].
double irwin_hall_cdf(std::size_t k, double x) {
  double sum = 0;
  for (std::size_t j = 0; j <= k && static_cast<double>(j) <= x; ++j) {
    const double term =
        binomial(k, j) * std::pow(x - static_cast<double>(j), static_cast<double>(k));
    sum += j % 2 == 0 ? term : -term;
  }
  return sum / std::tgamma(static_cast<double>(k) + 1);
}

// -log of the normal upper tail beyond z; past the reach of erfc, the
// first terms of its asymptotic series.
double normal_surprise(double z) {
  constexpr double pi = 3.141592653589793;
  if (z < 30) return -std::log(0.5 * std::erfc(z / std::sqrt(2.0)));
  return z * z / 2 + std::log(z * std::sqrt(2 * pi)) - std::log1p(-1 / (z * z));
}

// A segment's logarithms in ascending order, each with its run's index: a
// split divides it in one stable pass, so the whole history sorts once.
using sorted_runs = std::vector<std::pair<double, std::size_t>>;

struct split_test {
  std::size_t at = 0;  // the first run of the right side, from the segment's start
  double p_value = 1;  // Bonferroni-bounded
};

// The segment's best split and its p-value, from the segment's runs
// (first .. first + sorted.size() - 1) in ascending order; at least
// 2 * shortest of them.
split_test test_segment(const sorted_runs& sorted, std::size_t first, std::size_t shortest,
                        double false_alarm_rate) {
  const std::size_t n = sorted.size();
  // Midranks, and the ties' term of the variance.
  std::vector<double> rank(n);
  double ties = 0;
  for (std::size_t i = 0; i < n;) {
    std::size_t j = i;
    while (j < n && sorted[j].first == sorted[i].first) ++j;
    const double mid = (static_cast<double>(i + j) + 1) / 2;
    for (std::size_t k = i; k < j; ++k) rank[sorted[k].second - first] = mid;
    const auto t = static_cast<double>(j - i);
    ties += t * t * t - t;
    i = j;
  }

  const auto count = static_cast<double>(n);
  const double tie_factor = (count + 1) - ties / (count * (count - 1));
  // Weighted Bonferroni: a split whose shorter side has k runs gets the
  // share 1 / (k * harmonic) of the false-alarm rate. A step near an end,
  // the newest runs, then shows within a few runs, while a split in the
  // middle, with many runs each side, needs only a little more surprise.
  double harmonic = 0;
  for (std::size_t t = shortest; t + shortest <= n; ++t) {
    harmonic += 1.0 / static_cast<double>(std::min(t, n - t));
  }
  split_test best;
  // The log of the smallest weighted p-value.
  double best_adjusted = std::numeric_limits<double>::infinity();
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
    const double share = static_cast<double>(k) * harmonic;
    // The one-sided tail a split needs to matter at all.
    const double needed = false_alarm_rate / (2.0 * share);
    // The split's surprise, -log of its one-sided tail: a logarithm, so
    // that far beyond the smallest double the larger step still wins.
    double surprise;
    if (k <= exact_side) {
      const auto lower = static_cast<std::size_t>(std::floor(pairs / 2 - distance));
      const double factorial_bound = 1.0 / std::tgamma(static_cast<double>(k) + 1);
      double tail;
      if (lower <= m) {
        const double bound = lower_tail_bound(k, m, lower);
        tail = bound >= needed ? bound : exact_lower_tail(k, m, lower);
      } else if (factorial_bound >= needed) {
        tail = factorial_bound;  // P(U <= m) is at least 1/k!
      } else if (const double rough =
                     irwin_hall_cdf(k, (static_cast<double>(lower) + 0.5) / static_cast<double>(m));
                 rough >= 10 * needed) {
        // Far from mattering by the large-sample limit of U / m, the sum
        // of k uniform values; the exact count would cost k * lower.
        tail = rough;
      } else {
        tail = exact_lower_tail(k, m, lower);
      }
      surprise = -std::log(tail);
    } else {
      const double sigma = std::sqrt(pairs / 12 * tie_factor);
      const double z = sigma > 0 ? std::max(0.0, distance - 0.5) / sigma : 0;
      // Within a standard deviation a split is never significant, whatever
      // its share: the logarithms it would cost are left out.
      if (z < 1) continue;
      surprise = normal_surprise(z);
    }
    // The place: the split of the smallest weighted p-value. A pruned
    // split's is at least the false-alarm rate, so it never wins where a
    // split is significant.
    const double adjusted = std::log(2 * share) - surprise;
    if (adjusted < best_adjusted) {
      best_adjusted = adjusted;
      best.at = t;
    }
  }
  best.p_value = std::min(1.0, std::exp(best_adjusted));
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

// A change worth reporting: its interval leaves out no change and reaches
// the smallest step.
bool reportable(const change_point& change, double smallest_step) {
  const bool clear = change.low > 0 || change.high < 0;
  const bool large = change.low <= -smallest_step || change.high >= smallest_step;
  return clear && large;
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
  sorted_runs all(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) all[i] = {std::log(values[i]), i};
  std::sort(all.begin(), all.end());
  const std::size_t shortest = std::max<std::size_t>(options.shortest_level, 1);

  // Segments still to test, by their first run, and the accepted splits.
  std::vector<std::pair<std::size_t, sorted_runs>> pending;
  pending.emplace_back(0, std::move(all));
  std::vector<change_point> splits;
  while (!pending.empty()) {
    const std::size_t first = pending.back().first;
    sorted_runs segment = std::move(pending.back().second);
    pending.pop_back();
    const std::size_t end = first + segment.size();
    if (segment.size() < 2 * shortest) continue;
    const split_test test = test_segment(segment, first, shortest, options.false_alarm_rate);
    if (!(test.p_value < options.false_alarm_rate)) continue;
    const std::size_t at = first + test.at;
    change_point change;
    if (!describe_change(values, first, at, end, change)) continue;
    if (!reportable(change, options.smallest_step)) continue;
    change.p_value = test.p_value;
    splits.push_back(change);
    sorted_runs left;
    sorted_runs right;
    for (const auto& run : segment) (run.second < at ? left : right).push_back(run);
    pending.emplace_back(first, std::move(left));
    pending.emplace_back(at, std::move(right));
  }
  std::sort(splits.begin(), splits.end(),
            [](const change_point& a, const change_point& b) { return a.index < b.index; });

  // Each change described again between its final neighbours, which later
  // splits may have brought nearer. A split a few runs off the true place
  // leaves those runs to a later split, and the short level between them
  // differs from one side by nothing: such a change goes, and its levels
  // merge, the least change first, until every change is clear and large.
  for (;;) {
    std::size_t weakest = splits.size();
    for (std::size_t i = 0; i < splits.size(); ++i) {
      const std::size_t first = i == 0 ? 0 : splits[i - 1].index;
      const std::size_t end = i + 1 < splits.size() ? splits[i + 1].index : values.size();
      change_point& change = splits[i];
      const bool described = describe_change(values, first, change.index, end, change);
      if (described && reportable(change, options.smallest_step)) continue;
      if (weakest == splits.size() ||
          std::fabs(change.change) < std::fabs(splits[weakest].change)) {
        weakest = i;
      }
    }
    if (weakest == splits.size()) break;
    splits.erase(splits.begin() + static_cast<std::ptrdiff_t>(weakest));
  }

  std::size_t first = 0;
  for (std::size_t i = 0; i <= splits.size(); ++i) {
    const std::size_t end = i < splits.size() ? splits[i].index : values.size();
    analysis.levels.push_back({first, end, median(slice(values, first, end))});
    first = end;
  }
  for (std::size_t i = 0; i < splits.size(); ++i) {
    change_point change = splits[i];
    change.before = analysis.levels[i].value;
    change.after = analysis.levels[i + 1].value;
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
  // Whole numbers up to ten million; beyond, four digits and a power of ten,
  // so that a hostile value does not print 300 digits.
  const double size = std::fabs(value);
  return printed(size >= 1e7 ? "%.4g" : size >= 100 ? "%.0f" : size >= 10 ? "%.1f" : "%.3g", value);
}

std::string change_text(const change_point& change) {
  return level_text(change.before) + " \u2192 " + level_text(change.after) + " (" +
         percent_text(change.change) + ", " + percent_text(change.low) + " to " +
         percent_text(change.high) + ")";
}

}  // namespace quorvane::host
