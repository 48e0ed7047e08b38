// streams.h: the random streams a series can be drawn from, and the one
// table of what each accepts. Every face asks this table (through
// run_rules.h, the library or the Python module); none writes a limit of
// its own.
//
// subtractive: the default, one sequential chain seeded by a Unix second;
//   its bytes are the program's long-standing contract.
// philox: counter-based (Philox4x32-10 keyed by a 64-bit seed), every value
//   computable alone, on any number of threads, for series up to 2^48.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace cascade {

enum class stream { subtractive, philox };

/// Where a run's summary line stands against its values on the program's
/// standard streams.
enum class summary_place {
  before_values,  ///< the whole series is made first, and summarised before it is written
  after_values,   ///< the series is written as it is made, and summarised in the same pass
};

struct stream_rules {
  stream id;
  std::string_view name;
  std::uint64_t max_seed;         ///< seeds are 0 .. max_seed
  std::string_view seed_meaning;  ///< what a seed is, for --help and the docs
  std::int64_t max_value_count;   ///< the largest N = n0 * 2^step_number
  std::int64_t max_threads;       ///< threads a run may be given: 1 .. max_threads
  std::int64_t default_threads;   ///< 0: every CPU this process may use
  /// Why the stream takes no more threads than it does, where that is
  /// fewer than another stream takes; else empty.
  std::string_view threads_reason;
  /// Whether a piece of a series can be made alone (--range, start/stop).
  bool makes_pieces;
  /// Why not, when it cannot.
  std::string_view pieces_reason;
  /// Whether its factors may follow any law (laws.h), or the lognormal alone.
  bool takes_every_law;
  /// Why the lognormal alone, when so.
  std::string_view laws_reason;
  summary_place summary;

  /// The largest step_number: 2^step_number at most max_value_count.
  constexpr std::int32_t max_step_number() const {
    return static_cast<std::int32_t>(std::bit_width(static_cast<std::uint64_t>(max_value_count))) - 1;
  }
};

/// The table: the first entry is the default stream.
inline constexpr stream_rules stream_table[] = {
    {stream::subtractive, "subtractive", 2147483647, "a Unix second", 2147483647, 2, 2,
     "its draws are one chain; use the philox stream for more", false,
     "the subtractive stream is one chain, so no piece of it can be made without every value before it", false,
     "the subtractive stream's draws are its long-standing contract, so its factors are lognormal alone",
     summary_place::before_values},
    {stream::philox, "philox", UINT64_MAX, "the stream's key", std::int64_t{1} << 48, 1024, 0, "", true, "", true, "",
     summary_place::after_values},
};

inline constexpr const stream_rules& rules_of(stream s) {
  for (const stream_rules& rules : stream_table) {
    if (rules.id == s) return rules;
  }
  return stream_table[0];
}

/// Whether `s` is one of the table's streams: a number cast to a stream may
/// be none, and rules_of would answer for it with the default's rules.
inline constexpr bool in_stream_table(stream s) {
  for (const stream_rules& rules : stream_table) {
    if (rules.id == s) return true;
  }
  return false;
}

inline constexpr stream default_stream = stream_table[0].id;

inline constexpr std::string_view stream_name(stream s) { return rules_of(s).name; }

inline constexpr std::optional<stream> stream_named(std::string_view name) {
  for (const stream_rules& rules : stream_table) {
    if (rules.name == name) return rules.id;
  }
  return std::nullopt;
}

/// The most threads any stream takes (what CASCADE_THREADS accepts).
inline constexpr std::int64_t max_threads_of_any_stream() {
  std::int64_t most = 1;
  for (const stream_rules& rules : stream_table) most = rules.max_threads > most ? rules.max_threads : most;
  return most;
}

/// The largest n0 of any stream: n0 is read as a 32-bit count.
inline constexpr std::int64_t max_n0 = 2147483647;

/// "subtractive or philox": the names, quoted with `quote` on each side.
std::string stream_names(std::string_view quote = "");

}  // namespace cascade
