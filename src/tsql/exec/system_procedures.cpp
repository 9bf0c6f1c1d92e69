#include "tsql/exec/system_procedures.h"

#include <array>
#include <string>
#include <utility>

namespace orv::tsql {
namespace {

// Patterns are LIKE patterns with '\' as escape, as ODBC drivers send them; NULL matches all.
// The result sets have SQL Server's columns, types and order.

constexpr const char* kTables = R"(CREATE PROCEDURE sp_tables
  @table_name nvarchar(384) = NULL, @table_owner nvarchar(384) = NULL,
  @table_qualifier sysname = NULL, @table_type varchar(100) = NULL, @fUsePattern bit = 1
AS
-- ODBC's enumerations of the databases, the owners and the kinds of table.
IF @table_qualifier = '%' AND @table_owner = '' AND @table_name = ''
BEGIN
  SELECT TABLE_QUALIFIER = CONVERT(sysname, DB_NAME()), TABLE_OWNER = CONVERT(sysname, NULL),
    TABLE_NAME = CONVERT(sysname, NULL), TABLE_TYPE = CONVERT(varchar(32), NULL),
    REMARKS = CONVERT(varchar(254), NULL)
  RETURN
END
IF @table_owner = '%' AND @table_qualifier = '' AND @table_name = ''
BEGIN
  SELECT TABLE_QUALIFIER = CONVERT(sysname, NULL), TABLE_OWNER = CONVERT(sysname, 'dbo'),
    TABLE_NAME = CONVERT(sysname, NULL), TABLE_TYPE = CONVERT(varchar(32), NULL),
    REMARKS = CONVERT(varchar(254), NULL)
  RETURN
END
IF @table_type = '%' AND @table_qualifier = '' AND @table_owner = '' AND @table_name = ''
BEGIN
  SELECT TABLE_QUALIFIER = CONVERT(sysname, NULL), TABLE_OWNER = CONVERT(sysname, NULL),
    TABLE_NAME = CONVERT(sysname, NULL), TABLE_TYPE = CONVERT(varchar(32), k.kind),
    REMARKS = CONVERT(varchar(254), NULL)
  FROM (VALUES ('TABLE'), ('VIEW')) k(kind)
  ORDER BY 4
  RETURN
END
SELECT TABLE_QUALIFIER = CONVERT(sysname, t.TABLE_CATALOG), TABLE_OWNER = CONVERT(sysname, t.TABLE_SCHEMA),
  TABLE_NAME = CONVERT(sysname, t.TABLE_NAME), TABLE_TYPE = CONVERT(varchar(32), t.kind),
  REMARKS = CONVERT(varchar(254), NULL)
FROM (SELECT TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME,
        kind = CASE TABLE_TYPE WHEN 'VIEW' THEN 'VIEW' ELSE 'TABLE' END
      FROM INFORMATION_SCHEMA.TABLES) t
WHERE (@table_name IS NULL OR (@fUsePattern = 1 AND t.TABLE_NAME LIKE @table_name ESCAPE '\')
       OR (@fUsePattern = 0 AND t.TABLE_NAME = @table_name))
  AND (@table_owner IS NULL OR (@fUsePattern = 1 AND t.TABLE_SCHEMA LIKE @table_owner ESCAPE '\')
       OR (@fUsePattern = 0 AND t.TABLE_SCHEMA = @table_owner))
  AND (@table_qualifier IS NULL OR t.TABLE_CATALOG = @table_qualifier)
  -- The kinds as a list of quoted names ('TABLE','VIEW'), or unquoted (TABLE,VIEW).
  AND (@table_type IS NULL OR CHARINDEX('''' + t.kind + '''', UPPER(@table_type)) > 0
       OR (CHARINDEX('''', @table_type) = 0
           AND CHARINDEX(',' + t.kind + ',', ',' + UPPER(REPLACE(@table_type, ' ', '')) + ',') > 0))
ORDER BY 4, 1, 2, 3
)";

// The ODBC description of a column or parameter: from DATA_TYPE to SS_DATA_TYPE, over rows `c`
// shaped like INFORMATION_SCHEMA.COLUMNS (with ORDINAL_POSITION and IS_NULLABLE), joined to the
// types `t` (kOdbcTypes).
constexpr const char* kOdbcFacets = R"(  DATA_TYPE = CONVERT(smallint, CASE WHEN @ODBCVer >= 3 THEN t.odbc3 ELSE t.odbc2 END),
  TYPE_NAME = CONVERT(sysname, c.DATA_TYPE),
  [PRECISION] = CONVERT(int, CASE
    WHEN c.DATA_TYPE IN ('text', 'ntext') THEN t.prec
    WHEN c.CHARACTER_MAXIMUM_LENGTH = -1 THEN 0
    WHEN c.CHARACTER_MAXIMUM_LENGTH IS NOT NULL THEN c.CHARACTER_MAXIMUM_LENGTH
    WHEN c.DATA_TYPE IN ('decimal', 'numeric') THEN c.NUMERIC_PRECISION
    WHEN c.DATA_TYPE IN ('time', 'datetime2', 'datetimeoffset')
      THEN t.prec + CASE WHEN c.DATETIME_PRECISION > 0 THEN c.DATETIME_PRECISION + 1 ELSE 0 END
    ELSE t.prec END),
  LENGTH = CONVERT(int, CASE
    WHEN c.DATA_TYPE IN ('text', 'ntext') THEN t.len
    WHEN c.CHARACTER_MAXIMUM_LENGTH = -1 THEN 0
    WHEN c.CHARACTER_OCTET_LENGTH IS NOT NULL THEN c.CHARACTER_OCTET_LENGTH
    WHEN c.DATA_TYPE IN ('decimal', 'numeric') THEN c.NUMERIC_PRECISION + 2
    ELSE t.len END),
  SCALE = CONVERT(smallint, CASE
    WHEN c.DATA_TYPE IN ('decimal', 'numeric') THEN c.NUMERIC_SCALE
    WHEN c.DATA_TYPE IN ('time', 'datetime2', 'datetimeoffset') THEN c.DATETIME_PRECISION
    ELSE t.scale END),
  RADIX = CONVERT(smallint, t.radix),
  NULLABLE = CONVERT(smallint, CASE c.IS_NULLABLE WHEN 'YES' THEN 1 ELSE 0 END),
  REMARKS = CONVERT(varchar(254), NULL),
  COLUMN_DEF = CONVERT(nvarchar(4000), c.COLUMN_DEFAULT),
  SQL_DATA_TYPE = CONVERT(smallint, CASE WHEN @ODBCVer >= 3 AND t.sub IS NOT NULL THEN 9
    WHEN @ODBCVer >= 3 THEN t.odbc3 ELSE t.odbc2 END),
  SQL_DATETIME_SUB = CONVERT(smallint, CASE WHEN @ODBCVer >= 3 THEN t.sub END),
  CHAR_OCTET_LENGTH = CONVERT(int, CASE WHEN c.DATA_TYPE IN ('text', 'ntext') THEN t.len
    WHEN c.CHARACTER_OCTET_LENGTH = -1 THEN 0 ELSE c.CHARACTER_OCTET_LENGTH END),
  ORDINAL_POSITION = CONVERT(int, c.ORDINAL_POSITION),
  IS_NULLABLE = CONVERT(varchar(254), c.IS_NULLABLE),
  SS_DATA_TYPE = CONVERT(tinyint, CASE c.IS_NULLABLE WHEN 'YES' THEN t.ss_null ELSE t.ss END)
)";

// Per type: its ODBC 2 and ODBC 3 codes, the date-time subcode of ODBC 3, the precision,
// length and scale of fixed types (those of character, binary and decimal types and of the
// fractional-second types come from the column), the radix, and SQL Server's own type codes
// of a column that does not and that does allow NULLs.
constexpr const char* kOdbcTypes = R"(JOIN (VALUES
  ('bit', -7, -7, NULL, 1, 1, NULL, NULL, 50, 50),
  ('tinyint', -6, -6, NULL, 3, 1, 0, 10, 48, 38),
  ('smallint', 5, 5, NULL, 5, 2, 0, 10, 52, 38),
  ('int', 4, 4, NULL, 10, 4, 0, 10, 56, 38),
  ('bigint', -5, -5, NULL, 19, 8, 0, 10, 108, 108),
  ('decimal', 3, 3, NULL, NULL, NULL, NULL, 10, 106, 106),
  ('numeric', 2, 2, NULL, NULL, NULL, NULL, 10, 108, 108),
  ('money', 3, 3, NULL, 19, 21, 4, 10, 60, 110),
  ('smallmoney', 3, 3, NULL, 10, 12, 4, 10, 122, 110),
  ('float', 6, 6, NULL, 15, 8, NULL, 10, 62, 109),
  ('real', 7, 7, NULL, 7, 4, NULL, 10, 59, 109),
  ('datetime', 11, 93, 3, 23, 16, 3, NULL, 61, 111),
  ('smalldatetime', 11, 93, 3, 16, 16, 0, NULL, 58, 111),
  ('date', 9, 91, 1, 10, 6, NULL, NULL, 0, 0),
  ('time', 10, -154, NULL, 8, 12, NULL, NULL, 0, 0),
  ('datetime2', 11, 93, 3, 19, 16, NULL, NULL, 0, 0),
  ('datetimeoffset', -155, -155, NULL, 26, 20, NULL, NULL, 0, 0),
  ('char', 1, 1, NULL, NULL, NULL, NULL, NULL, 47, 47),
  ('varchar', 12, 12, NULL, NULL, NULL, NULL, NULL, 39, 39),
  ('nchar', -8, -8, NULL, NULL, NULL, NULL, NULL, 39, 39),
  ('nvarchar', -9, -9, NULL, NULL, NULL, NULL, NULL, 39, 39),
  ('text', -1, -1, NULL, 2147483647, 2147483647, NULL, NULL, 35, 35),
  ('ntext', -10, -10, NULL, 1073741823, 2147483646, NULL, NULL, 35, 35),
  ('binary', -2, -2, NULL, NULL, NULL, NULL, NULL, 45, 45),
  ('varbinary', -3, -3, NULL, NULL, NULL, NULL, NULL, 37, 37),
  ('uniqueidentifier', -11, -11, NULL, 36, 16, NULL, NULL, 39, 39),
  ('sql_variant', -150, -150, NULL, 8000, 8016, NULL, NULL, 39, 39)
  ) t(name, odbc2, odbc3, sub, prec, len, scale, radix, ss, ss_null) ON t.name = c.DATA_TYPE
)";

// A table's or view's columns for ODBC's SQLColumns.
const std::string kColumns = std::string(R"(CREATE PROCEDURE sp_columns
  @table_name nvarchar(384), @table_owner nvarchar(384) = NULL, @table_qualifier sysname = NULL,
  @column_name nvarchar(384) = NULL, @ODBCVer int = 2
AS
SELECT TABLE_QUALIFIER = CONVERT(sysname, c.TABLE_CATALOG), TABLE_OWNER = CONVERT(sysname, c.TABLE_SCHEMA),
  TABLE_NAME = CONVERT(sysname, c.TABLE_NAME), COLUMN_NAME = CONVERT(sysname, c.COLUMN_NAME),
)") + kOdbcFacets + R"(FROM INFORMATION_SCHEMA.COLUMNS c
)" + kOdbcTypes + R"(WHERE c.TABLE_NAME LIKE @table_name ESCAPE '\'
  AND (@table_owner IS NULL OR c.TABLE_SCHEMA LIKE @table_owner ESCAPE '\')
  AND (@table_qualifier IS NULL OR c.TABLE_CATALOG = @table_qualifier)
  AND (@column_name IS NULL OR c.COLUMN_NAME LIKE @column_name ESCAPE '\')
ORDER BY 1, 2, 3, 17
)";

// A procedure's parameters for ODBC's SQLProcedureColumns: its return value (ordinal 0), then
// each parameter, input (1) or input/output (2).
const std::string kProcedureColumns = std::string(R"(CREATE PROCEDURE sp_sproc_columns
  @procedure_name nvarchar(390) = '%', @procedure_owner nvarchar(384) = NULL,
  @procedure_qualifier sysname = NULL, @column_name nvarchar(384) = NULL, @ODBCVer int = 2,
  @fUsePattern bit = 1
AS
SELECT PROCEDURE_QUALIFIER = CONVERT(sysname, c.TABLE_CATALOG),
  PROCEDURE_OWNER = CONVERT(sysname, c.TABLE_SCHEMA),
  PROCEDURE_NAME = CONVERT(nvarchar(134), c.TABLE_NAME + ';1'),
  COLUMN_NAME = CONVERT(sysname, c.COLUMN_NAME), COLUMN_TYPE = CONVERT(smallint, c.COLUMN_TYPE),
)") + kOdbcFacets + R"(FROM (
  SELECT TABLE_CATALOG = SPECIFIC_CATALOG, TABLE_SCHEMA = SPECIFIC_SCHEMA, TABLE_NAME = SPECIFIC_NAME,
    COLUMN_NAME = PARAMETER_NAME, COLUMN_TYPE = CASE PARAMETER_MODE WHEN 'IN' THEN 1 ELSE 2 END,
    DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, CHARACTER_OCTET_LENGTH, NUMERIC_PRECISION, NUMERIC_SCALE,
    DATETIME_PRECISION, COLUMN_DEFAULT = CONVERT(nvarchar(4000), NULL), IS_NULLABLE = 'YES',
    ORDINAL_POSITION
  FROM INFORMATION_SCHEMA.PARAMETERS
  UNION ALL
  SELECT ROUTINE_CATALOG, ROUTINE_SCHEMA, ROUTINE_NAME, '@RETURN_VALUE', 5, 'int', NULL, NULL, 10, 0,
    NULL, NULL, 'NO', 0
  FROM INFORMATION_SCHEMA.ROUTINES
) c
)" + kOdbcTypes + R"(WHERE ((@fUsePattern = 1 AND c.TABLE_NAME LIKE @procedure_name ESCAPE '\')
       OR (@fUsePattern = 0 AND c.TABLE_NAME = @procedure_name))
  AND (@procedure_owner IS NULL OR c.TABLE_SCHEMA LIKE @procedure_owner ESCAPE '\')
  AND (@procedure_qualifier IS NULL OR c.TABLE_CATALOG = @procedure_qualifier)
  AND (@column_name IS NULL OR c.COLUMN_NAME LIKE @column_name ESCAPE '\')
ORDER BY 1, 2, 3, 18
)";

constexpr const char* kStoredProcedures = R"(CREATE PROCEDURE sp_stored_procedures
  @sp_name nvarchar(390) = NULL, @sp_owner nvarchar(384) = NULL, @sp_qualifier sysname = NULL,
  @fUsePattern bit = 1
AS
SELECT PROCEDURE_QUALIFIER = CONVERT(sysname, ROUTINE_CATALOG),
  PROCEDURE_OWNER = CONVERT(sysname, ROUTINE_SCHEMA),
  PROCEDURE_NAME = CONVERT(nvarchar(134), ROUTINE_NAME + ';1'),
  NUM_INPUT_PARAMS = -1, NUM_OUTPUT_PARAMS = -1, NUM_RESULT_SETS = -1,
  REMARKS = CONVERT(varchar(254), NULL), PROCEDURE_TYPE = CONVERT(smallint, 2)
FROM INFORMATION_SCHEMA.ROUTINES
WHERE (@sp_name IS NULL OR (@fUsePattern = 1 AND ROUTINE_NAME LIKE @sp_name ESCAPE '\')
       OR (@fUsePattern = 0 AND ROUTINE_NAME = @sp_name))
  AND (@sp_owner IS NULL OR ROUTINE_SCHEMA LIKE @sp_owner ESCAPE '\')
  AND (@sp_qualifier IS NULL OR ROUTINE_CATALOG = @sp_qualifier)
ORDER BY 1, 2, 3
)";

// The columns of a table's primary key, in key order.
constexpr const char* kPrimaryKeys = R"(CREATE PROCEDURE sp_pkeys
  @table_name sysname, @table_owner sysname = NULL, @table_qualifier sysname = NULL
AS
SELECT TABLE_QUALIFIER = CONVERT(sysname, k.TABLE_CATALOG), TABLE_OWNER = CONVERT(sysname, k.TABLE_SCHEMA),
  TABLE_NAME = CONVERT(sysname, k.TABLE_NAME), COLUMN_NAME = CONVERT(sysname, k.COLUMN_NAME),
  KEY_SEQ = CONVERT(smallint, k.ORDINAL_POSITION), PK_NAME = CONVERT(sysname, k.CONSTRAINT_NAME)
FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE k
JOIN INFORMATION_SCHEMA.TABLE_CONSTRAINTS c ON c.CONSTRAINT_NAME = k.CONSTRAINT_NAME AND c.TABLE_NAME = k.TABLE_NAME
WHERE c.CONSTRAINT_TYPE = 'PRIMARY KEY' AND k.TABLE_NAME = @table_name
  AND (@table_owner IS NULL OR k.TABLE_SCHEMA = @table_owner)
  AND (@table_qualifier IS NULL OR k.TABLE_CATALOG = @table_qualifier)
ORDER BY 1, 2, 3, 5
)";

// Tables here have no foreign keys, statistics or row-version columns: these answer with no
// rows.
constexpr const char* kForeignKeys = R"(CREATE PROCEDURE sp_fkeys
  @pktable_name sysname = NULL, @pktable_owner sysname = NULL, @pktable_qualifier sysname = NULL,
  @fktable_name sysname = NULL, @fktable_owner sysname = NULL, @fktable_qualifier sysname = NULL
AS
SELECT PKTABLE_QUALIFIER = CONVERT(sysname, NULL), PKTABLE_OWNER = CONVERT(sysname, NULL),
  PKTABLE_NAME = CONVERT(sysname, NULL), PKCOLUMN_NAME = CONVERT(sysname, NULL),
  FKTABLE_QUALIFIER = CONVERT(sysname, NULL), FKTABLE_OWNER = CONVERT(sysname, NULL),
  FKTABLE_NAME = CONVERT(sysname, NULL), FKCOLUMN_NAME = CONVERT(sysname, NULL),
  KEY_SEQ = CONVERT(smallint, NULL), UPDATE_RULE = CONVERT(smallint, NULL),
  DELETE_RULE = CONVERT(smallint, NULL), FK_NAME = CONVERT(sysname, NULL),
  PK_NAME = CONVERT(sysname, NULL), DEFERRABILITY = CONVERT(smallint, NULL)
WHERE 1 = 0
)";

constexpr const char* kStatistics = R"(CREATE PROCEDURE sp_statistics
  @table_name sysname, @table_owner sysname = NULL, @table_qualifier sysname = NULL,
  @index_name sysname = '%', @is_unique char(1) = 'N', @accuracy char(1) = 'Q'
AS
SELECT TABLE_QUALIFIER = CONVERT(sysname, NULL), TABLE_OWNER = CONVERT(sysname, NULL),
  TABLE_NAME = CONVERT(sysname, NULL), NON_UNIQUE = CONVERT(smallint, NULL),
  INDEX_QUALIFIER = CONVERT(sysname, NULL), INDEX_NAME = CONVERT(sysname, NULL),
  TYPE = CONVERT(smallint, NULL), SEQ_IN_INDEX = CONVERT(smallint, NULL),
  COLUMN_NAME = CONVERT(sysname, NULL), COLLATION = CONVERT(char(1), NULL),
  CARDINALITY = CONVERT(int, NULL), PAGES = CONVERT(int, NULL),
  FILTER_CONDITION = CONVERT(varchar(128), NULL)
WHERE 1 = 0
)";

constexpr const char* kSpecialColumns = R"(CREATE PROCEDURE sp_special_columns
  @table_name sysname, @table_owner sysname = NULL, @table_qualifier sysname = NULL,
  @col_type char(1) = 'R', @scope char(1) = 'T', @nullable char(1) = 'U', @ODBCVer int = 2
AS
SELECT SCOPE = CONVERT(smallint, NULL), COLUMN_NAME = CONVERT(sysname, NULL),
  DATA_TYPE = CONVERT(smallint, NULL), TYPE_NAME = CONVERT(sysname, NULL),
  [PRECISION] = CONVERT(int, NULL), LENGTH = CONVERT(int, NULL), SCALE = CONVERT(smallint, NULL),
  PSEUDO_COLUMN = CONVERT(smallint, NULL)
WHERE 1 = 0
)";

// With no name: the objects of the database (and no user types). With a table or view: what it
// is, its columns, its identity column and the rest SQL Server shows (no indexes, constraints or
// references exist here); with a procedure: what it is and its parameters.
constexpr const char* kHelp = R"(CREATE PROCEDURE sp_help @objname nvarchar(776) = NULL
AS
IF @objname IS NULL
BEGIN
  SELECT Name = CONVERT(sysname, name), Owner = CONVERT(sysname, 'dbo'),
    Object_type = CONVERT(nvarchar(31), CASE type WHEN 'U' THEN 'user table' WHEN 'V' THEN 'view'
      WHEN 'P' THEN 'stored procedure' ELSE LOWER(type_desc) END)
  FROM sys.objects
  ORDER BY 3, 1
  SELECT User_type = CONVERT(sysname, NULL), Storage_type = CONVERT(sysname, NULL),
    Length = CONVERT(smallint, NULL), Prec = CONVERT(int, NULL), Scale = CONVERT(int, NULL),
    Nullable = CONVERT(varchar(35), NULL), Default_name = CONVERT(sysname, NULL),
    Rule_name = CONVERT(sysname, NULL), Collation = CONVERT(sysname, NULL)
  WHERE 1 = 0
  RETURN 0
END
DECLARE @id int, @type varchar(2), @name sysname, @db sysname = DB_NAME()
SELECT @id = object_id, @type = type, @name = name FROM sys.objects WHERE object_id = OBJECT_ID(@objname)
IF @id IS NULL
BEGIN
  RAISERROR(15009, 16, 1, @objname, @db)
  RETURN 1
END
SELECT Name = CONVERT(sysname, name), Owner = CONVERT(sysname, 'dbo'),
  Type = CONVERT(nvarchar(31), CASE type WHEN 'U' THEN 'user table' WHEN 'V' THEN 'view'
    ELSE 'stored procedure' END),
  Created_datetime = create_date
FROM sys.objects WHERE object_id = @id
IF @type = 'P'
BEGIN
  IF EXISTS (SELECT 1 FROM sys.parameters WHERE object_id = @id)
    SELECT Parameter_name = CONVERT(sysname, p.name), Type = CONVERT(sysname, t.name),
      Length = CONVERT(smallint, p.max_length),
      Prec = CONVERT(int, CASE WHEN t.name IN ('nchar', 'nvarchar') THEN p.max_length / 2
        WHEN t.name IN ('char', 'varchar', 'binary', 'varbinary') THEN p.max_length
        WHEN t.name = 'datetime' THEN 23 WHEN t.name = 'smalldatetime' THEN 16 ELSE p.[precision] END),
      Scale = CONVERT(int, CASE WHEN t.name IN ('tinyint', 'smallint', 'int', 'bigint', 'decimal', 'numeric',
        'money', 'smallmoney', 'bit') THEN p.scale WHEN t.name = 'datetime' THEN 3 END),
      Param_order = CONVERT(smallint, p.parameter_id),
      Collation = CONVERT(sysname, CASE WHEN t.name IN ('char', 'varchar', 'nchar', 'nvarchar', 'text', 'ntext')
        THEN 'Chinese_PRC_CI_AS' END)
    FROM sys.parameters p JOIN sys.types t ON t.user_type_id = p.user_type_id
    WHERE p.object_id = @id
    ORDER BY p.parameter_id
  RETURN 0
END
SELECT Column_name = CONVERT(sysname, c.name), Type = CONVERT(sysname, t.name),
  Computed = CONVERT(varchar(35), 'no'), Length = CONVERT(int, c.max_length),
  Prec = CONVERT(char(5), CASE WHEN t.name IN ('tinyint', 'smallint', 'int', 'bigint', 'decimal', 'numeric',
    'money', 'smallmoney', 'float', 'real') THEN CONVERT(varchar(5), c.[precision]) ELSE '' END),
  Scale = CONVERT(char(5), CASE WHEN t.name IN ('tinyint', 'smallint', 'int', 'bigint', 'decimal', 'numeric',
    'money', 'smallmoney') THEN CONVERT(varchar(5), c.scale) ELSE '' END),
  Nullable = CONVERT(varchar(35), CASE c.is_nullable WHEN 1 THEN 'yes' ELSE 'no' END),
  TrimTrailingBlanks = CONVERT(varchar(35), CASE WHEN t.name IN ('char', 'varchar', 'binary', 'varbinary')
    THEN 'no' ELSE '(n/a)' END),
  FixedLenNullInSource = CONVERT(varchar(35), CASE WHEN t.name IN ('char', 'varchar', 'binary', 'varbinary',
    'nchar', 'nvarchar') THEN 'no' ELSE '(n/a)' END),
  Collation = CONVERT(sysname, c.collation_name)
FROM sys.columns c JOIN sys.types t ON t.user_type_id = c.user_type_id
WHERE c.object_id = @id
ORDER BY c.column_id
IF EXISTS (SELECT 1 FROM sys.columns WHERE object_id = @id AND is_identity = 1)
  SELECT [Identity] = CONVERT(sysname, name), Seed = CONVERT(numeric(38), IDENT_SEED(@name)),
    Increment = CONVERT(numeric(38), IDENT_INCR(@name)), [Not For Replication] = 0
  FROM sys.columns WHERE object_id = @id AND is_identity = 1
ELSE
  SELECT [Identity] = CONVERT(sysname, 'No identity column defined.'), Seed = CONVERT(numeric(38), NULL),
    Increment = CONVERT(numeric(38), NULL), [Not For Replication] = CONVERT(int, NULL)
SELECT [RowGuidCol] = CONVERT(sysname, 'No rowguidcol column defined.')
IF @type = 'V' RETURN 0
SELECT Data_located_on_filegroup = CONVERT(sysname, 'PRIMARY')
EXEC sp_helpindex @name
EXEC sp_helpconstraint @name, 'nomsg'
PRINT 'No foreign keys reference table ''' + @name + ''', or you do not have permissions.'
PRINT 'No views with schema binding reference table ''' + @name + '''.'
RETURN 0
)";

// sp_helpindex: a table's indexes, each with what it is and its key columns.
constexpr const char* kHelpIndex = R"(CREATE PROCEDURE sp_helpindex @objname nvarchar(776)
AS
DECLARE @id int = OBJECT_ID(@objname), @db sysname = DB_NAME()
IF @id IS NULL
BEGIN
  RAISERROR(15009, 16, 1, @objname, @db)
  RETURN 1
END
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = @id AND index_id > 0)
BEGIN
  PRINT 'The object ''' + @objname + ''' does not have any indexes, or you do not have permissions.'
  RETURN 0
END
SELECT index_name = i.name,
  index_description = CONVERT(varchar(210), LOWER(i.type_desc)
    + CASE WHEN i.is_unique = 1 THEN ', unique' ELSE '' END
    + CASE WHEN i.is_primary_key = 1 THEN ', primary key' WHEN i.is_unique_constraint = 1 THEN ', unique key' ELSE '' END
    + ' located on PRIMARY'),
  index_keys = CONVERT(nvarchar(2126), (SELECT STRING_AGG(c.name, ', ') WITHIN GROUP (ORDER BY ic.key_ordinal)
    FROM sys.index_columns ic JOIN sys.columns c ON c.object_id = ic.object_id AND c.column_id = ic.column_id
    WHERE ic.object_id = i.object_id AND ic.index_id = i.index_id))
FROM sys.indexes i
WHERE i.object_id = @id AND i.index_id > 0
ORDER BY i.name
RETURN 0
)";

// sp_helpconstraint: a table's PRIMARY KEY, UNIQUE, CHECK and DEFAULT constraints. With @nomsg
// other than 'msg' (as sp_help calls it) the table's name is not returned first.
constexpr const char* kHelpConstraint = R"(CREATE PROCEDURE sp_helpconstraint @objname nvarchar(776),
  @nomsg varchar(5) = 'msg'
AS
DECLARE @id int, @name sysname, @db sysname = DB_NAME()
SELECT @id = object_id, @name = name FROM sys.objects WHERE object_id = OBJECT_ID(@objname) AND type = 'U'
IF @id IS NULL
BEGIN
  RAISERROR(15009, 16, 1, @objname, @db)
  RETURN 1
END
IF @nomsg = 'msg' SELECT [Object Name] = @name
IF NOT EXISTS (SELECT 1 FROM sys.key_constraints WHERE parent_object_id = @id)
  AND NOT EXISTS (SELECT 1 FROM sys.check_constraints WHERE parent_object_id = @id)
  AND NOT EXISTS (SELECT 1 FROM sys.default_constraints WHERE parent_object_id = @id)
BEGIN
  PRINT 'No constraints are defined on object ''' + @name + ''', or you do not have permissions.'
END
ELSE
  SELECT constraint_type = CONVERT(nvarchar(146), t.constraint_type), constraint_name = CONVERT(sysname, t.name),
    delete_action = CONVERT(nvarchar(9), '(n/a)'), update_action = CONVERT(nvarchar(9), '(n/a)'),
    status_enabled = CONVERT(varchar(8), t.status_enabled),
    status_for_replication = CONVERT(varchar(19), t.status_for_replication),
    constraint_keys = CONVERT(nvarchar(2126), t.constraint_keys)
  FROM (
    SELECT CASE k.type WHEN 'PK' THEN 'PRIMARY KEY (clustered)' ELSE 'UNIQUE (non-clustered)' END, k.name,
      '(n/a)', '(n/a)',
      (SELECT STRING_AGG(c.name, ', ') WITHIN GROUP (ORDER BY ic.key_ordinal)
       FROM sys.index_columns ic JOIN sys.columns c ON c.object_id = ic.object_id AND c.column_id = ic.column_id
       WHERE ic.object_id = @id AND ic.index_id = k.unique_index_id)
    FROM sys.key_constraints k WHERE k.parent_object_id = @id
    UNION ALL
    SELECT CASE WHEN k.parent_column_id = 0 THEN 'CHECK Table Level'
      ELSE 'CHECK on column ' + (SELECT name FROM sys.columns WHERE object_id = @id AND column_id = k.parent_column_id)
      END, k.name,
      CASE k.is_disabled WHEN 1 THEN 'Disabled' ELSE 'Enabled' END, 'Is_For_Replication', k.definition
    FROM sys.check_constraints k WHERE k.parent_object_id = @id
    UNION ALL
    SELECT 'DEFAULT on column ' + (SELECT name FROM sys.columns WHERE object_id = @id AND column_id = d.parent_column_id),
      d.name, '(n/a)', '(n/a)', d.definition
    FROM sys.default_constraints d WHERE d.parent_object_id = @id
  ) t (constraint_type, name, status_enabled, status_for_replication, constraint_keys)
  ORDER BY t.constraint_type, t.name
IF @nomsg = 'msg'
  PRINT 'No foreign keys reference table ''' + @name + ''', or you do not have permissions.'
RETURN 0
)";

const std::array<std::pair<std::string_view, std::string>, 11> kProcedures = {{
    {"sp_help", kHelp},
    {"sp_tables", kTables},
    {"sp_columns", kColumns},
    {"sp_sproc_columns", kProcedureColumns},
    {"sp_stored_procedures", kStoredProcedures},
    {"sp_pkeys", kPrimaryKeys},
    {"sp_fkeys", kForeignKeys},
    {"sp_statistics", kStatistics},
    {"sp_special_columns", kSpecialColumns},
    {"sp_helpindex", kHelpIndex},
    {"sp_helpconstraint", kHelpConstraint},
}};

}  // namespace

std::shared_ptr<Procedure> SystemProcedure(std::string_view name) {
  for (const auto& [procedure_name, text] : kProcedures) {
    if (NamesEqual(name, procedure_name)) return ProcedureFromText(text);
  }
  return nullptr;
}

}  // namespace orv::tsql
