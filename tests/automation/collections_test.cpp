// The keyed dictionary and the vector.
#include "automation/collections.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace orv::automation {
namespace {

using testing::RaisedNumber;

TEST(DictionaryTest, KeysIgnoreAsciiCaseAndKeepFirstSpelling) {
  Dictionary d;
  d.SetItem("BBillNo", "WORK001");
  d.SetItem("bbillno", "WORK002");  // replaces the value, not the spelling
  d.SetItem("EDate", "2024-01-31");
  EXPECT_EQ(d.Count(), 2u);
  EXPECT_EQ(d.Item("BBILLNO").AsString(), "WORK002");
  EXPECT_TRUE(d.Exists("edate"));
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"BBillNo", "EDate"}));
  // Only ASCII letters fold: other bytes must match exactly.
  d.SetItem("Ä", 1);
  EXPECT_FALSE(d.Exists("ä"));
  // Similar keys of different length never collide.
  EXPECT_FALSE(d.Exists("BBillN"));
  EXPECT_FALSE(d.Exists("BBillNo "));
}

TEST(DictionaryTest, AbsentKeysAreEmptyOrTheDefault) {
  Dictionary d;
  d.SetItem("Present", Variant::Null());
  EXPECT_TRUE(d.Item("Absent").IsEmpty());
  EXPECT_FALSE(d.Exists("Absent"));
  EXPECT_EQ(d.GetValue("Absent", "").AsString(), "");
  EXPECT_EQ(d.GetValue("Absent", 5).AsLong(), 5);
  EXPECT_TRUE(d.GetValue("present", "").IsNull());  // stored value, not the default
  EXPECT_EQ(d.Count(), 1u);                         // reads add nothing
}

TEST(DictionaryTest, RemoveKeepsTheOrderOfTheRest) {
  Dictionary d;
  for (const char* key : {"a", "b", "c", "d"}) d.SetItem(key, key);
  d.Remove("B");
  d.Remove("zz");
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"a", "c", "d"}));
  d.SetItem("b", 2);
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"a", "c", "d", "b"}));
  EXPECT_EQ(d.Item("c").AsString(), "c");
}

TEST(VectorTest, AddKeepsOrderAndIndexIsChecked) {
  Vector v;
  auto row = NewDictionary();
  row->SetItem("FName", "x");
  EXPECT_EQ(v.Add(Variant(ObjectRef(row))), 1);
  EXPECT_EQ(v.Add(2), 2);
  EXPECT_EQ(v.Count(), 2u);
  EXPECT_EQ(v.Item(0).AsObject(), row);
  EXPECT_EQ(v.Item(1).AsLong(), 2);
  EXPECT_EQ(RaisedNumber([&] { v.Item(2); }), err::kSubscriptOutOfRange);
}

}  // namespace
}  // namespace orv::automation
