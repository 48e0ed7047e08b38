#include "cascade/summary_line.h"

#include <cstdio>

namespace cascade {

std::string summary_line(const series_summary& summary) {
  constexpr const char* format = "N = %ld, mean = %lf, SD = %lf";
  const auto count = static_cast<long>(summary.count);
  std::string line(static_cast<std::size_t>(std::snprintf(nullptr, 0, format, count, summary.mean, summary.sd)), '\0');
  std::snprintf(line.data(), line.size() + 1, format, count, summary.mean, summary.sd);
  return line;
}

}  // namespace cascade
