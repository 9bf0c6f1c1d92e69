// Window functions. The functions that share a PARTITION BY and ORDER BY are computed
// together: the rows' keys are evaluated once, the rows sorted once by them, and each
// function then makes one pass over each partition. Frames that start at the partition's
// first row (or end at its last) are running accumulations; other frames are accumulated
// anew only when they differ from the previous row's, so a frame of a few rows around each
// row costs a few rows per row.
#include "tsql/exec/window.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

#include "tsql/exec/aggregate.h"
#include "tsql/exec/row_order.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

using Fn = WindowDef::Fn;
using BoundKind = ast::WindowBound::Kind;

bool SameOrdering(const WindowDef& a, const WindowDef& b) {
  if (a.partition.size() != b.partition.size() || a.order.size() != b.order.size() ||
      a.descending != b.descending) {
    return false;
  }
  for (size_t i = 0; i < a.partition.size(); ++i) {
    if (!SameExpr(*a.partition[i], *b.partition[i])) return false;
  }
  for (size_t i = 0; i < a.order.size(); ++i) {
    if (!SameExpr(*a.order[i], *b.order[i])) return false;
  }
  return true;
}

AggregateSpec SpecOf(const WindowDef& def, const BExpr& window) {
  AggregateSpec spec;
  spec.result = window.type;
  if (def.args.empty()) {
    spec.fn = AggregateSpec::Fn::CountStar;
    return spec;
  }
  spec.arg = def.args[0]->type;
  const std::string& n = def.aggregate;
  spec.fn = n == "COUNT" || n == "COUNT_BIG" ? AggregateSpec::Fn::Count
            : n == "SUM"                     ? AggregateSpec::Fn::Sum
            : n == "AVG"                     ? AggregateSpec::Fn::Avg
            : n == "MIN"                     ? AggregateSpec::Fn::Min
            : n == "MAX"                     ? AggregateSpec::Fn::Max
                                             : AggregateSpec::StatisticFn(n);
  return spec;
}

// The rows of one ordering, sorted: positions 0..n-1 in window order, and for each position
// its partition's and its peers' (equal ORDER BY keys) first and one-past-last positions.
struct Layout {
  std::vector<uint32_t> row;  // position -> row
  std::vector<uint32_t> part_begin, part_end, peer_begin, peer_end;
};

Layout Arrange(const WindowDef& def, const std::vector<Row>& keys) {
  const size_t n = keys.size();
  const size_t np = def.partition.size();
  const size_t nk = np + def.order.size();
  Layout l;
  if (nk == 0) {
    l.row.resize(n);
    std::iota(l.row.begin(), l.row.end(), 0);
  } else {
    std::vector<SortKey> sort_keys;
    for (size_t k = 0; k < np; ++k) sort_keys.push_back({k, def.partition[k]->type, false});
    for (size_t k = 0; k < def.order.size(); ++k) {
      sort_keys.push_back({np + k, def.order[k]->type, def.descending[k]});
    }
    std::vector<const Row*> pointers(n);
    for (size_t i = 0; i < n; ++i) pointers[i] = &keys[i];
    l.row = SortedOrder(pointers.data(), n, sort_keys);
  }
  auto equal = [&](size_t a, size_t b, size_t from, size_t to) {
    const Row& x = keys[l.row[a]];
    const Row& y = keys[l.row[b]];
    for (size_t k = from; k < to; ++k) {
      const SqlType& type = k < np ? def.partition[k]->type : def.order[k - np]->type;
      if (CompareNullable(x[k], y[k], type) != 0) return false;
    }
    return true;
  };
  l.part_begin.resize(n);
  l.peer_begin.resize(n);
  for (size_t p = 0; p < n; ++p) {
    const bool same_part = p > 0 && equal(p - 1, p, 0, np);
    l.part_begin[p] = same_part ? l.part_begin[p - 1] : static_cast<uint32_t>(p);
    const bool same_peer = same_part && equal(p - 1, p, np, nk);
    l.peer_begin[p] = same_peer ? l.peer_begin[p - 1] : static_cast<uint32_t>(p);
  }
  l.part_end.resize(n);
  l.peer_end.resize(n);
  for (size_t p = n; p-- > 0;) {
    const bool last_of_part = p + 1 == n || l.part_begin[p + 1] != l.part_begin[p];
    l.part_end[p] = last_of_part ? static_cast<uint32_t>(p + 1) : l.part_end[p + 1];
    const bool last_of_peers = p + 1 == n || l.peer_begin[p + 1] != l.peer_begin[p];
    l.peer_end[p] = last_of_peers ? static_cast<uint32_t>(p + 1) : l.peer_end[p + 1];
  }
  return l;
}

// The frame of the row at position p: positions [begin, end), empty when end <= begin.
struct Frame {
  int64_t begin, end;
};

Frame FrameAt(const WindowDef& def, const Layout& l, size_t p) {
  const auto pb = static_cast<int64_t>(l.part_begin[p]);
  const auto pe = static_cast<int64_t>(l.part_end[p]);
  if (def.order.empty()) return {pb, pe};
  const auto at = static_cast<int64_t>(p);
  Frame f{pb, pe};
  switch (def.start.kind) {
    case BoundKind::UnboundedPreceding: f.begin = pb; break;
    case BoundKind::Preceding: f.begin = at - def.start.offset; break;
    case BoundKind::CurrentRow: f.begin = def.rows ? at : l.peer_begin[p]; break;
    case BoundKind::Following: f.begin = at + def.start.offset; break;
    case BoundKind::UnboundedFollowing: f.begin = pe; break;
  }
  switch (def.end.kind) {
    case BoundKind::UnboundedPreceding: f.end = pb; break;
    case BoundKind::Preceding: f.end = at - def.end.offset + 1; break;
    case BoundKind::CurrentRow: f.end = def.rows ? at + 1 : l.peer_end[p]; break;
    case BoundKind::Following: f.end = at + def.end.offset + 1; break;
    case BoundKind::UnboundedFollowing: f.end = pe; break;
  }
  f.begin = std::clamp(f.begin, pb, pe);
  f.end = std::clamp(f.end, pb, pe);
  return f;
}

// One window function's values by position, from its arguments' values by row.
class Computation {
 public:
  Computation(const BExpr& window, const Layout& layout, const std::vector<Value>& args,
              size_t nargs, std::vector<Value>& out, size_t stride)
      : window_(window),
        def_(*window.window),
        l_(layout),
        args_(args),
        nargs_(nargs),
        out_(out),
        stride_(stride) {}

  void Run() {
    const size_t n = l_.row.size();
    for (size_t pb = 0; pb < n; pb = l_.part_end[pb]) Partition(pb, l_.part_end[pb]);
  }

 private:
  const Value& Arg(size_t position, size_t i) const {
    return args_[l_.row[position] * nargs_ + i];
  }
  Value& Out(size_t position) const {
    return out_[l_.row[position] * stride_ + static_cast<size_t>(window_.slot)];
  }

  void Partition(size_t pb, size_t pe) {
    switch (def_.fn) {
      case Fn::RowNumber:
        for (size_t p = pb; p < pe; ++p) Out(p) = Value::Int(static_cast<int64_t>(p - pb + 1));
        return;
      case Fn::Rank:
        for (size_t p = pb; p < pe; ++p) {
          Out(p) = Value::Int(static_cast<int64_t>(l_.peer_begin[p] - pb + 1));
        }
        return;
      case Fn::DenseRank: {
        int64_t rank = 0;
        for (size_t p = pb; p < pe; ++p) {
          if (l_.peer_begin[p] == p) ++rank;
          Out(p) = Value::Int(rank);
        }
        return;
      }
      case Fn::Ntile:
        return Ntile(pb, pe);
      case Fn::PercentRank:
      case Fn::CumeDist: {
        // PERCENT_RANK: (rank - 1) / (rows - 1), 0 for a partition of one row; CUME_DIST: the
        // share of the partition's rows up to the last of the row's peers.
        const auto rows = static_cast<double>(pe - pb);
        for (size_t p = pb; p < pe; ++p) {
          const double x =
              def_.fn == Fn::CumeDist
                  ? static_cast<double>(l_.peer_end[p] - pb) / rows
                  : (rows > 1 ? static_cast<double>(l_.peer_begin[p] - pb) / (rows - 1) : 0.0);
          Out(p) = Value::Float(x);
        }
        return;
      }
      case Fn::PercentileCont:
      case Fn::PercentileDisc:
        return Percentile(pb, pe);
      case Fn::Lag:
      case Fn::Lead:
        return Offset(pb, pe);
      case Fn::FirstValue:
      case Fn::LastValue:
        for (size_t p = pb; p < pe; ++p) {
          const Frame f = FrameAt(def_, l_, p);
          if (f.end <= f.begin) {
            Out(p) = Value();
          } else {
            const auto at = static_cast<size_t>(def_.fn == Fn::FirstValue ? f.begin : f.end - 1);
            Out(p) = Arg(at, 0);
          }
        }
        return;
      case Fn::Aggregate:
        return Aggregate(pb, pe);
    }
  }

  // NTILE(k): k groups in order, the first (rows % k) of them one row larger.
  void Ntile(size_t pb, size_t pe) {
    const Value& count = Arg(pb, 0);
    if (count.is_null() || count.int_value() <= 0) {
      ThrowError(4116, {"The function 'ntile' takes only a positive int or bigint expression "
                        "as its input."});
    }
    const auto k = static_cast<uint64_t>(count.int_value());
    const uint64_t size = pe - pb;
    const uint64_t q = size / k, r = size % k;
    for (size_t p = pb; p < pe; ++p) {
      const uint64_t j = p - pb;
      const uint64_t tile = j < r * (q + 1) ? j / (q + 1) : r + (j - r * (q + 1)) / q;
      Out(p) = Value::Int(static_cast<int64_t>(tile + 1));
    }
  }

  // LAG / LEAD: the value `offset` rows before / after in the partition, else the default.
  void Offset(size_t pb, size_t pe) {
    for (size_t p = pb; p < pe; ++p) {
      int64_t offset = 1;
      if (nargs_ > 1) {
        const Value& o = Arg(p, 1);
        if (o.is_null()) {
          Out(p) = Value();
          continue;
        }
        offset = o.int_value();
        if (offset < 0) {
          ThrowError(8730, {"Offset parameter for Lag and Lead functions cannot be a negative "
                            "value."});
        }
      }
      const int64_t target =
          static_cast<int64_t>(p) + (def_.fn == Fn::Lag ? -offset : offset);
      if (target >= static_cast<int64_t>(pb) && target < static_cast<int64_t>(pe)) {
        Out(p) = Arg(static_cast<size_t>(target), 0);
      } else {
        Out(p) = nargs_ > 2 ? Arg(p, 2) : Value();
      }
    }
  }

  // The partition's non-NULL values in window order; CONT interpolates at fraction * (n - 1)
  // between its neighbours, DISC takes the first value whose cumulative share reaches the
  // fraction.
  void Percentile(size_t pb, size_t pe) {
    std::vector<size_t> at;
    for (size_t p = pb; p < pe; ++p) {
      if (!Arg(p, 1).is_null()) at.push_back(p);
    }
    Value result;
    const Value& fraction = Arg(pb, 0);
    if (!at.empty() && !fraction.is_null()) {
      const double f = fraction.float_value();
      // A fraction outside [0, 1] would point outside the partition.
      if (!(f >= 0 && f <= 1)) {
        ThrowError(1023, {"1", def_.fn == Fn::PercentileCont ? "percentile_cont" : "percentile_disc"});
      }
      const double n = static_cast<double>(at.size());
      if (def_.fn == Fn::PercentileCont) {
        const double rn = f * (n - 1);
        const auto lo = static_cast<size_t>(std::floor(rn));
        const auto hi = static_cast<size_t>(std::ceil(rn));
        const double a = Arg(at[lo], 1).float_value(), b = Arg(at[hi], 1).float_value();
        result = Value::Float(a + (rn - static_cast<double>(lo)) * (b - a));
      } else {
        size_t i = 0;
        while (i + 1 < at.size() && static_cast<double>(i + 1) / n < f) ++i;
        result = Arg(at[i], 1);
      }
    }
    for (size_t p = pb; p < pe; ++p) Out(p) = result;
  }

  void Add(Accumulator& acc, const AggregateSpec& spec, size_t position) const {
    if (spec.fn == AggregateSpec::Fn::CountStar) {
      acc.AddRow();
    } else {
      acc.Add(spec, Arg(position, 0));
    }
  }

  void Aggregate(size_t pb, size_t pe) {
    const AggregateSpec spec = SpecOf(def_, window_);
    const bool from_first = def_.order.empty() || def_.start.kind == BoundKind::UnboundedPreceding;
    const bool to_last = def_.order.empty() || def_.end.kind == BoundKind::UnboundedFollowing;
    if (from_first) {
      // Running: each row's frame ends at or after the previous row's.
      Accumulator acc;
      auto added = static_cast<int64_t>(pb);
      for (size_t p = pb; p < pe; ++p) {
        const Frame f = FrameAt(def_, l_, p);
        for (; added < f.end; ++added) Add(acc, spec, static_cast<size_t>(added));
        Out(p) = acc.Finish(spec);
      }
      return;
    }
    if (to_last) {
      // Running from the partition's end: each row's frame starts at or before the next's.
      Accumulator acc;
      auto from = static_cast<int64_t>(pe);
      for (size_t p = pe; p-- > pb;) {
        const Frame f = FrameAt(def_, l_, p);
        while (from > f.begin) Add(acc, spec, static_cast<size_t>(--from));
        Out(p) = acc.Finish(spec);
      }
      return;
    }
    // Bounded on both sides: accumulated again only when the frame moves.
    Frame last{-1, -1};
    Value value;
    for (size_t p = pb; p < pe; ++p) {
      const Frame f = FrameAt(def_, l_, p);
      if (f.begin != last.begin || f.end != last.end) {
        Accumulator acc;
        for (int64_t q = f.begin; q < f.end; ++q) Add(acc, spec, static_cast<size_t>(q));
        value = acc.Finish(spec);
        last = f;
      }
      Out(p) = value;
    }
  }

  const BExpr& window_;
  const WindowDef& def_;
  const Layout& l_;
  const std::vector<Value>& args_;
  size_t nargs_;
  std::vector<Value>& out_;
  size_t stride_;
};

}  // namespace

std::vector<Value> ComputeWindows(const std::vector<BExpr*>& windows, size_t n,
                                  const EvalCtx& base, const RowSetter& set_row) {
  const size_t nw = windows.size();
  std::vector<Value> out(n * nw);
  std::vector<bool> done(nw, false);
  EvalCtx ctx = base;
  for (size_t w = 0; w < nw; ++w) {
    if (done[w]) continue;
    const WindowDef& def = *windows[w]->window;
    std::vector<const BExpr*> group;
    for (size_t v = w; v < nw; ++v) {
      if (!done[v] && SameOrdering(def, *windows[v]->window)) {
        group.push_back(windows[v]);
        done[v] = true;
      }
    }
    // The keys and the arguments of every function of the group, row by row.
    const size_t nkeys = def.partition.size() + def.order.size();
    std::vector<Row> keys(n);
    std::vector<std::vector<Value>> args(group.size());
    for (size_t g = 0; g < group.size(); ++g) args[g].resize(n * group[g]->window->args.size());
    for (size_t i = 0; i < n; ++i) {
      if ((i & 4095) == 4095) CheckCancel(*ctx.env);
      set_row(i, ctx);
      Row& key = keys[i];
      key.reserve(nkeys);
      for (const auto& e : def.partition) key.push_back(Eval(*e, ctx));
      for (const auto& e : def.order) key.push_back(Eval(*e, ctx));
      for (size_t g = 0; g < group.size(); ++g) {
        const auto& fn_args = group[g]->window->args;
        for (size_t a = 0; a < fn_args.size(); ++a) {
          args[g][i * fn_args.size() + a] = Eval(*fn_args[a], ctx);
        }
      }
    }
    const Layout layout = Arrange(def, keys);
    std::vector<Row>().swap(keys);
    for (size_t g = 0; g < group.size(); ++g) {
      Computation(*group[g], layout, args[g], group[g]->window->args.size(), out, nw).Run();
    }
  }
  return out;
}

}  // namespace orv::tsql
