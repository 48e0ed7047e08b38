#include "cascade/file_attributes.h"

#include <ctime>

#include "cascade/run_rules.h"
#include "cascade/shape.h"
#include "exact_math/portable_math.h"
#include "exact_math/vector_math.h"

#ifndef CASCADE_VERSION
#define CASCADE_VERSION "unknown"
#endif

namespace cascade {
namespace {

/// The math a stream's values come from: the subtractive stream's are the C
/// library's exp and log (or vector forms proven equal); philox's the program's own.
std::string math_of(stream generator) {
  return generator == stream::philox ? exact_math::portable_math_description() : exact_math::math_path_description();
}

const attribute_value* find(const std::vector<file_attribute>& attributes, std::string_view name) {
  for (const file_attribute& attribute : attributes) {
    if (attribute.name == name) return &attribute.value;
  }
  return nullptr;
}

const std::string* text_of(const attribute_value* value) {
  return value != nullptr ? std::get_if<std::string>(value) : nullptr;
}

/// A whole number, stored signed or unsigned, that is not negative.
std::optional<std::uint64_t> count_of(const attribute_value* value) {
  if (value == nullptr) return std::nullopt;
  if (const auto* u = std::get_if<std::uint64_t>(value)) return *u;
  if (const auto* i = std::get_if<std::int64_t>(value); i != nullptr && *i >= 0) return static_cast<std::uint64_t>(*i);
  return std::nullopt;
}

bool is_hex_digest(const std::string& text) {
  if (text.size() != 64) return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace

std::string utc_time_now() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string source_attribute() { return "cascade " CASCADE_VERSION; }

std::vector<file_attribute> file_attributes(const run_words& run, const std::string& utc_time,
                                            const dataset_checksums& checksums) {
  std::vector<file_attribute> attributes{
      {"Conventions", std::string("CF-1.8")},
      {"title", std::string("random multiplicative cascade series")},
      {"source", source_attribute()},
      {"history", utc_time + " " + (run.seeds.empty() ? replay_command(run) : replay_call(run))},
      {"lambda", run.lambda},
      {"step_number", std::int64_t{run.step_number}},
      {"n0", std::int64_t{run.n0}},
      {run.seeds.empty() ? "seed" : "seeds",
       run.seeds.empty() ? attribute_value{run.seed} : attribute_value{run.seeds}},
      {"generator", std::string(stream_name(run.generator))},
      {"law", law_text(run.law)},
      {"model", std::string(run.model->name)},
  };
  if (run.range) {
    attributes.push_back({"start", run.range->first});
    attributes.push_back({"stop", run.range->second});
  }
  attributes.push_back({"math", math_of(run.generator)});
  attributes.push_back({"x_sha256", checksums.x});
  if (checksums.w) attributes.push_back({"w_sha256", *checksums.w});
  return attributes;
}

described_run run_described_by(const std::vector<file_attribute>& attributes) {
  described_run described;
  const auto refuse = [&](std::string reason) {
    described.refusal = std::move(reason);
    return described;
  };
  const std::string* source = text_of(find(attributes, "source"));
  if (source == nullptr || !source->starts_with("cascade "))
    return refuse("it was not written by cascade (no source attribute \"cascade VERSION\")");
  run_words& run = described.run;

  const auto* lambda = find(attributes, "lambda");
  if (lambda == nullptr || !std::holds_alternative<double>(*lambda))
    return refuse("its lambda attribute is missing or not a double");
  run.lambda = std::get<double>(*lambda);
  const auto step_number = count_of(find(attributes, "step_number"));
  const auto n0 = count_of(find(attributes, "n0"));
  const auto* seeds = find(attributes, "seeds");
  if (seeds != nullptr && find(attributes, "seed") != nullptr)
    return refuse("it has both a seed and a seeds attribute");
  const auto seed = seeds != nullptr ? std::optional<std::uint64_t>(0) : count_of(find(attributes, "seed"));
  if (seeds != nullptr) {
    const auto* list = std::get_if<std::vector<std::uint64_t>>(seeds);
    if (list == nullptr || list->empty()) return refuse("its seeds attribute is not an array of seeds");
    run.seeds = *list;
  }
  if (!step_number || !n0 || !seed)
    return refuse("its step_number, n0 or seed attribute is missing or not a whole number");
  const std::string* generator = text_of(find(attributes, "generator"));
  const auto from = generator != nullptr ? stream_named(*generator) : std::nullopt;
  if (!from) return refuse("its generator attribute names no stream (" + stream_names() + ")");
  run.generator = *from;
  const std::string* law = text_of(find(attributes, "law"));
  std::string refusal;
  const auto parsed_law = law != nullptr ? parse_law(*law, "law", refusal) : std::nullopt;
  if (!parsed_law) return refuse("its law attribute is missing or names no law");
  run.law = *parsed_law;
  const std::string* model_name = text_of(find(attributes, "model"));
  const model_descriptor* model = model_name != nullptr ? parse_model(*model_name, "model", refusal) : nullptr;
  if (model == nullptr) return refuse("its model attribute names no model (" + model_names() + ")");
  run.model = model;

  if (check_lambda(run.lambda) || *step_number < 1 || *n0 < 1 || *step_number > 62 || *n0 > max_n0 ||
      !within_value_limit(static_cast<std::int64_t>(*n0), static_cast<std::int64_t>(*step_number), run.generator)) {
    return refuse("its lambda, step_number and n0 attributes describe no run the program takes");
  }
  run.step_number = static_cast<std::int32_t>(*step_number);
  run.n0 = static_cast<std::int32_t>(*n0);
  if (!seed_allowed(*seed, run.generator)) return refuse("its seed attribute is not a seed of its generator");
  for (const std::uint64_t each : run.seeds) {
    if (!seed_allowed(each, run.generator))
      return refuse("its seeds attribute holds a seed its generator does not take");
  }
  run.seed = *seed;
  if (check_law(run.law, step_sigma(run.lambda, run.step_number), run.generator)) {
    return refuse("its law attribute does not take its lambda and step_number with its generator");
  }
  if (!model_takes(*run.model, run.law, run.generator)) {
    return refuse("its model attribute does not take its generator and law");
  }
  const auto start = count_of(find(attributes, "start"));
  const auto stop = count_of(find(attributes, "stop"));
  if (start.has_value() != (find(attributes, "start") != nullptr) ||
      stop.has_value() != (find(attributes, "stop") != nullptr) || start.has_value() != stop.has_value()) {
    return refuse("its start and stop attributes are not a piece (both whole numbers, or neither)");
  }
  if (start) {
    const auto bound = [](std::uint64_t b) {
      return b <= static_cast<std::uint64_t>(INT64_MAX) ? static_cast<std::int64_t>(b) : -1;
    };
    if (check_range(bound(*start), bound(*stop), run.count(), run.generator)) {
      return refuse("its start and stop attributes are no piece of its run");
    }
    run.range = {bound(*start), bound(*stop)};
  }
  const std::string* x_sum = text_of(find(attributes, "x_sha256"));
  if (x_sum == nullptr || !is_hex_digest(*x_sum))
    return refuse("its x_sha256 attribute is missing or not a SHA-256 digest");
  described.checksums.x = *x_sum;
  if (const auto* w_value = find(attributes, "w_sha256")) {
    const std::string* w_sum = text_of(w_value);
    if (w_sum == nullptr || !is_hex_digest(*w_sum)) return refuse("its w_sha256 attribute is not a SHA-256 digest");
    described.checksums.w = *w_sum;
  }
  return described;
}

}  // namespace cascade
