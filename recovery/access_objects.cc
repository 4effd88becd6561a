// Forms, reports, macros and VBA modules (see access_objects.h).
#include "recovery/access_objects.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>

#include "reader/access_definitions.h"
#include "reader/text_codec.h"
#include "reader/vba_compression.h"
#include "reader/vba_project.h"
#include "recovery/recovery_steps.h"

namespace mendora {

namespace {

constexpr const char* kUtf16ByteOrderMark = "\xFF\xFE";
// Decompressed VBA source, per module and for the whole project.
constexpr size_t kMostModuleBytes = size_t{64} << 20;
constexpr size_t kMostSourceBytes = size_t{512} << 20;

const char* ContainerOf(AccessObjectKind kind) {
  switch (kind) {
    case AccessObjectKind::kForm: return kFormsStorage;
    case AccessObjectKind::kReport: return kReportsStorage;
    case AccessObjectKind::kMacro: return kMacrosStorage;
    default: return kModulesStorage;
  }
}

std::string Title(AccessObjectKind kind) {
  std::string name = AccessObjectKindName(kind);
  name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
  return name;
}

// The loss line of an object that was not read whole.
std::string LossLine(const AccessObject& object) {
  const std::string what = object.owner.empty() ? Title(object.kind) + " " + object.name
                                                : "The module " + object.name + " of " + object.owner;
  return what + (object.partial ? " was recovered only in part: " : " was not recovered: ") + object.loss;
}

// A property's text on one line: its line breaks as "\n".
std::string OneLine(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\r' || text[i] == '\n') {
      out += "\\n";
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// What a form's or report's definition says, as lines of text.
std::string Describe(const AccessObject& object, const StorageTree& tree, const StorageNode& storage, int code_page) {
  std::string text = Title(object.kind) + ": " + object.name + "\n";
  std::vector<std::string> notes;
  const FormDefinition definition =
      ReadFormDefinition(ByteView(reinterpret_cast<const uint8_t*>(object.data.data()), object.data.size()));
  if (!definition.problem.empty()) notes.push_back(definition.problem);
  std::vector<std::string> controls;
  std::set<std::string> named;  // controls the definition names
  if (definition.layout_known && !definition.objects.empty()) {
    const auto& own = definition.objects.front().texts;
    auto line = [&](const char* label, int id) {
      const auto found = own.find(id);
      if (found != own.end() && !found->second.empty()) text += std::string(label) + ": " + OneLine(found->second) + "\n";
    };
    line("Record source", kPropertyRecordSource);
    line("Caption", kPropertyCaption);
    for (size_t i = 1; i < definition.objects.size(); ++i) {
      const DefinitionObject& control = definition.objects[i];
      const auto name = control.texts.find(kPropertyName);
      if (name == control.texts.end()) continue;  // the default of a control type, not a control
      named.insert(name->second);
      std::string entry = "  " + ControlTypeName(control.type) + " " + name->second;
      for (const auto& [id, label] : {std::pair{kPropertyCaption, "caption"}, std::pair{kPropertyControlSource, "control source"},
                                      std::pair{kPropertySourceObject, "source object"},
                                      std::pair{kPropertyRowSource, "row source"}}) {
        const auto value = control.texts.find(id);
        if (value != control.texts.end() && !value->second.empty()) entry += "; " + std::string(label) + ": " + OneLine(value->second);
      }
      controls.push_back(entry);
    }
  }
  std::vector<std::string> fields;
  if (const StorageNode* info = tree.Child(storage, kTypeInfoStream); info != nullptr && info->data) {
    std::string problem;
    const std::vector<ControlEntry> entries =
        ReadTypeInfo(ByteView(reinterpret_cast<const uint8_t*>(info->data->data()), info->data->size()), code_page, problem);
    if (!problem.empty()) notes.push_back(problem);
    for (const ControlEntry& entry : entries) {
      if (entry.type == kFieldEntry) {
        fields.push_back(entry.name);
      } else if (named.count(entry.name) == 0) {
        // Not reached in the definition (an older layout, or damage): the
        // class's own list still names it.
        controls.push_back("  " + ControlTypeName(entry.type) + " " + entry.name);
      }
    }
  }
  if (!controls.empty()) {
    text += "Controls:\n";
    for (const std::string& control : controls) text += control + "\n";
  }
  if (!fields.empty()) {
    text += "Fields of the record source:";
    for (size_t i = 0; i < fields.size(); ++i) text += (i == 0 ? " " : ", ") + fields[i];
    text += "\n";
  }
  for (const std::string& note : notes) text += "Not read: " + note + "\n";
  return text;
}

// A macro read as rows: one line per row.
std::string MacroRowsText(const std::string& name, const MacroDefinition& macro) {
  static const char* const kLabels[] = {"Column 0", "Comment", "Condition", "Macro name"};
  std::string text = "Macro: " + name + "\n";
  for (const MacroRow& row : macro.rows) {
    text += "Row " + std::to_string(row.row) + ":";
    for (size_t c = 0; c < 4; ++c) {
      if (row.columns[c]) text += std::string(" ") + kLabels[c] + ": " + *row.columns[c] + ";";
    }
    if (row.action != 0) text += " Action: " + MacroActionName(row.action) + ";";
    size_t last = 4;
    for (size_t c = 4; c < row.columns.size(); ++c) {
      if (row.columns[c]) last = c + 1;
    }
    if (last > 4) {
      text += " Arguments:";
      for (size_t c = 4; c < last; ++c) text += std::string(c == 4 ? " " : ", ") + row.columns[c].value_or("");
    }
    if (text.back() == ';') text.pop_back();
    text += "\n";
  }
  if (!macro.problem.empty()) text += "Not read: " + macro.problem + "\n";
  return text;
}

// The objects of one container storage (Forms, Reports, Scripts): those the
// catalog names and those its list of names holds.
void ReadContainer(const StorageTree& tree, AccessObjectKind kind, const ObjectCatalog& catalog, int code_page,
                   AccessObjects& result) {
  const StorageNode* container = tree.empty() ? nullptr : tree.Find({ContainerOf(kind)});
  std::vector<DirDataEntry> listed;
  std::string list_problem;
  if (container != nullptr) {
    for (const char* stream : {kDirDataStream, kDirDataCopyStream}) {
      const StorageNode* node = tree.Child(*container, stream);
      if (node == nullptr || !node->data) {
        if (list_problem.empty()) list_problem = node == nullptr ? "its list of names is missing" : "its list of names is lost (" + node->lost + ")";
        continue;
      }
      std::string problem;
      listed = ReadDirData(ByteView(reinterpret_cast<const uint8_t*>(node->data->data()), node->data->size()), problem);
      if (problem.empty()) {
        list_problem.clear();
        break;
      }
      if (list_problem.empty()) list_problem = problem;
    }
  }
  std::map<std::string, uint32_t> storage_of;
  for (const DirDataEntry& entry : listed) storage_of.emplace(AsciiLower(entry.name), entry.storage);

  std::vector<std::pair<std::string, bool>> names;  // name, in the catalog
  std::set<std::string> seen;
  for (const ObjectCatalog::Entry& entry : catalog.entries) {
    if (entry.kind == kind && seen.insert(AsciiLower(entry.name)).second) names.emplace_back(entry.name, true);
  }
  for (const DirDataEntry& entry : listed) {
    if (seen.insert(AsciiLower(entry.name)).second) names.emplace_back(entry.name, false);
  }
  std::set<std::string> used_storages;
  auto read = [&](AccessObject& object, const StorageNode& storage) {
    const StorageNode* blob = tree.Child(storage, kBlobStream);
    if (blob == nullptr) {
      object.loss = "its definition (the stream Blob) is missing";
      return;
    }
    if (!blob->data) {
      object.loss = "its definition could not be read: " + blob->lost;
      return;
    }
    object.data = *blob->data;
    object.size = object.data.size();
    object.recovered = true;
    if (kind == AccessObjectKind::kMacro) {
      const MacroDefinition macro =
          ReadMacroDefinition(ByteView(reinterpret_cast<const uint8_t*>(object.data.data()), object.data.size()));
      if (!macro.xml.empty()) {
        object.text = macro.xml;
        object.data = kUtf16ByteOrderMark + macro.xml_utf16;
      } else {
        object.text = MacroRowsText(object.name, macro);
        object.data.clear();
      }
      if (!macro.problem.empty()) {
        object.recovered = false;
        object.partial = true;
        object.loss = "its rows are damaged: " + macro.problem;
      }
    } else {
      object.text = Describe(object, tree, storage, code_page);
    }
  };
  for (const auto& [name, in_catalog] : names) {
    AccessObject object;
    object.kind = kind;
    object.name = name;
    object.in_catalog = in_catalog;
    const auto number = storage_of.find(AsciiLower(name));
    const StorageNode* storage = nullptr;
    if (container == nullptr) {
      object.loss = tree.empty() ? "the table that holds it could not be read" : std::string("the storage ") + ContainerOf(kind) + " is lost";
    } else if (number == storage_of.end()) {
      object.loss = list_problem.empty() ? std::string("the list of names in ") + ContainerOf(kind) + " has no entry for it"
                                         : std::string("the list of names in ") + ContainerOf(kind) + " is damaged: " + list_problem;
    } else if ((storage = tree.Child(*container, std::to_string(number->second))) == nullptr) {
      object.loss = "its storage rows are lost";
    } else {
      used_storages.insert(std::to_string(number->second));
      read(object, *storage);
    }
    result.objects.push_back(std::move(object));
  }
  // Storages no list names: objects whose names are lost with the list.
  if (container != nullptr && !list_problem.empty()) {
    for (const size_t child : container->children) {
      const StorageNode& storage = tree.nodes()[child];
      if (!storage.storage || used_storages.count(storage.name) != 0) continue;
      if (storage.name.empty() || !std::all_of(storage.name.begin(), storage.name.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
      AccessObject object;
      object.kind = kind;
      object.name = Title(kind) + " in storage " + storage.name;
      read(object, storage);
      result.objects.push_back(std::move(object));
    }
  }
}

// The standard and class modules, and the modules of forms and reports.
void ReadModules(const StorageTree& tree, const ObjectCatalog& catalog, AccessObjects& result, int& code_page) {
  // The names of modules: the catalog's and the Modules storage's list.
  std::vector<std::pair<std::string, bool>> names;
  std::set<std::string> seen;
  for (const ObjectCatalog::Entry& entry : catalog.entries) {
    if (entry.kind == AccessObjectKind::kModule && seen.insert(AsciiLower(entry.name)).second) names.emplace_back(entry.name, true);
  }
  if (const StorageNode* modules = tree.empty() ? nullptr : tree.Find({kModulesStorage})) {
    for (const char* stream : {kDirDataStream, kDirDataCopyStream}) {
      const StorageNode* node = tree.Child(*modules, stream);
      if (node == nullptr || !node->data) continue;
      std::string problem;
      for (const DirDataEntry& entry :
           ReadDirData(ByteView(reinterpret_cast<const uint8_t*>(node->data->data()), node->data->size()), problem)) {
        if (seen.insert(AsciiLower(entry.name)).second) names.emplace_back(entry.name, false);
      }
      if (problem.empty()) break;
    }
  }
  std::set<std::string> forms;
  std::set<std::string> reports;
  for (const AccessObject& object : result.objects) {
    if (object.kind == AccessObjectKind::kForm) forms.insert(AsciiLower(object.name));
    if (object.kind == AccessObjectKind::kReport) reports.insert(AsciiLower(object.name));
  }

  const StorageNode* vba = tree.empty() ? nullptr : tree.Find({kVbaStorage, kVbaProjectStorage, kVbaStorage});
  std::string project_problem;
  VbaProjectDir project;
  if (vba == nullptr) {
    project_problem = tree.empty() ? "the table that holds it could not be read" : "the VBA project is lost";
  } else if (const StorageNode* dir = tree.Child(*vba, kVbaDirStream); dir == nullptr || !dir->data) {
    project_problem = dir == nullptr ? "the VBA project's list of modules is missing"
                                     : "the VBA project's list of modules could not be read: " + dir->lost;
  } else {
    const VbaDecompression unpacked = DecompressVba(ByteView(reinterpret_cast<const uint8_t*>(dir->data->data()), dir->data->size()));
    project = ReadVbaDir(ByteView(reinterpret_cast<const uint8_t*>(unpacked.bytes.data()), unpacked.bytes.size()));
    if (!unpacked.whole()) project_problem = "the VBA project's list of modules does not decompress: " + unpacked.problem;
    if (project_problem.empty() && !project.problem.empty()) project_problem = "the VBA project's list of modules is damaged: " + project.problem;
    code_page = project.code_page;
  }

  std::map<std::string, size_t> standalone;  // folded name -> index in `names`
  for (size_t i = 0; i < names.size(); ++i) standalone.emplace(AsciiLower(names[i].first), i);
  std::vector<AccessObject> listed(names.size());
  std::vector<bool> found(names.size(), false);
  std::vector<AccessObject> of_forms;
  // What the sources may take in all: a crafted stream of a few bytes per
  // 4096 must not fill the memory.
  size_t budget = kMostSourceBytes;
  for (const VbaModuleEntry& entry : project.modules) {
    AccessObject object;
    object.kind = AccessObjectKind::kModule;
    object.name = entry.name;
    object.class_module = entry.class_module;
    const std::string folded = AsciiLower(entry.name);
    const auto named = standalone.find(folded);
    if (named == standalone.end()) {
      for (const auto& [prefix, owners] : {std::pair{std::string("form_"), &forms}, std::pair{std::string("report_"), &reports}}) {
        if (folded.rfind(prefix, 0) == 0 && (owners->count(folded.substr(prefix.size())) != 0 || object.owner.empty())) {
          object.owner = entry.name.substr(prefix.size());
        }
      }
    }
    if (const StorageNode* stream = tree.Child(*vba, entry.stream); stream == nullptr) {
      object.loss = "its stream " + entry.stream + " is missing";
    } else if (!stream->data) {
      object.loss = "its stream could not be read: " + stream->lost;
    } else if (entry.source_offset > stream->data->size()) {
      object.loss = "its source would start past the end of its stream";
    } else {
      const ByteView source(reinterpret_cast<const uint8_t*>(stream->data->data()) + entry.source_offset,
                            stream->data->size() - entry.source_offset);
      VbaDecompression unpacked = DecompressVba(source, std::min(budget, kMostModuleBytes));
      budget -= std::min(budget, unpacked.bytes.size());
      object.data = std::move(unpacked.bytes);
      object.size = object.data.size();
      object.text = CodePageToUtf8(object.data, project.code_page);
      object.recovered = unpacked.whole();
      if (!unpacked.whole()) {
        object.partial = !object.data.empty();
        object.loss = "its source does not decompress: " + unpacked.problem;
      }
    }
    if (named != standalone.end()) {
      object.name = names[named->second].first;
      object.in_catalog = names[named->second].second;
      found[named->second] = true;
      listed[named->second] = std::move(object);
    } else if (!object.owner.empty()) {
      of_forms.push_back(std::move(object));
    } else {
      listed.push_back(std::move(object));
      found.push_back(true);
    }
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if (found[i]) continue;
    AccessObject& object = listed[i];
    object.kind = AccessObjectKind::kModule;
    object.name = names[i].first;
    object.in_catalog = names[i].second;
    object.loss = project_problem.empty() ? "the VBA project does not list it" : project_problem;
  }
  for (AccessObject& object : listed) result.objects.push_back(std::move(object));
  for (AccessObject& object : of_forms) result.objects.push_back(std::move(object));
  if (!project_problem.empty() && vba != nullptr) result.losses.push_back("The VBA project: " + project_problem);
}

// Puts the storages whose parent's row is gone back where they belong: a
// group holding the VBA project's `dir` is the project's storage; a group
// whose list of names names forms (reports, macros, modules) the catalog
// knows is that container.
void AdoptOrphans(StorageTree& tree, const ObjectCatalog& catalog, std::vector<std::string>& problems) {
  for (size_t g = 0; g < tree.orphans().size(); ++g) {
    std::set<std::string> names;
    std::optional<std::string> list;
    for (const size_t node : tree.orphans()[g].nodes) {
      const StorageNode& child = tree.nodes()[node];
      names.insert(AsciiLower(PlainStorageName(child.name)));
      const std::string_view plain = PlainStorageName(child.name);
      if ((plain == kDirDataStream || (plain == kDirDataCopyStream && !list)) && child.data) list = *child.data;
    }
    if (names.empty() || tree.empty()) continue;
    if (names.count(kVbaDirStream) != 0 && names.count("_vba_project") != 0) {
      const size_t project = tree.StorageAt(tree.StorageAt(0, kVbaStorage), kVbaProjectStorage);
      if (tree.Child(tree.nodes()[project], kVbaStorage) == nullptr) {
        tree.Adopt(g, project, kVbaStorage);
        problems.push_back("the row of the VBA project's storage is gone; its streams are read all the same");
      }
      continue;
    }
    if (!list) continue;
    std::string problem;
    std::map<AccessObjectKind, size_t> matches;
    for (const DirDataEntry& entry : ReadDirData(ByteView(reinterpret_cast<const uint8_t*>(list->data()), list->size()), problem)) {
      for (const ObjectCatalog::Entry& known : catalog.entries) {
        if (AsciiLower(known.name) == AsciiLower(entry.name)) ++matches[known.kind];
      }
    }
    if (matches.empty()) continue;
    const AccessObjectKind kind =
        std::max_element(matches.begin(), matches.end(), [](const auto& a, const auto& b) { return a.second < b.second; })->first;
    if (tree.Child(tree.nodes()[0], ContainerOf(kind)) != nullptr) continue;
    tree.Adopt(g, 0, ContainerOf(kind));
    problems.push_back(std::string("the row of the storage ") + ContainerOf(kind) +
                       " is gone; the storages under it are read all the same");
  }
}

}  // namespace

const char* AccessObjectKindName(AccessObjectKind kind) {
  switch (kind) {
    case AccessObjectKind::kForm: return "form";
    case AccessObjectKind::kReport: return "report";
    case AccessObjectKind::kMacro: return "macro";
    default: return "module";
  }
}

OutputObject AccessObject::ForOutput() const {
  OutputObject out;
  out.kind = AccessObjectKindName(kind);
  out.name = name;
  switch (kind) {
    case AccessObjectKind::kForm: out.extension = "form"; break;
    case AccessObjectKind::kReport: out.extension = "report"; break;
    case AccessObjectKind::kMacro: out.extension = data.empty() ? "txt" : "xml"; break;
    default: out.extension = class_module ? "cls" : "bas"; break;
  }
  out.text = text;
  out.data = data;
  out.recovered = recovered;
  return out;
}

void NoteObjectCatalogRow(ObjectCatalog& catalog, int32_t type, const std::string& name, int32_t definition_page,
                          bool deleted) {
  if (deleted || name.empty()) return;
  if (type == kCatalogTable) {
    if (name == kAccessStorageTable && catalog.storage_table == 0) catalog.storage_table = definition_page;
    if (name == kAccessObjectsTable && catalog.objects_table == 0) catalog.objects_table = definition_page;
    return;
  }
  AccessObjectKind kind;
  switch (type) {
    case kCatalogForm: kind = AccessObjectKind::kForm; break;
    case kCatalogReport: kind = AccessObjectKind::kReport; break;
    case kCatalogMacro: kind = AccessObjectKind::kMacro; break;
    case kCatalogModule: kind = AccessObjectKind::kModule; break;
    default: return;
  }
  catalog.entries.push_back(ObjectCatalog::Entry{kind, name});
}

ObjectCatalog ScanObjectCatalog(JetHandle& handle) {
  ObjectCatalog catalog;
  for (uint32_t page = 0; page < handle.PageCount(); ++page) {
    if (ReadPage(handle, page) == 0) continue;
    if (handle.page[0] != kDataPageType || handle.page[1] != kPageMark ||
        handle.Page().U32(kPageOwnerPos).value_or(0) != kCatalogDefinitionPage) {
      continue;
    }
    const PageSlots slots(handle.Page(), *handle.format);
    for (uint32_t j = 0; j < slots.count(); ++j) {
      CatalogRecord record;
      if (!ReadCatalogRecord(handle, slots, static_cast<int>(j), record)) continue;
      NoteObjectCatalogRow(catalog, record.object_type, record.name, record.definition_page, record.deleted);
    }
  }
  return catalog;
}

AccessObjects ReadAccessObjects(JetHandle& handle, const ObjectCatalog& catalog) {
  AccessObjects result;
  result.any = !catalog.entries.empty() || catalog.storage_table != 0 || catalog.objects_table != 0;
  if (!result.any) return result;
  if (!handle.IsJet4()) {
    for (const ObjectCatalog::Entry& entry : catalog.entries) {
      AccessObject object;
      object.kind = entry.kind;
      object.name = entry.name;
      object.in_catalog = true;
      object.loss = "Mendora does not read the objects of Access 97 files";
      result.objects.push_back(std::move(object));
    }
  } else {
    StorageTree tree;
    std::vector<std::string> problems;
    if (catalog.storage_table != 0) {
      tree.ReadStorageTable(handle, catalog.storage_table);
      problems = tree.problems();
      AdoptOrphans(tree, catalog, problems);
    }
    if (tree.empty() && catalog.objects_table != 0) {
      StorageTree chunks;
      chunks.ReadObjectsTable(handle, catalog.objects_table);
      problems.insert(problems.end(), chunks.problems().begin(), chunks.problems().end());
      tree = std::move(chunks);
    }
    if (tree.empty() && catalog.storage_table == 0 && catalog.objects_table == 0 && !catalog.entries.empty()) {
      problems.push_back("the table that holds them (MSysAccessStorage or MSysAccessObjects) is missing");
    }
    for (const std::string& problem : problems) result.losses.push_back("Forms, reports, macros and modules: " + problem);
    result.storage = tree.source();
    int code_page = 1252;
    // Forms and reports the storage alone names own modules too; their lists
    // of controls are in the code page the VBA project gives.
    AccessObjects containers;
    ReadContainer(tree, AccessObjectKind::kForm, catalog, code_page, containers);
    ReadContainer(tree, AccessObjectKind::kReport, catalog, code_page, containers);
    ReadContainer(tree, AccessObjectKind::kMacro, catalog, code_page, containers);
    AccessObjects modules;
    for (const AccessObject& object : containers.objects) {
      if (object.kind == AccessObjectKind::kMacro) continue;
      AccessObject owner;
      owner.kind = object.kind;
      owner.name = object.name;
      modules.objects.push_back(std::move(owner));
    }
    ReadModules(tree, catalog, modules, code_page);
    if (code_page != 1252) {
      containers.objects.clear();
      ReadContainer(tree, AccessObjectKind::kForm, catalog, code_page, containers);
      ReadContainer(tree, AccessObjectKind::kReport, catalog, code_page, containers);
      ReadContainer(tree, AccessObjectKind::kMacro, catalog, code_page, containers);
    }
    for (AccessObject& object : containers.objects) result.objects.push_back(std::move(object));
    for (AccessObject& object : modules.objects) {
      if (object.kind == AccessObjectKind::kModule) result.objects.push_back(std::move(object));
    }
    result.losses.insert(result.losses.end(), modules.losses.begin(), modules.losses.end());
  }
  for (const AccessObject& object : result.objects) {
    if (!object.recovered) result.losses.push_back(LossLine(object));
  }
  return result;
}

std::string AccessObjects::Summary() const {
  size_t counts[4] = {0, 0, 0, 0};
  size_t sources = 0;
  for (const AccessObject& object : objects) {
    if (!object.owner.empty()) continue;
    ++counts[static_cast<int>(object.kind)];
    if (object.kind == AccessObjectKind::kModule && object.recovered) ++sources;
  }
  return "Forms: " + std::to_string(counts[0]) + ", Reports: " + std::to_string(counts[1]) + ", Macros: " +
         std::to_string(counts[2]) + ", Modules: " + std::to_string(counts[3]) + ", the source of " +
         std::to_string(sources) + " recovered";
}

std::string AccessObjects::ClassModuleSummary() const {
  size_t count = 0;
  size_t sources = 0;
  for (const AccessObject& object : objects) {
    if (object.owner.empty()) continue;
    ++count;
    if (object.recovered) ++sources;
  }
  if (count == 0) return std::string();
  return "Form and report modules: " + std::to_string(count) + ", the source of " + std::to_string(sources) + " recovered";
}

}  // namespace mendora
