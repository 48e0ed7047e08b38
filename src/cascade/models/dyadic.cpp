// dyadic: the cascade of step_number steps, each splitting every cell of
// the last in two, made by the source of the run's stream.
#include "cascade/model_descriptor.h"
#include "cascade/philox_source.h"
#include "cascade/subtractive_source.h"

namespace cascade::models {

namespace {

std::unique_ptr<series_source> dyadic_source(const source_request& request) {
  switch (request.from) {
    case stream::subtractive:
      return std::make_unique<subtractive_source>(request);
    case stream::philox:
      return std::make_unique<philox_source>(request);
  }
  return nullptr;
}

}  // namespace

extern const model_descriptor dyadic;
constinit const model_descriptor dyadic{
    "dyadic", "n0 cells, each step splitting every cell in two", takes_every_stream, takes_every_law, "",
    dyadic_source,
};

}  // namespace cascade::models
