// The pass's step for forms, reports, macros and modules: read them once the
// tables are done, hand them to every output, and account for them.
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

}  // namespace

void RecoverAccessObjects(RecoverySession& session, JetHandle& handle) {
  session.control.CheckPoint();
  AccessObjects found;
  try {
    found = ReadAccessObjects(handle, session.object_catalog);
  } catch (const std::exception& error) {
    session.losses.PieceLost(std::string("Forms, reports, macros and modules were not recovered: ") + error.what());
    return;
  }
  if (!found.any) return;
  for (const std::string& line : found.losses) session.losses.PieceLost(line);
  for (const AccessObject& object : found.objects) {
    session.control.CheckPoint();
    const OutputObject out = object.ForOutput();
    for (RecoveryOutput* output : session.active_outputs) output->AddObject(out);
  }
  if (!found.storage.rows.empty()) {
    for (RecoveryOutput* output : session.active_outputs) output->AddObjectStorage(found.storage);
  }
  // A file of tables alone (its storage holding no object) gets no line.
  if (!found.objects.empty()) {
    session.TableList += "\r\n\r\n" + found.Summary();
    if (const std::string modules = found.ClassModuleSummary(); !modules.empty()) session.TableList += "\r\n" + modules;
    AddAnalysisEvent(session, AnalysisEvent{.kind = AnalysisEvent::Kind::kObjects, .objects = CountObjects(found.objects)});
    RebuildAnalysisLog(session);
    if (session.observer != nullptr) session.observer->OnAnalysisLog(session.AnalysisLog);
  }
  // The stored bytes went to the outputs; the session keeps what was read.
  for (AccessObject& object : found.objects) {
    object.data.clear();
    object.data.shrink_to_fit();
    session.access_objects.push_back(std::move(object));
  }
}

}  // namespace mendora
