// Writing the JSON Lines export.
#include "output/jsonl/jsonl_export.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>

#include "output/common/json_text.h"

#include "reader/column_types.h"
#include "reader/value_render.h"

namespace mendora {

namespace {

constexpr int64_t kLargestExactInteger = int64_t{1} << 53;

nlohmann::ordered_json NumberOrText(double number, const std::string& text) {
  if (!std::isfinite(number)) return text;  // JSON has no NaN or infinity
  return number;
}

void AppendInteger(std::string& out, int64_t number) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  out.append(digits, end);
}

void AppendNumberOrText(std::string& out, double number, const std::string& text) {
  if (std::isfinite(number)) {
    AppendJsonNumber(out, number);
  } else {
    AppendJsonString(out, text);
  }
}

}  // namespace

JsonLinesExport::JsonLinesExport(std::filesystem::path file, ExportOptions options)
    : options_(std::move(options)), blobs_(options_.blobs_dir), path_(std::move(file)) {
  file_.Open(path_);
}

void JsonLinesExport::BeginTable(const OutputTable& table) {
  table_ = table.name;
  columns_ = table.columns;
  // Each line starts alike and each key is the same in every row: both
  // are written once here.
  head_ = "{\"table\":";
  AppendJsonString(head_, table_);
  head_ += ",\"row\":{";
  keys_.clear();
  std::set<std::string_view> names;
  repeated_names_ = false;
  for (const OutputColumn& column : columns_) {
    std::string key;
    AppendJsonString(key, column.name);
    key += ':';
    keys_.push_back(std::move(key));
    repeated_names_ = !names.insert(column.name).second || repeated_names_;
  }
  blobs_.BeginTable(table);
  row_number_ = 0;
}

void JsonLinesExport::AddRow(const Row& row) {
  ++row_number_;
  if (repeated_names_) {
    line_ = LibraryLine(row);
    line_ += '\n';
    file_.Write(line_);
    return;
  }
  line_ = head_;
  const size_t count = std::min(row.values.size(), columns_.size());
  for (size_t i = 0; i < count; ++i) {
    const Value& value = row.values[i];
    const int type = columns_[i].type;
    if (i > 0) line_ += ',';
    line_ += keys_[i];
    switch (value.kind) {
      case ValueKind::kNull:
        line_ += "null";
        break;
      case ValueKind::kInteger:
        if (type == kColumnBoolean) {
          line_ += value.integer != 0 ? "true" : "false";
        } else if (value.integer > -kLargestExactInteger && value.integer < kLargestExactInteger) {
          AppendInteger(line_, value.integer);
        } else {
          line_ += '"';
          AppendInteger(line_, value.integer);
          line_ += '"';
        }
        break;
      case ValueKind::kSingle: {
        // The float's shortest text read as a double prints back as that
        // text, not as the widened float's seventeen digits.
        const std::string text = RenderSingle(value.AsSingle());
        AppendNumberOrText(line_, std::strtod(text.c_str(), nullptr), text);
        break;
      }
      case ValueKind::kDouble:
        if (std::isfinite(value.real)) {
          AppendJsonNumber(line_, value.real);
        } else {
          AppendJsonString(line_, RenderDouble(value.real));
        }
        break;
      case ValueKind::kCurrency:
      case ValueKind::kDecimal:
        // Digits, a sign and a point: nothing to escape.
        line_ += '"';
        AppendExactDecimalText(value, line_);
        line_ += '"';
        break;
      case ValueKind::kDateTime:
      case ValueKind::kExtendedDateTime:
        IsoDateTimeTextInto(value, cell_);
        if (cell_.empty()) {
          line_ += "null";
        } else {
          line_ += '"';
          line_ += cell_;
          line_ += '"';
        }
        break;
      case ValueKind::kBytes: {
        const std::string_view bytes = ExportedBytes(value, type == kColumnOle, options_.ole);
        AppendJsonString(line_, blobs_.enabled() ? blobs_.Write(i, row_number_, bytes) : Base64Encode(bytes));
        break;
      }
      case ValueKind::kText:
        if (columns_[i].complex_kind != 0) {
          // A complex column's entries are JSON already: an array, not a string.
          const nlohmann::ordered_json entries = nlohmann::ordered_json::parse(value.bytes, nullptr, false);
          if (!entries.is_discarded()) {
            line_ += entries.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
            break;
          }
        }
        AppendJsonString(line_, value.bytes);
        break;
      default:
        RenderValueInto(value, cell_);
        AppendJsonString(line_, cell_);
        break;
    }
  }
  line_ += "}}\n";
  file_.Write(line_);
}

std::string JsonLinesExport::LibraryLine(const Row& row) {
  nlohmann::ordered_json values = nlohmann::ordered_json::object();
  for (size_t i = 0; i < row.values.size() && i < columns_.size(); ++i) {
    const Value& value = row.values[i];
    const int type = columns_[i].type;
    nlohmann::ordered_json& cell = values[columns_[i].name];
    switch (value.kind) {
      case ValueKind::kNull:
        cell = nullptr;
        break;
      case ValueKind::kInteger:
        if (type == kColumnBoolean) {
          cell = value.integer != 0;
        } else if (value.integer > -kLargestExactInteger && value.integer < kLargestExactInteger) {
          cell = value.integer;
        } else {
          cell = std::to_string(value.integer);
        }
        break;
      case ValueKind::kSingle: {
        // The float's shortest text read as a double prints back as that
        // text, not as the widened float's seventeen digits.
        const std::string text = RenderSingle(value.AsSingle());
        cell = NumberOrText(std::strtod(text.c_str(), nullptr), text);
        break;
      }
      case ValueKind::kDouble:
        cell = NumberOrText(value.real, RenderDouble(value.real));
        break;
      case ValueKind::kCurrency:
      case ValueKind::kDecimal:
        cell = ExactDecimalText(value);
        break;
      case ValueKind::kDateTime:
      case ValueKind::kExtendedDateTime: {
        const std::string text = IsoDateTimeText(value);
        if (text.empty()) {
          cell = nullptr;
        } else {
          cell = text;
        }
        break;
      }
      case ValueKind::kBytes: {
        const std::string_view bytes = ExportedBytes(value, type == kColumnOle, options_.ole);
        cell = blobs_.enabled() ? blobs_.Write(i, row_number_, bytes) : Base64Encode(bytes);
        break;
      }
      case ValueKind::kText:
        if (columns_[i].complex_kind != 0) {
          // A complex column's entries are JSON already: an array, not a string.
          nlohmann::ordered_json entries = nlohmann::ordered_json::parse(value.bytes, nullptr, false);
          if (!entries.is_discarded()) {
            cell = std::move(entries);
            break;
          }
        }
        cell = value.bytes;
        break;
      default:
        cell = RenderValue(value);
        break;
    }
  }
  nlohmann::ordered_json line = nlohmann::ordered_json::object();
  line["table"] = table_;
  line["row"] = std::move(values);
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void JsonLinesExport::EndTable(int64_t) {}

void JsonLinesExport::Finish() {
  if (finished_) return;
  finished_ = true;
  file_.Publish();
}

void JsonLinesExport::Abandon() noexcept {
  file_.Discard();
  blobs_.RemoveWritten();
}

}  // namespace mendora
