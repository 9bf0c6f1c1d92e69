// Load on the TDS server: N clients at once, each running M work items (single queries and
// whole reports, batch by batch on its own connection) over loopback, against a server started
// in this process on a data-source file. Every response is compared byte for byte with the
// same item's response in a serial run first. Prints throughput, latency percentiles per item,
// mismatches and the process's peak memory.
// Usage: tds_load DATA_SOURCE_FILE SCRIPT.sql... [--clients 32] [--items 50]
// Each script is one work item; GO lines separate its batches.
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tds/raw_client.h"
#include "tds/server.h"
#include "tsql/engine.h"
#include "users/password_hash.h"
#include "users/users_file.h"

namespace {

using Clock = std::chrono::steady_clock;
using orv::tds::testing::RawClient;

long PeakMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

std::vector<std::string> Batches(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::vector<std::string> out;
  std::string current;
  std::string line;
  static const std::regex go(R"(^\s*GO\s*$)", std::regex::icase);
  while (std::getline(text, line)) {
    if (std::regex_match(line, go)) {
      if (current.find_first_not_of(" \t\r\n") != std::string::npos) out.push_back(current);
      current.clear();
    } else {
      current += line + "\n";
    }
  }
  if (current.find_first_not_of(" \t\r\n") != std::string::npos) out.push_back(current);
  return out;
}

// The hashes of an item's responses, one per batch; empty on a lost connection. Each item
// starts on a fresh session (temporary tables of the item before are gone).
std::vector<size_t> RunItem(RawClient& client, const std::vector<std::string>& batches) {
  std::vector<size_t> hashes;
  for (const std::string& batch : batches) {
    auto reply = client.Query(batch, /*reset=*/hashes.empty(), /*timeout_ms=*/120000);
    if (!reply) return {};
    hashes.push_back(std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(reply->data()), reply->size())));
  }
  return hashes;
}

}  // namespace

int main(int argc, char** argv) {
  // As orvdata serve does.
  orv::tsql::RestartWithHugePageHeap(argv);
  orv::tsql::KeepFreedMemoryForReuse();
  orv::tsql::GiveFreedMemoryBack();
  std::string source;
  std::vector<std::string> scripts;
  int clients = 32;
  int items_per_client = 50;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--clients" && i + 1 < argc) {
      clients = std::stoi(argv[++i]);
    } else if (a == "--items" && i + 1 < argc) {
      items_per_client = std::stoi(argv[++i]);
    } else if (source.empty()) {
      source = a;
    } else {
      scripts.push_back(a);
    }
  }
  if (source.empty() || scripts.empty()) {
    std::fprintf(stderr, "usage: tds_load DATA_SOURCE_FILE SCRIPT.sql... [--clients N] [--items M]\n");
    return 2;
  }
  std::vector<std::vector<std::string>> items;
  for (const std::string& s : scripts) items.push_back(Batches(s));

  const auto users_path = std::filesystem::temp_directory_path() / ("tds_load_users_" + std::to_string(::getpid()));
  orv::users::UsersFile users;
  users.Put(orv::users::User{"bench", orv::users::Role::Admin, orv::users::HashPassword("bench")});
  users.Save(users_path.string());
  orv::tds::ServerOptions options;
  options.port = 0;
  options.users_file = users_path.string();
  options.max_connections = static_cast<size_t>(clients) + 4;
  options.log = [](const std::string&) {};
  orv::tds::Server server(orv::tsql::OpenDatabase(source), options);
  const uint16_t port = server.Listen();
  std::thread server_thread([&] { server.Run(); });

  // Serial run: the expected response of every item.
  std::vector<std::vector<size_t>> expected;
  {
    RawClient client(port);
    if (!client.Login("bench", "bench")) {
      std::fprintf(stderr, "cannot log in\n");
      return 1;
    }
    std::printf("serial run:");
    for (size_t i = 0; i < items.size(); ++i) {
      const auto t0 = Clock::now();
      expected.push_back(RunItem(client, items[i]));
      std::printf(" %s %.0f ms%s", std::filesystem::path(scripts[i]).stem().c_str(),
                  std::chrono::duration<double, std::milli>(Clock::now() - t0).count(),
                  i + 1 < items.size() ? "," : "\n");
    }
  }
  const long serial_peak = PeakMb();

  std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
  std::atomic<int> mismatches{0};
  std::atomic<int> failures{0};
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      RawClient client(port);
      if (!client.Login("bench", "bench")) {
        ++failures;
        return;
      }
      for (int i = 0; i < items_per_client; ++i) {
        const size_t which = static_cast<size_t>(c + i) % items.size();
        const auto t0 = Clock::now();
        std::vector<size_t> got = RunItem(client, items[which]);
        latencies[static_cast<size_t>(c)].push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (got.empty()) {
          ++failures;
          return;
        }
        if (got != expected[which]) ++mismatches;
      }
    });
  }
  for (auto& t : threads) t.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  server.RequestStop();
  server_thread.join();
  std::filesystem::remove(users_path);

  std::vector<double> all;
  for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  std::sort(all.begin(), all.end());
  auto percentile = [&](double p) {
    return all.empty() ? 0.0 : all[std::min(all.size() - 1, static_cast<size_t>(p * static_cast<double>(all.size())))];
  };
  std::printf("clients %d, items per client %d, work items %zu\n", clients, items_per_client, items.size());
  std::printf("completed %zu items in %.2f s: %.1f items/s\n", all.size(), seconds,
              static_cast<double>(all.size()) / seconds);
  std::printf("latency per item: p50 %.1f ms, p99 %.1f ms, max %.1f ms\n", percentile(0.50),
              percentile(0.99), all.empty() ? 0.0 : all.back());
  std::printf("mismatches against the serial run %d, failed connections %d\n", mismatches.load(),
              failures.load());
  std::printf("peak memory: %ld MB after the serial run, %ld MB at the end\n", serial_peak, PeakMb());
  return mismatches == 0 && failures == 0 ? 0 : 1;
}
