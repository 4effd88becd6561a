// The CSV export: one RFC 4180 file per table (UTF-8, a header row, CRLF
// line ends), written row by row as the pass reads them.
//
// Dates are ISO 8601, numbers use '.', booleans 0/1, binary values base64
// or, with a blob folder, the path of the file that holds them. A null is an
// empty field; an empty text is "" so the two stay apart. A table whose key
// is a single AutoNumber has its rows in key order, as in the SQLite target
// (rows without a key last, in storage order).
#ifndef MENDORA_OUTPUT_CSV_CSV_EXPORT_H_
#define MENDORA_OUTPUT_CSV_CSV_EXPORT_H_

#include <filesystem>
#include <optional>
#include <tuple>
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
  void KeepWorkOnCallingThread() override { file_.WriteOnCallersThread(); }

  // The files written so far, in table order.
  const std::vector<std::filesystem::path>& files() const { return published_; }

 private:
  // A line no longer than this is written straight into the file's chunk.
  static constexpr size_t kDirectRowBytes = 64 * 1024;

  void CloseTable();
  // Writes the row's line at most `most` bytes long into the file; returns
  // its length.
  uint64_t PutRow(const Row& row, size_t most);
  // Builds the row's line in line_ and writes it; returns its length.
  uint64_t AddRowByPieces(const Row& row);

  std::filesystem::path dir_;
  ExportOptions options_;
  SafeNames names_;
  BlobFiles blobs_;
  ExportFile file_;
  std::vector<int> types_;  // of the current table's columns
  std::optional<size_t> key_column_;  // the AutoNumber key, when the table has one
  uint64_t written_ = 0;              // bytes of the current file
  uint64_t head_ = 0;                 // of which the header's
  bool in_order_ = true;
  // Where each keyed row's line lies, and its key; unkeyed rows apart.
  std::vector<std::tuple<int64_t, uint64_t, uint64_t>> keyed_;
  std::vector<std::pair<uint64_t, uint64_t>> unkeyed_;
  int64_t row_number_ = 0;
  std::string line_;
  std::string cell_;
  std::vector<std::filesystem::path> published_;
};

// Appends `field` to `line`, quoted when it holds a comma, a quote or a line
// break (or `always`), quotes doubled.
void AppendCsvField(std::string& line, std::string_view field, bool always = false);
// The same, written at `out` with room for MostCsvFieldBytes; returns its end.
char* PutCsvField(char* out, std::string_view field, bool always = false);
// Every byte a quote, and the two around them.
constexpr size_t MostCsvFieldBytes(size_t field_bytes) { return 2 * field_bytes + 2; }

}  // namespace mendora

#endif  // MENDORA_OUTPUT_CSV_CSV_EXPORT_H_
