// The sums of the log-energy steps between sibling boxes, against the same
// sums written box by box, on one thread and on several.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "statistics/energy_steps.h"
#include "cascade/thread_team.h"

namespace {

/// The sums of energy_step_sums, the plain way: each box's energy from its values.
std::vector<double> plain_sums(const std::vector<double>& x, std::int64_t block_length,
                               const std::vector<std::int64_t>& box_lengths) {
  const auto count = static_cast<std::int64_t>(x.size());
  const std::size_t columns = cascade::columns_per_box_length * box_lengths.size();
  std::vector<double> sums(static_cast<std::size_t>(count / block_length) * columns, 0.0);
  for (std::size_t k = 0; k < box_lengths.size(); ++k) {
    const std::int64_t length = box_lengths[k];
    for (std::int64_t first = 0; first < count; first += 2 * length) {
      double energies[2] = {0.0, 0.0};
      for (int box = 0; box < 2; ++box) {
        for (std::int64_t i = 0; i < length; ++i) {
          const double v = x[static_cast<std::size_t>(first + box * length + i)];
          energies[box] += v * v;
        }
      }
      if (energies[0] == 0.0 || energies[1] == 0.0) continue;
      const double d = std::log(energies[1]) - std::log(energies[0]);
      double* row = sums.data() + static_cast<std::size_t>(first / block_length) * columns +
                    cascade::columns_per_box_length * k;
      row[0] += 1;
      row[1] += d * d;
      row[2] += d * d * d * d;
    }
  }
  return sums;
}

TEST(EnergySteps, SumsAreTheSiblingBoxesSums) {
  std::mt19937_64 rng(11);
  std::normal_distribution<double> normal;
  // Two pieces of work per whole-series block, so that pieces are put together too.
  std::vector<double> x(std::size_t{1} << 16);
  for (double& v : x) v = std::exp(2.0 * normal(rng)) * normal(rng);
  for (std::size_t i = 256; i < 260; ++i) x[i] = 0.0;  // a box of 4 with no energy: its pair is left out
  x[3] = 0.0;                                           // a lone 0 only lowers its box's energy
  const std::vector<std::int64_t> box_lengths{64, 4, 16};
  for (const std::int64_t block_length : {std::int64_t{1} << 16, std::int64_t{256}, std::int64_t{128}}) {
    const auto expected = plain_sums(x, block_length, box_lengths);
    std::vector<double> one_thread;
    for (const unsigned helpers : {0u, 2u}) {
      cascade::thread_team team(helpers);
      std::vector<double> sums(expected.size(), -1.0);
      cascade::energy_step_sums(x.data(), static_cast<std::int64_t>(x.size()), block_length, box_lengths.data(),
                                box_lengths.size(), sums.data(), team);
      for (std::size_t c = 0; c < sums.size(); ++c) {
        ASSERT_NEAR(sums[c], expected[c], 1e-9 * (1.0 + std::abs(expected[c])))
            << "block length " << block_length << ", helpers " << helpers << ", column " << c;
      }
      if (helpers == 0) one_thread = sums;
      EXPECT_EQ(sums, one_thread) << "the sums depend on the number of threads, block length " << block_length;
    }
  }
}

}  // namespace
