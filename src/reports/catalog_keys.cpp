// The condition keys of each report, as the report bodies read them (reports/production and
// reports/cost), with their captions, types, defaults and allowed values.
#include "reports/catalog_keys.h"

namespace orv::reports::catalog {

namespace {

ConditionKey Date(const char* name, const char* zh, const char* en, const char* end = nullptr,
                  DefaultRule rule = DefaultRule::kNone, const char* constant = nullptr) {
  ConditionKey key{name, zh, en, KeyType::kDate, rule, constant, {}, end};
  return key;
}

ConditionKey Code(const char* name, const char* zh, const char* en, CodeList codes,
                  const char* end = nullptr) {
  return ConditionKey{name, zh, en, KeyType::kCode, DefaultRule::kNone, nullptr, {}, end, codes};
}

ConditionKey Text(const char* name, const char* zh, const char* en) {
  return ConditionKey{name, zh, en, KeyType::kText, DefaultRule::kNone, nullptr, {}, nullptr};
}

ConditionKey OneOf(const char* name, const char* zh, const char* en, std::vector<Choice> choices,
                   const char* constant = nullptr) {
  return ConditionKey{name, zh, en, KeyType::kChoice,
                      constant ? DefaultRule::kConstant : DefaultRule::kNone, constant,
                      std::move(choices), nullptr};
}

// Reports 400, 401 and 406 read task-order status the same way: 0 approved, 1 not approved,
// anything else every status; cancelled task orders never show.
ConditionKey CheckState() {
  return OneOf("CheckState", "审核状态", "approval status",
               {{"0", "已审核", "approved"}, {"1", "未审核", "not approved"}, {"2", "全部", "all"}},
               "2");
}

ConditionKey CheckClose() {
  return OneOf("CheckClose", "结案状态", "closed status",
               {{"0", "已结案", "closed only"}, {"1", "未结案", "open only"}, {"2", "全部", "all"}},
               "2");
}

ConditionKey LongNumber() {
  return OneOf("bLongNumber", "使用长代码", "ranges on long numbers",
               {{"1", "长代码 (FNumber)", "long numbers (FNumber)"},
                {"0", "短代码 (FShortNumber)", "short numbers (FShortNumber)"}},
               "1");
}

ConditionKey DisplayType() {
  return OneOf("DisplayType", "显示方式", "display",
               {{"0", "显示小计", "with subtotals"}, {"1", "不显示小计", "without subtotals"}});
}

// The task-order date range of 400, 401 and 406: from the first day of the current accounting
// year to the last day of the current period.
std::vector<ConditionKey> TaskKeys(std::vector<ConditionKey> rest) {
  std::vector<ConditionKey> keys = {
      Date("BDate", "单据日期从", "task order date from", "EDate", DefaultRule::kYearStart),
      Date("EDate", "单据日期至", "task order date to", nullptr, DefaultRule::kPeriodEnd),
      CheckState(),
      CheckClose(),
      LongNumber(),
  };
  keys.insert(keys.end(), rest.begin(), rest.end());
  return keys;
}

}  // namespace

std::vector<ConditionKey> Keys400() {
  return TaskKeys({
      Code("BProductBillNo", "任务单号从", "task order number from", CodeList::kTaskOrder,
           "EProductBillNo"),
      Code("EProductBillNo", "任务单号至", "task order number to", CodeList::kTaskOrder),
      Date("BWorkDate", "开工日期从", "work start date from", "EWorkDate"),
      Date("EWorkDate", "开工日期至", "work start date to"),
      Date("BPlanDate", "计划完工日期从", "planned finish date from", "EPlanDate"),
      Date("EPlanDate", "计划完工日期至", "planned finish date to"),
      Date("BFactDate", "实际完工日期从", "actual finish date from", "EFactDate"),
      Date("EFactDate", "实际完工日期至", "actual finish date to"),
      Code("BItemNumber", "产品代码从", "product item number from", CodeList::kItem, "EItemNumber"),
      Code("EItemNumber", "产品代码至", "product item number to", CodeList::kItem),
      Code("BDept", "部门代码从", "department number from", CodeList::kDepartment, "EDept"),
      Code("EDept", "部门代码至", "department number to", CodeList::kDepartment),
      Code("BEmp", "职员代码从", "employee number from", CodeList::kEmployee, "EEmp"),
      Code("EEmp", "职员代码至", "employee number to", CodeList::kEmployee),
      Code("BOrderBillNo", "订单号从", "sales order number from", CodeList::kSalesOrder,
           "EOrderBillNo"),
      Code("EOrderBillNo", "订单号至", "sales order number to", CodeList::kSalesOrder),
      Text("BBatchNo", "批号包含", "batch number contains"),
      OneOf("ExecuteState", "执行情况", "finish against plan",
            {{"1", "按期完工", "on the planned day"},
             {"2", "提前完工", "early"},
             {"3", "延期完工", "late"}}),
      Text("Dept", "部门名称", "exact department name"),
      DisplayType(),
      ConditionKey{"Orderby", "排序", "sort columns (COLUMN [ASC|DESC], ...)", KeyType::kOrderBy,
                   DefaultRule::kNone, nullptr, {}, nullptr},
  });
}

std::vector<ConditionKey> Keys401() {
  return TaskKeys({
      Code("BBillNo", "任务单号从", "task order number from", CodeList::kTaskOrder, "EBillNo"),
      Code("EBillNo", "任务单号至", "task order number to", CodeList::kTaskOrder),
      Code("BItemNumber", "物料代码从", "item number from", CodeList::kItem, "EItemNumber"),
      Code("EItemNumber", "物料代码至", "item number to", CodeList::kItem),
      Code("BDept", "部门代码从", "department number from", CodeList::kDepartment, "EDept"),
      Code("EDept", "部门代码至", "department number to", CodeList::kDepartment),
      Code("BEmp", "职员代码从", "employee number from", CodeList::kEmployee, "EEmp"),
      Code("EEmp", "职员代码至", "employee number to", CodeList::kEmployee),
      Text("BBatchNo", "批号包含", "batch number contains"),
  });
}

std::vector<ConditionKey> Keys406() {
  return TaskKeys({
      Code("BMOBillNo", "任务单号从", "task order number from", CodeList::kTaskOrder, "EMOBillNo"),
      Code("EMOBillNo", "任务单号至", "task order number to", CodeList::kTaskOrder),
      Code("BItemNumber", "产品代码从", "product item number from", CodeList::kItem, "EItemNumber"),
      Code("EItemNumber", "产品代码至", "product item number to", CodeList::kItem),
      Code("BDeptNumber", "部门代码从", "department number from", CodeList::kDepartment,
           "EDeptNumber"),
      Code("EDeptNumber", "部门代码至", "department number to", CodeList::kDepartment),
      Code("BEmpNumber", "职员代码从", "employee number from", CodeList::kEmployee, "EEmpNumber"),
      Code("EEmpNumber", "职员代码至", "employee number to", CodeList::kEmployee),
      DisplayType(),
  });
}

// Report 410 numbers its status choices from 1, and its date ranges always take part in the
// selection, so their defaults are wide open: the alarm itself picks the task orders due.
std::vector<ConditionKey> Keys410() {
  return {
      Date("BWorkDate", "开工日期从", "work start date from", "EWorkDate", DefaultRule::kConstant,
           "1900-01-01"),
      Date("EWorkDate", "开工日期至", "work start date to", nullptr, DefaultRule::kConstant,
           "2099-12-31"),
      Date("BFinishDate", "计划完工日期从", "planned finish date from", "EFinishDate",
           DefaultRule::kConstant, "1900-01-01"),
      Date("EFinishDate", "计划完工日期至", "planned finish date to", nullptr,
           DefaultRule::kConstant, "2099-12-31"),
      LongNumber(),
      OneOf("CheckState", "审核状态", "approval status",
            {{"1", "已审核", "approved"}, {"2", "未审核", "not approved"}, {"0", "全部", "all"}}),
      OneOf("CheckClose", "结案状态", "closed status",
            {{"1", "已结案", "closed only"}, {"2", "未结案", "open only"}, {"0", "全部", "all"}}),
      Code("BMOBillNo", "任务单号从", "task order number from", CodeList::kTaskOrder, "EMOBillNo"),
      Code("EMOBillNo", "任务单号至", "task order number to", CodeList::kTaskOrder),
      Code("BItemNumber", "产品代码从", "product item number from", CodeList::kItem, "EItemNumber"),
      Code("EItemNumber", "产品代码至", "product item number to", CodeList::kItem),
      Code("BDeptNumber", "部门代码从", "department number from", CodeList::kDepartment,
           "EDeptNumber"),
      Code("EDeptNumber", "部门代码至", "department number to", CodeList::kDepartment),
      Code("BEmpNumber", "职员代码从", "employee number from", CodeList::kEmployee, "EEmpNumber"),
      Code("EEmpNumber", "职员代码至", "employee number to", CodeList::kEmployee),
  };
}

std::vector<ConditionKey> Keys498() {
  return {
      Code("BItemNumber", "物料长代码从", "item long number from (with EItemNumber)",
           CodeList::kItem, "EItemNumber"),
      Code("EItemNumber", "物料长代码至", "item long number to", CodeList::kItem),
      ConditionKey{"BatchNo", "批号", "one batch number; FBATCHNO means every batch",
                   KeyType::kText, DefaultRule::kConstant, "FBATCHNO", {}, nullptr},
  };
}

std::vector<ConditionKey> Keys499() {
  return {
      Code("BItemNumber", "物料长代码从", "item long number from (with EItemNumber)",
           CodeList::kItem, "EItemNumber"),
      Code("EItemNumber", "物料长代码至", "item long number to", CodeList::kItem),
  };
}

const std::vector<ConditionKey>& DsqlKeys() {
  static const std::vector<ConditionKey> keys = {
      Text("Select", "客户端 Select", "first text of the client batch"),
      Text("Groupby", "客户端 Groupby", "follows Select"),
      Text("ITEMFILTER", "物料过滤条件", "condition put where the fragments say ##ITEMFILTER##"),
      Text("EndSel", "结果查询", "the SELECT whose rows are the result"),
  };
  return keys;
}

}  // namespace orv::reports::catalog
