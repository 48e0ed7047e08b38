#include "program/command_echo.h"

namespace cascade {

run_words words_of(const run_parameters& parameters, std::uint64_t seed) {
  run_words words;
  words.seed = seed;
  words.generator = parameters.generator;
  words.law = parameters.law;
  words.model = parameters.model;
  words.range = parameters.range;
  words.format = parameters.format;
  if (parameters.output_path && parameters.format != value_format::float32) words.format = value_format::float64;
  words.weights_path = parameters.weights_path;
  words.output_path = parameters.output_path;
  words.with_weights = parameters.with_weights;
  words.lambda = parameters.lambda;
  words.step_number = parameters.step_number;
  words.n0 = parameters.n0;
  return words;
}

std::string command_echo(const run_parameters& parameters, std::uint64_t seed) {
  return replay_command(words_of(parameters, seed));
}

}  // namespace cascade
