// The foundation objects that carry conditions and packaged rows: the keyed dictionary, the
// vector, and the string builder.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/object.h"
#include "automation/variant.h"

namespace orv::automation {

// Keyed dictionary. Keys compare without regard to letter case (ASCII); the first spelling of a
// key is kept and reported by Keys(). Item of an absent key is Empty: the reports treat Empty
// as "not given". Item(key) = value on a present key replaces its value.
class Dictionary : public Object {
 public:
  Variant Item(std::string_view key) const;
  void SetItem(std::string_view key, Variant value);
  bool Exists(std::string_view key) const;
  Variant GetValue(std::string_view key, const Variant& default_value) const;
  void Remove(std::string_view key);  // an absent key is left alone
  size_t Count() const { return entries_.size(); }
  std::vector<std::string> Keys() const;  // in insertion order

 private:
  std::vector<std::pair<std::string, Variant>> entries_;  // insertion order
  ptrdiff_t Find(std::string_view key) const;
};

std::shared_ptr<Dictionary> NewDictionary();

// Ordered list of Variants.
class Vector : public Object {
 public:
  int32_t Add(Variant item);  // returns the new count
  size_t Count() const { return items_.size(); }
  const Variant& Item(size_t index) const;  // 0-based; out of range -> error 9
  const std::vector<Variant>& items() const { return items_; }

 private:
  std::vector<Variant> items_;
};

// "daroz.stringbuilder"
class StringBuilder : public Object {
 public:
  void Append(std::string_view text) { text_.append(text); }
  const std::string& StringValue() const { return text_; }

 private:
  std::string text_;
};

}  // namespace orv::automation
