// Welch's t-test over two small samples, with the t distribution's tail
// computed from the regularised incomplete beta function.
#include "results/significance.h"

#include <cmath>
#include <cstddef>

namespace quorvane::host {
namespace {

// The continued fraction of the incomplete beta function, evaluated by the
// modified Lentz method; converges quickly for x < (a + 1) / (a + b + 2).
double beta_continued_fraction(double a, double b, double x) {
  constexpr double tiny = 1e-300;
  constexpr double epsilon = 1e-15;
  auto guarded = [](double value) { return std::fabs(value) < tiny ? tiny : value; };
  double c = 1.0;
  double d = 1.0 / guarded(1.0 - (a + b) * x / (a + 1.0));
  double fraction = d;
  for (int m = 1; m <= 300; ++m) {
    const double two_m = 2.0 * m;
    double term = m * (b - m) * x / ((a - 1.0 + two_m) * (a + two_m));
    d = 1.0 / guarded(1.0 + term * d);
    c = guarded(1.0 + term / c);
    fraction *= d * c;
    term = -(a + m) * (a + b + m) * x / ((a + two_m) * (a + 1.0 + two_m));
    d = 1.0 / guarded(1.0 + term * d);
    c = guarded(1.0 + term / c);
    const double step = d * c;
    fraction *= step;
    if (std::fabs(step - 1.0) < epsilon) break;
  }
  return fraction;
}

// The regularised incomplete beta function I_x(a, b).
double incomplete_beta(double a, double b, double x) {
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  // std::lgamma writes the global signgam; the host computes verdicts on
  // one thread only.
  const double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) +
                                a * std::log(x) + b * std::log1p(-x));
  if (x < (a + 1.0) / (a + b + 2.0)) return front * beta_continued_fraction(a, b, x) / a;
  return 1.0 - front * beta_continued_fraction(b, a, 1.0 - x) / b;
}

struct moments {
  double count = 0;
  double mean = 0;
  double variance = 0;  // the sample (n - 1) variance; 0 for one value
};

moments moments_of(const std::vector<double>& values) {
  moments result;
  result.count = static_cast<double>(values.size());
  if (values.empty()) return result;
  for (double value : values) result.mean += value;
  result.mean /= result.count;
  if (values.size() < 2) return result;
  for (double value : values) result.variance += (value - result.mean) * (value - result.mean);
  result.variance /= result.count - 1.0;
  return result;
}

sample_comparison untested(const char* note) {
  sample_comparison result;
  result.note = note;
  return result;
}

}  // namespace

const char* verdict_text(verdict call) {
  switch (call) {
    case verdict::faster:
      return "faster";
    case verdict::slower:
      return "slower";
    case verdict::no_clear_difference:
      break;
  }
  return "no clear difference";
}

double t_two_sided_probability(double t, double degrees_of_freedom) {
  if (std::isinf(t)) return 0.0;
  // P(|T| >= |t|) = I_{v / (v + t²)}(v / 2, 1 / 2).
  return incomplete_beta(degrees_of_freedom / 2.0, 0.5,
                         degrees_of_freedom / (degrees_of_freedom + t * t));
}

sample_comparison compare_samples(const std::vector<double>& baseline,
                                  const std::vector<double>& current) {
  if (baseline.empty() || current.empty()) return untested("no finished run on one side");
  if (baseline.size() == 1 && current.size() == 1) {
    return untested("one run a side: use --runs 5 on both sides");
  }
  const moments before = moments_of(baseline);
  const moments after = moments_of(current);

  double squared_error = 0;
  double degrees_of_freedom = 0;
  if (before.count == 1 || after.count == 1) {
    // The single run is taken to scatter as the other side's runs do.
    const moments& spread = before.count == 1 ? after : before;
    squared_error = spread.variance * (1.0 / before.count + 1.0 / after.count);
    degrees_of_freedom = spread.count - 1.0;
  } else {
    const double share_before = before.variance / before.count;
    const double share_after = after.variance / after.count;
    squared_error = share_before + share_after;
    // Welch-Satterthwaite; a side without spread adds nothing.
    const double denominator = share_before * share_before / (before.count - 1.0) +
                               share_after * share_after / (after.count - 1.0);
    if (denominator > 0) degrees_of_freedom = squared_error * squared_error / denominator;
  }
  if (squared_error <= 0) return untested("the runs do not vary, so their noise is unknown");

  const double t = (after.mean - before.mean) / std::sqrt(squared_error);
  sample_comparison result;
  result.p_value = t_two_sided_probability(t, degrees_of_freedom);
  if (*result.p_value < significance_level) {
    result.call = t > 0 ? verdict::faster : verdict::slower;
  }
  return result;
}

}  // namespace quorvane::host
