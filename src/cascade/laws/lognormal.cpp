// lognormal: log W = sigma z - sigma^2, z standard normal: the polar pairs
// (deviates/philox.h) grown by the series kernels (series_kernels.h), the
// default law and the only one both streams draw.
#include "cascade/law_descriptor.h"

namespace cascade::laws {

extern const law_descriptor lognormal;
constinit const law_descriptor lognormal{
    .name = "lognormal",
    .summary = "log W = sigma z - sigma^2, z standard normal",
    .has_parameter = false,
    .default_parameter = 0.0,
    .parameter_rule = "",
    .draws_spread = draws_every_spread,
    .spread_told = spread_wording::none,
    .spread_bound = 0.0,
    .spread_reason = "",
    .draws_polar_pairs = true,
    .prepare = nullptr,
    .grow = nullptr,
};

}  // namespace cascade::laws
