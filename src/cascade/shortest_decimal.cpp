#include "cascade/shortest_decimal.h"

#include <charconv>

namespace cascade {

std::string shortest_decimal(double value) {
  char text[64];
  const auto converted = std::to_chars(text, text + sizeof text, value);
  return std::string(text, converted.ptr);
}

}  // namespace cascade
