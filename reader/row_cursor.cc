// Walking a table's data pages and decoding its rows.
#include "reader/row_cursor.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "reader/byte_cursor.h"
#include "reader/ace_values.h"
#include "reader/fixed_values.h"
#include "reader/index_def.h"
#include "reader/usage_map.h"
#include "reader/value_render.h"

namespace mendora {

namespace {

uint64_t Rotate(uint64_t v, int bits) { return v << bits | v >> (64 - bits); }

// A digest of a page's bytes, eight at a time in four independent lanes (the
// rounds of xxHash64): a byte-at-a-time hash cost as much as decoding the
// page's rows.
uint32_t PageDigest(ByteView page) {
  constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
  constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
  uint64_t lanes[4] = {kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1};
  ByteCursor in(page);
  const size_t words = page.size() / 8;
  size_t w = 0;
  for (; w + 4 <= words; w += 4) {
    for (int l = 0; l < 4; ++l) lanes[l] = Rotate(lanes[l] + in.U64At((w + l) * 8) * kPrime2, 31) * kPrime1;
  }
  uint64_t digest = Rotate(lanes[0], 1) + Rotate(lanes[1], 7) + Rotate(lanes[2], 12) + Rotate(lanes[3], 18);
  for (size_t i = w * 8; i < page.size(); ++i) digest = (digest ^ in.U8At(i)) * kPrime1;
  digest ^= digest >> 33;
  digest *= kPrime2;
  digest ^= digest >> 29;
  return static_cast<uint32_t>(digest >> 32);
}

// A digest of a page's header and slot table and of the row bytes at its
// end: pages that differ there are no copies of each other, and the digest
// of the whole page is needed only for those that do not.
uint32_t PageSignature(ByteView page) {
  constexpr size_t kEnd = 64;
  if (page.size() <= 2 * kEnd) return PageDigest(page);
  return PageDigest(*page.Sub(0, kEnd)) ^ PageDigest(*page.Sub(page.size() - kEnd, kEnd)) * 0x9E3779B1u;
}

// Keeps the reports met while the search finds a page, to be told when the
// rows reach that page.
class KeepReports final : public DamageReporter {
 public:
  explicit KeepReports(std::vector<DamageReport>& into) : into_(into) {}
  void Report(const DamageReport& report) override { into_.push_back(report); }

 private:
  std::vector<DamageReport>& into_;
};

// A long value stored apart from its row is read, and its rows claimed, on
// the pass's thread in row order; one kept inside the row is decoded anywhere.
bool ReadsStoredLongValue(const ColumnDef& column, ByteView field) {
  const int type = column.calculated ? column.result_type : column.type;
  if (type != kColumnMemo && type != kColumnOle) return false;
  return field.size() >= kLongValueHeaderSize && (ByteCursor(field).U32At(0) & kLongValueInline) == 0;
}

// Data pages per batch: enough work to outweigh handing it over.
constexpr size_t kBatchPages = 16;

}  // namespace

// A run of data pages copied by the search, and what decoding them gave, in
// order: damage reports, values left for the pass's thread, rows.
struct DecodeBatch final : DecodeTask {
  struct Page {
    uint32_t number = 0;
    std::vector<DamageReport> found;  // met while the search found this page
    size_t events_end = 0;            // this page's events end there
  };
  enum class EventKind : uint8_t { kReport, kDeferred, kRow };
  struct Event {
    EventKind kind;
    uint32_t index;  // into reports, deferred or rows
  };
  struct Deferred {
    uint32_t row;
    uint32_t column;
    uint32_t slot;
    uint32_t offset;  // of the field in `bytes`
    uint32_t length;
  };

  explicit DecodeBatch(TableDef& table) : decoder(table) {}
  void Run() override { decoder.DecodePages(*this); }

  RowCursor decoder;
  std::vector<Page> pages;
  std::vector<uint8_t> bytes;  // the pages, one after another
  std::vector<DamageReport> tail;  // met by the search at the table's end
  bool end = false;
  std::vector<Event> events;
  std::vector<DamageReport> reports;
  std::vector<Deferred> deferred;
  std::vector<Row> rows;  // reused from batch to batch
};

RowCursor::RowCursor(TableDef& table) : table_(table), handle_(*table.entry.handle), long_values_(handle_) {}

RowCursor::~RowCursor() { StopBatches(); }

void RowCursor::StopBatches() {
  for (const std::shared_ptr<DecodeBatch>& batch : in_flight_) batch->Cancel();
  in_flight_.clear();
  batch_taken_ = false;
  pooled_ = false;
}

void RowCursor::Report(DamageKind kind, int slot, const std::string& column, const std::string& detail) const {
  DamageReport report{kind, table_.name, decode_page_, slot, column, detail};
  if (batch_ != nullptr) {
    batch_->events.push_back({DecodeBatch::EventKind::kReport, static_cast<uint32_t>(batch_->reports.size())});
    batch_->reports.push_back(std::move(report));
    return;
  }
  handle_.Report(report);
}

bool RowCursor::TakePage(uint32_t p, bool claimed) {
  current_page_ = p;
  decode_page_ = p;
  copy_taken_ = false;
  if (ReadPage(handle_, p) < handle_.PageSize()) return false;
  if (handle_.page[0] != kDataPageType ||
      handle_.Page().U32(kPageOwnerPos).value_or(0) != static_cast<uint32_t>(table_.entry.definition_page)) {
    return false;
  }
  if (!deleted_rows_) {
    const int64_t earlier = EarlierCopy(p);
    // A page the map names, equal to another, is a copy only where the
    // table could not hold the rows twice: damage that copies a page over
    // another of the same table, in a table that could, cannot be told from
    // rows entered twice.
    if (earlier >= 0 && !(claimed && PagesMayRepeat())) {
      handle_.Report(DamageReport{DamageKind::kForeignPage, table_.name, p, -1, "",
                                  "the page holds the same bytes as page " + std::to_string(earlier) +
                                      ": a copy, whose rows were read there; what it held before is lost"});
      copy_taken_ = true;
      return false;
    }
  }
  if (pooled_) return true;  // its rows are decoded from a copy
  slots_.Load(handle_.Page(), *handle_.format);
  next_slot_ = 0;
  std::fill(live_starts_.begin(), live_starts_.end(), 0);
  return true;
}

int64_t RowCursor::EarlierCopy(uint32_t p) {
  const ByteView page = handle_.Page();
  const uint32_t signature = PageSignature(page);
  const auto alike = page_signatures_.Find(signature);
  if (alike.empty()) {
    page_signatures_.Insert(signature, p);
    return -1;
  }
  // The first page of this signature is digested whole once another shares
  // its signature; every later one is then digested as it comes, so each
  // earlier page of equal bytes is in page_digests_.
  const uint32_t first = PackedTable::ValueOf(*alike.begin());
  // The same page met again (a cursor that seeks back) is no copy.
  if (first == p) return -1;
  if (!copy_check_) copy_check_ = std::make_unique<PageBuffer>();
  if (digested_.Find(first).empty()) {
    digested_.Insert(first, 0);
    if (ReadPageInto(handle_, *copy_check_, first) == page.size()) {
      page_digests_.Insert(PageDigest(ByteView(copy_check_->data(), page.size())), first);
    }
  }
  const uint32_t digest = PageDigest(page);
  for (const uint64_t entry : page_digests_.Find(digest)) {
    const uint32_t earlier = PackedTable::ValueOf(entry);
    if (earlier == p) return -1;
    if (ReadPageInto(handle_, *copy_check_, earlier) == page.size() &&
        std::memcmp(copy_check_->data(), page.data(), page.size()) == 0) {
      return earlier;
    }
  }
  page_digests_.Insert(digest, p);
  return -1;
}

bool RowCursor::PagesMayRepeat() {
  if (!pages_may_repeat_) {
    std::string problem;
    const std::optional<IndexDefinition> indexes = ReadIndexes(table_, &problem);
    // Rows entered twice fill equal pages in a table no unique index keeps
    // apart, and every page its map names then holds the rows its
    // definition counts; a copy over another of its pages would have to
    // replace just as many rows.
    const auto unique = [](const RealIndex& index) { return (index.flags & kIndexUnique) != 0; };
    pages_may_repeat_ = indexes && std::none_of(indexes->real.begin(), indexes->real.end(), unique) &&
                        table_.row_count >= 0 &&
                        LiveRowsOfMappedPages() == static_cast<uint64_t>(table_.row_count);
  }
  return *pages_may_repeat_;
}

std::optional<uint64_t> RowCursor::LiveRowsOfMappedPages() {
  const UsageMapPages mapped = ListUsageMap(handle_, table_.usage_map);
  // A map that does not read is no witness.
  if (!mapped.problems.empty()) return std::nullopt;
  PageBuffer buffer{};
  uint64_t rows = 0;
  for (const uint32_t page : mapped.pages) {
    if (page == 0 || ReadPageInto(handle_, buffer, page) != handle_.PageSize()) continue;
    const ByteView data(buffer.data(), handle_.PageSize());
    if (buffer[0] != kDataPageType ||
        data.U32(kPageOwnerPos).value_or(0) != static_cast<uint32_t>(table_.entry.definition_page)) {
      continue;
    }
    const PageSlots slots(data, *handle_.format);
    for (uint32_t s = 0; s < slots.count(); ++s) rows += SlotHoldsNoRow(slots.entry(s)) ? 0 : 1;
  }
  return rows;
}

bool RowCursor::TakeClaimedPage(uint32_t p) {
  if (TakePage(p, true)) return true;
  if (copy_taken_) return false;
  // A sound map names only its table's data pages (Access takes a page out
  // of the map before it frees it): the rows of a page it names that is
  // gone, or someone else's now, are lost. Told once per cursor, not again
  // by the pass over the deleted rows.
  if (deleted_rows_) return false;
  std::string what;
  if (p >= handle_.PageCount()) {
    what = "lies past the end of the file (and so may others after it)";
  } else if (handle_.current_page != static_cast<int64_t>(p)) {
    what = "cannot be read";
  } else if (handle_.page[0] != kDataPageType) {
    what = "is no data page (its type is " + std::to_string(handle_.page[0]) + ")";
  } else {
    what = "belongs to the table defined at page " + std::to_string(handle_.Page().U32(kPageOwnerPos).value_or(0));
  }
  handle_.Report(DamageReport{p >= handle_.PageCount() ? DamageKind::kFileShort : DamageKind::kForeignPage,
                              table_.name, p, -1, "",
                              "its usage map names page " + std::to_string(p) + ", which " + what +
                                  "; the rows there are lost"});
  return false;
}

bool RowCursor::ScanInlineMap() {
  const std::vector<uint8_t>& map = table_.usage_map;
  if (map.size() < 5) return false;
  ByteCursor in(ByteView(map.data(), map.size()));
  const uint32_t first = in.U32At(1);
  const uint64_t bits = (map.size() - 5) * 8ull;
  // Resume just after the current page: the search only moves forward.
  const uint64_t from = started_ && current_page_ >= first ? current_page_ - first + 1ull : 0;
  for (uint64_t index = from; index < bits; ++index) {
    if (!in.BitAt(5, index)) continue;
    const uint64_t p = first + index;
    if (p >= handle_.PageCount()) {
      TakeClaimedPage(static_cast<uint32_t>(std::min<uint64_t>(p, UINT32_MAX)));  // told once: no page follows
      return false;
    }
    if (TakeClaimedPage(static_cast<uint32_t>(p))) return true;
  }
  return false;
}

bool RowCursor::ScanPageMap() {
  const std::vector<uint8_t>& map = table_.usage_map;
  const uint64_t block = (handle_.PageSize() - 4ull) * 8ull;
  uint64_t p = started_ ? current_page_ + 1ull : 0;
  const uint64_t entries = map.size() > 1 ? (map.size() - 1) / 4 : 0;
  const uint64_t pages = handle_.PageCount();
  for (uint64_t k = p / block; k < entries; ++k) {
    const uint32_t map_page = ByteView(map.data(), map.size()).U32(1 + 4 * k).value_or(0);
    const uint64_t block_start = k * block;
    // Blocks past the end of the file hold no page of it.
    if (block_start >= pages) return false;
    if (p < block_start) p = block_start;
    if (map_page == 0) continue;
    if (map_block_ != static_cast<int64_t>(k)) {
      // A map page named for a second block is damage: its bits were those
      // of the first.
      if (!map_pages_seen_.insert(map_page).second) {
        handle_.Report(DamageReport{DamageKind::kUsageMap, table_.name, map_page, -1, "",
                                    "usage map page " + std::to_string(map_page) +
                                        " is named for more than one block; the second mention is skipped"});
        map_block_ = static_cast<int64_t>(k);
        map_block_readable_ = true;
        map_bits_.assign(map_bits_.size(), 0);
        p = block_start + block;
        continue;
      }
      // Each map page is read once; its bits stay here while the block's
      // data pages take the page buffer.
      map_block_ = static_cast<int64_t>(k);
      map_block_readable_ = ReadAltPage(handle_, map_page) == handle_.PageSize() && handle_.alt_page[0] == kUsageMapPageType;
      if (map_block_readable_) {
        map_bits_.assign(handle_.alt_page.begin() + 4, handle_.alt_page.begin() + handle_.PageSize());
      } else {
        handle_.Report(DamageReport{DamageKind::kUsageMap, table_.name, map_page, -1, "",
                                    "usage map page " + std::to_string(map_page) +
                                        " is damaged; its block is searched page by page"});
      }
    }
    if (!map_block_readable_) {
      // Without its map the block is searched through the file's data pages:
      // a data page says which table owns it.
      const uint64_t block_end = std::min<uint64_t>(block_start + block, pages);
      if (TakeIndexedPage(p, block_end)) return true;
      p = block_end;
      continue;
    }
    ByteCursor bits(ByteView(map_bits_.data(), map_bits_.size()));
    for (uint64_t o = p - block_start; o < block; ++o) {
      if (!bits.BitAt(0, o)) continue;
      const uint64_t page = block_start + o;
      if (page >= pages) {
        TakeClaimedPage(static_cast<uint32_t>(std::min<uint64_t>(page, UINT32_MAX)));  // told once: no page follows
        return false;
      }
      if (TakeClaimedPage(static_cast<uint32_t>(page))) return true;
    }
    p = block_start + block;
  }
  return false;
}

bool RowCursor::TakeIndexedPage(uint64_t from, uint64_t to) {
  const std::vector<uint32_t>& owned =
      handle_.DataPages().PagesOf(static_cast<uint32_t>(table_.entry.definition_page));
  for (auto it = std::lower_bound(owned.begin(), owned.end(), from); it != owned.end() && *it < to; ++it) {
    if (TakePage(*it)) return true;
  }
  return false;
}

bool RowCursor::ScanAllPages() {
  return TakeIndexedPage(started_ ? current_page_ + 1ull : 1, handle_.PageCount());
}

bool RowCursor::NextDataPage() {
  const int type = table_.usage_map.empty() ? -1 : table_.usage_map[0];
  bool found;
  switch (type) {
    case 0:
      found = ScanInlineMap();
      break;
    case 1:
      found = ScanPageMap();
      break;
    default:
      if (!started_ && !table_.inferred) {
        handle_.Report(DamageReport{DamageKind::kUsageMap, table_.name, table_.entry.definition_page, -1, "",
                                    "its usage map is unreadable (type " + std::to_string(type) +
                                        "); every page of the file is searched for its rows"});
      }
      found = ScanAllPages();
      break;
  }
  started_ = true;
  return found;
}

bool RowCursor::EnsureCurrentPage() {
  // Work between rows (long values use the alternate buffer, but a caller
  // may have used the handle in between) may have replaced the page.
  if (handle_.current_page == current_page_) return true;
  return ReadPage(handle_, current_page_) == handle_.PageSize() && handle_.page[0] == kDataPageType;
}

bool RowCursor::SeekTo(uint32_t page, uint32_t slot) {
  StopBatches();
  started_ = true;
  finished_ = false;
  map_block_ = -1;
  if (page == 0 || page >= handle_.PageCount() || !TakePage(page)) {
    finished_ = true;
    return false;
  }
  next_slot_ = std::min<uint32_t>(slot, slots_.count());
  // The live rows before the slot have claimed their bytes, as they would
  // have had the cursor read them.
  if (!deleted_rows_) {
    for (uint32_t s = 0; s < next_slot_; ++s) {
      if ((slots_.entry(s) & kSlotOverflowFlag) == 0) TakeStart(slots_.entry(s) & kSlotOffsetMask);
    }
  }
  return true;
}

bool RowCursor::Next(Row& row) {
  if (finished_) return false;
  if (!started_ && pool_ != nullptr && !deleted_rows_ && !row_check_) pooled_ = true;
  if (pooled_) return NextDecoded(row);
  if (!started_ && !NextDataPage()) {
    finished_ = true;
    return false;
  }
  for (;;) {
    if (next_slot_ >= slots_.count() || !EnsureCurrentPage()) {
      if (!NextDataPage()) {
        finished_ = true;
        return false;
      }
      continue;
    }
    if (SlotRow(next_slot_++, row)) return true;
  }
}

bool RowCursor::SlotRow(uint32_t slot, Row& row) {
  if (deleted_rows_) {
    if (!SlotIsDeleted(slots_.entry(slot))) return false;
    return DeletedRowHoldsTogether(slot) && DecodeRow(slot, row);
  }
  // Deleted rows and the pointers of rows moved to another page.
  if (SlotHoldsNoRow(slots_.entry(slot))) return false;
  // Two live rows never share their bytes: a second slot naming the start
  // of one already read is damage, and reading it again would only repeat
  // that row (as many times as a damaged slot table cares to).
  const uint16_t start = slots_.entry(slot) & kSlotOffsetMask;
  if (!TakeStart(start)) {
    Report(DamageKind::kDamagedRow, static_cast<int>(slot), "", "the row shares its bytes with an earlier row");
    return false;
  }
  if (row_check_) {
    const std::optional<RowExtent> extent = slots_.extent(slot);
    if (!extent || !row_check_(*PageView().Sub(extent->start, extent->size()))) {
      Report(DamageKind::kDamagedRow, static_cast<int>(slot), "", "the row does not fit the layout inferred for its table");
      return false;
    }
  }
  return DecodeRow(slot, row);
}

void RowCursor::DecodePages(DecodeBatch& batch) {
  batch_ = &batch;
  batch.events.clear();
  batch.reports.clear();
  batch.deferred.clear();
  uint32_t rows = 0;
  const uint32_t page_size = handle_.PageSize();
  for (size_t k = 0; k < batch.pages.size(); ++k) {
    page_bytes_ = batch.bytes.data() + k * page_size;
    decode_page_ = batch.pages[k].number;
    slots_.Load(PageView(), *handle_.format);
    std::fill(live_starts_.begin(), live_starts_.end(), 0);
    for (uint32_t slot = 0; slot < slots_.count(); ++slot) {
      if (batch.rows.size() <= rows) batch.rows.emplace_back();
      deferred_row_ = rows;
      if (SlotRow(slot, batch.rows[rows])) batch.events.push_back({DecodeBatch::EventKind::kRow, rows++});
    }
    batch.pages[k].events_end = batch.events.size();
  }
  page_bytes_ = nullptr;
  batch_ = nullptr;
}

void RowCursor::FillBatches() {
  const size_t wanted = 2 * (pool_->threads() + 1);
  const uint32_t page_size = handle_.PageSize();
  while (!pages_found_ && in_flight_.size() < wanted) {
    std::shared_ptr<DecodeBatch> batch;
    if (spare_.empty()) {
      batch = std::make_shared<DecodeBatch>(table_);
    } else {
      batch = std::move(spare_.back());
      spare_.pop_back();
    }
    batch->pages.clear();
    batch->tail.clear();
    batch->end = false;
    batch->bytes.resize(kBatchPages * page_size);
    while (batch->pages.size() < kBatchPages) {
      std::vector<DamageReport> found;
      bool taken;
      {
        KeepReports keep(found);
        ScopedDamageReporter scope(handle_, keep);
        taken = NextDataPage();
      }
      if (!taken) {
        batch->tail = std::move(found);
        batch->end = true;
        pages_found_ = true;
        break;
      }
      std::memcpy(batch->bytes.data() + batch->pages.size() * page_size, handle_.page.data(), page_size);
      batch->pages.push_back({current_page_, std::move(found), 0});
    }
    batch->Reset();
    in_flight_.push_back(batch);
    pool_->Submit(std::move(batch));
  }
}

bool RowCursor::NextDecoded(Row& row) {
  for (;;) {
    if (in_flight_.empty()) {
      if (pages_found_) {
        finished_ = true;
        return false;
      }
      FillBatches();
      continue;
    }
    DecodeBatch& batch = *in_flight_.front();
    if (!batch_taken_) {
      // While a decoding thread has the batch whose rows come next, this
      // thread decodes a later one rather than wait: the latest, the one
      // the decoding threads, taking them in order, would reach last.
      if (!batch.TryRun()) {
        for (auto later = in_flight_.rbegin(); later != in_flight_.rend() - 1 && !batch.Done(); ++later) {
          (*later)->TryRun();
        }
      }
      batch.RunOrWait();
      batch_taken_ = true;
      at_page_ = 0;
      at_event_ = 0;
      page_opened_ = false;
    }
    if (at_page_ < batch.pages.size()) {
      const DecodeBatch::Page& page = batch.pages[at_page_];
      if (!page_opened_) {
        page_opened_ = true;
        decode_page_ = page.number;
        for (const DamageReport& report : page.found) handle_.Report(report);
      }
      while (at_event_ < page.events_end) {
        const DecodeBatch::Event event = batch.events[at_event_++];
        switch (event.kind) {
          case DecodeBatch::EventKind::kReport:
            handle_.Report(batch.reports[event.index]);
            break;
          case DecodeBatch::EventKind::kDeferred: {
            const DecodeBatch::Deferred& d = batch.deferred[event.index];
            DecodeField(table_.columns[d.column], ByteView(batch.bytes.data() + d.offset, d.length),
                        batch.rows[d.row].values[d.column], d.slot);
            break;
          }
          case DecodeBatch::EventKind::kRow:
            std::swap(row, batch.rows[event.index]);
            return true;
        }
      }
      ++at_page_;
      page_opened_ = false;
      continue;
    }
    for (const DamageReport& report : batch.tail) handle_.Report(report);
    const bool end = batch.end;
    spare_.push_back(std::move(in_flight_.front()));
    in_flight_.pop_front();
    batch_taken_ = false;
    if (end) {
      finished_ = true;
      return false;
    }
    FillBatches();
  }
}

void RowCursor::DecodeOrDefer(size_t index, ByteView field, Value& value, uint32_t slot) {
  const ColumnDef& column = table_.columns[index];
  if (batch_ != nullptr && ReadsStoredLongValue(column, field)) {
    batch_->events.push_back({DecodeBatch::EventKind::kDeferred, static_cast<uint32_t>(batch_->deferred.size())});
    batch_->deferred.push_back({deferred_row_, static_cast<uint32_t>(index), slot,
                                static_cast<uint32_t>(field.data() - batch_->bytes.data()),
                                static_cast<uint32_t>(field.size())});
    return;
  }
  DecodeField(column, field, value, slot);
}

bool RowCursor::DeletedRowHoldsTogether(uint32_t slot) {
  const ByteView page = PageView();
  const std::optional<RowExtent> extent = slots_.extent(slot);
  if (!extent) return false;
  const uint16_t start = slots_.entry(slot) & kSlotOffsetMask;
  const bool jet4 = handle_.IsJet4();
  // The column counts this table's rows hold: the definition's, any smaller
  // one (a row written before columns were added, deleted long after: no
  // live row beside it need share its count), and those of the live rows
  // beside it (rows written before some columns were deleted).
  std::set<uint32_t> counts;
  uint32_t highest = 0;
  for (const ColumnDef& column : table_.columns) highest = std::max<uint32_t>(highest, column.column_number + 1u);
  counts.insert(highest);
  for (uint32_t j = 0; j < slots_.count(); ++j) {
    if ((slots_.entry(j) & kSlotOverflowFlag) != 0) continue;
    // A live row at the same place has taken the deleted row's bytes.
    if ((slots_.entry(j) & kSlotOffsetMask) == start) return false;
    if (const std::optional<RowExtent> live = slots_.extent(j)) {
      counts.insert(jet4 ? page.U16(live->start).value_or(0) : page.U8(live->start).value_or(0));
    }
  }
  const uint32_t stored = jet4 ? page.U16(extent->start).value_or(0) : page.U8(extent->start).value_or(0);
  if (stored == 0 || (stored > highest && counts.count(stored) == 0)) return false;
  // The fixed part holds the columns the row stores.
  uint32_t fixed_end = 0;
  for (const ColumnDef& column : table_.columns) {
    if (column.fixed && column.type != kColumnBoolean && column.column_number < stored) {
      fixed_end = std::max<uint32_t>(fixed_end, column.fixed_offset + static_cast<uint32_t>(column.size));
    }
  }
  const bool holds_variable = stored > table_.lowest_variable_number;
  RowLayout layout;
  if (!ParseRowLayout(page, jet4, *extent, holds_variable, layout)) return false;
  const uint32_t fixed_limit = layout.count_size + fixed_end;
  if (fixed_limit > layout.data_end) return false;
  if (holds_variable) {
    if (layout.offsets.empty() || layout.offsets[0] < fixed_limit) return false;
    for (size_t k = 0; k + 1 < layout.offsets.size(); ++k) {
      if (layout.offsets[k] > layout.offsets[k + 1]) return false;
    }
    if (layout.offsets.back() > layout.data_end) return false;
  }
  return true;
}

void RowCursor::PlanColumns() {
  plan_.clear();
  plan_.reserve(table_.columns.size());
  for (const ColumnDef& column : table_.columns) {
    ColumnPlan plan;
    plan.fixed = column.fixed;
    plan.number = column.column_number;
    plan.mask_byte = column.column_number / 8u;
    plan.mask_bit = static_cast<uint8_t>(1u << (column.column_number % 8u));
    plan.fixed_offset = column.fixed_offset;
    plan.size = static_cast<uint32_t>(column.size);
    plan.var_index = column.var_column_number;
    plan.type = column.type;
    const int fixed_size = ColumnTypeOf(column.type).fixed_size;
    if (column.type == kColumnBoolean) {
      plan.kind = ColumnPlan::Kind::kBoolean;
    } else if (column.calculated) {
      plan.kind = ColumnPlan::Kind::kOther;
    } else if (column.type == kColumnText) {
      plan.kind = ColumnPlan::Kind::kText;
    } else if (column.type == kColumnMemo || column.type == kColumnOle) {
      plan.kind = ColumnPlan::Kind::kMemo;
    } else if (column.fixed && fixed_size > 0 && column.size >= fixed_size) {
      // A fixed field narrower than its type, or a fixed type stored as a
      // variable one, is damage DecodeFixed's own checks handle.
      plan.kind = column.type == kColumnDateTime  ? ColumnPlan::Kind::kDateTime
                  : column.type == kColumnNumeric ? ColumnPlan::Kind::kNumeric
                                                  : ColumnPlan::Kind::kFixed;
    }
    plan_.push_back(plan);
  }
}

bool RowCursor::DecodeRow(uint32_t slot, Row& row) {
  const ByteView page = PageView();
  const std::optional<RowExtent> extent = slots_.extent(slot);
  if (!extent) {
    Report(DamageKind::kDamagedRow, static_cast<int>(slot), "", "the row lies outside its page");
    return false;
  }
  const bool jet4 = handle_.IsJet4();
  const uint32_t stored_columns = jet4 ? page.U16(extent->start).value_or(0) : page.U8(extent->start).value_or(0);
  const bool holds_variable = stored_columns > table_.lowest_variable_number;
  if (!ParseRowLayout(page, jet4, *extent, holds_variable, layout_)) {
    Report(DamageKind::kDamagedRow, static_cast<int>(slot), "", "the row's layout does not hold together");
    return false;
  }
  row.page = decode_page_;
  row.slot = static_cast<uint16_t>(slot);
  row.flags = slots_.entry(slot) & kSlotDeletedMark;
  const size_t columns = table_.columns.size();
  if (plan_.size() != columns) PlanColumns();
  row.values.resize(columns);
  // ParseRowLayout has checked that the row, its null mask and its offsets
  // lie inside the page; each value's extent is checked against the row's
  // data below, so the bytes are read straight from the page.
  const uint8_t* const row_bytes = page.data() + extent->start;
  const uint8_t* const mask = page.data() + layout_.bitmap_start;
  for (size_t i = 0; i < columns; ++i) {
    const ColumnPlan& plan = plan_[i];
    Value& value = row.values[i];
    const bool has_value = plan.mask_byte < layout_.bitmap_size && (mask[plan.mask_byte] & plan.mask_bit) != 0;
    if (plan.kind == ColumnPlan::Kind::kBoolean) {
      value.SetInteger(has_value ? 1 : 0);
      continue;
    }
    value.SetNull();
    uint32_t from;
    uint32_t length;
    if (plan.fixed) {
      // A column added after the row was written is not in it.
      if (plan.number >= layout_.column_count) continue;
      const uint64_t at = layout_.count_size + static_cast<uint64_t>(plan.fixed_offset);
      if (at + plan.size > layout_.data_end) {
        if (has_value) ReportOutsideRow(i, slot);
        continue;
      }
      from = static_cast<uint32_t>(at);
      length = plan.size;
    } else {
      if (plan.var_index >= layout_.var_count) continue;
      const auto bounds = VariableExtent(layout_, plan.var_index);
      if (!bounds) {
        if (has_value) ReportOutsideRow(i, slot);
        continue;
      }
      from = bounds->first;
      length = bounds->second - bounds->first;
    }
    if (!has_value) continue;
    const uint8_t* const field = row_bytes + from;
    switch (plan.kind) {
      case ColumnPlan::Kind::kFixed:
        DecodeFixedSized(plan.type, field, value);
        break;
      case ColumnPlan::Kind::kDateTime:
        DecodeFixedSized(plan.type, field, value);
        // Access keeps dates from the year 100 to 9999: anything else is
        // damage, lost here so that every output counts it alike.
        if (!DateInRange(value.real)) {
          value.SetNull();
          Report(DamageKind::kValueOutsideRow, static_cast<int>(slot), table_.columns[i].name,
                 "date lost: its stored number is no day of the years 100 to 9999");
        }
        break;
      case ColumnPlan::Kind::kNumeric:
        DecodeFixedSized(plan.type, field, value);
        value.precision = table_.columns[i].precision;
        value.scale = table_.columns[i].scale;
        break;
      case ColumnPlan::Kind::kText:
        value.kind = ValueKind::kText;
        DecodeText(ByteView(field, length), value.bytes);
        break;
      case ColumnPlan::Kind::kMemo: {
        // A value kept inside its row is decoded from the page, where the
        // long-value reader would first copy it out; one stored apart is
        // that reader's (and deferred in a batch).
        const uint32_t word = length >= kLongValueHeaderSize ? fixed_detail::LittleEndianAt<uint32_t>(field) : 0;
        if ((word & kLongValueInline) == 0) {
          DecodeOrDefer(i, ByteView(field, length), value, slot);
          break;
        }
        const uint32_t take = std::min(word & kLongValueLengthMask, length - kLongValueHeaderSize);
        const ByteView bytes(field + kLongValueHeaderSize, take);
        if (plan.type == kColumnMemo) {
          value.kind = ValueKind::kText;
          DecodeText(bytes, value.bytes);
        } else {
          value.kind = ValueKind::kBytes;
          value.bytes.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        break;
      }
      default:
        DecodeOrDefer(i, ByteView(field, length), value, slot);
        break;
    }
  }
  return true;
}

void RowCursor::ReportOutsideRow(size_t index, uint32_t slot) const {
  Report(DamageKind::kValueOutsideRow, static_cast<int>(slot), table_.columns[index].name,
         "its bytes lie outside the row");
}

void RowCursor::DecodeText(ByteView field, std::string& out) const {
  if (handle_.IsJet4()) {
    Ucs2ToTextInto(field, out);
  } else {
    handle_.file->code_page->DecodeInto(field, out);
  }
}

void RowCursor::DecodeField(const ColumnDef& column, ByteView field, Value& value, uint32_t slot) {
  const size_t length = field.size();
  if (column.calculated) {
    DecodeCalculated(column, field, value, slot);
    return;
  }
  if (DecodeFixed(column.type, field, value)) {
    if (value.kind == ValueKind::kDecimal) {
      value.precision = column.precision;
      value.scale = column.scale;
    } else if (value.kind == ValueKind::kDateTime && !DateInRange(value.real)) {
      // Access keeps dates from the year 100 to 9999: anything else is
      // damage, lost here so that every output counts it alike.
      value.SetNull();
      Report(DamageKind::kValueOutsideRow, static_cast<int>(slot), column.name,
             "date lost: its stored number is no day of the years 100 to 9999");
    }
    return;
  }
  switch (column.type) {
    case kColumnComplex:
      // The key of the row's entries in the column's hidden table.
      if (length >= 4) value.SetInteger(ByteCursor(field).U32At(0));
      return;
    case kColumnExtendedDateTime:
      if (const std::optional<ExtendedDateTime> parsed = ParseExtendedDateTime(field)) {
        value.SetExtendedDateTime(parsed->days, parsed->ticks);
      } else {
        Report(DamageKind::kValueOutsideRow, static_cast<int>(slot), column.name,
               "extended date/time lost: its digits do not hold a date");
      }
      return;
    case kColumnText:
      value.kind = ValueKind::kText;
      DecodeText(field, value.bytes);
      return;
    case kColumnMemo:
    case kColumnOle: {
      const bool memo = column.type == kColumnMemo;
      value.kind = memo ? ValueKind::kText : ValueKind::kBytes;
      if (length == 0) {
        value.bytes.clear();
        return;
      }
      std::string problem;
      std::string& target = memo ? scratch_ : value.bytes;
      if (!long_values_.Read(field, target, problem, LongValueOwner(decode_page_, slot, column.column_number))) {
        value.SetNull();
        Report(DamageKind::kLongValue, static_cast<int>(slot), column.name,
               std::string(memo ? "memo" : "OLE object") + " lost: " + problem);
        return;
      }
      if (memo) {
        DecodeText(ByteView(reinterpret_cast<const uint8_t*>(scratch_.data()), scratch_.size()), value.bytes);
      }
      return;
    }
    default:
      // Binary, and types without a decoder of their own: the bytes as stored.
      value.kind = ValueKind::kBytes;
      value.bytes.assign(reinterpret_cast<const char*>(field.data()), length);
      return;
  }
}

void RowCursor::DecodeCalculated(const ColumnDef& column, ByteView field, Value& value, uint32_t slot) {
  const int result = column.result_type;
  ByteView wrapper = field;
  if (result == kColumnMemo || result == kColumnOle) {
    // A memo result keeps its wrapper in the long value.
    std::string problem;
    if (!long_values_.Read(field, calculated_, problem, LongValueOwner(decode_page_, slot, column.column_number))) {
      Report(DamageKind::kLongValue, static_cast<int>(slot), column.name, "calculated memo lost: " + problem);
      return;
    }
    wrapper = ByteView(reinterpret_cast<const uint8_t*>(calculated_.data()), calculated_.size());
  }
  const CalculatedValue unwrapped = UnwrapCalculated(wrapper);
  if (unwrapped.error != AceError::kNone) {
    Report(DamageKind::kValueOutsideRow, static_cast<int>(slot), column.name,
           std::string("calculated value lost: ") + AceErrorText(unwrapped.error));
    return;
  }
  if (unwrapped.null) return;
  const ByteView bytes = unwrapped.result;
  switch (result) {
    case kColumnBoolean:
      // Yes/No results are stored as a byte: 0 or 0xFF.
      value.SetInteger(bytes.U8(0).value_or(0) != 0 ? 1 : 0);
      return;
    case kColumnNumeric:
      if (const std::optional<CalculatedDecimal> decimal = DecodeCalculatedDecimal(bytes)) {
        value.kind = ValueKind::kDecimal;
        value.negative = decimal->negative;
        value.magnitude_high = decimal->high;
        value.magnitude_low = decimal->low;
        value.precision = 0;  // the result's own scale, unpadded
        value.scale = decimal->scale;
      } else {
        Report(DamageKind::kValueOutsideRow, static_cast<int>(slot), column.name,
               "calculated decimal lost: its bytes are no decimal");
      }
      return;
    case kColumnMemo:
      value.kind = ValueKind::kText;
      Ucs2ToTextInto(bytes, value.bytes);
      return;
    case kColumnOle:
      value.kind = ValueKind::kBytes;
      value.bytes.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      return;
    default: {
      ColumnDef plain = column;
      plain.calculated = false;
      plain.type = result;
      DecodeField(plain, bytes, value, slot);
      return;
    }
  }
}

}  // namespace mendora
