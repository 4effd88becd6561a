// Keys, indexes and column properties of a recovered table.
#include "recovery/table_schema.h"

#include "reader/index_def.h"
#include "reader/property_blocks.h"
#include "reader/text_codec.h"

namespace mendora {

namespace {


void DescribeIndexes(const TableDef& table, OutputTable& out, LossAccount& losses) {
  if (table.real_index_count == 0 && table.index_count == 0) return;
  std::string problem;
  const std::optional<IndexDefinition> indexes = ReadIndexes(table, &problem);
  if (!indexes) {
    losses.PieceLost("Table " + out.name + ": its keys and indexes were not recovered: " + problem);
    return;
  }
  if (!problem.empty()) losses.PieceLost("Table " + out.name + ": " + problem);
  // A relation's index whose structure no index of the user's shares comes
  // too, marked: outputs that keep relations as Access does need it.
  std::vector<bool> shared(indexes->real.size(), false);
  for (const LogicalIndex& logical : indexes->logical) {
    if (logical.kind != IndexKind::kForeignKey) shared[static_cast<size_t>(logical.real_index)] = true;
  }
  for (const LogicalIndex& logical : indexes->logical) {
    const bool foreign_key = logical.kind == IndexKind::kForeignKey;
    if (foreign_key && shared[static_cast<size_t>(logical.real_index)]) continue;
    if (foreign_key) shared[static_cast<size_t>(logical.real_index)] = true;
    const RealIndex& real = indexes->real[static_cast<size_t>(logical.real_index)];
    OutputIndex index;
    index.name = logical.name;
    index.foreign_key = foreign_key;
    index.primary = logical.kind == IndexKind::kPrimaryKey;
    index.unique = index.primary || (real.flags & kIndexUnique) != 0;
    index.ignore_nulls = (real.flags & kIndexIgnoreNulls) != 0;
    index.required = index.primary || (real.flags & kIndexRequired) != 0;
    std::string missing;
    for (const IndexColumn& column : real.columns) {
      const ColumnDef* found = nullptr;
      for (const ColumnDef& candidate : table.columns) {
        if (candidate.column_number == column.column_number) found = &candidate;
      }
      if (found == nullptr) {
        missing = std::to_string(column.column_number);
        break;
      }
      index.columns.push_back(OutputIndexColumn{found->name, column.descending});
    }
    if (!missing.empty() || index.columns.empty()) {
      losses.PieceLost("Table " + out.name + ": index " + logical.name + " was not recovered: " +
                       (missing.empty() ? "it names no column" : "it names column number " + missing +
                                                                     ", which the table does not have"));
      continue;
    }
    out.indexes.push_back(std::move(index));
  }
}

void DescribeProperties(const TableDef& table, const std::string& blocks, OutputTable& out, LossAccount& losses) {
  if (blocks.empty()) return;
  const JetHandle& handle = *table.entry.handle;
  std::string problem;
  const std::vector<PropertyObject> objects =
      ReadPropertyBlocks(ByteView(reinterpret_cast<const uint8_t*>(blocks.data()), blocks.size()), handle.IsJet4(),
                         *handle.file->code_page, &problem);
  if (!problem.empty()) {
    losses.PieceLost("Table " + out.name + ": its column properties were not all recovered: " + problem);
  }
  for (size_t i = 0; i < objects.size(); ++i) {
    const PropertyObject& object = objects[i];
    OutputColumn* column = nullptr;
    // The first block is the table's own; its name is the table's or empty.
    if (i > 0 || !object.name.empty()) {
      for (OutputColumn& candidate : out.columns) {
        if (SameNameIgnoringCase(candidate.name, object.name)) column = &candidate;
      }
      // A block of a column since dropped.
      if (column == nullptr && i > 0) continue;
    }
    for (const Property& property : object.properties) {
      out.properties.push_back(
          OutputProperty{column ? column->name : std::string(), property.name, property.value, property.type, property.ddl});
      if (column == nullptr) continue;
      if (SameNameIgnoringCase(property.name, "Required")) column->required = IsTrue(property);
      if (SameNameIgnoringCase(property.name, "DefaultValue") && property.value.kind == ValueKind::kText) {
        column->default_value = property.value.bytes;
      }
    }
  }
}

}  // namespace

void DescribeSchema(const TableDef& table, const std::string& property_blocks, OutputTable& out,
                    LossAccount& losses) {
  const bool jet4 = table.entry.handle != nullptr && table.entry.handle->IsJet4();
  for (size_t i = 0; i < table.columns.size() && i < out.columns.size(); ++i) {
    const ColumnDef& column = table.columns[i];
    OutputColumn& described = out.columns[i];
    described.autonumber = column.type == kColumnLongInteger && column.IsAutoNumber();
    described.guid_autonumber = column.type == kColumnReplicationId && column.IsGuidAutoNumber();
    // Jet 4 keeps two bytes a character whether or not it compresses them.
    if (column.type == kColumnText) described.text_length = jet4 ? column.size / 2 : column.size;
  }
  DescribeIndexes(table, out, losses);
  DescribeProperties(table, property_blocks, out, losses);
}

}  // namespace mendora
