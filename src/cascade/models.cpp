#include "cascade/models.h"

#include <iterator>

#include "cascade/quoted.h"

namespace cascade {

namespace models {
extern const model_descriptor dyadic;
}  // namespace models

namespace {
constinit const model_descriptor* const rows[] = {
    &models::dyadic,
};
}  // namespace

constinit const std::span<const model_descriptor* const> model_table{rows};

const model_descriptor& default_model() { return *model_table[0]; }

std::string model_names() {
  std::string names;
  for (std::size_t i = 0; i < std::size(model_table); ++i) {
    if (i > 0) names += i + 1 == std::size(model_table) ? " or " : ", ";
    names += model_table[i]->name;
  }
  return names;
}

const model_descriptor* parse_model(std::string_view name, std::string_view spelled, std::string& refusal) {
  for (const model_descriptor* const model : model_table) {
    if (model->name == name) return model;
  }
  refusal = std::string(spelled) + " must be " + model_names() + ", got " + quoted(name);
  return nullptr;
}

}  // namespace cascade
