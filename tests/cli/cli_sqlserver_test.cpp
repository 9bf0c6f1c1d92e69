// orvdata on a SQL Server: the tiny demo database served by `orvdata serve` and reached through
// the SQL Server provider (unixODBC, FreeTDS). Reports through it, and `orvdata import` from it,
// must give the very bytes the data-source file gives; an unreachable server fails fast with a
// clear message; the password never shows.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli_harness.h"
#include "support/source_under_test.h"

namespace orv::cli_test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kReports[] = {"400", "401", "406", "410", "498", "499"};

// The test password's characters that must never appear in any output.
constexpr const char* kPasswordPart = "test;pass";

class SqlServerCliTest : public CliTest {
 protected:
  static void SetUpTestSuite() {
    served_ = new testing::SourceUnderTest(TinyDb(), "Data Source=" + TinyDb(), ORV_CLI_PATH);
  }
  static void TearDownTestSuite() {
    delete served_;
    served_ = nullptr;
  }
  static const std::string& Served() { return served_->Text(); }

  static void ExpectNoPassword(const RunResult& r) {
    EXPECT_EQ(r.out.find(kPasswordPart), std::string::npos) << r.out.substr(0, 2000);
    EXPECT_EQ(r.err.find(kPasswordPart), std::string::npos) << r.err;
  }

  static testing::SourceUnderTest* served_;
};

testing::SourceUnderTest* SqlServerCliTest::served_ = nullptr;

TEST_F(SqlServerCliTest, ReportsThroughTheServerMatchTheFile) {
  for (const char* number : kReports) {
    SCOPED_TRACE(number);
    const RunResult local = Run({"report", number, "--dsn", TinyDb(), "--format", "csv"});
    const RunResult remote = Run({"report", number, "--dsn", Served(), "--format", "csv"});
    ASSERT_EQ(local.status, 0) << local.err;
    ASSERT_EQ(remote.status, 0) << remote.err;
    EXPECT_GT(Lines(local.out).size(), 2u);
    // Report 410 sorts its month totals last with CHAR(255), which the engine holds as "ÿ".
    // A varchar goes on the wire in the database's code page (936), which has no such
    // character: the server sends '?', as SQL Server's own clients would show the byte.
    std::string expected = local.out;
    for (size_t at; (at = expected.find("\u00ff")) != std::string::npos;) expected.replace(at, 2, "?");
    EXPECT_EQ(remote.out, expected);
    ExpectNoPassword(remote);
  }
  // The batches shown by --sql name no password either, and the OLE DB form works as well.
  const std::string port = ado::ConnectionString(Served()).Get("Port");
  const RunResult sql = Run({"report", "406", "--sql", "--dsn",
                             "Provider=SQLOLEDB;Data Source=127.0.0.1," + port +
                                 ";User ID=orvtest;Password={orv test;pass}"});
  EXPECT_EQ(sql.status, 0) << sql.err;
  EXPECT_NE(sql.out.find("ICMO"), std::string::npos);
  ExpectNoPassword(sql);
}

TEST_F(SqlServerCliTest, ImportFromTheServerGivesTheSameReports) {
  const std::string copy = (Scratch() / "imported.orvdb").string();
  fs::remove(copy);
  const RunResult imported = Run({"import", "--from", Served(), "--to", copy, "--batch-rows", "97"});
  ASSERT_EQ(imported.status, 0) << imported.err;
  ExpectNoPassword(imported);
  // A summary line per table of the schema, then the total.
  EXPECT_NE(imported.out.find("ICMO "), std::string::npos) << imported.out;
  EXPECT_NE(imported.out.find("t_ICItem "), std::string::npos) << imported.out;
  EXPECT_NE(imported.out.find("rows in 20 tables"), std::string::npos) << imported.out;
  for (const char* number : kReports) {
    SCOPED_TRACE(number);
    const RunResult original = Run({"report", number, "--dsn", TinyDb(), "--format", "csv"});
    const RunResult copied = Run({"report", number, "--dsn", copy, "--format", "csv"});
    ASSERT_EQ(copied.status, 0) << copied.err;
    EXPECT_EQ(copied.out, original.out);
  }

  // Only the tables asked for; an existing file is replaced only with --force.
  const RunResult again = Run({"import", "--from", Served(), "--to", copy, "--tables", "t_Item"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("--force"), std::string::npos) << again.err;
  const RunResult some =
      Run({"import", "--from", Served(), "--to", copy, "--tables", "t_item,ICMO", "--force"});
  EXPECT_EQ(some.status, 0) << some.err;
  EXPECT_NE(some.out.find("rows in 2 tables"), std::string::npos) << some.out;
  fs::remove(copy);
}

TEST_F(SqlServerCliTest, AFailedImportLeavesNoFile) {
  const std::string copy = (Scratch() / "failed.orvdb").string();
  fs::remove(copy);
  const RunResult unknown = Run({"import", "--from", Served(), "--to", copy, "--tables", "nope"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("'nope' is not a table of the company schema"), std::string::npos)
      << unknown.err;
  ExpectNoPassword(unknown);

  // A database without the schema's last table: the import fails after copying the others,
  // and leaves neither the file nor its temporary behind.
  const std::string partial = (Scratch() / "partial.orvdb").string();
  fs::copy_file(TinyDb(), partial, fs::copy_options::overwrite_existing);
  const RunResult dropped = Run({"sql", "--dsn", partial, "-Q", "DROP TABLE t_ICPPrice"});
  ASSERT_EQ(dropped.status, 0) << dropped.err;
  {
    testing::SourceUnderTest served(partial, "Data Source=" + partial, ORV_CLI_PATH);
    const RunResult broken = Run({"import", "--from", served.Text(), "--to", copy});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("reading t_ICPPrice from the source: Invalid object name "
                              "'t_ICPPrice'."),
              std::string::npos)
        << broken.err;
    ExpectNoPassword(broken);
  }
  EXPECT_FALSE(fs::exists(copy));
  for (const auto& entry : fs::directory_iterator(Scratch())) {
    EXPECT_EQ(entry.path().filename().string().find("failed.orvdb."), std::string::npos)
        << entry.path();
  }
  fs::remove(partial);
}

// A loopback port on which nothing listens.
int ClosedPort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  close(s);
  return ntohs(address.sin_port);
}

TEST_F(SqlServerCliTest, AnUnreachableServerIsAClearErrorWithinTheLoginTimeout) {
  // Nothing listens: refused at once.
  const std::string port = std::to_string(ClosedPort());
  const std::string refused_text = "Driver={FreeTDS};Server=127.0.0.1;Port=" + port +
                                   ";Database=erp;UID=sa;PWD={orv test;pass}";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"report", "400", "--dsn", refused_text},
        std::vector<std::string>{"import", "--from", refused_text, "--to", "never.orvdb"}}) {
    SCOPED_TRACE(args[0]);
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("127.0.0.1:" + port + " (database erp, user sa)"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Unable to connect"), std::string::npos) << r.err;  // the driver's text
    ExpectNoPassword(r);
  }
  EXPECT_FALSE(fs::exists(Scratch() / "never.orvdb"));

  // A server that accepts the connection and never answers: given up after the login timeout.
  const int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(silent, 4), 0);
  socklen_t length = sizeof address;
  getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string silent_port = std::to_string(ntohs(address.sin_port));
  const auto start = std::chrono::steady_clock::now();
  const RunResult r = Run({"report", "400", "--dsn",
                           "Provider=SQLOLEDB;Data Source=127.0.0.1," + silent_port +
                               ";User ID=sa;Password=x;Connect Timeout=2"});
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  close(silent);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("127.0.0.1:" + silent_port), std::string::npos) << r.err;
  EXPECT_LT(seconds, 8.0);
  EXPECT_GE(seconds, 1.5);
}

}  // namespace
}  // namespace orv::cli_test
