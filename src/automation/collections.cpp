// The keyed dictionary and the vector.
#include "automation/collections.h"

#include <utility>

#include "automation/error.h"

namespace orv::automation {

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool KeysEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

ptrdiff_t Dictionary::Find(std::string_view key) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (KeysEqual(entries_[i].first, key)) return static_cast<ptrdiff_t>(i);
  }
  return -1;
}

Variant Dictionary::Item(std::string_view key) const {
  ptrdiff_t index = Find(key);
  return index < 0 ? Variant() : entries_[static_cast<size_t>(index)].second;
}

void Dictionary::SetItem(std::string_view key, Variant value) {
  ptrdiff_t index = Find(key);
  if (index < 0) {
    entries_.emplace_back(std::string(key), std::move(value));
  } else {
    entries_[static_cast<size_t>(index)].second = std::move(value);
  }
}

bool Dictionary::Exists(std::string_view key) const { return Find(key) >= 0; }

Variant Dictionary::GetValue(std::string_view key, const Variant& default_value) const {
  ptrdiff_t index = Find(key);
  return index < 0 ? default_value : entries_[static_cast<size_t>(index)].second;
}

void Dictionary::Remove(std::string_view key) {
  ptrdiff_t index = Find(key);
  if (index >= 0) entries_.erase(entries_.begin() + index);
}

std::vector<std::string> Dictionary::Keys() const {
  std::vector<std::string> keys;
  keys.reserve(entries_.size());
  for (const auto& entry : entries_) keys.push_back(entry.first);
  return keys;
}

std::shared_ptr<Dictionary> NewDictionary() { return std::make_shared<Dictionary>(); }

int32_t Vector::Add(Variant item) {
  items_.push_back(std::move(item));
  return static_cast<int32_t>(items_.size());
}

const Variant& Vector::Item(size_t index) const {
  if (index >= items_.size()) Raise(err::kSubscriptOutOfRange);
  return items_[index];
}

}  // namespace orv::automation
