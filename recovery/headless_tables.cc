// Tables whose definition is gone: the data pages that name a definition
// page that no longer reads as one are grouped by that page, and their rows
// read with a layout inferred from the rows themselves.
#include <memory>
#include <string>
#include <vector>

#include "reader/damage.h"
#include "reader/long_value.h"
#include "reader/page_index.h"
#include "reader/property_blocks.h"
#include "reader/table_def.h"
#include "recovery/column_evidence.h"
#include "recovery/layout_inference.h"
#include "recovery/recovery_steps.h"

namespace mendora {

namespace {

// The layout is inferred from the first rows of the table; every row is
// then checked against it.
constexpr size_t kSampledRows = 2000;

// Whether `page` still reads as a table definition (or is Access's own). Probing must not charge
// the account: a damaged definition is what this step is for.
bool ReadableDefinition(JetHandle& handle, int32_t page) {
  if (ReadPage(handle, page) < handle.PageSize()) return false;
  if (handle.page[0] == kAccessObjectsPageType) return true;
  if (handle.page[0] != kDefinitionPageType) return false;
  IgnoreDamage quiet;
  ScopedDamageReporter redirect(handle, quiet);
  const TableDefPtr table = OpenTable(handle, "", kCatalogTable, page);
  return table && !table->columns.empty();
}

std::vector<RowSample> SampleRows(JetHandle& handle, uint32_t owner) {
  std::vector<RowSample> samples;
  for (const uint32_t p : handle.DataPages().PagesOf(owner)) {
    if (samples.size() >= kSampledRows) break;
    if (ReadPage(handle, p) < handle.PageSize() || handle.page[0] != kDataPageType ||
        handle.Page().U32(kPageOwnerPos).value_or(0) != owner) {
      continue;
    }
    const PageSlots slots(handle.Page(), *handle.format);
    for (uint32_t j = 0; j < slots.count() && samples.size() < kSampledRows; ++j) {
      if (SlotHoldsNoRow(slots.entry(j))) continue;
      const std::optional<RowExtent> extent = slots.extent(j);
      if (!extent) continue;
      const uint8_t* start = handle.Page().data() + extent->start;
      samples.push_back(RowSample{std::vector<uint8_t>(start, start + extent->size()), p, static_cast<uint16_t>(j)});
    }
  }
  return samples;
}

}  // namespace

void RecoverHeadlessTables(RecoverySession& session, JetHandle& handle) {
  const uint32_t pages = handle.PageCount();
  const bool jet4 = handle.IsJet4();
  for (const auto& [owner, count] : session.state->data_page_owners) {
    session.control.CheckPoint();
    // Owners below the catalog's definition are the file's own maps; owners
    // beyond the file are long-value pages.
    if (owner <= kCatalogDefinitionPage || owner >= pages) continue;
    const int32_t page = static_cast<int32_t>(owner);
    if (session.state->system_definition_pages.count(page) != 0) continue;
    const auto named = session.state->unreadable_definitions.find(page);
    if (named == session.state->unreadable_definitions.end() &&
        (session.state->dispatched_definition_pages.count(page) != 0 || ReadableDefinition(handle, page))) {
      continue;
    }
    // A definition page that now holds rows (long values, another table's)
    // was freed and reused: its pages are a dropped table's, deleted data
    // that comes back only on request.
    const bool dropped = named == session.state->unreadable_definitions.end() &&
                         ReadPage(handle, page) == handle.PageSize() && handle.page[0] == kDataPageType;
    if (dropped && !session.options.recover_deleted_rows) continue;
    std::string name;
    std::string evidence;
    if (named != session.state->unreadable_definitions.end()) {
      name = named->second;
      evidence = "named " + name + " from its catalog row";
    } else if (const auto listed = session.state->navigation_names.find(page);
               listed != session.state->navigation_names.end() && !dropped) {
      name = listed->second;
      evidence = "named " + name + " from the navigation pane's list of objects (MSysNavPaneObjectIDs)";
    } else if (dropped) {
      name = "Recovered_Table_" + std::to_string(page) + " (dropped)";
      evidence = "the page now holds other rows, so the table was dropped; its name was not found: recovered as " + name;
    } else {
      name = "Recovered_Table_" + std::to_string(page);
      evidence = "its name was not found: recovered as " + name;
    }
    const std::string where = std::to_string(count) + " data pages name the definition at page " +
                              std::to_string(page) + ", which cannot be read";

    const std::vector<RowSample> samples = SampleRows(handle, owner);
    InferenceContext context;
    context.jet4 = jet4;
    context.page_count = pages;
    LongValueReader long_values(handle);
    context.read_long_value = [&](ByteView field, const RowSample& row, uint16_t column_number) {
      std::string content;
      std::string problem;
      if (!long_values.Read(field, content, problem, LongValueOwner(row.page, row.slot, column_number))) {
        return std::optional<std::string>();
      }
      return std::optional<std::string>(std::move(content));
    };
    // The catalog row, when it survives, keeps a property block for each
    // column: names and kinds.
    if (!session.state->catalog_objects.loaded()) session.state->catalog_objects.Load(handle);
    const std::string& blocks = session.state->catalog_objects.TableProperties(page);
    if (!blocks.empty()) {
      context.evidence = ColumnEvidenceOf(
          ReadPropertyBlocks(ByteView(reinterpret_cast<const uint8_t*>(blocks.data()), blocks.size()), jet4,
                             *handle.file->code_page, nullptr));
    }
    const std::optional<InferredLayout> layout = InferLayout(samples, context);
    if (!layout) {
      session.results.losses.TableLost(
          name, where + ", and no layout could be inferred from its " + std::to_string(samples.size()) + " rows");
      if (named != session.state->unreadable_definitions.end()) session.state->unreadable_definitions.erase(named);
      continue;
    }
    session.results.losses.PieceLost(where + ": its layout was inferred from its rows (" +
                                     std::to_string(layout->columns.size()) + " columns); " + evidence);
    if (named != session.state->unreadable_definitions.end()) session.state->unreadable_definitions.erase(named);

    TableDef table;
    table.entry = CatalogEntry{&handle, name, kCatalogTable, page};
    table.name = name;
    table.columns = layout->columns;
    table.row_count = -1;
    table.lowest_variable_number = layout->lowest_variable_number;
    if (layout->has_var_table && table.lowest_variable_number == UINT32_MAX) table.lowest_variable_number = 0;
    table.inferred = true;
    table.column_notes = layout->notes;
    table.guessed_columns = layout->guessed;
    ++session.state->headless_tables;
    session.state->dispatched_definition_pages.insert(page);
    // Kept with the recovered table, so the rows can be read again later.
    auto fitted = std::make_shared<const InferredLayout>(*layout);
    try {
      RecoverTableRows(session, handle, table, name,
                       [fitted, jet4](ByteView row) { return fitted->Fits(row, jet4); });
    } catch (const PassCancelled&) {
      throw;
    } catch (const TargetFailed&) {
      throw;
    } catch (const std::exception& error) {
      session.results.losses.PieceLost("Table " + name + " was not recovered: " + error.what());
    }
  }
  // Definitions a catalog row named whose table left no data page.
  for (const auto& [page, name] : session.state->unreadable_definitions) {
    session.results.losses.TableLost(name, "its definition at page " + std::to_string(page) + " cannot be read");
  }
}

}  // namespace mendora
