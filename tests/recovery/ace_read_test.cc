// Access 2007+ files, the samples and built ones: they open with the Jet 4
// layout, and their complex columns and attachments decode as written.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "reader/ace_values.h"
#include "reader/row_cursor.h"
#include "reader/table_def.h"
#include "reader/value_render.h"
#include "recovery/recovery_session.h"
#include "recovery/recovery_steps.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

using testing::AceCorpusDir;
using testing::AceCorpusFiles;

constexpr const char* kSkip = "Access 2007+ samples not found (set MENDORA_CORPUS_ACE)";

using NamedRow = std::map<std::string, std::optional<std::string>>;

// Every live table of the catalog: name -> definition page.
std::map<std::string, int32_t> CatalogTables(JetHandle& handle) {
  std::map<std::string, int32_t> tables;
  for (uint32_t page = 0; ReadPage(handle, page) != 0; ++page) {
    if (handle.page[0] != 0x01 || handle.page[1] != 0x01 || handle.Page().U32(4).value_or(0) != 2) continue;
    const PageSlots slots(handle.Page(), *handle.format);
    for (uint32_t j = 0; j < slots.count(); ++j) {
      CatalogRecord record;
      if (ReadPage(handle, page) != 0 && ReadCatalogRecord(handle, slots, static_cast<int>(j), record) && !record.deleted &&
          record.object_type == 1) {
        tables[record.name] = record.definition_page;
      }
    }
  }
  return tables;
}

// The rows of a table with each column's value text (long values as their
// stored bytes), keyed by column name.
std::vector<NamedRow> ReadRows(TableDef& table) {
  std::vector<NamedRow> rows;
  RowCursor cursor(table);
  Row row;
  while (cursor.Next(row)) {
    NamedRow named;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const Value& value = row.values[i];
      named[table.columns[i].name] = value.IsNull() ? std::nullopt : std::optional<std::string>(RenderValue(value));
    }
    rows.push_back(std::move(named));
  }
  return rows;
}

nlohmann::json Expected(const std::filesystem::path& sample) {
  std::ifstream in(sample.parent_path() / "expected" / (sample.stem().string() + ".json"));
  return nlohmann::json::parse(in);
}

TEST(AceCorpusTest, EverySampleOpensAsItsVersionAndIsWalked) {
  if (!AceCorpusDir()) GTEST_SKIP() << kSkip;
  const std::map<std::string, uint32_t> versions = {{"ace2007", 2}, {"ace2010", 3}, {"ace2016", 5}, {"ace2019", 6}};
  for (const auto& sample : AceCorpusFiles()) {
    SCOPED_TRACE(sample.filename().string());
    JetHandlePtr handle = OpenJetHandle(sample.string());
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(handle->IsAce());
    EXPECT_EQ(handle->file->version, versions.at(sample.filename().string().substr(0, 7)));
    handle.reset();

    RecoverySession session;
    session.options.source_path = sample.string();
    EXPECT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
  }
}

// The complex id sits at offset 11 of the column record: it names the
// column's own row of MSysComplexColumns in every sample.
TEST(AceCorpusTest, ComplexColumnsNameTheirRowOfMSysComplexColumns) {
  if (!AceCorpusDir()) GTEST_SKIP() << kSkip;
  size_t checked = 0;
  for (const auto& sample : AceCorpusFiles()) {
    SCOPED_TRACE(sample.filename().string());
    JetHandlePtr handle = OpenJetHandle(sample.string());
    ASSERT_NE(handle, nullptr);
    const std::map<std::string, int32_t> tables = CatalogTables(*handle);
    const auto complex_columns = tables.find("MSysComplexColumns");
    if (complex_columns == tables.end()) continue;
    TableDefPtr directory = OpenTable(*handle, complex_columns->first, 1, complex_columns->second);
    ASSERT_NE(directory, nullptr);
    std::map<uint32_t, std::pair<std::string, std::string>> by_id;  // id -> (table page, column)
    for (const NamedRow& row : ReadRows(*directory)) {
      by_id[static_cast<uint32_t>(std::stoul(row.at("ComplexID").value()))] = {row.at("ConceptualTableID").value(),
                                                                            row.at("ColumnName").value()};
    }
    for (const auto& [name, page] : tables) {
      TableDefPtr table = OpenTable(*handle, name, 1, page);
      if (!table) continue;
      for (size_t i = 0; i < table->columns.size(); ++i) {
        if (table->columns[i].type != kColumnComplex) continue;
        // Read from offset 11 of the column's record.
        const std::optional<uint32_t> id = table->columns[i].complex_id;
        ASSERT_TRUE(by_id.count(*id)) << name << "." << table->columns[i].name;
        EXPECT_EQ(by_id[*id], std::make_pair(std::to_string(page), table->columns[i].name));
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 22u);
}

// Every attachment of the hidden tables inflates to a file the expected
// JSON names (by name, type and digest), and none is missing.
TEST(AceCorpusTest, AttachmentsInflateToTheExpectedFiles) {
  if (!AceCorpusDir()) GTEST_SKIP() << kSkip;
  for (const char* name : {"ace2007-attachments.accdb", "ace2007-complex-data.accdb"}) {
    SCOPED_TRACE(name);
    const std::filesystem::path sample = *AceCorpusDir() / name;
    const nlohmann::json expected = Expected(sample);
    std::vector<std::string> want;
    for (const auto& [table_name, table] : expected["tables"].items()) {
      for (size_t c = 0; c < table["columns"].size(); ++c) {
        if (table["columns"][c]["type"] != "complex") continue;
        for (const auto& row : table["rows"]) {
          for (const auto& entry : nlohmann::json::parse(row[c].get<std::string>())) {
            if (entry.is_object() && entry.contains("data")) {
              want.push_back(entry["name"].get<std::string>() + " " + entry["type"].get<std::string>() + " " +
                             entry["data"].get<std::string>());
            }
          }
        }
      }
    }

    JetHandlePtr handle = OpenJetHandle(sample.string());
    ASSERT_NE(handle, nullptr);
    std::vector<std::string> got;
    for (const auto& [table_name, page] : CatalogTables(*handle)) {
      // The user's hidden tables; MSysResources has its own ("..._Data").
      if (table_name.rfind("f_", 0) != 0 || table_name.ends_with("_Data")) continue;
      TableDefPtr table = OpenTable(*handle, table_name, 1, page);
      ASSERT_NE(table, nullptr);
      for (const NamedRow& row : ReadRows(*table)) {
        if (!row.count("FileData")) break;
        const std::string& stored = row.at("FileData").value();
        const AttachmentData data =
            DecodeAttachmentData(ByteView(reinterpret_cast<const uint8_t*>(stored.data()), stored.size()));
        EXPECT_EQ(data.error, AceError::kNone) << AceErrorText(data.error);
        EXPECT_EQ(data.extension, row.at("FileType").value());
        got.push_back(row.at("FileName").value() + " " + row.at("FileType").value() + " " +
                      testing::BinarySummary(std::string(data.file.begin(), data.file.end())));
      }
    }
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_FALSE(want.empty());
    EXPECT_EQ(got, want);
  }
}

// The encrypted samples are named as such, not as damage.
TEST(AceCorpusTest, EncryptedSamplesAskForTheirPassword) {
  const char* env = std::getenv("MENDORA_CORPUS_ENCRYPTED");
  std::filesystem::path dir = env != nullptr && *env != '\0' ? std::filesystem::path(env)
                              : AceCorpusDir() ? AceCorpusDir()->parent_path() / "corpus-encrypted"
                                               : std::filesystem::path();
  std::error_code error;
  if (dir.empty() || !std::filesystem::is_directory(dir, error)) GTEST_SKIP() << "set MENDORA_CORPUS_ENCRYPTED";
  size_t seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".accdb") continue;
    std::string message;
    EXPECT_EQ(OpenJetHandle(entry.path().string(), &message), nullptr) << entry.path();
    EXPECT_EQ(message, "this database is encrypted: give its password") << entry.path();
    ++seen;
  }
  EXPECT_EQ(seen, 2u);
}

TEST(AceBuiltTest, AttachmentsOfABuiltFileComeBackWhole) {
  using testing::JetFileBuilder;
  JetFileBuilder builder(testing::AceVersion::kAccess2016);
  testing::Table parent;
  parent.name = "Notes";
  testing::Column files{"Files", testing::kComplex};
  files.complex_id = 3;
  parent.columns = {{"id", testing::kBigInt}, files};
  parent.rows = {{int64_t{1} << 40, int64_t{1}}, {int64_t{-1}, int64_t{2}}};
  builder.AddTable(parent);
  testing::ComplexColumn attachments;
  attachments.table = "Notes";
  attachments.column = "Files";
  attachments.complex_id = 3;
  attachments.type = testing::ComplexType::kAttachments;
  const std::string big(100000, 'x');  // past one long-value page
  attachments.attachments = {{2, {"a.txt", "txt", testing::Bytes{'a', 'b', 'c'}, true}},
                             {2, {"b.bin", "bin", testing::Bytes(big.begin(), big.end()), false}},
                             {1, {"c.txt", "txt", testing::Bytes{}, true}}};
  builder.AddComplexColumn(attachments);
  const testing::TempDatabase file(builder.Build());

  JetHandlePtr handle = OpenJetHandle(file.path());
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(handle->file->version, 5u);
  const std::map<std::string, int32_t> tables = CatalogTables(*handle);
  const auto hidden = std::find_if(tables.begin(), tables.end(), [](const auto& t) { return t.first.ends_with("_Files"); });
  ASSERT_NE(hidden, tables.end());
  TableDefPtr table = OpenTable(*handle, hidden->first, 1, hidden->second);
  ASSERT_NE(table, nullptr);
  std::vector<std::string> got;
  for (const NamedRow& row : ReadRows(*table)) {
    const std::string& stored = row.at("FileData").value();
    const AttachmentData data =
        DecodeAttachmentData(ByteView(reinterpret_cast<const uint8_t*>(stored.data()), stored.size()));
    EXPECT_EQ(data.error, AceError::kNone);
    got.push_back(row.at("_Files").value() + " " + row.at("FileName").value() + " " + data.extension + " " +
                  std::string(data.file.begin(), data.file.end()).substr(0, 5) + " " +
                  std::to_string(data.file.size()));
  }
  EXPECT_EQ(got, (std::vector<std::string>{"2 a.txt txt abc 3", "2 b.bin bin xxxxx 100000", "1 c.txt txt  0"}));
}

// A built Access 2016 file through the whole pass: the BigInt as an integer,
// each complex column as its entries, the hidden tables not offered.
TEST(AceBuiltTest, BigIntAndComplexColumnsComeThroughThePass) {
  testing::JetFileBuilder builder(testing::AceVersion::kAccess2016);
  testing::Table parent;
  parent.name = "Notes";
  testing::Column files{"Files", testing::kComplex};
  files.complex_id = 3;
  testing::Column tags{"Tags", testing::kComplex};
  tags.complex_id = 4;
  parent.columns = {{"id", testing::kBigInt}, files, tags};
  parent.rows = {{int64_t{1} << 40, int64_t{1}, int64_t{1}}, {int64_t{-1}, int64_t{2}, int64_t{2}}};
  builder.AddTable(parent);
  testing::ComplexColumn attachments;
  attachments.table = "Notes";
  attachments.column = "Files";
  attachments.complex_id = 3;
  attachments.type = testing::ComplexType::kAttachments;
  attachments.attachments = {{2, {"a.txt", "txt", testing::Bytes{'a', 'b', 'c'}, true}},
                             {2, {"b\"q.bin", "bin", testing::Bytes{0, 1}, false}}};
  builder.AddComplexColumn(attachments);
  testing::ComplexColumn values;
  values.table = "Notes";
  values.column = "Tags";
  values.complex_id = 4;
  values.values = {{1, "red"}, {1, "blue"}, {7, "orphan"}};
  builder.AddComplexColumn(values);
  const testing::TempDatabase file(builder.Build());

  testing::RecordingSink sink;
  RecoverySession session;
  session.options.source_path = file.path();
  session.options.outputs.push_back(&sink);
  ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
  EXPECT_EQ(sink.order, std::vector<std::string>{"Notes"});
  const testing::RecordedTable& notes = sink.tables.at("Notes");
  ASSERT_EQ(notes.rows.size(), 2u);
  EXPECT_EQ(notes.rows[0][0], "1099511627776");
  EXPECT_EQ(notes.rows[1][0], "-1");
  EXPECT_EQ(notes.rows[0][1], "[]");
  EXPECT_EQ(notes.rows[1][1],
            R"([{"name":"a.txt","type":"txt","data":"YWJj"},{"name":"b\"q.bin","type":"bin","data":"AAE="}])");
  EXPECT_EQ(notes.rows[0][2], R"(["red","blue"])");
  EXPECT_EQ(notes.rows[1][2], "[]");
  // The typed entries beside the text, for targets that store them apart.
  ASSERT_EQ(notes.typed_rows[1].complex.size(), 2u);
  EXPECT_EQ(notes.typed_rows[1].complex[0].items.size(), 2u);
  EXPECT_EQ(notes.typed_rows[1].complex[0].items[1].value.bytes, std::string("\0\1", 2));
  EXPECT_EQ(notes.columns[1].complex_kind, static_cast<int>(ComplexKind::kAttachments));
  EXPECT_EQ(notes.columns[2].complex_kind, static_cast<int>(ComplexKind::kMultiValue));
}

// A calculated column's wrapper is removed (a wrapper of length 0 is a
// null); a type without a decoder keeps its bytes and is named in the loss
// account, and its table is still recovered.
TEST(AceBuiltTest, CalculatedAndUnknownColumnsAreRead) {
  testing::JetFileBuilder builder(testing::AceVersion::kAccess2010);
  testing::Table table;
  table.name = "T";
  testing::Column calculated{"Calc", testing::kText};
  calculated.extra_flags = 0xC0;
  testing::Column odd{"Odd", 0x15};
  odd.size = 3;
  table.columns = {{"id", testing::kLong}, calculated, odd};
  const auto wrapped = [](testing::Bytes result) {
    testing::Bytes out(16, 0);
    const uint32_t n = static_cast<uint32_t>(result.size());
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(n >> (8 * i)));
    out.insert(out.end(), result.begin(), result.end());
    out.insert(out.end(), 3, 0);
    return out;
  };
  table.rows = {{int64_t{1}, wrapped({'a', 0, 'b', 0}), testing::Bytes{1, 2, 3}},
                {int64_t{2}, wrapped({}), testing::Bytes{4, 5, 6}},
                {int64_t{3}, testing::Bytes(10, 0), std::monostate{}}};  // shorter than its wrapper
  builder.AddTable(table);
  const testing::TempDatabase file(builder.Build());

  testing::RecordingSink sink;
  RecoverySession session;
  session.options.source_path = file.path();
  session.options.outputs.push_back(&sink);
  session.options.loss_details = nullptr;
  ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
  const testing::RecordedTable& read = sink.tables.at("T");
  ASSERT_EQ(read.rows.size(), 3u);
  EXPECT_TRUE(read.columns[1].calculated);
  EXPECT_EQ(read.rows[0][1], "ab");
  EXPECT_EQ(read.rows[1][1], std::nullopt);
  EXPECT_EQ(read.rows[2][1], std::nullopt);
  EXPECT_EQ(read.rows[0][2], std::string("\1\2\3"));
  const std::vector<std::string>& lines = session.results.losses.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("column Odd has the unknown type Unknown 0x15"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("calculated value lost: truncated"), std::string::npos) << lines[1];
}

}  // namespace
}  // namespace mendora
