// The threads of an ensemble: never more at work than were given, every
// one at work while there are rows enough, one row a thread then (the only
// way the subtractive stream gains from more than two threads), and the
// spare ones given to the rows when they are fewer.
#include "cascade/ensemble_sharing.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace cascade {
namespace {

TEST(EnsembleSharing, UsesEveryThreadGivenAndNeverMore) {
  for (std::size_t rows = 0; rows <= 70; ++rows) {
    for (const unsigned threads : {1u, 2u, 3u, 7u, 64u, 1024u}) {
      SCOPED_TRACE(testing::Message() << rows << " rows, " << threads << " threads");
      const ensemble_sharing sharing = share_among_rows(rows, threads);
      ASSERT_GE(sharing.workers, 1u);
      ASSERT_GE(sharing.threads_per_row, 1u);
      EXPECT_LE(sharing.workers * sharing.threads_per_row, threads);
      if (rows >= threads) {
        EXPECT_EQ(sharing.workers, threads);
        EXPECT_EQ(sharing.threads_per_row, 1u);
      } else if (rows > 0) {
        EXPECT_EQ(sharing.workers, rows);  // no idle worker
        EXPECT_EQ(sharing.threads_per_row, threads / rows);
      }
    }
  }
}

}  // namespace
}  // namespace cascade
