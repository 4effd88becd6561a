// Writing a recovery pass as a new Access database.
#include "output/jet/jet_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "output/common/target_error.h"
#include "output/common/target_file.h"
#include "output/jet/jet_text.h"
#include "output/jet/property_blocks_writer.h"
#include "output/jet/system_tables.h"
#include "reader/ace_values.h"
#include "reader/column_types.h"
#include "reader/index_def.h"
#include "reader/access_storage.h"
#include "reader/jet_format.h"
#include "reader/property_blocks.h"
#include "reader/table_def.h"
#include "reader/text_codec.h"
#include "recovery/loss_account.h"
#include "recovery/stop_point.h"

namespace mendora::jet {

namespace {

constexpr size_t kMaxNameUnits = 64;
constexpr size_t kMaxColumns = 255;
constexpr uint16_t kMaxTextBytes = 510;
constexpr int kMaxIndexColumns = 10;
// Index entries held in memory for one table before they go to disk.
constexpr size_t kIndexMemory = 48u << 20;
// The relation flag that says Access does not enforce it.
constexpr int32_t kRelationNotEnforced = 0x2;
constexpr uint8_t kUserFixed = kColumnFlagFixed | kColumnFlagUpdatable;
constexpr uint8_t kUserVariable = kColumnFlagUpdatable;
// Free bytes that make a data page worth offering for new rows.
constexpr uint32_t kUsefulRoom = 512;
// A query's catalog Flags by the kind its first row gives.
uint32_t QueryFlags(const std::vector<QueryRow>& rows) {
  for (const QueryRow& row : rows) {
    if (row.attribute != kQueryKind || !row.flag) continue;
    switch (*row.flag) {
      case kQueryCrosstab: return 0x10;
      case kQueryDelete: return 0x20;
      case kQueryUpdate: return 0x30;
      case kQueryAppend: return 0x40;
      case kQueryMakeTable: return 0x50;
      case kQueryDataDefinition: return 0x60;
      case kQueryPassThrough: return 0x70;
      case kQueryUnion: return 0x80;
      default: return 0;
    }
  }
  return 0;
}


Value TextValue(const std::string& text) {
  Value v;
  v.kind = ValueKind::kText;
  v.bytes = text;
  return v;
}

Value BytesValue(const Bytes& bytes) {
  Value v;
  v.kind = ValueKind::kBytes;
  v.bytes = bytes;
  return v;
}

Value IntegerValue(int64_t n) {
  Value v;
  v.SetInteger(n);
  return v;
}

Value DateValue(double days) {
  Value v;
  v.SetDateTime(days);
  return v;
}

double Now() {
  const auto now = std::chrono::system_clock::now();
  const double seconds = std::chrono::duration<double>(now.time_since_epoch()).count();
  return 25569.0 + seconds / 86400.0;  // days since 1899-12-30
}

// The value an index key is made of: what the column stores.
Value KeyValue(const JetColumn& column, const Value& value) {
  if (value.IsNull()) return value;
  switch (column.conversion) {
    case Conversion::kBigIntToNumeric: {
      Value v;
      v.kind = ValueKind::kDecimal;
      v.negative = value.integer < 0;
      v.magnitude_low = v.negative ? ~static_cast<uint64_t>(value.integer) + 1 : static_cast<uint64_t>(value.integer);
      v.precision = 19;
      return v;
    }
    case Conversion::kExtendedDateToText:
      return value.kind == ValueKind::kExtendedDateTime ? TextValue(ExtendedDateText(value)) : value;
    default:
      return value;
  }
}

bool Indexable(int type) { return type != kColumnMemo && type != kColumnOle; }

// The container that lists objects of `kind`.
const char* ObjectContainer(const std::string& kind) {
  if (kind == "form") return "Forms";
  if (kind == "report") return "Reports";
  if (kind == "macro") return "Scripts";
  return "Modules";
}

// Access keys a query's rows by their attribute and order, one row to a
// key. A damaged source can give rows of one attribute the same order (the
// orders lost, or a row read twice): those attributes' rows are numbered
// again from 1, in the order they had, ties in the order they came. Orders
// that clash nowhere are kept as stored.
std::vector<QueryRow> WithDistinctOrders(std::vector<QueryRow> rows) {
  std::map<int, std::set<uint32_t>> orders;
  std::set<int> clashing;
  for (const QueryRow& row : rows) {
    if (!orders[row.attribute].insert(row.order).second) clashing.insert(row.attribute);
  }
  for (const int attribute : clashing) {
    std::vector<QueryRow*> of;
    for (QueryRow& row : rows) {
      if (row.attribute == attribute) of.push_back(&row);
    }
    std::stable_sort(of.begin(), of.end(), [](const QueryRow* a, const QueryRow* b) { return a->order < b->order; });
    for (size_t i = 0; i < of.size(); ++i) of[i]->order = static_cast<uint32_t>(i + 1);
  }
  return rows;
}

}  // namespace

struct JetOutput::IndexInProgress {
  std::string name;
  std::vector<std::pair<size_t, bool>> columns;  // column (its place), descending
  uint8_t flags = 0;
  bool primary = false;
  bool foreign_key = false;
  std::unique_ptr<IndexPagesBuilder> builder;
  int64_t unknown_keys = 0;
  uint64_t null_keys = 0;    // rows with no value in a column of the key
  bool unsupported = false;  // a column type without a known key
};

struct JetOutput::TableInProgress {
  std::string name;
  uint32_t page = 0;
  std::vector<JetColumn> columns;
  std::unique_ptr<RowEncoder> encoder;
  std::unique_ptr<RowPageWriter> rows;
  std::unique_ptr<LongValueWriter> long_values;
  std::vector<IndexInProgress> indexes;
  std::vector<PropertyObjectToWrite> properties;
  int autonumber = -1;  // the counter's place among columns
  int64_t last_autonumber = 0;
  int64_t stored = 0;
  int64_t offered = 0;
  // A child table of a complex column: the column (its place in the
  // source's rows) and its kind.
  size_t complex_column = 0;
  int complex_kind = 0;
  std::vector<Value> values;  // one row, in the order of `columns`' sources
  EncodedRow encoded;
  std::string key;
};

struct JetOutput::WrittenTable {
  std::string name;
  uint32_t page = 0;
  TableDefinition definition;
  Bytes properties;
  // Of each real index: the hashes of its rows' whole keys, sorted, for the
  // relations to check their rows against; dropped once they are made.
  std::vector<std::vector<uint64_t>> key_hashes;
};

struct JetOutput::CatalogObject {
  std::string name;
  uint32_t id = 0;
  uint32_t parent = 0;
  int32_t type = 0;  // kCatalog... in reader/jet_format.h
  uint32_t flags = 0;
  Bytes properties;
};

namespace {

// `name` (one Access takes) and `suffix` after it, the name cut short so
// that the suffix, which tells it apart, is within the 64 characters
// Access keeps.
std::string NameWithSuffix(std::string name, const std::string& suffix) {
  while (!name.empty() && Utf8ToUtf16(name).size() + suffix.size() > kMaxNameUnits) CutUtf8Bytes(name, name.size() - 1);
  return name + suffix;
}

}  // namespace

std::string JetOutput::AccessName(const std::string& name) {
  std::u16string units = Utf8ToUtf16(name);
  for (char16_t& unit : units) {
    if (unit < 0x20 || unit == u'.' || unit == u'!' || unit == u'`' || unit == u'[' || unit == u']') unit = u'_';
  }
  if (!units.empty() && units.front() == u' ') units.front() = u'_';
  if (units.size() > kMaxNameUnits) {
    size_t cut = kMaxNameUnits;
    if (units[cut - 1] >= 0xD800 && units[cut - 1] <= 0xDBFF) --cut;
    units.resize(cut);
  }
  if (units.empty()) units = u"_";
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size()) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    AppendUtf8(out, cp);
  }
  return out;
}

JetOutput::JetOutput(const std::string& path, bool replace_existing, KeyAppender keys, NameKeyCheck names)
    : path_(path), replace_existing_(replace_existing), keys_(std::move(keys)), name_known_(std::move(names)) {
  struct stat info;
  if (!replace_existing && ::lstat(path.c_str(), &info) == 0) {
    throw TargetFailed("cannot create " + path + ": a file already exists there and replacing it was not requested");
  }
  try {
    if (replace_existing) CheckReplaceable(path);
    for (const std::string& leftover : RemoveLeftoverFiles(path)) {
      std::fprintf(stderr, "Removed %s, the unfinished file of an earlier save that was killed.\n", leftover.c_str());
    }
    FileBeside beside = CreateFileBeside(path);
    temp_path_ = beside.path;
    lock_ = beside.lock;
  } catch (const EngineError& error) {
    throw TargetFailed(error.what());
  }
  fd_ = ::open(temp_path_.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd_ < 0) {
    const std::string why = std::system_category().message(errno);
    Abandon();
    throw TargetFailed("cannot open " + temp_path_ + ": " + why);
  }
  file_ = std::make_unique<PageFile>(fd_, temp_path_);
  // Page 0, the map of free pages and the system tables' definitions have
  // fixed places; they are written last.
  for (uint32_t page = kHeaderPage; page <= kRelationshipsPage; ++page) file_->Allocate();
  maps_ = std::make_unique<RowPageWriter>(*file_, 0);
  for (const SystemTable* table : {&CatalogTable(), &AcesTable(), &QueriesTable(), &RelationshipsTable()}) {
    table_names_.insert(AsciiLower(table->name));
  }
}

JetOutput::~JetOutput() { Abandon(); }

std::string JetOutput::TableNameKey(const std::string& name) const { return AsciiLower(CatalogName(name)); }
std::string JetOutput::ColumnNameKey(const std::string& name) const { return AsciiLower(AccessName(name)); }
std::string JetOutput::QueryNameKey(const std::string& name) const { return AsciiLower(CatalogName(name)); }

std::string JetOutput::CatalogName(const std::string& wanted) const {
  const std::string name = AccessName(wanted);
  if (!name_known_ || name_known_(name)) return name;
  // Character by character: one whose key is not known becomes '_'.
  std::string out;
  for (size_t i = 0; i < name.size();) {
    size_t length = 1;
    const auto lead = static_cast<uint8_t>(name[i]);
    if (lead >= 0xF0) length = 4;
    else if (lead >= 0xE0) length = 3;
    else if (lead >= 0xC0) length = 2;
    const std::string character = name.substr(i, length);
    out += name_known_(character) ? character : "_";
    i += length;
  }
  return out;
}

std::string JetOutput::ClaimName(const std::string& wanted, std::set<std::string>& taken) const {
  std::string name = CatalogName(wanted);
  if (taken.insert(AsciiLower(name)).second) return name;
  for (int n = 2;; ++n) {
    const std::string candidate = NameWithSuffix(name, " (" + std::to_string(n) + ")");
    if (taken.insert(AsciiLower(candidate)).second) return candidate;
  }
}

void JetOutput::Note(const std::string& kind, const std::string& text) {
  if (!noted_.insert(kind).second) return;
  std::fprintf(stderr, "Access database: %s\n", text.c_str());
}

void JetOutput::BeginTable(const OutputTable& table) {
  children_.clear();
  current_.reset();
  // Damage can leave a definition naming no column. Access makes no table
  // without one, and rows of none would not read as rows.
  if (table.columns.empty()) {
    losses_->TableLost(table.name, kNoColumnToSave);
    return;
  }
  auto t = std::make_unique<TableInProgress>();
  t->name = ClaimName(table.name, table_names_);
  if (t->name != table.name) {
    Note("name:" + table.name, "table " + table.name + " is saved as " + t->name + " (a name Access takes)");
    saved_as_[table.name] = t->name;
  }
  t->page = file_->Allocate();
  std::set<std::string> column_names;
  std::map<std::string, size_t> by_source_name;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const OutputColumn& source = table.columns[i];
    if (source.complex_kind != 0 || source.type == kColumnComplex) continue;
    if (t->columns.size() >= kMaxColumns) {
      losses_->PieceLost("Table " + t->name + ": column " + source.name + " was not saved: an Access table holds at most 255 columns");
      continue;
    }
    JetColumn c;
    c.name = AccessName(source.name);
    for (int n = 2; !column_names.insert(AsciiLower(c.name)).second; ++n) {
      c.name = NameWithSuffix(AccessName(source.name), " (" + std::to_string(n) + ")");
    }
    c.source = i;
    c.type = source.type;
    switch (source.type) {
      case kColumnBigInt:
        c.type = kColumnNumeric;
        c.precision = 19;
        c.conversion = Conversion::kBigIntToNumeric;
        Note("bigint", "BigInt columns are saved as Decimal(19,0), which the Access 2000 format has (" + table.name + "." + source.name + ")");
        break;
      case kColumnExtendedDateTime:
        c.type = kColumnText;
        c.conversion = Conversion::kExtendedDateToText;
        Note("datetime2", "Date/Time Extended columns are saved as text in ISO form with seven decimals (" + table.name + "." + source.name + ")");
        break;
      case kColumnNumeric:
        c.precision = static_cast<uint8_t>(source.precision > 0 ? source.precision : 28);
        c.scale = static_cast<uint8_t>(source.scale);
        // A calculated decimal carries its own scale in each value: the
        // column takes up to 14 decimals and 14 digits before them.
        if (source.calculated && source.precision == 0) c.scale = 14;
        break;
      default:
        if (!IsKnownColumnType(source.type) || source.type == kColumnUnknown00 || source.type == kColumnUnknown0D ||
            source.type == kColumnUnknown0E || source.type == kColumnUnknown11) {
          c.type = kColumnOle;
          c.conversion = Conversion::kBytesToBinary;
          Note("unknown:" + std::to_string(source.type), "columns of type code " + std::to_string(source.type) +
                                                             " are saved as OLE objects holding their bytes (" + table.name + "." + source.name + ")");
        }
        break;
    }
    if (source.calculated) {
      Note("calculated", "calculated columns are saved as their values (" + table.name + "." + source.name + ")");
    }
    if (c.type == kColumnText) {
      const int chars = c.conversion == Conversion::kExtendedDateToText ? 27
                        : source.text_length > 0                       ? source.text_length
                                                                        : 255;
      c.size = static_cast<uint16_t>(std::min<int>(chars * 2, kMaxTextBytes));
      c.extra_flags = kColumnCompressedText;
    } else if (c.type == kColumnBinary) {
      c.size = static_cast<uint16_t>(source.size > 0 && source.size <= kMaxTextBytes ? source.size : kMaxTextBytes);
    } else if (c.type == kColumnMemo) {
      c.extra_flags = kColumnCompressedText;
    } else {
      c.size = FixedSize(c.type);
    }
    c.flags = IsFixedType(c.type) ? kUserFixed : kUserVariable;
    if (source.autonumber && c.type == kColumnLongInteger && t->autonumber < 0) {
      c.flags |= kColumnFlagAutoNumber;
      t->autonumber = static_cast<int>(t->columns.size());
    }
    if (source.guid_autonumber && c.type == kColumnReplicationId) c.flags |= kColumnFlagGuidAutoNumber;
    by_source_name[source.name] = t->columns.size();
    t->columns.push_back(std::move(c));
  }
  PlaceColumns(t->columns);
  t->encoder = std::make_unique<RowEncoder>(t->columns);
  t->rows = std::make_unique<RowPageWriter>(*file_, t->page);
  t->long_values = std::make_unique<LongValueWriter>(*file_);

  // Indexes: those of a complex column, or of a memo or OLE column, have
  // nothing Access indexes here.
  size_t index_count = 0;
  for (const OutputIndex& index : table.indexes) {
    IndexInProgress in;
    in.name = AccessName(index.name);
    in.primary = index.primary;
    in.foreign_key = index.foreign_key;
    in.flags = static_cast<uint8_t>((index.unique || index.primary ? kIndexUnique : 0) |
                                    (index.ignore_nulls ? kIndexIgnoreNulls : 0) |
                                    (index.required || index.primary ? kIndexRequired : 0));
    // An index over a complex column has nothing to index here: the
    // column is a child table of its own.
    const bool over_complex = std::any_of(index.columns.begin(), index.columns.end(), [&](const OutputIndexColumn& key) {
      return std::any_of(table.columns.begin(), table.columns.end(), [&](const OutputColumn& column) {
        return column.name == key.name && (column.complex_kind != 0 || column.type == kColumnComplex);
      });
    });
    if (over_complex) continue;
    std::string missing;
    for (const OutputIndexColumn& key : index.columns) {
      auto found = by_source_name.find(key.name);
      if (found == by_source_name.end() || !Indexable(t->columns[found->second].type)) {
        missing = key.name;
        break;
      }
      in.columns.emplace_back(found->second, key.descending);
    }
    if (!missing.empty() || in.columns.empty() || in.columns.size() > kMaxIndexColumns) {
      losses_->PieceLost("index " + index.name + " of " + t->name + " not written: " +
                         (missing.empty() ? "it has no column Access can index" : "column " + missing + " cannot be indexed in Access"));
      continue;
    }
    t->indexes.push_back(std::move(in));
    ++index_count;
  }
  for (IndexInProgress& in : t->indexes) {
    in.builder = std::make_unique<IndexPagesBuilder>(t->page, kIndexMemory / std::max<size_t>(1, index_count));
  }

  // Properties: the table's own first, then each column's under its saved
  // name.
  PropertyObjectToWrite own;
  std::map<std::string, PropertyObjectToWrite> per_column;
  for (const OutputProperty& property : table.properties) {
    if (property.type == 0) continue;
    PropertyToWrite p{property.name, property.type, property.ddl, property.value};
    if (property.column.empty()) {
      own.properties.push_back(std::move(p));
      continue;
    }
    auto found = by_source_name.find(property.column);
    if (found == by_source_name.end()) continue;
    PropertyObjectToWrite& object = per_column[t->columns[found->second].name];
    object.name = t->columns[found->second].name;
    object.properties.push_back(std::move(p));
  }
  t->properties.push_back(std::move(own));
  for (const JetColumn& c : t->columns) {
    auto found = per_column.find(c.name);
    if (found != per_column.end()) t->properties.push_back(std::move(found->second));
  }
  current_ = std::move(t);
  StartChildTables(table);
}

void JetOutput::StartChildTables(const OutputTable& table) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const OutputColumn& column = table.columns[i];
    if (column.complex_kind == 0) continue;
    OutputTable child;
    child.name = current_->name + "_" + column.name;
    OutputColumn row;
    row.name = "row";
    row.type = kColumnLongInteger;
    child.columns.push_back(row);
    const auto add = [&](const char* name, int type, int length = 0) {
      OutputColumn c;
      c.name = name;
      c.type = type;
      c.text_length = length;
      child.columns.push_back(c);
    };
    switch (static_cast<ComplexKind>(column.complex_kind)) {
      case ComplexKind::kAttachments:
        add("file name", kColumnText, 255);
        add("file type", kColumnText, 255);
        add("time stamp", kColumnDateTime);
        add("data", kColumnOle);
        Note("attachments", "attachment columns are saved as child tables TABLE_COLUMN, whose row is the record number in TABLE (" +
                                table.name + "." + column.name + ")");
        break;
      case ComplexKind::kVersionHistory:
        add("value", kColumnMemo);
        add("modified", kColumnDateTime);
        Note("history", "the version history of append-only memos is saved as child tables TABLE_COLUMN (" + table.name + "." +
                            column.name + ")");
        break;
      default: {
        OutputColumn value;
        value.name = "value";
        value.type = column.value_type != 0 ? column.value_type : kColumnText;
        value.precision = column.precision;
        value.scale = column.scale;
        value.text_length = 255;
        child.columns.push_back(value);
        Note("multivalue", "multi-value columns are saved as child tables TABLE_COLUMN, whose row is the record number in TABLE (" +
                               table.name + "." + column.name + ")");
        break;
      }
    }
    std::unique_ptr<TableInProgress> parent = std::move(current_);
    BeginTable(child);
    current_->complex_column = i;
    current_->complex_kind = column.complex_kind;
    std::unique_ptr<TableInProgress> made = std::move(current_);
    current_ = std::move(parent);
    children_.push_back(std::move(made));
  }
}

void JetOutput::AddRow(const Row& row) {
  if (!current_) return;
  TableInProgress& t = *current_;
  ++t.offered;
  const LongValueSink sink = [&](size_t column, const Bytes& content, size_t room) {
    return t.long_values->Write(column, content, room);
  };
  std::vector<Value> converted;
  const std::vector<Value>* values = &row.values;
  // A type kept as bytes goes into its OLE column as those bytes.
  bool any_conversion = false;
  for (const JetColumn& c : t.columns) any_conversion = any_conversion || c.conversion == Conversion::kBytesToBinary;
  if (any_conversion) {
    converted = row.values;
    for (const JetColumn& c : t.columns) {
      if (c.conversion == Conversion::kBytesToBinary && c.source < converted.size() && converted[c.source].kind == ValueKind::kText) {
        converted[c.source].kind = ValueKind::kBytes;
      }
    }
    values = &converted;
  }
  try {
    t.encoder->Encode(*values, sink, t.encoded);
  } catch (const std::length_error& error) {
    losses_->RowRefused(t.name, "Table " + t.name + ": record " + std::to_string(t.offered) + " was not stored: " + error.what());
    return;
  }
  for (const std::string& line : t.encoded.refused) {
    losses_->ValueRefused(t.name, "Table " + t.name + ": record " + std::to_string(t.offered) + ", " + line + " was not stored");
  }
  if (t.encoded.bytes.size() > MaxRowSize()) {
    losses_->RowRefused(t.name, "Table " + t.name + ": record " + std::to_string(t.offered) + " was not stored: its " +
                                    std::to_string(t.encoded.bytes.size()) + " bytes are more than an Access record holds");
    return;
  }
  const RowAddress at = t.rows->Add(t.encoded.bytes);
  ++t.stored;
  if (t.autonumber >= 0) {
    const JetColumn& c = t.columns[static_cast<size_t>(t.autonumber)];
    if (c.source < values->size() && (*values)[c.source].kind == ValueKind::kInteger) {
      t.last_autonumber = std::max(t.last_autonumber, (*values)[c.source].integer);
    }
  }
  for (IndexInProgress& index : t.indexes) {
    if (index.unsupported) continue;
    t.key.clear();
    bool known = true;
    bool whole = true;
    for (const auto& [place, descending] : index.columns) {
      const JetColumn& c = t.columns[place];
      static const Value kNull;
      // A value the row could not hold is stored as null, and keyed so.
      const bool refused = std::find(t.encoded.refused_sources.begin(), t.encoded.refused_sources.end(), c.source) !=
                           t.encoded.refused_sources.end();
      const Value& value = c.source < values->size() && !refused ? (*values)[c.source] : kNull;
      whole = whole && !value.IsNull();
      const KeyOutcome outcome = keys_ ? keys_(KeyValue(c, value), c.type, descending, t.key) : KeyOutcome::kUnsupportedType;
      if (outcome != KeyOutcome::kEncoded) {
        if (outcome != KeyOutcome::kUnknownSortOrder) index.unsupported = true;
        known = false;
        break;
      }
    }
    if (!known) {
      ++index.unknown_keys;
      continue;
    }
    if (!whole) ++index.null_keys;
    if (index.unknown_keys == 0) index.builder->Add(t.key, at, whole);
  }
  // A complex column's entries go to its child table, each naming this
  // record by its number.
  for (const ComplexCell& cell : row.complex) {
    for (auto& child : children_) {
      if (child->complex_column != cell.column) continue;
      std::unique_ptr<TableInProgress> parent = std::move(current_);
      current_ = std::move(child);
      Row entry;
      for (const ComplexItem& item : cell.items) {
        entry.values.clear();
        entry.values.push_back(IntegerValue(parent->stored));
        if (current_->complex_kind == static_cast<int>(ComplexKind::kAttachments)) {
          entry.values.push_back(TextValue(item.file_name));
          entry.values.push_back(TextValue(item.file_type));
          entry.values.push_back(item.time);
          entry.values.push_back(item.value);
        } else {
          entry.values.push_back(item.value);
          if (current_->complex_kind == static_cast<int>(ComplexKind::kVersionHistory)) entry.values.push_back(item.time);
        }
        AddRow(entry);
      }
      child = std::move(current_);
      current_ = std::move(parent);
    }
  }
}

void JetOutput::EndTable(int64_t rows) {
  if (!current_) return;
  // Child tables end first, then their parent: each its own definition.
  std::vector<std::unique_ptr<TableInProgress>> all;
  all.push_back(std::move(current_));
  for (auto& child : children_) all.push_back(std::move(child));
  children_.clear();
  (void)rows;
  for (std::unique_ptr<TableInProgress>& tp : all) {
    TableInProgress& t = *tp;
    t.rows->Flush();
    t.long_values->Flush();
    auto written = std::make_unique<WrittenTable>();
    written->name = t.name;
    written->page = t.page;
    TableDefinition& d = written->definition;
    d.rows = static_cast<uint32_t>(t.stored);
    d.last_autonumber = static_cast<uint32_t>(std::max<int64_t>(0, t.last_autonumber));
    d.columns = t.columns;
    d.usage_map = MapReference{};
    const RowAddress data_map = maps_->Add(UsageMapRow(*file_, t.rows->pages()));
    PageRuns with_room;
    if (t.rows->last_page() != 0 && t.rows->last_free() >= kUsefulRoom) with_room.Add(t.rows->last_page());
    const RowAddress free_map = maps_->Add(UsageMapRow(*file_, with_room));
    d.usage_map = MapReference{data_map.row, data_map.page};
    d.free_map = MapReference{free_map.row, free_map.page};
    for (const JetColumn& c : t.columns) {
      if (!c.IsLongValue()) continue;
      const PageRuns* pages = t.long_values->PagesOf(&c - t.columns.data());
      const RowAddress used = maps_->Add(UsageMapRow(*file_, pages ? *pages : PageRuns()));
      PageRuns room;
      if (const uint32_t page = t.long_values->PageWithRoom(&c - t.columns.data())) room.Add(page);
      const RowAddress free = maps_->Add(UsageMapRow(*file_, room));
      d.long_value_maps.push_back(LongValueMaps{c.number, {used.row, used.page}, {free.row, free.page}});
    }
    // One real index for each distinct column list and flags; a logical
    // index for each index of the source. A unique index whose rows repeat
    // a key (or a primary key with a row without one) would make the file
    // one Access must repair: damage can give two rows one key, so such an
    // index is written as a plain one, and told.
    std::vector<uint8_t> asked_flags;  // of each real index, before that
    std::vector<std::string> broken;   // of each real index, why it is plain; empty when it is not
    for (IndexInProgress& index : t.indexes) {
      if (index.unsupported) {
        losses_->PieceLost("index " + index.name + " of " + t.name + " not written: the keys of its columns' types are not known");
        index.builder.reset();
        continue;
      }
      if (index.unknown_keys > 0) {
        losses_->PieceLost("index " + index.name + " of " + t.name + " not written: " + std::to_string(index.unknown_keys) +
                           (index.unknown_keys == 1 ? " key holds" : " keys hold") + " characters of unknown sort order");
        index.builder.reset();
        continue;
      }
      std::vector<std::pair<uint16_t, bool>> columns;
      for (const auto& [place, descending] : index.columns) columns.emplace_back(t.columns[place].number, descending);
      uint32_t real = 0;
      bool shared = false;
      for (; real < d.real_indexes.size(); ++real) {
        if (d.real_indexes[real].columns == columns && asked_flags[real] == index.flags) {
          shared = true;
          break;
        }
      }
      if (!shared) {
        std::vector<uint64_t> hashes;
        const BuiltIndex built = index.builder->Build(*file_, &hashes);
        std::sort(hashes.begin(), hashes.end());
        written->key_hashes.push_back(std::move(hashes));
        RealIndexDefinition r;
        r.columns = columns;
        r.flags = index.flags;
        std::string names;
        for (const auto& [place, descending] : index.columns) names += (names.empty() ? "" : ", ") + t.columns[place].name;
        std::string why;
        if ((r.flags & kIndexUnique) != 0 && built.repeated_keys > 0) {
          why = std::to_string(built.repeated_keys) + (built.repeated_keys == 1 ? " row repeats" : " rows repeat") +
                " another row's value of (" + names + ")";
          r.flags &= static_cast<uint8_t>(~kIndexUnique);
        }
        if ((r.flags & kIndexRequired) != 0 && index.null_keys > 0) {
          why += (why.empty() ? "" : "; ") + std::to_string(index.null_keys) + (index.null_keys == 1 ? " row has" : " rows have") +
                 " no value in (" + names + ")";
          r.flags &= static_cast<uint8_t>(~kIndexRequired);
        }
        asked_flags.push_back(index.flags);
        broken.push_back(why);
        const RowAddress map = maps_->Add(UsageMapRow(*file_, built.pages));
        r.usage_map = MapReference{map.row, map.page};
        r.root = built.root;
        r.rows = static_cast<uint32_t>(built.entries);
        r.distinct_keys = static_cast<uint32_t>(built.distinct_keys);
        d.real_indexes.push_back(std::move(r));
        real = static_cast<uint32_t>(d.real_indexes.size() - 1);
      }
      index.builder.reset();
      const bool plain = !broken[real].empty();
      if (plain) {
        losses_->PieceLost("Table " + t.name + ": " + (index.primary ? "primary key " : "index ") + index.name +
                           " was written as a plain index: " + broken[real]);
      }
      LogicalIndexDefinition logical;
      logical.name = index.name;
      logical.number = static_cast<uint32_t>(d.logical_indexes.size());
      logical.real = real;
      logical.kind = index.primary && !plain ? 1 : 0;
      // A relation's own index waits for its relation: until then it is
      // kept only by its real index.
      if (index.foreign_key) logical.kind = 0xFF;
      d.logical_indexes.push_back(std::move(logical));
    }
    written->properties = EncodePropertyBlocks(t.properties);
    tables_.push_back(std::move(written));
  }
}

JetOutput::WrittenTable* JetOutput::FindTable(const std::string& name) {
  // By the name it was saved as: another table may have taken the source's
  // name once its characters were made ones Access takes.
  const auto renamed = saved_as_.find(name);
  const std::string key = AsciiLower(renamed != saved_as_.end() ? renamed->second : name);
  for (auto& table : tables_) {
    if (AsciiLower(table->name) == key) return table.get();
  }
  return nullptr;
}

void JetOutput::AddRelation(const OutputRelation& relation) {
  WrittenTable* primary = FindTable(relation.table);
  WrittenTable* foreign = FindTable(relation.foreign_table);
  if (primary == nullptr || foreign == nullptr || relation.fields.empty()) {
    losses_->PieceLost("Relation " + relation.name + " was not created: " +
                       (relation.fields.empty() ? std::string("it names no field")
                                                : "table " + (primary == nullptr ? relation.table : relation.foreign_table) + " is not in the database"));
    return;
  }
  const auto number_of = [](const WrittenTable& t, const std::string& column) -> int {
    const std::string key = AsciiLower(AccessName(column));
    for (const JetColumn& c : t.definition.columns) {
      if (AsciiLower(c.name) == key) return c.number;
    }
    return -1;
  };
  std::vector<std::pair<uint16_t, bool>> primary_columns, foreign_columns;
  for (const RelationField& field : relation.fields) {
    const int p = number_of(*primary, field.field);
    const int f = number_of(*foreign, field.foreign_field);
    if (p < 0 || f < 0) {
      losses_->PieceLost("Relation " + relation.name + " was not created: field " +
                         (p < 0 ? relation.table + "." + field.field : relation.foreign_table + "." + field.foreign_field) +
                         " is not in the database");
      return;
    }
    primary_columns.emplace_back(static_cast<uint16_t>(p), false);
    foreign_columns.emplace_back(static_cast<uint16_t>(f), false);
  }
  const std::string name = ClaimName(relation.name, object_names_);
  int32_t flags = relation.flags;
  if ((flags & kRelationNotEnforced) == 0) {
    // Access enforces a relation through an index on each side: a unique
    // one over the referenced fields, one over the referencing fields.
    const auto find_real = [](const TableDefinition& d, const std::vector<std::pair<uint16_t, bool>>& columns,
                              bool unique) -> int {
      for (size_t i = 0; i < d.real_indexes.size(); ++i) {
        if (d.real_indexes[i].columns == columns && (!unique || (d.real_indexes[i].flags & kIndexUnique) != 0)) {
          return static_cast<int>(i);
        }
      }
      return -1;
    };
    const int referenced = find_real(primary->definition, primary_columns, true);
    const int referencing = find_real(foreign->definition, foreign_columns, false);
    // Damage can take a row that others refer to: Access would find the
    // relation broken by the rows left. Keys with a null refer to nothing.
    uint64_t orphans = 0;
    if (referenced >= 0 && referencing >= 0 && static_cast<size_t>(referenced) < primary->key_hashes.size() &&
        static_cast<size_t>(referencing) < foreign->key_hashes.size()) {
      const std::vector<uint64_t>& held = primary->key_hashes[static_cast<size_t>(referenced)];
      for (const uint64_t key : foreign->key_hashes[static_cast<size_t>(referencing)]) {
        if (!std::binary_search(held.begin(), held.end(), key)) ++orphans;
      }
    }
    if (referenced < 0 || referencing < 0) {
      losses_->PieceLost("Relation " + name + " is saved without enforced integrity: " +
                         (referenced < 0 ? relation.table + " has no unique index over its fields"
                                         : relation.foreign_table + " has no index over its fields"));
      flags |= kRelationNotEnforced;
    } else if (orphans > 0) {
      losses_->PieceLost("Relation " + name + " is saved without enforced integrity: " + std::to_string(orphans) +
                         (orphans == 1 ? " row of " : " rows of ") + relation.foreign_table +
                         (orphans == 1 ? " refers" : " refer") + " to no row of " + relation.table);
      flags |= kRelationNotEnforced;
    } else {
      TableDefinition& p = primary->definition;
      TableDefinition& f = foreign->definition;
      // The referencing side may already hold the source's index of this
      // relation, waiting: it takes its place.
      LogicalIndexDefinition* waiting = nullptr;
      for (LogicalIndexDefinition& logical : f.logical_indexes) {
        if (logical.kind == 0xFF && logical.real == static_cast<uint32_t>(referencing)) waiting = &logical;
      }
      LogicalIndexDefinition foreign_index;
      foreign_index.number = static_cast<uint32_t>(f.logical_indexes.size());
      if (waiting != nullptr) foreign_index.number = waiting->number;
      LogicalIndexDefinition primary_index;
      primary_index.number = static_cast<uint32_t>(p.logical_indexes.size());
      if (&p == &f) ++primary_index.number;  // a relation of a table with itself
      const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
      primary_index.name = ".r";
      for (uint32_t n = primary_index.number;; n /= 26) {
        primary_index.name += letters[n % 26];
        if (n < 26) break;
      }
      primary_index.real = static_cast<uint32_t>(referenced);
      primary_index.kind = 2;
      primary_index.side = RelationSide::kReferenced;
      primary_index.other_index = foreign_index.number;
      primary_index.other_table = foreign->page;
      foreign_index.name = name;
      foreign_index.real = static_cast<uint32_t>(referencing);
      foreign_index.kind = 2;
      foreign_index.side = RelationSide::kReferencing;
      foreign_index.other_index = primary_index.number;
      foreign_index.other_table = primary->page;
      primary_index.cascade_updates = foreign_index.cascade_updates = (flags & kRelationCascadeUpdates) != 0;
      primary_index.cascade_deletes = foreign_index.cascade_deletes = (flags & kRelationCascadeDeletes) != 0;
      if (waiting != nullptr) {
        *waiting = foreign_index;
      } else {
        f.logical_indexes.push_back(foreign_index);
      }
      p.logical_indexes.push_back(primary_index);
    }
  }
  const uint32_t count = static_cast<uint32_t>(relation.fields.size());
  for (uint32_t i = 0; i < count; ++i) {
    relation_rows_.push_back({name, foreign->name, foreign->definition.columns[foreign_columns[i].first].name, primary->name,
                              primary->definition.columns[primary_columns[i].first].name});
    relation_flags_.push_back(static_cast<uint32_t>(flags));
    relation_shape_.emplace_back(count, i);
  }
  objects_.push_back(CatalogObject{name, NextLooseId(), kRelationshipsContainerId, kCatalogRelationship, 0, {}});
}

void JetOutput::AddQuery(const std::string& name, const std::string& sql) {
  (void)name;
  (void)sql;
}

void JetOutput::AddQueryDefinition(const std::string& name, const std::string& sql, const std::vector<QueryRow>& rows) {
  if (rows.empty()) {
    losses_->PieceLost("Query " + name + " was not recovered: its rows in the query table were not found");
    return;
  }
  (void)sql;
  std::set<std::string> all = table_names_;
  all.insert(object_names_.begin(), object_names_.end());
  const std::string saved = ClaimName(name, all);
  object_names_.insert(AsciiLower(saved));
  if (saved != name) {
    Note("name:" + name, "query " + name + " is saved as " + saved + " (a name Access takes)");
    saved_as_[name] = saved;
  }
  const uint32_t id = NextLooseId();
  objects_.push_back(CatalogObject{saved, id, kTablesContainerId, kCatalogQuery, QueryFlags(rows), {}});
  query_rows_.emplace_back(id, WithDistinctOrders(rows));
}

void JetOutput::AddObject(const OutputObject& object) {
  // The module of a form or report lives in the storage with its form; the
  // catalog names only the form.
  if (!object.owner.empty()) return;
  OutputObject kept;
  kept.kind = object.kind;
  kept.name = object.name;
  kept.recovered = object.recovered;
  kept.catalog = object.catalog;
  access_objects_.push_back(std::move(kept));
}

void JetOutput::AddObjectStorage(const ObjectStorageCopy& storage) {
  if (access_objects_.empty()) return;
  std::string why = storage.not_whole;
  const auto column = [&](const char* name) -> std::optional<size_t> {
    for (size_t i = 0; i < storage.rows.columns.size(); ++i) {
      if (AsciiLower(storage.rows.columns[i]) == AsciiLower(name)) return i;
    }
    return std::nullopt;
  };
  // An Access 2000-format file saved by Access 2007 or later keeps them in
  // MSysAccessStorage too; an Access 2007+ file's objects may use what the
  // Access 2000 format has no place for.
  const bool in_storage = storage.rows.table == kAccessStorageTable;
  const char* const table_name = in_storage ? kAccessStorageTable : kAccessObjectsTable;
  // For each column of the table written, in its rows' order, the source's
  // column of that name.
  std::vector<std::optional<size_t>> from;
  for (const JetColumn& c : (in_storage ? AccessStorageTable(0) : AccessObjectsTable(0)).columns) from.push_back(column(c.name.c_str()));
  const size_t id_column = in_storage ? size_t{access_storage::kId} : size_t{access_objects::kId};
  if (why.empty() && in_storage && storage.access_2007_file) {
    why = "their storage is that of an Access 2007+ file (MSysAccessStorage), which this save does not carry into the Access 2000 format";
  } else if (why.empty() && !in_storage && storage.rows.table != kAccessObjectsTable) {
    why = "their storage is of a kind this save does not know";
  } else if (why.empty() && std::any_of(from.begin(), from.end(), [](const std::optional<size_t>& f) { return !f; })) {
    why = in_storage ? "the table that holds them lacks one of its columns" : "the table that holds them lacks its Data or ID column";
  } else if (why.empty() && table_names_.count(AsciiLower(table_name)) != 0) {
    why = std::string("a recovered table takes the name of the table that holds them, ") + table_name;
  }
  if (why.empty()) {
    // The kinds each column holds: a value of another kind is damage the
    // reader let through, and a row without its Id no row Access can key.
    const auto fits = [&](size_t to, const Value& v) {
      if (to == id_column) return v.kind == ValueKind::kInteger;
      if (!in_storage) return v.kind == ValueKind::kBytes && v.bytes.size() <= kAccessObjectsChunk;
      switch (to) {
        case access_storage::kDateCreate:
        case access_storage::kDateUpdate: return v.IsNull() || v.kind == ValueKind::kDateTime;
        case access_storage::kLv: return v.IsNull() || v.kind == ValueKind::kBytes;
        case access_storage::kName: return v.kind == ValueKind::kText && Utf8ToUtf16(v.bytes).size() <= 128;
        default: return v.kind == ValueKind::kInteger;
      }
    };
    std::set<int64_t> ids;
    std::set<std::pair<int64_t, std::string>> children;
    for (const Row& row : storage.rows.rows) {
      bool whole = true;
      for (size_t to = 0; to < from.size(); ++to) {
        whole = whole && *from[to] < row.values.size() && fits(to, row.values[*from[to]]);
      }
      whole = whole && ids.insert(row.values[*from[id_column]].integer).second;
      if (whole && in_storage) {
        // Names under one parent are unique as Access compares them: by
        // their keys in its sort order.
        const Value& name = row.values[*from[access_storage::kName]];
        std::string key;
        if (!keys_) {
          key = AsciiLower(name.bytes);
        } else if (keys_(name, kColumnText, false, key) != KeyOutcome::kEncoded) {
          why = "the storage name " + name.bytes + " holds characters whose key in Access's sort order is not established";
          break;
        }
        whole = children.emplace(row.values[*from[access_storage::kParentId]].integer, key).second;
      }
      if (!whole) {
        why = "a row of the table that holds them is not whole";
        break;
      }
    }
  }
  if (why.empty()) {
    std::set<std::pair<std::string, std::string>> names;
    for (const OutputObject& object : access_objects_) {
      if (name_known_ && !name_known_(object.name)) {
        why = "the name " + object.name + " holds characters whose key in Access's sort order is not established";
        break;
      }
      if (!names.emplace(ObjectContainer(object.kind), AsciiLower(object.name)).second) {
        why = "two of them are named " + object.name;
        break;
      }
    }
  }
  if (!why.empty()) {
    // Those not recovered at all are named in the account already.
    std::map<std::string, int> counts;
    for (const OutputObject& object : access_objects_) {
      if (object.recovered) ++counts[object.kind];
    }
    access_objects_.clear();
    if (counts.empty()) return;
    std::string listed;
    for (const char* kind : {"form", "report", "macro", "module"}) {
      const auto found = counts.find(kind);
      if (found == counts.end()) continue;
      listed += (listed.empty() ? "" : ", ") + std::to_string(found->second) + " " + kind + (found->second == 1 ? "" : "s");
    }
    losses_->PieceLost("Forms, reports, macros and modules were not saved in the Access database (" + listed + "): " + why +
                       "; mendora-cli objects writes them out as files");
    return;
  }
  storage_rows_.clear();
  for (const Row& row : storage.rows.rows) {
    std::vector<Value> values(from.size());
    for (size_t to = 0; to < from.size(); ++to) values[to] = row.values[*from[to]];
    storage_rows_.push_back(std::move(values));
  }
  in_access_storage_ = in_storage;
  database_properties_ = storage.database_properties;
  carry_objects_ = true;
}

namespace {

// The catalog type of an object kind (see OutputObject::kind).
int32_t ObjectCatalogType(const std::string& kind) {
  if (kind == "form") return kCatalogForm;
  if (kind == "report") return kCatalogReport;
  if (kind == "macro") return kCatalogMacro;
  return kCatalogModule;
}

// The source's database properties as stored, when they read whole:
// carried with its objects (the start-up form, the VBA project's version,
// the Access version the objects are stored for).
std::optional<Bytes> DatabaseProperties(const std::string& stored) {
  if (stored.empty()) return std::nullopt;
  std::string problem;
  const std::vector<PropertyObject> objects = ReadPropertyBlocks(
      ByteView(reinterpret_cast<const uint8_t*>(stored.data()), stored.size()), true, *CodePage::Windows1252(), &problem);
  if (!problem.empty() || objects.empty() || FindProperty(objects.front(), "AccessVersion") == nullptr) return std::nullopt;
  return Bytes(stored);
}

// A system table being filled: its rows, long values and index entries.
struct SystemTableWriter {
  SystemTableWriter(PageFile& file, const SystemTable& table, const KeyAppender& keys)
      : table(table), keys(keys), encoder(table.columns), rows(file, table.page), long_values(file) {
    for (size_t i = 0; i < table.indexes.size(); ++i) {
      builders.push_back(std::make_unique<IndexPagesBuilder>(table.page, 4u << 20));
    }
  }

  // False when a key of the row is not known.
  bool Add(const std::vector<Value>& values) {
    const LongValueSink sink = [&](size_t column, const Bytes& content, size_t room) {
      return long_values.Write(column, content, room);
    };
    encoder.Encode(values, sink, encoded);
    const RowAddress at = rows.Add(encoded.bytes);
    ++count;
    for (const JetColumn& c : table.columns) {
      const Value& v = values[c.source];
      if ((c.flags & kColumnFlagAutoNumber) != 0 && v.kind == ValueKind::kInteger) {
        last_autonumber = std::max(last_autonumber, v.integer);
      }
    }
    bool known = true;
    for (size_t i = 0; i < table.indexes.size(); ++i) {
      key.clear();
      bool ok = static_cast<bool>(keys);
      for (uint16_t column : table.indexes[i].columns) {
        ok = ok && keys(values[column], table.columns[column].type, false, key) == KeyOutcome::kEncoded;
      }
      if (ok) {
        builders[i]->Add(key, at);
      } else {
        known = false;
        unknown = true;
      }
    }
    return known;
  }

  const SystemTable& table;
  const KeyAppender& keys;
  RowEncoder encoder;
  RowPageWriter rows;
  LongValueWriter long_values;
  std::vector<std::unique_ptr<IndexPagesBuilder>> builders;
  EncodedRow encoded;
  std::string key;
  uint32_t count = 0;
  int64_t last_autonumber = 0;  // the highest AutoNumber written
  bool unknown = false;
};

void CompleteSystemTable(PageFile& file, RowPageWriter& maps, SystemTableWriter& w) {
  w.rows.Flush();
  w.long_values.Flush();
  TableDefinition d;
  d.system = w.table.system;
  d.rows = w.count;
  d.last_autonumber = static_cast<uint32_t>(std::clamp<int64_t>(w.last_autonumber, 0, INT32_MAX));
  // Access lists a system table's columns by name.
  d.columns = w.table.columns;
  std::stable_sort(d.columns.begin(), d.columns.end(), [](const JetColumn& a, const JetColumn& b) { return AsciiLower(a.name) < AsciiLower(b.name); });
  const RowAddress used = maps.Add(UsageMapRow(file, w.rows.pages()));
  PageRuns room;
  if (w.rows.last_page() != 0 && w.rows.last_free() >= kUsefulRoom) room.Add(w.rows.last_page());
  const RowAddress free = maps.Add(UsageMapRow(file, room));
  d.usage_map = {used.row, used.page};
  d.free_map = {free.row, free.page};
  for (const JetColumn& c : d.columns) {
    if (!c.IsLongValue()) continue;
    const PageRuns* pages = w.long_values.PagesOf(c.number);
    const RowAddress lv = maps.Add(UsageMapRow(file, pages ? *pages : PageRuns()));
    PageRuns lv_room;
    if (const uint32_t page = w.long_values.PageWithRoom(c.number)) lv_room.Add(page);
    const RowAddress lv_free = maps.Add(UsageMapRow(file, lv_room));
    d.long_value_maps.push_back(LongValueMaps{c.number, {lv.row, lv.page}, {lv_free.row, lv_free.page}});
  }
  for (size_t i = 0; i < w.table.indexes.size(); ++i) {
    const SystemIndex& index = w.table.indexes[i];
    const BuiltIndex built = w.builders[i]->Build(file);
    RealIndexDefinition r;
    for (uint16_t column : index.columns) r.columns.emplace_back(column, false);
    r.flags = index.flags;
    const RowAddress map = maps.Add(UsageMapRow(file, built.pages));
    r.usage_map = {map.row, map.page};
    r.root = built.root;
    r.rows = static_cast<uint32_t>(built.entries);
    r.distinct_keys = static_cast<uint32_t>(built.distinct_keys);
    d.real_indexes.push_back(std::move(r));
    LogicalIndexDefinition logical;
    logical.name = index.name;
    logical.number = static_cast<uint32_t>(i);
    logical.real = static_cast<uint32_t>(i);
    logical.kind = index.primary ? 1 : 0;
    d.logical_indexes.push_back(std::move(logical));
  }
  std::stable_sort(d.logical_indexes.begin(), d.logical_indexes.end(),
                   [](const LogicalIndexDefinition& a, const LogicalIndexDefinition& b) { return AsciiLower(a.name) < AsciiLower(b.name); });
  WriteDefinition(file, w.table.page, SerializeDefinition(d));
}

}  // namespace

void JetOutput::WriteCatalogAndSystemTables() {
  const double now = Now();
  SystemTableWriter catalog_rows(*file_, CatalogTable(), keys_);
  SystemTableWriter ace_rows(*file_, AcesTable(), keys_);
  SystemTableWriter query_rows(*file_, QueriesTable(), keys_);
  SystemTableWriter relation_rows(*file_, RelationshipsTable(), keys_);
  std::vector<std::string> unknown;

  const auto add_object = [&](const std::string& name, uint32_t id, uint32_t parent, int32_t type, uint32_t flags,
                              Account owner, const Bytes& properties) {
    std::vector<Value> v(catalog::kColumns);
    v[catalog::kId] = IntegerValue(static_cast<int32_t>(id));
    v[catalog::kParentId] = IntegerValue(static_cast<int32_t>(parent));
    v[catalog::kName] = TextValue(name);
    v[catalog::kType] = IntegerValue(static_cast<int16_t>(type));
    v[catalog::kDateCreate] = DateValue(now);
    v[catalog::kDateUpdate] = DateValue(now);
    v[catalog::kOwner] = BytesValue(Sid(owner));
    v[catalog::kFlags] = IntegerValue(static_cast<int32_t>(flags));
    if (!properties.empty()) v[catalog::kLvProp] = BytesValue(properties);
    if (!catalog_rows.Add(v)) unknown.push_back(name);
  };
  const auto add_aces = [&](const std::vector<AceRow>& rows) {
    for (const AceRow& row : rows) {
      std::vector<Value> v(aces::kColumns);
      v[aces::kObjectId] = IntegerValue(static_cast<int32_t>(row.object));
      v[aces::kSid] = BytesValue(Sid(row.account));
      v[aces::kAcm] = IntegerValue(static_cast<int32_t>(row.rights));
      v[aces::kInheritable] = IntegerValue(row.inheritable ? 1 : 0);
      ace_rows.Add(v);
    }
  };

  // Access's own objects, as a new file has them.
  add_object("Tables", kTablesContainerId, kRootContainerId, kCatalogContainer, kSystemObject, Account::kEngine, {});
  add_object("Databases", kDatabasesContainerId, kRootContainerId, kCatalogContainer, kSystemObject, Account::kEngine, {});
  add_object("Relationships", kRelationshipsContainerId, kRootContainerId, kCatalogContainer, kSystemObject, Account::kEngine, {});
  std::vector<PropertyObjectToWrite> database(1);
  database[0].properties.push_back(PropertyToWrite{"AccessVersion", kColumnText, false, TextValue("08.50")});
  std::optional<Bytes> source_properties;
  if (carry_objects_) source_properties = DatabaseProperties(database_properties_);
  add_object("MSysDb", kDatabaseObjectId, kDatabasesContainerId, kCatalogDatabase, kSystemObject, Account::kAdmin,
             source_properties ? *source_properties : EncodePropertyBlocks(database));
  for (const SystemTable* table : {&CatalogTable(), &AcesTable(), &QueriesTable(), &RelationshipsTable()}) {
    add_object(table->name, table->page, kTablesContainerId, kCatalogTable, kSystemObject, Account::kEngine, {});
  }
  add_aces(SystemAces());
  std::map<std::string, uint32_t> containers;
  for (const std::string& container : AccessContainers()) {
    const uint32_t id = NextLooseId();
    containers[container] = id;
    add_object(container, id, kRootContainerId, kCatalogContainer, 0, Account::kAdmin, {});
    add_aces(AccessContainerAces(id));
  }
  // Forms, reports, macros and modules: their catalog rows as the source
  // had them, under the containers of this file, and the table that holds
  // them.
  std::optional<SystemTable> objects_table;
  std::unique_ptr<SystemTableWriter> storage_rows;
  if (carry_objects_) {
    const uint32_t page = file_->Allocate();
    objects_table = in_access_storage_ ? AccessStorageTable(page) : AccessObjectsTable(page);
    storage_rows = std::make_unique<SystemTableWriter>(*file_, *objects_table, keys_);
    for (const std::vector<Value>& row : storage_rows_) {
      if (!storage_rows->Add(row)) unknown.push_back(objects_table->name);
    }
    add_object(objects_table->name, objects_table->page, kTablesContainerId, kCatalogTable,
               in_access_storage_ ? kAccessStorageFlags : kAccessObjectsFlags, Account::kAdmin, {});
    add_aces(AccessObjectAces(objects_table->page));
    for (const OutputObject& object : access_objects_) {
      const uint32_t id = NextLooseId();
      std::vector<Value> v(catalog::kColumns);
      v[catalog::kId] = IntegerValue(static_cast<int32_t>(id));
      v[catalog::kParentId] = IntegerValue(static_cast<int32_t>(containers.at(ObjectContainer(object.kind))));
      v[catalog::kName] = TextValue(object.name);
      v[catalog::kType] = IntegerValue(static_cast<int16_t>(ObjectCatalogType(object.kind)));
      v[catalog::kDateCreate] = DateValue(object.catalog && object.catalog->created != 0 ? object.catalog->created : now);
      v[catalog::kDateUpdate] = DateValue(object.catalog && object.catalog->updated != 0 ? object.catalog->updated : now);
      v[catalog::kOwner] = BytesValue(Sid(Account::kAdmin));
      v[catalog::kFlags] = IntegerValue(object.catalog ? object.catalog->flags : 0);
      if (object.catalog) {
        for (const auto& [column, bytes] : {std::pair{catalog::kLv, &object.catalog->lv}, std::pair{catalog::kLvProp, &object.catalog->lv_prop},
                                            std::pair{catalog::kLvModule, &object.catalog->lv_module},
                                            std::pair{catalog::kLvExtra, &object.catalog->lv_extra}}) {
          if (!bytes->empty()) v[column] = BytesValue(*bytes);
        }
      }
      if (!catalog_rows.Add(v)) unknown.push_back(object.name);
      add_aces(AccessObjectAces(id));
    }
  }
  // The user's tables, queries and relations.
  for (const auto& table : tables_) {
    add_object(table->name, table->page, kTablesContainerId, kCatalogTable, 0, Account::kAdmin, table->properties);
    add_aces(ObjectAces(table->page));
  }
  for (const CatalogObject& object : objects_) {
    add_object(object.name, object.id, object.parent, object.type, object.flags, Account::kAdmin, object.properties);
    if (object.type == kCatalogQuery) add_aces(ObjectAces(object.id));
  }
  for (auto& [id, rows] : query_rows_) {
    for (QueryRow& row : rows) {
      // A table or query saved under another name is named so, under its
      // source name as an alias, which the query's fields, joins and
      // conditions use; a target table by its new name.
      const auto renamed = saved_as_.find(row.name1);
      if (renamed != saved_as_.end() && row.attribute == kQueryInput && row.expression.empty()) {
        if (row.name2.empty()) row.name2 = row.name1;
        row.name1 = renamed->second;
      } else if (renamed != saved_as_.end() && row.attribute == kQueryKind) {
        row.name1 = renamed->second;
      }
      std::vector<Value> v(queries::kColumns);
      v[queries::kObjectId] = IntegerValue(static_cast<int32_t>(id));
      v[queries::kAttribute] = IntegerValue(row.attribute);
      Bytes order;
      PutBigU32(order, row.order);
      v[queries::kOrder] = BytesValue(order);
      if (!row.name1.empty()) v[queries::kName1] = TextValue(row.name1);
      if (!row.name2.empty()) v[queries::kName2] = TextValue(row.name2);
      if (!row.expression.empty()) v[queries::kExpression] = TextValue(row.expression);
      if (row.flag) v[queries::kFlag] = IntegerValue(*row.flag);
      query_rows.Add(v);
    }
  }
  for (size_t i = 0; i < relation_rows_.size(); ++i) {
    const std::vector<std::string>& r = relation_rows_[i];
    std::vector<Value> v(relationships::kColumns);
    v[relationships::kRelationship] = TextValue(r[0]);
    v[relationships::kFlags] = IntegerValue(static_cast<int32_t>(relation_flags_[i]));
    v[relationships::kColumnCount] = IntegerValue(relation_shape_[i].first);
    v[relationships::kColumnIndex] = IntegerValue(relation_shape_[i].second);
    v[relationships::kObject] = TextValue(r[1]);
    v[relationships::kColumn] = TextValue(r[2]);
    v[relationships::kReferencedObject] = TextValue(r[3]);
    v[relationships::kReferencedColumn] = TextValue(r[4]);
    relation_rows.Add(v);
  }
  if (catalog_rows.unknown || ace_rows.unknown || query_rows.unknown || relation_rows.unknown ||
      (storage_rows && storage_rows->unknown)) {
    // Without its system indexes no Access opens the file: that is no
    // save to call done.
    std::string names;
    for (const std::string& name : unknown) names += (names.empty() ? "" : ", ") + name;
    throw TargetBroken("the system tables' index keys could not be made" + (names.empty() ? std::string() : " (names " + names + ")"));
  }
  for (SystemTableWriter* w : {&catalog_rows, &ace_rows, &query_rows, &relation_rows}) CompleteSystemTable(*file_, *maps_, *w);
  if (storage_rows) CompleteSystemTable(*file_, *maps_, *storage_rows);
}

void JetOutput::Finish() {
  if (finished_ || file_ == nullptr) return;
  try {
    if (current_) EndTable(0);
    for (auto& table : tables_) table->key_hashes = {};
    // A relation's index whose relation did not come is left out; the rest
    // are numbered 0, 1, ... again, and the relations' indexes name their
    // other sides by the new numbers.
    std::map<uint32_t, std::map<uint32_t, uint32_t>> renumbered;  // by definition page
    for (auto& table : tables_) {
      TableDefinition& d = table->definition;
      std::erase_if(d.logical_indexes, [](const LogicalIndexDefinition& l) { return l.kind == 0xFF; });
      std::sort(d.logical_indexes.begin(), d.logical_indexes.end(),
                [](const LogicalIndexDefinition& a, const LogicalIndexDefinition& b) { return a.number < b.number; });
      for (uint32_t i = 0; i < d.logical_indexes.size(); ++i) {
        renumbered[table->page][d.logical_indexes[i].number] = i;
        d.logical_indexes[i].number = i;
      }
    }
    for (auto& table : tables_) {
      for (LogicalIndexDefinition& l : table->definition.logical_indexes) {
        if (l.side == RelationSide::kNone) continue;
        l.other_index = renumbered[l.other_table][l.other_index];
        if (l.side == RelationSide::kReferenced) {
          l.name = ".r";
          for (uint32_t n = l.number;; n /= 26) {
            l.name += static_cast<char>('A' + n % 26);
            if (n < 26) break;
          }
        }
      }
    }
    for (auto& table : tables_) {
      TableDefinition& d = table->definition;
      std::stable_sort(d.logical_indexes.begin(), d.logical_indexes.end(),
                       [](const LogicalIndexDefinition& a, const LogicalIndexDefinition& b) { return AsciiLower(a.name) < AsciiLower(b.name); });
      WriteDefinition(*file_, table->page, SerializeDefinition(d));
    }
    StopPoint("commit");
    WriteCatalogAndSystemTables();
    maps_->Flush();
    // The map of free pages comes last: it covers every page made before.
    std::array<uint8_t, kPageSize> global{};
    const std::vector<Bytes> rows = GlobalMapRows(file_->page_count());
    global[0] = kDataPageType;
    global[1] = 0x01;
    SetU32(global.data() + kPageOwnerPos, 1);
    uint32_t top = kPageSize;
    for (size_t i = 0; i < rows.size(); ++i) {
      top -= static_cast<uint32_t>(rows[i].size());
      std::memcpy(global.data() + top, rows[i].data(), rows[i].size());
      SetU16(global.data() + kJet4RowOffsetsPos + 2 * i, static_cast<uint16_t>(top));
    }
    SetU16(global.data() + 12, static_cast<uint16_t>(rows.size()));
    SetU16(global.data() + kPageFreeSpacePos, static_cast<uint16_t>(top - kJet4RowOffsetsPos - 2 * rows.size()));
    file_->Write(kGlobalMapPage, global.data());
    WriteHeaderPage(*file_);
    file_->Flush();
    if (publish_check_) publish_check_();
    ::close(fd_);
    fd_ = -1;
    PublishFile(temp_path_, path_, replace_existing_, publish_check_);
  } catch (const EngineError& error) {
    Abandon();
    throw TargetFailed(error.what());
  } catch (...) {
    Abandon();
    throw;
  }
  finished_ = true;
  temp_path_.clear();
  ReleaseLock(lock_);
  file_.reset();
}

void JetOutput::Abandon() noexcept {
  current_.reset();
  children_.clear();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_path_.empty()) RemoveWithJournals(temp_path_);
  temp_path_.clear();
  ReleaseLock(lock_);
  file_.reset();
}

TargetFactory JetTargetFactory(KeyAppender keys, NameKeyCheck names) {
  return [keys = std::move(keys), names = std::move(names)](const std::string& path,
                                                            bool replace_existing) -> std::unique_ptr<RecoveryOutput> {
    return std::make_unique<JetOutput>(path, replace_existing, keys, names);
  };
}

}  // namespace mendora::jet
