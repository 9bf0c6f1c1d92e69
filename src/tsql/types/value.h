// Value: one SQL value at run time, compact (16 bytes). Its meaning comes with the SqlType that
// the binder derived for the expression or column; the Value itself only keeps the physical
// kind: NULL, a 64-bit integer (bit, tinyint, smallint, int, bigint), an exact decimal
// (128-bit unscaled integer and a scale; also money with scale 4; kept inline while it fits in
// 96 bits, as every decimal of up to 28 digits does, else in a shared immutable block), a
// double (float, real), a string (UTF-8 bytes; up to 13 bytes inline, longer ones in a shared
// immutable block), or a datetime (ticks of 1/300 s since 1900-01-01 00:00:00, negative before
// it; also date), or a datetime2 (100 ns units since 0001-01-01 00:00:00 for datetime2 and
// datetimeoffset, since midnight for time; datetimeoffset keeps its local time and the offset
// in minutes). Table rows are arrays of Values, so their size is most of a large table's memory.
// Binary and uniqueidentifier values are strings of raw bytes: their SqlType tells them apart.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace orv::tsql {

using Int128 = __int128;

// datetime in SQL Server's resolution: 300 ticks a second.
inline constexpr int64_t kTicksPerSecond = 300;
inline constexpr int64_t kTicksPerDay = kTicksPerSecond * 86400;

class Value {
 public:
  enum class Kind : uint8_t { Null, Int, Decimal, Float, String, DateTime, DateTime2 };

  Value() = default;
  Value(const Value& other) { CopyFrom(other); }
  Value(Value&& other) noexcept {
    std::memcpy(static_cast<void*>(this), &other, sizeof(Value));
    other.ClearTags();
  }
  Value& operator=(const Value& other) {
    if (this != &other) {
      Release();
      CopyFrom(other);
    }
    return *this;
  }
  Value& operator=(Value&& other) noexcept {
    if (this != &other) {
      Release();
      std::memcpy(static_cast<void*>(this), &other, sizeof(Value));
      other.ClearTags();
    }
    return *this;
  }
  ~Value() { Release(); }

  static Value Null() { return Value(); }
  static Value Int(int64_t v) {
    Value r;
    r.kind_ = Kind::Int;
    r.lo_ = static_cast<uint64_t>(v);
    return r;
  }
  static Value Decimal(Int128 unscaled, int scale) {
    Value r;
    r.kind_ = Kind::Decimal;
    r.scale_ = static_cast<uint8_t>(scale);
    const auto bits = static_cast<unsigned __int128>(unscaled);
    if (const Int128 top = unscaled >> 95; top == 0 || top == -1) [[likely]] {
      r.lo_ = static_cast<uint64_t>(bits);
      r.mid_ = static_cast<uint32_t>(bits >> 64);
    } else {
      r.inline_len_ = kHeapMarker;
      Block* block = NewBlock(sizeof unscaled);
      std::memcpy(block->data(), &unscaled, sizeof unscaled);
      std::memcpy(&r.lo_, &block, sizeof block);
    }
    return r;
  }
  static Value Float(double v) {
    Value r;
    r.kind_ = Kind::Float;
    std::memcpy(&r.lo_, &v, sizeof v);
    return r;
  }
  static Value DateTime(int64_t ticks) {
    Value r;
    r.kind_ = Kind::DateTime;
    r.lo_ = static_cast<uint64_t>(ticks);
    return r;
  }
  static Value DateTime2(int64_t units, int offset_minutes = 0) {
    Value r;
    r.kind_ = Kind::DateTime2;
    r.lo_ = static_cast<uint64_t>(units);
    r.mid_ = static_cast<uint32_t>(offset_minutes);
    return r;
  }
  static Value String(std::string_view s) {
    Value r;
    r.kind_ = Kind::String;
    if (s.size() <= kInlineCapacity) {
      r.inline_len_ = static_cast<uint8_t>(s.size());
      std::memcpy(r.inline_bytes(), s.data(), s.size());
    } else {
      r.inline_len_ = kHeapMarker;
      Block* block = NewBlock(s.size());
      std::memcpy(block->data(), s.data(), s.size());
      std::memcpy(&r.lo_, &block, sizeof block);
    }
    return r;
  }

  Kind kind() const { return kind_; }
  bool is_null() const { return kind_ == Kind::Null; }
  // Whether the two hold the very same thing: the same kind, scale and bytes (not equality
  // under a type's rules: 'a' and 'A', 1.0 and 1.00, 0.0 and -0.0 are not identical).
  bool Identical(const Value& other) const {
    if (std::memcmp(this, &other, sizeof(Value)) == 0) return true;
    if (inline_len_ != kHeapMarker || other.inline_len_ != kHeapMarker || kind_ != other.kind_ ||
        scale_ != other.scale_) {
      return false;
    }
    const Block* a = heap_block();
    const Block* b = other.heap_block();
    return a->size == b->size && std::memcmp(a->data(), b->data(), a->size) == 0;
  }

  int64_t int_value() const { return static_cast<int64_t>(lo_); }
  Int128 decimal_unscaled() const {
    if (inline_len_ != kHeapMarker) [[likely]] {
      const auto hi = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(mid_)));
      return static_cast<Int128>((static_cast<unsigned __int128>(hi) << 64) | lo_);
    }
    Int128 v;
    std::memcpy(&v, heap_block()->data(), sizeof v);
    return v;
  }
  int decimal_scale() const { return scale_; }
  double float_value() const {
    double v;
    std::memcpy(&v, &lo_, sizeof v);
    return v;
  }
  int64_t datetime_ticks() const { return static_cast<int64_t>(lo_); }
  int64_t datetime2_units() const { return static_cast<int64_t>(lo_); }
  int datetime2_offset() const { return static_cast<int32_t>(mid_); }
  std::string_view string_value() const {
    if (inline_len_ != kHeapMarker) return {inline_bytes_const(), inline_len_};
    const Block* block = heap_block();
    return {block->data(), block->size};
  }

 private:
  static constexpr size_t kInlineCapacity = 13;
  static constexpr uint8_t kHeapMarker = 0xFF;

  // A long string's bytes, or a decimal's 128-bit unscaled integer, shared by the copies of a
  // value (counted) and never changed.
  struct Block {
    std::atomic<uint32_t> refs;
    size_t size;
    char* data() { return reinterpret_cast<char*>(this + 1); }
    const char* data() const { return reinterpret_cast<const char*>(this + 1); }
  };
  static Block* NewBlock(size_t size) {
    auto* block = static_cast<Block*>(::operator new(sizeof(Block) + size));
    new (&block->refs) std::atomic<uint32_t>(1);
    block->size = size;
    return block;
  }

  // Inline strings use lo_, mid_ and the spare byte after them: 13 contiguous bytes.
  char* inline_bytes() { return reinterpret_cast<char*>(&lo_); }
  const char* inline_bytes_const() const { return reinterpret_cast<const char*>(&lo_); }
  Block* heap_block() const {
    Block* block;
    std::memcpy(&block, &lo_, sizeof block);
    return block;
  }
  void CopyFrom(const Value& other) {
    std::memcpy(static_cast<void*>(this), &other, sizeof(Value));
    if (inline_len_ == kHeapMarker) [[unlikely]] {
      heap_block()->refs.fetch_add(1, std::memory_order_relaxed);
    }
  }
  // Leaves a moved-from value Null with one 8-byte store over all its tag bytes. Setting
  // kind_ alone is a byte store that the destructor's wider read of the tags (kind_ and
  // inline_len_ together) cannot take its data from, which stalls every moved-from value's
  // destruction until the store has reached the cache.
  void ClearTags() {
    static_assert(offsetof(Value, mid_) + sizeof(uint64_t) == sizeof(Value),
                  "the tags are in the last eight bytes");
    constexpr uint64_t kZero = 0;
    std::memcpy(reinterpret_cast<char*>(this) + offsetof(Value, mid_), &kZero, sizeof kZero);
  }
  // Small enough to be inlined everywhere (values are released by the million); the rare
  // shared block is let go out of line. Only a value holding a block has the heap marker.
  // Called only where the value is overwritten next or ends.
  void Release() {
    if (inline_len_ == kHeapMarker) [[unlikely]] ReleaseBlock();
  }
  // Out of line: the compiler cannot see where a block came from once Release is inlined into
  // callers that only ever hold inline strings, and warns about freeing them.
  void ReleaseBlock() noexcept;

  // 12 payload bytes (a decimal's low 96 bits; a datetime2's units and offset), then one more
  // byte usable by inline strings, then the tags.
  uint64_t lo_ = 0;
  uint32_t mid_ = 0;
  [[maybe_unused]] char spare_ = 0;  // read and written through the other fields
  uint8_t inline_len_ = 0;  // an inline string's length, or kHeapMarker: the value holds a block
  uint8_t scale_ = 0;
  Kind kind_ = Kind::Null;
};

static_assert(sizeof(Value) == 16, "Value must stay compact");

}  // namespace orv::tsql
