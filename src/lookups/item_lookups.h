// Item, currency and precision look-ups: the base currency's scale, the depth of an item
// class, the item property descriptions, and an item's quantity and price precision.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ado/connection.h"
#include "automation/collections.h"

namespace orv::lookups {

inline constexpr char kDefaultItemPropFilter[] = " FItemClassID IN (4,8) ";

// The statements, exactly as sent.
std::string CurrencyScaleSql();
std::string ItemMaxLevelSql(int32_t item_class_id);
std::string ItemPropDescSql(std::string_view language, std::string_view filter);
std::string DecimalSql(std::string_view item_number);

// Decimal places of the base currency ("GL"/"FBWB"); 2 when no row comes back.
int32_t GetCurrencyScale(ado::Connection& connection);

// The deepest level of the class minus one; 0 (also for an empty class) becomes 1.
int32_t GetItemMaxLevel(const std::shared_ptr<ado::Connection>& connection, int32_t item_class_id);

// One dictionary per property row with the keys FItemClassID, FPropID, FName, FSQLColumnName,
// FSrcTable, FSrcField, FDisplayField; FName is the column localized for `language`.
std::shared_ptr<automation::Vector> GetItemPropDesc(
    const std::shared_ptr<ado::Connection>& connection, std::string_view language,
    std::string_view filter);

// Writes 2 to both outputs, then the item's FPriceDecimal and FQtyDecimal where not Null.
void GetDecimal(ado::Connection& connection, std::string_view item_number, int32_t& qty_decimal,
                int32_t& price_decimal);

}  // namespace orv::lookups
