// Writing the CSV export.
#include "output/csv/csv_export.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "output/common/byte_words.h"
#include "reader/column_types.h"
#include "reader/value_render.h"

namespace mendora {

namespace {

// The bytes that make a field quoted.
struct QuotedBytes {
  bool of[256];
  constexpr QuotedBytes() : of() { of[','] = of['"'] = of['\r'] = of['\n'] = true; }
};
constexpr QuotedBytes kQuoted;

// Where the first byte that asks for quotes lies in `field` (its size when
// none does): one scan, most fields have none and are copied whole.
size_t FirstQuotedByte(std::string_view field) {
  size_t first = 0;
#if defined(__SSE2__)
  first = RunOfSixteens(field.data(), field.size(), [](__m128i v) {
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(',')), _mm_cmpeq_epi8(v, _mm_set1_epi8('"'))),
                        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
  });
#endif
  for (; first + 8 <= field.size(); first += 8) {
    const uint64_t w = LoadWord(field.data() + first);
    if ((AnyByteIs(w, ',') | AnyByteIs(w, '"') | AnyByteIs(w, '\r') | AnyByteIs(w, '\n')) != 0) break;
  }
  while (first < field.size() && !kQuoted.of[static_cast<unsigned char>(field[first])]) ++first;
  return first;
}

}  // namespace

char* PutCsvField(char* out, std::string_view field, bool always) {
  const size_t first = FirstQuotedByte(field);
  if (!always && first == field.size()) {
    std::memcpy(out, field.data(), field.size());
    return out + field.size();
  }
  *out++ = '"';
  std::memcpy(out, field.data(), first);
  out += first;
  for (size_t i = first; i < field.size(); ++i) {
    const char c = field[i];
    if (c == '"') *out++ = '"';
    *out++ = c;
  }
  *out++ = '"';
  return out;
}

void AppendCsvField(std::string& line, std::string_view field, bool always) {
  const size_t at = line.size();
  line.resize(at + MostCsvFieldBytes(field.size()));
  line.resize(static_cast<size_t>(PutCsvField(line.data() + at, field, always) - line.data()));
}

CsvExport::CsvExport(std::filesystem::path dir, ExportOptions options)
    : dir_(std::move(dir)), options_(std::move(options)), blobs_(options_.blobs_dir) {}

void CsvExport::BeginTable(const OutputTable& table) {
  CloseTable();
  file_.Open(dir_ / (names_.Take(table.name) + ".csv"));
  blobs_.BeginTable(table);
  types_.clear();
  line_ = options_.bom ? "\xEF\xBB\xBF" : "";
  key_column_.reset();
  for (const OutputIndex& index : table.indexes) {
    if (!index.primary || index.columns.size() != 1) continue;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (table.columns[i].name == index.columns[0].name && table.columns[i].autonumber) key_column_ = i;
    }
  }
  keyed_.clear();
  unkeyed_.clear();
  in_order_ = true;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    types_.push_back(table.columns[i].type);
    if (i > 0) line_.push_back(',');
    AppendCsvField(line_, table.columns[i].name);
  }
  line_ += "\r\n";
  file_.Write(line_);
  head_ = written_ = line_.size();
  row_number_ = 0;
}

void CsvExport::AddRow(const Row& row) {
  if (!file_.IsOpen()) return;
  ++row_number_;
  // The most the line can take; a line with binary values (or GUIDs,
  // extended dates, very long texts) is built piece by piece instead.
  size_t most = 2;
  for (const Value& value : row.values) {
    switch (value.kind) {
      case ValueKind::kNull:
        most += 1;
        break;
      case ValueKind::kText:
        most += 1 + MostCsvFieldBytes(value.bytes.size());
        break;
      case ValueKind::kInteger:
      case ValueKind::kSingle:
      case ValueKind::kDouble:
      case ValueKind::kCurrency:
      case ValueKind::kDecimal:
      case ValueKind::kDateTime:
        most += 1 + kMostValueTextBytes;
        break;
      default:
        most = SIZE_MAX;
        break;
    }
    if (most > kDirectRowBytes) break;
  }
  const uint64_t length = most <= kDirectRowBytes ? PutRow(row, most) : AddRowByPieces(row);
  if (key_column_) {
    const Value* key = *key_column_ < row.values.size() ? &row.values[*key_column_] : nullptr;
    if (key != nullptr && key->kind == ValueKind::kInteger) {
      if (!keyed_.empty() && std::get<0>(keyed_.back()) > key->integer) in_order_ = false;
      if (!unkeyed_.empty()) in_order_ = false;
      keyed_.emplace_back(key->integer, written_, length);
    } else {
      unkeyed_.emplace_back(written_, length);
    }
  }
  written_ += length;
}

uint64_t CsvExport::PutRow(const Row& row, size_t most) {
  // Written straight into the file's chunk, room made for the most first.
  char* const start = file_.Reserve(most);
  char* o = start;
  for (size_t i = 0; i < row.values.size(); ++i) {
    if (i > 0) *o++ = ',';
    const Value& value = row.values[i];
    switch (value.kind) {
      case ValueKind::kText:
        o = PutCsvField(o, value.bytes, value.bytes.empty());
        break;
      case ValueKind::kCurrency:
        o = PutMoney(value.integer, o);
        break;
      case ValueKind::kDecimal:
        // Precision 0 skips the padding to the column's width.
        o = PutDecimal(value.magnitude_high, value.magnitude_low, value.negative, 0, value.scale, o);
        break;
      case ValueKind::kDateTime:
        o = PutIsoDate(value.real, 'T', o);
        break;
      default:
        // Numbers hold no comma, quote or line break; a null is no text.
        o = PutValueText(value, o);
        break;
    }
  }
  *o++ = '\r';
  *o++ = '\n';
  const uint64_t length = static_cast<uint64_t>(o - start);
  file_.Commit(o);
  return length;
}

uint64_t CsvExport::AddRowByPieces(const Row& row) {
  line_.clear();
  for (size_t i = 0; i < row.values.size(); ++i) {
    if (i > 0) line_.push_back(',');
    const Value& value = row.values[i];
    switch (value.kind) {
      case ValueKind::kNull:
        break;
      case ValueKind::kText:
        AppendCsvField(line_, value.bytes, value.bytes.empty());
        break;
      case ValueKind::kBytes: {
        const bool ole = i < types_.size() && types_[i] == kColumnOle;
        const std::string_view bytes = ExportedBytes(value, ole, options_.ole);
        line_ += blobs_.enabled() ? blobs_.Write(i, row_number_, bytes) : Base64Encode(bytes);
        break;
      }
      case ValueKind::kCurrency:
      case ValueKind::kDecimal:
        AppendExactDecimalText(value, line_);
        break;
      case ValueKind::kDateTime:
      case ValueKind::kExtendedDateTime:
        AppendIsoDateTimeText(value, line_);
        break;
      default:
        // Numbers and GUIDs hold no comma, quote or line break.
        AppendValueText(value, line_);
        break;
    }
  }
  line_ += "\r\n";
  file_.Write(line_);
  return line_.size();
}

void CsvExport::EndTable(int64_t) { CloseTable(); }

void CsvExport::CloseTable() {
  if (!file_.IsOpen()) return;
  if (!in_order_) {
    std::stable_sort(keyed_.begin(), keyed_.end(),
                     [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    std::vector<std::pair<uint64_t, uint64_t>> pieces;
    pieces.reserve(keyed_.size() + unkeyed_.size());
    for (const auto& [key, offset, length] : keyed_) pieces.emplace_back(offset, length);
    pieces.insert(pieces.end(), unkeyed_.begin(), unkeyed_.end());
    file_.Reorder(head_, pieces);
  }
  keyed_.clear();
  unkeyed_.clear();
  file_.Publish();
  published_.push_back(file_.path());
}

void CsvExport::Finish() { CloseTable(); }

void CsvExport::Abandon() noexcept {
  file_.Discard();
  for (const std::filesystem::path& path : published_) {
    std::error_code error;
    std::filesystem::remove(path, error);
  }
  published_.clear();
  blobs_.RemoveWritten();
}

}  // namespace mendora
