// The users file: salted hashes that verify only the right password, a file written with mode
// 0600 that reads back the same, and clear errors for damaged files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "users/password_hash.h"
#include "users/users_file.h"

namespace orv::users {
namespace {

TEST(PasswordHash, VerifiesOnlyTheRightPassword) {
  const std::string hash = HashPassword("s3cret 密码", 1000);
  EXPECT_TRUE(VerifyPassword("s3cret 密码", hash));
  EXPECT_FALSE(VerifyPassword("s3cret", hash));
  EXPECT_FALSE(VerifyPassword("", hash));
  EXPECT_NE(HashPassword("same", 1000), HashPassword("same", 1000)) << "salts differ";
  for (const char* bad : {"", "pbkdf2-sha256$1000$00$", "md5$1000$00$00", "pbkdf2-sha256$x$00$00",
                          "pbkdf2-sha256$0$00$00", "pbkdf2-sha256$1000$0g$00", "pbkdf2-sha256$1000$00$00$00"}) {
    EXPECT_FALSE(VerifyPassword("", bad)) << bad;
  }
}

class UsersFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() / ("orv_users_" + std::to_string(::getpid()))).string();
    std::filesystem::remove(path_);
  }
  void TearDown() override { std::filesystem::remove(path_); }
  std::string path_;
};

TEST_F(UsersFileTest, SavesPrivatelyAndReadsBack) {
  EXPECT_TRUE(UsersFile::Load(path_).users().empty()) << "a missing file has no users";
  UsersFile file;
  file.Put(User{"Alice", Role::Admin, HashPassword("a", 1000)});
  file.Put(User{"rita", Role::ReadOnly, HashPassword("r", 1000)});
  file.Put(User{"ALICE", Role::ReadOnly, HashPassword("a2", 1000)});  // replaces Alice
  file.Save(path_);
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const UsersFile read = UsersFile::Load(path_);
  ASSERT_EQ(read.users().size(), 2u);
  EXPECT_EQ(read.Authenticate("alice", "a2"), Role::ReadOnly);
  EXPECT_EQ(read.Authenticate("alice", "a"), std::nullopt);
  EXPECT_EQ(read.Authenticate("RITA", "r"), Role::ReadOnly);
  EXPECT_EQ(read.Authenticate("nobody", "r"), std::nullopt);

  UsersFile changed = read;
  EXPECT_TRUE(changed.Remove("Rita"));
  EXPECT_FALSE(changed.Remove("rita"));
  EXPECT_THROW(changed.Put(User{"bad name", Role::Admin, "x"}), UsersFileError);
}

TEST_F(UsersFileTest, DamagedFilesNameTheLine) {
  for (const char* text : {"alice\n", "alice:boss:x\n", "al ice:admin:x\n"}) {
    std::ofstream(path_) << "# comment\n\n" << text;
    try {
      UsersFile::Load(path_);
      ADD_FAILURE() << text;
    } catch (const UsersFileError& e) {
      EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace orv::users
