// GET / and GET /assets/<name>: the web pages' files (assets.h).
#include "http/api_context.h"
#include "http/assets.h"

namespace orv::http {

const Asset* FindAsset(std::string_view path) {
  for (const Asset& asset : Assets()) {
    if (path == asset.path) return &asset;
  }
  return nullptr;
}

void AddAssetRoutes(httplib::Server& server) {
  auto send = [](const httplib::Request& request, httplib::Response& response) {
    const Asset* asset = FindAsset(request.path == "/index.html" ? "/" : request.path);
    if (!asset) {
      response.status = 404;
      return;
    }
    response.set_content(reinterpret_cast<const char*>(asset->data), asset->size,
                         asset->content_type);
  };
  server.Get("/", send);
  server.Get("/index.html", send);
  server.Get(R"(/assets/[A-Za-z0-9_.-]+)", send);
}

}  // namespace orv::http
