// The recovery pass and the catalog walk: every page of the file is scanned
// for catalog rows, deleted ones included, and each object is dispatched.
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <vector>

#include "reader/row_layout.h"
#include "reader/table_def.h"
#include "reader/text_codec.h"
#include "recovery/recovery_steps.h"

namespace mendora {

namespace {

constexpr uint32_t kCatalogDefinitionPage = 2;
constexpr int32_t kObjectTable = 1;
constexpr int32_t kObjectQuery = 5;
constexpr size_t kMaxObjectNameChars = 257;
// Catalog row fields, from the row's start: the fixed part holds Id,
// ParentId, Type, DateCreate, DateUpdate and Flags; Name is the first
// variable-length column.
constexpr uint32_t kCatalogFixedSize = 30;
constexpr uint32_t kIdOffset = 0;
constexpr uint32_t kTypeOffset = 8;

bool IsCatalogPage(const JetHandle& handle) {
  return handle.page[0] == 0x01 && handle.page[1] == 0x01 && handle.Page().U32(4).value_or(0) == kCatalogDefinitionPage;
}

// A data page with at least one row slot that is not marked deleted.
bool HoldsLiveRows(const JetHandle& handle) {
  if (handle.page[0] != 0x01) return false;
  const ByteView page = handle.Page();
  const uint32_t slots = page.U16(handle.format->RowCountPos).value_or(0);
  for (uint32_t j = 0; j < slots; ++j) {
    const std::optional<uint16_t> entry = page.U16(handle.format->RowCountPos + 2u + 2u * j);
    if (!entry) break;
    if ((*entry & 0x4000) == 0) return true;
  }
  return false;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The name's bytes as the row's variable-column table gives them, or
// nothing when the row's own layout does not hold together.
std::optional<ByteView> NameFromLayout(ByteView page, bool jet4, const RowExtent& row) {
  const std::optional<RowLayout> layout = ParseRowLayout(page, jet4, row, true);
  if (!layout || layout->column_count < 3 || layout->column_count > 256) return std::nullopt;
  const auto extent = VariableExtent(*layout, 0);
  if (!extent || extent->first < layout->count_size + kCatalogFixedSize) return std::nullopt;
  if (jet4 && (extent->second - extent->first) % 2 != 0) return std::nullopt;
  return page.Sub(row.start + extent->first, extent->second - extent->first);
}

// The scan for a damaged row: printable characters from the name's usual
// place, stopping at the row's end.
std::string NameByScan(ByteView page, bool jet4, const RowExtent& row) {
  std::string name;
  const uint32_t from = row.start + (jet4 ? 2 : 1) + kCatalogFixedSize;
  const uint32_t step = jet4 ? 2 : 1;
  size_t kept = 0;
  for (uint32_t at = from; at <= row.end; at += step) {
    const uint8_t byte = page.data()[at];
    if (byte < 0x20 || byte > 0x7E) break;
    if (jet4 && at + 1 <= row.end && page.data()[at + 1] != 0) break;
    if (kept < kMaxObjectNameChars) name.push_back(static_cast<char>(byte));
    ++kept;
  }
  return name;
}

// Runs one object's step: its failure loses only that object, counted. A
// cancelled pass, and a target that can no longer be written, end the pass.
template <typename Step>
void Guarded(RecoverySession& session, const char* kind, const std::string& name, Step&& step) {
  try {
    step();
  } catch (const PassCancelled&) {
    throw;
  } catch (const TargetFailed&) {
    throw;
  } catch (const std::exception& error) {
    session.losses.PieceLost(std::string(kind) + " " + name + " was not recovered: " + error.what());
  } catch (...) {
    session.losses.PieceLost(std::string(kind) + " " + name + " was not recovered: unknown failure");
  }
}

}  // namespace

bool IsSystemObjectName(const std::string& name) { return StartsWith(name, "MSys"); }

bool ReadCatalogRecord(JetHandle& handle, int j, CatalogRecord& record) {
  const ByteView page = handle.Page();
  const JetFormat& format = *handle.format;
  const std::optional<uint16_t> entry = page.U16(format.RowCountPos + 2u + 2u * static_cast<uint32_t>(j));
  if (!entry) return false;
  const std::optional<RowExtent> row = RowBounds(page, format, j);
  const bool jet4 = handle.IsJet4();
  const uint32_t count_size = jet4 ? 2 : 1;
  if (!row || row->size() < count_size + kTypeOffset + 2) return false;

  record = CatalogRecord{};
  record.deleted = (*entry & 0x4000) != 0;
  record.object_id = *page.U32(row->start + count_size + kIdOffset);
  record.object_type = *page.U8(row->start + count_size + kTypeOffset) & 0x7F;
  // Object ids carry flags above the page number in their top bytes.
  const uint32_t page_count = handle.PageCount();
  const uint32_t low24 = record.object_id & 0xFFFFFF;
  record.definition_page = static_cast<int32_t>(low24 < page_count ? low24 : record.object_id & 0xFFFF);

  if (const std::optional<ByteView> bytes = NameFromLayout(page, jet4, *row)) {
    record.name = jet4 ? Ucs2ToText(*bytes) : handle.file->code_page->Decode(*bytes);
    record.name_from_layout = true;
  } else {
    record.name = NameByScan(page, jet4, *row);
    record.name_from_layout = false;
  }
  if (CountUtf8Chars(record.name) > kMaxObjectNameChars) record.name = CutUtf8(record.name, kMaxObjectNameChars);
  return true;
}

namespace {

void Dispatch(RecoverySession& session, JetHandle& handle, const CatalogRecord& record) {
  const std::string& name = record.name;
  if (record.object_type == kObjectTable && IsSystemObjectName(name)) {
    session.system_definition_pages.insert(record.definition_page);
  }
  if (record.object_type == kObjectTable && StartsWith(name, "MSysRelationships")) {
    if (!session.dispatched_definition_pages.insert(record.definition_page).second) return;
    Guarded(session, "Relationships of", name,
            [&] { RelationshipPass(session, handle, record.object_type, record.definition_page, name); });
  } else if (record.object_type == kObjectTable && name == "MSysQueries") {
    // One query table: live rows come first, and an old deleted row's table
    // would add its rows to the same queries again.
    if (!session.IsSaving() || session.query_table_read) return;
    session.query_table_read = true;
    Guarded(session, "Query table", name,
            [&] { ReadQueryTable(session, handle, record.object_type, record.definition_page, name); });
  } else if (record.object_type == kObjectTable && !name.empty() && !IsSystemObjectName(name)) {
    // Old versions of a catalog row stay behind as deleted rows naming the
    // same definition: a table is recovered once.
    if (!session.dispatched_definition_pages.insert(record.definition_page).second) return;
    Guarded(session, "Table", name, [&] { RecoverTable(session, handle, record.object_type, record.definition_page, name); });
  } else if (record.object_type == kObjectQuery && !name.empty() && !StartsWith(name, "~s")) {
    if (!session.dispatched_query_ids.insert(record.object_id).second) return;
    // Created after the walk: the query table that holds its text may come
    // later in the catalog.
    if (session.IsSaving()) session.pending_queries.push_back(PendingQuery{name, record.object_id});
  }
}

}  // namespace

void CatalogWalk(RecoverySession& session, JetHandle& handle) {
  const uint32_t pages = handle.PageCount();
  // Data pages by the definition page that owns them, counted on the way.
  std::map<uint32_t, int64_t> data_pages;
  // Deleted rows wait until every live row has been seen: a deleted row may
  // name a definition page that a live row of another name has since taken
  // over (an old name, or a dropped table's page reused), and the live row's
  // name is the right one. What no live row names comes back after the walk.
  std::vector<CatalogRecord> deleted;
  for (uint32_t i = 0; i < pages; ++i) {
    session.control.CheckPoint();
    if (session.observer != nullptr) session.observer->OnProgress(i, pages);
    // A page that cannot be read (a bad sector) loses only itself: the
    // catalog pages after it are still found.
    if (ReadPage(handle, i) == 0) continue;
    if (HoldsLiveRows(handle)) ++data_pages[handle.Page().U32(4).value_or(0)];
    if (!IsCatalogPage(handle)) continue;
    const int64_t rows = PageU16(handle, handle.format->RowCountPos);
    for (int j = 0; j < rows; ++j) {
      if (ReadPage(handle, i) == 0) break;  // per-object steps reuse the page buffer
      CatalogRecord record;
      if (!ReadCatalogRecord(handle, j, record)) continue;
      if (record.deleted) {
        deleted.push_back(std::move(record));
      } else {
        Dispatch(session, handle, record);
      }
    }
  }
  for (const CatalogRecord& record : deleted) {
    session.control.CheckPoint();
    Dispatch(session, handle, record);
  }
  session.user_data_pages = 0;
  // Owners below the catalog's definition are the file's own maps, and
  // owners beyond the file are long-value pages ("LVAL"), not tables.
  for (const auto& [owner, count] : data_pages) {
    if (owner > kCatalogDefinitionPage && owner < pages &&
        session.system_definition_pages.count(static_cast<int32_t>(owner)) == 0) {
      session.user_data_pages += count;
    }
  }
  if (session.observer != nullptr) session.observer->OnProgress(pages, pages);
}

namespace {

// Whether `target` names the very file being read: replacing it would put the
// copy in place of the only original the user has.
bool IsTheSource(const JetHandle& handle, const std::string& target) {
  struct stat source_status;
  struct stat target_status;
  if (!handle.file || ::fstat(handle.file->descriptor, &source_status) != 0) return false;
  if (::stat(target.c_str(), &target_status) != 0) return false;
  return source_status.st_dev == target_status.st_dev && source_status.st_ino == target_status.st_ino;
}

}  // namespace

void RecoveryPass(RecoverySession& session, JetHandle& handle) {
  session.TableList.clear();
  session.GrandTotal = 0;
  session.AnalysisLog.clear();
  session.dispatched_definition_pages.clear();
  session.system_definition_pages.clear();
  session.dispatched_query_ids.clear();
  session.target_table_names.clear();
  session.pending_relations.clear();
  session.pending_queries.clear();
  session.query_rows.clear();
  session.query_table_read = false;
  session.catalog_properties.clear();
  session.catalog_properties_read = false;
  session.losses.Clear();
  session.user_data_pages = 0;
  session.active_outputs.clear();
  handle.damage = &session.losses;

  if (session.IsSaving()) {
    if (!session.MakeTarget) throw TargetFailed("no target to save into");
    if (IsTheSource(handle, session.TargetPath)) {
      throw TargetFailed("cannot save to " + session.TargetPath + ": it is the file being recovered");
    }
    session.target = session.MakeTarget(session.TargetPath, session.ReplaceExisting);
    session.active_outputs.push_back(session.target.get());
  }
  for (RecoveryOutput* output : session.outputs) session.active_outputs.push_back(output);
  for (RecoveryOutput* output : session.active_outputs) output->Attach(session.losses);

  CatalogWalk(session, handle);
  CreatePendingRelations(session);
  CreatePendingQueries(session);
  for (RecoveryOutput* output : session.active_outputs) output->Finish();
  session.target.reset();
}

}  // namespace mendora
