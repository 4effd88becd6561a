// Reading the catalog's own table and the complex columns' directory.
#include "recovery/catalog_objects.h"

#include <vector>

#include "reader/property_blocks.h"
#include "reader/row_cursor.h"
#include "reader/system_rows.h"
#include "reader/table_def.h"
#include "reader/text_codec.h"

namespace mendora {

namespace {

constexpr int32_t kCatalogPage = static_cast<int32_t>(kCatalogDefinitionPage);

// Keeps the first damage the read meets.
class FirstDamage final : public DamageReporter {
 public:
  void Report(const DamageReport& report) override {
    if (first.empty()) first = report.detail;
  }
  std::string first;
};

}  // namespace

void CatalogObjects::Load(JetHandle& handle) {
  FirstDamage damage;
  {
    ScopedDamageReporter redirect(handle, damage);
    LoadFrom(handle);
  }
  if (problem_.empty()) problem_ = damage.first;
}

void CatalogObjects::LoadFrom(JetHandle& handle) {
  loaded_ = true;
  problem_.clear();
  jet4_ = handle.IsJet4();
  code_page_ = handle.file->code_page;
  objects_.clear();
  table_properties_.clear();
  complex_.clear();
  TableDefPtr catalog = OpenTable(handle, "MSysObjects", kCatalogTable, kCatalogPage);
  if (!catalog) {
    problem_ = "the catalog's definition cannot be read";
    return;
  }
  if (!catalog->ColumnIndex("Id") || !catalog->ColumnIndex("Type") || !catalog->ColumnIndex("LvProp")) {
    problem_ = "the catalog's definition lacks its Id, Type or LvProp column";
  }
  {
    enum { kId, kName, kType, kFlags, kDatabase, kForeignName, kConnect, kLvProp };
    const SystemColumns columns(*catalog, {"Id", "Name", "Type", "Flags", "Database", "ForeignName", "Connect", "LvProp"});
    RowCursor cursor(*catalog);
    Row row;
    while (cursor.Next(row)) {
      CatalogObject object;
      const std::optional<int64_t> id = columns.Integer(row, kId);
      object.name = columns.TextOrBytes(row, kName);
      object.type = static_cast<int16_t>(columns.Integer(row, kType).value_or(0));
      object.flags = static_cast<uint32_t>(columns.Integer(row, kFlags).value_or(0));
      object.database = columns.TextOrBytes(row, kDatabase);
      object.foreign_name = columns.TextOrBytes(row, kForeignName);
      object.connect = columns.TextOrBytes(row, kConnect);
      object.properties = columns.TextOrBytes(row, kLvProp);
      if (object.type == kCatalogTable && id && columns.Get(row, kLvProp).kind == ValueKind::kBytes) {
        table_properties_[DefinitionPageOfId(static_cast<uint32_t>(*id), handle.PageCount())] = object.properties;
      }
      objects_.emplace(CatalogIdPage(id.value_or(0)), std::move(object));
    }
  }
  if (!handle.IsAce()) return;
  int32_t directory_page = -1;
  for (const auto& [page, object] : objects_) {
    if (object.type == kCatalogTable && object.name == "MSysComplexColumns") directory_page = page;
  }
  if (directory_page < 0) return;
  TableDefPtr directory = OpenTable(handle, "MSysComplexColumns", kCatalogTable, directory_page);
  if (!directory) return;
  enum { kColumnName, kComplexId, kTableId, kFlatTableId, kTemplateId };
  const SystemColumns columns(*directory,
                              {"ColumnName", "ComplexID", "ConceptualTableID", "FlatTableID", "ComplexTypeObjectID"});
  RowCursor cursor(*directory);
  Row row;
  while (cursor.Next(row)) {
    ComplexColumnInfo info;
    info.column = columns.TextOrBytes(row, kColumnName);
    info.table = CatalogIdPage(columns.Integer(row, kTableId).value_or(0));
    info.flat_table = CatalogIdPage(columns.Integer(row, kFlatTableId).value_or(0));
    if (const CatalogObject* flat = Find(info.flat_table)) info.flat_name = flat->name;
    if (const CatalogObject* kind = Find(CatalogIdPage(columns.Integer(row, kTemplateId).value_or(0)))) {
      info.kind = ComplexKindOfTemplate(kind->name);
    }
    complex_[static_cast<uint32_t>(columns.Integer(row, kComplexId).value_or(0))] = std::move(info);
  }
}

const CatalogObject* CatalogObjects::Find(int32_t page) const {
  const CatalogObject* found = nullptr;
  for (auto [it, end] = objects_.equal_range(page); it != end; ++it) {
    if (it->second.type == kCatalogTable) return &it->second;
    if (found == nullptr) found = &it->second;
  }
  return found;
}

const std::string& CatalogObjects::TableProperties(int32_t page) const {
  static const std::string kNone;
  const auto found = table_properties_.find(page);
  return found == table_properties_.end() ? kNone : found->second;
}

const ComplexColumnInfo* CatalogObjects::Complex(uint32_t complex_id) const {
  const auto found = complex_.find(complex_id);
  return found == complex_.end() ? nullptr : &found->second;
}

std::map<std::string, int> CatalogObjects::ResultTypes(int32_t page) const {
  std::map<std::string, int> types;
  const CatalogObject* object = Find(page);
  if (object == nullptr || object->properties.empty() || code_page_ == nullptr) return types;
  const std::string& blocks = object->properties;
  // Damage in the blocks is counted where the table's own properties are
  // read (table_schema.cc); here it only ends the list early.
  std::string problem;
  const std::vector<PropertyObject> objects =
      ReadPropertyBlocks(ByteView(reinterpret_cast<const uint8_t*>(blocks.data()), blocks.size()), jet4_,
                         *code_page_, &problem);
  for (const PropertyObject& column : objects) {
    if (column.name.empty()) continue;  // the table's own block
    const Property* result = FindProperty(column, "ResultType");
    if (result == nullptr) continue;
    // The type code is the value's first byte, whatever type the property
    // was stored as.
    if (result->value.kind == ValueKind::kInteger) {
      types[column.name] = static_cast<uint8_t>(result->value.integer);
    } else if (result->value.kind == ValueKind::kBytes && !result->value.bytes.empty()) {
      types[column.name] = static_cast<uint8_t>(result->value.bytes[0]);
    }
  }
  return types;
}

}  // namespace mendora
