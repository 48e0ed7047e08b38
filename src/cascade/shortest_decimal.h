// shortest_decimal.h: a double in the fewest digits that read back to it.
#pragma once

#include <string>

namespace cascade {

/// `value` in the fewest digits that read back to the same double ("inf",
/// "nan" as such): how every face shows a lambda it was given.
std::string shortest_decimal(double value);

}  // namespace cascade
