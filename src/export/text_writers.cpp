// The text writers: table, CSV, JSON, JSON Lines and Markdown, and the format names.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <deque>
#include <functional>
#include <future>
#include <ostream>
#include <sstream>
#include <thread>
#include <vector>

#include "export/json_text.h"
#include "export/text_table.h"
#include "export/value_text.h"
#include "export/writer.h"

namespace orv::exports {

namespace {

using automation::Variant;
using automation::VarType;

void Put(std::ostream& out, const std::string& text) {
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Writes count rows, each appended as text by append_row(r, text). A report result can have
// millions of fields, and turning them into text is most of the cost of writing it: rows go in
// chunks that helper threads format a few chunks ahead (two per core), while this thread
// writes the chunks before them in row order, so that writing overlaps formatting.
void WriteRows(std::ostream& out, size_t count,
               const std::function<void(size_t, std::string&)>& append_row) {
  constexpr size_t kChunk = 4096;
  const size_t chunks = (count + kChunk - 1) / kChunk;
  std::atomic<size_t> size_hint{0};  // a chunk's text is about as long as the last one's
  auto format = [&](size_t chunk) {
    std::string text;
    text.reserve(size_hint.load(std::memory_order_relaxed) * 9 / 8);
    const size_t end = std::min(count, (chunk + 1) * kChunk);
    for (size_t r = chunk * kChunk; r < end; ++r) append_row(r, text);
    size_hint.store(text.size(), std::memory_order_relaxed);
    return text;
  };
  if (chunks <= 1) {
    if (chunks == 1) Put(out, format(0));
    return;
  }
  const size_t ahead = 2 * std::max(1u, std::thread::hardware_concurrency());
  std::deque<std::future<std::string>> pending;
  size_t next = 0;
  auto launch = [&] {
    while (next < chunks && pending.size() < ahead) pending.push_back(std::async(std::launch::async, format, next++));
  };
  launch();
  while (!pending.empty()) {
    const std::string text = pending.front().get();
    pending.pop_front();
    launch();
    Put(out, text);
  }
}

// Appends one CSV field: quoted (with doubled quotes) when it holds a comma, a quote or a line
// break, and always when it is empty, so that "" (an empty text) differs from nothing (NULL).
void AppendCsvField(std::string& line, std::string_view text) {
  const bool quote = text.empty() || std::any_of(text.begin(), text.end(), [](char c) {
                       return c == ',' || c == '"' || c == '\r' || c == '\n';
                     });
  if (!quote) {
    line.append(text);
    return;
  }
  line.push_back('"');
  for (char c : text) {
    if (c == '"') line.push_back('"');
    line.push_back(c);
  }
  line.push_back('"');
}

void WriteCsv(std::ostream& out, const ResultTable& table, const WriteOptions& options) {
  if (options.headers) {
    std::string header;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (i > 0) header.push_back(',');
      AppendCsvField(header, Heading(table, i, options));
    }
    header += "\r\n";
    Put(out, header);
  }
  WriteRows(out, table.row_count(), [&](size_t r, std::string& line) {
    thread_local std::vector<Variant> buffer;
    const auto& row = table.Row(r, buffer);
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) line.push_back(',');
      switch (row[i].type()) {
        case VarType::Null:
        case VarType::Empty:
          break;
        case VarType::String:
          AppendCsvField(line, row[i].AsString());
          break;
        case VarType::Boolean:
        case VarType::Integer:
        case VarType::Long:
        case VarType::Decimal:
          // Digits, a sign, a point, True/False: nothing to quote.
          automation::AppendCStr(line, row[i]);
          break;
        default:
          AppendCsvField(line, PlainText(row[i]));
      }
    }
    line += "\r\n";
  });
}

// JSON keys: an unnamed column becomes "column<n>", a repeated name gets "_2", "_3"...
std::vector<std::string> JsonKeys(const ResultTable& table, const WriteOptions& options) {
  std::vector<std::string> keys;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    std::string key = Heading(table, i, options);
    if (key.empty()) key = "column" + std::to_string(i + 1);
    const std::string base = key;
    for (int k = 2; std::find(keys.begin(), keys.end(), key) != keys.end(); ++k) {
      key = base + "_" + std::to_string(k);
    }
    keys.push_back(key);
  }
  return keys;
}

// The rows of one result as JSON objects: `open` before each, `close` after each but the last,
// `last_close` after the last.
void WriteJsonObjects(std::ostream& out, const ResultTable& table, const WriteOptions& options,
                      const char* open, const char* close, const char* last_close) {
  const std::vector<std::string> keys = JsonKeys(table, options);
  std::vector<std::string> prefixes;  // ", \"key\": " (the first without the comma)
  for (size_t i = 0; i < keys.size(); ++i) {
    prefixes.push_back((i > 0 ? ", " : "") + JsonString(keys[i]) + ": ");
  }
  const size_t count = table.row_count();
  WriteRows(out, count, [&](size_t r, std::string& line) {
    thread_local std::vector<Variant> buffer;
    const auto& row = table.Row(r, buffer);
    line += open;
    line += '{';
    for (size_t i = 0; i < keys.size(); ++i) {
      line += prefixes[i];
      AppendJsonValue(line, row[i]);
    }
    line += '}';
    line += r + 1 < count ? close : last_close;
  });
}

void WriteJsonArray(std::ostream& out, const ResultTable& table, const WriteOptions& options) {
  if (table.row_count() == 0) {
    out << "[]";
    return;
  }
  out << "[\n";
  WriteJsonObjects(out, table, options, "  ", ",\n", "\n");
  out << "]";
}

// Markdown special characters in data are escaped, and HTML is written as text, so a value
// can neither format nor inject markup.
std::string MarkdownCell(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
      case '|':
      case '*':
      case '_':
      case '`':
      case '[':
      case ']':
      case '#':
      case '~':
        out.push_back('\\');
        out.push_back(c);
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      default:
        out.push_back(static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
    }
  }
  return out;
}

void WriteMarkdown(std::ostream& out, const ResultTable& table, const WriteOptions& options) {
  const std::vector<int> scales = ColumnScales(table);
  const std::string null_text = HasRowKindColumns(table) ? std::string() : options.null_text;
  out << '|';
  for (size_t i = 0; i < table.columns.size(); ++i) {
    out << ' ' << MarkdownCell(Heading(table, i, options)) << " |";
  }
  out << "\n|";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    out << (IsNumericColumn(table, i) && !table.columns[i].is_code ? " ---: |" : " --- |");
  }
  out << '\n';
  const bool kinds = table.kinds.size() == table.rows.size();
  for (size_t r = 0; r < table.rows.size(); ++r) {
    const bool strong = kinds && table.kinds[r] != RowKind::kDetail;
    out << '|';
    for (size_t i = 0; i < table.columns.size(); ++i) {
      std::string text = MarkdownCell(DisplayText(table.rows[r][i], scales[i], null_text));
      if (strong && !text.empty()) text = "**" + text + "**";
      out << ' ' << text << " |";
    }
    out << '\n';
  }
}

class TextWriter : public ResultWriter {
 public:
  TextWriter(Format format, std::ostream& out, const WriteOptions& options)
      : format_(format), out_(out), options_(options) {}

  void Write(const ResultTable& given) override {
    const ResultTable* table = &given;
    ResultTable converted;
    const bool streams = format_ == Format::kCsv || format_ == Format::kJson ||
                         format_ == Format::kJsonLines;
    if (given.source && !streams) {
      converted = given;
      converted.Materialize();
      table = &converted;
    }
    switch (format_) {
      case Format::kTable:
        if (written_ > 0) out_ << '\n';
        WriteTextTable(out_, *table, options_);
        break;
      case Format::kMarkdown:
        if (written_ > 0) out_ << '\n';
        WriteMarkdown(out_, *table, options_);
        break;
      case Format::kCsv:
        if (written_ == 0 && options_.bom) out_ << "\xEF\xBB\xBF";
        if (written_ > 0) out_ << "\r\n";
        WriteCsv(out_, *table, options_);
        break;
      case Format::kJsonLines:
        WriteJsonObjects(out_, *table, options_, "", "\n", "\n");
        break;
      case Format::kJson:
        // One result is an array of objects; several are an array of such arrays. Which one it
        // is shows only at the second result, so the first waits in memory until then.
        if (written_ == 0) {
          std::ostringstream first;
          WriteJsonArray(first, *table, options_);
          pending_ = first.str();
        } else {
          if (written_ == 1) {
            out_ << "[\n" << pending_;
            pending_.clear();
          }
          out_ << ",\n";
          WriteJsonArray(out_, *table, options_);
        }
        break;
      case Format::kXlsx:
        break;
    }
    ++written_;
  }

  void Finish() override {
    if (format_ != Format::kJson) return;
    if (written_ == 0) out_ << "[]\n";
    if (written_ == 1) out_ << pending_ << '\n';
    if (written_ > 1) out_ << "\n]\n";
  }

 private:
  Format format_;
  std::ostream& out_;
  WriteOptions options_;
  int written_ = 0;
  std::string pending_;
};

}  // namespace

std::optional<Format> ParseFormat(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "table") return Format::kTable;
  if (lower == "csv") return Format::kCsv;
  if (lower == "json") return Format::kJson;
  if (lower == "jsonl" || lower == "ndjson") return Format::kJsonLines;
  if (lower == "markdown" || lower == "md") return Format::kMarkdown;
  if (lower == "xlsx") return Format::kXlsx;
  return std::nullopt;
}

const char* FormatNames() { return "table, csv, json, jsonl, markdown or xlsx"; }

std::unique_ptr<ResultWriter> MakeTextWriter(Format format, std::ostream& out,
                                             const WriteOptions& options) {
  return std::make_unique<TextWriter>(format, out, options);
}

void WriteTable(std::ostream& out, const ResultTable& table, Format format,
                const WriteOptions& options) {
  auto writer = MakeTextWriter(format, out, options);
  writer->Write(table);
  writer->Finish();
}

}  // namespace orv::exports
