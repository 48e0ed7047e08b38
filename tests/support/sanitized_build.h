// sanitized_build.h: what a child needs when the program under test is
// instrumented with AddressSanitizer and UndefinedBehaviorSanitizer.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

namespace testing_support {

/// True in a CASCADE_SANITIZE build, where the program carries the sanitizer runtimes.
inline constexpr bool sanitized_build = CASCADE_SANITIZED;

/// An ASAN_OPTIONS entry for a child: the options this process was given,
/// then `extra`, which wins where the two name the same option.
inline std::string asan_options_with(const std::string& extra) {
  const char* inherited = std::getenv("ASAN_OPTIONS");
  return "ASAN_OPTIONS=" + (inherited != nullptr && *inherited != '\0' ? std::string(inherited) + ":" : "") + extra;
}

/// Standard error less the line "==PID==WARNING: AddressSanitizer failed to
/// allocate ..." that the sanitizer adds for each allocation it refuses under
/// allocator_may_return_null; whatever the program wrote stays.
inline std::string without_refused_allocation_warnings(const std::string& err) {
  std::string kept;
  for (std::size_t start = 0; start < err.size();) {
    const std::size_t end = std::min(err.find('\n', start), err.size() - 1) + 1;
    const std::string_view line = std::string_view(err).substr(start, end - start);
    if (!line.starts_with("==") || line.find("==WARNING: AddressSanitizer failed to allocate ") == line.npos) {
      kept += line;
    }
    start = end;
  }
  return kept;
}

}  // namespace testing_support
