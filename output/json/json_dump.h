// The JSON dump: every recovered table, its columns and rows, written as the
// pass reads them (a row per line), so a database of any size is dumped in
// constant memory.
//
//   {"format": "Jet4", "tables": {NAME: {"columns": [{"name", "type"}], "rows": [[...]]}}}
//
// Each value is its rendered text, binary data as base64, a null as null.
#ifndef MENDORA_OUTPUT_JSON_JSON_DUMP_H_
#define MENDORA_OUTPUT_JSON_JSON_DUMP_H_

#include <ostream>
#include <string>
#include <vector>

#include "output/common/json_text.h"
#include "output/common/write_behind.h"
#include "recovery/recovery_output.h"

namespace mendora {

class JsonDumpOutput final : public RecoveryOutput {
 public:
  // Writes the document's head at once.
  JsonDumpOutput(std::ostream& out, const std::string& format, OleStorage ole = OleStorage::kUnwrap);

  void BeginTable(const OutputTable& table) override;
  void AddRow(const Row& row) override;
  // A table whose step ends early keeps the rows read so far; it is closed
  // when the next one starts or the dump ends.
  void EndTable(int64_t rows) override;
  // Closes the document; also right after a pass that stopped part-way, so
  // what was written still parses.
  void Finish() override;
  void Abandon() noexcept override;
  void KeepWorkOnCallingThread() override { writer_.WriteOnCallersThread(); }

  // The rows are written on a thread of their own, or on the caller's after
  // KeepWorkOnCallingThread (see WriteBehind): the stream is not to be
  // touched between the head and Finish. Whether a write failed so far, and
  // the system's error then (0 when it gave none).
  bool WriteFailed() const { return writer_.failed(); }
  int WriteError() const { return writer_.error(); }

 private:
  void CloseTable();
  // Rows whose text may take more than this are written piece by piece:
  // the room made for the most (six bytes a text byte) would grow the
  // writer's chunk far past what the row takes.
  static constexpr size_t kDirectRowBytes = 64 * 1024;
  void AddRowByPieces(const Row& row);

  std::ostream& out_;
  WriteBehind writer_;
  size_t tables_ = 0;
  size_t rows_ = 0;
  bool table_open_ = false;
  bool finished_ = false;
  std::string text_;
  std::string rendered_;  // a value's text, its storage kept from row to row
  OleStorage ole_;
  std::vector<bool> ole_columns_;  // of the current table, when unwrapping
};

std::string Base64(const std::string& bytes);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_JSON_JSON_DUMP_H_
