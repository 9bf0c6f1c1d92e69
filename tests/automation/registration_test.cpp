// The registration file of in-process servers and the factory's fallback to it.
#include "automation/registration.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "automation/factory.h"
#include "test_support.h"

namespace orv::automation {
namespace {

namespace fs = std::filesystem;
using testing::RaisedDescription;
using testing::RaisedNumber;

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Each test gets its own registration file in a fresh folder.
class RegistrationTest : public ::testing::Test {
 protected:
  RegistrationTest()
      : dir_(fs::path(::testing::TempDir()) /
             ("orv_registry_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        file_((dir_ / "sub" / "registry").string()),
        env_("ORV_REGISTRY", file_) {}
  ~RegistrationTest() override { fs::remove_all(dir_); }

  std::string FileText() const {
    std::ifstream in(file_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir_;
  std::string file_;
  ScopedEnv env_;
};

TEST_F(RegistrationTest, RoundTrip) {
  EXPECT_EQ(RegistryFilePath(), file_);
  EXPECT_FALSE(LookupServer("OrvVAduzAvu.Data"));  // no file yet
  EXPECT_FALSE(UnregisterServer("OrvVAduzAvu.Data"));

  RegisterServer("OrvVAduzAvu.Data", "/opt/orv/liborvvaduzavu.so");
  RegisterServer("Other.Class", "/opt/other.so");
  EXPECT_EQ(FileText(), "OrvVAduzAvu.Data=/opt/orv/liborvvaduzavu.so\nOther.Class=/opt/other.so\n");
  EXPECT_EQ(LookupServer("orvvaduzavu.data"), "/opt/orv/liborvvaduzavu.so");

  // Re-registering in another case replaces the path and keeps the line and its spelling.
  RegisterServer("ORVVADUZAVU.DATA", "/new/lib.so");
  EXPECT_EQ(FileText(), "OrvVAduzAvu.Data=/new/lib.so\nOther.Class=/opt/other.so\n");

  EXPECT_TRUE(UnregisterServer("orvvaduzavu.DATA"));
  EXPECT_FALSE(LookupServer("OrvVAduzAvu.Data"));
  EXPECT_EQ(LookupServer("Other.Class"), "/opt/other.so");
  EXPECT_EQ(RegisteredServers(),
            (std::vector<std::pair<std::string, std::string>>{{"Other.Class", "/opt/other.so"}}));
}

TEST_F(RegistrationTest, HandWrittenFileIsReadAndItsOtherLinesKept) {
  fs::create_directories(fs::path(file_).parent_path());
  std::ofstream(file_) << "# servers\n\n  Spaced.Id = /a b/lib.so  \nnot a registration\n"
                          "Path.With=Equals=/x=y.so\n";
  EXPECT_EQ(LookupServer("spaced.id"), "/a b/lib.so");
  EXPECT_EQ(LookupServer("Path.With"), "Equals=/x=y.so");
  EXPECT_FALSE(LookupServer("# servers"));
  RegisterServer("New.One", "/n.so");
  EXPECT_EQ(FileText(),
            "# servers\n\nSpaced.Id=/a b/lib.so\nnot a registration\n"
            "Path.With=Equals=/x=y.so\nNew.One=/n.so\n");
}

TEST_F(RegistrationTest, RejectsTextsThatWouldBreakTheFile) {
  for (const char* id : {"", "  ", "A=B", "Two\nLines", "#Comment"}) {
    EXPECT_EQ(RaisedNumber([&] { RegisterServer(id, "/lib.so"); }), err::kInvalidProcedureCall)
        << id;
  }
  EXPECT_EQ(RaisedNumber([] { RegisterServer("Ok.Id", ""); }), err::kInvalidProcedureCall);
  EXPECT_EQ(RaisedNumber([] { RegisterServer("Ok.Id", "/a\n/b"); }), err::kInvalidProcedureCall);
  EXPECT_FALSE(fs::exists(file_));
}

TEST_F(RegistrationTest, UnwritableLocationIsFileError) {
  ScopedEnv env("ORV_REGISTRY", "/proc/orv-no-such-folder/registry");
  EXPECT_EQ(RaisedNumber([] { RegisterServer("A.B", "/lib.so"); }), err::kPathFileAccess);
}

TEST_F(RegistrationTest, ConcurrentProcessesLoseNoUpdate) {
  constexpr int kProcesses = 4;
  constexpr int kEach = 20;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      try {
        for (int i = 0; i < kEach; ++i) {
          RegisterServer("P" + std::to_string(p) + ".C" + std::to_string(i), "/lib.so");
        }
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(RegisteredServers().size(), static_cast<size_t>(kProcesses * kEach));
}

TEST(RegistryPathTest, EnvironmentThenHomeThenTmp) {
  {
    ScopedEnv registry("ORV_REGISTRY", "/x/reg");
    EXPECT_EQ(RegistryFilePath(), "/x/reg");
  }
  ScopedEnv registry("ORV_REGISTRY", std::nullopt);
  {
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(RegistryFilePath(), "/home/someone/.config/orvdata/registry");
  }
  ScopedEnv home("HOME", std::nullopt);
  EXPECT_EQ(RegistryFilePath(), "/tmp/.config/orvdata/registry");
}

TEST_F(RegistrationTest, FactoryFallsBackToTheRegisteredLibrary) {
  // A ProgID known only to the file goes to its library; failures name the ProgID.
  RegisterServer("Test.Missing", (dir_ / "no-such-lib.so").string());
  std::string text = RaisedDescription([] { CreateInstance("test.missing"); });
  EXPECT_NE(text.find("ActiveX component can't create object: 'test.missing'"), std::string::npos);
  EXPECT_NE(text.find("cannot load"), std::string::npos) << text;

  // A real library without the entry point.
  RegisterServer("Test.NoEntry", "libm.so.6");
  EXPECT_EQ(RaisedNumber([] { CreateInstance("Test.NoEntry"); }), err::kCannotCreateObject);
  EXPECT_NE(RaisedDescription([] { CreateInstance("Test.NoEntry"); }).find("DllGetClassObject"),
            std::string::npos);

  // Classes linked into the program win over the file.
  RegisterServer("daroz.stringbuilder", "/nowhere.so");
  EXPECT_NE(CreateInstance("daroz.stringbuilder"), nullptr);
}

}  // namespace
}  // namespace orv::automation
