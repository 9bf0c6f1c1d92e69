// Which data source a command works on: --dsn (before or after the subcommand), ORVDATA_DSN,
// the default of the named-sources file; no source in a script is an error, the demo data
// only at a terminal and with a banner; paths, connection texts and passwords.
#include <sys/stat.h>

#include "cli_harness.h"

namespace orv::cli_test {
namespace {

class SourcesTest : public CliTest {
 protected:
  // Writes the named-sources file under a fresh XDG_CONFIG_HOME; returns that setting.
  static std::string SourcesFile(const std::string& folder, const std::string& text, int mode) {
    const std::filesystem::path dir = Scratch() / folder / "orvdata";
    std::filesystem::create_directories(dir);
    WriteFile(dir / "sources", text);
    chmod((dir / "sources").c_str(), static_cast<mode_t>(mode));
    return "XDG_CONFIG_HOME=" + (Scratch() / folder).string();
  }
  static const char* MaxPeriod() { return "periods\r\n12\r\n"; }
};

TEST_F(SourcesTest, NoDataSourceInAScriptIsStatusTwoAndNoDemoData) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"report", "400", "--format", "csv"},
        {"lookup", "max-period"},
        {"sql", "-Q", "SELECT 1"},
        {"report", "498", "--sql"}}) {
    const RunResult r = Run(args, {"XDG_DATA_HOME=" + (Scratch() / "nodemo").string()});
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no data source: give --dsn"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ORVDATA_DSN"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(Scratch() / "nodemo"));
}

TEST_F(SourcesTest, OptionThenEnvironmentThenNamedDefault) {
  const std::string db = TinyDb();
  const std::string missing = (Scratch() / "missing.orvdb").string();
  const std::string config = SourcesFile("cfg_ok", "# mine\ncompany = " + db + "\nbroken = " +
                                                      missing + "\ndefault = company\n",
                                          0600);
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> env;
    int status;
  };
  const Case cases[] = {
      {{"lookup", "max-period", "--dsn", db}, {}, 0},
      {{"--dsn", db, "lookup", "max-period"}, {}, 0},  // before the subcommand
      {{"lookup", "max-period"}, {"ORVDATA_DSN=" + db}, 0},
      {{"lookup", "max-period", "--dsn", db}, {"ORVDATA_DSN=" + missing}, 0},  // option wins
      {{"lookup", "max-period"}, {"ORVDATA_DSN=" + missing}, 1},
      {{"lookup", "max-period"}, {config}, 0},                                  // the default
      {{"lookup", "max-period", "--dsn", "@company"}, {config}, 0},
      {{"lookup", "max-period"}, {config, "ORVDATA_DSN=@broken"}, 1},          // env wins
      {{"lookup", "max-period", "--dsn", "@COMPANY"}, {config}, 0},             // any case
  };
  for (const Case& c : cases) {
    const RunResult r = Run(c.args, c.env);
    EXPECT_EQ(r.status, c.status) << c.args.back() << ": " << r.err;
    if (c.status == 0) {
      EXPECT_EQ(r.out.substr(0, 7), "periods") << r.out;
    }
  }
  const RunResult unknown = Run({"lookup", "max-period", "--dsn", "@nosuch"}, {config});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("no data source named 'nosuch'"), std::string::npos) << unknown.err;
}

TEST_F(SourcesTest, SourcesFileOthersCanReadIsRefused) {
  const std::string config = SourcesFile("cfg_open", "company = " + TinyDb() +
                                                         "\ndefault = company\n", 0644);
  const RunResult r = Run({"lookup", "max-period"}, {config});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("has mode 0644"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("chmod 600"), std::string::npos);
  // A source given directly does not depend on the file.
  EXPECT_EQ(Run({"lookup", "max-period", "--dsn", TinyDb()}, {config}).status, 0);
}

TEST_F(SourcesTest, PathsAndConnectionTexts) {
  // A path holding '=' is a path; a connection text is told by its grammar and first key.
  const std::filesystem::path odd = Scratch() / "a=b;c.orvdb";
  std::filesystem::copy_file(TinyDb(), odd, std::filesystem::copy_options::overwrite_existing);
  const RunResult path = Run({"lookup", "max-period", "--dsn", odd.string(), "--format", "csv"});
  EXPECT_EQ(path.status, 0) << path.err;
  EXPECT_EQ(path.out, MaxPeriod());
  const RunResult text = Run({"lookup", "max-period", "--format", "csv", "--dsn",
                              "data source=" + TinyDb() + ";Provider=Embedded"});
  EXPECT_EQ(text.status, 0) << text.err;

  // An embedded connection text without a file is refused, and its password is not shown.
  const RunResult empty = Run({"lookup", "max-period", "--dsn",
                               "Provider=Embedded;Data Source=;PWD=s3cret"});
  EXPECT_EQ(empty.status, 2);
  EXPECT_NE(empty.err.find("names no data-source file"), std::string::npos) << empty.err;
  EXPECT_NE(empty.err.find("PWD=***"), std::string::npos) << empty.err;
  EXPECT_EQ(empty.err.find("s3cret"), std::string::npos);
}

// At a terminal with nothing configured, the demo database is used, and a banner says so.
TEST_F(SourcesTest, DemoDataOnlyAtATerminalAndAnnounced) {
  const RunResult r = RunOnTerminal({"lookup", "max-period", "--format", "csv"}, "",
                                    {"ORVDATA_DEMO_DB=" + TinyDb()});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("DEMO DATA"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("periods\r"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n12\r"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace orv::cli_test
