#include "tsql/storage/column_snapshot.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <thread>
#include <vector>

#include <sqlite3.h>

#include "tsql/storage/memory_limit.h"

namespace orv::tsql {
namespace {

// A snapshot file: the magic and the byte order of the machine that wrote it, the key, the
// column definitions, the row count, the rowids, each column, and an end mark with the file's
// length. Numbers are in the writing machine's byte order (a snapshot is of this machine's
// file and is only ever read here).
constexpr char kMagic[8] = {'O', 'R', 'V', 'C', 'O', 'L', 'S', '2'};
constexpr uint32_t kByteOrder = 0x01020304;
constexpr char kEndMark[4] = {'E', 'N', 'D', '!'};

// How a column's values are laid out: all of one kind (or NULL). Numbered for the file, apart
// from Value::Kind, so that the format does not move when the engine's values do.
enum class Layout : uint8_t {
  kNull,
  kInt,
  kDateTime,
  kDateTime2,
  kDecimal,
  kWideDecimal,
  kFloat,
  kString
};

// Tables with fewer rows read from SQLite about as fast as from a snapshot.
constexpr size_t kSnapshotFromRows = 50000;
// Rows are made on several threads from this many on.
constexpr size_t kThreadsFromRows = 65536;

int64_t Nanoseconds(const struct timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The column definitions a snapshot is of, as one text.
std::string Definition(const StoredTable& t) {
  std::string d;
  for (const StoredColumn& c : t.columns) {
    d += c.name;
    d += '\t';
    d += c.type.ToString();
    d += c.nullable ? "\tnull\n" : "\tnot null\n";
  }
  return d;
}

// ---- writing ---------------------------------------------------------------------------------

class Buffer {
 public:
  void Bytes(const void* p, size_t n) { bytes_.append(static_cast<const char*>(p), n); }
  template <class T>
  void Put(T v) {
    Bytes(&v, sizeof v);
  }
  std::string& bytes() { return bytes_; }

 private:
  std::string bytes_;
};

// The fewest bytes (1, 2, 4 or 8) that hold every distance up to `range`.
uint8_t WidthFor(uint64_t range) {
  return range <= 0xFF ? 1 : range <= 0xFFFF ? 2 : range <= 0xFFFFFFFFu ? 4 : 8;
}

// Stores `d` in `width` bytes at p.
void PutDistance(char* p, uint8_t width, uint64_t d) {
  switch (width) {
    case 1:
      *p = static_cast<char>(d);
      break;
    case 2: {
      const auto x = static_cast<uint16_t>(d);
      std::memcpy(p, &x, 2);
      break;
    }
    case 4: {
      const auto x = static_cast<uint32_t>(d);
      std::memcpy(p, &x, 4);
      break;
    }
    default:
      std::memcpy(p, &d, 8);
      break;
  }
}

// Integers (integers, ticks, units, decimals that fit 64 bits, the ends of strings) are stored
// as their distance from the smallest, in the fewest bytes that hold the largest distance.
//
// One column on its way into a snapshot. The rows are gone through twice, each row once per
// pass with all its columns (a table's rows lie apart in memory, so going through them column
// after column would wait on memory once per value): Note learns the column's layout and the
// range of its integers, Put stores each value in arrays of the size that then follows.
class ColumnEncoder {
 public:
  void Note(const Value& v) {
    if (v.is_null()) {
      has_nulls_ = true;
      return;
    }
    if (!kind_) {
      kind_ = v.kind();
      if (v.kind() == Value::Kind::Decimal) scale_ = static_cast<uint8_t>(v.decimal_scale());
    } else if (*kind_ != v.kind()) {
      mixed_ = true;
      return;
    }
    switch (v.kind()) {
      case Value::Kind::Int:
        Range(v.int_value());
        break;
      case Value::Kind::DateTime:
        Range(v.datetime_ticks());
        break;
      case Value::Kind::DateTime2:
        mixed_ = mixed_ || v.datetime2_offset() != 0;
        Range(v.datetime2_units());
        break;
      case Value::Kind::Decimal: {
        mixed_ = mixed_ || v.decimal_scale() != scale_;
        const Int128 u = v.decimal_unscaled();
        if (u == static_cast<Int128>(static_cast<int64_t>(u))) {
          Range(static_cast<int64_t>(u));
        } else {
          wide_ = true;
        }
        break;
      }
      case Value::Kind::String:
        text_size_ += static_cast<int64_t>(v.string_value().size());
        break;
      case Value::Kind::Float:
      case Value::Kind::Null:
        break;
    }
  }

  // After every row was noted: the layout (nothing when the column holds values of more than
  // one kind, datetime2 values with offsets, or decimals of more than one scale), and room
  // for the n values.
  std::optional<Layout> Prepare(size_t n) {
    if (mixed_) return std::nullopt;
    layout_ = Layout::kNull;
    if (kind_) {
      switch (*kind_) {
        case Value::Kind::Int:
          layout_ = Layout::kInt;
          break;
        case Value::Kind::DateTime:
          layout_ = Layout::kDateTime;
          break;
        case Value::Kind::DateTime2:
          layout_ = Layout::kDateTime2;
          break;
        case Value::Kind::Decimal:
          layout_ = wide_ ? Layout::kWideDecimal : Layout::kDecimal;
          break;
        case Value::Kind::Float:
          layout_ = Layout::kFloat;
          break;
        case Value::Kind::String:
          layout_ = Layout::kString;
          break;
        case Value::Kind::Null:
          break;
      }
    }
    if (layout_ == Layout::kString) {
      low_ = 0;
      high_ = text_size_;
    }
    width_ = WidthFor(static_cast<uint64_t>(high_) - static_cast<uint64_t>(low_));
    if (has_nulls_) nulls_.assign(n, '\0');
    switch (layout_) {
      case Layout::kNull:
        break;
      case Layout::kWideDecimal:
        data_.assign(n * 16, '\0');
        break;
      case Layout::kFloat:
        data_.assign(n * 8, '\0');
        break;
      case Layout::kString:
        text_.resize(static_cast<size_t>(text_size_));
        [[fallthrough]];
      default:
        data_.assign(n * width_, '\0');
        break;
    }
    return layout_;
  }

  void Put(size_t i, const Value& v) {
    if (v.is_null()) {
      if (has_nulls_) nulls_[i] = 1;
      if (layout_ == Layout::kString)
        PutDistance(&data_[i * width_], width_, static_cast<uint64_t>(text_at_));
      return;  // other layouts keep the zero distance
    }
    switch (layout_) {
      case Layout::kNull:
        break;
      case Layout::kInt:
        PutInt(i, v.int_value());
        break;
      case Layout::kDateTime:
        PutInt(i, v.datetime_ticks());
        break;
      case Layout::kDateTime2:
        PutInt(i, v.datetime2_units());
        break;
      case Layout::kDecimal:
        PutInt(i, static_cast<int64_t>(v.decimal_unscaled()));
        break;
      case Layout::kWideDecimal: {
        const auto u = static_cast<unsigned __int128>(v.decimal_unscaled());
        const uint64_t halves[2] = {static_cast<uint64_t>(u), static_cast<uint64_t>(u >> 64)};
        std::memcpy(&data_[i * 16], halves, 16);
        break;
      }
      case Layout::kFloat: {
        const double d = v.float_value();
        std::memcpy(&data_[i * 8], &d, 8);
        break;
      }
      case Layout::kString: {
        const std::string_view s = v.string_value();
        std::memcpy(text_.data() + text_at_, s.data(), s.size());
        text_at_ += static_cast<int64_t>(s.size());
        PutDistance(&data_[i * width_], width_, static_cast<uint64_t>(text_at_));
        break;
      }
    }
  }

  // The column as the reader takes it (ColumnView::Take); frees the arrays.
  void Finish(Buffer& out) {
    out.Put(static_cast<uint8_t>(layout_));
    out.Put(static_cast<uint8_t>(has_nulls_));
    out.bytes() += nulls_;
    if (layout_ == Layout::kDecimal || layout_ == Layout::kWideDecimal) out.Put(scale_);
    if (layout_ != Layout::kNull && layout_ != Layout::kWideDecimal && layout_ != Layout::kFloat) {
      out.Put(low_);
      out.Put(width_);
    }
    out.bytes() += data_;
    if (layout_ == Layout::kString) {
      out.Put(text_size_);
      out.bytes() += text_;
    }
    std::string().swap(nulls_);
    std::string().swap(data_);
    std::string().swap(text_);
  }

 private:
  void Range(int64_t v) {
    if (!any_ || v < low_) low_ = v;
    if (!any_ || v > high_) high_ = v;
    any_ = true;
  }
  void PutInt(size_t i, int64_t v) {
    PutDistance(&data_[i * width_], width_, static_cast<uint64_t>(v) - static_cast<uint64_t>(low_));
  }

  std::optional<Value::Kind> kind_;
  bool mixed_ = false, has_nulls_ = false, wide_ = false, any_ = false;
  uint8_t scale_ = 0;
  int64_t low_ = 0, high_ = 0, text_size_ = 0, text_at_ = 0;
  Layout layout_ = Layout::kNull;
  uint8_t width_ = 1;
  std::string nulls_, data_, text_;
};

// The rowids, ascending, as distances from the first.
void PutRowIds(Buffer& out, const std::vector<int64_t>& ids) {
  const int64_t low = ids.front();
  const uint8_t width = WidthFor(static_cast<uint64_t>(ids.back()) - static_cast<uint64_t>(low));
  out.Put(low);
  out.Put(width);
  std::string& bytes = out.bytes();
  const size_t at = bytes.size();
  bytes.resize(at + ids.size() * width);
  for (size_t i = 0; i < ids.size(); ++i) {
    PutDistance(&bytes[at + i * width], width,
                static_cast<uint64_t>(ids[i]) - static_cast<uint64_t>(low));
  }
}

// ---- reading ---------------------------------------------------------------------------------

// A bounded walk through the bytes of a snapshot: any read past its end marks it bad.
class Cursor {
 public:
  Cursor(const uint8_t* p, size_t n) : p_(p), end_(p + n) {}
  const uint8_t* Take(size_t n) {
    if (!ok_ || static_cast<size_t>(end_ - p_) < n) {
      ok_ = false;
      return nullptr;
    }
    const uint8_t* at = p_;
    p_ += n;
    return at;
  }
  template <class T>
  T Get() {
    T v{};
    if (const uint8_t* at = Take(sizeof v)) std::memcpy(&v, at, sizeof v);
    return v;
  }
  bool ok() const { return ok_; }
  size_t left() const { return static_cast<size_t>(end_ - p_); }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
  bool ok_ = true;
};

struct IntsView {
  int64_t base = 0;
  uint8_t width = 1;
  const uint8_t* data = nullptr;

  bool Take(Cursor& in, size_t n) {
    base = in.Get<int64_t>();
    width = in.Get<uint8_t>();
    if (width != 1 && width != 2 && width != 4 && width != 8) return false;
    data = in.Take(n * width);
    return in.ok();
  }
  int64_t At(size_t i) const {
    uint64_t d;
    switch (width) {
      case 1:
        d = data[i];
        break;
      case 2: {
        uint16_t x;
        std::memcpy(&x, data + 2 * i, 2);
        d = x;
        break;
      }
      case 4: {
        uint32_t x;
        std::memcpy(&x, data + 4 * i, 4);
        d = x;
        break;
      }
      default:
        std::memcpy(&d, data + 8 * i, 8);
        break;
    }
    return static_cast<int64_t>(static_cast<uint64_t>(base) + d);
  }
};

struct ColumnView {
  Layout layout = Layout::kNull;
  const uint8_t* nulls = nullptr;
  IntsView ints;  // integers, ticks, units, narrow decimals, or the ends of strings
  uint8_t scale = 0;
  const uint8_t* fixed = nullptr;  // wide decimals, floats
  const char* text = nullptr;      // the bytes of strings
  int64_t text_size = 0;

  bool Take(Cursor& in, size_t n) {
    layout = static_cast<Layout>(in.Get<uint8_t>());
    const uint8_t has_nulls = in.Get<uint8_t>();
    if (has_nulls > 1) return false;
    if (has_nulls) nulls = in.Take(n);
    switch (layout) {
      case Layout::kNull:
        return in.ok();
      case Layout::kInt:
      case Layout::kDateTime:
      case Layout::kDateTime2:
        return ints.Take(in, n);
      case Layout::kDecimal:
        scale = in.Get<uint8_t>();
        return scale <= 38 && ints.Take(in, n);
      case Layout::kWideDecimal:
        scale = in.Get<uint8_t>();
        fixed = in.Take(n * 16);
        return scale <= 38 && in.ok();
      case Layout::kFloat:
        fixed = in.Take(n * 8);
        return in.ok();
      case Layout::kString: {
        if (!ints.Take(in, n)) return false;
        text_size = in.Get<int64_t>();
        if (text_size < 0 || static_cast<uint64_t>(text_size) > in.left()) return false;
        text = reinterpret_cast<const char*>(in.Take(static_cast<size_t>(text_size)));
        return in.ok();
      }
    }
    return false;
  }

  // Row i's value (the string ends were checked when the file was opened).
  void At(size_t i, Value& out) const {
    if (nulls && nulls[i]) {
      out = Value();
      return;
    }
    switch (layout) {
      case Layout::kNull:
        out = Value();
        return;
      case Layout::kInt:
        out = Value::Int(ints.At(i));
        return;
      case Layout::kDateTime:
        out = Value::DateTime(ints.At(i));
        return;
      case Layout::kDateTime2:
        out = Value::DateTime2(ints.At(i));
        return;
      case Layout::kDecimal:
        out = Value::Decimal(ints.At(i), scale);
        return;
      case Layout::kWideDecimal: {
        uint64_t lo, hi;
        std::memcpy(&lo, fixed + 16 * i, 8);
        std::memcpy(&hi, fixed + 16 * i + 8, 8);
        out = Value::Decimal(static_cast<Int128>((static_cast<unsigned __int128>(hi) << 64) | lo),
                             scale);
        return;
      }
      case Layout::kFloat: {
        double d;
        std::memcpy(&d, fixed + 8 * i, 8);
        out = Value::Float(d);
        return;
      }
      case Layout::kString: {
        const int64_t begin = i == 0 ? 0 : ints.At(i - 1), end = ints.At(i);
        out = Value::String(std::string_view(text + begin, static_cast<size_t>(end - begin)));
        return;
      }
    }
  }
};

// A snapshot file mapped into memory for reading.
class Mapping {
 public:
  explicit Mapping(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
      void* p = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (p != MAP_FAILED) {
        data_ = static_cast<const uint8_t*>(p);
        size_ = static_cast<size_t>(st.st_size);
        ::madvise(p, size_, MADV_WILLNEED);
      }
    }
    ::close(fd);
  }
  ~Mapping() {
    if (data_) ::munmap(const_cast<uint8_t*>(data_), size_);
  }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  // Takes the file's pages out of this process's memory: they are read again, from the page
  // cache, when next touched (nothing in a read-only private mapping is lost by this).
  void Drop() const {
    if (data_) ::madvise(const_cast<uint8_t*>(data_), size_, MADV_DONTNEED);
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

void PutKey(Buffer& out, const SnapshotKey& key) {
  out.Put(key.version);
  out.Put(key.low_rowid);
  out.Put(key.high_rowid);
  out.Put(key.stamp.inode);
  out.Put(key.stamp.size);
  out.Put(key.stamp.changed_ns);
  out.Put(key.stamp.log_size);
  out.Put(key.stamp.log_changed_ns);
  out.Put(key.stamp.change_counter);
  out.Put(key.stamp.log_checkpoint);
  out.Put(key.stamp.log_salts);
}

SnapshotKey GetKey(Cursor& in) {
  SnapshotKey key;
  key.version = in.Get<int64_t>();
  key.low_rowid = in.Get<int64_t>();
  key.high_rowid = in.Get<int64_t>();
  key.stamp.inode = in.Get<uint64_t>();
  key.stamp.size = in.Get<int64_t>();
  key.stamp.changed_ns = in.Get<int64_t>();
  key.stamp.log_size = in.Get<int64_t>();
  key.stamp.log_changed_ns = in.Get<int64_t>();
  key.stamp.change_counter = in.Get<uint32_t>();
  key.stamp.log_checkpoint = in.Get<uint32_t>();
  key.stamp.log_salts = in.Get<uint64_t>();
  return key;
}

// `n` bytes of a file from `offset` (zeros where it has none). Only for files SQLite holds no
// locks on: closing any descriptor of a file drops every POSIX lock the process has on it.
void ReadHeader(const std::string& path, off_t offset, void* out, size_t n) {
  std::memset(out, 0, n);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  if (::pread(fd, out, n, offset) < 0) std::memset(out, 0, n);
  ::close(fd);
}

}  // namespace

std::optional<FileStamp> StampFile(const std::string& path, sqlite3* connection) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileStamp stamp;
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  stamp.size = static_cast<int64_t>(st.st_size);
  stamp.changed_ns = Nanoseconds(st.st_ctim);
  // The database file is read through the connection's own descriptor: opening and closing
  // one of our own would drop the locks SQLite holds on the file, after which another process
  // closing its connection believes it is the last, checkpoints and deletes the write-ahead log
  // under this one, and this process's later commits go to a log nobody reads.
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(connection, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK && file &&
      file->pMethods) {
    unsigned char counter[4] = {};
    if (file->pMethods->xRead(file, counter, sizeof counter, 24) == SQLITE_OK) {
      std::memcpy(&stamp.change_counter, counter, sizeof counter);
    }
  }
  const std::string log_path = path + "-wal";
  struct stat log;
  if (::stat(log_path.c_str(), &log) == 0 && log.st_size > 0) {
    stamp.log_size = static_cast<int64_t>(log.st_size);
    stamp.log_changed_ns = Nanoseconds(log.st_ctim);
    // The log header holds its checkpoint sequence at byte 12 and its two salts at 16.
    unsigned char header[12];
    ReadHeader(log_path, 12, header, sizeof header);
    std::memcpy(&stamp.log_checkpoint, header, 4);
    std::memcpy(&stamp.log_salts, header + 4, 8);
  }
  return stamp;
}

ColumnSnapshots::ColumnSnapshots(const std::string& data_source_path)
    : data_source_(data_source_path), folder_(data_source_path + ".columns") {}

std::string ColumnSnapshots::FileFor(std::string_view table) const {
  std::string name;
  for (char ch : table) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '#' || c == '-') {
      name.push_back(ch);
    } else if (c >= 'A' && c <= 'Z') {
      name.push_back(static_cast<char>(c - 'A' + 'a'));
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      name += hex;
    }
  }
  return folder_ + "/" + name + ".cols";
}

void ColumnSnapshots::Write(const SnapshotKey& key, const StoredTable& t) const {
  const size_t n = t.rows.size();
  const size_t width = t.columns.size();
  if (n < kSnapshotFromRows || t.row_ids.size() != n) return;
  std::vector<ColumnEncoder> columns(width);
  for (const auto& row : t.rows) {
    if (row.size() != width) return;
    for (size_t c = 0; c < width; ++c) columns[c].Note(row[c]);
  }
  for (ColumnEncoder& column : columns) {
    if (!column.Prepare(n)) return;
  }
  for (size_t i = 0; i < n; ++i) {
    const auto& row = t.rows[i];
    for (size_t c = 0; c < width; ++c) columns[c].Put(i, row[c]);
  }
  // The snapshots hold the file's data: nobody may read them who may not read the file.
  struct stat source;
  if (::stat(data_source_.c_str(), &source) != 0) return;
  const mode_t file_mode = source.st_mode & 0666;
  const mode_t folder_mode = file_mode | ((file_mode & 0444) >> 2);  // searchable where readable
  if (::mkdir(folder_.c_str(), folder_mode) != 0 && errno != EEXIST) return;
  // Written whole under a name of its own, then put in place in one step: a reader finds the
  // old snapshot or the new one, never a part.
  const std::string path = FileFor(t.name);
  const std::string temporary =
      path + ".tmp" + std::to_string(::getpid()) + "-" +
      std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id()));
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, file_mode);
  if (fd < 0) return;
  ::fchmod(fd, file_mode);  // whatever the umask left of it, no more than the file's own
  FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    ::close(fd);
    std::remove(temporary.c_str());
    return;
  }
  bool ok = true;
  int64_t length = 0;
  auto flush = [&](Buffer& b) {
    ok = ok && std::fwrite(b.bytes().data(), 1, b.bytes().size(), file) == b.bytes().size();
    length += static_cast<int64_t>(b.bytes().size());
    std::string().swap(b.bytes());
  };
  Buffer head;
  head.Bytes(kMagic, sizeof kMagic);
  head.Put(kByteOrder);
  PutKey(head, key);
  const std::string definition = Definition(t);
  head.Put(static_cast<uint64_t>(definition.size()));
  head.Bytes(definition.data(), definition.size());
  head.Put(static_cast<uint64_t>(n));
  PutRowIds(head, t.row_ids);
  flush(head);
  for (ColumnEncoder& column : columns) {
    Buffer bytes;
    column.Finish(bytes);
    flush(bytes);
  }
  Buffer end;
  end.Bytes(kEndMark, sizeof kEndMark);
  end.Put(length + static_cast<int64_t>(sizeof kEndMark + sizeof length));
  flush(end);
  // On disk before it takes the snapshot's name: after a crash the name holds a whole file.
  ok = ok && std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
  ok = std::fclose(file) == 0 && ok;
  if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) std::remove(temporary.c_str());
}

struct SnapshotColumns::Parts {
  std::unique_ptr<Mapping> map;
  std::vector<ColumnView> columns;
  size_t n = 0;
  size_t read_since_drop = 0;  // values read since the mapped pages were last dropped
};

SnapshotColumns::SnapshotColumns(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}
SnapshotColumns::~SnapshotColumns() = default;

size_t SnapshotColumns::rows() const { return parts_->n; }
size_t SnapshotColumns::width() const { return parts_->columns.size(); }

void SnapshotColumns::MakeRow(size_t i, std::vector<Value>& row) const {
  const std::vector<ColumnView>& columns = parts_->columns;
  row.resize(columns.size());
  for (size_t c = 0; c < columns.size(); ++c) columns[c].At(i, row[c]);
}

void SnapshotColumns::MakeRows(const std::vector<uint32_t>* positions, std::vector<std::vector<Value>>& rows,
                               std::vector<uint8_t>& made) const {
  // Contiguous parts of the positions, one per core.
  const size_t n = positions ? positions->size() : parts_->n;
  const size_t row_bytes = sizeof(std::vector<Value>) + width() * sizeof(Value) + sizeof(int64_t);
  const size_t threads =
      n >= kThreadsFromRows ? std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8) : 1;
  std::vector<std::exception_ptr> errors(threads);
  StatementMemory* memory = StatementMemory::Current();
  auto make = [&](size_t part) {
    StatementMemory::Scope counted(memory);
    try {
      const size_t begin = n * part / threads, end = n * (part + 1) / threads;
      uint64_t count = 0;
      for (size_t k = begin; k < end; ++k) {
        const size_t i = positions ? (*positions)[k] : k;
        if (made[i]) continue;
        MakeRow(i, rows[i]);
        made[i] = 1;
        ChargeRows(++count, row_bytes);
      }
    } catch (...) {
      errors[part] = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  for (size_t part = 1; part < threads; ++part) helpers.emplace_back(make, part);
  make(0);
  for (std::thread& helper : helpers) helper.join();
  // The rows made hold their values: the pages read for them are not kept. Calls that make a
  // few rows each (a correlated subquery makes those it finds, once per outer row) drop them
  // once a few thousand values were read, not each time: a system call per call over the
  // whole mapping cost 40 times the statement's own work. Scattered rows read a page per
  // value, so this keeps at most some 16 MiB of pages.
  constexpr size_t kDropAfterValues = 4096;
  parts_->read_since_drop += n * width();
  if (parts_->read_since_drop >= kDropAfterValues) {
    parts_->map->Drop();
    parts_->read_since_drop = 0;
  }
  for (const std::exception_ptr& error : errors) {
    if (error) std::rethrow_exception(error);
  }
}

bool SnapshotColumns::IntegerColumn(size_t column, bool ticks, std::vector<int64_t>& values,
                                    std::vector<uint8_t>& nulls) const {
  const ColumnView& view = parts_->columns[column];
  const size_t n = parts_->n;
  values.assign(n, 0);
  nulls.assign(n, 0);
  if (view.layout == Layout::kNull) {
    nulls.assign(n, 1);
    return true;
  }
  if (view.layout != (ticks ? Layout::kDateTime : Layout::kInt)) return false;
  for (size_t i = 0; i < n; ++i) values[i] = view.ints.At(i);
  if (view.nulls) {
    for (size_t i = 0; i < n; ++i) nulls[i] = view.nulls[i] != 0;
  }
  parts_->map->Drop();
  return true;
}

std::unique_ptr<SnapshotColumns::Parts> ColumnSnapshots::Open(const SnapshotKey& key, const StoredTable& t,
                                                              std::vector<int64_t>& row_ids) const {
  if (key.high_rowid - key.low_rowid + 1 < static_cast<int64_t>(kSnapshotFromRows)) return nullptr;
  auto parts = std::make_unique<SnapshotColumns::Parts>();
  parts->map = std::make_unique<Mapping>(FileFor(t.name));
  const Mapping& map = *parts->map;
  if (!map.data()) return nullptr;
  Cursor in(map.data(), map.size());
  const uint8_t* magic = in.Take(sizeof kMagic);
  if (!magic || std::memcmp(magic, kMagic, sizeof kMagic) != 0 || in.Get<uint32_t>() != kByteOrder)
    return nullptr;
  if (!(GetKey(in) == key)) return nullptr;
  const std::string definition = Definition(t);
  const auto definition_size = in.Get<uint64_t>();
  const uint8_t* stored_definition = in.Take(definition.size());
  if (definition_size != definition.size() || !stored_definition ||
      std::memcmp(stored_definition, definition.data(), definition.size()) != 0) {
    return nullptr;
  }
  const auto n64 = in.Get<uint64_t>();
  if (!in.ok() || n64 > in.left()) return nullptr;  // every row takes at least a byte
  const auto n = static_cast<size_t>(n64);
  IntsView ids;
  if (!ids.Take(in, n)) return nullptr;
  std::vector<ColumnView>& columns = parts->columns;
  columns.resize(t.columns.size());
  for (ColumnView& column : columns) {
    if (!column.Take(in, n)) return nullptr;
  }
  const uint8_t* end_mark = in.Take(sizeof kEndMark);
  const auto length = in.Get<int64_t>();
  if (!end_mark || std::memcmp(end_mark, kEndMark, sizeof kEndMark) != 0 || in.left() != 0 ||
      length != static_cast<int64_t>(map.size())) {
    return nullptr;
  }
  // Strings' ends in order and within their bytes, so that every row reads.
  for (const ColumnView& column : columns) {
    if (column.layout != Layout::kString) continue;
    int64_t previous = 0;
    for (size_t i = 0; i < n; ++i) {
      const int64_t end = column.ints.At(i);
      if (end < previous || end > column.text_size) return nullptr;
      previous = end;
    }
  }

  row_ids.resize(n);
  for (size_t i = 0; i < n; ++i) {
    row_ids[i] = ids.At(i);
    if (i > 0 && row_ids[i] <= row_ids[i - 1]) return nullptr;
  }
  if (n == 0 || row_ids.front() != key.low_rowid || row_ids.back() != key.high_rowid) return nullptr;
  parts->n = n;
  return parts;
}

bool ColumnSnapshots::Read(const SnapshotKey& key, StoredTable& t, bool rows_on_demand) const {
  std::vector<int64_t> row_ids;
  std::unique_ptr<SnapshotColumns::Parts> parts = Open(key, t, row_ids);
  if (!parts) return false;
  if (rows_on_demand) {
    t.snapshot = std::shared_ptr<const SnapshotColumns>(new SnapshotColumns(std::move(parts)));
    t.rows.clear();
    t.row_ids = std::move(row_ids);
    return true;
  }

  const SnapshotColumns source(std::move(parts));
  std::vector<std::vector<Value>> rows(source.rows());
  std::vector<uint8_t> made(source.rows(), 0);
  source.MakeRows(nullptr, rows, made);
  t.rows = std::move(rows);
  t.row_ids = std::move(row_ids);
  return true;
}

}  // namespace orv::tsql
