// An output that keeps every table it is offered, values rendered as text, for tests.
#ifndef MENDORA_TESTS_SUPPORT_RECORDING_SINK_H_
#define MENDORA_TESTS_SUPPORT_RECORDING_SINK_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "reader/value_render.h"
#include "recovery/recovery_output.h"

namespace mendora::testing {

struct RecordedTable {
  int32_t definition_page = 0;
  std::vector<OutputColumn> columns;
  std::vector<std::vector<std::optional<std::string>>> rows;
  std::vector<mendora::Row> typed_rows;

  std::vector<std::string> ColumnNames() const {
    std::vector<std::string> names;
    for (const OutputColumn& column : columns) names.push_back(column.name);
    return names;
  }
};

class RecordingSink : public RecoveryOutput {
 public:
  void BeginTable(const OutputTable& table) override {
    order.push_back(table.name);
    current = &tables[table.name];
    current->columns = table.columns;
    current->definition_page = table.definition_page;
  }
  void AddRow(const mendora::Row& row) override {
    std::vector<std::optional<std::string>> rendered;
    for (const mendora::Value& value : row.values) {
      rendered.push_back(value.IsNull() ? std::nullopt : std::optional<std::string>(RenderValue(value)));
    }
    current->rows.push_back(std::move(rendered));
    current->typed_rows.push_back(row);
  }
  void EndTable(int64_t) override {}
  void AddRelation(const OutputRelation& relation) override { relations.push_back(relation); }

  std::vector<std::string> order;  // tables in the order they were offered
  std::map<std::string, RecordedTable> tables;
  std::vector<OutputRelation> relations;
  RecordedTable* current = nullptr;
};

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_SUPPORT_RECORDING_SINK_H_
