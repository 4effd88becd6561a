// Joining complex columns to their hidden tables.
#include "recovery/complex_columns.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "reader/row_cursor.h"
#include "reader/value_render.h"

namespace mendora {

namespace {

// Byte 16 of the hidden table's column records.
constexpr uint8_t kParentLinkFlag = 0x08;
constexpr uint8_t kRowIdFlag = 0x04;
constexpr int64_t kDaysFrom0001To1899 = 693593;  // 0001-01-01 to 1899-12-30

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void AppendBase64(std::string& out, const std::string& bytes) {
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t n = static_cast<uint8_t>(bytes[i]) << 16 | static_cast<uint8_t>(bytes[i + 1]) << 8 |
                       static_cast<uint8_t>(bytes[i + 2]);
    for (int shift : {18, 12, 6, 0}) out += kBase64[(n >> shift) & 63];
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const uint32_t n = static_cast<uint8_t>(bytes[i]) << 16 | (two ? static_cast<uint8_t>(bytes[i + 1]) << 8 : 0);
    out += kBase64[n >> 18];
    out += kBase64[(n >> 12) & 63];
    out += two ? kBase64[(n >> 6) & 63] : '=';
    out += '=';
  }
}

void AppendString(std::string& out, const std::string& text) {
  out += '"';
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
}

// A version's time as the samples write it: local, to the millisecond.
std::string MillisecondTime(const Value& time) {
  if (time.kind != ValueKind::kDateTime || !std::isfinite(time.real) || time.real < 0 || time.real > 2958465.0) {
    return RenderValue(time);
  }
  const int64_t ms = std::llround(time.real * 86400000.0);
  const ExtendedDateTime parts =
      ExtendedDateTimeFrom(ms / 86400000 + kDaysFrom0001To1899, static_cast<uint64_t>(ms % 86400000) * 10000);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03u", parts.year, parts.month, parts.day,
                parts.hour, parts.minute, parts.second, parts.fraction / 10000);
  return text;
}

bool IsLink(const ColumnDef& column) { return (column.extra_flags & kParentLinkFlag) != 0; }
bool IsRowId(const ColumnDef& column) { return (column.extra_flags & kRowIdFlag) != 0 && !IsLink(column); }

}  // namespace

std::string ComplexJson(ComplexKind kind, const std::vector<ComplexItem>& items) {
  std::string out = "[";
  for (const ComplexItem& item : items) {
    if (out.size() > 1) out += ',';
    switch (kind) {
      case ComplexKind::kAttachments:
        out += "{\"name\":";
        AppendString(out, item.file_name);
        out += ",\"type\":";
        AppendString(out, item.file_type);
        out += ",\"data\":\"";
        AppendBase64(out, item.value.bytes);
        out += "\"}";
        break;
      case ComplexKind::kVersionHistory:
        out += "{\"value\":";
        AppendString(out, RenderValue(item.value));
        out += ",\"date\":";
        AppendString(out, MillisecondTime(item.time));
        out += '}';
        break;
      default:
        AppendString(out, RenderValue(item.value));
        break;
    }
  }
  return out + "]";
}

ComplexColumns::ComplexColumns(JetHandle& handle, const TableDef& table, const std::string& output_name,
                               const CatalogObjects& catalog, LossAccount& losses)
    : handle_(handle), table_(output_name), losses_(losses) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDef& definition = table.columns[i];
    if (definition.type != kColumnComplex) continue;
    Column column;
    column.index = i;
    column.name = definition.name;
    const ComplexColumnInfo* info = catalog.Complex(definition.complex_id);
    if (info == nullptr || info->table != table.entry.definition_page) {
      losses_.PieceLost("Table " + table_ + ": column " + definition.name + ": its complex id " +
                        std::to_string(definition.complex_id) +
                        " names no hidden table; its entries are not recovered");
    } else {
      column.kind = info->kind;
      Load(column, *info);
    }
    columns_.push_back(std::move(column));
  }
}

void ComplexColumns::Load(Column& column, const ComplexColumnInfo& info) {
  TableDefPtr flat = OpenTable(handle_, info.flat_name, kCatalogTable, info.flat_table);
  if (!flat) {
    losses_.PieceLost("Table " + table_ + ": column " + column.name + ": its hidden table at page " +
                      std::to_string(info.flat_table) + " cannot be read; its entries are not recovered");
    return;
  }
  int link = -1, value = -1, name = -1, type = -1, time = -1;
  for (size_t i = 0; i < flat->columns.size(); ++i) {
    const ColumnDef& c = flat->columns[i];
    const int at = static_cast<int>(i);
    if (IsLink(c)) {
      link = at;
    } else if (IsRowId(c)) {
      continue;
    } else if (column.kind == ComplexKind::kAttachments) {
      if (c.name == "FileData") value = at;
      if (c.name == "FileName") name = at;
      if (c.name == "FileType") type = at;
      if (c.name == "FileTimeStamp") time = at;
    } else if (column.kind == ComplexKind::kVersionHistory) {
      if (c.type == kColumnDateTime && c.name.rfind("Modified", 0) == 0) {
        time = at;
      } else if (c.type == kColumnMemo || c.type == kColumnText) {
        value = at;
      }
    } else if (value < 0) {
      value = at;  // multi-value: its one column of values
      column.value_type = c.type;
    }
  }
  if (link < 0 || value < 0) {
    losses_.PieceLost("Table " + table_ + ": column " + column.name + ": hidden table " + info.flat_name +
                      " lacks its link or value column; its entries are not recovered");
    return;
  }
  // Damage met in the hidden table is the parent's (its reports go on);
  // pages of it that are gone take entries with them, which no count says.
  class Noting final : public DamageReporter {
   public:
    explicit Noting(DamageReporter* next) : next_(next) {}
    void Report(const DamageReport& report) override {
      pages_lost = pages_lost || (!LosesRow(report.kind) && !LosesValue(report.kind));
      if (next_ != nullptr) next_->Report(report);
    }
    bool pages_lost = false;

   private:
    DamageReporter* next_;
  } noting(handle_.damage);
  ScopedDamageReporter redirect(handle_, noting);
  RowCursor cursor(*flat);
  Row row;
  const auto at = [&row](int index) -> const Value& {
    static const Value kNull;
    return index >= 0 ? row.values[static_cast<size_t>(index)] : kNull;
  };
  while (cursor.Next(row)) {
    if (at(link).kind != ValueKind::kInteger) continue;
    ComplexItem item;
    item.value = at(value);
    item.time = at(time);
    if (name >= 0) item.file_name = RenderValue(at(name));
    if (type >= 0) item.file_type = RenderValue(at(type));
    column.entries[at(link).integer].push_back(std::move(item));
  }
  if (noting.pages_lost) {
    losses_.Add(LossEntry{.subject = LossSubject::kColumn,
                          .reason = LossReason::kForeignPage,
                          .table = table_,
                          .column = column.name,
                          .detail = "pages of its hidden table " + info.flat_name +
                                    " are damaged or gone: the entries they held are lost"});
  }
  if (column.kind == ComplexKind::kVersionHistory) {
    // Newest first, as Access shows the history.
    for (auto& [key, items] : column.entries) {
      std::stable_sort(items.begin(), items.end(),
                       [](const ComplexItem& a, const ComplexItem& b) { return a.time.real > b.time.real; });
    }
  }
}

ComplexKind ComplexColumns::KindOf(size_t index) const {
  for (const Column& column : columns_) {
    if (column.index == index) return column.kind;
  }
  return ComplexKind::kUnknown;
}

int ComplexColumns::ValueTypeOf(size_t index) const {
  for (const Column& column : columns_) {
    if (column.index == index) return column.value_type;
  }
  return 0;
}

void ComplexColumns::Fill(Row& row) {
  row.complex.resize(columns_.size());
  for (size_t k = 0; k < columns_.size(); ++k) {
    Column& column = columns_[k];
    ComplexCell& cell = row.complex[k];
    cell.column = column.index;
    cell.items.clear();
    Value& value = row.values[column.index];
    if (value.kind == ValueKind::kInteger) {
      // Each key belongs to one row: its entries move out with it.
      const auto found = column.entries.find(value.integer);
      if (found != column.entries.end()) {
        cell.items = std::move(found->second);
        column.entries.erase(found);
      }
    }
    if (column.kind == ComplexKind::kAttachments) {
      for (ComplexItem& item : cell.items) {
        if (item.value.kind != ValueKind::kBytes) continue;
        const AttachmentData data = DecodeAttachmentData(
            ByteView(reinterpret_cast<const uint8_t*>(item.value.bytes.data()), item.value.bytes.size()));
        if (data.error != AceError::kNone) {
          handle_.Report(DamageReport{DamageKind::kLongValue, table_, row.page, row.slot, column.name,
                                      "attachment " + item.file_name + " lost: " + AceErrorText(data.error)});
        }
        item.value.bytes.assign(data.file.begin(), data.file.end());
      }
    }
    value.kind = ValueKind::kText;
    value.bytes = ComplexJson(column.kind, cell.items);
  }
}

}  // namespace mendora
