// Splitting scripts into batches at GO lines.
#include <gtest/gtest.h>

#include "tsql/syntax/parser.h"

namespace orv::tsql {
namespace {

using Batches = std::vector<std::string>;

TEST(SplitScriptOnGo, SeparatesAtGoLines) {
  EXPECT_EQ(SplitScriptOnGo("select 1\r\nGO\r\nselect 2\r\n"),
            (Batches{"select 1\r\n", "select 2\r\n"}));
  EXPECT_EQ(SplitScriptOnGo("a\n  go  \nb\nGo -- done\nc"), (Batches{"a\n", "b\n", "c"}));
  EXPECT_EQ(SplitScriptOnGo("a\nGO 2\nb"), (Batches{"a\n", "a\n", "b"}));
}

TEST(SplitScriptOnGo, GoMustStandAlone) {
  EXPECT_EQ(SplitScriptOnGo("select 1 go\nselect go2\nGOTO x\nGO5"),
            (Batches{"select 1 go\nselect go2\nGOTO x\nGO5"}));
}

TEST(SplitScriptOnGo, IgnoresGoInsideCommentsAndStrings) {
  std::string script = "select 'a\nGO\nb'\n/* x\nGO\n*/\n-- c\nGO\nselect [x\nGO\n]";
  EXPECT_EQ(SplitScriptOnGo(script),
            (Batches{"select 'a\nGO\nb'\n/* x\nGO\n*/\n-- c\n", "select [x\nGO\n]"}));
}

TEST(SplitScriptOnGo, DropsBlankBatches) {
  EXPECT_EQ(SplitScriptOnGo("GO\n\n  \nGO\nselect 1\nGO\n"), (Batches{"select 1\n"}));
  EXPECT_TRUE(SplitScriptOnGo("").empty());
}

}  // namespace
}  // namespace orv::tsql
