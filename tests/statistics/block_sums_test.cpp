// The block sums that the statistics check builds its rows from, against
// the same sums written pair by pair, on one thread and on several.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "statistics/block_sums.h"
#include "cascade/thread_team.h"

namespace {

/// The sums of series_block_sums, the plain way.
std::vector<double> plain_sums(const std::vector<double>& x, std::int64_t block_length,
                               const std::vector<std::int64_t>& lags) {
  const auto count = static_cast<std::int64_t>(x.size());
  const std::size_t columns = cascade::block_sum_columns(lags.size());
  std::vector<double> sums(static_cast<std::size_t>(count / block_length) * columns, 0.0);
  for (std::int64_t i = 0; i < count; ++i) {
    double* row = sums.data() + static_cast<std::size_t>(i / block_length) * columns;
    row[1] += x[i] * x[i];
    if (x[i] == 0.0) continue;
    const double log_i = std::log(std::abs(x[i]));
    row[0] += 1;
    row[2] += log_i;
    row[3] += log_i * log_i;
    for (std::size_t k = 0; k < lags.size(); ++k) {
      const std::int64_t j = i + lags[k];
      if (j >= count || x[j] == 0.0) continue;
      const double log_j = std::log(std::abs(x[j]));
      double* group = row + cascade::block_leading_columns + cascade::columns_per_lag * k +
                      (j / block_length == i / block_length ? 0 : 4);
      group[0] += 1;
      group[1] += log_i;
      group[2] += log_j;
      group[3] += log_i * log_j;
    }
  }
  return sums;
}

TEST(SeriesStatistics, BlockSumsAreThePairsSums) {
  std::mt19937_64 rng(5);
  std::normal_distribution<double> normal;
  std::vector<double> x(4096);
  for (double& v : x) v = normal(rng);
  for (const std::size_t zero : {0u, 17u, 18u, 1023u, 1024u, 4095u}) x[zero] = 0.0;  // no log: left out
  const std::vector<std::int64_t> lags{1, 2, 64, 1024, 4095};
  for (const std::int64_t block_length : {4096, 1024, 64}) {
    const auto expected = plain_sums(x, block_length, lags);
    for (const unsigned helpers : {0u, 2u}) {
      cascade::thread_team team(helpers);
      std::vector<double> sums(expected.size(), -1.0);
      cascade::series_block_sums(x.data(), static_cast<std::int64_t>(x.size()), block_length, lags.data(), lags.size(),
                                 sums.data(), team);
      for (std::size_t c = 0; c < sums.size(); ++c) {
        ASSERT_NEAR(sums[c], expected[c], 1e-9 * (1.0 + std::abs(expected[c])))
            << "block length " << block_length << ", helpers " << helpers << ", column " << c;
      }
    }
  }
}

}  // namespace
