// Checking an Access file without changing it: is it damaged, and where?
//
// Page 0, the catalog, every table's definition, its usage map against the
// pages that name the table, its row count against its rows, every long
// value, every index (its tree, its keys in order, each entry naming a live
// row whose values make its key, every live row in it) and every enforced
// relation against the rows of both tables. Each problem names its table,
// page and row where they are known.
//
// What cannot be verified is no problem, only noted: text keys of
// characters (or sort orders) whose keys are not known, and keys of types
// that have none here.
#ifndef MENDORA_RECOVERY_FILE_CHECK_H_
#define MENDORA_RECOVERY_FILE_CHECK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "reader/jet_handle.h"

namespace mendora {

struct CheckFinding {
  std::string table;  // empty where no table is concerned
  int64_t page = -1;  // -1 where no page is concerned
  int row = -1;       // the row slot, -1 where no row is concerned
  std::string detail;
};

struct FileCheck {
  std::vector<CheckFinding> problems;
  std::vector<CheckFinding> notes;
  size_t tables = 0;
  size_t indexes = 0;
  size_t relations = 0;
  uint64_t rows = 0;
  uint64_t index_entries = 0;
  uint64_t keys_not_verified = 0;

  bool Clean() const { return problems.empty(); }
};

// Checks the open file. Reads only; the handle's damage reporter is left
// as it was.
FileCheck CheckFile(JetHandle& handle);

// "Orders, page 12, row 3: detail" (the parts that are known).
std::string FindingText(const CheckFinding& finding);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_FILE_CHECK_H_
