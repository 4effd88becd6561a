// The recovery pass and the catalog walk: every page of the file is scanned
// for catalog rows, deleted ones included, and each object is dispatched.
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "reader/page_classes.h"
#include "reader/row_cursor.h"
#include "reader/row_layout.h"
#include "reader/table_def.h"
#include "reader/text_codec.h"
#include "recovery/distinct_names.h"
#include "recovery/recovery_steps.h"

namespace mendora {

namespace {

constexpr size_t kMaxObjectNameChars = 257;
// Catalog row fields, from the row's start: the fixed part holds Id,
// ParentId, Type, DateCreate, DateUpdate and Flags; Name is the first
// variable-length column.
constexpr uint32_t kCatalogFixedSize = 30;
constexpr uint32_t kIdOffset = 0;
constexpr uint32_t kTypeOffset = 8;
constexpr uint32_t kFlagsOffset = 26;

// The part of each page the walk reads to classify it: type, owner and the
// slot table of a page of a few dozen rows.
constexpr uint32_t kWalkHead = 128;

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
  std::string failure;
  try {
    step();
    return;
  } catch (const PassCancelled&) {
    throw;
  } catch (const TargetFailed&) {
    throw;  // the save is over, not just this object
  } catch (const std::exception& error) {
    failure = error.what();
  } catch (...) {
    failure = "unknown failure";
  }
  // A table's own step failing loses the table: the account says so once,
  // with the rows its definition counts where it was read that far.
  if (std::string(kind) == "Table") {
    const TableLosses* read = session.results.losses.Table(name);
    session.results.losses.TableLost(name, LossReason::kFailed, failure, read != nullptr ? read->stored_rows : -1);
  } else {
    session.results.losses.PieceLost(std::string(kind) + " " + name + " was not recovered: " + failure);
  }
}

}  // namespace

bool IsSystemObjectName(const std::string& name) { return StartsWith(name, "MSys"); }

bool ReadCatalogRecord(JetHandle& handle, const PageSlots& slots, int j, CatalogRecord& record) {
  const ByteView page = handle.Page();
  if (j < 0 || static_cast<uint32_t>(j) >= slots.count()) return false;
  const std::optional<uint16_t> entry = slots.entry(static_cast<uint32_t>(j));
  const std::optional<RowExtent> row = slots.extent(static_cast<uint32_t>(j));
  const bool jet4 = handle.IsJet4();
  const uint32_t count_size = jet4 ? 2 : 1;
  if (!row || row->size() < count_size + kTypeOffset + 2) return false;

  record = CatalogRecord{};
  // The old bytes behind a moved row's pointer are an older version of the
  // row, as a deleted row is.
  record.deleted = SlotHoldsNoRow(*entry);
  record.object_id = *page.U32(row->start + count_size + kIdOffset);
  record.object_type = static_cast<int16_t>(*page.U16(row->start + count_size + kTypeOffset));
  record.flags = page.U32(row->start + count_size + kFlagsOffset).value_or(0);
  // Object ids carry flags above the page number in their top bytes.
  record.definition_page = DefinitionPageOfId(record.object_id, handle.PageCount());

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

// Access 2007+ marks its own tables in the catalog's flags, also those
// without the "MSys" prefix (the complex columns' hidden tables) and not
// those with it that are the user's (MSysCompactError). A row whose layout
// did not hold together has no flags to trust: its name decides.
bool IsSystemTable(const JetHandle& handle, const CatalogRecord& record) {
  if (!record.name_from_layout) return IsSystemObjectName(record.name);
  if (handle.IsAce()) return (record.flags & kSystemObjectFlags) != 0;
  // Jet files keep the flags too, but use them for Access's hidden tables
  // of later versions as well: they decide only for a name that is damaged.
  if (IsSystemObjectName(record.name)) return true;
  return (record.flags & kSystemObjectFlags) != 0 && !DamagedNameEvidence(record.name).empty();
}

// A linked table holds no data here: the log names it and its target.
void NoteLinkedTable(RecoverySession& session, JetHandle& handle, const CatalogRecord& record) {
  if (!session.state->linked_tables.insert(record.name).second) return;
  if (!session.state->catalog_objects.loaded()) session.state->catalog_objects.Load(handle);
  std::string target;
  for (const auto& [page, object] : session.state->catalog_objects.Objects()) {
    if (object.name != record.name || object.type != record.object_type) continue;
    target = !object.connect.empty() ? object.connect : object.database;
    if (!object.foreign_name.empty()) target += (target.empty() ? "" : ", ") + std::string("table ") + object.foreign_name;
  }
  session.results.table_list += "\r\n" + record.name + " :  linked" + (target.empty() ? "" : " to " + target);
  AddAnalysisEvent(session,
                   AnalysisEvent{.kind = AnalysisEvent::Kind::kLinkedTable, .table = record.name, .link_target = target});
  RebuildAnalysisLog(session);
  if (session.options.observer != nullptr) session.options.observer->OnAnalysisLog(session.results.analysis_log);
}

void Dispatch(RecoverySession& session, JetHandle& handle, const CatalogRecord& record) {
  const std::string& name = record.name;
  NoteObjectCatalogRow(session.state->object_catalog, record.object_type, name, record.definition_page, record.deleted);
  const bool system = record.object_type == kCatalogTable && IsSystemTable(handle, record);
  if (system) {
    session.state->system_definition_pages.insert(record.definition_page);
  }
  if (record.object_type == kCatalogTable && StartsWith(name, "MSysRelationships")) {
    if (!session.state->dispatched_definition_pages.insert(record.definition_page).second) return;
    Guarded(session, "Relationships of", name,
            [&] { RelationshipPass(session, handle, record.object_type, record.definition_page, name); });
  } else if (record.object_type == kCatalogTable && name == "MSysQueries") {
    if (session.state->query_table_page == 0) session.state->query_table_page = record.definition_page;
    // One query table: live rows come first, and an old deleted row's table
    // would add its rows to the same queries again.
    if (session.state->query_table_read) return;
    session.state->query_table_read = true;
    Guarded(session, "Query table", name,
            [&] { ReadQueryTable(session, handle, record.object_type, record.definition_page, name); });
  } else if (record.object_type == kCatalogTable && !name.empty() && !system) {
    // Old versions of a catalog row stay behind as deleted rows naming the
    // same definition: a table is recovered once.
    if (!session.state->dispatched_definition_pages.insert(record.definition_page).second) return;
    if (!record.deleted) session.state->catalog_tables.emplace(name, record.definition_page);
    std::string recovered_as = name;
    const std::string damaged = DamagedNameEvidence(name);
    if (StartsWith(name, "~TMPCLP") || !damaged.empty()) {
      // Access's own name for a table it deleted, or a name whose bytes were
      // damaged: the evidence's is better, where there is one.
      std::string evidence;
      const std::string found = EvidenceName(session, handle, record.definition_page, evidence);
      if (!found.empty()) recovered_as = found;
      if (!damaged.empty()) {
        session.results.losses.Add(LossEntry{.subject = LossSubject::kName,
                                             .reason = LossReason::kNameDamaged,
                                             .table = name,
                                             .name = recovered_as,
                                             .page = record.definition_page,
                                             .detail = damaged + (found.empty() ? "" : "; named from " + evidence)});
      } else if (!found.empty()) {
        session.results.losses.Add(LossEntry{.subject = LossSubject::kName,
                                             .reason = LossReason::kNamedFromEvidence,
                                             .table = name,
                                             .name = found,
                                             .page = record.definition_page,
                                             .detail = evidence});
      }
    }
    Guarded(session, "Table", recovered_as,
            [&] { RecoverTable(session, handle, record.object_type, record.definition_page, recovered_as); });
  } else if ((record.object_type == kCatalogLinkedTable || record.object_type == kCatalogOdbcTable) && !name.empty() &&
             !record.deleted && handle.IsAce()) {
    NoteLinkedTable(session, handle, record);
  } else if (record.object_type == kCatalogQuery && !name.empty() && !StartsWith(name, "~s")) {
    if (!session.state->dispatched_query_ids.insert(record.object_id).second) return;
    // Created after the walk: the query table that holds its text may come
    // later in the catalog. Every pass accounts for them.
    session.state->pending_queries.push_back(PendingQuery{name, record.object_id, record.deleted});
  } else if (record.object_type == kCatalogRelationship && !name.empty() && !record.deleted) {
    session.state->catalog_relations.insert(name);
  }
}

// Keeps the reports of pages a usage map names that are gone or another's.
class MissingPages final : public DamageReporter {
 public:
  void Report(const DamageReport& report) override {
    if (report.kind == DamageKind::kFileShort || report.kind == DamageKind::kForeignPage) {
      found.push_back(report);
    }
  }
  std::vector<DamageReport> found;
};

// The catalog's own usage map names every catalog page: one that is gone
// (a file cut short) or no catalog page any more took the rows it held, and
// the objects they named, with it. The walk cannot name those objects; the
// account says that they are lost.
void CheckCatalogMap(RecoverySession& session, JetHandle& handle) {
  MissingPages missing;
  {
    ScopedDamageReporter redirect(handle, missing);
    TableDefPtr catalog = OpenTable(handle, "MSysObjects", kCatalogTable, kCatalogDefinitionPage);
    if (!catalog) {
      if (session.state->catalog_rows == 0) return;  // nothing of the catalog at all: said as such
      missing.found.push_back(DamageReport{DamageKind::kDefinition, "", kCatalogDefinitionPage, -1, "",
                                           "the catalog's definition cannot be read, so its pages cannot be checked"});
    } else {
      RowCursor cursor(*catalog);
      Row row;
      while (cursor.Next(row)) session.control.CheckPoint();
    }
  }
  for (const DamageReport& report : missing.found) {
    session.results.losses.Add(LossEntry{
        .subject = LossSubject::kFile,
        .reason = LossReason::kFileShort,
        .page = report.page,
        .detail =
            "the catalog: " + report.detail +
            (report.kind == DamageKind::kDefinition ? "" : ", and the tables, queries and relations they named")});
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
    ReportProgress(session, handle);
    // A page that cannot be read (a bad sector) loses only itself: the
    // catalog pages after it are still found.
    // A page a table's reads brought in whole (and decrypted) was
    // classified then. Others are classified by their header alone, and
    // only that much is read (and decrypted, on an encrypted file). Catalog
    // pages are read whole, and so is a data page whose first live slot
    // lies further on.
    std::optional<PageClass> known = handle.page_classes.Known(*handle.format, handle.file->cipher.get(), i);
    if (known && !known->IsCatalogPage()) {
      ++handle.pages_read;  // the progress shown counts it all the same
    } else {
      uint32_t plain = 0;
      const uint32_t got = ReadPageHead(handle, i, kWalkHead, plain);
      if (got == 0) continue;
      known = ClassifyPage(handle.Page(), *handle.format);
      if (plain < got && known->type == kDataPageType &&
          (known->IsCatalogPage() || LiveRowsExtent(handle.Page(), *handle.format) > plain)) {
        if (ReadPage(handle, i) == 0) continue;
        known = ClassifyPage(handle.Page(), *handle.format);
      }
    }
    if (known->live) ++data_pages[known->owner];
    if (known->type == kDefinitionPageType) session.state->definition_links[i] = known->owner;
    if (!known->IsCatalogPage()) continue;
    session.state->catalog_pages.insert(i);
    // The slots are worked out once per page: a page of thousands of rows
    // would otherwise cost the square of them.
    const PageSlots slots(handle.Page(), *handle.format);
    // The last page of a file cut short holds its slot table but not the
    // rows at the page's end: those rows are gone, not rows of zeros.
    const uint64_t present = std::min<uint64_t>(handle.PageSize(), handle.FileSize() - uint64_t{i} * handle.PageSize());
    uint32_t cut_rows = 0;
    // Per-object steps reuse the page buffer: the catalog page is put back
    // from a copy, never read again (a page of thousands of rows would
    // otherwise be read once for each).
    const PageBuffer catalog_page = handle.page;
    for (uint32_t j = 0; j < slots.count(); ++j) {
      if (handle.current_page != i) {
        handle.page = catalog_page;
        handle.current_page = i;
      }
      if (present < handle.PageSize()) {
        const std::optional<RowExtent> extent = slots.extent(j);
        if (extent && extent->end >= present) {
          ++cut_rows;
          continue;
        }
      }
      CatalogRecord record;
      if (!ReadCatalogRecord(handle, slots, static_cast<int>(j), record)) continue;
      ++session.state->catalog_rows;
      if (record.deleted) {
        deleted.push_back(std::move(record));
      } else {
        Dispatch(session, handle, record);
      }
    }
    if (cut_rows > 0) {
      session.results.losses.Add(
          LossEntry{.subject = LossSubject::kFile,
                    .reason = LossReason::kFileShort,
                    .page = i,
                    .count = cut_rows,
                    .detail = "catalog page " + std::to_string(i) +
                              " is cut short by the end of the file: " + std::to_string(cut_rows) +
                              " of its rows are lost, and the tables, queries and relations they named"});
    }
  }
  for (const CatalogRecord& record : deleted) {
    session.control.CheckPoint();
    Dispatch(session, handle, record);
  }
  CheckCatalogMap(session, handle);
  session.state->data_page_owners = data_pages;
  session.state->user_data_pages = 0;
  // Owners below the catalog's definition are the file's own maps, and
  // owners beyond the file are long-value pages ("LVAL"), not tables.
  for (const auto& [owner, count] : data_pages) {
    if (owner > kCatalogDefinitionPage && owner < pages &&
        session.state->system_definition_pages.count(static_cast<int32_t>(owner)) == 0) {
      session.state->user_data_pages += count;
    }
  }
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

// Every table a live catalog row names is recovered or named lost: a step
// that went wrong without a word must not drop one from the account.
void AccountForCatalogTables(RecoverySession& session) {
  std::set<int32_t> read;
  for (const RecoveredTable& table : session.results.recovered_tables) read.insert(table.definition_page);
  for (const auto& [name, page] : session.state->catalog_tables) {
    if (read.count(page) != 0) continue;
    const TableLosses* losses = session.results.losses.Table(name);
    if (losses != nullptr && losses->lost_whole) continue;
    session.results.losses.TableLost(
        name, LossReason::kNotFound,
        "its catalog row names the definition at page " + std::to_string(page) + ", and no table was read from it");
  }
}

// No row came back, and the account shows that rows were there: rows or
// whole tables lost, data pages of user tables that gave nothing, or damage
// that left not one table standing.
bool NothingOfValue(const RecoverySession& session) {
  if (session.results.grand_total != 0 || !session.results.losses.AnyLoss()) return false;
  const LossTotals totals = session.results.losses.Totals();
  if (totals.rows_lost > 0 || totals.tables_lost > 0 || session.state->user_data_pages > 0) return true;
  return session.results.recovered_tables.empty() && session.state->linked_tables.empty();
}

}  // namespace

void RecoveryPass(RecoverySession& session, JetHandle& handle) {
  handle.damage = &session.results.losses;
  if (!handle.file->version_note.empty()) {
    // Nothing is lost by it: the pages were read as what they are.
    session.results.losses.Add(LossEntry{.subject = LossSubject::kFile,
                                         .reason = LossReason::kDefinition,
                                         .counted = false,
                                         .page = 0,
                                         .detail = handle.file->version_note});
  }
  if (handle.file->password_check == PasswordCheck::kDamaged) {
    session.results.losses.Add(LossEntry{.subject = LossSubject::kFile, .reason = LossReason::kPasswordCheckDamaged});
  }

  if (session.IsSaving()) {
    if (!session.options.make_target) throw TargetFailed("no target to save into");
    if (IsTheSource(handle, session.options.target_path)) {
      throw TargetFailed("cannot save to " + session.options.target_path + ": it is the file being recovered");
    }
    session.state->target = session.options.make_target(session.options.target_path, session.options.replace_existing);
    session.state->target->SetPublishCheck([&control = session.control] { control.FinalCheckPoint(); });
  }
  for (RecoveryOutput* output : session.options.outputs) session.state->active_outputs.push_back(output);
  // The target last.
  if (session.state->target) session.state->active_outputs.push_back(session.state->target.get());
  for (RecoveryOutput* output : session.state->active_outputs) output->Attach(session.results.losses);

  AddAnalysisEvent(session, AnalysisEvent{.kind = AnalysisEvent::Kind::kStarted,
                                          .source = session.options.source_path,
                                          .source_bytes = handle.FileSize()});
  CatalogWalk(session, handle);
  RecoverOrphanTables(session, handle);
  RecoverHeadlessTables(session, handle);
  AccountForCatalogTables(session);
  CreatePendingRelations(session);
  CreatePendingQueries(session);
  // Without a single catalog row, not even Access's own, nor a table found
  // by its definition, nothing of the file could be read; and a pass that
  // read not one row where damage shows that rows were there is no
  // recovery either. An empty target would pass for a result. A database
  // whose tables are empty, with nothing lost, is a recovery like any other.
  if ((session.state->catalog_rows == 0 && session.state->orphan_tables == 0 && session.state->headless_tables == 0) ||
      NothingOfValue(session)) {
    throw NothingRecovered{};
  }
  RecoverAccessObjects(session, handle);
  for (RecoveryOutput* output : session.state->active_outputs) output->Finish();
  session.state->target.reset();
  AddAnalysisEvent(session,
                   AnalysisEvent{.kind = AnalysisEvent::Kind::kCompleted, .records = session.results.grand_total});
  ReportProgress(session, handle, std::string(), 0, true);
}

}  // namespace mendora
