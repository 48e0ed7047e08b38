// microcanonical: one e per pair of siblings, e = +1 when u1 < 0.5, else -1:
// log W = c + sigma e for the first child and c - sigma e for the second
// (two_valued.h), so W_first^2 + W_second^2 = 2 exactly.
#include "cascade/laws/two_valued.h"

namespace cascade::laws {

namespace {

void grow_microcanonical(const law_constants& constants, const double* u1, const double*, std::size_t count,
                         const double* parents, double* children) {
  const double* const two_factors = constants.factors.data();
  for (std::size_t k = 0; k < count; ++k) {
    const double parent = parents == nullptr ? 1.0 : parents[k];
    const std::size_t e = upper_half(u1[k]);
    children[2 * k] = two_factors[e] * parent;
    children[2 * k + 1] = two_factors[1 - e] * parent;
  }
}

}  // namespace

extern const law_descriptor microcanonical;
constinit const law_descriptor microcanonical =
    two_valued_law("microcanonical", "siblings take c + sigma and c - sigma", grow_microcanonical);

}  // namespace cascade::laws
