// Writing the CSV export.
#include "output/csv/csv_export.h"

#include "reader/column_types.h"
#include "reader/value_render.h"

namespace mendora {

void AppendCsvField(std::string& line, std::string_view field, bool always) {
  if (!always && field.find_first_of(",\"\r\n") == std::string_view::npos) {
    line += field;
    return;
  }
  line.push_back('"');
  for (const char c : field) {
    if (c == '"') line.push_back('"');
    line.push_back(c);
  }
  line.push_back('"');
}

CsvExport::CsvExport(std::filesystem::path dir, ExportOptions options)
    : dir_(std::move(dir)), options_(std::move(options)), blobs_(options_.blobs_dir) {}

void CsvExport::BeginTable(const OutputTable& table) {
  CloseTable();
  file_.Open(dir_ / (names_.Take(table.name) + ".csv"));
  blobs_.BeginTable(table);
  types_.clear();
  line_.clear();
  for (size_t i = 0; i < table.columns.size(); ++i) {
    types_.push_back(table.columns[i].type);
    if (i > 0) line_.push_back(',');
    AppendCsvField(line_, table.columns[i].name);
  }
  line_ += "\r\n";
  file_.Write(line_);
  row_number_ = 0;
}

void CsvExport::AddRow(const Row& row) {
  if (!file_.IsOpen()) return;
  ++row_number_;
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
        line_ += ExactDecimalText(value);
        break;
      case ValueKind::kDateTime:
      case ValueKind::kExtendedDateTime:
        line_ += IsoDateTimeText(value);
        break;
      default:
        RenderValueInto(value, cell_);
        AppendCsvField(line_, cell_);
        break;
    }
  }
  line_ += "\r\n";
  file_.Write(line_);
}

void CsvExport::EndTable(int64_t) { CloseTable(); }

void CsvExport::CloseTable() {
  if (!file_.IsOpen()) return;
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
