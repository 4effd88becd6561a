// The one channel through which the reader says what it could not read.
//
// The reader never prints: every damaged page, row, value or definition it
// meets is reported here with the table, page and row where they are known,
// and the reader goes on past it. Whoever runs the reader decides what to
// count and what to show.
#ifndef MENDORA_READER_DAMAGE_H_
#define MENDORA_READER_DAMAGE_H_

#include <cstdint>
#include <string>

namespace mendora {

enum class DamageKind {
  kUnreadablePage,     // a page that cannot be read (past the end, an I/O error)
  kForeignPage,        // a page that should be of one kind and is not
  kFileShort,          // the file ends before a page it names
  kUsageMap,           // a usage map that is damaged or names a page twice
  kDefinition,         // a table definition that cannot be read whole
  kDamagedRow,         // a row whose layout does not hold together: the row is lost
  kValueOutsideRow,    // a value whose bytes fall outside its row: the value is lost
  kLongValue,          // a long-value chain that breaks or loops: the value is lost
};

struct DamageReport {
  DamageKind kind = DamageKind::kDamagedRow;
  std::string table;   // empty where no table is concerned
  int64_t page = -1;   // -1 where unknown
  int row = -1;        // the row slot, -1 where unknown
  std::string column;  // for lost values
  std::string detail;  // one line saying what was found
};

// What a damage report costs the table it names.
inline bool LosesRow(DamageKind kind) { return kind == DamageKind::kDamagedRow; }
inline bool LosesValue(DamageKind kind) {
  return kind == DamageKind::kValueOutsideRow || kind == DamageKind::kLongValue;
}

class DamageReporter {
 public:
  virtual ~DamageReporter() = default;
  virtual void Report(const DamageReport& report) = 0;
};

// Drops every report: for readers that only probe a file.
class IgnoreDamage final : public DamageReporter {
 public:
  void Report(const DamageReport&) override {}
};

}  // namespace mendora

#endif  // MENDORA_READER_DAMAGE_H_
