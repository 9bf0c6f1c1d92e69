// The files of the web pages, built into the program at build time from src/http/web
// (cmake/embed_assets.cmake), so that the server needs no files beside it and fetches nothing
// from elsewhere: "/" is index.html, every other file is "/assets/<name>".
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace orv::http {

struct Asset {
  const char* path;
  const char* content_type;
  const unsigned char* data;
  size_t size;
};

const std::vector<Asset>& Assets();

// The file at an address; nullptr when there is none.
const Asset* FindAsset(std::string_view path);

}  // namespace orv::http
