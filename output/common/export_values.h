// What the file exports (CSV, JSON Lines, SQL scripts) share: values as
// portable text, file names that every file system takes, binary values
// written to files of their own, and files that stay out of sight until
// they are complete.
#ifndef MENDORA_OUTPUT_COMMON_EXPORT_VALUES_H_
#define MENDORA_OUTPUT_COMMON_EXPORT_VALUES_H_

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "reader/text_codec.h"
#include "output/common/write_behind.h"
#include "recovery/recovery_output.h"

namespace mendora {

// How an export is asked to write.
struct ExportOptions {
  OleStorage ole = OleStorage::kUnwrap;
  // When set, binary values go to files under this folder and the export
  // holds their path relative to it; otherwise they are written inline.
  std::filesystem::path blobs_dir;
  // CSV: a UTF-8 byte-order mark at the start of each file, for the
  // spreadsheets that take a file for their own code page without one.
  bool bom = false;
};

// Standard base64 (with padding) of `bytes`.
std::string Base64Encode(std::string_view bytes);

// A date as ISO 8601 without a zone ("1995-01-20T00:00:00", the extended
// type with its seven decimals); empty for a value outside the calendar.
std::string IsoDateTimeText(const Value& value);
void IsoDateTimeTextInto(const Value& value, std::string& out);
void AppendIsoDateTimeText(const Value& value, std::string& out);

// Currency and Numeric as exact decimal text with a '.' point: no padding,
// currency with its four decimals.
std::string ExactDecimalText(const Value& value);
void AppendExactDecimalText(const Value& value, std::string& out);

// The bytes a binary value exports: an OLE object's file inside Access's
// wrapper when unwrapping and the wrapper is recognised, else the stored bytes.
std::string_view ExportedBytes(const Value& value, bool ole_column, OleStorage ole);

// Hands out file-name parts for names from the source: characters no file
// system takes (and control characters) become '_', a name that is empty, a
// device name or starts with '.' gets a prefix, and two names that would
// meet on a case-insensitive file system get distinct suffixes.
class SafeNames {
 public:
  std::string Take(const std::string& name);

 private:
  std::set<std::string> taken_;  // folded to lower case
};

// A file written under a temporary name and renamed into place by Publish,
// so a failed or cancelled export leaves no partial file under its own name.
// Its bytes are written on a thread of their own (see WriteBehind); a failed
// write is thrown at the next Write or at Publish.
class ExportFile {
 public:
  ExportFile() = default;
  ~ExportFile();
  ExportFile(const ExportFile&) = delete;
  ExportFile& operator=(const ExportFile&) = delete;

  // Throws TargetFailed when the file cannot be created.
  void Open(const std::filesystem::path& path);
  bool IsOpen() const { return out_.is_open(); }
  void Write(std::string_view text);
  // Room for `bytes` more bytes: write there, then Commit the end of what
  // was written (see WriteBehind). Commit throws as Write does.
  char* Reserve(size_t bytes) { return writer_.Reserve(bytes); }
  void Commit(const char* end);
  // Throws TargetFailed when the file could not be written whole.
  void Publish();
  // See WriteBehind; kept for every file opened later.
  void WriteOnCallersThread() { writer_.WriteOnCallersThread(); }
  // Removes the unfinished file; never throws.
  void Discard() noexcept;
  // Rewrites what was written so far: its first `head` bytes, then the
  // pieces (offset, length) in the order given. Throws TargetFailed.
  void Reorder(uint64_t head, const std::vector<std::pair<uint64_t, uint64_t>>& pieces);
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path temporary_;
  std::ofstream out_;
  WriteBehind writer_{out_};
};

// The file-name extension of a file's bytes by their first bytes ("bmp",
// "png", "jpg", "gif", "tif", "pdf", "zip", "doc" for OLE storage...), "bin"
// for bytes of no kind known.
std::string FileExtension(std::string_view bytes);

// Writes binary values to BLOBS/TABLE/COLUMN/ROW.EXT (EXT by the bytes' kind,
// see FileExtension), names made safe, for the exports that keep their
// binary data outside.
class BlobFiles {
 public:
  explicit BlobFiles(std::filesystem::path dir) : dir_(std::move(dir)) {}
  bool enabled() const { return !dir_.empty(); }
  // A table begins: its column folders' names are chosen.
  void BeginTable(const OutputTable& table);
  // Writes `bytes` for the `row`th row (1-based) and returns the path
  // relative to the blob folder, '/'-separated. Throws TargetFailed.
  std::string Write(size_t column, int64_t row, std::string_view bytes);
  // Every file written, for a cancelled export to take back.
  void RemoveWritten() noexcept;

 private:
  std::filesystem::path dir_;
  SafeNames tables_;
  std::string table_;
  std::vector<std::string> columns_;
  std::vector<std::filesystem::path> table_dirs_;  // folders this export made
};

// Replaces every byte of `text` that is no part of a well-formed UTF-8
// sequence (overlong forms and surrogates included) by U+FFFD; false when
// there was none, and the text is left as it is.
bool MakeValidUtf8(std::string& text);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_COMMON_EXPORT_VALUES_H_
