// How values are shown: numbers right-aligned at their column's scale with digit grouping,
// dates as yyyy-mm-dd (with the time when there is one), NULL as blank.

const formatters = new Map();

function numberFormat(scale) {
  if (!formatters.has(scale)) {
    formatters.set(scale, new Intl.NumberFormat('en-US', {
      minimumFractionDigits: scale,
      maximumFractionDigits: scale,
    }));
  }
  return formatters.get(scale);
}

export function isNumeric(column) { return column.type === 'number' || column.type === 'integer'; }

// The digits after the point that a number needs (0 for whole numbers).
export function decimalsOf(value) {
  if (typeof value !== 'number' || Number.isInteger(value)) return 0;
  const text = String(value);
  const e = text.indexOf('e-');
  if (e >= 0) return Number(text.slice(e + 2)) + Math.max(0, text.indexOf('.') >= 0 ? e - text.indexOf('.') - 1 : 0);
  const point = text.indexOf('.');
  return point < 0 ? 0 : text.length - point - 1;
}

// The scale a number column is shown at: what its values need, at least two digits once any
// value has a fraction (amounts are read so), never more than the column's declared scale.
export function displayScale(column) {
  if (column.type !== 'number') return 0;
  const seen = column.seenDecimals || 0;
  const wanted = seen > 0 ? Math.max(2, seen) : 0;
  return Math.min(wanted, column.scale > 0 ? column.scale : 10, 6);
}

export function formatValue(column, value) {
  if (value === null || value === undefined) return '';
  switch (column.type) {
    case 'number':
    case 'integer':
      return typeof value === 'number' ? numberFormat(displayScale(column)).format(value) : String(value);
    case 'date':
      return String(value).replace('T', ' ').replace(/ 00:00:00$/, '');
    case 'boolean':
      return value ? '✓' : '';
    default:
      return String(value);
  }
}
