// The CSV export: one RFC 4180 file per table (UTF-8, a header row, CRLF
// line ends), written row by row as the pass reads them.
//
// Dates are ISO 8601, numbers use '.', booleans 0/1, binary values base64
// or, with a blob folder, the path of the file that holds them. A null is an
// empty field; an empty text is "" so the two stay apart.
#ifndef MENDORA_OUTPUT_CSV_CSV_EXPORT_H_
#define MENDORA_OUTPUT_CSV_CSV_EXPORT_H_

#include <filesystem>
#include <string>
#include <vector>

#include "output/common/export_values.h"
#include "recovery/recovery_output.h"

namespace mendora {

class CsvExport final : public RecoveryOutput {
 public:
  // Tables become DIR/NAME.csv, names made safe (see SafeNames).
  CsvExport(std::filesystem::path dir, ExportOptions options);

  void BeginTable(const OutputTable& table) override;
  void AddRow(const Row& row) override;
  void EndTable(int64_t rows) override;
  void Finish() override;
  void Abandon() noexcept override;

  // The files written so far, in table order.
  const std::vector<std::filesystem::path>& files() const { return published_; }

 private:
  void CloseTable();

  std::filesystem::path dir_;
  ExportOptions options_;
  SafeNames names_;
  BlobFiles blobs_;
  ExportFile file_;
  std::vector<int> types_;  // of the current table's columns
  int64_t row_number_ = 0;
  std::string line_;
  std::string cell_;
  std::vector<std::filesystem::path> published_;
};

// Appends `field` to `line`, quoted when it holds a comma, a quote or a line
// break (or `always`), quotes doubled.
void AppendCsvField(std::string& line, std::string_view field, bool always = false);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_CSV_CSV_EXPORT_H_
