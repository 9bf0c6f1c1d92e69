// The demo generator: one seed gives the same database every time, another seed a different
// one, and the schema script splits into batches that all reach the sink.
#include "demo/generator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv::demo {
namespace {

std::vector<std::string> Batches(Size size, uint64_t seed) {
  std::vector<std::string> out;
  Generate({size, seed}, [&](const std::string& batch) { out.push_back(batch); });
  return out;
}

TEST(DemoGenerator, SameSeedGivesTheSameBatches) {
  EXPECT_EQ(Batches(Size::Tiny, 7), Batches(Size::Tiny, 7));
  EXPECT_NE(Batches(Size::Tiny, 7), Batches(Size::Tiny, 8));
}

TEST(DemoGenerator, SchemaComesFirstThenTheData) {
  const std::vector<std::string> batches = Batches(Size::Tiny, 1);
  ASSERT_FALSE(batches.empty());
  size_t creates = 0;
  size_t first_insert = batches.size();
  for (size_t i = 0; i < batches.size(); ++i) {
    if (batches[i].find("CREATE TABLE") != std::string::npos) {
      ++creates;
      EXPECT_LT(i, first_insert) << "a table is created after data was inserted";
    }
    if (batches[i].rfind("INSERT INTO", 0) == 0 && first_insert == batches.size()) first_insert = i;
  }
  // 20 company tables and the demo clock.
  EXPECT_EQ(creates, 21u);
}

TEST(DemoGenerator, SizesAreParsedWithoutRegardToCase) {
  EXPECT_EQ(ParseSize("TINY"), Size::Tiny);
  EXPECT_EQ(ParseSize("demo"), Size::Demo);
  EXPECT_EQ(ParseSize("Large"), Size::Large);
  EXPECT_FALSE(ParseSize("huge").has_value());
}

}  // namespace
}  // namespace orv::demo
