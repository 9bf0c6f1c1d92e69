#include "sources/named_sources.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "sources/source_error.h"

namespace orv::sources {

namespace {

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::optional<std::string> NamedSources::Find(const std::string& name) const {
  for (const auto& [known, text] : entries) {
    if (SameName(known, name)) return text;
  }
  return std::nullopt;
}

std::string NamedSourcesPath() {
  if (std::string config = Env("XDG_CONFIG_HOME"); !config.empty()) {
    return config + "/orvdata/sources";
  }
  return Env("HOME") + "/.config/orvdata/sources";
}

NamedSources ReadNamedSources(const std::string& path) {
  NamedSources sources;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return sources;
  if ((info.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    throw SourceError("the sources file " + path + " has mode " + mode +
                      ", so others may read its passwords; run: chmod 600 " + path);
  }
  std::ifstream in(path);
  if (!in) throw SourceError("cannot read the sources file " + path);
  sources.path = path;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    const size_t eq = trimmed.find('=');
    const std::string where = path + " line " + std::to_string(number);
    if (eq == std::string::npos) {
      throw SourceError(where + ": expected NAME = connection text or file path");
    }
    const std::string name = Trim(trimmed.substr(0, eq));
    const std::string text = Trim(trimmed.substr(eq + 1));
    if (name.empty() || text.empty()) {
      throw SourceError(where + ": expected NAME = connection text or file path");
    }
    if (SameName(name, "default")) {
      sources.default_name = text;
      continue;
    }
    if (sources.Find(name)) throw SourceError(where + ": the name '" + name + "' is used twice");
    sources.entries.emplace_back(name, text);
  }
  if (!sources.default_name.empty() && !sources.Find(sources.default_name)) {
    throw SourceError(path + ": default names '" + sources.default_name +
                      "', which is not listed in the file");
  }
  return sources;
}

}  // namespace orv::sources
