// model_descriptor.h: everything one cascade model is, in one place: its
// name and words, which streams and laws it takes and why not, and the
// source that makes its series. Each model defines its own in
// models/NAME.cpp; models.h lists them.
#pragma once

#include <memory>
#include <string_view>

#include "cascade/law_descriptor.h"
#include "cascade/streams.h"

namespace cascade {

struct source_request;
class series_source;

struct model_descriptor {
  std::string_view name;
  /// What the model is, in a few words for --help and the docs.
  std::string_view summary;
  bool (*takes_stream)(stream from);
  bool (*takes_law)(const law_descriptor& law);
  /// Why a stream or law is not taken, for messages (empty when every one is).
  std::string_view unmade_reason;
  /// The source of a checked request's values (throws std::bad_alloc).
  std::unique_ptr<series_source> (*make_source)(const source_request& request);
};

inline bool takes_every_stream(stream) { return true; }
inline bool takes_every_law(const law_descriptor&) { return true; }

}  // namespace cascade
