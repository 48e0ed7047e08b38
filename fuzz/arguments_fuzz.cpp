// arguments_fuzz.cpp: parse_arguments on arbitrary command lines.
//
// The input, split at NUL bytes, is the words after the program name (an
// empty input is no words). The parse must not crash or touch memory it does
// not own, and every command it accepts must be a run the program can carry
// out; a refusal must carry a one-line message and the usage status.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "program/arguments.h"

namespace {

// More words than the grammar can use, so options and extra words both get room.
constexpr std::size_t max_words = 16;

void require(bool holds, const char* broken) {
  if (holds) return;
  std::fprintf(stderr, "arguments_fuzz: %s\n", broken);
  std::abort();
}

/// Each word in a block of its own, exactly as long as the word and its
/// terminator, so AddressSanitizer sees any read past the end.
std::vector<std::unique_ptr<char[]>> words_of(const std::uint8_t* data, std::size_t size) {
  std::vector<std::unique_ptr<char[]>> words;
  if (size == 0) return words;
  for (std::size_t start = 0; words.size() < max_words;) {
    const void* nul = std::memchr(data + start, 0, size - start);
    const std::size_t length = nul == nullptr ? size - start : static_cast<const std::uint8_t*>(nul) - (data + start);
    auto word = std::make_unique<char[]>(length + 1);
    std::memcpy(word.get(), data + start, length);
    word[length] = '\0';
    words.push_back(std::move(word));
    if (nul == nullptr) break;
    start += length + 1;
  }
  return words;
}

// The documented limits, written out here rather than read from the stream
// table, so that a wrong table entry is caught too.
constexpr std::int64_t subtractive_max_count = 2147483647, philox_max_count = std::int64_t{1} << 48;

void check_run(const cascade::parsed_command& command) {
  const cascade::run_parameters& run = command.parameters;
  const bool philox = run.generator == cascade::stream::philox;
  require(std::isfinite(run.lambda * run.lambda), "accepted a lambda whose square is not finite");
  require(run.step_number >= 1, "accepted step_number below 1");
  require(run.n0 >= 1, "accepted n0 below 1");
  require(run.step_number <= (philox ? 48 : 30), "accepted step_number above the stream's limit");
  const std::int64_t value_count = std::int64_t{run.n0} << run.step_number;
  require(value_count <= (philox ? philox_max_count : subtractive_max_count),
          "accepted N above the stream's limit");
  require(run.value_count() == value_count, "value_count() differs from n0 * 2^step_number");
  require(philox || !run.seed || *run.seed <= 2147483647u,
          "accepted a subtractive seed above 2^31 - 1");
  require(!run.range || (philox && run.range->first >= 0 && run.range->first < run.range->second &&
                         run.range->second <= value_count),
          "accepted a range outside the series, or one with the subtractive stream");
  require(!run.threads || (*run.threads >= 1 && *run.threads <= (philox ? 1024 : 2)),
          "accepted a thread count the stream cannot use");
  require(command.status == cascade::exit_success, "a run carries a failing status");
  require(command.message.empty(), "a run carries a message");
}

void check_refusal(const cascade::parsed_command& command) {
  require(command.message.rfind("cascade: ", 0) == 0, "a refusal message does not start with 'cascade: '");
  for (const char c : command.message) {
    const auto byte = static_cast<unsigned char>(c);
    require(byte >= 0x20 && byte != 0x7f, "a refusal message holds a control character (it must be one line)");
  }
  require(command.status == cascade::exit_usage, "a refusal does not carry the usage status");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto words = words_of(data, size);
  std::vector<const char*> argv;
  for (const auto& word : words) argv.push_back(word.get());

  const cascade::parsed_command command = cascade::parse_arguments(std::span<const char* const>(argv));
  switch (command.what) {
    case cascade::parsed_command::run:
      check_run(command);
      break;
    case cascade::parsed_command::error:
      check_refusal(command);
      break;
    case cascade::parsed_command::usage:
      require(command.status == cascade::exit_usage, "the usage line does not carry the usage status");
      break;
    case cascade::parsed_command::help:
    case cascade::parsed_command::version:
      require(command.status == cascade::exit_success, "--help or --version carries a failing status");
      break;
    case cascade::parsed_command::verify:
      require(command.status == cascade::exit_success && command.parameters.verify_path &&
                  !command.parameters.verify_path->empty() && !command.parameters.output_path,
              "--verify is accepted without its file, or with a run");
      break;
  }
  return 0;
}
