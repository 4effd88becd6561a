// Values, names and files shared by the exports.
#include "output/common/export_values.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>

#include "output/common/json_text.h"
#include "reader/ace_values.h"
#include "reader/ole_wrapper.h"
#include "reader/value_render.h"

namespace mendora {

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  // EVP_EncodeBlock takes an int length: long values are encoded in pieces
  // of whole 3-byte groups, which join into one text.
  constexpr size_t kPiece = 3 * 1024 * 1024;
  out.resize((bytes.size() + 2) / 3 * 4);
  size_t written = 0;
  for (size_t at = 0; at < bytes.size(); at += kPiece) {
    const size_t length = std::min(kPiece, bytes.size() - at);
    written += static_cast<size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data() + written),
                                                   reinterpret_cast<const unsigned char*>(bytes.data() + at),
                                                   static_cast<int>(length)));
  }
  out.resize(written);
  return out;
}

void AppendIsoDateTimeText(const Value& value, std::string& out) {
  if (value.kind == ValueKind::kExtendedDateTime) {
    out += ExtendedDateTimeIso(ExtendedDateTimeFrom(value.integer, value.magnitude_low));
  } else if (value.kind == ValueKind::kDateTime) {
    char text[kMostValueTextBytes];
    out.append(text, PutIsoDate(value.real, 'T', text));
  }
}

void IsoDateTimeTextInto(const Value& value, std::string& out) {
  out.clear();
  AppendIsoDateTimeText(value, out);
}

std::string IsoDateTimeText(const Value& value) {
  std::string text;
  IsoDateTimeTextInto(value, text);
  return text;
}

void AppendExactDecimalText(const Value& value, std::string& out) {
  char text[kMostValueTextBytes];
  if (value.kind == ValueKind::kCurrency) {
    out.append(text, PutMoney(value.integer, text));
  } else if (value.kind != ValueKind::kDecimal) {
    AppendValueText(value, out);
  } else {
    // Precision 0 skips the padding to the column's width.
    out.append(text, PutDecimal(value.magnitude_high, value.magnitude_low, value.negative, 0, value.scale, text));
  }
}

std::string ExactDecimalText(const Value& value) {
  std::string text;
  AppendExactDecimalText(value, text);
  return text;
}

std::string_view ExportedBytes(const Value& value, bool ole_column, OleStorage ole) {
  const std::string_view stored = value.bytes;
  if (!ole_column || ole != OleStorage::kUnwrap) return stored;
  const ByteView view(reinterpret_cast<const uint8_t*>(stored.data()), stored.size());
  const std::optional<OleContent> content = UnwrapOle(view);
  if (!content || content->offset > stored.size() || content->length > stored.size() - content->offset) return stored;
  return stored.substr(content->offset, content->length);
}

namespace {

constexpr size_t kMostNameBytes = 96;

bool IsDeviceName(const std::string& lower) {
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "com1", "com2", "com3", "com4", "com5",
                                         "com6", "com7", "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5",
                                         "lpt6", "lpt7", "lpt8", "lpt9"};
  const std::string stem = lower.substr(0, lower.find('.'));
  return std::find(std::begin(kDevices), std::end(kDevices), stem) != std::end(kDevices);
}

}  // namespace


bool MakeValidUtf8(std::string& text) {
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  // The length of the well-formed sequence at i, 0 when there is none.
  const auto sequence = [&](size_t i) -> size_t {
    size_t valid = 0;
    return b[i] < 0x80 ? 1 : Utf8SequenceLength(b + i, b + n, valid);
  };
  size_t i = 0;
  while (i < n && (b[i] < 0x80 || sequence(i) != 0)) i += b[i] < 0x80 ? 1 : sequence(i);
  if (i == n) return false;
  std::string fixed(text, 0, i);
  while (i < n) {
    const size_t length = sequence(i);
    if (length == 0) {
      fixed += "\xEF\xBF\xBD";
      ++i;
    } else {
      fixed.append(text, i, length);
      i += length;
    }
  }
  text = std::move(fixed);
  return true;
}

std::string SafeNames::Take(const std::string& name) {
  std::string safe;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    const bool unsafe = u < 0x20 || u == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
    safe.push_back(unsafe ? '_' : c);
  }
  // Trailing dots and spaces vanish on some file systems.
  while (!safe.empty() && (safe.back() == '.' || safe.back() == ' ')) safe.back() = '_';
  CutUtf8Bytes(safe, kMostNameBytes);
  if (safe.empty() || safe[0] == '.' || safe[0] == '-' || IsDeviceName(AsciiLower(safe))) safe.insert(0, "_");
  std::string candidate = safe;
  for (int n = 2; !taken_.insert(AsciiLower(candidate)).second; ++n) candidate = safe + "~" + std::to_string(n);
  return candidate;
}

ExportFile::~ExportFile() { Discard(); }

void ExportFile::Open(const std::filesystem::path& path) {
  Discard();
  path_ = path;
  temporary_ = path;
  temporary_ += ".partial";
  out_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!out_) throw TargetFailed("cannot create " + temporary_.string());
  writer_.Reset();
}

void ExportFile::Write(std::string_view text) {
  writer_.Write(text);
  if (writer_.failed()) throw TargetFailed("cannot write " + temporary_.string());
}

void ExportFile::Commit(const char* end) {
  writer_.Commit(end);
  if (writer_.failed()) throw TargetFailed("cannot write " + temporary_.string());
}

void ExportFile::Publish() {
  if (!out_.is_open()) return;
  if (!writer_.Flush()) throw TargetFailed("cannot write " + temporary_.string());
  out_.close();
  if (!out_) throw TargetFailed("cannot write " + temporary_.string());
  std::error_code error;
  std::filesystem::rename(temporary_, path_, error);
  if (error) throw TargetFailed("cannot move " + temporary_.string() + " into place: " + error.message());
  temporary_.clear();
}

void ExportFile::Discard() noexcept {
  writer_.Drop();
  if (out_.is_open()) out_.close();
  if (!temporary_.empty()) {
    std::error_code error;
    std::filesystem::remove(temporary_, error);
    temporary_.clear();
  }
}

void ExportFile::Reorder(uint64_t head, const std::vector<std::pair<uint64_t, uint64_t>>& pieces) {
  if (!writer_.Flush()) throw TargetFailed("cannot write " + temporary_.string());
  out_.flush();
  if (!out_) throw TargetFailed("cannot write " + temporary_.string());
  std::filesystem::path sorted = temporary_;
  sorted += ".sorted";
  {
    std::ifstream in(temporary_, std::ios::binary);
    std::ofstream to(sorted, std::ios::binary | std::ios::trunc);
    std::string buffer;
    const auto copy = [&](uint64_t offset, uint64_t length) {
      buffer.resize(length);
      in.seekg(static_cast<std::streamoff>(offset));
      in.read(buffer.data(), static_cast<std::streamsize>(length));
      to.write(buffer.data(), static_cast<std::streamsize>(length));
    };
    copy(0, head);
    for (const auto& [offset, length] : pieces) copy(offset, length);
    to.close();
    if (!in || !to) {
      std::error_code error;
      std::filesystem::remove(sorted, error);
      throw TargetFailed("cannot write " + sorted.string());
    }
  }
  out_.close();
  std::error_code error;
  std::filesystem::rename(sorted, temporary_, error);
  if (error) throw TargetFailed("cannot move " + sorted.string() + " into place: " + error.message());
  out_.open(temporary_, std::ios::binary | std::ios::app);
  if (!out_) throw TargetFailed("cannot write " + temporary_.string());
}

std::string FileExtension(std::string_view bytes) {
  const auto starts = [&](std::string_view magic) { return bytes.substr(0, magic.size()) == magic; };
  if (starts("BM")) return "bmp";
  if (starts("\x89PNG\r\n\x1a\n")) return "png";
  if (starts("\xFF\xD8\xFF")) return "jpg";
  if (starts("GIF8")) return "gif";
  if (starts(std::string_view("II*\0", 4)) || starts(std::string_view("MM\0*", 4))) return "tif";
  if (starts("%PDF")) return "pdf";
  if (starts("PK\x03\x04")) return "zip";
  if (starts("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return "doc";
  if (starts("{\\rtf")) return "rtf";
  return "bin";
}

void BlobFiles::BeginTable(const OutputTable& table) {
  if (!enabled()) return;
  table_ = tables_.Take(table.name);
  SafeNames columns;
  columns_.clear();
  for (const OutputColumn& column : table.columns) columns_.push_back(columns.Take(column.name));
}

std::string BlobFiles::Write(size_t column, int64_t row, std::string_view bytes) {
  const std::string relative = table_ + "/" + (column < columns_.size() ? columns_[column] : "_") + "/" +
                               std::to_string(row) + "." + FileExtension(bytes);
  const std::filesystem::path folder = dir_ / table_ / (column < columns_.size() ? columns_[column] : "_");
  std::error_code error;
  const bool table_was_there = std::filesystem::exists(dir_ / table_, error);
  std::filesystem::create_directories(folder, error);
  // Only a folder this export made is taken back by RemoveWritten.
  if (!table_was_there && !error) table_dirs_.push_back(dir_ / table_);
  if (error) throw TargetFailed("cannot create " + folder.string() + ": " + error.message());
  std::ofstream out(dir_ / relative, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw TargetFailed("cannot write " + (dir_ / relative).string());
  return relative;
}

void BlobFiles::RemoveWritten() noexcept {
  for (const std::filesystem::path& folder : table_dirs_) {
    std::error_code error;
    std::filesystem::remove_all(folder, error);
  }
  table_dirs_.clear();
}

}  // namespace mendora
