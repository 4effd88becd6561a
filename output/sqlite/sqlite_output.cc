// Writing a recovery pass into a new SQLite database.
#include "output/sqlite/sqlite_output.h"

#include "output/common/target_error.h"
#include "output/sqlite/sqlite_losses.h"

#include "output/sqlite/sqlite_target.h"
#include "output/sqlite/sqlite_schema.h"
#include "output/sqlite/sqlite_types.h"
#include "reader/ace_values.h"
#include "reader/column_types.h"
#include "reader/ole_wrapper.h"
#include "recovery/loss_account.h"

namespace mendora {

SchemaStatement ColumnStatement(const std::string& table, const OutputColumn& column, bool first) {
  SchemaStatement statement;
  statement.kind = first ? SchemaStatement::Kind::kCreateTable : SchemaStatement::Kind::kAddColumn;
  statement.table = table;
  statement.column = column.name;
  statement.keyword = TypeKeyword(column.type, column.column_number & 0xFF, column.precision, column.scale);
  // VARCHAR(n) keeps the length and has TEXT affinity, as TEXT has.
  statement.declared_type = column.type == kColumnText && column.text_length > 0
                                ? "VARCHAR(" + std::to_string(column.text_length) + ")"
                                : SqliteDeclaredType(column.type, column.precision, column.scale);
  // No type keeps every digit of a Currency or Numeric value; the schema
  // names the Access type beside it.
  if (statement.declared_type.empty()) statement.declared_type = "/* " + statement.keyword + " */";
  // Access computed it from other columns; the schema says so beside it.
  if (column.calculated) statement.declared_type += " /* calculated */";
  return statement;
}

EngineOutput::EngineOutput(std::unique_ptr<EngineDatabase> database, const std::string& path, bool replace_existing,
                           OleStorage ole)
    : database_(std::move(database)), path_(path), ole_(ole) {
  database_->Create(path, replace_existing);
  recordset_ = database_->NewRecordset();
}

EngineOutput::~EngineOutput() { Abandon(); }

void EngineOutput::BeginTable(const OutputTable& table) {
  table_.clear();
  described_ = table;
  record_ = 0;
  children_.clear();
  stored_ = 0;
  ole_columns_.clear();
  if (table.columns.empty()) {
    // SQLite makes no table without a column either.
    losses_->TableLost(table.name, kNoColumnToSave);
    return;
  }
  // A column the target refuses loses only itself: the table is created by
  // the first statement it accepts, and the refused column gets no values.
  std::vector<size_t> sources;
  std::string refusal;
  // One statement for the whole table; column by column only when the
  // engine refuses it, so that a refused column loses only itself. A complex
  // column is a child table, created once the parent exists.
  std::vector<SchemaStatement> whole;
  std::vector<size_t> plain;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].complex_kind != 0) continue;
    whole.push_back(ColumnStatement(table.name, table.columns[i], whole.empty()));
    plain.push_back(i);
  }
  // An index over a complex column has nothing to index here: the column
  // is a child table of its own. A relation's own index: the foreign key is
  // made of the relation.
  std::erase_if(described_.indexes, [&](const OutputIndex& index) {
    if (index.foreign_key) return true;
    for (const OutputIndexColumn& key : index.columns) {
      for (const OutputColumn& column : described_.columns) {
        if (column.complex_kind != 0 && column.name == key.name) return true;
      }
    }
    return false;
  });
  try {
    if (!whole.empty()) {
      database_->CreateTable(whole, described_);
      sources = plain;
    }
  } catch (const EngineError&) {
  }
  for (size_t i = sources.empty() ? 0 : table.columns.size(); i < table.columns.size(); ++i) {
    if (table.columns[i].complex_kind != 0) continue;
    const SchemaStatement statement = ColumnStatement(table.name, table.columns[i], sources.empty());
    try {
      database_->Execute(statement);
      sources.push_back(i);
    } catch (const EngineError& error) {
      refusal = error.what();
      losses_->PieceLost("Table " + table.name + ": column " + table.columns[i].name + " was not created: " + refusal);
    }
  }
  if (!table.columns.empty() && sources.empty()) {
    losses_->TableLost(table.name, "the target refused every column: " + refusal);
    return;
  }
  for (size_t i : sources) {
    if (table.columns[i].type == kColumnOle && ole_ == OleStorage::kUnwrap) ole_columns_.push_back(i);
  }
  try {
    recordset_->Open(table.name, sources);
    table_ = table.name;
  } catch (const EngineError& error) {
    losses_->TableLost(table.name, error.what());
    return;
  }
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].complex_kind != 0) BeginChildTable(table.name, table.columns[i], i);
  }
}

void EngineOutput::BeginChildTable(const std::string& table, const OutputColumn& column, size_t index) {
  ChildTable child;
  child.column = index;
  child.kind = column.complex_kind;
  child.name = table + "." + column.name;
  // SQLite lets no foreign key name a rowid, so "row" holds the parent's
  // rowid undeclared.
  std::string columns = "\"row\" INTEGER NOT NULL";
  switch (static_cast<ComplexKind>(column.complex_kind)) {
    case ComplexKind::kAttachments:
      columns += ", \"file name\" TEXT, \"file type\" TEXT, \"time stamp\" DATETIME, \"data\" BLOB";
      break;
    case ComplexKind::kVersionHistory:
      columns += ", \"value\" TEXT, \"modified\" DATETIME";
      break;
    default:
      columns += ", \"value\" " + SqliteDeclaredType(column.value_type, column.precision, column.scale);
      break;
  }
  try {
    database_->Execute("CREATE TABLE " + QuoteIdentifier(StoredTableName(child.name)) + " (" + columns + ")");
    const size_t width = child.kind == static_cast<int>(ComplexKind::kAttachments) ? 5
                         : child.kind == static_cast<int>(ComplexKind::kVersionHistory) ? 3 : 2;
    std::vector<size_t> sources(width);
    for (size_t k = 0; k < width; ++k) sources[k] = k;
    child.row.values.resize(width);
    child.recordset = database_->NewRecordset();
    child.recordset->Open(child.name, sources);
  } catch (const EngineError& error) {
    losses_->PieceLost("Table " + table + ": the entries of column " + column.name + " were not saved: " + error.what());
    return;
  }
  children_.push_back(std::move(child));
}

void EngineOutput::AddEntries(const Row& row, int64_t parent) {
  for (const ComplexCell& cell : row.complex) {
    for (ChildTable& child : children_) {
      if (child.column != cell.column) continue;
      std::vector<Value>& values = child.row.values;
      for (const ComplexItem& item : cell.items) {
        values[0].SetInteger(parent);
        if (child.kind == static_cast<int>(ComplexKind::kAttachments)) {
          values[1].kind = ValueKind::kText;
          values[1].bytes = item.file_name;
          values[2].kind = ValueKind::kText;
          values[2].bytes = item.file_type;
          values[3] = item.time;
          values[4] = item.value;
        } else {
          values[1] = item.value;
          if (child.kind == static_cast<int>(ComplexKind::kVersionHistory)) values[2] = item.time;
        }
        try {
          child.recordset->AddRow(child.row);
        } catch (const EngineError& error) {
          losses_->ValueRefused(table_, "Table " + child.name + ": an entry of record " + std::to_string(record_) +
                                            " was not stored: " + error.what());
        }
      }
    }
  }
}

void EngineOutput::AddRow(const Row& row) {
  ++record_;
  if (table_.empty()) return;
  try {
    // Files found inside OLE wrappers go in their place, the wrappers beside.
    std::vector<std::pair<size_t, OleContent>> unwrapped;
    for (size_t i : ole_columns_) {
      if (i >= row.values.size() || row.values[i].kind != ValueKind::kBytes) continue;
      const std::string& stored = row.values[i].bytes;
      if (auto content = UnwrapOle(ByteView(reinterpret_cast<const uint8_t*>(stored.data()), stored.size()))) {
        unwrapped.emplace_back(i, std::move(*content));
      }
    }
    if (unwrapped.empty()) {
      recordset_->AddRow(row);
      ++stored_;
    } else {
      unwrapped_ = row;
      for (const auto& [i, content] : unwrapped) {
        unwrapped_.values[i].bytes = row.values[i].bytes.substr(content.offset, content.length);
      }
      recordset_->AddRow(unwrapped_);
      ++stored_;
      for (const auto& [i, content] : unwrapped) {
        OleWrapperRecord record{table_, described_.columns[i].name, stored_, content.class_name, content.file_name,
                                content.media_type, static_cast<int64_t>(content.offset),
                                OleWrapper(row.values[i].bytes, content)};
        database_->KeepOleWrapper(record);
      }
    }
  } catch (const EngineError& error) {
    losses_->RowRefused(table_, "Table " + table_ + ": record " + std::to_string(record_) +
                                    " was not stored: " + error.what());
    return;
  }
  if (!children_.empty()) AddEntries(row, recordset_->LastRowId());
}

void EngineOutput::EndTable(int64_t) {
  if (recordset_->IsOpen()) recordset_->Close();
  children_.clear();
  if (!table_.empty()) {
    for (const std::string& line : database_->CompleteTable(described_)) losses_->PieceLost(line);
  }
  table_.clear();
}

void EngineOutput::AddRelation(const OutputRelation& relation) {
  try {
    if (!relations_) {
      relations_ = database_->NewRelationDatabase();
      relations_->Attach(losses_);
    }
    relations_->CreateRelation(relation.name, relation.table, relation.foreign_table, relation.flags,
                               relation.fields);
  } catch (const EngineError& error) {
    // A relation the target refuses (a table that was not recovered, a
    // field it lacks) loses only itself.
    losses_->PieceLost("Relation " + relation.name + " was not created: " + error.what());
  }
}

void EngineOutput::AddQuery(const std::string& name, const std::string& sql) {
  try {
    std::unique_ptr<EngineQueryDef> query = database_->NewQueryDef();
    query->Create(name, sql);
    query->Append();
  } catch (const EngineError& error) {
    losses_->PieceLost("Query " + name + " was not recovered: " + error.what());
  }
}

void EngineOutput::AddObject(const OutputObject& object) {
  const std::string file_name = object_files_.Take(object).path;
  try {
    database_->KeepObject(object, file_name);
  } catch (const EngineError& error) {
    losses_->PieceLost("The " + object.kind + " " + object.name + " was not saved: " + error.what());
  }
}

void EngineOutput::Finish() {
  if (relations_) {
    try {
      relations_->Close();
    } catch (const EngineError& error) {
      // The relations made stand; those refused lose only themselves.
      losses_->PieceLost(error.what());
    }
    relations_.reset();
  }
  children_.clear();
  try {
    database_->CreateViews();
  } catch (const EngineError& error) {
    // The queries keep their text; only the views are missing.
    losses_->PieceLost(std::string("The saved queries' views were not created: ") + error.what());
  }
  // The account as it stands now, with the rows: later steps lose nothing
  // of the file's content.
  try {
    for (const std::string& statement : LossTableStatements(*losses_)) database_->Execute(statement);
  } catch (const EngineError& error) {
    losses_->PieceLost(std::string("The table mendora_losses was not created: ") + error.what());
  }
  recordset_.reset();
  database_->Close();
}

void EngineOutput::Abandon() noexcept {
  relations_.reset();
  children_.clear();
  recordset_.reset();
  if (database_ && database_->IsOpen()) database_->Abandon();
}

TargetFactory EngineTargetFactory(EngineFactory make, OleStorage ole) {
  return [make = std::move(make), ole](const std::string& path,
                                       bool replace_existing) -> std::unique_ptr<RecoveryOutput> {
    return std::make_unique<EngineOutput>(make(), path, replace_existing, ole);
  };
}

TargetFactory SqliteTargetFactory(OleStorage ole) {
  return EngineTargetFactory([] { return std::make_unique<SqliteDatabase>(); }, ole);
}

}  // namespace mendora
