// The joins of a query scope's FROM: hash joins on equality conditions (nested loops only
// without one; probed on every core when large, the index built over the smaller side of an
// inner join; an array indexed by the key where one side's integer ids are dense), CROSS and
// OUTER APPLY, and the join tree built side by side.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>

#include "tsql/exec/from_runner.h"
#include "tsql/storage/memory_limit.h"

namespace orv::tsql::from {

bool FromRunner::EvalKeys(const Row* const* tuple, const std::vector<const BExpr*>& exprs,
                          Value* out) const {
  const EvalCtx ctx = Ctx(tuple);
  bool joins = true;
  for (size_t k = 0; k < exprs.size(); ++k) {
    out[k] = Eval(*exprs[k], ctx);
    if (out[k].is_null()) joins = false;
  }
  return joins;
}

JoinEntries FromRunner::KeyEntries(const TupleSet& side, const std::vector<const BExpr*>& exprs,
                                   const std::vector<SqlType>& types) const {
  const size_t n = exprs.size();
  std::vector<std::pair<int, int>> columns;
  for (const BExpr* e : exprs) CollectOwnColumns(*e, columns);
  auto add = [&](size_t begin, size_t end, JoinEntries& into) {
    std::vector<Value> key(n);
    into.keys.reserve(into.keys.size() + (end - begin) * n);
    into.hashes.reserve(into.hashes.size() + (end - begin));
    for (size_t t = begin; t < end; ++t) {
      if (t + kRowsAhead < end) PrefetchColumns(side.at(t + kRowsAhead), columns);
      if (!EvalKeys(side.at(t), exprs, key.data())) continue;
      into.hashes.push_back(HashKey(key.data(), types.data(), n));
      for (size_t k = 0; k < n; ++k) into.keys.push_back(std::move(key[k]));
      into.rows.push_back(static_cast<uint32_t>(t));
    }
  };
  JoinEntries entries;
  if (!WorthMorsels(side.count, kMorselsFrom) || !AllowThreads(exprs)) {
    add(0, side.count, entries);
    return entries;
  }
  std::vector<JoinEntries> parts((side.count + kMorselRows - 1) / kMorselRows);
  RunMorsels(side.count, kMorselRows,
             [&](size_t, size_t m, size_t begin, size_t end) { add(begin, end, parts[m]); });
  size_t total = 0;
  for (const JoinEntries& part : parts) total += part.rows.size();
  entries.keys.reserve(total * n);
  entries.hashes.reserve(total);
  entries.rows.reserve(total);
  for (JoinEntries& part : parts) {
    std::move(part.keys.begin(), part.keys.end(), std::back_inserter(entries.keys));
    entries.hashes.insert(entries.hashes.end(), part.hashes.begin(), part.hashes.end());
    entries.rows.insert(entries.rows.end(), part.rows.begin(), part.rows.end());
    part = JoinEntries();
  }
  return entries;
}

TupleSet FromRunner::Join(const TupleSet& left, const TupleSet& right,
                          const std::vector<JoinKey>& keys,
                          const std::vector<const BExpr*>& residual, ast::JoinType type) {
  TupleSet out;
  out.width = width_;
  bool keep_left = type == ast::JoinType::Left || type == ast::JoinType::Full;
  bool keep_right = type == ast::JoinType::Full;
  std::vector<char> right_matched(keep_right ? right.count : 0, 0);
  // The tuple of a left and a right tuple together, in `tuple`.
  auto merge = [&](const Row* const* l, const Row* const* r, std::vector<const Row*>& tuple) {
    for (size_t k = 0; k < width_; ++k) tuple[k] = l[k] ? l[k] : r[k];
  };
  auto residual_ok = [&](const std::vector<const Row*>& tuple) {
    EvalCtx ctx = Ctx(tuple.data());
    for (const BExpr* p : residual) {
      if (EvalPred(*p, ctx) != Tri::True) return false;
    }
    return true;
  };

  if (keys.empty()) {
    std::vector<const Row*> scratch(width_, nullptr);
    for (size_t l = 0; l < left.count; ++l) {
      CheckCancel(env_);
      bool matched = false;
      for (size_t r = 0; r < right.count; ++r) {
        merge(left.at(l), right.at(r), scratch);
        if (!residual_ok(scratch)) continue;
        out.Append(scratch.data());
        matched = true;
        if (keep_right) right_matched[r] = 1;
      }
      if (!matched && keep_left) out.Append(left.at(l));
    }
  } else {
    size_t n = keys.size();
    std::vector<SqlType> types;
    std::vector<const BExpr*> left_keys, right_keys;
    for (const auto& k : keys) {
      types.push_back(k.type);
      left_keys.push_back(k.left);
      right_keys.push_back(k.right);
    }
    // An inner join of a few tuples with many (a master table's filtered rows with all of its
    // lines, say) on plain columns alone: indexing the many costs far more than probing with
    // them. Evaluating bare columns cannot fail, so the order in which the sides are read
    // changes nothing but the time.
    constexpr size_t kSmallLeftFrom = 4096;
    auto bare = [](const BExpr* e) { return e->kind == BKind::Column && e->depth == 0; };
    if (type == ast::JoinType::Inner && residual.empty() && right.count >= kSmallLeftFrom &&
        left.count * 4 <= right.count && std::all_of(left_keys.begin(), left_keys.end(), bare) &&
        std::all_of(right_keys.begin(), right_keys.end(), bare)) {
      return JoinOnSmallLeft(left, right, left_keys, right_keys, types);
    }
    if (n == 1 && residual.empty() && !keep_right && IsBareIntegerKey(keys[0])) {
      if (std::optional<TupleSet> joined = JoinOnDenseKey(left, right, keys[0], keep_left)) {
        return std::move(*joined);
      }
    }
    JoinEntries entries = KeyEntries(right, right_keys, types);
    const std::vector<Value>& rkeys = entries.keys;
    const std::vector<uint32_t>& entry_row = entries.rows;
    HashIndex index;
    index.Reset(entries.hashes.size());
    index.InsertMany(entries.hashes);
    std::vector<size_t>().swap(entries.hashes);
    // Probes go in blocks: the keys and hashes of a block are computed first, so that the
    // index can be asked for the buckets and chain heads of later probes while earlier ones
    // run (a large index lives outside the cache, and each probe would otherwise wait for it).
    constexpr size_t kBlock = 256, kBucketAhead = 16, kHeadAhead = 8;
    // The left rows' key columns are requested a few tuples ahead as well.
    std::vector<std::pair<int, int>> key_columns;  // (source, column)
    for (const auto& k : keys) CollectOwnColumns(*k.left, key_columns);
    auto probe_range = [&](size_t begin, size_t end, TupleSet& into) {
      std::vector<const Row*> scratch(width_, nullptr);
      std::vector<Value> lkeys(kBlock * n);
      std::vector<size_t> lhash(kBlock);
      std::vector<char> lnull(kBlock);
      for (size_t base = begin; base < end; base += kBlock) {
        const size_t m = std::min(kBlock, end - base);
        for (size_t i = 0; i < m; ++i) {
          if (base + i + kRowsAhead < end) PrefetchColumns(left.at(base + i + kRowsAhead), key_columns);
          Value* key = &lkeys[i * n];
          lnull[i] = !EvalKeys(left.at(base + i), left_keys, key);
          if (!lnull[i]) lhash[i] = HashKey(key, types.data(), n);
        }
        for (size_t i = 0; i < m; ++i) {
          if (i + kBucketAhead < m && !lnull[i + kBucketAhead]) {
            index.PrefetchBucket(lhash[i + kBucketAhead]);
          }
          if (i + kHeadAhead < m && !lnull[i + kHeadAhead]) {
            const uint32_t head = index.PrefetchHead(lhash[i + kHeadAhead]);
            if (head != HashIndex::kNone) __builtin_prefetch(&rkeys[head * n]);
          }
          const size_t l = base + i;
          const Value* key = &lkeys[i * n];
          bool matched = false;
          if (!lnull[i]) {
            index.ForEach(lhash[i], [&](uint32_t id) {
              if (!KeyEqual(key, &rkeys[id * n], types.data(), n)) return true;
              size_t r = entry_row[id];
              merge(left.at(l), right.at(r), scratch);
              if (!residual_ok(scratch)) return true;
              into.Append(scratch.data());
              matched = true;
              if (keep_right) right_matched[r] = 1;
              return true;
            });
          }
          if (!matched && keep_left) into.Append(left.at(l));
        }
      }
    };
    // Most equality joins find at most one row per left row (a key joined to its master row),
    // so room for that many tuples is made at once instead of by repeated doubling, each of
    // which copies every tuple made so far. Room not used is never touched.
    std::vector<const BExpr*> probe_exprs = left_keys;
    probe_exprs.insert(probe_exprs.end(), residual.begin(), residual.end());
    if (!keep_right && WorthMorsels(left.count, kMorselsFrom) && AllowThreads(probe_exprs)) {
      std::vector<TupleSet> parts((left.count + kMorselRows - 1) / kMorselRows);
      RunMorsels(left.count, kMorselRows, [&](size_t, size_t m, size_t begin, size_t end) {
        parts[m].width = width_;
        parts[m].slots.reserve((end - begin) * width_);
        probe_range(begin, end, parts[m]);
      });
      out = Concatenate(parts, width_);
    } else {
      out.slots.reserve(left.count * width_);
      probe_range(0, left.count, out);
    }
  }
  if (keep_right) {
    for (size_t r = 0; r < right.count; ++r) {
      if (!right_matched[r]) out.Append(right.at(r));
    }
  }
  return out;
}

// The inner join of Join with the index built over the left side: each right tuple, in order,
// finds its left matches, and the pairs are then put in the order Join gives them (left tuple
// by left tuple, each one's right tuples in their order).
TupleSet FromRunner::JoinOnSmallLeft(const TupleSet& left, const TupleSet& right,
                                     const std::vector<const BExpr*>& left_keys,
                                     const std::vector<const BExpr*>& right_keys,
                                     const std::vector<SqlType>& types) {
  const size_t n = left_keys.size();
  const JoinEntries entries = KeyEntries(left, left_keys, types);
  const std::vector<Value>& lkeys = entries.keys;
  const std::vector<uint32_t>& lrow = entries.rows;
  HashIndex index;
  index.Reset(entries.hashes.size());
  index.InsertMany(entries.hashes);
  using Pair = std::pair<uint32_t, uint32_t>;  // (left tuple, right tuple)
  std::vector<std::pair<int, int>> key_columns;
  for (const BExpr* k : right_keys) CollectOwnColumns(*k, key_columns);
  auto probe_range = [&](size_t begin, size_t end, std::vector<Pair>& pairs) {
    std::vector<Value> probe(n);
    for (size_t r = begin; r < end; ++r) {
      if ((r & 4095) == 4095) CheckCancel(env_);
      if (r + kRowsAhead < end) PrefetchColumns(right.at(r + kRowsAhead), key_columns);
      if (!EvalKeys(right.at(r), right_keys, probe.data())) continue;
      index.ForEach(HashKey(probe.data(), types.data(), n), [&](uint32_t id) {
        if (KeyEqual(probe.data(), &lkeys[id * n], types.data(), n)) {
          pairs.emplace_back(lrow[id], static_cast<uint32_t>(r));
        }
        return true;
      });
    }
  };
  std::vector<Pair> pairs;
  if (WorthMorsels(right.count, kMorselsFrom)) {
    std::vector<std::vector<Pair>> parts((right.count + kMorselRows - 1) / kMorselRows);
    RunMorsels(right.count, kMorselRows,
               [&](size_t, size_t m, size_t begin, size_t end) { probe_range(begin, end, parts[m]); });
    size_t total = 0;
    for (const auto& part : parts) total += part.size();
    pairs.reserve(total);
    for (const auto& part : parts) pairs.insert(pairs.end(), part.begin(), part.end());
  } else {
    probe_range(0, right.count, pairs);
  }
  // The pairs come in right order; placing them by left tuple, in that order, gives Join's.
  std::vector<uint32_t> first(left.count + 1, 0);
  for (const Pair& p : pairs) ++first[p.first + 1];
  for (size_t l = 0; l < left.count; ++l) first[l + 1] += first[l];
  std::vector<uint32_t> next(first.begin(), first.end() - 1);
  std::vector<uint32_t> matches(pairs.size());
  for (const Pair& p : pairs) matches[next[p.first]++] = p.second;
  TupleSet out;
  out.width = width_;
  ChargeMemory(static_cast<int64_t>(pairs.size() * width_ * sizeof(const Row*)));
  out.slots.reserve(pairs.size() * width_);
  std::vector<const Row*> tuple(width_, nullptr);
  for (size_t l = 0; l < left.count; ++l) {
    for (uint32_t i = first[l]; i < first[l + 1]; ++i) {
      const Row* const* a = left.at(l);
      const Row* const* b = right.at(matches[i]);
      for (size_t k = 0; k < width_; ++k) tuple[k] = a[k] ? a[k] : b[k];
      out.Append(tuple.data());
    }
  }
  return out;
}

bool DenseKeyMap::Build(const TupleSet& side, size_t src, size_t col) {
  int64_t low = INT64_MAX, high = INT64_MIN, v = 0;
  for (size_t t = 0; t < side.count; ++t) {
    const KeyIs is = ReadIntKey(side.at(t)[src], col, v);
    if (is == KeyIs::Other) return false;
    if (is == KeyIs::Null) continue;
    low = std::min(low, v);
    high = std::max(high, v);
  }
  // One entry per value in the range: a range much wider than the side would cost more to
  // clear than hashing costs.
  constexpr uint64_t kSpanFrom = 4096, kSpanAtMost = uint64_t{1} << 24;
  if (low > high) return false;
  const uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low) + 1;
  if (span > kSpanAtMost || span > std::max<uint64_t>(kSpanFrom, 4 * side.count)) return false;
  low_ = low;
  head_.assign(span, kNone);
  next_.assign(side.count, kNone);
  // Built back to front, so that each chain lists its tuples in their order.
  for (size_t t = side.count; t-- > 0;) {
    if (ReadIntKey(side.at(t)[src], col, v) != KeyIs::Int) continue;
    const uint64_t i = static_cast<uint64_t>(v) - static_cast<uint64_t>(low_);
    next_[t] = head_[i];
    head_[i] = static_cast<uint32_t>(t);
  }
  return true;
}

std::optional<TupleSet> FromRunner::JoinOnDenseKey(const TupleSet& left, const TupleSet& right,
                                                   const JoinKey& key, bool keep_left) {
  DenseKeyMap map;
  if (!map.Build(right, static_cast<size_t>(key.right->src), static_cast<size_t>(key.right->col))) {
    return std::nullopt;
  }
  // The sources the right side fills: those of its tuples' rows (one, unless it is a join).
  std::vector<char> fills(width_, 0);
  for (size_t r = 0; r < right.count; ++r) {
    const Row* const* tuple = right.at(r);
    for (size_t s = 0; s < width_; ++s) fills[s] |= tuple[s] != nullptr;
  }
  Lookup lookup{&right, &map, {}, static_cast<size_t>(key.left->src),
                static_cast<size_t>(key.left->col), keep_left};
  for (size_t s = 0; s < width_; ++s) {
    if (fills[s]) lookup.sources.push_back(s);
  }
  return ExtendThroughLookups(left, {lookup}, Mask{1} << lookup.key_source);
}

// CROSS / OUTER APPLY of a lateral source: its query runs once for each left tuple, with that
// tuple as its outer context; each of its rows that passes the source's own filters joins the
// tuple. OUTER APPLY (keep_left) keeps a tuple that gets no row, with NULLs.
TupleSet FromRunner::Apply(const TupleSet& left, int source, bool keep_left) {
  BoundSource& src = spec_.sources[static_cast<size_t>(source)];
  const auto& filters = scan_filters_[static_cast<size_t>(source)];
  src.materialized.clear();
  std::vector<size_t> first(left.count + 1);
  std::vector<const Row*> scratch(width_, nullptr);
  EvalCtx filter_ctx = Ctx(scratch.data());
  for (size_t l = 0; l < left.count; ++l) {
    first[l] = src.materialized.size();
    EvalCtx ctx = Ctx(left.at(l));
    for (Row& row : RunQuery(*src.derived, &ctx, env_)) {
      scratch[source] = &row;
      bool pass = true;
      for (const BExpr* f : filters) {
        if (EvalPred(*f, filter_ctx) != Tri::True) {
          pass = false;
          break;
        }
      }
      if (pass) src.materialized.push_back(std::move(row));
    }
  }
  first[left.count] = src.materialized.size();
  src.rows = &src.materialized;
  TupleSet out;
  out.width = width_;
  for (size_t l = 0; l < left.count; ++l) {
    std::copy(left.at(l), left.at(l) + width_, scratch.begin());
    if (first[l] == first[l + 1]) {
      if (!keep_left) continue;
      scratch[source] = nullptr;
      out.Append(scratch.data());
      continue;
    }
    for (size_t r = first[l]; r < first[l + 1]; ++r) {
      scratch[source] = &src.materialized[r];
      out.Append(scratch.data());
    }
  }
  return out;
}

TupleSet FromRunner::Build(BoundJoin& node, Mask& mask) {
  if (node.source >= 0) {
    mask = Mask{1} << node.source;
    return Scan(node.source);
  }
  Mask lmask = 0, rmask = 0;
  if (node.type == ast::JoinType::CrossApply || node.type == ast::JoinType::OuterApply) {
    const bool keep_left = node.type == ast::JoinType::OuterApply;
    TupleSet left = Build(*node.left, lmask);
    const int right = node.right->source;
    if (right >= 0 && spec_.sources[static_cast<size_t>(right)].lateral) {
      mask = lmask | Mask{1} << right;
      return Apply(left, right, keep_left);
    }
    // A right side that reads nothing of the left one is joined as it is.
    TupleSet rows = Build(*node.right, rmask);
    mask = lmask | rmask;
    return Join(left, rows, {}, {}, keep_left ? ast::JoinType::Left : ast::JoinType::Inner);
  }
  if (TupleSet chained; BuildLookupChain(node, mask, chained)) return chained;
  // The right side first when its key values can select the rows of a large table deep in
  // the left side (a month's bills selecting their lines before these are joined to their
  // units and items); otherwise the left side first, whose key values may select the rows of
  // the right side's table.
  TupleSet left, right;
  const BExpr* left_key = nullptr;
  const BExpr* right_key = nullptr;
  if (PreservedKeySource(node, TreeMask(*node.left), TreeMask(*node.right), left_key, right_key) >= 0) {
    right = Build(*node.right, rmask);
    NoteKeyValues(right, *right_key, *left_key);
    left = Build(*node.left, lmask);
  } else {
    left = Build(*node.left, lmask);
    NoteJoinKeys(node, lmask, left);
    right = Build(*node.right, rmask);
  }
  ast::JoinType type = node.type;
  if (type == ast::JoinType::Right) {
    std::swap(left, right);
    std::swap(lmask, rmask);
    type = ast::JoinType::Left;
  }
  std::vector<JoinKey> keys;
  std::vector<const BExpr*> residual, left_filter, right_filter;
  for (const auto& c : node.on) {
    Mask m = MaskOf(*c);
    bool inner = type == ast::JoinType::Inner || type == ast::JoinType::Cross;
    JoinKey key;
    if (m != 0 && Within(m, rmask) && (inner || type == ast::JoinType::Left)) {
      right_filter.push_back(c.get());
    } else if (m != 0 && Within(m, lmask) && inner) {
      left_filter.push_back(c.get());
    } else if (AsJoinKey(*c, lmask, rmask, key)) {
      keys.push_back(key);
    } else {
      residual.push_back(c.get());
    }
  }
  Filter(left, left_filter);
  Filter(right, right_filter);
  mask = lmask | rmask;
  return Join(left, right, keys, residual, type);
}

}  // namespace orv::tsql::from
