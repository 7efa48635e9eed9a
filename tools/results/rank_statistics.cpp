// The Mann-Whitney U test, the Hodges-Lehmann estimate and its interval.
#include "results/rank_statistics.h"

#include <algorithm>
#include <cmath>

namespace quorvane::host {
namespace {

// The exact table has m * n + 1 entries and takes about m * n * min(m, n)
// steps to fill; up to this product it costs a few milliseconds at most,
// and beyond it both sides have at least 11 runs (neither has more than
// 1000), where the normal approximation is good.
constexpr std::size_t exact_limit = 10000;

// The two-sided tail on each side of the interval.
constexpr double tail = (1.0 - confidence_level) / 2.0;

// The normal quantile of 1 - tail (0.975).
constexpr double z_quantile = 1.959963984540054;

// Floating-point sums of the exact distribution can land a hair above a
// probability such as 1/40 that is exactly the tail.
constexpr double tail_tolerance = 1e-12;

// P(Z >= z) for a standard normal Z, without the cancellation of
// 1 - P(Z < z) when it is small.
double normal_upper_tail(double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); }

std::vector<double> logarithms(const std::vector<double>& values) {
  std::vector<double> logs;
  for (double value : values) {
    if (value > 0 && std::isfinite(value)) logs.push_back(std::log(value));
  }
  return logs;
}

double binomial(std::size_t total, std::size_t chosen) {
  double result = 1;
  for (std::size_t i = 1; i <= chosen; ++i) {
    result = result * static_cast<double>(total - chosen + i) / static_cast<double>(i);
  }
  return result;
}

// The sum over groups of tied values of t³ - t, for the variance of U.
double tie_term(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  double term = 0;
  for (std::size_t i = 0; i < values.size();) {
    std::size_t j = i;
    while (j < values.size() && values[j] == values[i]) ++j;
    const auto t = static_cast<double>(j - i);
    term += t * t * t - t;
    i = j;
  }
  return term;
}

}  // namespace

const char* rank_verdict_text(rank_verdict call) {
  switch (call) {
    case rank_verdict::faster:
      return "faster";
    case rank_verdict::slower:
      return "slower";
    case rank_verdict::no_clear_difference:
      return "no clear difference";
    case rank_verdict::not_compared:
      break;
  }
  return "not compared";
}

std::vector<double> u_distribution(std::size_t m, std::size_t n) {
  // The counts are the coefficients of the Gaussian binomial
  // [m + n, m]_q = prod_{k=1..m} (1 - q^(n+k)) / (1 - q^k); after each
  // step they are those of [n + k, k]_q, whole numbers.
  const std::size_t top = m * n;
  // Room for the product's degree before its last division: m * n + m.
  std::vector<double> counts(top + m + 1, 0.0);
  counts[0] = 1;
  std::size_t degree = 0;
  for (std::size_t k = 1; k <= m; ++k) {
    const std::size_t rise = n + k;
    degree += rise;
    for (std::size_t u = degree; u >= rise; --u) counts[u] -= counts[u - rise];
    degree -= k;
    for (std::size_t u = k; u <= degree + k; ++u) counts[u] += counts[u - k];
  }
  counts.resize(top + 1);
  // The distribution is symmetric, and the upper half, left after the
  // subtractions of large counts, has lost its precision: it mirrors the lower.
  for (std::size_t u = 0; u < top / 2 + 1; ++u) counts[top - u] = counts[u];
  const double total = binomial(m + n, m);
  for (double& count : counts) count /= total;
  return counts;
}

namespace {

bool exact_for(std::size_t m, std::size_t n) { return m * n <= exact_limit; }

// The distribution is the same for m against n as for n against m; the
// smaller side first takes the fewest steps.
std::vector<double> exact_distribution(std::size_t m, std::size_t n) {
  return u_distribution(std::min(m, n), std::max(m, n));
}

// The variance of U under no difference, corrected for ties (ties: the sum
// of t³ - t over the pooled runs' groups of equal values).
double u_variance(std::size_t m, std::size_t n, double ties) {
  const double mn = static_cast<double>(m) * static_cast<double>(n);
  const double count = static_cast<double>(m + n);
  return mn / 12.0 * ((count + 1) - ties / (count * (count - 1)));
}

// c: the interval runs from the c-th smallest pairwise difference to the
// c-th largest; 0 means no interval at this confidence. Exact when the
// table is cheap, whatever each side's count, else the normal
// approximation.
std::size_t interval_rank(std::size_t m, std::size_t n, double ties) {
  if (exact_for(m, n)) {
    const std::vector<double> probability = exact_distribution(m, n);
    std::size_t c = 0;
    double below = 0;  // P(U <= c - 1)
    while (c < probability.size() && below + probability[c] <= tail + tail_tolerance) {
      below += probability[c];
      ++c;
    }
    return c;
  }
  const double variance = u_variance(m, n, ties);
  if (variance <= 0) return 0;
  const double mean = static_cast<double>(m) * static_cast<double>(n) / 2;
  const double bound = std::floor(mean - z_quantile * std::sqrt(variance) + 0.5);
  return bound > 0 ? static_cast<std::size_t>(bound) : 0;
}

}  // namespace

std::size_t runs_needed_for_interval(std::size_t m, std::size_t n) {
  // The same rule as the interval's, without ties: the first count that
  // gives one. Counts up to the smaller side give none, or the interval
  // would be there; the advice is always more runs than a side has.
  for (std::size_t k = std::min(m, n) + 1;; ++k) {
    if (interval_rank(std::max(m, k), std::max(n, k), 0) > 0) return k;
  }
}

rank_comparison compare_ranks(const std::vector<double>& baseline,
                              const std::vector<double>& current) {
  rank_comparison result;
  const std::vector<double> before = logarithms(baseline);
  const std::vector<double> after = logarithms(current);
  const std::size_t m = before.size();
  const std::size_t n = after.size();
  if (m == 0 || n == 0) {
    result.note = "no run to compare on one side";
    return result;
  }

  std::vector<double> differences;
  differences.reserve(m * n);
  for (double y : after) {
    for (double x : before) differences.push_back(y - x);
  }
  std::sort(differences.begin(), differences.end());
  const std::size_t pairs = differences.size();
  const double middle = pairs % 2 == 1 ? differences[pairs / 2]
                                       : (differences[pairs / 2 - 1] + differences[pairs / 2]) / 2;
  result.estimate = std::exp(middle);

  const auto above = static_cast<double>(
      std::count_if(differences.begin(), differences.end(), [](double d) { return d > 0; }));
  const auto level = static_cast<double>(
      std::count_if(differences.begin(), differences.end(), [](double d) { return d == 0; }));
  const double u = above + level / 2;

  std::vector<double> pooled = before;
  pooled.insert(pooled.end(), after.begin(), after.end());
  const double ties = tie_term(pooled);

  result.u_statistic = u;
  const std::size_t c = interval_rank(m, n, ties);
  result.exact = exact_for(m, n);
  if (result.exact) {
    const std::vector<double> probability = exact_distribution(m, n);
    // A tie's half makes u fractional: the tails start at its two neighbours.
    const auto at_most = static_cast<std::size_t>(std::floor(u));
    const auto at_least = static_cast<std::size_t>(std::ceil(u));
    double lower_tail = 0;
    double upper_tail = 0;
    for (std::size_t k = 0; k < probability.size(); ++k) {
      if (k <= at_most) lower_tail += probability[k];
      if (k >= at_least) upper_tail += probability[k];
    }
    result.p_value = std::min(1.0, 2 * std::min(lower_tail, upper_tail));
  } else {
    const double variance = u_variance(m, n, ties);
    if (variance > 0) {
      const double mean = static_cast<double>(m) * static_cast<double>(n) / 2;
      const double z = std::max(0.0, std::fabs(u - mean) - 0.5) / std::sqrt(variance);
      result.p_value = std::min(1.0, 2 * normal_upper_tail(z));
    }
  }

  if (c == 0) {
    result.runs_needed = runs_needed_for_interval(m, n);
    result.note =
        "too few runs for a verdict at the 5% level: " + std::to_string(result.runs_needed) +
        " clean runs a side would do";
    return result;
  }
  const double low = differences[c - 1];
  const double high = differences[pairs - c];
  result.low = std::exp(low);
  result.high = std::exp(high);
  if (low > 0) {
    result.call = rank_verdict::faster;
  } else if (high < 0) {
    result.call = rank_verdict::slower;
  } else {
    result.call = rank_verdict::no_clear_difference;
  }
  return result;
}

}  // namespace quorvane::host
