// laws.h: the laws a cascade's factor may follow, and the one table of what
// each takes. Every face asks it, through the same text: `NAME[:PARAM]`
// (`--law logpoisson:0.6`, `law="logpoisson:0.6"`).
//
// Every law keeps Var(log W) = sigma^2 for each child's factor and
// E[W^2] = 1, so lambda keeps its meaning and E[x^2] stays 1. Each law is
// one descriptor (law_descriptor.h) in a file of its own, laws/NAME.cpp,
// which says what W is and how it is drawn from the philox stream, to the
// bit (factor_draws.h: the uniforms every law draws from); law_table lists
// them.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cascade/law_descriptor.h"

namespace cascade {

/// Every law, one row each, the default (the lognormal) first.
extern const std::span<const law_descriptor* const> law_table;

/// The law a series takes when none is named: law_table's first.
const law_descriptor& default_law();

/// "lognormal, binomial, microcanonical or logpoisson[:BETA] (RULE)": the
/// laws as a refusal lists them.
std::string law_names();

/// A law and its parameter (0 for a law that takes none).
struct multiplier_law {
  const law_descriptor* descriptor = &default_law();
  double parameter = 0.0;

  friend bool operator==(const multiplier_law&, const multiplier_law&) = default;
};

/// The law `text` names ("NAME" or "NAME:PARAM"), or nothing with the
/// reason in `refusal`, e.g. "law must be lognormal, binomial,
/// microcanonical or logpoisson[:BETA] (a decimal number beta with
/// 0 < beta < 1), got 'x'". `spelled` is how the face names the argument
/// ("--law", "law").
std::optional<multiplier_law> parse_law(std::string_view text, std::string_view spelled, std::string& refusal);

/// The law as the text that names it again: "lognormal", "logpoisson:0.6"
/// (the parameter in the fewest digits that read back to the same double).
std::string law_text(const multiplier_law& law);

}  // namespace cascade
