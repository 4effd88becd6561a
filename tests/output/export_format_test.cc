// The pieces of the exports where a slip corrupts data silently: base64,
// CSV quoting, SQL quoting per dialect, file names, the values' text, and the
// export command over several files.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "cli/export_command.h"
#include "cli/commands.h"
#include "output/common/export_values.h"
#include "output/csv/csv_export.h"
#include "output/sql/sql_export.h"
#include "tests/support/corpus.h"

namespace mendora {
namespace {

TEST(ExportFormatTest, Base64MatchesTheStandardVectorsAndLongInput) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("f"), "Zg==");
  EXPECT_EQ(Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64Encode(std::string("\xff\x00\xfe", 3)), "/wD+");
  // Longer than one encoding piece, and not a multiple of three: no line
  // breaks, and it decodes to the same bytes.
  std::string bytes(3 * 1024 * 1024 + 7, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
  const std::string text = Base64Encode(bytes);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_EQ(text.size(), (bytes.size() + 2) / 3 * 4);
  EXPECT_EQ(testing::DecodeBase64(text), bytes);
}

TEST(ExportFormatTest, CsvFieldsAreQuotedOnlyWhenTheyMustBe) {
  // Both ways of writing a field: appended to a line, and put into room
  // made for the most it can take (bytes past it must stay untouched).
  const auto csv = [](std::string_view field, bool always = false) {
    std::string appended = "<";
    AppendCsvField(appended, field, always);
    std::string room(MostCsvFieldBytes(field.size()) + 1, '~');
    char* const end = PutCsvField(room.data() + 1, field, always);
    room[0] = '<';
    EXPECT_EQ(room.substr(0, static_cast<size_t>(end - room.data())), appended);
    EXPECT_EQ(room.find_first_not_of('~', static_cast<size_t>(end - room.data())), std::string::npos);
    return appended.substr(1);
  };
  EXPECT_EQ(csv("plain text") + "|" + csv("a,b") + "|" + csv("say \"hi\"") + "|" + csv("two\r\nlines") + "|" +
                csv("", true) + "|" + csv("\"\"\""),
            "plain text|\"a,b\"|\"say \"\"hi\"\"\"|\"two\r\nlines\"|\"\"|\"\"\"\"\"\"\"\"");
  // Each byte that asks for quotes, at every place of fields long enough to
  // be scanned sixteen and eight bytes at a time, beside bytes that do not.
  for (const char special : {',', '"', '\r', '\n'}) {
    for (size_t at = 0; at < 40; ++at) {
      std::string field = "\x01+-./\x7f\xe9\xff\x0b\x0c#abcdefghijklmnop\x80\x10!$%&'()*+;<=>?@[";
      field[at] = special;
      std::string expected = "\"";
      for (const char c : field) expected += c == '"' ? std::string("\"\"") : std::string(1, c);
      expected += '"';
      EXPECT_EQ(csv(field), expected) << "byte " << int(special) << " at " << at;
      EXPECT_EQ(csv(field.substr(at + 1)), field.substr(at + 1)) << "after byte " << int(special) << " at " << at;
    }
  }
}

TEST(ExportFormatTest, SafeNamesKeepTablesApartOnEveryFileSystem) {
  SafeNames names;
  EXPECT_EQ(names.Take("Orders"), "Orders");
  EXPECT_EQ(names.Take("ORDERS"), "ORDERS~2");  // a case-insensitive file system would merge them
  EXPECT_EQ(names.Take("a/b"), "a_b");
  EXPECT_EQ(names.Take("a:b"), "a_b~2");
  EXPECT_EQ(names.Take("con"), "_con");
  EXPECT_EQ(names.Take(".hidden"), "_.hidden");
  EXPECT_EQ(names.Take(""), "_");
  EXPECT_EQ(names.Take("tab\tle."), "tab_le_");
  EXPECT_EQ(names.Take("Größe"), "Größe");
  // A long name is cut at a character boundary.
  std::string long_name;
  for (int i = 0; i < 60; ++i) long_name += "é";
  const std::string cut = names.Take(long_name);
  EXPECT_LE(cut.size(), 96u);
  EXPECT_EQ(cut.size() % 2, 0u);
}

TEST(ExportFormatTest, SqlStringsAndNamesAreQuotedPerDialect) {
  const std::string text = std::string("it's a\\b\0c", 10);
  bool lost = false;
  EXPECT_EQ(QuoteSqlString(SqlDialect::kPostgreSql, text, &lost), "'it''s a\\bc'");
  EXPECT_TRUE(lost);
  EXPECT_EQ(QuoteSqlString(SqlDialect::kMySql, text), "'it''s a\\\\b\\0c'");
  EXPECT_EQ(QuoteSqlString(SqlDialect::kMySql, "a\r\nb"), "'a\\r\\nb'");  // the client drops a bare CR
  EXPECT_EQ(QuoteSqlString(SqlDialect::kSqlite, text), "'it''s a\\b'||char(0)||'c'");
  EXPECT_EQ(QuoteSqlIdentifier(SqlDialect::kPostgreSql, "Order \"Details\""), "\"Order \"\"Details\"\"\"");
  EXPECT_EQ(QuoteSqlIdentifier(SqlDialect::kMySql, "a`b"), "`a``b`");
}

TEST(ExportFormatTest, ValuesExportAsExactPortableText) {
  Value money;
  money.SetCurrency(-1234567);
  EXPECT_EQ(ExactDecimalText(money), "-123.4567");
  Value numeric;
  numeric.kind = ValueKind::kDecimal;
  numeric.magnitude_low = 12345;
  numeric.scale = 3;
  numeric.precision = 18;  // no padding to the column's width
  EXPECT_EQ(ExactDecimalText(numeric), "12.345");
  Value date;
  date.SetDateTime(34719.5);  // 1995-01-20 12:00
  EXPECT_EQ(IsoDateTimeText(date), "1995-01-20T12:00:00");
  date.SetDateTime(1e9);  // outside the calendar
  EXPECT_EQ(IsoDateTimeText(date), "");
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ExportFormatTest, CsvExportWritesBlobFilesAndLeavesNothingWhenAbandoned) {
  std::string pattern = (std::filesystem::temp_directory_path() / "mendora-csv-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path dir = pattern;
  ExportOptions options;
  options.blobs_dir = dir / "blobs";
  OutputTable table;
  table.name = "Pic/tures";
  table.columns.resize(2);
  table.columns[0].name = "Name";
  table.columns[0].type = 0x0A;
  table.columns[1].name = "Data";
  table.columns[1].type = 0x09;
  Row row;
  row.values.resize(2);
  row.values[0].kind = ValueKind::kText;
  row.values[0].bytes = "";
  row.values[1].kind = ValueKind::kBytes;
  row.values[1].bytes = std::string("\x01\x02", 2);
  {
    CsvExport csv(dir, options);
    csv.BeginTable(table);
    csv.AddRow(row);
    row.values[0].SetNull();
    row.values[1].SetNull();
    csv.AddRow(row);
    csv.EndTable(2);
    csv.Finish();
    EXPECT_EQ(ReadAll(dir / "Pic_tures.csv"), "Name,Data\r\n\"\",Pic_tures/Data/1.bin\r\n,\r\n");
    EXPECT_EQ(ReadAll(dir / "blobs" / "Pic_tures" / "Data" / "1.bin"), std::string("\x01\x02", 2));
    csv.Abandon();
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "Pic_tures.csv"));
  EXPECT_FALSE(std::filesystem::exists(dir / "blobs" / "Pic_tures"));
  std::filesystem::remove_all(dir);
}

// A table keyed by an AutoNumber comes out in key order (rows without a key
// last), as in the SQLite target, whatever order the pages held; --bom puts
// the mark first; a picture's file is named by its kind.
TEST(ExportFormatTest, CsvRowsComeInKeyOrderWithABomAndBlobsNamedByKind) {
  std::string pattern = (std::filesystem::temp_directory_path() / "mendora-csv-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path dir = pattern;
  ExportOptions options;
  options.blobs_dir = dir / "blobs";
  options.bom = true;
  OutputTable table;
  table.name = "T";
  table.columns.resize(2);
  table.columns[0].name = "Id";
  table.columns[0].type = 0x04;
  table.columns[0].autonumber = true;
  table.columns[1].name = "Pic";
  table.columns[1].type = 0x09;
  table.indexes = {OutputIndex{"PrimaryKey", {{"Id"}}, true, true}};
  {
    CsvExport csv(dir, options);
    csv.BeginTable(table);
    for (const int64_t id : {5, 2, -1, 9, 3}) {
      Row row;
      row.values.resize(2);
      if (id >= 0) row.values[0].SetInteger(id);
      row.values[1].kind = ValueKind::kBytes;
      row.values[1].bytes = id == 2 ? std::string("\x89PNG\r\n\x1a\n....", 12) : std::string("BM..");
      csv.AddRow(row);
    }
    csv.EndTable(5);
    csv.Finish();
  }
  EXPECT_EQ(ReadAll(dir / "T.csv"),
            "\xEF\xBB\xBFId,Pic\r\n2,T/Pic/2.png\r\n3,T/Pic/5.bmp\r\n5,T/Pic/1.bmp\r\n9,T/Pic/4.bmp\r\n"
            ",T/Pic/3.bmp\r\n");
  EXPECT_TRUE(std::filesystem::exists(dir / "blobs" / "T" / "Pic" / "2.png"));
  EXPECT_FALSE(std::filesystem::exists(dir / "T.csv.partial.sorted"));
  std::filesystem::remove_all(dir);
}

TEST(ExportCommandTest, SeveralFilesEachGetAFolderAndTheWorstExitCode) {
  const auto corpus = testing::CorpusDir();
  if (!corpus) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  std::string pattern = (std::filesystem::temp_directory_path() / "mendora-cli-export-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path dir = pattern;
  cli::SetPasswordPrompt({});
  cli::ExportRequest request;
  request.files = {(dir / "missing.mdb").string(), (*corpus / "jet4-indexes.mdb").string(),
                   (*corpus / "jet3-indexes.mdb").string()};
  request.format = "csv";
  request.out_dir = (dir / "out").string();
  std::ostringstream out;
  EXPECT_EQ(cli::RunExport(request, out), cli::kExitNotOpened);
  const std::string summary = out.str();
  EXPECT_NE(summary.find("missing.mdb: not opened"), std::string::npos) << summary;
  EXPECT_NE(summary.find("jet4-indexes.mdb: complete, 3 tables"), std::string::npos) << summary;
  EXPECT_NE(summary.find("3 files, exit code 2"), std::string::npos) << summary;
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "jet4-indexes" / "Table1.csv"));
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "jet3-indexes" / "Table1.csv"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out" / "missing"));

  EXPECT_EQ(cli::WorseExitCode(0, cli::kExitLosses), cli::kExitLosses);
  EXPECT_EQ(cli::WorseExitCode(cli::kExitFailed, cli::kExitLosses), cli::kExitFailed);
  EXPECT_EQ(cli::WorseExitCode(cli::kExitPassword, cli::kExitInterrupted), cli::kExitInterrupted);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace mendora

namespace mendora {
namespace {

// The CREATE TABLE lines of a script that makes tables of these names, each
// with a column of the same name.
std::vector<std::string> CreatedTables(SqlDialect dialect, const std::vector<std::string>& names) {
  std::string pattern = (std::filesystem::temp_directory_path() / "mendora-sql-XXXXXX").string();
  EXPECT_NE(mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path dir = pattern;
  {
    SqlExport script(dir / "out.sql", dialect, ExportOptions{});
    for (const std::string& name : names) {
      OutputTable table;
      table.name = name;
      table.columns.resize(2);
      table.columns[0].name = name;
      table.columns[0].type = 0x04;
      table.columns[1].name = "ID";
      table.columns[1].type = 0x04;
      script.BeginTable(table);
      script.EndTable(0);
    }
    script.Finish();
  }
  std::vector<std::string> created;
  std::istringstream in(ReadAll(dir / "out.sql"));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("CREATE TABLE ", 0) == 0) created.push_back(line.substr(13, line.size() - 15));
  }
  std::filesystem::remove_all(dir);
  return created;
}

TEST(ExportFormatTest, SqlNamesAreMadeValidAndDistinctForEachDialect) {
  const std::string emoji = "Disk \xF0\x9F\x92\xBE";
  const std::string long_name(70, 'L');
  EXPECT_EQ(CreatedTables(SqlDialect::kMySql, {"Dup", "DUP", "trail ", emoji, long_name}),
            (std::vector<std::string>{"`Dup`", "`DUP_2`", "`trail_`", "`Disk _`", "`" + std::string(60, 'L') + "`"}));
  EXPECT_EQ(CreatedTables(SqlDialect::kSqlite, {"sqlite_master", "_sqlite_master", "Dup", "dup"}),
            (std::vector<std::string>{"\"_sqlite_master\"", "\"_sqlite_master_2\"", "\"Dup\"", "\"dup_2\""}));
  // PostgreSQL compares quoted names with their case.
  EXPECT_EQ(CreatedTables(SqlDialect::kPostgreSql, {"Dup", "DUP"}), (std::vector<std::string>{"\"Dup\"", "\"DUP\""}));
}

}  // namespace
}  // namespace mendora
