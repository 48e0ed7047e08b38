// logpoisson: log W = c + K log(beta), K Poisson with mean
// mu = sigma^2 / log(beta)^2, c = mu (1 - beta^2) / 2; beta in (0, 1), 2/3
// unless given. Drawn by inversion: with lb = log(beta), s2 = sigma * sigma,
// mu = s2 / (lb * lb), c = 0.5 * mu * (1.0 - beta * beta),
// p_0 = exp(-mu), F_0 = p_0, and while F grows, p_k = p_(k-1) * mu / k,
// F_k = F_(k-1) + p_k; K_i is the least k with u_i < F_k, or the last k at
// which F grew when there is none; W = exp(c + K * lb).
#include <cstddef>

#include "cascade/law_descriptor.h"
#include "exact_math/portable_math.h"

namespace cascade::laws {

namespace {

using exact_math::portable_exp;
using exact_math::portable_log;

/// The largest mean of K the law takes: beyond it exp(-mu) leaves the
/// normal doubles, and the draws would lose their meaning.
constexpr double max_poisson_mean = 700.0;

double poisson_mean(double beta, double sigma) {
  const double lb = portable_log(beta);
  return sigma * sigma / (lb * lb);
}

bool draws_poisson_spread(double beta, double sigma) { return poisson_mean(beta, sigma) <= max_poisson_mean; }

/// bounds = F_0 .. F_last, factors = W for K = 0 .. last.
void prepare_poisson(double beta, double sigma, law_constants& constants) {
  const double lb = portable_log(beta);
  const double s2 = sigma * sigma;
  const double mu = s2 / (lb * lb);
  const double c = 0.5 * mu * (1.0 - beta * beta);
  double p = portable_exp(-mu);
  double f = p;
  constants.bounds.push_back(f);
  constants.factors.push_back(portable_exp(c));
  for (std::size_t k = 1;; ++k) {
    p = p * mu / static_cast<double>(k);
    const double grown = f + p;
    if (grown == f) break;
    f = grown;
    constants.bounds.push_back(f);
    constants.factors.push_back(portable_exp(c + static_cast<double>(k) * lb));
  }
}

/// K for a uniform u.
std::size_t poisson_count(const std::vector<double>& cumulative, double u) {
  std::size_t k = 0;
  while (k + 1 < cumulative.size() && u >= cumulative[k]) ++k;
  return k;
}

void grow_poisson(const law_constants& constants, const double* u1, const double* u2, std::size_t count,
                  const double* parents, double* children) {
  const std::vector<double>& factors = constants.factors;
  for (std::size_t k = 0; k < count; ++k) {
    const double parent = parents == nullptr ? 1.0 : parents[k];
    children[2 * k] = factors[poisson_count(constants.bounds, u1[k])] * parent;
    children[2 * k + 1] = factors[poisson_count(constants.bounds, u2[k])] * parent;
  }
}

}  // namespace

extern const law_descriptor logpoisson;
constinit const law_descriptor logpoisson{
    .name = "logpoisson",
    .summary = "log W = c + K log BETA, K Poisson, BETA in (0, 1), 2/3 unless given",
    .has_parameter = true,
    .default_parameter = 2.0 / 3.0,
    .parameter_rule = "a decimal number beta with 0 < beta < 1",
    .draws_spread = draws_poisson_spread,
    .spread_told = spread_wording::poisson_mean,
    .spread_bound = max_poisson_mean,
    .spread_reason = "a mean of K beyond 700 would leave the normal doubles",
    .draws_polar_pairs = false,
    .prepare = prepare_poisson,
    .grow = grow_poisson,
};

}  // namespace cascade::laws
