// The shared library's entry points: register, create the class through them, unregister.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "automation/registration.h"
#include "service/data.h"

namespace orv::service {
namespace {

#ifdef ORV_DLL_PATH

class DllEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* previous = getenv("ORV_REGISTRY");
    if (previous) previous_registry_ = previous;
    registry_ = ::testing::TempDir() + "orv_dll_entry_" + std::to_string(getpid()) + ".registry";
    setenv("ORV_REGISTRY", registry_.c_str(), 1);
    handle_ = dlopen(ORV_DLL_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  void TearDown() override {
    // The library stays loaded (it says so); the registry file goes.
    unlink(registry_.c_str());
    if (previous_registry_.empty()) {
      unsetenv("ORV_REGISTRY");
    } else {
      setenv("ORV_REGISTRY", previous_registry_.c_str(), 1);
    }
  }
  template <class Fn>
  Fn Entry(const char* name) {
    return reinterpret_cast<Fn>(dlsym(handle_, name));
  }

  void* handle_ = nullptr;
  std::string registry_;
  std::string previous_registry_;
};

TEST_F(DllEntryTest, RegistersCreatesAndUnregisters) {
  auto reg = Entry<automation::DllRegisterServerFn>(automation::kDllRegisterServerName);
  auto unreg = Entry<automation::DllUnregisterServerFn>(automation::kDllUnregisterServerName);
  auto get = Entry<automation::DllGetClassObjectFn>(automation::kDllGetClassObjectName);
  auto can_unload = Entry<automation::DllCanUnloadNowFn>(automation::kDllCanUnloadNowName);
  ASSERT_TRUE(reg && unreg && get && can_unload);

  EXPECT_EQ(reg(), automation::hr::kOk);
  auto registered = automation::LookupServer("orvvaduzavu.data");
  ASSERT_TRUE(registered.has_value());
  char* expected = realpath(ORV_DLL_PATH, nullptr);
  char* actual = realpath(registered->c_str(), nullptr);
  ASSERT_TRUE(expected && actual);
  EXPECT_STREQ(actual, expected);
  free(expected);
  free(actual);

  void* out = nullptr;
  ASSERT_EQ(get(kDataProgId, &out), automation::hr::kOk);
  ASSERT_NE(out, nullptr);
  std::unique_ptr<automation::ObjectRef> object(static_cast<automation::ObjectRef*>(out));
  auto data = std::dynamic_pointer_cast<Data>(*object);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->TransMode(), 3);

  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(get("OrvVAduzAvu.Other", &out), automation::hr::kClassNotAvailable);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(can_unload(), automation::hr::kFalse);

  EXPECT_EQ(unreg(), automation::hr::kOk);
  EXPECT_FALSE(automation::LookupServer(kDataProgId).has_value());
}

#endif

}  // namespace
}  // namespace orv::service
