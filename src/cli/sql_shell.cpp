#include "cli/sql_shell.h"

#include <histedit.h>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace orv::cli {

namespace {

std::string HistoryPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  std::string folder = state != nullptr && *state != '\0'
                           ? std::string(state) + "/orvdata"
                           : std::string(home != nullptr ? home : ".") + "/.local/state/orvdata";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return folder + "/sql_history";
}

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Ctrl-C while a line is typed drops the batch typed so far, as in other SQL shells, instead of
// ending the shell: the handler only notes it, and the read it interrupts returns. While a
// batch runs, Ctrl-C keeps its usual effect.
volatile std::sig_atomic_t g_interrupted = 0;
void NoteInterrupt(int) { g_interrupted = 1; }

// The prompt libedit asks for: set before each line.
std::string g_prompt;
char* Prompt(EditLine*) { return g_prompt.data(); }

constexpr const char* kHelp =
    "Type T-SQL; a batch runs at a line GO, or at an empty line after a line ending in ';'.\n"
    "  :timing on|off   show how long each batch takes\n"
    "  :reset           drop the batch typed so far\n"
    "  :help            this text\n"
    "  :quit            leave (also Ctrl-D)\n"
    "Up and down arrows recall earlier lines; the history is kept across runs.\n";

}  // namespace

bool RunInteractiveShell(BatchRunner& runner, const std::string& source_label) {
  EditLine* editor = el_init("orvdata", stdin, stdout, stderr);
  History* lines = history_init();
  HistEvent event;
  history(lines, &event, H_SETSIZE, 1000);
  history(lines, &event, H_SETUNIQUE, 1);
  const std::string history_file = HistoryPath();
  history(lines, &event, H_LOAD, history_file.c_str());
  el_set(editor, EL_EDITOR, "emacs");
  el_set(editor, EL_HIST, history, lines);
  el_set(editor, EL_PROMPT, Prompt);
  struct sigaction interrupt {};
  interrupt.sa_handler = NoteInterrupt;
  sigemptyset(&interrupt.sa_mask);
  interrupt.sa_flags = 0;  // no SA_RESTART: the read returns
  struct sigaction previous {};
  sigaction(SIGINT, nullptr, &previous);

  std::cout << "orvdata T-SQL shell on " << source_label << ". :help for help, :quit to leave.\n";
  bool ok = true;
  std::string batch;
  int line_number = 1;
  bool after_semicolon = false;
  auto run = [&] {
    if (!Trim(batch).empty()) ok = runner.Run(batch) && ok;
    batch.clear();
    line_number = 1;
    after_semicolon = false;
  };
  for (;;) {
    g_prompt = source_label + " " + std::to_string(line_number) + "> ";
    int count = 0;
    g_interrupted = 0;
    sigaction(SIGINT, &interrupt, nullptr);
    const char* read = el_gets(editor, &count);
    sigaction(SIGINT, &previous, nullptr);
    if (g_interrupted) {
      std::cout << "^C (batch dropped)\n";
      batch.clear();
      line_number = 1;
      after_semicolon = false;
      continue;
    }
    if (read == nullptr || count <= 0) {
      std::cout << '\n';
      run();
      break;
    }
    std::string line(read, static_cast<size_t>(count));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const std::string trimmed = Trim(line);
    if (!trimmed.empty()) {
      history(lines, &event, H_ENTER, line.c_str());
      history(lines, &event, H_SAVE, history_file.c_str());
    }
    const std::string command = Lower(trimmed);
    if (batch.empty() && !command.empty() && command.front() == ':') {
      if (command == ":quit" || command == ":exit" || command == ":q") break;
      if (command == ":help") {
        std::cout << kHelp;
      } else if (command == ":timing on" || command == ":timing off") {
        runner.set_timing(command == ":timing on");
        std::cout << "timing " << (runner.timing() ? "on" : "off") << '\n';
      } else if (command == ":reset") {
        batch.clear();
      } else {
        std::cout << "unknown command " << trimmed << "; :help lists them\n";
      }
      continue;
    }
    if (batch.empty() && (command == "quit" || command == "exit")) break;
    if (command == "go") {
      run();
      continue;
    }
    if (trimmed.empty() && after_semicolon) {
      run();
      continue;
    }
    if (trimmed.empty() && batch.empty()) continue;
    batch += line + "\n";
    ++line_number;
    after_semicolon = !trimmed.empty() && trimmed.back() == ';';
  }
  history(lines, &event, H_SAVE, history_file.c_str());
  history_end(lines);
  el_end(editor);
  return ok;
}

}  // namespace orv::cli
