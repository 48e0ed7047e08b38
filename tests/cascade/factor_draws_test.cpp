// The laws' factors: both properties every law keeps (Var log W = sigma^2,
// E[W^2] = 1) over a fine grid of uniforms, the microcanonical law's exact
// energy of two siblings, and the Poisson count by inversion against a
// plain computation of its distribution.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cascade/factor_draws.h"
#include "cascade/laws.h"
#include "cascade/laws/two_valued.h"

namespace {

using cascade::factor_step;
using cascade::multiplier_law;

/// The law of the table named `name`, at `parameter`.
multiplier_law law_named(std::string_view name, double parameter) {
  for (const cascade::law_descriptor* const law : cascade::law_table) {
    if (law->name == name) return {law, parameter};
  }
  throw std::logic_error("no law " + std::string(name));
}

/// The factors of 2 * count children whose uniforms are a grid's midpoints
/// (the first children take the grid, the second ones the grid reversed).
std::vector<double> factors_over_grid(const multiplier_law& law, double sigma, std::size_t count) {
  std::vector<double> u1(count), u2(count), children(2 * count);
  for (std::size_t k = 0; k < count; ++k) {
    u1[k] = (static_cast<double>(k) + 0.5) / static_cast<double>(count);
    u2[k] = 1.0 - u1[k];
  }
  factor_step(law, sigma).grow(u1.data(), u2.data(), count, nullptr, children.data());
  return children;
}

TEST(FactorDraws, EveryLawKeepsTheVarianceOfLogWAndTheMeanSquare) {
  const std::vector<multiplier_law> laws = {law_named("binomial", 0.0), law_named("microcanonical", 0.0),
                                            law_named("logpoisson", 2.0 / 3.0), law_named("logpoisson", 0.2)};
  for (const multiplier_law& law : laws) {
    for (const double sigma : {0.05, 0.3, 0.9}) {
      const std::vector<double> w = factors_over_grid(law, sigma, 1 << 16);
      double mean_square = 0.0, mean_log = 0.0, mean_log_square = 0.0;
      for (const double factor : w) {
        mean_square += factor * factor;
        mean_log += std::log(factor);
        mean_log_square += std::log(factor) * std::log(factor);
      }
      const double n = static_cast<double>(w.size());
      mean_square /= n;
      mean_log /= n;
      const double variance = mean_log_square / n - mean_log * mean_log;
      const std::string label = cascade::law_text(law) + " sigma " + std::to_string(sigma);
      EXPECT_NEAR(mean_square, 1.0, 1e-3) << label;
      // The grid's steps of 2^-16 bound how finely a rare count's share is
      // drawn: 1% of sigma^2 (a wrong constant of any law misses by far more).
      EXPECT_NEAR(variance, sigma * sigma, 1e-2 * sigma * sigma) << label;
    }
  }
}

// Each split conserves energy: W_first^2 + W_second^2 = 2 for every pair.
TEST(FactorDraws, MicrocanonicalSiblingsShareTheirEnergy) {
  const std::vector<double> w = factors_over_grid(law_named("microcanonical", 0.0), 0.7, 1000);
  for (std::size_t k = 0; k < w.size(); k += 2) {
    EXPECT_NEAR(w[k] * w[k] + w[k + 1] * w[k + 1], 2.0, 1e-14) << k;
    EXPECT_NE(w[k], w[k + 1]) << k;
  }
}

// K is the least k with u < F_k: against the distribution computed plainly
// (in long double), away from the rounding at each F_k.
TEST(FactorDraws, PoissonCountsByInversion) {
  const double beta = 0.5, sigma = 1.5;
  const double lb = std::log(beta), mu = sigma * sigma / (lb * lb), c = 0.5 * mu * (1.0 - beta * beta);
  long double p = std::exp(-static_cast<long double>(mu)), cdf = p;
  std::vector<long double> bounds{cdf};
  for (int k = 1; k < 30; ++k) bounds.push_back(cdf += (p *= mu / k));
  for (std::size_t k = 0; k + 1 < bounds.size(); ++k) {
    // A uniform well inside (F_(k-1), F_k) draws K = k.
    const long double low = k == 0 ? 0.0L : bounds[k - 1];
    const double u = static_cast<double>((low + bounds[k]) / 2);
    double child[2];
    factor_step(law_named("logpoisson", beta), sigma).grow(&u, &u, 1, nullptr, child);
    EXPECT_NEAR(std::log(child[0]), c + static_cast<double>(k) * lb, 1e-12) << "K = " << k;
  }
}

namespace limits {

/// The largest sigma the law draws, found by bisection on its rule alone
/// (nothing of the law's own numbers assumed), or nothing when it takes 1e150.
std::optional<double> largest_drawn_sigma(const cascade::law_descriptor& rules, double parameter) {
  if (rules.draws_spread(parameter, 1e150)) return std::nullopt;
  double low = 0.0, high = 1e150;
  while (std::nextafter(low, high) < high) {
    const double middle = low + (high - low) / 2;
    if (middle <= low || middle >= high) break;
    (rules.draws_spread(parameter, middle) ? low : high) = middle;
  }
  return low;
}

}  // namespace limits

// Every law of the table: at the largest spread its rule lets through, every
// factor is a number and some are not 0 (beyond it the constants leave the
// doubles: a series of zeros is the fault this rule exists for); a law that
// names its largest sigma names that one exactly.
TEST(FactorDraws, EveryLawsLimitStopsWhereItsFactorsLeaveTheDoubles) {
  for (const cascade::law_descriptor* const law : cascade::law_table) {
    const cascade::law_descriptor& rules = *law;
    const double parameter = rules.default_parameter;
    const auto largest = limits::largest_drawn_sigma(rules, parameter);
    if (!largest) {
      EXPECT_EQ(rules.spread_told, cascade::spread_wording::none) << rules.name;
      continue;
    }
    const std::vector<double> w = factors_over_grid({law, parameter}, *largest, 1 << 12);
    double largest_factor = 0.0;
    for (const double factor : w) {
      ASSERT_TRUE(std::isfinite(factor) && factor >= 0.0) << rules.name << " " << factor;
      largest_factor = std::max(largest_factor, factor);
    }
    EXPECT_GT(largest_factor, 0.0) << rules.name;
    EXPECT_FALSE(rules.draws_spread(parameter, std::nextafter(*largest, 1e300))) << rules.name;
    if (rules.spread_told == cascade::spread_wording::sigma) {
      EXPECT_EQ(*largest, rules.spread_bound) << rules.name;
    }
  }
}

// At the largest sigma, siblings still share an energy of 2: the second
// factor is tiny, the first near sqrt(2), off by the rounding of c + sigma
// (an ulp of 354 is 6e-14).
TEST(FactorDraws, MicrocanonicalEnergyAtTheLargestSpread) {
  const std::vector<double> w =
      factors_over_grid(law_named("microcanonical", 0.0), cascade::laws::two_valued_largest_sigma, 8);
  for (std::size_t k = 0; k < w.size(); k += 2) EXPECT_NEAR(w[k] * w[k] + w[k + 1] * w[k + 1], 2.0, 1e-12) << k;
}

}  // namespace
