// Writing a recovery pass into a new SQLite database.
#include "output/sqlite/sqlite_output.h"

#include "output/sqlite/sqlite_target.h"
#include "reader/column_types.h"
#include "recovery/loss_account.h"

namespace mendora {

namespace {

inline constexpr const char* kTargetLocale = ";LANGID=0x0409;CP=1252;COUNTRY=0";

}  // namespace

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
  statement.text = first ? "CREATE TABLE [" + table + "]([" + column.name + "] " + statement.keyword + ");"
                         : "ALTER TABLE [" + table + "] ADD [" + column.name + "] " + statement.keyword + ";";
  return statement;
}

EngineOutput::EngineOutput(std::unique_ptr<EngineDatabase> database, const std::string& path, bool replace_existing)
    : database_(std::move(database)), path_(path) {
  database_->Create(path, kTargetLocale, replace_existing ? kReplaceExisting : 0);
  recordset_ = database_->NewRecordset();
}

EngineOutput::~EngineOutput() { Abandon(); }

void EngineOutput::BeginTable(const OutputTable& table) {
  table_.clear();
  described_ = table;
  record_ = 0;
  // A column the target refuses loses only itself: the table is created by
  // the first statement it accepts, and the refused column gets no values.
  std::vector<size_t> sources;
  std::string refusal;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const SchemaStatement statement = ColumnStatement(table.name, table.columns[i], sources.empty());
    try {
      database_->Execute(statement, kFailOnError);
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
  try {
    recordset_->Open(table.name, sources);
    table_ = table.name;
  } catch (const EngineError& error) {
    losses_->TableLost(table.name, error.what());
  }
}

void EngineOutput::AddRow(const Row& row) {
  ++record_;
  if (table_.empty()) return;
  try {
    recordset_->AddRow(row);
  } catch (const EngineError& error) {
    losses_->RowRefused(table_, "Table " + table_ + ": record " + std::to_string(record_) +
                                    " was not stored: " + error.what());
  }
}

void EngineOutput::EndTable(int64_t) {
  if (recordset_->IsOpen()) recordset_->Close();
  if (!table_.empty()) {
    for (const std::string& line : database_->CompleteTable(described_)) losses_->PieceLost(line);
  }
  table_.clear();
}

void EngineOutput::AddRelation(const OutputRelation& relation) {
  try {
    if (!relations_) {
      relations_ = database_->NewRelationDatabase();
      relations_->Open(path_, false, false, "");
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

void EngineOutput::Finish() {
  if (relations_) {
    relations_->Close();
    relations_.reset();
  }
  recordset_.reset();
  database_->Close();
}

void EngineOutput::Abandon() noexcept {
  relations_.reset();
  recordset_.reset();
  if (database_ && database_->IsOpen()) database_->Abandon();
}

TargetFactory EngineTargetFactory(EngineFactory make) {
  return [make = std::move(make)](const std::string& path, bool replace_existing) -> std::unique_ptr<RecoveryOutput> {
    return std::make_unique<EngineOutput>(make(), path, replace_existing);
  };
}

TargetFactory SqliteTargetFactory() {
  return EngineTargetFactory([] { return std::make_unique<SqliteDatabase>(); });
}

}  // namespace mendora
