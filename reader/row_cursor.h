// A cursor over a table's rows: finds the table's data pages through its
// usage map and yields each live row with one typed Value per column.
//
// Damage met on the way (a page that is not the table's, a row whose layout
// does not hold together, a value outside its row, a long value that cannot
// be read) goes to the handle's DamageReporter, and the cursor goes on.
#ifndef MENDORA_READER_ROW_CURSOR_H_
#define MENDORA_READER_ROW_CURSOR_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "reader/decode_pool.h"
#include "reader/long_value.h"
#include "reader/packed_table.h"
#include "reader/row_layout.h"
#include "reader/table_def.h"
#include "reader/value.h"

namespace mendora {

struct DecodeBatch;

class RowCursor {
 public:
  explicit RowCursor(TableDef& table);
  ~RowCursor();
  RowCursor(const RowCursor&) = delete;
  RowCursor& operator=(const RowCursor&) = delete;

  // The next live row into `row` (whose values' storage is reused); false at
  // the table's end.
  bool Next(Row& row);
  // Yields the rows whose slots are marked deleted instead, those whose
  // bytes still hold together as a row of this table and share them with
  // no live row: a deleted row whose space was reused is not one any more.
  void SetDeletedRows(bool deleted) { deleted_rows_ = deleted; }
  // Continues at slot `slot` of data page `page` (a position an earlier
  // cursor over this table gave in Row::page and Row::slot): the next row is
  // the one there, or the first after it. False when the page is not one of
  // the table's data pages; the cursor is then at its end.
  bool SeekTo(uint32_t page, uint32_t slot);
  // Rows for which `check` (given the row's bytes) is false are lost,
  // reported as damage: a layout inferred from other rows is not theirs.
  void SetRowCheck(std::function<bool(ByteView row)> check) { row_check_ = std::move(check); }
  // Decodes the live rows of batches of pages on the pool's threads while
  // this one finds the pages and delivers the rows. Everything that depends
  // on order (damage reports, long values read and claimed) still happens
  // here, in the order the rows are read: the rows, their values and the
  // reports are those of a cursor without a pool. Set before the first
  // Next; the deleted rows, a row check and SeekTo read on this thread.
  void SetDecodePool(DecodePool* pool) { pool_ = pool; }

 private:
  friend struct DecodeBatch;
  // Row of slot `slot` of the page being decoded; false for none (a slot
  // without a row, or a row lost to damage, reported).
  bool SlotRow(uint32_t slot, Row& row);
  // The rows of a batch's pages, on a pool thread, into the batch.
  void DecodePages(DecodeBatch& batch);
  bool NextDecoded(Row& row);
  // Finds pages for the batches in flight until the pool has enough work.
  void FillBatches();
  void StopBatches();
  void DecodeOrDefer(size_t index, ByteView field, Value& value, uint32_t slot);
  // The page whose rows are decoded: a batch's copy or the page buffer.
  ByteView PageView() const {
    return page_bytes_ != nullptr ? ByteView(page_bytes_, handle_.PageSize()) : handle_.Page();
  }

  bool NextDataPage();
  bool ScanInlineMap();
  bool ScanPageMap();
  bool ScanAllPages();
  // Takes the first page of this table in [from, to) that the file's data
  // page index names; false when there is none.
  bool TakeIndexedPage(uint64_t from, uint64_t to);
  // Reads page p; true when it is one of this table's data pages. `claimed`:
  // the usage map names it.
  bool TakePage(uint32_t p, bool claimed = false);
  // TakePage for a page the usage map names: one that is not the table's
  // is reported.
  bool TakeClaimedPage(uint32_t p);
  // The page taken earlier that holds the same bytes as page p (in the page
  // buffer), or -1; p is remembered when there is none.
  int64_t EarlierCopy(uint32_t p);
  // Whether two of the table's pages may hold the same bytes soundly. An
  // index definition that does not read counts as no.
  bool PagesMayRepeat();
  // The live rows of the table's pages its usage map names; nothing when
  // the map does not read.
  std::optional<uint64_t> LiveRowsOfMappedPages();
  // Marks a live row's start taken; false when a row read before took it.
  bool TakeStart(uint16_t start) {
    uint64_t& word = live_starts_[start / 64];
    const uint64_t bit = uint64_t{1} << (start % 64);
    if ((word & bit) != 0) return false;
    word |= bit;
    return true;
  }
  bool EnsureCurrentPage();
  // False when the row's layout does not hold together (reported).
  bool DecodeRow(uint32_t slot, Row& row);
  // The strict check of a deleted slot's bytes; nothing is reported.
  bool DeletedRowHoldsTogether(uint32_t slot);
  void DecodeField(const ColumnDef& column, ByteView field, Value& value, uint32_t slot);
  // Text of a text or memo column, as the file's version stores it.
  void DecodeText(ByteView field, std::string& out) const;
  // A calculated column's wrapped value, as its result type says.
  void DecodeCalculated(const ColumnDef& column, ByteView field, Value& value, uint32_t slot);
  void Report(DamageKind kind, int slot, const std::string& column, const std::string& detail) const;
  // A value the null mask says is there whose bytes are not in the row.
  void ReportOutsideRow(size_t index, uint32_t slot) const;

  TableDef& table_;
  JetHandle& handle_;
  LongValueReader long_values_;
  bool started_ = false;
  bool finished_ = false;
  uint32_t current_page_ = 0;
  uint32_t next_slot_ = 0;
  PageSlots slots_;
  RowLayout layout_;
  // How each column of the table is decoded, worked out from its definition
  // at the first row rather than for every value: where its value lies and
  // which decoder its type takes. Types without a case of their own go
  // through DecodeOrDefer, as every column once did.
  struct ColumnPlan {
    enum class Kind : uint8_t {
      kBoolean,  // the null mask's bit is the value
      kFixed,    // DecodeFixedSized, the field holding the type's size
      kDateTime, // the same, then the check that Access can hold the day
      kNumeric,  // the same, with the column's precision and scale
      kText,
      kMemo,     // memo and OLE: a value kept in the row is read there
      kOther,    // DecodeOrDefer
    };
    Kind kind = Kind::kOther;
    bool fixed = false;
    uint8_t mask_bit = 0;        // of the null mask's byte mask_byte
    uint32_t mask_byte = 0;
    uint32_t number = 0;         // the stored column number
    uint32_t fixed_offset = 0;
    uint32_t size = 0;           // the definition's size, as the row is read
    uint32_t var_index = 0;
    int type = 0;
  };
  void PlanColumns();
  std::vector<ColumnPlan> plan_;
  std::string scratch_;
  std::string calculated_;  // a calculated memo's wrapper, read from its long value
  // The bitmap of the usage-map page that covers the block being scanned,
  // read once per block.
  int64_t map_block_ = -1;
  bool map_block_readable_ = false;
  std::vector<uint8_t> map_bits_;
  std::set<uint32_t> map_pages_seen_;
  // The row starts of the live rows of the current page read so far, one
  // bit per offset a slot can name.
  std::vector<uint64_t> live_starts_ = std::vector<uint64_t>(8192 / 64);
  // The pages taken so far by 32-bit digests of their bytes: of two equal
  // data pages the second is a copy whose rows were read, unless the table
  // may repeat rows (PagesMayRepeat). Each page is known by a digest of a
  // few of its bytes, the first of each such digest in page_signatures_;
  // the pages whose digest another page shares are known by the digest of
  // all their bytes as well, in page_digests_ (the first of them once
  // digested_ says so). Pages of equal digest are compared byte for byte in
  // copy_check_.
  PackedTable page_signatures_;
  PackedTable page_digests_;
  PackedTable digested_;
  std::unique_ptr<PageBuffer> copy_check_;
  bool copy_taken_ = false;  // TakePage's last refusal was such a copy (told already)
  std::optional<bool> pages_may_repeat_;
  bool deleted_rows_ = false;
  std::function<bool(ByteView row)> row_check_;
  // The page the rows decoded now come from (current_page_ is the page the
  // search has reached, which runs ahead when a pool decodes).
  uint32_t decode_page_ = 0;

  DecodePool* pool_ = nullptr;
  bool pooled_ = false;  // rows come from batches
  bool pages_found_ = false;  // the search has reached the table's end
  std::deque<std::shared_ptr<DecodeBatch>> in_flight_;
  std::vector<std::shared_ptr<DecodeBatch>> spare_;
  bool batch_taken_ = false;  // the front batch is decoded and being delivered
  size_t at_page_ = 0;
  size_t at_event_ = 0;
  bool page_opened_ = false;
  // Set in a batch's own decoder: the page copy it reads and where its
  // reports and deferred values go.
  const uint8_t* page_bytes_ = nullptr;
  DecodeBatch* batch_ = nullptr;
  uint32_t deferred_row_ = 0;  // the batch's row being decoded
};

}  // namespace mendora

#endif  // MENDORA_READER_ROW_CURSOR_H_
