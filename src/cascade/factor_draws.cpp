#include "cascade/factor_draws.h"

#include <cmath>

#include "exact_math/portable_math.h"

namespace cascade {

namespace {

using exact_math::portable_exp;
using exact_math::portable_log;

}  // namespace

double poisson_mean(double beta, double sigma) {
  const double lb = portable_log(beta);
  return sigma * sigma / (lb * lb);
}

double two_valued_constant(double sigma) {
  return -0.5 * portable_log(0.5 * (portable_exp(2.0 * sigma) + portable_exp(-2.0 * sigma)));
}

namespace spread_limits {

bool any(double, double) { return true; }

bool two_valued(double, double sigma) { return std::isfinite(two_valued_constant(sigma)); }

bool poisson(double beta, double sigma) { return poisson_mean(beta, sigma) <= max_poisson_mean; }

}  // namespace spread_limits

factor_step::factor_step(const multiplier_law& law, double sigma) : law_(law) {
  switch (law.kind) {
    case law_kind::lognormal:
      break;
    case law_kind::binomial:
    case law_kind::microcanonical: {
      const double c = two_valued_constant(sigma);
      two_factors_[0] = portable_exp(c + sigma);
      two_factors_[1] = portable_exp(c - sigma);
      break;
    }
    case law_kind::logpoisson: {
      const double beta = law.parameter;
      const double lb = portable_log(beta);
      const double s2 = sigma * sigma;
      const double mu = s2 / (lb * lb);
      const double c = 0.5 * mu * (1.0 - beta * beta);
      double p = portable_exp(-mu);
      double f = p;
      cumulative_.push_back(f);
      factors_.push_back(portable_exp(c));
      for (std::size_t k = 1;; ++k) {
        p = p * mu / static_cast<double>(k);
        const double grown = f + p;
        if (grown == f) break;
        f = grown;
        cumulative_.push_back(f);
        factors_.push_back(portable_exp(c + static_cast<double>(k) * lb));
      }
      break;
    }
  }
}

std::size_t factor_step::poisson_count(double u) const {
  std::size_t k = 0;
  while (k + 1 < cumulative_.size() && u >= cumulative_[k]) ++k;
  return k;
}

void factor_step::grow(const double* u1, const double* u2, std::size_t count, const double* parents,
                       double* children) const {
  // u < 0.5 exactly when the 53-bit integer behind u has its top bit clear:
  // the factor is chosen by index, with no branch to mispredict.
  const auto half = [](double u) { return static_cast<std::size_t>(u >= 0.5); };
  switch (law_.kind) {
    case law_kind::lognormal:
      break;
    case law_kind::binomial:
      for (std::size_t k = 0; k < count; ++k) {
        const double parent = parents == nullptr ? 1.0 : parents[k];
        children[2 * k] = two_factors_[half(u1[k])] * parent;
        children[2 * k + 1] = two_factors_[half(u2[k])] * parent;
      }
      break;
    case law_kind::microcanonical:
      for (std::size_t k = 0; k < count; ++k) {
        const double parent = parents == nullptr ? 1.0 : parents[k];
        const std::size_t e = half(u1[k]);
        children[2 * k] = two_factors_[e] * parent;
        children[2 * k + 1] = two_factors_[1 - e] * parent;
      }
      break;
    case law_kind::logpoisson:
      for (std::size_t k = 0; k < count; ++k) {
        const double parent = parents == nullptr ? 1.0 : parents[k];
        children[2 * k] = factors_[poisson_count(u1[k])] * parent;
        children[2 * k + 1] = factors_[poisson_count(u2[k])] * parent;
      }
      break;
  }
}

}  // namespace cascade
