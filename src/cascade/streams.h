// streams.h: the two random streams a series can be drawn from.
//
// subtractive: the default, one sequential chain seeded by a Unix second;
//   its bytes are the program's long-standing contract.
// philox: counter-based (Philox4x32-10 keyed by a 64-bit seed), every value
//   computable alone, on any number of threads, for series up to 2^48.
#pragma once

#include <optional>
#include <string_view>

namespace cascade {

enum class stream { subtractive, philox };

inline constexpr std::string_view stream_name(stream s) { return s == stream::philox ? "philox" : "subtractive"; }

inline constexpr std::optional<stream> stream_named(std::string_view name) {
  if (name == "subtractive") return stream::subtractive;
  if (name == "philox") return stream::philox;
  return std::nullopt;
}

}  // namespace cascade
