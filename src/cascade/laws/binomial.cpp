// binomial: log W = c + sigma e, e = +1 or -1 with probability 1/2, each
// child its own: e_i = +1 when u_i < 0.5, else -1 (two_valued.h).
#include "cascade/laws/two_valued.h"

namespace cascade::laws {

namespace {

void grow_binomial(const law_constants& constants, const double* u1, const double* u2, std::size_t count,
                   const double* parents, double* children) {
  const double* const two_factors = constants.factors.data();
  for (std::size_t k = 0; k < count; ++k) {
    const double parent = parents == nullptr ? 1.0 : parents[k];
    children[2 * k] = two_factors[upper_half(u1[k])] * parent;
    children[2 * k + 1] = two_factors[upper_half(u2[k])] * parent;
  }
}

}  // namespace

extern const law_descriptor binomial;
constinit const law_descriptor binomial =
    two_valued_law("binomial", "log W = c +- sigma, each child its own sign", grow_binomial);

}  // namespace cascade::laws
