#include "tsql/types/sql_error.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace orv::tsql {
namespace {

// A catalogued message. %1, %2, ... are replaced by the arguments. When fewer arguments are
// given than the text uses, the given ones fill the LAST placeholders and `defaults` the
// leading ones (so MakeError(3701, {"#t"}) names a table, MakeError(242) a varchar to datetime
// conversion).
struct Entry {
  int32_t number;
  int32_t severity;
  int32_t state;
  const char* text;
  std::initializer_list<const char*> defaults;
};

const Entry kCatalogue[] = {
    {102, 15, 1, "Incorrect syntax near '%1'.", {}},
    {104,
     16,
     1,
     "ORDER BY items must appear in the select list if the statement contains a UNION, "
     "INTERSECT or EXCEPT operator.",
     {}},
    {105, 15, 1, "Unclosed quotation mark after the character string '%1'.", {}},
    {107,
     16,
     1,
     "The column prefix '%1' does not match with a table name or alias name used in the query.",
     {}},
    {108,
     16,
     1,
     "The ORDER BY position number %1 is out of range of the number of items in the select "
     "list.",
     {}},
    {109,
     15,
     1,
     "There are more columns in the INSERT statement than values specified in the VALUES "
     "clause. The number of values in the VALUES clause must match the number of columns "
     "specified in the INSERT statement.",
     {}},
    {110,
     15,
     1,
     "There are fewer columns in the INSERT statement than values specified in the VALUES "
     "clause. The number of values in the VALUES clause must match the number of columns "
     "specified in the INSERT statement.",
     {}},
    {116,
     16,
     1,
     "Only one expression can be specified in the select list when the subquery is not "
     "introduced with EXISTS.",
     {}},
    {120,
     15,
     1,
     "The select list for the INSERT statement contains fewer items than the insert list. The "
     "number of SELECT values must match the number of INSERT columns.",
     {}},
    {121,
     15,
     1,
     "The select list for the INSERT statement contains more items than the insert list. The "
     "number of SELECT values must match the number of INSERT columns.",
     {}},
    {125, 15, 1, "Case expressions may only be nested to level 10.", {}},
    {130,
     16,
     1,
     "Cannot perform an aggregate function on an expression containing an aggregate or a "
     "subquery.",
     {}},
    {131,
     15,
     2,
     "The size (%1) given to the type '%2' exceeds the maximum allowed for any data type (%3).",
     {}},
    {137, 15, 2, "Must declare the scalar variable \"%1\".", {}},
    {141,
     15,
     1,
     "A SELECT statement that assigns a value to a variable must not be combined with "
     "data-retrieval operations.",
     {}},
    {145,
     15,
     1,
     "ORDER BY items must appear in the select list if SELECT DISTINCT is specified.",
     {}},
    {147,
     15,
     1,
     "An aggregate may not appear in the WHERE clause unless it is in a subquery contained in a "
     "HAVING clause or a select list, and the column being aggregated is an outer reference.",
     {}},
    {155, 15, 1, "'%1' is not a recognized %2 option.", {}},
    {156, 15, 1, "Incorrect syntax near the keyword '%1'.", {}},
    {168,
     15,
     1,
     "The floating point value '%1' is out of the range of computer representation (8 bytes).",
     {}},
    {174, 15, 1, "The %1 function requires %2 argument(s).", {}},
    {8748,
     16,
     1,
     "The enable_ordinal argument for STRING_SPLIT only supports constant values (not variables "
     "or columns).",
     {}},
    {189, 15, 1, "The %1 function requires %2 to %3 arguments.", {}},
    {191,
     15,
     1,
     "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up "
     "into smaller queries.",
     {}},
    {193,
     15,
     64,
     "The object or column name starting with '%1' is too long. The maximum length is %2 "
     "characters.",
     {}},
    {195, 15, 10, "'%1' is not a recognized built-in function name.", {}},
    {205,
     16,
     1,
     "All queries combined using a UNION, INTERSECT or EXCEPT operator must have an equal "
     "number of expressions in their target lists.",
     {}},
    {206, 16, 2, "Operand type clash: %1 is incompatible with %2", {}},
    {207, 16, 1, "Invalid column name '%1'.", {}},
    {208, 16, 1, "Invalid object name '%1'.", {}},
    {209, 16, 1, "Ambiguous column name '%1'.", {}},
    {213, 16, 1, "Column name or number of supplied values does not match table definition.", {}},
    {544, 16, 1,
     "Cannot insert explicit value for identity column in table '%1' when IDENTITY_INSERT is set to OFF.", {}},
    {545,
     16,
     1,
     "Explicit value must be specified for identity column in table '%1' either when IDENTITY_INSERT "
     "is set to ON or when a replication user is inserting into a NOT FOR REPLICATION identity column.",
     {}},
    {8101,
     16,
     1,
     "An explicit value for the identity column in table '%1' can only be specified when a column "
     "list is used and IDENTITY_INSERT is ON.",
     {}},
    {271, 16, 1,
     "The column \"%1\" cannot be modified because it is either a computed column or is the result of a "
     "UNION operator.",
     {}},
    {1759, 16, 0,
     "Computed column '%1' in table '%2' is not allowed to be used in another computed-column definition.", {}},
    {4928, 16, 1, "Cannot alter column '%1' because it is '%2'.", {}},
    {11415, 16, 1,
     "Object '%1' cannot be disabled or enabled. This action applies only to foreign key and check constraints.",
     {}},
    {8106, 16, 1, "Table '%1' does not have the identity property. Cannot perform SET operation.", {}},
    {8107, 16, 1, "IDENTITY_INSERT is already ON for table '%1'. Cannot perform SET operation for table '%2'.", {}},
    {229, 14, 5, "The %1 permission was denied on the object '%2', database '%3', schema 'dbo'.", {}},
    {235, 16, 0, "Cannot convert a char value to money. The char value has incorrect syntax.", {}},
    {239, 16, 1, "Duplicate common table expression name '%1' was specified.", {}},
    {240,
     16,
     1,
     "Types don't match between the anchor and the recursive part in column \"%1\" of "
     "recursive query \"%2\".",
     {}},
    {241, 16, 1, "Conversion failed when converting date and/or time from character string.", {}},
    {242,
     16,
     3,
     "The conversion of a %1 data type to a %2 data type resulted in an out-of-range value.",
     {"varchar", "datetime"}},
    {243, 16, 1, "Type %1 is not a defined system type.", {}},
    {245, 16, 1, "Conversion failed when converting the %1 value '%2' to data type %3.", {}},
    {246, 16, 1, "No anchor member was specified for recursive query \"%1\".", {}},
    {248,
     16,
     1,
     "The conversion of the %1 value '%2' overflowed an %3 column. Use a larger integer column.",
     {}},
    {257,
     16,
     3,
     "Implicit conversion from data type %1 to %2 is not allowed. Use the CONVERT function "
     "to run this query.",
     {}},
    {252,
     16,
     1,
     "Recursive common table expression '%1' does not contain a top-level UNION ALL "
     "operator.",
     {}},
    {253,
     16,
     1,
     "Recursive member of a common table expression '%1' has multiple recursive references.",
     {}},
    {262, 14, 1, "%1 permission denied in database '%2'.", {}},
    {264,
     16,
     1,
     "The column name '%1' is specified more than once in the SET clause or column list of an "
     "INSERT. A column cannot be assigned more than one value in the same clause. Modify the "
     "clause to make sure that a column is updated only once. If the SET clause updates columns "
     "of a view, then the column name '%1' may appear twice in the view definition.",
     {}},
    {266,
     16,
     2,
     "Transaction count after EXECUTE indicates a mismatching number of BEGIN and COMMIT "
     "statements. Previous count = %1, current count = %2.",
     {}},
    {281,
     16,
     1,
     "%1 is not a valid style number when converting from %2 to a character string.",
     {}},
    {289, 16, 1, "Cannot construct data type %1, some of the arguments have values which are not valid.", {}},
    {310,
     15,
     1,
     "The value %1 specified for the MAXRECURSION option exceeds the allowed maximum of %2.",
     {}},
    {319,
     16,
     1,
     "Incorrect syntax near the keyword 'with'. If this statement is a common table expression, "
     "an xmlnamespaces clause or a change tracking context clause, the previous statement must "
     "be terminated with a semicolon.",
     {}},
    {330,
     15,
     1,
     "The target '%1' of the OUTPUT INTO clause cannot be a view or common table expression.",
     {}},
    {402, 16, 1, "The data types %1 and %2 are incompatible in the %3 operator.", {}},
    {460,
     16,
     1,
     "DISTINCT operator is not allowed in the recursive part of a recursive common table "
     "expression '%1'.",
     {}},
    {461,
     16,
     1,
     "TOP operator is not allowed in the recursive part of a recursive common table "
     "expression '%1'.",
     {}},
    {462,
     16,
     1,
     "Outer join is not allowed in the recursive part of a recursive common table expression "
     "'%1'.",
     {}},
    {465, 16, 1, "Recursive references are not allowed in subqueries.", {}},
    {467,
     16,
     1,
     "GROUP BY, HAVING, or aggregate functions are not allowed in the recursive part of a "
     "recursive common table expression '%1'.",
     {}},
    {512,
     16,
     1,
     "Subquery returned more than 1 value. This is not permitted when the subquery follows =, "
     "!=, <, <= , >, >= or when the subquery is used as an expression.",
     {}},
    {515,
     16,
     2,
     "Cannot insert the value NULL into column '%1', table '%2'; column does not allow nulls. "
     "%3 fails.",
     {}},
    {517, 16, 1, "Adding a value to a '%1' column caused an overflow.", {"datetime"}},
    {529, 16, 2, "Explicit conversion from data type %1 to %2 is not allowed.", {}},
    {530,
     16,
     1,
     "The statement terminated. The maximum recursion %1 has been exhausted before statement "
     "completion.",
     {}},
    {535,
     16,
     1,
     "The datediff function resulted in an overflow. The number of dateparts separating two "
     "date/time instances is too large. Try to use datediff with a less precise datepart.",
     {}},
    {536, 16, 1, "Invalid length parameter passed to the %1 function.", {}},
    {447, 16, 1, "Expression type %1 is invalid for COLLATE clause.", {}},
    {448, 16, 1, "Invalid collation '%1'.", {}},
    {1002, 15, 1, "Specified scale %1 is invalid for '%2' data type.", {}},
    {628, 16, 0, "Cannot issue SAVE TRANSACTION when there is no active transaction.", {}},
    {701,
     17,
     123,
     "There is insufficient system memory in resource pool 'default' to run this query.",
     {}},
    {1007,
     15,
     1,
     "The number '%1' is out of the range for numeric representation (maximum precision 38).",
     {}},
    {1013,
     16,
     1,
     "The objects \"%1\" and \"%2\" in the FROM clause have duplicate exposed names. Use "
     "correlation names to distinguish them.",
     {}},
    {1205,
     13,
     51,
     "Transaction (Process ID %1) was deadlocked on %2 resources with another process and has "
     "been chosen as the deadlock victim. Rerun the transaction.",
     {"", "lock"}},
    {1222, 16, 51, "Lock request time out period exceeded.", {}},
    {1038,
     15,
     5,
     "An object or column name is missing or empty. For SELECT INTO statements, verify each "
     "column has a name. For other statements, look for empty alias names. Aliases defined as "
     "\"\" or [] are not allowed. Change the alias to a valid name.",
     {}},
    {1062, 15, 1, "The TOP N WITH TIES clause is not allowed without a corresponding ORDER BY clause.", {}},
    {1088, 16, 7, "Cannot find the object \"%1\" because it does not exist or you do not have permissions.", {}},
    {2389,
     16,
     1,
     "XQuery [value()]: 'value()' requires a singleton (or empty sequence), found operand of "
     "type 'xdt:untypedAtomic *'",
     {}},
    {2741, 16, 1, "SET DATEFORMAT date order '%1' is invalid.", {}},
    {2812, 16, 62, "Could not find stored procedure '%1'.", {}},
    {134, 15, 1, "The variable name '%1' has already been declared. Variable names must be unique within a query batch or stored procedure.", {}},
    {3998, 16, 1, "Uncommittable transaction is detected at the end of the batch. The transaction is rolled back.", {}},
    {111, 15, 1, "'CREATE/ALTER PROCEDURE' must be the first statement in a query batch.", {}},
    {133, 15, 1, "A GOTO statement references the label '%1' but the label has not been declared.", {}},
    {135, 15, 1, "Cannot use a BREAK statement outside the scope of a WHILE statement.", {}},
    {136, 15, 1, "Cannot use a CONTINUE statement outside the scope of a WHILE statement.", {}},
    {1026, 15, 1, "GOTO cannot be used to jump into a TRY or CATCH scope.", {}},
    {201, 16, 4, "Procedure or function '%1' expects parameter '%2', which was not supplied.", {}},
    {217,
     16,
     1,
     "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).",
     {}},
    {2732,
     16,
     1,
     "Error number %1 is invalid. The number must be from 13000 through 2147483647 and it "
     "cannot be 50000.",
     {}},
    {3930,
     16,
     1,
     "The current transaction cannot be committed and cannot support operations that write to "
     "the log file. Roll back the transaction.",
     {}},
    {9828,
     16,
     1,
     "The second and third arguments of the TRANSLATE built-in function must contain an equal "
     "number of characters.",
     {}},
    {13601, 16, 1,
     "Property '%1' cannot be generated in JSON output due to a conflict with another column name or alias. Use "
     "different names and aliases for each column in SELECT list.",
     {}},
    {13605, 16, 4,
     "Column expressions and data sources without names or aliases cannot be formatted as JSON text using FOR "
     "JSON clause. Add alias to the unnamed column or table.",
     {}},
    {13607,
     16,
     4,
     "JSON path is not properly formatted. Unexpected character '%1' is found at position %2.",
     {}},
    {13608, 16, 1, "Property cannot be found on the specified JSON path.", {}},
    {13609,
     16,
     4,
     "JSON text is not properly formatted. Unexpected character '%1' is found at position %2.",
     {}},
    {13611,
     16,
     1,
     "Value referenced by JSON path is not an array or object and cannot be opened with OPENJSON.",
     {}},
    {13623, 16, 1, "Scalar value cannot be found in the specified JSON path.", {}},
    {13624, 16, 1, "Object or array cannot be found in the specified JSON path.", {}},
    {13625, 16, 1, "String value in the specified JSON path would be truncated.", {}},
    {9829,
     16,
     1,
     "STRING_AGG aggregation result exceeded the limit of 8000 bytes. Use LOB types to avoid "
     "result truncation.",
     {}},
    {8144, 16, 2, "Procedure or function %1 has too many arguments specified.", {}},
    {8145, 16, 2, "%1 is not a parameter for procedure %2.", {}},
    {8162,
     16,
     2,
     "The formal parameter \"%1\" was not declared as an OUTPUT parameter, but the actual "
     "parameter passed in requested output.",
     {}},
    {1023, 15, 1, "Invalid parameter %1 specified for %2.", {}},
    {10733, 15, 1, "The statement THROW without parameters must be inside a CATCH block.", {}},
    {10741, 15, 2, "A TOP can not be used in the same query or sub-query as a OFFSET.", {}},
    {10742, 16, 1, "The offset specified in a OFFSET clause may not be negative.", {}},
    {10744, 16, 1, "The number of rows provided for a FETCH clause must be greater then zero.", {}},
    {35100,
     16,
     10,
     "Error number %1 in the THROW statement is outside the valid range. Specify an error number "
     "in the valid range of 50000 to 2147483647.",
     {}},
    {18054,
     16,
     1,
     "Error %1, severity %2, state %3 was raised, but no message with that error number was "
     "found in sys.messages. If error is larger than 50000, make sure the user-defined message "
     "is added using sp_addmessage.",
     {}},
    {2787, 16, 1, "Invalid format string: '%1'.", {}},
    {214, 16, 2, "Procedure expects parameter '%1' of type '%2'.", {}},
    {1087, 15, 2, "Must declare the table variable \"%1\".", {}},
    {2627,
     14,
     1,
     "Violation of %1 constraint '%2'. Cannot insert duplicate key in object '%3'. The "
     "duplicate key value is %4.",
     {}},
    {2628,
     16,
     1,
     "String or binary data would be truncated in table '%1', column '%2'. Truncated value: "
     "'%3'.",
     {}},
    {2705,
     16,
     3,
     "Column names in each table must be unique. Column name '%1' in table '%2' is specified "
     "more than once.",
     {}},
    {2714, 16, 6, "There is already an object named '%1' in the database.", {}},
    {2750,
     16,
     1,
     "Column or parameter #%1: Specified column precision %2 is greater than the maximum "
     "precision of 38.",
     {}},
    {3617, 11, 1, "The batch was cancelled.", {}},
    {3621, 10, 0, "The statement has been terminated.", {}},
    {3623, 16, 1, "An invalid floating point operation occurred.", {}},
    {3701,
     11,
     5,
     "Cannot drop the %1 '%2', because it does not exist or you do not have permission.",
     {"table"}},
    {3902,
     16,
     1,
     "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.",
     {}},
    {3903,
     16,
     1,
     "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.",
     {}},
    {4104, 16, 1, "The multi-part identifier \"%1\" could not be bound.", {}},
    {4108, 16, 1, "Windowed functions can only appear in the SELECT or ORDER BY clauses.", {}},
    {4109,
     16,
     1,
     "Windowed functions cannot be used in the context of another windowed function or "
     "aggregate.",
     {}},
    {4112, 16, 1, "The function '%1' must have an OVER clause with ORDER BY.", {}},
    {4113,
     16,
     1,
     "%1 is not a valid windowing function, and cannot be used with the OVER clause.",
     {}},
    {4127,
     16,
     1,
     "At least one of the arguments to COALESCE must be an expression that is not the NULL "
     "constant.",
     {}},
    {4145,
     15,
     1,
     "An expression of non-boolean type specified in a context where a condition is expected, "
     "near '%1'.",
     {}},
    {8169, 16, 2, "Conversion failed when converting from a character string to uniqueidentifier.", {}},
    {4194,
     16,
     1,
     "RANGE is only supported with UNBOUNDED and CURRENT ROW window frame delimiters.",
     {}},
    {4403,
     16,
     1,
     "Cannot update the view or function '%1' because it contains aggregates, or a DISTINCT "
     "or GROUP BY clause, or PIVOT or UNPIVOT operator.",
     {}},
    {4405,
     16,
     1,
     "View or function '%1' is not updatable because the modification affects multiple base "
     "tables.",
     {}},
    {4406,
     16,
     1,
     "Update or insert of view or function '%1' failed because it contains a derived or "
     "constant field.",
     {}},
    {4417,
     16,
     1,
     "Derived table '%1' is not updatable because the definition contains a UNION operator.",
     {}},
    {4418,
     16,
     1,
     "Derived table '%1' is not updatable because it contains aggregates, or a DISTINCT or "
     "GROUP BY clause, or PIVOT or UNPIVOT operator.",
     {}},
    {4420,
     16,
     1,
     "Derived table '%1' is not updatable because the modification affects multiple base "
     "tables.",
     {}},
    {4421,
     16,
     1,
     "Derived table '%1' is not updatable because a column of the derived table is derived "
     "or constant.",
     {}},
    {4426,
     16,
     1,
     "View '%1' is not updatable because the definition contains a UNION operator.",
     {}},
    {2744,
     16,
     2,
     "Multiple identity columns specified for table '%1'. Only one identity column per table is "
     "allowed.",
     {}},
    {4901,
     16,
     1,
     "ALTER TABLE only allows columns to be added that can contain nulls, or have a DEFAULT "
     "definition specified, or the column being added is an identity or timestamp column, or "
     "alternatively if none of the previous conditions are satisfied the table must be empty to "
     "allow addition of this column. Column '%1' cannot be added to non-empty table '%2' because "
     "it does not satisfy these conditions.",
     {}},
    {4902,
     16,
     1,
     "Cannot find the object \"%1\" because it does not exist or you do not have permissions.",
     {}},
    {4923,
     16,
     1,
     "ALTER TABLE DROP COLUMN failed because '%1' is the only data column in table '%2'. A table "
     "must have at least one data column.",
     {}},
    {4924, 16, 1, "%1 failed because column '%2' does not exist in table '%3'.", {}},
    {8110, 16, 0, "Cannot add multiple PRIMARY KEY constraints to table '%1'.", {}},
    {8111, 16, 1, "Cannot define PRIMARY KEY constraint on nullable column in table '%1'.", {}},
    {1911, 16, 1, "Column name '%1' does not exist in the target table or view.", {}},
    {5074, 16, 1, "The %1 '%2' is dependent on column '%3'.", {}},
    {1779, 16, 0, "Table '%1' already has a primary key defined on it.", {}},
    {1505, 16, 1,
     "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the object name "
     "'%1' and the index name '%2'. The duplicate key value is %3.",
     {}},
    {3728, 16, 1, "'%1' is not a constraint.", {}},
    {2601, 14, 1,
     "Cannot insert duplicate key row in object '%1' with unique index '%2'. The duplicate key value is %3.", {}},
    {7999, 16, 9, "Could not find any index named '%1' for table '%2'.", {}},
    {10735, 16, 1, "Incorrect WHERE clause for filtered index '%1' on table '%2'.", {}},
    {1913, 16, 1,
     "The operation failed because an index or statistics with name '%1' already exists on table '%2'.", {}},
    {3723, 16, 4,
     "An explicit DROP INDEX is not allowed on index '%1'. It is being used for %2 constraint enforcement.", {}},
    {1781, 16, 1, "Column already has a DEFAULT bound to it.", {}},
    {1752, 16, 0, "Column '%1' in table '%2' is invalid for creating a default constraint.", {}},
    {4917, 16, 0, "Constraint '%1' does not exist.", {}},
    {1046, 15, 1, "Subqueries are not allowed in this context. Only scalar expressions are allowed.", {}},
    {547, 16, 0,
     "The %1 statement conflicted with the CHECK constraint \"%2\". The conflict occurred in database \"%3\", "
     "table \"%4\"%5.",
     {}},
    {15225,
     11,
     1,
     "No item by the name of '%1' could be found in the current database '%2', given that "
     "@itemtype was input as '%3'.",
     {}},
    {15248, 11, 1, "Either the parameter @objname is ambiguous or the claimed @objtype (%1) is wrong.", {}},
    {15335,
     11,
     1,
     "Error: The new name '%1' is already in use as a %2 name and would cause a duplicate that is "
     "not permitted.",
     {}},
    {15477, 10, 1, "Caution: Changing any part of an object name could break scripts and stored procedures.", {}},
    {40517, 16, 1, "Keyword or statement option '%1' is not supported in this version of SQL Server.", {}},
    {6401, 16, 1, "Cannot roll back %1. No transaction or savepoint of that name was found.", {}},
    {8114, 16, 5, "Error converting data type %1 to %2.", {"varchar", "numeric"}},
    {8115,
     16,
     2,
     "Arithmetic overflow error converting %1 to data type %2.",
     {"expression", "int"}},
    {8116, 16, 1, "Argument data type %1 is invalid for argument %2 of %3 function.", {}},
    {8117, 16, 1, "Operand data type %1 is invalid for %2 operator.", {}},
    {8118,
     16,
     1,
     "Column '%1' is invalid in the select list because it is not contained in an aggregate "
     "function and there is no GROUP BY clause.",
     {}},
    {8120,
     16,
     1,
     "Column '%1' is invalid in the select list because it is not contained in either an "
     "aggregate function or the GROUP BY clause.",
     {}},
    {8134, 16, 1, "Divide by zero error encountered.", {}},
    {8152, 16, 14, "String or binary data would be truncated.", {}},
    {8153, 10, 1, "Warning: Null value is eliminated by an aggregate or other SET operation.", {}},
    {8155, 16, 2, "No column name was specified for column %1 of '%2'.", {}},
    {9810, 16, 1, "The datepart %1 is not supported by date function %2 for data type %3.", {}},
    {8156, 16, 1, "The column '%1' was specified multiple times for '%2'.", {}},
    {8158, 16, 1, "'%1' has more columns than were specified in the column list.", {}},
    {8159, 16, 1, "'%1' has fewer columns than were specified in the column list.", {}},
    {8672,
     16,
     1,
     "The MERGE statement attempted to UPDATE or DELETE the same row more than once. This "
     "happens when a target row matches more than one source row. A MERGE statement cannot "
     "UPDATE/DELETE the same row of the target table multiple times. Refine the ON clause to "
     "ensure a target row matches at most one source row, or use the GROUP BY clause to "
     "group the source rows.",
     {}},
    {10709,
     16,
     1,
     "The number of columns for each row in a table value constructor must be the same.",
     {}},
    {10713, 15, 1, "A MERGE statement must be terminated by a semi-colon (;).", {}},
    {10752, 15, 1, "The function '%1' may not have a window frame.", {}},
    {10753, 15, 1, "The function '%1' must have an OVER clause.", {}},
    {10759, 15, 1, "Use of DISTINCT is not allowed with the OVER clause.", {}},
    {16902, 16, 1, "%1: The value of the parameter %2 is invalid.", {}},
    {16905, 16, 1, "The cursor is already open.", {}},
    {16911, 16, 1, "%1: The fetch type %2 cannot be used with forward only cursors.", {}},
    {16915, 16, 1, "A cursor with the name '%1' already exists.", {}},
    {16916, 16, 1, "A cursor with the name '%1' does not exist.", {}},
    {16917, 16, 1, "Cursor is not open.", {}},
    {16924,
     16,
     1,
     "Cursorfetch: The number of variables declared in the INTO list must match that of "
     "selected columns.",
     {}},
    {16925, 16, 1, "The fetch type %1 cannot be used with dynamic cursors.", {}},
    {16929, 16, 1, "The cursor is READ ONLY.", {}},
    {16930, 16, 1, "The requested row is not in the fetch buffer.", {}},
    {16932,
     16,
     1,
     "The cursor has a FOR UPDATE list and the requested column to be updated is not in this "
     "list.",
     {}},
    {16933,
     16,
     1,
     "The cursor does not include the table being modified or the table is not updatable "
     "through the cursor.",
     {}},
    {16950, 16, 2, "The variable '%1' does not currently have a cursor allocated to it.", {}},
    {15009, 16, 1, "The object '%1' does not exist in database '%2' or is invalid for this operation.", {}},
};

const Entry* Find(int32_t number) {
  for (const Entry& e : kCatalogue) {
    if (e.number == number) return &e;
  }
  return nullptr;
}

int PlaceholderCount(std::string_view text) {
  int count = 0;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9')
      count = std::max(count, text[i + 1] - '0');
  }
  return count;
}

SqlError FromEntry(const Entry* entry, std::vector<std::string> values) {
  SqlError error;
  error.number = entry->number;
  error.severity = entry->severity;
  error.state = entry->state;
  const int32_t number = entry->number;
  // "Column 't.a'": the column errors accept the exposed name and the column apart.
  if ((number == 8118 || number == 8120) && values.size() == 2) {
    values = {values[0] + "." + values[1]};
  }
  std::string_view text = entry->text;
  int needed = PlaceholderCount(text);
  if (static_cast<int>(values.size()) < needed) {
    std::vector<std::string> filled;
    int missing = needed - static_cast<int>(values.size());
    auto it = entry->defaults.begin();
    for (int i = 0; i < missing; ++i) {
      filled.emplace_back(it != entry->defaults.end() ? *it++ : "");
    }
    filled.insert(filled.end(), values.begin(), values.end());
    values = std::move(filled);
  }
  std::string& out = error.message;
  out.reserve(text.size() + 32);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      size_t k = static_cast<size_t>(text[i + 1] - '1');
      if (k < values.size()) out += values[k];
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return error;
}

}  // namespace

SqlError MakeError(int32_t number, std::initializer_list<std::string> args) {
  const Entry* entry = Find(number);
  if (entry == nullptr) {
    // Not catalogued: the caller's first argument is the whole message.
    SqlError error;
    error.number = number;
    error.message = args.size() > 0 ? *args.begin() : "Error " + std::to_string(number) + ".";
    return error;
  }
  return FromEntry(entry, std::vector<std::string>(args.begin(), args.end()));
}

std::optional<SqlError> CataloguedError(int32_t number, const std::vector<std::string>& args) {
  const Entry* entry = Find(number);
  if (entry == nullptr) return std::nullopt;
  return FromEntry(entry, args);
}

void ThrowError(int32_t number, std::initializer_list<std::string> args) {
  throw SqlException(MakeError(number, args));
}

}  // namespace orv::tsql
