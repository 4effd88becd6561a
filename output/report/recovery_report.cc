// Gathering a recovery report: what the pass handed its outputs, the pages
// of the source, and what the saved file holds.
#include "output/report/recovery_report.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>

#include "reader/jet_handle.h"

namespace mendora {

void ReportCollector::BeginTable(const OutputTable& table) {
  indexes_ += static_cast<int64_t>(
      std::count_if(table.indexes.begin(), table.indexes.end(), [](const OutputIndex& index) { return !index.primary; }));
}

void ReportCollector::AddRelation(const OutputRelation& relation) {
  relations_.push_back(relation.name + " (" + relation.foreign_table + " to " + relation.table + ")");
}

void ReportCollector::AddQuery(const std::string& name, const std::string&) { queries_.push_back(name); }

PageCensus CountPages(const std::string& path, const std::optional<std::string>& password) {
  PageCensus census;
  JetHandlePtr handle = OpenJetHandle(path, nullptr, nullptr, {.password = password});
  if (!handle) return census;
  census.pages = handle->PageCount();
  census.page_size = handle->PageSize();
  for (uint32_t page = 0; page < census.pages; ++page) {
    if (ReadPage(*handle, page) < census.page_size) {
      ++census.unreadable;
      continue;
    }
    const uint8_t* bytes = handle->page.data();
    if (std::all_of(bytes, bytes + census.page_size, [](uint8_t b) { return b == 0; })) ++census.blank;
  }
  return census;
}

SavedCounts CountSaved(const std::string& sqlite_path) {
  SavedCounts counts;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(sqlite_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return counts;
  }
  auto count = [db](const char* sql) -> int64_t {
    sqlite3_stmt* statement = nullptr;
    int64_t value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
      value = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
    return value;
  };
  // A relation is one foreign key: one id per referencing table.
  counts.relations = count(
      "SELECT count(*) FROM (SELECT DISTINCT m.name, f.id FROM sqlite_schema AS m, pragma_foreign_key_list(m.name) AS f "
      "WHERE m.type = 'table')");
  counts.views = count("SELECT count(*) FROM sqlite_schema WHERE type = 'view'");
  counts.queries = count("SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = 'mendora_queries'") > 0
                       ? count("SELECT count(*) FROM mendora_queries")
                       : 0;
  sqlite3_close(db);
  return counts;
}

ReportSection MakeReportSection(const RecoverySession& session, const ReportCollector& collector) {
  ReportSection section;
  section.source = session.options.source_path;
  struct stat st;
  if (::stat(session.options.source_path.c_str(), &st) == 0) section.source_bytes = static_cast<uint64_t>(st.st_size);
  section.tables = session.results.losses.tables();
  section.summary = session.results.losses.SummaryLines();
  section.losses = session.results.losses.lines();
  section.losses_counted = session.results.losses.count();
  section.indexes_found = collector.indexes();
  section.relations_found = collector.relations();
  section.queries_found = collector.queries();
  section.read_queries = session.IsSaving() || !collector.queries().empty();
  section.read_schema = session.ReadsSchema();
  return section;
}

}  // namespace mendora
