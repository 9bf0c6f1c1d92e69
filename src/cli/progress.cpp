#include "cli/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "ado/provider.h"
#include "export/text_width.h"

namespace orv::cli {

namespace {

constexpr auto kDelay = std::chrono::milliseconds(400);
constexpr auto kTick = std::chrono::milliseconds(200);

Progress* g_current = nullptr;

// The terminal's width less one column (a line filling the last column would wrap on some
// terminals); 80 columns when it cannot be asked.
size_t LineWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 10) return size.ws_col - 1u;
  return 79;
}
std::string g_tracked_dsn;  // the data source behind the tracking provider
int g_batch_number = 0;

// Cuts text to at most `width` display columns, ending in "..." when cut.
std::string Shorten(const std::string& text, size_t width) {
  if (exports::DisplayWidth(text) <= width) return text;
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t len = 1;
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0xF0)
      len = 4;
    else if (c >= 0xE0)
      len = 3;
    else if (c >= 0xC0)
      len = 2;
    std::string next = out + text.substr(i, len);
    if (exports::DisplayWidth(next) + 3 > width) break;
    out = std::move(next);
    i += len;
  }
  return out + "...";
}

class TrackingConnection : public ado::ProviderConnection {
 public:
  explicit TrackingConnection(std::unique_ptr<ado::ProviderConnection> inner)
      : inner_(std::move(inner)) {}
  std::vector<ado::ProviderResult> ExecuteBatch(std::string_view text) override {
    if (Progress* progress = Progress::Current()) {
      progress->SetStep("batch " + std::to_string(++g_batch_number) + ": " + BatchSummary(text));
    }
    return inner_->ExecuteBatch(text);
  }

 private:
  std::unique_ptr<ado::ProviderConnection> inner_;
};

}  // namespace

Progress::Progress(std::string task)
    : task_(std::move(task)),
      active_(isatty(STDERR_FILENO) != 0),
      start_(std::chrono::steady_clock::now()),
      outer_(g_current) {
  g_current = this;
  if (active_) ticker_ = std::thread([this] { Run(); });
}

Progress::~Progress() {
  g_current = outer_;
  if (!active_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  ticker_.join();
  if (drawn_) {
    std::fputs("\r\x1b[2K", stderr);
    std::fflush(stderr);
  }
}

Progress* Progress::Current() { return g_current; }

void Progress::SetStep(std::string step) {
  std::lock_guard<std::mutex> lock(mutex_);
  step_ = std::move(step);
}

void Progress::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (wake_.wait_for(lock, kDelay, [this] { return stop_; })) return;
  while (!stop_) {
    Draw();
    wake_.wait_for(lock, kTick, [this] { return stop_; });
  }
}

void Progress::Draw() {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%6.1fs", seconds);
  std::string line = std::string(elapsed) + "  " + task_;
  if (!step_.empty()) line += "  " + step_;
  std::fprintf(stderr, "\r\x1b[2K%s", Shorten(line, LineWidth()).c_str());
  std::fflush(stderr);
  drawn_ = true;
}

std::string TrackBatches(const std::string& dsn) {
  Progress* progress = Progress::Current();
  if (progress == nullptr || !progress->active()) return dsn;
  static const bool registered = [] {
    ado::RegisterProvider("OrvdataProgress", [](const ado::ConnectionString&) {
      return std::unique_ptr<ado::ProviderConnection>(std::make_unique<TrackingConnection>(
          ado::OpenProvider(ado::ConnectionString(g_tracked_dsn))));
    });
    return true;
  }();
  (void)registered;
  g_tracked_dsn = dsn;
  g_batch_number = 0;
  return "Provider=OrvdataProgress";
}

std::string BatchSummary(std::string_view batch) {
  size_t pos = 0;
  while (pos < batch.size()) {
    size_t eol = batch.find('\n', pos);
    if (eol == std::string_view::npos) eol = batch.size();
    std::string_view line = batch.substr(pos, eol - pos);
    pos = eol + 1;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    if (line.empty() || line.substr(0, 2) == "--") continue;
    return Shorten(std::string(line), 48);
  }
  return "";
}

}  // namespace orv::cli
