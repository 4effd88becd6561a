// Writing the JSON Lines export.
#include "output/jsonl/jsonl_export.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "reader/column_types.h"
#include "reader/value_render.h"

namespace mendora {

namespace {

constexpr int64_t kLargestExactInteger = int64_t{1} << 53;

nlohmann::ordered_json NumberOrText(double number, const std::string& text) {
  if (!std::isfinite(number)) return text;  // JSON has no NaN or infinity
  return number;
}

}  // namespace

JsonLinesExport::JsonLinesExport(std::filesystem::path file, ExportOptions options)
    : options_(std::move(options)), blobs_(options_.blobs_dir), path_(std::move(file)) {
  file_.Open(path_);
}

void JsonLinesExport::BeginTable(const OutputTable& table) {
  table_ = table.name;
  columns_ = table.columns;
  blobs_.BeginTable(table);
  row_number_ = 0;
}

void JsonLinesExport::AddRow(const Row& row) {
  ++row_number_;
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
  file_.Write(line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
  file_.Write("\n");
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
