// replay_command.h: a run written back as the program's command line that
// makes it again: what --verbose prints after the summary, and what a
// results file keeps in its history.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cascade/formats.h"
#include "cascade/laws.h"
#include "cascade/models.h"
#include "cascade/streams.h"

namespace cascade {

/// What a run's command line says, the seed made explicit.
struct run_words {
  std::uint64_t seed = 0;
  /// An ensemble's seeds, one a realization (`seed` is then unused); empty for one series.
  std::vector<std::uint64_t> seeds;
  stream generator = default_stream;
  multiplier_law law{};
  const model_descriptor* model = &default_model();
  std::optional<std::pair<std::int64_t, std::int64_t>> range;
  value_format format = value_format::text;
  std::optional<std::string> weights_path;  ///< --weights FILE
  std::optional<std::string> output_path;   ///< --output FILE
  bool with_weights = false;                ///< --with-weights
  double lambda = 0.0;
  std::int32_t step_number = 0;
  std::int32_t n0 = 0;

  /// The values the run makes: the piece, or the whole series.
  std::int64_t count() const { return range ? range->second - range->first : std::int64_t{n0} << step_number; }
};

/// "cascade --seed T [--generator philox] [--law L] [--model M] [--range START:STOP]
/// [FORMAT] [--weights FILE] [--output FILE [--with-weights]] lambda
/// step_number n0 # N = count", one line with no newline, ready to paste
/// into a POSIX shell: lambda in the fewest digits that read back to the
/// same double, file names quoted for the shell.
std::string replay_command(const run_words& run);

/// An ensemble, which the program does not make, as the Python call that
/// makes its file again: "cascade.save('FILE', lambda, step_number, n0,
/// seeds=[...], generator='philox', law='L', model='M', weights=True,
/// dtype=numpy.float32)", the arguments that are not the defaults.
std::string replay_call(const run_words& run);

}  // namespace cascade
