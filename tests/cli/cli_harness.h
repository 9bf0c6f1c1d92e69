// Shared set-up of the orvdata command tests: runs the real binary in a scratch folder with its
// own HOME (so the demo database fallback never touches the user's), captures standard output,
// standard error and the exit status, and provides a tiny demo database created once through
// "orvdata demo create --size tiny".
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace orv::cli_test {

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  return out + "'";
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Splits text into lines (without their LF; a CR before the LF is kept).
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Terminal columns of UTF-8 text as the test data needs it: the three-byte characters in it
// (Chinese names, full-width brackets) are all wide, except the ellipsis of a cut cell.
inline size_t Columns(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    const bool ellipsis = text.compare(i, 3, "\u2026") == 0;
    width += len == 3 && !ellipsis ? 2 : 1;
    i += len;
  }
  return width;
}

class CliTest : public ::testing::Test {
 protected:
  static std::filesystem::path Scratch() {
    static const std::filesystem::path dir = [] {
      char pattern[] = "/tmp/orvdata_cli_test_XXXXXX";
      const char* made = mkdtemp(pattern);
      return std::filesystem::path(made != nullptr ? made : "/tmp/orvdata_cli_test");
    }();
    return dir;
  }

  // The tiny demo database, created by the binary on first use.
  static std::string TinyDb() {
    static const std::string path = [] {
      const std::string file = (Scratch() / "tiny.orvdb").string();
      const RunResult created = Run({"demo", "create", file, "--size", "tiny"});
      EXPECT_EQ(created.status, 0) << created.err;
      return file;
    }();
    return path;
  }

  // Runs orvdata on a pseudo-terminal (tests/cli/pty_run.py), typing `keys` (one chunk a line,
  // with \\r, \\x1b and \\x04 escapes) one chunk after another; `out` holds what the terminal
  // showed, `status` the exit status.
  static RunResult RunOnTerminal(const std::vector<std::string>& args, const std::string& keys,
                                 const std::vector<std::string>& env = {}) {
    const std::filesystem::path keys_file = Scratch() / ("keys_" + std::to_string(getpid()));
    WriteFile(keys_file, keys);
    std::vector<std::string> all = {std::string(ORV_TEST_DATA_DIR) + "/cli/pty_run.py",
                                    keys_file.string(), "--", ORV_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    RunResult result = Run(all, env, "", "python3");
    std::filesystem::remove(keys_file);
    const size_t exit_line = result.out.rfind("\nexit ");
    if (exit_line != std::string::npos) {
      result.status = std::atoi(result.out.c_str() + exit_line + 6);
      result.out.resize(exit_line);
    }
    return result;
  }

  // Runs orvdata with `args` in the scratch folder; `env` holds extra "NAME=value" settings.
  // HOME is the scratch folder and ORVDATA_DSN, ORVDATA_DEMO_DB, XDG_DATA_HOME,
  // XDG_CONFIG_HOME and XDG_STATE_HOME are unset unless given. `program` replaces orvdata
  // (the arguments then name orvdata themselves).
  static RunResult Run(const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {}, const std::string& input = "",
                       const std::string& program = ORV_CLI_PATH) {
    static int counter = 0;
    const std::filesystem::path dir = Scratch();
    const std::string tag = std::to_string(getpid()) + "_" + std::to_string(++counter);
    const std::filesystem::path out = dir / ("out_" + tag);
    const std::filesystem::path err = dir / ("err_" + tag);
    const std::filesystem::path in = dir / ("in_" + tag);
    WriteFile(in, input);
    std::string command =
        "cd " + ShellQuote(dir.string()) +
        " && env -u ORVDATA_DSN -u ORVDATA_DEMO_DB -u XDG_DATA_HOME -u XDG_CONFIG_HOME"
        " -u XDG_STATE_HOME HOME=" +
        ShellQuote(dir.string());
    for (const auto& setting : env) command += " " + ShellQuote(setting);
    command += " " + ShellQuote(program);
    for (const auto& arg : args) command += " " + ShellQuote(arg);
    command += " <" + ShellQuote(in.string()) + " >" + ShellQuote(out.string()) + " 2>" +
               ShellQuote(err.string());
    const int raw = std::system(command.c_str());
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    std::filesystem::remove(in);
    return result;
  }
};

}  // namespace orv::cli_test
