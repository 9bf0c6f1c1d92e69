// The error object, the per-thread Err, and the object factory.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "automation/collections.h"
#include "automation/error.h"
#include "automation/factory.h"
#include "test_support.h"

namespace orv::automation {
namespace {

using testing::RaisedNumber;

TEST(ErrorTest, StandardTextsFillAnEmptyDescription) {
  const std::pair<int32_t, const char*> texts[] = {
      {5, "Invalid procedure call or argument"},
      {6, "Overflow"},
      {9, "Subscript out of range"},
      {13, "Type mismatch"},
      {91, "Object variable or With block variable not set"},
      {94, "Invalid use of Null"},
      {429, "ActiveX component can't create object"},
      {438, "Object doesn't support this property or method"},
      {440, "Automation error"},
      {445, "Object doesn't support this action"},
  };
  for (auto [number, text] : texts) {
    try {
      Raise(number);
      FAIL();
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.description(), text);
      EXPECT_STREQ(e.what(), text);
    }
  }
  try {
    Raise(-7000, "Svc::GetData", "Invalid object name 'x'.", "help.chm", 12);
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), -7000);
    EXPECT_EQ(e.source(), "Svc::GetData");
    EXPECT_EQ(e.description(), "Invalid object name 'x'.");
    EXPECT_EQ(e.info().help_file, "help.chm");
    EXPECT_EQ(e.info().help_context, 12);
  }
  EXPECT_EQ(StandardDescription(-7000), "");
}

TEST(ErrorTest, CurrentErrorInfoConvertsAnyException) {
  EXPECT_EQ(CurrentErrorInfo().number, 0);  // nothing in flight
  try {
    Raise(13, "src");
  } catch (...) {
    ErrorInfo info = CurrentErrorInfo();
    EXPECT_EQ(info.number, 13);
    EXPECT_EQ(info.source, "src");
  }
  try {
    throw std::out_of_range("bad index");
  } catch (...) {
    ErrorInfo info = CurrentErrorInfo();
    EXPECT_EQ(info.number, err::kAutomationError);
    EXPECT_EQ(info.description, "bad index");
  }
  try {
    throw 42;
  } catch (...) {
    EXPECT_EQ(CurrentErrorInfo().description, "Automation error");
  }
}

TEST(ErrorTest, ErrIsPerThread) {
  Err().Set(ErrorInfo{91, "main", "d", "f", 3});
  int32_t seen_in_thread = -1;
  std::thread([&] {
    seen_in_thread = Err().Number();
    Err().Set(ErrorInfo{5, {}, {}, {}, 0});
  }).join();
  EXPECT_EQ(seen_in_thread, 0);
  EXPECT_EQ(Err().Number(), 91);
  EXPECT_EQ(Err().HelpContext(), 3);
  Err().Clear();
  EXPECT_EQ(Err().Number(), 0);
  EXPECT_EQ(Err().Source(), "");
}

TEST(FactoryTest, BuiltInStringBuilderAnyCase) {
  ObjectRef object = CreateInstance("DAROZ.StringBuilder");
  auto builder = As<StringBuilder>(object);
  builder->Append("Select 1");
  builder->Append("\r\n");
  EXPECT_EQ(builder->StringValue(), "Select 1\r\n");
  EXPECT_EQ(RaisedNumber([&] { As<Dictionary>(object); }), err::kNotSupported);
  EXPECT_EQ(RaisedNumber([] { As<Dictionary>(ObjectRef()); }), err::kObjectNotSet);
}

TEST(FactoryTest, UnknownProgIdNamesItInError429) {
  try {
    CreateInstance("Nobody.Here");
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), err::kCannotCreateObject);
    EXPECT_NE(e.description().find("ActiveX component can't create object"), std::string::npos);
    EXPECT_NE(e.description().find("Nobody.Here"), std::string::npos);
  }
}

TEST(FactoryTest, RegisterReplaceAndUnregister) {
  RegisterClass("Test.Thing", [] { return std::make_shared<Dictionary>(); });
  EXPECT_TRUE(IsClassRegistered("test.THING"));
  EXPECT_NE(std::dynamic_pointer_cast<Dictionary>(CreateInstance("TEST.thing")), nullptr);
  RegisterClass("TEST.THING", [] { return std::make_shared<Vector>(); });
  EXPECT_NE(std::dynamic_pointer_cast<Vector>(CreateInstance("Test.Thing")), nullptr);
  RegisterClass("Test.Null", [] { return ObjectRef(); });
  EXPECT_EQ(RaisedNumber([] { CreateInstance("Test.Null"); }), err::kCannotCreateObject);
  UnregisterClass("test.thing");
  UnregisterClass("Test.Null");
  EXPECT_FALSE(IsClassRegistered("Test.Thing"));
  EXPECT_EQ(RaisedNumber([] { CreateInstance("Test.Thing"); }), err::kCannotCreateObject);
}

TEST(FactoryTest, CreatorMayCreateOtherObjects) {
  // The registry lock is not held while a creator runs.
  RegisterClass("Test.Outer", [] { return CreateInstance("daroz.stringbuilder"); });
  EXPECT_NE(std::dynamic_pointer_cast<StringBuilder>(CreateInstance("Test.Outer")), nullptr);
  UnregisterClass("Test.Outer");
}

TEST(FactoryTest, ConcurrentRegistrationAndCreation) {
  std::atomic<int> created{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &created] {
      std::string id = "Test.Concurrent" + std::to_string(t);
      for (int i = 0; i < 200; ++i) {
        RegisterClass(id, [] { return std::make_shared<Vector>(); });
        if (CreateInstance(id)) ++created;
        CreateInstance("daroz.stringbuilder");
        UnregisterClass(id);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(created.load(), 800);
}

}  // namespace
}  // namespace orv::automation
