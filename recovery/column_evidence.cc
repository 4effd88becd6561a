// Telling a column's kind from the properties Access keeps for it.
#include "recovery/column_evidence.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "reader/text_codec.h"

namespace mendora {

namespace {

// DisplayControl: the control Access shows a column with; a check box is
// only offered for a Yes/No.
constexpr int64_t kCheckBox = 106;


std::string TextOf(const Property* property) {
  return property != nullptr && property->value.kind == ValueKind::kText ? property->value.bytes : std::string();
}

bool OneOf(const std::string& text, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* name) { return text == name; });
}

// The kind a Format property gives: Access's named formats, and custom ones
// by what they are made of ("dd/mm/yyyy" is a date, "$#,##0.00" an amount,
// "0.0%" a number).
ColumnKind KindOfFormat(const std::string& format) {
  const std::string f = AsciiLower(format);
  if (f.empty()) return ColumnKind::kUnknown;
  if (OneOf(f, {"yes/no", "true/false", "on/off"})) return ColumnKind::kBoolean;
  if (OneOf(f, {"general date", "long date", "medium date", "short date", "long time", "medium time", "short time"})) {
    return ColumnKind::kDate;
  }
  if (OneOf(f, {"currency", "euro"})) return ColumnKind::kCurrency;
  if (OneOf(f, {"general number", "fixed", "standard", "percent", "scientific"})) return ColumnKind::kNumber;
  const bool digits = f.find_first_of("#0") != std::string::npos;
  if (digits) {
    // A currency sign beside the digits: $, or a UTF-8 sign (euro, pound, yen...).
    const bool sign = f.find('$') != std::string::npos ||
                      std::any_of(f.begin(), f.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    return sign ? ColumnKind::kCurrency : ColumnKind::kNumber;
  }
  for (const char* part : {"yy", "dd", "mm", "hh", "nn", "ddd", "mmm"}) {
    if (f.find(part) != std::string::npos) return ColumnKind::kDate;
  }
  return ColumnKind::kUnknown;
}

ColumnKind KindOfDefault(const std::string& value) {
  std::string v = AsciiLower(value);
  if (!v.empty() && v[0] == '=') v.erase(0, 1);
  if (v.empty()) return ColumnKind::kUnknown;
  if (OneOf(v, {"now()", "date()", "time()"})) return ColumnKind::kDate;
  if (OneOf(v, {"yes", "no", "true", "false", "on", "off"})) return ColumnKind::kBoolean;
  if (v.front() == '"' || v.front() == '\'') return ColumnKind::kText;
  const bool number = std::all_of(v.begin(), v.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.'; });
  return number ? ColumnKind::kNumber : ColumnKind::kUnknown;
}

ColumnEvidence EvidenceOf(const PropertyObject& block) {
  ColumnEvidence evidence;
  evidence.name = block.name;
  const auto told = [&](ColumnKind kind, const char* property) {
    evidence.kind = kind;
    evidence.property = property;
    return evidence;
  };
  const Property* format = FindProperty(block, "Format");
  const ColumnKind by_format = KindOfFormat(TextOf(format));
  if (by_format == ColumnKind::kBoolean) return told(by_format, "Format");
  const Property* control = FindProperty(block, "DisplayControl");
  if (control != nullptr && control->value.kind == ValueKind::kInteger && control->value.integer == kCheckBox) {
    return told(ColumnKind::kBoolean, "DisplayControl");
  }
  if (by_format == ColumnKind::kDate) return told(by_format, "Format");
  if (FindProperty(block, "ShowDatePicker") != nullptr) return told(ColumnKind::kDate, "ShowDatePicker");
  const ColumnKind by_default = KindOfDefault(TextOf(FindProperty(block, "DefaultValue")));
  if (by_default == ColumnKind::kDate) return told(by_default, "DefaultValue");
  if (by_format == ColumnKind::kCurrency) return told(by_format, "Format");
  const Property* lcid = FindProperty(block, "CurrencyLCID");
  if (lcid != nullptr && lcid->value.kind == ValueKind::kInteger && lcid->value.integer != 0) {
    return told(ColumnKind::kCurrency, "CurrencyLCID");
  }
  if (FindProperty(block, "TextFormat") != nullptr) return told(ColumnKind::kMemo, "TextFormat");
  if (FindProperty(block, "DecimalPlaces") != nullptr) return told(ColumnKind::kNumber, "DecimalPlaces");
  if (by_format == ColumnKind::kNumber) return told(by_format, "Format");
  if (FindProperty(block, "AllowZeroLength") != nullptr) return told(ColumnKind::kText, "AllowZeroLength");
  if (FindProperty(block, "UnicodeCompression") != nullptr) return told(ColumnKind::kText, "UnicodeCompression");
  if (by_default != ColumnKind::kUnknown) return told(by_default, "DefaultValue");
  // Access gives text, memos and dates an input mode; text and memos also
  // AllowZeroLength, found above.
  if (FindProperty(block, "IMEMode") != nullptr) return told(ColumnKind::kDate, "IMEMode");
  return evidence;
}

}  // namespace

std::vector<ColumnEvidence> ColumnEvidenceOf(const std::vector<PropertyObject>& blocks) {
  std::vector<ColumnEvidence> columns;
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].name.empty()) continue;
    // The table's own block comes first and may carry the table's name.
    if (i == 0 && FindProperty(blocks[i], "DisplayControl") == nullptr && FindProperty(blocks[i], "Required") == nullptr &&
        FindProperty(blocks[i], "ColumnWidth") == nullptr) {
      continue;
    }
    columns.push_back(EvidenceOf(blocks[i]));
  }
  return columns;
}

KindCounts CountKinds(const std::vector<ColumnEvidence>& evidence, uint32_t row_columns, uint32_t row_variables) {
  KindCounts counts;
  if (evidence.empty() || evidence.size() > row_columns || row_variables > row_columns) return counts;
  size_t booleans = 0, dates = 0, currency = 0, numbers = 0, variables = 0, unknown = 0;
  for (const ColumnEvidence& column : evidence) {
    switch (column.kind) {
      case ColumnKind::kBoolean: ++booleans; break;
      case ColumnKind::kDate: ++dates; break;
      case ColumnKind::kCurrency: ++currency; break;
      case ColumnKind::kNumber: ++numbers; break;
      case ColumnKind::kText:
      case ColumnKind::kMemo: ++variables; break;
      case ColumnKind::kUnknown: ++unknown; break;
    }
  }
  const size_t fixed = dates + currency + numbers;
  const uint32_t fixed_room = row_columns - row_variables;
  if (variables > row_variables || fixed + booleans > fixed_room) return counts;  // blocks the rows do not bear out
  counts.dates_fewest = dates;
  counts.currency_fewest = currency;
  counts.fixed_fewest = static_cast<uint32_t>(fixed);
  if (evidence.size() < row_columns) {
    counts.fixed_most = fixed_room - static_cast<uint32_t>(booleans);
    return counts;
  }
  // A block for every column: those of no known kind are the variable
  // columns no text block explains, then fixed columns or Yes/Nos.
  const size_t unexplained_variables = row_variables - variables;
  if (unknown < unexplained_variables) return KindCounts{};
  const size_t open = unknown - unexplained_variables;
  counts.fixed_most = static_cast<uint32_t>(fixed + open);
  counts.dates_most = dates + open;
  return counts;
}

namespace {

std::string TypePhrase(int type) {
  switch (type) {
    case kColumnBoolean: return "a Yes/No";
    case kColumnByte: return "a byte";
    case kColumnInteger: return "an integer";
    case kColumnLongInteger: return "a long integer";
    case kColumnCurrency: return "a currency amount";
    case kColumnSingle: return "a single";
    case kColumnDouble: return "a double";
    case kColumnDateTime: return "a date";
    case kColumnBinary: return "binary data";
    case kColumnText: return "text";
    case kColumnOle: return "an OLE object";
    case kColumnMemo: return "a memo";
    case kColumnReplicationId: return "a GUID";
    case kColumnNumeric: return "a decimal";
    default: return "of type " + ColumnTypeName(type);
  }
}

// The kinds whose blocks a column of `type` takes, in the order tried.
std::vector<ColumnKind> KindsFor(int type) {
  switch (type) {
    case kColumnBoolean: return {ColumnKind::kBoolean};
    case kColumnDateTime: return {ColumnKind::kDate};
    case kColumnCurrency: return {ColumnKind::kCurrency, ColumnKind::kNumber};
    case kColumnText: return {ColumnKind::kText, ColumnKind::kMemo};
    case kColumnBinary: return {ColumnKind::kText};
    case kColumnMemo:
    case kColumnOle: return {ColumnKind::kMemo, ColumnKind::kText};
    default: return {ColumnKind::kNumber, ColumnKind::kCurrency};
  }
}

// Whether the kind settles the type (a Yes/No, a date, an amount, text) or
// only narrows it (a number of some width, text or a memo).
bool KindSettles(ColumnKind kind, int type) {
  switch (kind) {
    case ColumnKind::kBoolean:
    case ColumnKind::kDate:
    case ColumnKind::kCurrency: return true;
    case ColumnKind::kText: return type == kColumnText;
    case ColumnKind::kMemo: return type == kColumnMemo;
    default: return false;
  }
}

}  // namespace

void NameColumns(std::vector<ColumnDef>& columns, const std::vector<InferredColumn>& about,
                 const std::vector<ColumnEvidence>& evidence, std::vector<std::string>& notes, size_t& guessed) {
  constexpr size_t kNone = SIZE_MAX;
  std::vector<size_t> block_of(columns.size(), kNone);
  std::vector<bool> used(evidence.size(), false);
  const auto take = [&](ColumnKind kind) {
    for (size_t e = 0; e < evidence.size(); ++e) {
      if (!used[e] && evidence[e].kind == kind) {
        used[e] = true;
        return e;
      }
    }
    return kNone;
  };
  // An AutoNumber often has no property telling a number: a block of no
  // known kind is likelier its own than a number block.
  for (size_t i = 0; i < columns.size(); ++i) {
    if (about[i].counter) block_of[i] = take(ColumnKind::kUnknown);
  }
  // Each block first to a column of its own kind, then to one its kind may
  // be read as (an amount's block to a number of another width).
  for (size_t pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < columns.size(); ++i) {
      const std::vector<ColumnKind> kinds = KindsFor(columns[i].type);
      if (block_of[i] == kNone && pass < kinds.size()) block_of[i] = take(kinds[pass]);
    }
  }
  for (size_t i = 0; i < columns.size(); ++i) {
    if (block_of[i] == kNone) block_of[i] = take(ColumnKind::kUnknown);
  }
  const bool deleted_columns = !evidence.empty() && evidence.size() < columns.size();
  // A block that had more columns of its kind to choose from than there
  // were blocks of it went to the first by the blocks' order: its name is
  // the likeliest, not a certain one.
  std::map<ColumnKind, size_t> columns_of_kind;
  std::map<ColumnKind, size_t> blocks_of_kind;
  for (const ColumnEvidence& block : evidence) ++blocks_of_kind[block.kind];
  for (const ColumnDef& column : columns) ++columns_of_kind[KindsFor(column.type).front()];
  size_t deleted = 0;
  notes.clear();
  guessed = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    ColumnDef& column = columns[i];
    std::string why = "guessed from the values";
    if (block_of[i] != kNone) {
      const ColumnEvidence& block = evidence[block_of[i]];
      column.name = block.name;
      if (block.kind == ColumnKind::kText && column.type == kColumnBinary) {
        column.type = kColumnText;  // bytes that do not decode as text the catalog says are text
      }
      if (!block.property.empty()) {
        why = "from its " + block.property + " property" + (KindSettles(block.kind, column.type) ? "" : " and the values");
        const ColumnKind kind = KindsFor(column.type).front();
        if (block.kind == kind && columns_of_kind[kind] > blocks_of_kind[kind]) {
          why += "; named by the order of the property blocks, among " + std::to_string(columns_of_kind[kind]) +
                 " such columns";
        }
      }
    } else if (deleted_columns) {
      column.name = "Deleted" + std::to_string(++deleted);
      why += "; deleted from the table, its data stays in older rows";
    } else {
      column.name = "Column" + std::to_string(column.column_number + 1);
    }
    if (why.rfind("guessed", 0) == 0) ++guessed;
    notes.push_back(TypePhrase(column.type) + " (" + why + ")");
  }
}

}  // namespace mendora
