// Column captions. Most quantity columns follow one pattern: an optional unit prefix (none or
// "Aux": the document's unit; "BS": the item's base unit; "CU": its stock unit), a quantity
// kind and "Qty", "AuxQty" or "UnitName"; their captions are put together from those parts.
// The rest are listed by name; one name means the same in every report.
#include "reports/catalog_columns.h"

#include <array>
#include <cstring>
#include <deque>
#include <map>
#include <string_view>

namespace orv::reports::catalog {

namespace {

struct Words {
  const char* zh;
  const char* en;
};

struct Fixed {
  const char* zh;
  const char* en;
  bool code;
};

const std::map<std::string, Fixed, std::less<>>& FixedCaptions() {
  static const std::map<std::string, Fixed, std::less<>> captions = {
      {"FInterID", {"内码", "internal id", false}},
      {"FEntryID", {"分录号", "entry id", false}},
      {"FMOBillNO", {"任务单号", "task order", true}},
      {"FMOBillNOSort", {"任务单号排序", "task order (sort)", true}},
      {"FItemID", {"物料内码", "item id", false}},
      {"FPItemID", {"产品内码", "product id", false}},
      {"FTranType", {"单据类型", "document type", false}},
      {"FDate", {"单据日期", "date", false}},
      {"Fdate", {"单据日期", "date", false}},
      {"FdateSort", {"日期排序", "date (sort)", false}},
      {"FDateSort", {"日期排序", "date (sort)", false}},
      {"FNumber", {"物料代码", "item number", true}},
      {"FNumberSort", {"代码排序", "item number (sort)", true}},
      {"FShortNumber", {"物料短代码", "item short number", true}},
      {"FName", {"物料名称", "item name", false}},
      {"FModel", {"规格型号", "model", false}},
      {"FAuxPropName", {"辅助属性", "auxiliary property", false}},
      {"FPAuxPropName", {"辅助属性", "auxiliary property", false}},
      {"FBatchNo", {"批号", "batch", true}},
      {"FBeginDate", {"开工日期", "work start", false}},
      {"FPlanFinishDate", {"计划完工日期", "planned finish", false}},
      {"FPlanDate", {"计划完工日期", "planned finish", false}},
      {"FFinishDate", {"实际完工日期", "actual finish", false}},
      {"FFinishRate", {"完工率%", "finished %", false}},
      {"FFinishRateStr", {"完工率", "finished %", false}},
      {"FUnFinishRate", {"未完工率%", "unfinished %", false}},
      {"FUnFinishRateStr", {"未完工率", "unfinished %", false}},
      {"FOrderBillNo", {"订单号", "sales order", true}},
      {"FStockBillNo", {"入库单号", "receipt", true}},
      {"FStockDate", {"入库日期", "receipt date", false}},
      {"FDeptName", {"生产车间", "department", false}},
      {"FDept", {"生产车间", "department", false}},
      {"FEmpName", {"计划员", "planner", false}},
      {"FEmp", {"计划员", "planner", false}},
      {"FExp", {"备注", "remark", false}},
      {"FClosed", {"状态", "status", false}},
      {"FSumSort", {"汇总标志", "total marker", false}},
      {"FGroupSort", {"行类型", "row kind", false}},
      {"FIsTotal", {"合计行", "grand total", false}},
      {"FQtyDecimal", {"数量精度", "quantity decimals", false}},
      {"FPriceDecimal", {"单价精度", "price decimals", false}},
      {"FNameSort", {"名称排序", "name (sort)", false}},
      {"FModelSort", {"型号排序", "model (sort)", false}},
      {"FBatchNoSort", {"批号排序", "batch (sort)", true}},
      {"FBeginDateSort", {"开工日期排序", "work start (sort)", false}},
      {"FPlanFinishDateSort", {"计划完工排序", "planned finish (sort)", false}},
      {"FFinishDateSort", {"完工日期排序", "actual finish (sort)", false}},
      {"FPNumber", {"产品代码", "product number", true}},
      {"FPNumberSort", {"产品代码排序", "product number (sort)", true}},
      {"FPName", {"产品名称", "product name", false}},
      {"FPShortNumber", {"产品短代码", "product short number", true}},
      {"FPModel", {"产品规格", "product model", false}},
      {"FPAuxUnitID", {"单位内码", "unit id", false}},
      {"FPUnitID", {"基本单位内码", "base unit id", false}},
      {"FPUnitName", {"基本单位", "base unit", false}},
      {"FPAuxUnitName", {"单位", "unit", false}},
      {"FPlanUnitID", {"计划单位内码", "planned unit id", false}},
      {"FStandardUnitID", {"标准单位内码", "standard unit id", false}},
      {"FItemNumber", {"物料代码", "item number", true}},
      {"FItemShortNumber", {"物料短代码", "item short number", true}},
      {"FItemName", {"物料名称", "item name", false}},
      {"FSituation", {"完工情况", "status", false}},
      {"FDiffRate", {"差异率%", "difference %", false}},
      {"FPeriod", {"期间", "month", false}},
      {"FBaseQty", {"计划数量(基本单位)", "planned (base unit)", false}},
      {"FFinishBQty", {"完工数量(基本单位)", "finished (base unit)", false}},
      {"FUnFinishBQty", {"未完工数量(基本单位)", "unfinished (base unit)", false}},
      {"FStockQty", {"计划数量(常用单位)", "planned (stock unit)", false}},
      {"FFinishSQty", {"完工数量(常用单位)", "finished (stock unit)", false}},
      {"FUnFinishSQty", {"未完工数量(常用单位)", "unfinished (stock unit)", false}},
      {"FBaseUnitName", {"基本单位", "base unit", false}},
      {"FFinishBUnitName", {"完工基本单位", "finished base unit", false}},
      {"FUnFinishBUnitName", {"未完工基本单位", "unfinished base unit", false}},
      {"FStockUnitName", {"常用单位", "stock unit", false}},
      {"FFinishSUnitName", {"完工常用单位", "finished stock unit", false}},
      {"FUnFinishSUnitName", {"未完工常用单位", "unfinished stock unit", false}},
      {"FAuxPlanQty", {"计划数量", "planned", false}},
      {"FPlanQty", {"计划数量(基本单位)", "planned (base unit)", false}},
      {"FAuxFinishQty", {"完工数量", "finished", false}},
      {"FFinishQty", {"完工数量(基本单位)", "finished (base unit)", false}},
      {"FUnFinishAuxQty", {"未完工数量", "unfinished", false}},
      {"FUnFinishQty", {"未完工数量(基本单位)", "unfinished (base unit)", false}},
      {"FUnit", {"单位", "unit", false}},
      {"FInNum", {"入库数量", "received qty", false}},
      {"FPrice", {"单位成本", "unit cost", false}},
      {"FMarterialFee", {"直接材料", "material", false}},
      {"FAuxMarterialFee", {"辅助材料", "auxiliary material", false}},
      {"FWorkFee", {"直接人工", "labour", false}},
      {"FMakingFee", {"制造费用", "overhead", false}},
      {"FDepreciationFee", {"折旧费", "depreciation", false}},
      {"FWaterElecFee", {"水电费", "utilities", false}},
      {"FOtherFee", {"其他费用", "other fees", false}},
      {"FTotalFee", {"总成本", "total cost", false}},
      {"FPeriodStartNum", {"期初数量", "start qty", false}},
      {"FPeriodStartCost", {"期初成本", "start cost", false}},
      {"FCurInNum", {"本期投入数量", "input qty", false}},
      {"FCurInCost", {"本期投入成本", "input cost", false}},
      {"FCurOutNum", {"本期产出数量", "output qty", false}},
      {"FCurOutPrice", {"本期产出单价", "output unit cost", false}},
      {"FCurOutCost", {"本期产出成本", "output cost", false}},
      {"FPeriodEndNum", {"期末数量", "end qty", false}},
      {"FPeriodEndPrice", {"期末单价", "end unit cost", false}},
      {"FPeriodEndCost", {"期末成本", "end cost", false}},
  };
  return captions;
}

// The pattern names: F + unit prefix + kind + ending.
const std::map<std::string, Words, std::less<>>& Kinds() {
  static const std::map<std::string, Words, std::less<>> kinds = {
      {"Plan", {"计划", "planned"}},     {"Finish", {"完工", "finished"}},
      {"Stock", {"入库", "received"}},   {"UnStock", {"未入库", "not received"}},
      {"Standard", {"标准用量", "standard"}}, {"PlanD", {"计划用量", "planned use"}},
      {"fact", {"实际用量", "actual use"}},    {"Diff", {"差异", "difference"}},
  };
  return kinds;
}

// Captions live as long as the program: the strings made from the pattern are kept here.
const char* Keep(std::string text) {
  static std::deque<std::string> kept;
  kept.push_back(std::move(text));
  return kept.back().c_str();
}

ColumnCaption Caption(const char* name) {
  const auto& fixed = FixedCaptions();
  if (auto it = fixed.find(name); it != fixed.end()) {
    return ColumnCaption{name, it->second.zh, it->second.en, it->second.code};
  }
  std::string_view rest(name);
  if (rest.size() > 1 && rest.front() == 'F') rest.remove_prefix(1);
  Words unit{"", ""};
  Words unit_name{"单位", " unit"};
  if (rest.substr(0, 2) == "BS") {
    unit = {"(基本单位)", " (base unit)"};
    unit_name = {"基本单位", " base unit"};
    rest.remove_prefix(2);
  } else if (rest.substr(0, 2) == "CU") {
    unit = {"(常用单位)", " (stock unit)"};
    unit_name = {"常用单位", " stock unit"};
    rest.remove_prefix(2);
  }
  for (const char* ending : {"UnitName", "AuxQty", "Qty"}) {
    const std::string_view end(ending);
    if (rest.size() <= end.size() || rest.substr(rest.size() - end.size()) != end) continue;
    const auto kind = Kinds().find(rest.substr(0, rest.size() - end.size()));
    if (kind == Kinds().end()) break;
    if (end == "UnitName") {
      return ColumnCaption{name, Keep(std::string(kind->second.zh) + unit_name.zh),
                           Keep(std::string(kind->second.en) + unit_name.en), false};
    }
    // "标准用量" is a quantity already; "计划" needs "数量".
    const std::string zh = kind->second.zh;
    const bool is_quantity = zh.size() >= 3 && zh.compare(zh.size() - 3, 3, "量") == 0;
    return ColumnCaption{name, Keep(zh + (is_quantity ? "" : "数量") + unit.zh),
                         Keep(std::string(kind->second.en) + unit.en), false};
  }
  return ColumnCaption{name, name, name, false};
}

std::vector<ColumnCaption> Captions(std::initializer_list<const char*> names) {
  std::vector<ColumnCaption> columns;
  for (const char* name : names) columns.push_back(Caption(name));
  return columns;
}

}  // namespace

std::vector<ColumnCaption> Columns400() {
  // In 400 the receipt columns follow the pattern, so FStockUnitName is the receipt's unit
  // (in 401 the same name is the item's stock unit).
  std::vector<ColumnCaption> columns = Captions({"FInterID", "FEntryID", "FMOBillNO", "FItemID", "FTranType", "FDate", "FNumber",
                   "FNumberSort", "FShortNumber", "FName", "FModel", "FAuxPropName", "FBatchNo",
                   "FPlanUnitName", "FPlanAuxQty", "FBSPlanUnitName", "FBSPlanQty",
                   "FCUPlanUnitName", "FCUPlanQty", "FBeginDate", "FFinishUnitName",
                   "FFinishAuxQty", "FBSFinishUnitName", "FBSFinishQty", "FCUFinishUnitName",
                   "FCUFinishQty", "FPlanFinishDate", "FFinishDate", "FFinishRate",
                   "FOrderBillNo", "FStockBillNo", "FMOBillNOSort", "FStockDate",
                   "FStockUnitName", "FStockAuxQty", "FBSStockUnitName", "FBSStockQty",
                   "FCUStockUnitName", "FCUStockQty", "FBSUnStockUnitName", "FBSUnStockQty",
                   "FCUUnStockUnitName", "FCUUnStockQty", "FDeptName", "FEmpName", "FExp",
                   "FSumSort", "FQtyDecimal", "FPriceDecimal", "FGroupSort", "FDateSort",
                   "FNameSort", "FModelSort", "FBatchNoSort", "FBeginDateSort",
                   "FPlanFinishDateSort", "FFinishDateSort", "FIsTotal"});
  for (ColumnCaption& column : columns) {
    if (std::string_view(column.name) == "FStockUnitName") {
      column.zh = "入库单位";
      column.en = "received unit";
    }
  }
  return columns;
}

std::vector<ColumnCaption> Columns401() {
  return Captions({"FItemNumber", "FBaseQty", "FFinishBQty", "FUnFinishBQty", "FStockQty",
                   "FFinishSQty", "FUnFinishSQty", "FItemShortNumber", "FItemName", "FModel",
                   "FBaseUnitName", "FFinishBUnitName", "FUnFinishBUnitName", "FStockUnitName",
                   "FFinishSUnitName", "FUnFinishSUnitName", "FQtyDecimal", "FPriceDecimal"});
}

std::vector<ColumnCaption> Columns406() {
  return Captions(
      {"FInterID", "FTranType", "FPItemID", "Fdate", "FdateSort", "FMOBillNO", "FMOBillNOSort",
       "FPNumber", "FPNumberSort", "FPName", "FPShortNumber", "FPModel", "FPAuxPropName",
       "FBatchNo", "FPlanUnitID", "FPlanUnitName", "FPlanAuxQty", "FBSPlanUnitName", "FBSPlanQty",
       "FCUPlanUnitName", "FCUPlanQty", "FFinishUnitName", "FFinishAuxQty", "FBSFinishUnitName",
       "FBSFinishQty", "FCUFinishUnitName", "FCUFinishQty", "FFinishRate", "FDeptName",
       "FEmpName", "FExp", "FItemID", "FItemNumber", "FItemShortNumber", "FItemName",
       "FStandardUnitID", "FStandardUnitName", "FStandardAuxQty", "FBSStandardUnitName",
       "FBSStandardQty", "FCUStandardUnitName", "FCUStandardQty", "FPlanDUnitName",
       "FPlanDAuxQty", "FBSPlanDUnitName", "FBSPlanDQty", "FCUPlanDUnitName", "FCUPlanDQty",
       "FfactUnitName", "FfactAuxQty", "FBSfactUnitName", "FBSfactQty", "FCUfactUnitName",
       "FCUfactQty", "FSituation", "FDiffUnitName", "FDiffAuxQty", "FBSDiffUnitName",
       "FBSDiffQty", "FCUDiffUnitName", "FCUDiffQty", "FDiffRate", "FQtyDecimal",
       "FPriceDecimal", "FGroupSort", "FSumSort"});
}

std::vector<ColumnCaption> Columns410() {
  return Captions({"FInterID", "FTranType", "FPItemID", "FMOBillNO", "FPNumber", "FPNumberSort",
                   "FPName", "FPShortNumber", "FPModel", "FBatchNo", "FPAuxPropName",
                   "FPAuxUnitID", "FPUnitName", "FPUnitID", "FPAuxUnitName", "FDate", "FPlanDate",
                   "FFinishDate", "FAuxPlanQty", "FPlanQty", "FAuxFinishQty", "FFinishQty",
                   "FUnFinishAuxQty", "FUnFinishQty", "FQtyDecimal", "FPriceDecimal",
                   "FFinishRate", "FFinishRateStr", "FUnFinishRate", "FUnFinishRateStr",
                   "FClosed", "FDept", "FEmp", "FExp", "FSumSort", "FPeriod"});
}

std::vector<ColumnCaption> Columns498() {
  return Captions({"FItemID", "FNumber", "FName", "FModel", "FBatchNo", "FUnit", "FInNum",
                   "FPrice", "FMarterialFee", "FAuxMarterialFee", "FWorkFee", "FMakingFee",
                   "FDepreciationFee", "FWaterElecFee", "FOtherFee", "FTotalFee", "FSumSort"});
}

std::vector<ColumnCaption> Columns499() {
  return Captions({"FNumber", "FName", "FModel", "FUnit", "FPeriodStartNum", "FPeriodStartCost",
                   "FCurInNum", "FCurInCost", "FCurOutNum", "FCurOutPrice", "FCurOutCost",
                   "FPeriodEndNum", "FPeriodEndPrice", "FPeriodEndCost"});
}

}  // namespace orv::reports::catalog
