// Writing the JSON dump.
#include "output/json/json_dump.h"

#include <cstdint>
#include <cstring>

#include "output/common/export_values.h"
#include "reader/column_types.h"
#include "reader/ole_wrapper.h"
#include "reader/value_render.h"

namespace mendora {

std::string Base64(const std::string& bytes) { return Base64Encode(bytes); }

JsonDumpOutput::JsonDumpOutput(std::ostream& out, const std::string& format, OleStorage ole)
    : out_(out), writer_(out), ole_(ole) {
  std::string head = "{\n  \"format\": ";
  AppendJsonString(head, format);
  out_ << head << ",\n  \"tables\": {";
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
  writer_.Write(text_);
  table_open_ = true;
  rows_ = 0;
}

void JsonDumpOutput::AddRow(const Row& row) {
  // The most the row's text can take; a row with binary values, or with
  // long texts, is written piece by piece instead.
  size_t most = 16;
  for (const Value& value : row.values) {
    if (value.kind == ValueKind::kBytes || most > kDirectRowBytes) {
      most = SIZE_MAX;
      break;
    }
    most += 2 + (value.kind == ValueKind::kText ? MostJsonStringBytes(value.bytes.size()) : kMostValueTextBytes + 2);
  }
  if (most > kDirectRowBytes) {
    AddRowByPieces(row);
    return;
  }
  // Written straight into the writer's chunk, room made for the most first.
  char* o = writer_.Reserve(most);
  const auto put = [&o](std::string_view text) {
    std::memcpy(o, text.data(), text.size());
    o += text.size();
  };
  put(rows_++ == 0 ? "\n        [" : ",\n        [");
  for (size_t i = 0; i < row.values.size(); ++i) {
    if (i > 0) put(", ");
    const Value& value = row.values[i];
    switch (value.kind) {
      case ValueKind::kNull:
        put("null");
        break;
      case ValueKind::kText:
        o = PutJsonString(o, value.bytes);
        break;
      case ValueKind::kGuid:
      case ValueKind::kExtendedDateTime:
        RenderValueInto(value, rendered_);
        o = PutJsonString(o, rendered_);
        break;
      default:
        // Numbers, money and dates render as ASCII digits, signs, points,
        // slashes and colons: nothing to escape.
        *o++ = '"';
        o = PutValueText(value, o);
        *o++ = '"';
        break;
    }
  }
  *o++ = ']';
  writer_.Commit(o);
}

void JsonDumpOutput::AddRowByPieces(const Row& row) {
  std::string& line = text_;
  line.assign(rows_++ == 0 ? "\n        [" : ",\n        [");
  for (size_t i = 0; i < row.values.size(); ++i) {
    if (i > 0) line += ", ";
    const Value& value = row.values[i];
    switch (value.kind) {
      case ValueKind::kNull:
        line += "null";
        break;
      case ValueKind::kBytes: {
        // Binary data is no text.
        line += '"';
        const ByteView stored(reinterpret_cast<const uint8_t*>(value.bytes.data()), value.bytes.size());
        const std::optional<OleContent> content =
            i < ole_columns_.size() && ole_columns_[i] ? UnwrapOle(stored) : std::nullopt;
        line += content ? Base64(value.bytes.substr(content->offset, content->length)) : Base64(value.bytes);
        line += '"';
        break;
      }
      case ValueKind::kText:
        AppendJsonString(line, value.bytes);
        break;
      default:
        RenderValueInto(value, rendered_);
        AppendJsonString(line, rendered_);
        break;
    }
  }
  line += ']';
  writer_.Write(line);
}

void JsonDumpOutput::EndTable(int64_t) { CloseTable(); }

void JsonDumpOutput::CloseTable() {
  if (!table_open_) return;
  writer_.Write(rows_ == 0 ? "]\n    }" : "\n      ]\n    }");
  table_open_ = false;
}

void JsonDumpOutput::Finish() {
  if (finished_) return;
  finished_ = true;
  CloseTable();
  writer_.Write(tables_ == 0 ? "}\n}\n" : "\n  }\n}\n");
  writer_.Flush();
}

void JsonDumpOutput::Abandon() noexcept {
  try {
    Finish();
  } catch (...) {
  }
}

}  // namespace mendora
