#include "demo/generator.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "demo/calendar.h"

namespace orv::demo {
namespace {

// splitmix64: tiny, fast and the same on every platform (the standard distributions are not).
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 0x1234567ULL) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform integer in [lo, hi].
  int64_t Range(int64_t lo, int64_t hi) {
    return lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(hi - lo + 1));
  }
  bool Percent(int pct) { return Range(0, 99) < pct; }
  template <class T>
  const T& Pick(const std::vector<T>& v) {
    return v[static_cast<size_t>(Range(0, static_cast<int64_t>(v.size()) - 1))];
  }

 private:
  uint64_t state_;
};

std::string Text(std::string_view s) {
  std::string out = "'";
  for (char c : s) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  out.push_back('\'');
  return out;
}

// A fixed-point number with the given decimals, as SQL text.
std::string Num(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  std::string s = buf;
  if (s == "-0" || s.rfind("-0.", 0) == 0) {
    bool all_zero = std::all_of(s.begin() + 1, s.end(), [](char c) { return c == '0' || c == '.'; });
    if (all_zero) s.erase(0, 1);
  }
  return s;
}

double RoundTo(double v, int decimals) {
  const double f = std::pow(10.0, decimals);
  return std::round(v * f) / f;
}

std::string Int(int64_t v) { return std::to_string(v); }
std::string NullOr(bool present, const std::string& text) { return present ? text : "NULL"; }

// Collects rows of one table and hands them to the sink as INSERT batches of <= 1000 rows.
class TableWriter {
 public:
  TableWriter(const std::function<void(const std::string&)>& sink, std::string table,
              std::string columns)
      : sink_(sink), head_("INSERT INTO " + std::move(table) + " (" + std::move(columns) + ") VALUES\n") {}
  ~TableWriter() { Flush(); }
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  void Row(std::initializer_list<std::string> values) {
    if (rows_ == 0) batch_ = head_;
    else batch_ += ",\n";
    batch_ += '(';
    bool first = true;
    for (const std::string& v : values) {
      if (!first) batch_ += ',';
      batch_ += v;
      first = false;
    }
    batch_ += ')';
    if (++rows_ == 1000) Flush();
  }
  void Flush() {
    if (rows_ == 0) return;
    sink_(batch_);
    batch_.clear();
    rows_ = 0;
  }

 private:
  const std::function<void(const std::string&)>& sink_;
  std::string head_;
  std::string batch_;
  int rows_ = 0;
};

struct Unit {
  int id;
  int group;
  const char* number;
  const char* name;
  double coefficient;
};

// Unit groups: pieces (base 个), weight (base 千克), length (base 米).
const std::vector<Unit>& Units() {
  static const std::vector<Unit> kUnits = {
      {1, 1, "PCS", "个", 1},      {2, 1, "BOX", "箱", 12},    {3, 1, "DZ", "打", 12},
      {4, 1, "CTN", "件", 50},     {5, 2, "KG", "千克", 1},    {6, 2, "G", "克", 0.001},
      {7, 2, "T", "吨", 1000},     {8, 3, "M", "米", 1},       {9, 3, "KM", "千米", 1000},
  };
  return kUnits;
}

const Unit& UnitById(int id) { return Units()[static_cast<size_t>(id - 1)]; }

struct Item {
  int id;
  std::string number;
  std::string short_number;
  std::string name;
  std::string model;
  int base_unit;
  int store_unit;
  int qty_decimal;
  int price_decimal;
  double unit_cost;  // per base unit
};

struct Task {
  int id;
  std::string bill_no;
  int64_t date;
  int product;  // index into products
  std::string batch;  // "" with has_batch false means NULL
  bool has_batch;
  int unit;
  double plan_aux;
  double finish_aux;
  int status;
  bool cancelled;
  int64_t begin;
  int64_t plan_finish;
  int64_t finish;  // -1 when not finished
};

struct Sizes {
  int products;
  int materials;
  int departments;
  int employees;
  int tasks;
  int history_days;
};

Sizes SizesOf(Size size) {
  switch (size) {
    case Size::Tiny: return {6, 10, 3, 6, 30, 90};
    case Size::Demo: return {60, 240, 6, 30, 3000, 365};
    case Size::Large: return {5000, 15000, 40, 400, 200000, 365};
  }
  return {};
}

const char* const kProductNames[] = {"电机外壳", "齿轮箱",   "减速器",   "水泵总成", "控制柜",
                                     "传动轴",   "液压缸",   "风机叶轮", "阀门组件", "散热器",
                                     "轴承座",   "联轴器"};
const char* const kMaterialNames[] = {"冷轧钢板", "不锈钢棒", "铜线",   "铝型材", "螺栓M8",
                                      "螺母M8",   "密封圈",   "轴承",   "油漆",   "塑料粒子",
                                      "电缆",     "橡胶垫",   "焊丝",   "包装箱", "标签"};
const char* const kDepartments[] = {"一车间", "二车间", "装配车间", "机加工车间", "喷涂车间",
                                    "包装车间"};
const char* const kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄", "周", "吴"};
const char* const kGiven[] = {"伟", "芳", "娜", "敏", "静", "强", "磊", "军", "洋", "勇"};

class Generator {
 public:
  Generator(const Options& options, const std::function<void(const std::string&)>& sink)
      : options_(options), sink_(sink), rng_(options.seed), sizes_(SizesOf(options.size)) {
    today_ = DaysFromCivil(2025, 6, 16);
  }

  void Run() {
    Schema();
    Profile();
    Calendar();
    MeasureUnits();
    Items();
    Organisation();
    Tasks();
    StockBills();
    FeeApportionments();
    PeriodCosts();
  }

 private:
  void Schema() {
    // Batches of the schema script are separated by lines holding only GO.
    std::string_view script = SchemaScript();
    std::string batch;
    size_t pos = 0;
    while (pos <= script.size()) {
      size_t eol = script.find('\n', pos);
      if (eol == std::string_view::npos) eol = script.size();
      std::string_view line = script.substr(pos, eol - pos);
      std::string trimmed;
      for (char c : line) {
        if (!std::isspace(static_cast<unsigned char>(c))) trimmed.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
      }
      if (trimmed == "GO") {
        if (!batch.empty()) sink_(batch);
        batch.clear();
      } else {
        batch.append(line);
        batch.push_back('\n');
      }
      pos = eol + 1;
    }
    bool only_space = std::all_of(batch.begin(), batch.end(),
                                  [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
    if (!only_space) sink_(batch);
    sink_("CREATE TABLE t_OrvClock (FToday datetime NOT NULL)\n");
    sink_("INSERT INTO t_OrvClock (FToday) VALUES ('" + std::string(kDemoToday) + "')\n");
  }

  void Profile() {
    TableWriter w(sink_, "t_SystemProfile", "FCategory,FKey,FValue,FExplanation");
    w.Row({Text("GL"), Text("FBWB"), Text("1"), Text("本位币")});
    w.Row({Text("GL"), Text("PeriodCount"), Text("12"), Text("会计期间数")});
    w.Row({Text("IC"), Text("ManufactureAlarmDateCount"), Text("7"), Text("生产任务预警天数")});
    TableWriter c(sink_, "t_Currency", "FCurrencyID,FNumber,FName,FScale");
    c.Row({"1", Text("RMB"), Text("人民币"), "2"});
    c.Row({"2", Text("USD"), Text("美元"), "2"});
    c.Row({"3", Text("JPY"), Text("日元"), "0"});
  }

  void Calendar() {
    TableWriter w(sink_, "t_PeriodDate", "FYear,FPeriod,FStartDate,FEndDate");
    for (int year = 2024; year <= 2025; ++year) {
      for (int month = 1; month <= 12; ++month) {
        w.Row({Int(year), Int(month), SqlDate(DaysFromCivil(year, month, 1)),
               SqlDate(DaysFromCivil(year, month, DaysInMonth(year, month)))});
      }
    }
  }

  void MeasureUnits() {
    TableWriter w(sink_, "t_MeasureUnit",
                  "FMeasureUnitID,FItemID,FUnitGroupID,FNumber,FName,FCoefficient,FScale,FStandard");
    for (const Unit& u : Units()) {
      w.Row({Int(u.id), Int(u.id), Int(u.group), Text(u.number), Text(u.name), Num(u.coefficient, 4),
             "0", u.coefficient == 1 ? "1" : "0"});
    }
  }

  Item MakeItem(int id, const std::string& number, const std::string& name, bool product) {
    Item item;
    item.id = id;
    item.number = number;
    item.short_number = number.substr(number.rfind('.') + 1);
    item.name = name;
    item.model = (product ? "P-" : "M-") + std::to_string(100 + rng_.Range(0, 899));
    const int group = product ? (rng_.Percent(80) ? 1 : 2) : static_cast<int>(rng_.Range(1, 3));
    if (group == 1) {
      item.base_unit = 1;
      item.store_unit = rng_.Percent(50) ? 2 : (rng_.Percent(50) ? 4 : 1);
    } else if (group == 2) {
      item.base_unit = 5;
      item.store_unit = rng_.Percent(60) ? 5 : 7;
    } else {
      item.base_unit = 8;
      item.store_unit = rng_.Percent(50) ? 8 : 9;
    }
    item.qty_decimal = group == 1 ? static_cast<int>(rng_.Range(0, 2)) : static_cast<int>(rng_.Range(2, 4));
    item.price_decimal = static_cast<int>(rng_.Range(2, 6));
    item.unit_cost = RoundTo(product ? rng_.Range(2000, 80000) / 100.0 : rng_.Range(50, 3000) / 100.0, 2);
    return item;
  }

  void Items() {
    int next_id = 1000;
    for (int i = 0; i < sizes_.products; ++i) {
      const int group = i % 4 + 1;
      char number[32];
      std::snprintf(number, sizeof number, "01.%02d.%04d", group, i + 1);
      std::string name = std::string(kProductNames[i % 12]) + (i >= 12 ? "-" + std::to_string(i / 12) : "");
      products_.push_back(MakeItem(++next_id, number, name, true));
    }
    for (int i = 0; i < sizes_.materials; ++i) {
      const int group = i % 5 + 1;
      char number[32];
      std::snprintf(number, sizeof number, "02.%02d.%04d", group, i + 1);
      std::string name = std::string(kMaterialNames[i % 15]) + (i >= 15 ? "-" + std::to_string(i / 15) : "");
      materials_.push_back(MakeItem(++next_id, number, name, false));
    }
    {
      TableWriter w(sink_, "t_ICItem",
                    "FItemID,FNumber,FShortNumber,FName,FModel,FUnitID,FStoreUnitID,FQtyDecimal,FPriceDecimal");
      for (const auto* list : {&products_, &materials_}) {
        for (const Item& it : *list) {
          w.Row({Int(it.id), Text(it.number), Text(it.short_number), Text(it.name), Text(it.model),
                 Int(it.base_unit), Int(it.store_unit), Int(it.qty_decimal), Int(it.price_decimal)});
        }
      }
    }
    // The item tree of class 4: "01"/"02" groups, "01.01"... subgroups, items at level 3; and a
    // two-level tree of class 8.
    TableWriter t(sink_, "t_Item", "FItemID,FItemClassID,FNumber,FName,FParentID,FLevel,FDetail");
    int group_id = 100;
    for (int top = 1; top <= 2; ++top) {
      const int top_id = ++group_id;
      t.Row({Int(top_id), "4", Text(top == 1 ? "01" : "02"), Text(top == 1 ? "产成品" : "原材料"), "0", "1", "0"});
      const int subgroups = top == 1 ? 4 : 5;
      for (int sub = 1; sub <= subgroups; ++sub) {
        char number[16];
        std::snprintf(number, sizeof number, "%02d.%02d", top, sub);
        t.Row({Int(++group_id), "4", Text(number), Text(std::string(top == 1 ? "产品" : "材料") + "类" + std::to_string(sub)),
               Int(top_id), "2", "0"});
      }
    }
    for (const auto* list : {&products_, &materials_}) {
      for (const Item& it : *list) {
        t.Row({Int(it.id), "4", Text(it.number), Text(it.name), "0", "3", "1"});
      }
    }
    t.Row({"201", "8", Text("S01"), Text("供应商组"), "0", "1", "0"});
    t.Row({"202", "8", Text("S01.001"), Text("华东钢材公司"), "201", "2", "1"});
    t.Row({"203", "8", Text("S01.002"), Text("南方电缆厂"), "201", "2", "1"});

    TableWriter p(sink_, "t_ItemPropDesc",
                  "FItemClassID,FPropID,FName,FName_CHT,FName_EN,FSQLColumnName,FSrcTable,FSrcField,FDisplayField,FDataType,FPageName");
    struct Prop {
      int cls, id;
      const char *name, *cht, *en, *column, *table, *field, *display;
      int type;
      const char* page;
    };
    const Prop props[] = {
        {4, 1, "代码", "代碼", "Number", "FNumber", "", "", "", 0, "1.基本资料"},
        {4, 2, "名称", "名稱", "Name", "FName", "", "", "", 0, "1.基本资料"},
        {4, 3, "规格型号", "規格型號", "Model", "FModel", "", "", "", 0, "1.基本资料"},
        {4, 4, "基本计量单位", "基本計量單位", "Base unit", "FUnitID", "t_MeasureUnit", "FMeasureUnitID", "FName", 3, "1.基本资料"},
        {4, 5, "库存计量单位", "庫存計量單位", "Stock unit", "FStoreUnitID", "t_MeasureUnit", "FMeasureUnitID", "FName", 3, "2.物流资料"},
        {4, 6, "数量精度", "數量精度", "Quantity decimals", "FQtyDecimal", "", "", "", 2, "2.物流资料"},
        {4, 7, "备注", "備註", "Remark", "FNote", "", "", "", 11, "1.基本资料"},
        {4, 8, "计划策略", "計劃策略", "Planning policy", "FPlanTrategy", "", "", "", 0, "3.计划资料"},
        {4, 9, "自定义属性1", "自定義屬性1", "User field 1", "F_101", "", "", "", 0, "9.自定义"},
        {8, 1, "代码", "代碼", "Number", "FNumber", "", "", "", 0, "1.基本资料"},
        {8, 2, "名称", "名稱", "Name", "FName", "", "", "", 0, "1.基本资料"},
        {1, 1, "客户代码", "客戶代碼", "Customer number", "FNumber", "", "", "", 0, "1.基本资料"},
    };
    for (const Prop& pr : props) {
      p.Row({Int(pr.cls), Int(pr.id), Text(pr.name), Text(pr.cht), Text(pr.en), Text(pr.column), Text(pr.table),
             Text(pr.field), Text(pr.display), Int(pr.type), Text(pr.page)});
    }
  }

  void Organisation() {
    {
      TableWriter w(sink_, "t_Department", "FItemID,FNumber,FShortNumber,FName");
      for (int i = 0; i < sizes_.departments; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "D%02d", i + 1);
        std::string name = std::string(kDepartments[i % 6]) + (i >= 6 ? std::to_string(i / 6) : "");
        w.Row({Int(300 + i), Text(std::string("01.") + number), Text(number), Text(name)});
        departments_.push_back(300 + i);
      }
    }
    {
      TableWriter w(sink_, "t_Emp", "FItemID,FNumber,FShortNumber,FName,FDepartmentID");
      for (int i = 0; i < sizes_.employees; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "E%03d", i + 1);
        std::string name = std::string(kSurnames[i % 10]) + kGiven[(i / 10 + i) % 10];
        if (i >= 100) name += std::to_string(i / 100);
        w.Row({Int(400 + i), Text(std::string("01.") + number), Text(number), Text(name),
               Int(departments_[static_cast<size_t>(i) % departments_.size()])});
        employees_.push_back(400 + i);
      }
    }
    {
      TableWriter w(sink_, "t_AuxItem", "FItemID,FNumber,FName");
      const char* const names[] = {"红色", "蓝色", "出口型", "内销型", "加强型"};
      for (int i = 0; i < 5; ++i) {
        w.Row({Int(500 + i), Text("A0" + std::to_string(i + 1)), Text(names[i])});
        aux_items_.push_back(500 + i);
      }
    }
    {
      TableWriter w(sink_, "t_Stock", "FItemID,FNumber,FName,FTypeID");
      const char* const names[] = {"成品仓", "半成品仓", "原料仓", "辅料仓", "待检仓", "代管仓"};
      for (int i = 0; i < 6; ++i) {
        // Stocks of type 502 hold goods of others: the cost reports leave them out.
        const int type = i >= 4 ? 502 : 500 + i % 2;
        w.Row({Int(600 + i), Text("S0" + std::to_string(i + 1)), Text(names[i]), Int(type)});
      }
    }
    {
      TableWriter w(sink_, "SEOrder", "FInterID,FBillNo,FDate,FCustID");
      const int orders = std::max(4, sizes_.tasks / 5);
      for (int i = 0; i < orders; ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "SEORD%06d", i + 1);
        w.Row({Int(700000 + i), Text(number), SqlDate(today_ - sizes_.history_days - 10 + rng_.Range(0, sizes_.history_days)), "NULL"});
        orders_.push_back(700000 + i);
      }
    }
  }

  double Coefficient(int unit) const { return UnitById(unit).coefficient; }

  void Tasks() {
    TableWriter w(sink_, "ICMO",
                  "FInterID,FBillNo,FTranType,FDate,FItemID,FBatchNo,FUnitID,FAuxQty,FQty,FAuxFinishQty,FFinishQty,"
                  "FFinishRate,FStatus,FCancellation,FBeginDate,FPlanFinishDate,FFinishDate,FDeptID,FEmpID,"
                  "FOrderInterID,FAuxPropID,FExp");
    TableWriter e(sink_, "ICMOEntry",
                  "FInterID,FEntryID,FItemID,FUnitID,FAuxQty,FQty,FAuxPlanQty,FPlanQty,FAuxDiscountQty,FDiscountQty");
    for (int i = 0; i < sizes_.tasks; ++i) {
      Task t;
      t.id = 10000 + i;
      char bill[32];
      std::snprintf(bill, sizeof bill, "WORK%06d", i + 1);
      t.bill_no = bill;
      // Spread dates over the history, a little denser towards today.
      t.date = today_ - sizes_.history_days + static_cast<int64_t>(
          static_cast<double>(i) * sizes_.history_days / sizes_.tasks) + rng_.Range(0, 2);
      if (t.date > today_) t.date = today_;
      t.product = static_cast<int>(rng_.Range(0, static_cast<int64_t>(products_.size()) - 1));
      const Item& p = products_[static_cast<size_t>(t.product)];
      const CivilDate cd = CivilFromDays(t.date);
      char batch[32];
      std::snprintf(batch, sizeof batch, "B%02d%02d-%02d", cd.year % 100, cd.month, static_cast<int>(rng_.Range(1, 3)));
      t.has_batch = !rng_.Percent(8);
      t.batch = t.has_batch && !rng_.Percent(5) ? batch : "";
      t.unit = rng_.Percent(30) ? p.store_unit : p.base_unit;
      const int qd = t.unit == p.base_unit ? std::min(p.qty_decimal, 2) : 0;
      t.plan_aux = RoundTo(rng_.Range(1, 60) * (t.unit == p.base_unit ? 10.0 : 1.0) + (qd > 0 && rng_.Percent(20) ? 0.5 : 0), qd);
      t.cancelled = rng_.Percent(4);
      const int64_t age = today_ - t.date;
      // Old task orders are mostly closed; recent ones are planned, released or started.
      const int closed_pct = age > 60 ? 75 : age > 20 ? 35 : 10;
      if (rng_.Percent(closed_pct)) t.status = 3;
      else if (rng_.Percent(20)) t.status = 0;
      else t.status = rng_.Percent(60) ? 1 : 2;
      t.begin = t.date + rng_.Range(0, 3);
      t.plan_finish = t.begin + rng_.Range(5, 40);
      double ratio = 0;
      if (t.status == 3) {
        const int shape = static_cast<int>(rng_.Range(0, 9));
        ratio = shape < 6 ? 1.0 : shape < 8 ? 0.9 : 1.05;  // complete, short, over-produced
      } else if (t.status >= 1) {
        ratio = rng_.Range(0, 95) / 100.0;
      }
      t.finish_aux = RoundTo(t.plan_aux * ratio, qd);
      if (t.status == 3) {
        const int when = static_cast<int>(rng_.Range(0, 2));  // on time, early, late
        t.finish = when == 0 ? t.plan_finish : when == 1 ? t.plan_finish - rng_.Range(1, 5) : t.plan_finish + rng_.Range(1, 9);
        if (t.finish > today_) t.finish = today_;
        if (t.finish < t.begin) t.finish = t.begin;
      } else {
        t.finish = -1;
      }
      const double coef = Coefficient(t.unit);
      const double rate = t.plan_aux == 0 ? 0 : RoundTo(t.finish_aux / t.plan_aux * 100, 4);
      std::string remark = rng_.Percent(15) ? Text(rng_.Percent(50) ? "加急" : "客户指定包装") : "NULL";
      const bool has_order = rng_.Percent(60);
      w.Row({Int(t.id), Text(t.bill_no), "85", SqlDate(t.date), Int(p.id), t.has_batch ? Text(t.batch) : "NULL",
             Int(t.unit), Num(t.plan_aux, 4), Num(t.plan_aux * coef, 4), Num(t.finish_aux, 4),
             Num(t.finish_aux * coef, 4), Num(rate, 4), Int(t.status), t.cancelled ? "1" : "0",
             SqlDate(t.begin), SqlDate(t.plan_finish), t.finish >= 0 ? SqlDate(t.finish) : "NULL",
             NullOr(!rng_.Percent(8), Int(rng_.Pick(departments_))), NullOr(!rng_.Percent(10), Int(rng_.Pick(employees_))),
             NullOr(has_order, Int(rng_.Pick(orders_))), NullOr(rng_.Percent(30), Int(rng_.Pick(aux_items_))), remark});

      // Material lines: standard use per product unit, planned use with a small loss allowance,
      // actual use over, equal or under plan on closed task orders.
      const int lines = static_cast<int>(rng_.Range(2, 4)) + (options_.size == Size::Large ? 2 : 0);
      std::vector<MaterialUse> uses;
      for (int l = 0; l < lines; ++l) {
        const Item& m = materials_[static_cast<size_t>(rng_.Range(0, static_cast<int64_t>(materials_.size()) - 1))];
        const int unit = rng_.Percent(25) ? m.store_unit : m.base_unit;
        const int mqd = std::min(m.qty_decimal, 2);
        const double per = rng_.Range(1, 40) / (unit == m.base_unit ? 2.0 : 20.0);
        const double standard = RoundTo(per * t.plan_aux * coef, mqd);
        const double plan = rng_.Percent(30) ? RoundTo(standard * 1.02, mqd) : standard;
        double actual;
        if (t.status == 3) {
          const int shape = static_cast<int>(rng_.Range(0, 2));
          actual = shape == 0 ? plan : RoundTo(plan * (shape == 1 ? 1.05 : 0.95), mqd);
        } else {
          actual = RoundTo(plan * ratio, mqd);
        }
        if (rng_.Percent(3)) actual = 0;
        const double mc = Coefficient(unit);
        e.Row({Int(t.id), Int(l + 1), Int(m.id), Int(unit), Num(standard, 4), Num(standard * mc, 4), Num(plan, 4),
               Num(plan * mc, 4), Num(actual, 4), Num(actual * mc, 4)});
        uses.push_back({&m, unit, actual});
      }
      tasks_.push_back(t);
      material_uses_.push_back(std::move(uses));
    }
  }

  struct MaterialUse {
    const Item* item;
    int unit;
    double actual;
  };

  struct Receipt {
    int bill;
    int64_t date;
    int task;
    double base_qty;
    double amount;
  };

  int StockFor(bool product) {
    // One bill in twenty goes to a stock of type 502.
    if (rng_.Percent(5)) return 604 + static_cast<int>(rng_.Range(0, 1));
    return product ? 600 : 602;
  }

  void StockBills() {
    TableWriter h(sink_, "ICStockBill",
                  "FInterID,FBillNo,FTranType,FDate,FROB,FStatus,FCancellation,FExplanation,FMOItemID,FBatchNo,FMOQty,FMOBaseUnitID");
    TableWriter l(sink_, "ICStockBillEntry",
                  "FInterID,FEntryID,FItemID,FUnitID,FBatchNo,FAuxQty,FQty,FAmount,FSourceTranType,FSourceInterID,FMOInterID,FDCStockID");
    int next_bill = 100000;
    int in_no = 0, out_no = 0;
    auto bill_status = [&]() { return rng_.Percent(4) ? 0 : rng_.Percent(3) ? 2 : 1; };
    for (size_t ti = 0; ti < tasks_.size(); ++ti) {
      const Task& t = tasks_[ti];
      if (t.cancelled && !rng_.Percent(30)) continue;
      const Item& p = products_[static_cast<size_t>(t.product)];
      const std::string batch = t.has_batch ? Text(t.batch) : "NULL";
      const int64_t last = t.finish >= 0 ? t.finish : today_;

      // Material issues (type 24): one bill at the start, with the input production quantity.
      if (t.status >= 1 && t.begin <= today_) {
        const int bill = ++next_bill;
        const int64_t date = std::min(t.begin, today_);
        char no[32];
        std::snprintf(no, sizeof no, "SOUT%06d", ++out_no);
        const int status = bill_status();
        h.Row({Int(bill), Text(no), "24", SqlDate(date), "1", Int(status), "0", Text("生产领料"), Int(p.id), batch,
               Num(t.plan_aux, 4), Int(t.unit)});
        int entry = 0;
        for (const MaterialUse& u : material_uses_[ti]) {
          if (u.actual == 0) continue;
          const double base = u.actual * Coefficient(u.unit);
          const double amount = RoundTo(base * u.item->unit_cost, 2);
          l.Row({Int(bill), Int(++entry), Int(u.item->id), Int(u.unit), batch, Num(u.actual, 4), Num(base, 4),
                 Num(amount, 2), "85", Int(t.id), Int(t.id), Int(StockFor(false))});
        }
        // Now and then a red issue bill gives part of the material back.
        if (entry > 0 && rng_.Percent(5)) {
          const int red = ++next_bill;
          std::snprintf(no, sizeof no, "SOUT%06d", ++out_no);
          const int64_t red_date = std::min(today_, date + rng_.Range(1, 20));
          h.Row({Int(red), Text(no), "24", SqlDate(red_date), "-1", "1", "0", Text("退料"), Int(p.id), batch, "0", Int(t.unit)});
          const MaterialUse& u = material_uses_[ti].front();
          const double back = RoundTo(u.actual * 0.1, 2);
          if (back > 0) {
            const double base = back * Coefficient(u.unit);
            l.Row({Int(red), "1", Int(u.item->id), Int(u.unit), batch, Num(-back, 4), Num(-base, 4),
                   Num(-RoundTo(base * u.item->unit_cost, 2), 2), "24", Int(bill), Int(t.id), Int(StockFor(false))});
          }
        }
      }

      // Product receipts (type 2) for what was finished, in one or two bills.
      if (t.finish_aux <= 0) continue;
      const int parts = t.finish_aux >= 2 && rng_.Percent(40) ? 2 : 1;
      double left_aux = t.finish_aux;
      for (int part = 0; part < parts; ++part) {
        const double aux = part + 1 == parts ? left_aux : std::floor(t.finish_aux / 2);
        left_aux -= aux;
        if (aux <= 0) continue;
        const int bill = ++next_bill;
        char no[32];
        std::snprintf(no, sizeof no, "CIN%06d", ++in_no);
        int64_t date = t.begin + rng_.Range(1, std::max<int64_t>(1, last - t.begin));
        if (date > today_) date = today_;
        const int status = bill_status();
        const bool cancelled = rng_.Percent(2);
        h.Row({Int(bill), Text(no), "2", SqlDate(date), "1", Int(status), cancelled ? "1" : "0", Text("完工入库"),
               Int(p.id), batch, "0", Int(t.unit)});
        const double base = aux * Coefficient(t.unit);
        const double amount = RoundTo(base * p.unit_cost, 2);
        l.Row({Int(bill), "1", Int(p.id), Int(t.unit), batch, Num(aux, 4), Num(base, 4), Num(amount, 2), "85",
               Int(t.id), Int(t.id), Int(StockFor(true))});
        if (status == 1 && !cancelled) receipts_.push_back({bill, date, static_cast<int>(ti), base, amount});

        // A red receipt reverses part or all of a blue one, in its period or a later one.
        if (status == 1 && !cancelled && rng_.Percent(8)) {
          const int red = ++next_bill;
          std::snprintf(no, sizeof no, "CIN%06d", ++in_no);
          const int64_t red_date = std::min(today_, date + rng_.Range(0, 40));
          const bool full = rng_.Percent(30);
          const double red_aux = full ? aux : std::max(1.0, std::floor(aux / 3));
          const double red_base = red_aux * Coefficient(t.unit);
          const double red_amount = full ? amount : RoundTo(red_base * p.unit_cost, 2);
          h.Row({Int(red), Text(no), "2", SqlDate(red_date), "-1", "1", "0", Text("红字入库"), Int(p.id), batch, "0",
                 Int(t.unit)});
          l.Row({Int(red), "1", Int(p.id), Int(t.unit), batch, Num(-red_aux, 4), Num(-red_base, 4), Num(-red_amount, 2),
                 "2", Int(bill), Int(t.id), Int(StockFor(true))});
        }
      }
    }
  }

  static std::pair<int, int> PeriodOf(int64_t days) {
    const CivilDate d = CivilFromDays(days);
    return {d.year, d.month};
  }

  void FeeApportionments() {
    // One apportionment document a month over the product/batch pairs received that month.
    std::map<std::pair<int, int>, std::map<std::pair<int, std::string>, double>> received;
    for (const Receipt& r : receipts_) {
      const Task& t = tasks_[static_cast<size_t>(r.task)];
      received[PeriodOf(r.date)][{products_[static_cast<size_t>(t.product)].id, t.has_batch ? t.batch : std::string("\x01")}] +=
          r.amount;
    }
    TableWriter h(sink_, "ICApportionFee", "FInterID,FBillNo,FTranType,FDate,FStatus,FCancellation");
    TableWriter l(sink_, "ICApportionFeeEntry",
                  "FInterID,FEntryID,FItemID,FBatchNo,FSourceTranType,FSourceInterID,FWorkFee,FMakingFee,FAuxMaterialFee,"
                  "FWaterElecFee,FDepreciationFee,FOtherFee");
    int id = 900000;
    for (const auto& [period, pairs] : received) {
      const int doc = ++id;
      const int64_t date = DaysFromCivil(period.first, period.second, DaysInMonth(period.first, period.second));
      char no[32];
      std::snprintf(no, sizeof no, "FEE%04d%02d", period.first, period.second);
      h.Row({Int(doc), Text(no), "87", SqlDate(std::min(date, today_)), rng_.Percent(5) ? "0" : "1", "0"});
      int entry = 0;
      for (const auto& [key, amount] : pairs) {
        if (!rng_.Percent(85)) continue;
        // Fees are a share of the received amount; now and then more than all of it.
        const double share = rng_.Percent(3) ? 1.2 : rng_.Range(10, 40) / 100.0;
        const double total = amount * share;
        const double parts[6] = {0.35, 0.25, 0.15, 0.1, 0.1, 0.05};
        std::array<std::string, 6> fees;
        for (int f = 0; f < 6; ++f) {
          fees[static_cast<size_t>(f)] = f == 5 && rng_.Percent(10) ? "NULL" : Num(RoundTo(total * parts[f], 2), 2);
        }
        const std::string batch = key.second == "\x01" ? "NULL" : Text(key.second);
        l.Row({Int(doc), Int(++entry), Int(key.first), batch, "2", "0", fees[0], fees[1], fees[2], fees[3], fees[4], fees[5]});
      }
    }
  }

  void PeriodCosts() {
    // Work in process at each month end: task orders started and not yet finished then.
    struct Wip {
      double num = 0;
      double cost = 0;
    };
    std::map<std::tuple<int, int, int, std::string>, Wip> wip;  // year, period, item, batch
    const std::pair<int, int> first = PeriodOf(today_ - sizes_.history_days);
    const std::pair<int, int> current = PeriodOf(today_);
    for (const Task& t : tasks_) {
      if (t.cancelled || t.status == 0) continue;
      const Item& p = products_[static_cast<size_t>(t.product)];
      std::pair<int, int> per = PeriodOf(t.begin);
      while (per <= current) {
        const int64_t end = DaysFromCivil(per.first, per.second, DaysInMonth(per.first, per.second));
        if (t.finish >= 0 && t.finish <= end) break;
        if (per >= first) {
          Wip& w = wip[{per.first, per.second, p.id, t.has_batch ? t.batch : std::string("\x01")}];
          const double open = (t.plan_aux - t.finish_aux) * Coefficient(t.unit) / Coefficient(p.store_unit);
          w.num += std::max(0.0, open);
          w.cost += std::max(0.0, open) * Coefficient(p.store_unit) * p.unit_cost * 0.6;
        }
        per = per.second == 12 ? std::make_pair(per.first + 1, 1) : std::make_pair(per.first, per.second + 1);
      }
    }
    TableWriter pr(sink_, "t_ICProduction",
                   "FInterID,FYear,FPeriod,FItemID,FBatchNo,FPeriodStartNum,FPeriodStartCost,FPeriodEndNum,FPeriodEndCost");
    TableWriter pp(sink_, "t_ICPPrice", "FYear,FPeriod,FItemID,FBatchNo,FPeriodEndCost,FPrice");
    int id = 800000;
    for (const auto& [key, w] : wip) {
      const auto& [year, period, item, batch] = key;
      const std::string batch_sql = batch == "\x01" ? "NULL" : Text(batch);
      // The previous month's end is this month's start.
      const std::pair<int, int> prev = period == 1 ? std::make_pair(year - 1, 12) : std::make_pair(year, period - 1);
      auto it = wip.find({prev.first, prev.second, item, batch});
      const Wip start = it == wip.end() ? Wip{} : it->second;
      pr.Row({Int(++id), Int(year), Int(period), Int(item), batch_sql, Num(start.num, 4), Num(RoundTo(start.cost, 2), 2),
              Num(w.num, 4), Num(RoundTo(w.cost, 2), 2)});
      pp.Row({Int(year), Int(period), Int(item), batch_sql, Num(RoundTo(w.cost, 2), 2),
              Num(w.num > 0 ? RoundTo(w.cost / w.num, 4) : 0, 4)});
    }
  }

  Options options_;
  const std::function<void(const std::string&)>& sink_;
  Rng rng_;
  Sizes sizes_;
  int64_t today_;
  std::vector<Item> products_, materials_;
  std::vector<int> departments_, employees_, aux_items_, orders_;
  std::vector<Task> tasks_;
  std::vector<std::vector<MaterialUse>> material_uses_;
  std::vector<Receipt> receipts_;
};

}  // namespace

std::optional<Size> ParseSize(std::string_view text) {
  std::string lower;
  for (char c : text) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  if (lower == "tiny") return Size::Tiny;
  if (lower == "demo") return Size::Demo;
  if (lower == "large") return Size::Large;
  return std::nullopt;
}

void Generate(const Options& options, const std::function<void(const std::string& batch)>& sink) {
  Generator(options, sink).Run();
}

}  // namespace orv::demo
