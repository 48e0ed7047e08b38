// run_failure.h: what a run that was under way failed at, and its report.
#pragma once

#include <cstdint>

#include "program/arguments.h"

namespace cascade {

/// Memory that could not be had (`no_memory_for` names it; preceded by N
/// when `counted`), or a write (`write_of`, with its errno). Plain text, so
/// that reporting a failure needs no memory of its own.
struct run_failure {
  const char* no_memory_for = nullptr;
  bool counted = false;
  const char* write_of = nullptr;
  int errno_value = 0;
  bool failed() const { return no_memory_for != nullptr || write_of != nullptr; }
};

/// What write_of says of the weights file; the report names the file.
inline constexpr const char* weights_write = "the weights";

inline run_failure memory_failure(const char* what, bool counted = false) { return {what, counted, nullptr, 0}; }
inline run_failure write_failure(const char* what, int error) { return {nullptr, false, what, error}; }

/// One line on standard error for a failed run of `count` values; returns
/// the exit status (exit_success when nothing failed).
int report_failure(const run_failure& failure, std::int64_t count, const run_parameters& parameters);

}  // namespace cascade
