// The JSON Lines export: one object per row, {"table": NAME, "row": {COLUMN:
// VALUE, ...}}, in one file, written as the pass reads the rows.
//
// Values keep their JSON types where the number is exact: integers up to
// 2^53 and floating-point numbers as numbers, booleans as true/false, nulls
// as null; currency and decimals as exact decimal strings, dates as ISO 8601
// strings, binary values as base64 (or the path of their blob file).
#ifndef MENDORA_OUTPUT_JSONL_JSONL_EXPORT_H_
#define MENDORA_OUTPUT_JSONL_JSONL_EXPORT_H_

#include <filesystem>
#include <string>
#include <vector>

#include "output/common/export_values.h"
#include "recovery/recovery_output.h"

namespace mendora {

class JsonLinesExport final : public RecoveryOutput {
 public:
  JsonLinesExport(std::filesystem::path file, ExportOptions options);

  void BeginTable(const OutputTable& table) override;
  void AddRow(const Row& row) override;
  void EndTable(int64_t rows) override;
  void Finish() override;
  void Abandon() noexcept override;
  void KeepWorkOnCallingThread() override { file_.WriteOnCallersThread(); }

 private:
  ExportOptions options_;
  BlobFiles blobs_;
  ExportFile file_;
  std::filesystem::path path_;
  std::string table_;
  std::vector<OutputColumn> columns_;
  int64_t row_number_ = 0;
  bool finished_ = false;
  // The line written through the JSON library, for a table whose columns
  // repeat a name (one key, the last value, where the first stood).
  std::string LibraryLine(const Row& row);
  bool repeated_names_ = false;
  std::string head_;               // {"table":NAME,"row":{
  std::vector<std::string> keys_;  // "COLUMN":
  std::string line_;
  std::string cell_;
};

}  // namespace mendora

#endif  // MENDORA_OUTPUT_JSONL_JSONL_EXPORT_H_
