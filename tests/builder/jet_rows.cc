// Column placement and row encoding for both versions.
#include "tests/builder/jet_rows.h"

#include <algorithm>
#include <numeric>
#include <set>
#include <stdexcept>

#include "tests/builder/jet_text.h"

namespace mendora::testing::detail {

bool IsFixedType(int type) {
  switch (type) {
    case kText:
    case kBinary:
    case kMemo:
    case kOle:
      return false;
    default:
      return true;
  }
}

int NaturalSize(int type, JetVersion version) {
  const bool jet4 = version == JetVersion::kJet4;
  switch (type) {
    case kBoolean:
    case kByte:
      return 1;
    case kInteger:
      return 2;
    case kLong:
    case kSingle:
      return 4;
    case kCurrency:
    case kDouble:
    case kDateTime:
    case kBigInt:
      return 8;
    case kComplex:
      return 4;
    case kExtendedDateTime:
      return 42;
    case kGuid:
      return 16;
    case kNumeric:
      return 17;
    case kText:
    case kBinary:
      return jet4 ? 510 : 255;
    default:
      return 0;
  }
}

TableSchema PlanColumns(std::vector<StoredColumn> columns) {
  TableSchema schema;
  std::vector<size_t> order(columns.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return columns[a].number < columns[b].number; });
  std::set<int> seen;
  int fixed_end = 0;
  int vars = 0;
  for (size_t i : order) {
    StoredColumn& c = columns[i];
    if (c.number < 0 || !seen.insert(c.number).second) {
      throw std::invalid_argument("column '" + c.name + "': duplicate or negative column number");
    }
    c.fixed = IsFixedType(c.type);
    c.var_before = vars;
    if (c.fixed) {
      c.var_index = -1;
      if (c.type == kBoolean) {
        c.fixed_offset = 0;
      } else {
        c.fixed_offset = fixed_end;
        fixed_end += c.size;
      }
    } else {
      c.fixed_offset = 0;
      c.var_index = vars++;
    }
    schema.next_number = std::max(schema.next_number, c.number + 1);
  }
  schema.var_count = vars;
  schema.columns = std::move(columns);
  return schema;
}

namespace {

struct Placed {
  const StoredColumn* column;
  const Cell* cell;
};

void AppendBitmap(Bytes& row, const std::vector<Placed>& stored, int column_count) {
  const size_t at = row.size();
  row.resize(at + (column_count + 7) / 8, 0);
  for (const Placed& p : stored) {
    const bool set =
        p.column->type == kBoolean ? (p.cell->present && p.cell->truth) : p.cell->present;
    if (set) row[at + p.column->number / 8] |= static_cast<uint8_t>(1u << (p.column->number % 8));
  }
}

}  // namespace

Bytes EncodeRow(const Layout& layout, const TableSchema& schema, const std::vector<Cell>& cells,
                int column_count) {
  if (cells.size() != schema.columns.size()) {
    throw std::invalid_argument("row has " + std::to_string(cells.size()) + " values for " +
                                std::to_string(schema.columns.size()) + " columns");
  }
  std::vector<Placed> stored;
  std::vector<const Placed*> vars;
  int fixed_length = 0;
  for (size_t i = 0; i < cells.size(); ++i) {
    const StoredColumn& column = schema.columns[i];
    if (column.number >= column_count) continue;
    stored.push_back({&column, &cells[i]});
    if (column.fixed && column.type != kBoolean) {
      fixed_length = std::max(fixed_length, column.fixed_offset + column.size);
    }
  }
  for (const Placed& p : stored) {
    if (!p.column->fixed) vars.push_back(&p);
  }
  std::sort(vars.begin(), vars.end(), [](const Placed* a, const Placed* b) {
    return a->column->var_index < b->column->var_index;
  });
  for (size_t k = 0; k < vars.size(); ++k) {
    if (vars[k]->column->var_index != static_cast<int>(k)) {
      throw std::invalid_argument("the columns a row leaves out must be the last ones");
    }
  }

  const bool jet4 = layout.jet4();
  const size_t count_size = jet4 ? 2 : 1;
  Bytes row;
  if (jet4) {
    PutU16(row, static_cast<uint16_t>(column_count));
  } else {
    if (column_count > 255) throw std::invalid_argument("Jet 3 rows hold at most 255 columns");
    PutU8(row, static_cast<uint8_t>(column_count));
  }
  row.resize(count_size + fixed_length, 0);
  for (const Placed& p : stored) {
    if (!p.column->fixed || p.column->type == kBoolean || !p.cell->present) continue;
    const Bytes& b = p.cell->bytes;
    const size_t n = std::min<size_t>(b.size(), p.column->size);
    std::copy_n(b.begin(), n, row.begin() + count_size + p.column->fixed_offset);
  }
  std::vector<uint32_t> offsets;
  for (const Placed* p : vars) {
    offsets.push_back(static_cast<uint32_t>(row.size()));
    if (p->cell->present) Append(row, p->cell->bytes);
  }
  const auto end = static_cast<uint32_t>(row.size());
  offsets.push_back(end);  // the end offset follows the last column's

  // A row that holds no variable-length column has no offset table at all:
  // the engine writes none for a table without such columns, and keeps the
  // rows written before its first one was added as they were.
  if (vars.empty()) {
    AppendBitmap(row, stored, column_count);
    return row;
  }

  if (jet4) {
    PutU16(row, static_cast<uint16_t>(end));
    for (size_t k = vars.size(); k-- > 0;) PutU16(row, static_cast<uint16_t>(offsets[k]));
    PutU16(row, static_cast<uint16_t>(vars.size()));
    AppendBitmap(row, stored, column_count);
    return row;
  }

  if (vars.size() > 255)
    throw std::invalid_argument("Jet 3 rows hold at most 255 variable columns");
  const size_t bitmap = (column_count + 7) / 8;
  size_t jumps = 0;
  for (;;) {
    const size_t length = end + 1 + vars.size() + jumps + 1 + bitmap;
    const size_t needed = (length - 1) / 256;
    if (needed == jumps) break;
    jumps = needed;
  }
  PutU8(row, static_cast<uint8_t>(end & 0xFF));
  for (size_t k = vars.size(); k-- > 0;) PutU8(row, static_cast<uint8_t>(offsets[k] & 0xFF));
  for (size_t j = jumps; j-- > 0;) {
    const uint32_t step = static_cast<uint32_t>(j + 1) * 256;
    uint8_t first = 0xFF;
    for (size_t k = 0; k < offsets.size(); ++k) {
      if (offsets[k] >= step) {
        first = static_cast<uint8_t>(k);
        break;
      }
    }
    PutU8(row, first);
  }
  PutU8(row, static_cast<uint8_t>(vars.size()));
  AppendBitmap(row, stored, column_count);
  return row;
}

}  // namespace mendora::testing::detail
