// LoadMessage: loaded texts, the fallback to the key, the loader replaced on a change of
// language, and the caller's pending error kept with all five fields.
#include "service/load_message.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "automation/error.h"
#include "automation/factory.h"
#include "service/data.h"
#include "service/resource_loader.h"

namespace orv::service {
namespace {

// Everything the fake loaders were asked, in order.
std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}

// A loader that records its calls; a fresh one reports the language "".
class RecordingLoader : public ResourceLoader {
 public:
  RecordingLoader() : id_(++count_) { Calls().push_back("new#" + std::to_string(id_)); }
  std::string LanguageID() const override { return language_; }
  void SetLanguageID(std::string_view language) override {
    language_ = language;
    Calls().push_back("#" + std::to_string(id_) + ".LanguageID=" + language_);
  }
  void SetResFileBaseName(std::string_view name) override {
    Calls().push_back("#" + std::to_string(id_) + ".ResFileBaseName=" + std::string(name));
  }
  void Unload() override { Calls().push_back("#" + std::to_string(id_) + ".Unload"); }
  std::string LoadString(std::string_view key) override {
    Calls().push_back("#" + std::to_string(id_) + ".LoadString(" + std::string(key) + ")");
    // Like a component with its own error handling: the pending error is cleared.
    automation::Err().Clear();
    if (key == "fail") automation::Raise(5, "Loader", "no such resource");
    return "[" + std::string(key) + "]";
  }
  static inline int count_ = 0;

 private:
  int id_;
  std::string language_;
};

class LoadMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterServiceClasses();
    ResetMessageLoader();
    automation::Err().Clear();
    Calls().clear();
    RecordingLoader::count_ = 0;
  }
  void TearDown() override {
    RegisterServiceClasses();
    ResetMessageLoader();
    automation::Err().Clear();
  }
  static void UseRecordingLoader() {
    automation::RegisterClass(kResourceLoaderProgId,
                              [] { return std::make_shared<RecordingLoader>(); });
  }
};

TEST_F(LoadMessageTest, ComponentLoaderHoldsTheServiceNameInThreeLanguages) {
  EXPECT_EQ(LoadMessage(kServiceNameKey, ""), kServiceNameKey);
  EXPECT_EQ(LoadMessage(kServiceNameKey, "cht"), "生產任務執行情況匯總表中間層服務");
  EXPECT_EQ(LoadMessage(kServiceNameKey, "EN"),
            "Production Task Execution Summary Middle-Tier Service");
  EXPECT_EQ(LoadMessage("  no such key ", "EN"), "no such key");
}

TEST_F(LoadMessageTest, UnregisteredLoaderGivesTheTrimmedKeyAndKeepsThePendingError) {
  automation::UnregisterClass(kResourceLoaderProgId);
  automation::Err().Set({-2147217900, "Provider", "Invalid column name 'x'.", "help.chm", 42});
  EXPECT_EQ(LoadMessage(kServiceNameKey, ""), kServiceNameKey);
  const automation::ErrorInfo& after = automation::Err().info();
  EXPECT_EQ(after.number, -2147217900);
  EXPECT_EQ(after.source, "Provider");
  EXPECT_EQ(after.description, "Invalid column name 'x'.");
  EXPECT_EQ(after.help_file, "help.chm");
  EXPECT_EQ(after.help_context, 42);
}

TEST_F(LoadMessageTest, NoPendingErrorStaysNoPendingErrorWhenTheLoaderFails) {
  automation::UnregisterClass(kResourceLoaderProgId);
  EXPECT_EQ(LoadMessage(" key ", ""), " key ");  // the failure came before the trim
  EXPECT_EQ(automation::Err().Number(), 0);
}

TEST_F(LoadMessageTest, PendingErrorSurvivesALoaderThatClearsIt) {
  UseRecordingLoader();
  automation::Err().Set({-7, "S", "D", "F", 9});
  EXPECT_EQ(LoadMessage("abc", ""), "[abc]");
  EXPECT_EQ(automation::Err().Number(), -7);
  EXPECT_EQ(automation::Err().Source(), "S");
  EXPECT_EQ(automation::Err().Description(), "D");
  EXPECT_EQ(automation::Err().HelpFile(), "F");
  EXPECT_EQ(automation::Err().HelpContext(), 9);

  // LoadString itself failing: the trimmed key comes back, the error is still the caller's.
  EXPECT_EQ(LoadMessage("  fail  ", ""), "fail");
  EXPECT_EQ(automation::Err().Number(), -7);
  EXPECT_EQ(automation::Err().Description(), "D");
}

TEST_F(LoadMessageTest, LoaderIsKeptPerLanguageAndReplacedOnChange) {
  UseRecordingLoader();
  LoadMessage("  a ", "");
  LoadMessage("b", "");
  LoadMessage("c", "EN");
  LoadMessage("d", "en");  // same language, other case: kept
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"new#1", "#1.LoadString(a)", "#1.LoadString(b)", "#1.Unload",
                                      "new#2", "#2.LanguageID=EN", "#2.ResFileBaseName=UlmINDUSTRY",
                                      "#2.LoadString(c)", "#2.LoadString(d)"}));
}

}  // namespace
}  // namespace orv::service
