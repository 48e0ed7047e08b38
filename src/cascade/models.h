// models.h: the cascade models a series may follow, and the one table of
// them. Every face asks it, through the same name (`--model dyadic`,
// `model="dyadic"`). A model decides where a run's weights come from (its
// source), and which streams and laws it takes; each is one descriptor
// (model_descriptor.h) in a file of its own, models/NAME.cpp.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cascade/model_descriptor.h"

namespace cascade {

/// Every model, one row each, the default (the dyadic cascade) first.
extern const std::span<const model_descriptor* const> model_table;

/// The model a series follows when none is named: model_table's first.
const model_descriptor& default_model();

/// The model `name` names, or nothing with the reason in `refusal`, e.g.
/// "--model must be dyadic, got 'x'". `spelled` is how the face names the
/// argument ("--model", "model").
const model_descriptor* parse_model(std::string_view name, std::string_view spelled, std::string& refusal);

/// "dyadic" or "dyadic or stationary": the names, for messages and --help.
std::string model_names();

}  // namespace cascade
