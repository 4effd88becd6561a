// Reading the catalog's own table and the complex columns' directory.
#include "recovery/catalog_objects.h"

#include <vector>

#include "reader/row_cursor.h"
#include "reader/table_def.h"
#include "reader/text_codec.h"

namespace mendora {

namespace {

constexpr int32_t kCatalogPage = static_cast<int32_t>(kCatalogDefinitionPage);
constexpr size_t kMaxPropertyBlocks = 4096;


// Keeps the first damage the read meets.
class FirstDamage final : public DamageReporter {
 public:
  void Report(const DamageReport& report) override {
    if (first.empty()) first = report.detail;
  }
  std::string first;
};

// The rows of `table` with the named columns' values; a column the table
// lacks stays null.
template <typename Take>
void EachRow(TableDef& table, const std::vector<std::string>& names, Take&& take) {
  std::vector<int> at;
  for (const std::string& name : names) {
    const std::optional<size_t> index = table.ColumnIndex(name);
    at.push_back(index ? static_cast<int>(*index) : -1);
  }
  static const Value kNull;
  std::vector<const Value*> values(names.size());
  RowCursor cursor(table);
  Row row;
  while (cursor.Next(row)) {
    for (size_t i = 0; i < at.size(); ++i) values[i] = at[i] >= 0 ? &row.values[static_cast<size_t>(at[i])] : &kNull;
    take(values);
  }
}

std::string Text(const Value* value) { return value->kind == ValueKind::kText || value->kind == ValueKind::kBytes ? value->bytes : ""; }
int64_t Integer(const Value* value) { return value->kind == ValueKind::kInteger ? value->integer : 0; }

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
  EachRow(*catalog, {"Id", "Name", "Type", "Flags", "Database", "ForeignName", "Connect", "LvProp"},
          [&](const std::vector<const Value*>& v) {
            CatalogObject object;
            object.name = Text(v[1]);
            object.type = static_cast<int16_t>(Integer(v[2]));
            object.flags = static_cast<uint32_t>(Integer(v[3]));
            object.database = Text(v[4]);
            object.foreign_name = Text(v[5]);
            object.connect = Text(v[6]);
            object.properties = Text(v[7]);
            if (object.type == kCatalogTable && v[0]->kind == ValueKind::kInteger && v[7]->kind == ValueKind::kBytes) {
              table_properties_[DefinitionPageOfId(static_cast<uint32_t>(Integer(v[0])), handle.PageCount())] =
                  object.properties;
            }
            objects_.emplace(CatalogIdPage(Integer(v[0])), std::move(object));
          });
  if (!handle.IsAce()) return;
  int32_t directory_page = -1;
  for (const auto& [page, object] : objects_) {
    if (object.type == kCatalogTable && object.name == "MSysComplexColumns") directory_page = page;
  }
  if (directory_page < 0) return;
  TableDefPtr directory = OpenTable(handle, "MSysComplexColumns", kCatalogTable, directory_page);
  if (!directory) return;
  EachRow(*directory, {"ColumnName", "ComplexID", "ConceptualTableID", "FlatTableID", "ComplexTypeObjectID"},
          [&](const std::vector<const Value*>& v) {
            ComplexColumnInfo info;
            info.column = Text(v[0]);
            info.table = CatalogIdPage(Integer(v[2]));
            info.flat_table = CatalogIdPage(Integer(v[3]));
            if (const CatalogObject* flat = Find(info.flat_table)) info.flat_name = flat->name;
            if (const CatalogObject* kind = Find(CatalogIdPage(Integer(v[4])))) info.kind = ComplexKindOfTemplate(kind->name);
            complex_[static_cast<uint32_t>(Integer(v[1]))] = std::move(info);
          });
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
  if (object == nullptr) return types;
  // Each column block names its column; the ones with a ResultType are the
  // calculated ones. Walk the blocks once for their names.
  const std::string& blocks = object->properties;
  const ByteView view(reinterpret_cast<const uint8_t*>(blocks.data()), blocks.size());
  if (blocks.size() < 4 || blocks.compare(0, 3, "MR2") != 0) return types;
  size_t at = 4;
  for (size_t n = 0; n < kMaxPropertyBlocks && at + 6 <= blocks.size(); ++n) {
    const uint32_t length = *view.U32(at);
    const uint16_t type = *view.U16(at + 4);
    if (length < 6 || length > blocks.size() - at) break;
    if (type != 0x80) {
      const std::optional<uint32_t> header = view.U32(at + 6);
      const std::optional<uint16_t> name_length = view.U16(at + 10);
      if (header && name_length) {
        if (const std::optional<ByteView> name = view.Sub(at + 12, *name_length)) {
          const std::string column = Utf16LeToUtf8(*name);
          if (const std::optional<std::string> result = ColumnProperty(blocks, column, "ResultType")) {
            if (!result->empty()) types[column] = static_cast<uint8_t>((*result)[0]);
          }
        }
      }
    }
    at += length;
  }
  return types;
}

// The blocks: "MR2\0", then blocks of (32-bit length, 16-bit type, body).
// Type 0x80 is the pool of property names (16-bit length, UTF-16LE each);
// every other block holds one object's or column's properties: a header of
// its own length (32 bits) with the column's name (16-bit length, UTF-16LE)
// in it, then entries of (16-bit length, flag byte, data type byte, 16-bit
// name index, 16-bit value length, value).
std::optional<std::string> ColumnProperty(const std::string& blocks, const std::string& column,
                                          const std::string& property) {
  const ByteView view(reinterpret_cast<const uint8_t*>(blocks.data()), blocks.size());
  if (blocks.size() < 4 || blocks.compare(0, 3, "MR2") != 0) return std::nullopt;
  std::vector<std::string> names;
  size_t at = 4;
  for (size_t n = 0; n < kMaxPropertyBlocks && at + 6 <= blocks.size(); ++n) {
    const uint32_t length = *view.U32(at);
    const uint16_t type = *view.U16(at + 4);
    if (length < 6 || length > blocks.size() - at) break;
    const ByteView body = *view.Sub(at + 6, length - 6);
    if (type == 0x80) {
      for (size_t p = 0; p + 2 <= body.size();) {
        const uint16_t name_length = *body.U16(p);
        const std::optional<ByteView> name = body.Sub(p + 2, name_length);
        if (!name) break;
        names.push_back(Utf16LeToUtf8(*name));
        p += 2 + name_length;
      }
    } else {
      const std::optional<uint32_t> header = body.U32(0);
      const std::optional<uint16_t> name_length = body.U16(4);
      const std::optional<ByteView> name =
          name_length ? body.Sub(6, *name_length) : std::nullopt;
      if (header && name && *header <= body.size() && Utf16LeToUtf8(*name) == column) {
        for (size_t p = *header; p + 8 <= body.size();) {
          const uint16_t entry = *body.U16(p);
          const uint16_t index = *body.U16(p + 4);
          const uint16_t value_length = *body.U16(p + 6);
          if (entry < 8) break;
          const std::optional<ByteView> value = body.Sub(p + 8, value_length);
          if (value && index < names.size() && names[index] == property) {
            return std::string(reinterpret_cast<const char*>(value->data()), value->size());
          }
          p += entry;
        }
      }
    }
    at += length;
  }
  return std::nullopt;
}

}  // namespace mendora
