// Every model of the table, with every stream and law it takes, makes the
// same bytes whatever the threads, and a piece of it (where its stream makes
// pieces) as the very values of the whole series; what it does not take is
// refused in the model's own words. A new model is tested by being added.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "cascade/cascade.hpp"

namespace {

std::vector<double> whole(cascade::run_request request, unsigned threads) {
  request.threads = threads;
  std::vector<double> values(static_cast<std::size_t>(cascade::series_length(request)));
  cascade::fill_series(request, values.data());
  return values;
}

TEST(EveryModel, SameBytesOnAnyThreadsAndInPieces) {
  const std::vector<cascade::model_description> models = cascade::models();
  ASSERT_FALSE(models.empty());
  for (const cascade::model_description& model : models) {
    for (const cascade::random_stream generator : {cascade::random_stream::subtractive, cascade::random_stream::philox}) {
      for (const cascade::law_description& law : cascade::laws()) {
        cascade::run_request request;
        request.lambda = 0.6;
        request.step_number = 17;  // 2^18 values: eight blocks, more than one window of some threads
        request.n0 = 2;
        request.seed = 12345;
        request.generator = generator;
        request.law = std::string(law.name);
        request.model = std::string(model.name);
        const std::string label = std::string(model.name) + " " + cascade::limits_of(generator).name + " " + request.law;
        try {
          cascade::check_request(request);
        } catch (const std::invalid_argument& refused) {
          // Only the subtractive stream's own rule (the lognormal alone) or the model's may refuse.
          const std::string said = refused.what();
          EXPECT_TRUE(said.starts_with("model " + std::string(model.name) + " does not take") ||
                      said.starts_with("law " + request.law + " needs the philox stream"))
              << label << ": " << said;
          continue;
        }
        const std::vector<double> one = whole(request, 1);
        EXPECT_EQ(one, whole(request, 2)) << label;
        if (!cascade::limits_of(generator).makes_pieces) continue;
        const std::int64_t start = 40000, stop = 200001;
        std::vector<double> piece(static_cast<std::size_t>(stop - start));
        cascade::fill_series_range(request, start, stop, piece.data());
        EXPECT_EQ(piece, std::vector<double>(one.begin() + start, one.begin() + stop)) << label;
      }
    }
  }
}

TEST(EveryModel, AnUnknownNameIsRefusedWithTheNames) {
  cascade::run_request request;
  request.model = "cone";
  try {
    cascade::check_request(request);
    FAIL() << "a model outside the table was taken";
  } catch (const std::invalid_argument& refused) {
    EXPECT_EQ(std::string(refused.what()).rfind("model must be ", 0), 0u) << refused.what();
    EXPECT_NE(std::string(refused.what()).find(", got 'cone'"), std::string::npos) << refused.what();
    EXPECT_NE(std::string(refused.what()).find(std::string(cascade::models()[0].name)), std::string::npos);
  }
}

}  // namespace
