// The pass's step for forms, reports, macros and modules: read them once the
// tables are done, hand them to every output, and account for them.
#include <map>
#include <utility>

#include "reader/jet_format.h"
#include "reader/row_cursor.h"
#include "reader/table_def.h"
#include "recovery/access_objects.h"
#include "recovery/recovery_steps.h"

namespace mendora {

namespace {

// The counts the log's objects line gives, as the English summary counts them.
AnalysisEvent::ObjectCounts CountObjects(const std::vector<AccessObject>& objects) {
  AnalysisEvent::ObjectCounts counts;
  for (const AccessObject& object : objects) {
    if (!object.owner.empty()) {
      ++counts.class_modules;
      if (object.recovered) ++counts.class_module_sources;
      continue;
    }
    switch (object.kind) {
      case AccessObjectKind::kForm: ++counts.forms; break;
      case AccessObjectKind::kReport: ++counts.reports; break;
      case AccessObjectKind::kMacro: ++counts.macros; break;
      case AccessObjectKind::kModule:
        ++counts.modules;
        if (object.recovered) ++counts.module_sources;
        break;
    }
  }
  return counts;
}

// The source's catalog rows of its objects (by kind and name) and of the
// database itself, as stored: a writer that carries the objects into
// another Access file gives them the same Flags and properties. Damage the
// catalog walk has already told is not told again.
struct SourceCatalogRows {
  std::map<std::pair<std::string, std::string>, OutputObject::CatalogRow> objects;
  std::string database_properties;
};

const char* CatalogKindName(int64_t type) {
  switch (type) {
    case kCatalogForm: return "form";
    case kCatalogReport: return "report";
    case kCatalogMacro: return "macro";
    case kCatalogModule: return "module";
    default: return nullptr;
  }
}

SourceCatalogRows ReadSourceCatalogRows(JetHandle& handle) {
  SourceCatalogRows out;
  IgnoreDamage quiet;
  ScopedDamageReporter redirect(handle, quiet);
  TableDefPtr catalog = OpenTable(handle, "MSysObjects", kCatalogTable, static_cast<int32_t>(kCatalogDefinitionPage));
  if (!catalog) return out;
  const auto column = [&](const char* name) { return catalog->ColumnIndex(name); };
  const auto type = column("Type"), name = column("Name"), flags = column("Flags"), created = column("DateCreate"),
             updated = column("DateUpdate"), lv = column("Lv"), lv_prop = column("LvProp"), lv_module = column("LvModule"),
             lv_extra = column("LvExtra");
  if (!type || !name) return out;
  RowCursor cursor(*catalog);
  Row row;
  const auto bytes = [&](const std::optional<size_t>& at) {
    return at && *at < row.values.size() && row.values[*at].kind == ValueKind::kBytes ? row.values[*at].bytes : std::string();
  };
  while (cursor.Next(row)) {
    if (*type >= row.values.size() || *name >= row.values.size()) continue;
    const Value& t = row.values[*type];
    const Value& n = row.values[*name];
    if (t.kind != ValueKind::kInteger || n.kind != ValueKind::kText) continue;
    if (t.integer == kCatalogDatabase && n.bytes == "MSysDb") {
      out.database_properties = bytes(lv_prop);
      continue;
    }
    const char* kind = CatalogKindName(t.integer);
    if (kind == nullptr) continue;
    OutputObject::CatalogRow r;
    if (flags && *flags < row.values.size() && row.values[*flags].kind == ValueKind::kInteger) {
      r.flags = static_cast<int32_t>(row.values[*flags].integer);
    }
    if (created && *created < row.values.size() && row.values[*created].kind == ValueKind::kDateTime) r.created = row.values[*created].real;
    if (updated && *updated < row.values.size() && row.values[*updated].kind == ValueKind::kDateTime) r.updated = row.values[*updated].real;
    r.lv = bytes(lv);
    r.lv_prop = bytes(lv_prop);
    r.lv_module = bytes(lv_module);
    r.lv_extra = bytes(lv_extra);
    out.objects[{kind, n.bytes}] = std::move(r);
  }
  return out;
}

}  // namespace

void RecoverAccessObjects(RecoverySession& session, JetHandle& handle) {
  session.control.CheckPoint();
  AccessObjects found;
  // The objects' storage is decompressed into buffers sized by what the file
  // states: an allocation that fails loses the objects, counted, not the
  // tables already saved.
  try {
    found = ReadAccessObjects(handle, session.state->object_catalog);
  } catch (const std::exception& error) {
    session.results.losses.PieceLost(std::string("Forms, reports, macros and modules were not recovered: ") +
                                     error.what());
    return;
  }
  if (!found.any) return;
  for (const std::string& line : found.losses) session.results.losses.PieceLost(line);
  SourceCatalogRows rows;
  if (handle.IsJet4() && !found.objects.empty()) rows = ReadSourceCatalogRows(handle);
  for (const AccessObject& object : found.objects) {
    session.control.CheckPoint();
    OutputObject out = object.ForOutput();
    out.owner = object.owner;
    if (object.owner.empty()) {
      const auto row = rows.objects.find({out.kind, out.name});
      if (row != rows.objects.end()) out.catalog = row->second;
    }
    for (RecoveryOutput* output : session.state->active_outputs) output->AddObject(out);
  }
  ObjectStorageCopy copy{found.storage, "", std::move(rows.database_properties), handle.IsAce()};
  if (!handle.IsJet4()) {
    copy.not_whole = "Mendora does not read the objects of Access 97 files";
  } else if (found.storage.rows.empty()) {
    copy.not_whole = "the table that holds them could not be read";
  } else if (!found.losses.empty()) {
    copy.not_whole = "their storage did not read whole (" + std::to_string(found.losses.size()) +
                     (found.losses.size() == 1 ? " loss" : " losses") + " named above)";
  }
  for (RecoveryOutput* output : session.state->active_outputs) output->AddObjectStorage(copy);
  // A file of tables alone (its storage holding no object) gets no line.
  if (!found.objects.empty()) {
    session.results.table_list += "\r\n\r\n" + found.Summary();
    if (const std::string modules = found.ClassModuleSummary(); !modules.empty())
      session.results.table_list += "\r\n" + modules;
    AddAnalysisEvent(session, AnalysisEvent{.kind = AnalysisEvent::Kind::kObjects, .objects = CountObjects(found.objects)});
    RebuildAnalysisLog(session);
    if (session.options.observer != nullptr) session.options.observer->OnAnalysisLog(session.results.analysis_log);
  }
  // The stored bytes went to the outputs; the session keeps what was read.
  for (AccessObject& object : found.objects) {
    object.data.clear();
    object.data.shrink_to_fit();
    session.results.access_objects.push_back(std::move(object));
  }
}

}  // namespace mendora
