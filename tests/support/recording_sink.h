// A TableSink that keeps every table it is offered, for tests.
#ifndef MENDORA_TESTS_SUPPORT_RECORDING_SINK_H_
#define MENDORA_TESTS_SUPPORT_RECORDING_SINK_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "recovery/recovery_session.h"

namespace mendora::testing {

struct RecordedTable {
  std::vector<SinkColumn> columns;
  std::vector<std::vector<std::optional<std::string>>> rows;

  std::vector<std::string> ColumnNames() const {
    std::vector<std::string> names;
    for (const SinkColumn& column : columns) names.push_back(column.name);
    return names;
  }
};

class RecordingSink : public TableSink {
 public:
  void OnTableStart(const std::string& name, const std::vector<SinkColumn>& columns) override {
    order.push_back(name);
    current = &tables[name];
    current->columns = columns;
  }
  void OnRow(const std::vector<std::string>& values, const std::vector<bool>& nulls) override {
    std::vector<std::optional<std::string>> row;
    for (size_t i = 0; i < values.size(); ++i) {
      row.push_back(nulls[i] ? std::nullopt : std::optional<std::string>(values[i]));
    }
    current->rows.push_back(std::move(row));
  }
  void OnTableEnd(int64_t) override {}

  std::vector<std::string> order;  // tables in the order they were offered
  std::map<std::string, RecordedTable> tables;
  RecordedTable* current = nullptr;
};

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_SUPPORT_RECORDING_SINK_H_
