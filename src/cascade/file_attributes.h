// file_attributes.h: the attributes a results file keeps of the run that
// made it, one a parameter, named as the command line names them; and the
// run read back from them, or why they describe none of ours.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cascade/replay_command.h"

namespace cascade {

/// What an attribute holds: text, a double, a signed or an unsigned whole number
/// or an array of them
/// (an ensemble's seeds are an array of unsigned whole numbers).
using attribute_value = std::variant<std::string, double, std::int64_t, std::uint64_t, std::vector<std::uint64_t>>;

struct file_attribute {
  std::string name;
  attribute_value value;
};

/// The checksums, one a dataset: SHA-256 of its little-endian bytes in order, hex.
struct dataset_checksums {
  std::string x;
  std::optional<std::string> w;  ///< when the file keeps the weights
};

/// The root attributes, in the order they are written: Conventions, title,
/// source, history (`utc_time` and the command that makes the file again),
/// lambda, step_number, n0, seed, generator, law, model, start and stop for
/// a piece, math, x_sha256 and w_sha256.
std::vector<file_attribute> file_attributes(const run_words& run, const std::string& utc_time,
                                            const dataset_checksums& checksums);

/// The current time as "YYYY-MM-DDTHH:MM:SSZ".
std::string utc_time_now();

/// "cascade VERSION": the source attribute of a file this build writes.
std::string source_attribute();

/// The run a file's root attributes describe, with its checksums; or the
/// reason, one line, why they are not those of a run of ours.
struct described_run {
  run_words run;
  dataset_checksums checksums;
  std::string refusal;  ///< empty when the run is one of ours
};
described_run run_described_by(const std::vector<file_attribute>& attributes);

}  // namespace cascade
