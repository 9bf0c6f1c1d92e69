// The registration file of in-process servers and loading a server library.
#include "automation/registration.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>

#include "automation/ascii.h"
#include "automation/error.h"
#include "fmt/format.h"

namespace orv::automation {

namespace {

namespace fs = std::filesystem;

std::string_view TrimBlanks(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end + 1 - begin);
}

// One line of the file: a registration, or text kept as it is (comments, blank lines).
struct Line {
  std::string prog_id;  // empty for kept text
  std::string path;
  std::string text;
};

std::vector<Line> ReadLines(const std::string& file) {
  std::vector<Line> lines;
  std::ifstream in(file);
  std::string text;
  while (std::getline(in, text)) {
    std::string_view body = TrimBlanks(text);
    size_t eq = body.find('=');
    if (body.empty() || body.front() == '#' || eq == std::string_view::npos) {
      lines.push_back({{}, {}, text});
      continue;
    }
    std::string_view id = TrimBlanks(body.substr(0, eq));
    std::string_view path = TrimBlanks(body.substr(eq + 1));
    if (id.empty()) {
      lines.push_back({{}, {}, text});
    } else {
      lines.push_back({std::string(id), std::string(path), {}});
    }
  }
  return lines;
}

[[noreturn]] void RaiseFileError(const std::string& what, const std::string& file) {
  Raise(err::kPathFileAccess, "RegisterServer",
        fmt::format("Path/File access error: cannot {} '{}'", what, file));
}

// Serialises updates of the file: a mutex within the process and an advisory lock on a
// companion ".lock" file across processes.
class FileLock {
 public:
  explicit FileLock(const std::string& file) : guard_(Mutex()) {
    fd_ = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) RaiseFileError("lock", file);
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        RaiseFileError("lock", file);
      }
    }
  }
  ~FileLock() {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  std::lock_guard<std::mutex> guard_;
  int fd_ = -1;
};

// Rewrites the file through a temporary file and a rename, so readers see the old or the
// new content, never a half-written one.
void WriteLines(const std::string& file, const std::vector<Line>& lines) {
  std::string temp = fmt::format("{}.tmp.{}", file, ::getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    if (!out) RaiseFileError("write", temp);
    for (const Line& line : lines) {
      out << (line.prog_id.empty() ? line.text : line.prog_id + "=" + line.path) << '\n';
    }
    out.flush();
    if (!out) RaiseFileError("write", temp);
  }
  std::error_code ec;
  fs::rename(temp, file, ec);
  if (ec) {
    fs::remove(temp, ec);
    RaiseFileError("replace", file);
  }
}

void EnsureParentDirectory(const std::string& file) {
  fs::path parent = fs::path(file).parent_path();
  if (parent.empty()) return;
  std::error_code ec;
  fs::create_directories(parent, ec);
  if (ec) RaiseFileError("create the folder of", file);
}

void CheckProgId(std::string_view prog_id) {
  std::string_view id = TrimBlanks(prog_id);
  if (id.empty() || id.front() == '#' || id.find_first_of("=\n\r") != std::string_view::npos) {
    Raise(err::kInvalidProcedureCall, "RegisterServer",
          fmt::format("Invalid procedure call or argument: ProgID '{}'", prog_id));
  }
}

}  // namespace

std::string RegistryFilePath() {
  const char* explicit_path = std::getenv("ORV_REGISTRY");
  if (explicit_path && *explicit_path) return explicit_path;
  const char* home = std::getenv("HOME");
  std::string base = home && *home ? home : "/tmp";
  return base + "/.config/orvdata/registry";
}

void RegisterServer(std::string_view prog_id, std::string_view library_path) {
  CheckProgId(prog_id);
  std::string_view path = TrimBlanks(library_path);
  if (path.empty() || path.find_first_of("\n\r") != std::string_view::npos) {
    Raise(err::kInvalidProcedureCall, "RegisterServer",
          fmt::format("Invalid procedure call or argument: library path '{}'", library_path));
  }
  std::string file = RegistryFilePath();
  EnsureParentDirectory(file);
  FileLock lock(file);
  std::vector<Line> lines = ReadLines(file);
  std::string id(TrimBlanks(prog_id));
  std::string key = AsciiLower(id);
  bool replaced = false;
  for (Line& line : lines) {
    if (!line.prog_id.empty() && AsciiLower(line.prog_id) == key) {
      line.path = std::string(path);
      replaced = true;
      break;
    }
  }
  if (!replaced) lines.push_back({id, std::string(path), {}});
  WriteLines(file, lines);
}

bool UnregisterServer(std::string_view prog_id) {
  std::string file = RegistryFilePath();
  if (!fs::exists(file)) return false;
  FileLock lock(file);
  std::vector<Line> lines = ReadLines(file);
  std::string key = AsciiLower(TrimBlanks(prog_id));
  size_t before = lines.size();
  std::erase_if(lines, [&](const Line& line) {
    return !line.prog_id.empty() && AsciiLower(line.prog_id) == key;
  });
  if (lines.size() == before) return false;
  WriteLines(file, lines);
  return true;
}

std::optional<std::string> LookupServer(std::string_view prog_id) {
  std::string key = AsciiLower(TrimBlanks(prog_id));
  for (const Line& line : ReadLines(RegistryFilePath())) {
    if (!line.prog_id.empty() && AsciiLower(line.prog_id) == key) return line.path;
  }
  return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> RegisteredServers() {
  std::vector<std::pair<std::string, std::string>> servers;
  for (const Line& line : ReadLines(RegistryFilePath())) {
    if (!line.prog_id.empty()) servers.emplace_back(line.prog_id, line.path);
  }
  return servers;
}

ObjectRef CreateFromServer(const std::string& library_path, std::string_view prog_id) {
  auto fail = [&](const std::string& why) {
    Raise(err::kCannotCreateObject, {},
          fmt::format("ActiveX component can't create object: '{}' ({})", prog_id, why));
  };
  // Handles stay open for the life of the process: objects from a library run its code.
  static std::mutex mutex;
  static std::map<std::string, void*> handles;
  void* handle = nullptr;
  {
    std::lock_guard<std::mutex> guard(mutex);
    auto it = handles.find(library_path);
    if (it != handles.end()) {
      handle = it->second;
    } else {
      handle = ::dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) {
        const char* error = ::dlerror();
        fail(fmt::format("cannot load '{}': {}", library_path, error ? error : "unknown error"));
      }
      handles.emplace(library_path, handle);
    }
  }
  auto get_class_object =
      reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, kDllGetClassObjectName));
  if (!get_class_object)
    fail(fmt::format("'{}' exports no {}", library_path, kDllGetClassObjectName));

  std::string id(prog_id);
  void* out = nullptr;
  int result = get_class_object(id.c_str(), &out);
  std::unique_ptr<ObjectRef> owned(static_cast<ObjectRef*>(out));
  if (result < 0) {
    fail(
        fmt::format("{} returned 0x{:08X}", kDllGetClassObjectName, static_cast<uint32_t>(result)));
  }
  if (!owned || !*owned) fail(fmt::format("{} returned no object", kDllGetClassObjectName));
  return *owned;
}

}  // namespace orv::automation
