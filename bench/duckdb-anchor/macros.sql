-- Helpers every report uses; run.mjs runs this file before the report, on the same connection.
-- TEMP macros, because the database is open read-only.
--
-- DuckDB types DECIMAL / DECIMAL as DOUBLE, and ROUND(DECIMAL, n) needs a constant n. T-SQL
-- gives a decimal quotient a result scale and cuts it there, and the reports round to the
-- item's own number of decimals (FQtyDecimal, FPriceDecimal), a column. These macros do both
-- exactly, in HUGEINT arithmetic on the operands' units of 10^-10 (every operand in the
-- reports has at most 10 decimals: decimal(p,10) columns, their sums, and products already
-- rounded to 6).

-- 10^s as HUGEINT, for s in 0..15.
CREATE TEMP MACRO p10(s) AS
  [1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000, 10000000000,
   100000000000, 1000000000000, 10000000000000, 100000000000000, 1000000000000000][s + 1]::HUGEINT;

-- A decimal of at most 10 decimals as a whole number of 10^-10.
CREATE TEMP MACRO units10(x) AS (x::DECIMAL(38,10) * 10000000000)::HUGEINT;

-- A whole number of 10^-s back to a decimal. The type is DECIMAL(38,15) for every s (a macro
-- cannot choose its result type); the value has exactly s decimals.
CREATE TEMP MACRO from_units(q, s) AS (q * p10(15 - s))::DECIMAL(38,0) * 0.000000000000001;

-- a / b cut (towards zero) to s decimals, as T-SQL does to a decimal quotient of result scale s.
-- A zero divisor is an error, as on the engine.
CREATE TEMP MACRO tdiv(a, b, s) AS
  CASE WHEN b = 0 THEN error('Divide by zero error encountered.')
       ELSE from_units(units10(a) * p10(s) // units10(b), s) END;

-- a / b rounded half away from zero to s decimals (DIV=round: the other reading of the scale rules).
CREATE TEMP MACRO rdiv(a, b, s) AS
  CASE WHEN b = 0 THEN error('Divide by zero error encountered.')
       ELSE from_units(sign(units10(a)) * sign(units10(b))
                       * ((2 * abs(units10(a)) * p10(s) + abs(units10(b))) // (2 * abs(units10(b)))), s) END;

-- ROUND(x, n) for a column n (0..10), half away from zero, as DECIMAL(38,10); NULL n gives NULL.
CREATE TEMP MACRO rnd(x, n) AS
  CASE WHEN n IS NULL THEN NULL
       WHEN n = 0 THEN round(x, 0)::DECIMAL(38,10)
       WHEN n = 1 THEN round(x, 1)::DECIMAL(38,10)
       WHEN n = 2 THEN round(x, 2)::DECIMAL(38,10)
       WHEN n = 3 THEN round(x, 3)::DECIMAL(38,10)
       WHEN n = 4 THEN round(x, 4)::DECIMAL(38,10)
       WHEN n = 5 THEN round(x, 5)::DECIMAL(38,10)
       WHEN n = 6 THEN round(x, 6)::DECIMAL(38,10)
       WHEN n = 7 THEN round(x, 7)::DECIMAL(38,10)
       WHEN n = 8 THEN round(x, 8)::DECIMAL(38,10)
       WHEN n = 9 THEN round(x, 9)::DECIMAL(38,10)
       WHEN n = 10 THEN round(x, 10)::DECIMAL(38,10)
       ELSE error('rnd: ' || n::VARCHAR || ' decimals is outside 0..10') END;
