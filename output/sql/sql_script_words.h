// What the parts of the SQL export share: the script's limits, its own
// tables' names and the small words its statements are made of.
#ifndef MENDORA_OUTPUT_SQL_SQL_SCRIPT_WORDS_H_
#define MENDORA_OUTPUT_SQL_SQL_SCRIPT_WORDS_H_

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "recovery/recovery_output.h"

namespace mendora::sql_script {

// A batch ends at whichever comes first; the byte bound keeps each statement
// well inside MySQL's default packet size.
inline constexpr size_t kBatchRows = 500;
inline constexpr size_t kBatchBytes = 1 << 20;
// MySQL counts a row's declared widths against this.
inline constexpr size_t kMySqlRowBytes = 65000;
inline constexpr size_t kMySqlIndexBytes = 3072;
inline constexpr size_t kIndexNameBytes = 55;


inline std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

inline std::string DecimalType(const char* name, int precision, int scale) {
  const int p = precision >= 1 && precision <= 28 ? precision : 28;
  const int s = scale >= 0 && scale <= p ? scale : 0;
  return std::string(name) + "(" + std::to_string(p) + "," + std::to_string(s) + ")";
}

inline int TextLength(const OutputColumn& column) {
  return column.text_length > 0 && column.text_length <= 255 ? column.text_length : 255;
}

inline bool IsLongType(const std::string& type) {
  return type == "TEXT" || type == "LONGTEXT" || type == "LONGBLOB" || type == "text";
}

inline constexpr const char* kRelationsTable = "mendora_relations";
inline constexpr const char* kQueriesTable = "mendora_queries";

// The digits of a decimal's whole part ("-12.50" has 2).
inline size_t WholeDigits(const std::string& decimal) {
  size_t digits = 0;
  for (const char c : decimal) {
    if (c == '.') break;
    if (c >= '0' && c <= '9') ++digits;
  }
  return digits;
}

}  // namespace mendora::sql_script

#endif  // MENDORA_OUTPUT_SQL_SQL_SCRIPT_WORDS_H_
