// Writing the JSON dump.
#include "output/json/json_dump.h"

#include <nlohmann/json.hpp>

#include "reader/column_types.h"
#include "reader/ole_wrapper.h"
#include "reader/value_render.h"

namespace mendora {

namespace {

// Plain text (valid UTF-8 without quotes, backslashes or control
// characters) is copied as it is; anything else goes through the JSON
// library, whose escaping and replacement of invalid bytes the dump keeps.
bool IsPlainJsonText(const std::string& text) {
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = b[i];
    if (c < 0x80) {
      if (c < 0x20 || c == '"' || c == '\\') return false;
      ++i;
      continue;
    }
    size_t length;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + length > n) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((b[i + k] & 0xC0) != 0x80) return false;
      cp = cp << 6 | (b[i + k] & 0x3F);
    }
    if ((length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

void AppendJsonString(std::string& out, const std::string& text) {
  if (IsPlainJsonText(text)) {
    out.push_back('"');
    out += text;
    out.push_back('"');
    return;
  }
  out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Base64(const std::string& bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t n = static_cast<uint8_t>(bytes[i]) << 16 | static_cast<uint8_t>(bytes[i + 1]) << 8 |
                       static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const uint32_t n = static_cast<uint8_t>(bytes[i]) << 16 | (two ? static_cast<uint8_t>(bytes[i + 1]) << 8 : 0);
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += two ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

JsonDumpOutput::JsonDumpOutput(std::ostream& out, const std::string& format, OleStorage ole)
    : out_(out), ole_(ole) {
  out_ << "{\n  \"format\": \"" << format << "\",\n  \"tables\": {";
}

void JsonDumpOutput::BeginTable(const OutputTable& table) {
  CloseTable();
  ole_columns_.clear();
  for (const OutputColumn& column : table.columns) {
    ole_columns_.push_back(ole_ == OleStorage::kUnwrap && column.type == kColumnOle);
  }
  text_.clear();
  text_ += tables_++ == 0 ? "\n    " : ",\n    ";
  AppendJsonString(text_, table.name);
  text_ += ": {\n      \"columns\": [";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    text_ += i == 0 ? "\n        {\"name\": " : ",\n        {\"name\": ";
    AppendJsonString(text_, table.columns[i].name);
    text_ += ", \"type\": ";
    AppendJsonString(text_, DumpTypeName(table.columns[i].type));
    text_ += "}";
  }
  text_ += table.columns.empty() ? "],\n" : "\n      ],\n";
  text_ += "      \"rows\": [";
  out_ << text_;
  table_open_ = true;
  rows_ = 0;
}

void JsonDumpOutput::AddRow(const Row& row) {
  text_.assign(rows_++ == 0 ? "\n        [" : ",\n        [");
  std::string rendered;
  for (size_t i = 0; i < row.values.size(); ++i) {
    if (i > 0) text_ += ", ";
    const Value& value = row.values[i];
    switch (value.kind) {
      case ValueKind::kNull:
        text_ += "null";
        break;
      case ValueKind::kText:
        AppendJsonString(text_, value.bytes);
        break;
      case ValueKind::kBytes: {
        // Binary data is no text.
        text_ += '"';
        const ByteView stored(reinterpret_cast<const uint8_t*>(value.bytes.data()), value.bytes.size());
        const std::optional<OleContent> content =
            i < ole_columns_.size() && ole_columns_[i] ? UnwrapOle(stored) : std::nullopt;
        text_ += content ? Base64(value.bytes.substr(content->offset, content->length)) : Base64(value.bytes);
        text_ += '"';
        break;
      }
      default:
        RenderValueInto(value, rendered);
        AppendJsonString(text_, rendered);
        break;
    }
  }
  text_ += "]";
  out_ << text_;
}

void JsonDumpOutput::EndTable(int64_t) { CloseTable(); }

void JsonDumpOutput::CloseTable() {
  if (!table_open_) return;
  out_ << (rows_ == 0 ? "]\n    }" : "\n      ]\n    }");
  table_open_ = false;
}

void JsonDumpOutput::Finish() {
  if (finished_) return;
  finished_ = true;
  CloseTable();
  out_ << (tables_ == 0 ? "}\n}\n" : "\n  }\n}\n");
}

void JsonDumpOutput::Abandon() noexcept {
  try {
    Finish();
  } catch (...) {
  }
}

}  // namespace mendora
