#include "cascade/summary_line.h"

#include <cmath>
#include <cstdio>

namespace cascade {

namespace {

/// An undefined moment (infinities among the values) reads "nan": the sign
/// that the hardware gives an invalid operation's NaN means nothing.
double shown(double moment) { return std::isnan(moment) ? std::fabs(moment) : moment; }

}  // namespace

std::string summary_line(const series_summary& summary) {
  constexpr const char* format = "N = %ld, mean = %lf, SD = %lf";
  const auto count = static_cast<long>(summary.count);
  const double mean = shown(summary.mean), sd = shown(summary.sd);
  std::string line(static_cast<std::size_t>(std::snprintf(nullptr, 0, format, count, mean, sd)), '\0');
  std::snprintf(line.data(), line.size() + 1, format, count, mean, sd);
  return line;
}

}  // namespace cascade
