// Inferring a table's columns from its rows: the shape they share, the split
// of the fixed part, the null mask's bits and the variable columns' types.
#include "recovery/layout_inference.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "reader/column_types.h"
#include "reader/fixed_values.h"
#include "reader/jet_handle.h"
#include "reader/row_layout.h"
#include "reader/text_codec.h"

namespace mendora {

namespace {

// Each column costs a little per row, so that bytes explained equally well
// by fewer columns are.
constexpr double kColumnCost = 0.1;
// How much worse per row a split into more columns may score and still be
// taken.
constexpr double kMoreColumnsMargin = 0.5;
// When a property block names every column, those of no known kind are
// seldom Yes/Nos (Access gives those a Format or a check box): more columns
// may cost more.
constexpr double kTypedColumnsMargin = 2.0;
// Stale bytes behind a null fixed column's clear bit are possible, if rare.
constexpr double kStaleBytesCost = 0.1;
// Bounds on the work of one table: the split and the mask assignment look
// at this many rows, and give up on shapes too wide to be a table's.
constexpr size_t kScoredRows = 1000;
constexpr uint32_t kMostColumns = 256;
constexpr size_t kMostMaskStates = 8'000'000;
constexpr size_t kSplitBudget = 4'000'000;  // candidate values scored for one split

// Days since 1899-12-30 of 1753-01-01, 2200-12-31 and 1927-01-01.
constexpr double kFirstDateDay = -53690;
constexpr double kLastDateDay = 109574;
constexpr double kModernDateDay = 9863;

struct Candidate {
  uint32_t size;
  int type;
};

// The fixed-size types a column of unknown type may be, each with the size
// its decoder reads.
const std::array<Candidate, 9> kCandidates = [] {
  constexpr int kTypes[] = {kColumnByte,     kColumnInteger,  kColumnLongInteger,   kColumnSingle, kColumnDouble,
                            kColumnDateTime, kColumnCurrency, kColumnReplicationId, kColumnNumeric};
  std::array<Candidate, 9> candidates{};
  for (size_t i = 0; i < candidates.size(); ++i) {
    candidates[i] = Candidate{static_cast<uint32_t>(ColumnTypeOf(kTypes[i]).fixed_size), kTypes[i]};
  }
  return candidates;
}();

bool AllZero(ByteView bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes.data()[i] != 0) return false;
  }
  return true;
}

// The fewest significant digits that give `value` back: values people type
// have few, bytes of other columns read as a float have many.
int ShortestDigits(double value, bool single) {
  char text[40];
  for (int digits = 1; digits < 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    const double back = std::strtod(text, nullptr);
    if (single ? static_cast<float>(back) == static_cast<float>(value) : back == value) return digits;
  }
  return 17;
}

// Zeros say little about a column: null and zero values of any number
// look alike, so the common widths score them alike and the column cost
// keeps a run of zeros in as few columns as the rest allows. Between equals,
// an amount: balances and totals of zero are common.
double ZeroQuality(int type) {
  switch (type) {
    case kColumnLongInteger:
    case kColumnInteger:
    case kColumnDouble:
      return 0.25;
    case kColumnCurrency:
      return 0.26;
    case kColumnByte:
      return 0.15;
    case kColumnSingle:
    case kColumnNumeric:
      return 0.1;
    case kColumnDateTime:
      return 0;  // midnight of 1899-12-30: the time 00:00:00
    default:
      return -0.2;  // a GUID of zeros
  }
}

// `bytes` as a value of `type`, through the reader's decoder.
Value Decoded(int type, ByteView bytes) {
  Value value;
  DecodeFixed(type, bytes, value);
  return value;
}


// Whether a variable value reads as text in the file's form.
bool LooksLikeText(ByteView bytes, bool jet4) {
  const size_t n = bytes.size();
  if (n == 0) return true;
  size_t controls = 0;
  size_t characters = 0;
  if (!jet4) {
    for (size_t i = 0; i < n; ++i) {
      const uint8_t c = bytes.data()[i];
      if (c == 0) return false;
      if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') ++controls;
    }
    return controls * 4 <= n;
  }
  if (n >= 2 && bytes.data()[0] == 0xFF && bytes.data()[1] == 0xFE) {
    const std::string text = Ucs2ToText(bytes);
    for (const char c : text) {
      ++characters;
      if (c == 0) return false;
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n') ++controls;
    }
    return controls * 4 <= std::max<size_t>(characters, 1);
  }
  if (n % 2 != 0) return false;
  for (size_t i = 0; i < n; i += 2) {
    const uint16_t unit = static_cast<uint16_t>(bytes.data()[i] | bytes.data()[i + 1] << 8);
    ++characters;
    if (unit == 0 || unit == 0xFFFE || unit == 0xFFFF) return false;
    if (unit >= 0xD800 && unit < 0xDC00) {
      if (i + 3 >= n) return false;
      const uint16_t low = static_cast<uint16_t>(bytes.data()[i + 2] | bytes.data()[i + 3] << 8);
      if (low < 0xDC00 || low >= 0xE000) return false;
      i += 2;
      continue;
    }
    if (unit >= 0xDC00 && unit < 0xE000) return false;
    if (unit < 0x20 && unit != '\t' && unit != '\r' && unit != '\n') ++controls;
  }
  return controls * 4 <= characters;
}

// Whether a variable value is a long-value reference: a length word whose
// flags say where the value lies, and for values outside the row a page
// inside the file.
bool LooksLikeLongValue(ByteView bytes, uint32_t page_count) {
  if (bytes.size() < kLongValueHeaderSize) return false;
  const uint32_t word = *bytes.U32(0);
  const uint32_t length = word & kLongValueLengthMask;
  if ((word & kLongValueInline) != 0) {
    return (word & kLongValueSingleRow) == 0 && bytes.size() == kLongValueHeaderSize + length;
  }
  if (bytes.size() != kLongValueHeaderSize || length == 0) return false;
  const uint32_t page = *bytes.U32(4) >> 8;
  return page > 0 && page < page_count;
}

// Bits of one flag per sampled row.
class RowBits {
 public:
  explicit RowBits(size_t rows) : words_((rows + 63) / 64, 0) {}
  void Set(size_t row) { words_[row / 64] |= uint64_t{1} << (row % 64); }
  const std::vector<uint64_t>& words() const { return words_; }

 private:
  std::vector<uint64_t> words_;
};

// Rows where `a` is set and `b` is not (`negate_b`) or is.
size_t CountBoth(const RowBits& a, const RowBits& b, bool negate_a, bool negate_b, size_t rows) {
  size_t count = 0;
  const auto& wa = a.words();
  const auto& wb = b.words();
  for (size_t k = 0; k < wa.size(); ++k) {
    uint64_t word = (negate_a ? ~wa[k] : wa[k]) & (negate_b ? ~wb[k] : wb[k]);
    if (k + 1 == wa.size() && rows % 64 != 0) word &= (uint64_t{1} << (rows % 64)) - 1;
    count += static_cast<size_t>(std::popcount(word));
  }
  return count;
}

struct FixedColumn {
  uint32_t offset = 0;
  Candidate candidate{1, kColumnByte};
  bool counter = false;  // a long that rises through every row: an AutoNumber
  // The scored rows in which the column holds a value (its null-mask bit
  // is set); empty before the bits are assigned: every row.
  std::vector<bool> holds;
};

// The split of [0, fixed_size) into between `fewest` and `most` columns
// that scores best over all rows.
std::vector<FixedColumn> SplitFixedPart(const std::vector<ByteView>& fixed_parts, uint32_t fixed_size, uint32_t fewest,
                                        uint32_t most_columns, double more_columns_margin) {
  if (fixed_size == 0) return {};
  const size_t kCandidateCount = kCandidates.size();
  // Wide fixed parts are scored on fewer rows: the work stays bounded.
  const size_t rows = std::min(fixed_parts.size(), std::max<size_t>(50, kSplitBudget / (fixed_size * kCandidateCount)));
  // Score of each candidate starting at each offset.
  std::vector<double> scores(static_cast<size_t>(fixed_size) * kCandidateCount, -1e300);
  std::vector<bool> counters(scores.size(), false);
  for (uint32_t offset = 0; offset < fixed_size; ++offset) {
    for (size_t c = 0; c < kCandidateCount; ++c) {
      const Candidate& candidate = kCandidates[c];
      if (offset + candidate.size > fixed_size) continue;
      double total = 0;
      bool rising = candidate.type == kColumnLongInteger && rows >= 3;
      int64_t previous = -1;
      // Amounts whose low byte is zero in every row are small integers read
      // from a byte or more to their left.
      bool shifted = candidate.type == kColumnCurrency;
      bool any_value = false;
      for (size_t r = 0; r < rows; ++r) {
        const ByteView bytes = *fixed_parts[r].Sub(offset, candidate.size);
        total += candidate.size * FixedValueQuality(candidate.type, bytes);
        if (shifted && !AllZero(bytes)) {
          any_value = true;
          shifted = bytes.data()[0] == 0;
        }
        if (rising) {
          const int64_t value = static_cast<int32_t>(*bytes.U32(0));
          // Counters step by little; floats read as integers rise too, by leaps.
          rising = value > previous && (previous < 0 ? value < 1000000 : value - previous <= 1000);
          previous = value;
        }
      }
      // A counter that rises through every row is an AutoNumber.
      if (rising) total = candidate.size * static_cast<double>(rows);
      if (shifted && any_value && total > 0) total *= 0.1;
      counters[offset * kCandidateCount + c] = rising;
      scores[offset * kCandidateCount + c] = total - kColumnCost * static_cast<double>(rows);
    }
  }
  const uint32_t most = std::min<uint32_t>(most_columns, fixed_size);
  const size_t width = most + 1u;
  std::vector<double> best(static_cast<size_t>(fixed_size + 1) * width, -1e300);
  std::vector<int16_t> choice(best.size(), -1);
  best[0] = 0;
  for (uint32_t end = 1; end <= fixed_size; ++end) {
    for (size_t c = 0; c < kCandidateCount; ++c) {
      const uint32_t size = kCandidates[c].size;
      if (size > end) continue;
      const uint32_t start = end - size;
      const double score = scores[start * kCandidateCount + c];
      for (uint32_t k = 1; k <= most; ++k) {
        const double before = best[start * width + k - 1];
        if (before <= -1e299) continue;
        if (before + score > best[end * width + k]) {
          best[end * width + k] = before + score;
          choice[end * width + k] = static_cast<int16_t>(c);
        }
      }
    }
  }
  const auto total = [&](uint32_t k) { return best[fixed_size * width + k]; };
  uint32_t k_best = 0;
  for (uint32_t k = std::max<uint32_t>(fewest, 1); k <= most; ++k) {
    if (total(k) > -1e299 && (k_best == 0 || total(k) > total(k_best))) k_best = k;
  }
  if (k_best == 0) return {};
  // Every column the split does not make becomes a Yes/No, which tables
  // have few of: more columns win unless they cost clearly more.
  const double margin = more_columns_margin * static_cast<double>(rows);
  for (uint32_t k = most; k > k_best; --k) {
    if (total(k) > -1e299 && total(k) >= total(k_best) - margin) {
      k_best = k;
      break;
    }
  }
  std::vector<FixedColumn> columns(k_best);
  uint32_t end = fixed_size;
  for (uint32_t k = k_best; k > 0; --k) {
    const size_t c = static_cast<size_t>(choice[end * width + k]);
    const Candidate& candidate = kCandidates[c];
    end -= candidate.size;
    columns[k - 1] = FixedColumn{end, candidate, counters[end * kCandidateCount + c], {}};
  }
  return columns;
}

enum class BitRole : uint8_t { kFixed, kVariable, kBoolean };

// Which column each bit of the null mask belongs to. Fixed columns keep
// their order among themselves, as do variable ones; a null variable
// column has no bytes at all; a null fixed column's bytes are mostly zero,
// though Access may leave stale bytes there; a set bit's fixed bytes hold a
// value of the column's type. Bits no column explains are Boolean columns.
std::vector<BitRole> AssignMaskBits(const std::vector<RowBits>& mask, const std::vector<RowBits>& fixed_zero,
                                    const std::vector<RowBits>& fixed_implausible,
                                    const std::vector<RowBits>& var_empty, size_t rows) {
  const size_t n = mask.size();
  const size_t a = fixed_zero.size();
  const size_t r = var_empty.size();
  std::vector<BitRole> roles;
  if ((n + 1) * (a + 1) * (r + 1) > kMostMaskStates) {
    for (size_t i = 0; i < a; ++i) roles.push_back(BitRole::kFixed);
    for (size_t j = 0; j < r; ++j) roles.push_back(BitRole::kVariable);
    while (roles.size() < n) roles.push_back(BitRole::kBoolean);
    return roles;
  }
  // A zero or empty value behind a clear bit fits a null column as well as
  // a Boolean that is false, so only what is unlikely counts: a variable
  // value behind a clear bit (never written so), fixed bytes behind a clear
  // bit (stale, now and then), and behind a set bit bytes that are no value
  // of the column's type.
  std::vector<double> fixed_scores(n * a);
  std::vector<double> var_scores(n * r);
  for (size_t b = 0; b < n; ++b) {
    for (size_t i = 0; i < a; ++i) {
      fixed_scores[b * a + i] =
          -kStaleBytesCost * static_cast<double>(CountBoth(mask[b], fixed_zero[i], true, true, rows)) -
          static_cast<double>(CountBoth(mask[b], fixed_implausible[i], false, false, rows));
    }
    for (size_t j = 0; j < r; ++j) {
      var_scores[b * r + j] = -50.0 * static_cast<double>(CountBoth(mask[b], var_empty[j], true, true, rows));
    }
  }
  const auto fixed_score = [&](size_t b, size_t i) { return fixed_scores[b * a + i]; };
  const auto var_score = [&](size_t b, size_t j) { return var_scores[b * r + j]; };
  // Between equals, Booleans take the last bits.
  const auto boolean_score = [&](size_t b) { return -1e-6 * static_cast<double>(n - b); };
  const size_t layer = (a + 1) * (r + 1);
  constexpr double kNone = -1e300;
  std::vector<double> current(layer, kNone);
  std::vector<double> next(layer, kNone);
  std::vector<uint8_t> came(n * layer, 0);
  current[0] = 0;
  for (size_t b = 0; b < n; ++b) {
    std::fill(next.begin(), next.end(), kNone);
    for (size_t i = 0; i <= a; ++i) {
      for (size_t j = 0; j <= r; ++j) {
        const double here = current[i * (r + 1) + j];
        if (here <= kNone / 2) continue;
        const auto offer = [&](size_t ni, size_t nj, double score, BitRole role) {
          double& slot = next[ni * (r + 1) + nj];
          if (here + score > slot) {
            slot = here + score;
            came[b * layer + ni * (r + 1) + nj] = static_cast<uint8_t>(role);
          }
        };
        if (i < a) offer(i + 1, j, fixed_score(b, i), BitRole::kFixed);
        if (j < r) offer(i, j + 1, var_score(b, j), BitRole::kVariable);
        if (b - i - j < n - a - r) offer(i, j, boolean_score(b), BitRole::kBoolean);
      }
    }
    std::swap(current, next);
  }
  roles.assign(n, BitRole::kBoolean);
  size_t i = a;
  size_t j = r;
  for (size_t b = n; b > 0; --b) {
    const BitRole role = static_cast<BitRole>(came[(b - 1) * layer + i * (r + 1) + j]);
    roles[b - 1] = role;
    if (role == BitRole::kFixed) --i;
    if (role == BitRole::kVariable) --j;
  }
  return roles;
}

}  // namespace

double FixedValueQuality(int type, ByteView bytes) {
  if (AllZero(bytes)) return ZeroQuality(type);
  const Value decoded = Decoded(type, bytes);
  switch (type) {
    case kColumnByte:
      return 0.15;
    case kColumnInteger: {
      const int64_t value = decoded.integer;
      const int magnitude = std::abs(static_cast<int>(value));
      return magnitude <= 1000 ? 0.45 : magnitude <= 10000 ? 0.2 : 0.05;
    }
    case kColumnLongInteger: {
      const int64_t value = std::abs(decoded.integer);
      if (value < 65536) return 0.6;
      if (value < 1000000) return 0.3;
      return value < 1000000000 ? 0.25 : -0.5;
    }
    case kColumnSingle: {
      const float value = decoded.AsSingle();
      if (!std::isfinite(value) || std::fpclassify(value) == FP_SUBNORMAL) return -1;
      const float magnitude = std::fabs(value);
      if (magnitude < 1e-4f || magnitude > 1e9f) return -0.5;
      const int digits = ShortestDigits(value, true);
      return digits <= 4 ? 0.9 : digits <= 6 ? 0.3 : -0.3;
    }
    case kColumnDouble: {
      const double value = decoded.real;
      if (!std::isfinite(value) || std::fpclassify(value) == FP_SUBNORMAL) return -1;
      const double magnitude = std::fabs(value);
      if (magnitude < 1e-6 || magnitude > 1e12) return -0.5;
      const int digits = ShortestDigits(value, false);
      return digits <= 8 ? 0.9 : digits <= 12 ? 0.5 : 0.1;
    }
    case kColumnDateTime: {
      const double days = decoded.real;
      if (!std::isfinite(days) || days < -657434.0 || days > 2958466.0) return -1;
      const double seconds = days * 86400.0;
      // Bytes of other data read as a double are mostly tiny: within a
      // second of 1899-12-30 midnight, but not it.
      if (std::fabs(seconds) < 0.5) return -1;
      const bool whole = std::fabs(seconds - std::round(seconds)) < 1e-3;
      // 1927 to 2100: the dates most files hold.
      if (whole && days >= 10000.0 && days <= 73051.0) return 1.0;
      return whole ? 0.3 : -1;
    }
    case kColumnCurrency: {
      const int64_t value = decoded.integer;
      if (value > 1'000'000'000'000'000 || value < -1'000'000'000'000'000) return -1;
      // Beyond a hundred million the high word is more likely a column of
      // its own: two small integers side by side read as one amount.
      if (value > 1'000'000'000'000 || value < -1'000'000'000'000) return value % 100 == 0 ? 0.1 : -0.5;
      // Amounts are rarely below a hundredth, seldom below one, and have
      // few decimals.
      if (value > -100 && value < 100) return -0.5;
      if (value % 100 != 0) return 0.2;
      // Small integers read across a column boundary give multiples of
      // 65536, which amounts seldom are (163.84 units apart).
      if (value % 65536 == 0) return 0.1;
      return value > -10000 && value < 10000 ? 0.4 : 1.0;
    }
    case kColumnReplicationId: {
      const uint8_t version = decoded.guid[7] >> 4;
      return version >= 1 && version <= 5 && (decoded.guid[8] & 0xC0) == 0x80 ? 0.6 : -0.5;
    }
    case kColumnNumeric: {
      // The sign byte holds 0x80 or nothing.
      if ((bytes.data()[0] & 0x7F) != 0) return -1;
      // Decimals are rare, and their zeros look like any run of zeros: only
      // a value whose high words are empty counts, and little.
      return AllZero(*bytes.Sub(1, 12)) ? 0.25 : -0.2;
    }
    default:
      return 0;
  }
}

std::optional<RowShape> ShapeOfRow(ByteView row, bool jet4, bool has_var_table) {
  if (row.size() < 2) return std::nullopt;
  RowLayout layout;
  const RowExtent extent{0, static_cast<uint32_t>(row.size() - 1)};
  if (!ParseRowLayout(row, jet4, extent, has_var_table, layout)) return std::nullopt;
  if (layout.column_count == 0 || layout.column_count > kMostColumns) return std::nullopt;
  if (layout.data_end < layout.count_size) return std::nullopt;
  RowShape shape;
  shape.column_count = layout.column_count;
  if (!has_var_table) {
    shape.fixed_size = layout.data_end - layout.count_size;
    return shape;
  }
  if (layout.var_count > layout.column_count || layout.offsets.empty()) return std::nullopt;
  if (layout.offsets[0] < layout.count_size || layout.offsets.back() > layout.data_end) return std::nullopt;
  for (uint32_t k = 0; k < layout.var_count; ++k) {
    if (!VariableExtent(layout, k)) return std::nullopt;
    if (jet4 && layout.offsets[k] > layout.offsets[k + 1]) return std::nullopt;
  }
  shape.fixed_size = layout.offsets[0] - layout.count_size;
  shape.var_count = layout.var_count;
  return shape;
}

bool InferredLayout::Fits(ByteView row, bool jet4) const {
  if (row.size() < 2) return false;
  const uint32_t stored = jet4 ? *row.U16(0) : *row.U8(0);
  if (stored == shape.column_count) {
    const std::optional<RowShape> own = ShapeOfRow(row, jet4, has_var_table);
    return own && *own == shape;
  }
  // A row written before the table's last columns were added stores only
  // the columns numbered below its count: their fixed bytes, their variable
  // values, and an offset table only once it holds a variable column.
  if (stored == 0 || stored > shape.column_count) return false;
  uint32_t fixed_end = 0;
  uint32_t variables = 0;
  for (const ColumnDef& column : columns) {
    if (column.column_number >= stored) continue;
    if (!column.fixed) {
      ++variables;
    } else if (column.type != kColumnBoolean) {
      fixed_end = std::max<uint32_t>(fixed_end, column.fixed_offset + static_cast<uint32_t>(column.size));
    }
  }
  const std::optional<RowShape> own = ShapeOfRow(row, jet4, has_var_table && variables > 0);
  return own && own->var_count == variables && own->fixed_size >= fixed_end && own->fixed_size <= shape.fixed_size;
}

namespace {

// Scores of one fixed column's bytes as each type of its size, over the
// scored rows.
double ScoreAs(const std::vector<ByteView>& fixed_parts, const FixedColumn& column, int type) {
  double total = 0;
  for (size_t k = 0; k < fixed_parts.size(); ++k) {
    if (!column.holds.empty() && !column.holds[k]) continue;
    total += FixedValueQuality(type, *fixed_parts[k].Sub(column.offset, column.candidate.size));
  }
  return total;
}

// The values a column of dates holds: whole seconds from 1753 to 2200, and
// either some with a time of day no short decimal gives, or all from 1927
// on (a column of whole numbers reaching below that is more likely amounts
// or counts).
bool HoldsDates(const std::vector<ByteView>& fixed_parts, const FixedColumn& column) {
  size_t values = 0;
  size_t modern = 0;
  bool times = false;
  for (size_t k = 0; k < fixed_parts.size(); ++k) {
    if (!column.holds.empty() && !column.holds[k]) continue;
    const double days = Decoded(kColumnDateTime, *fixed_parts[k].Sub(column.offset, 8)).real;
    if (days == 0) continue;
    if (!std::isnormal(days) || days < kFirstDateDay || days > kLastDateDay) return false;
    const double seconds = std::round(days * 86400.0);
    if (std::fabs(days * 86400.0 - seconds) >= 1e-3 || seconds == 0) return false;
    ++values;
    modern += days >= kModernDateDay ? 1 : 0;
    // A time of day written as a short decimal (0.5, 0.25) is as likely an
    // amount; 16:55:35 takes all of a double's digits.
    times = times || (std::fmod(seconds, 86400.0) != 0 && ShortestDigits(days, false) > 10);
  }
  return values > 0 && (times || modern == values);
}

// The number type of `length` bytes that reads `values` best; 0 when
// none reads them plausibly.
int NumberOfLength(const std::vector<ByteView>& values, size_t length) {
  int best_type = 0;
  double best = 0;
  for (const Candidate& candidate : kCandidates) {
    if (candidate.size != length || candidate.type == kColumnReplicationId) continue;
    double total = 0;
    for (const ByteView& value : values) total += FixedValueQuality(candidate.type, value);
    if (total > best) {
      best = total;
      best_type = candidate.type;
    }
  }
  return best_type;
}

// Types each fixed column again from the rows where it holds a value (a
// null column's bytes, zero or stale, say nothing of its type), among the
// types of its size.
void RetypeFromValues(std::vector<FixedColumn>& fixed, const std::vector<ByteView>& fixed_parts) {
  for (FixedColumn& column : fixed) {
    if (column.counter) continue;
    int best_type = column.candidate.type;
    double best = ScoreAs(fixed_parts, column, best_type);
    for (const Candidate& candidate : kCandidates) {
      if (candidate.size != column.candidate.size || candidate.type == column.candidate.type) continue;
      const double score = ScoreAs(fixed_parts, column, candidate.type);
      if (score > best) {
        best = score;
        best_type = candidate.type;
      }
    }
    column.candidate.type = best_type;
    if (column.candidate.size == 8 && HoldsDates(fixed_parts, column)) column.candidate.type = kColumnDateTime;
  }
}

// Makes at least `fewest` and at most `most` of the 8-byte columns of type
// `type` (a date or a currency amount), moving those whose bytes score the
// least worse as the other.
void FitTypeCount(std::vector<FixedColumn>& fixed, const std::vector<ByteView>& fixed_parts, int type, size_t fewest,
                  size_t most) {
  constexpr int kEightByteTypes[] = {kColumnDouble, kColumnDateTime, kColumnCurrency};
  const auto best_other = [&](const FixedColumn& column, int& other) {
    double best = -1e300;
    for (const int candidate : kEightByteTypes) {
      if (candidate == type) continue;
      const double score = ScoreAs(fixed_parts, column, candidate);
      if (score > best) {
        best = score;
        other = candidate;
      }
    }
    return best;
  };
  size_t count = 0;
  for (const FixedColumn& column : fixed) count += column.candidate.type == type ? 1 : 0;
  while (count < fewest) {
    FixedColumn* pick = nullptr;
    double least_cost = 1e300;
    for (FixedColumn& column : fixed) {
      if (column.candidate.size != 8 || column.candidate.type == type) continue;
      // Dates are taken first: an amount does not take a date's place.
      if (type == kColumnCurrency && column.candidate.type == kColumnDateTime) continue;
      const double cost = ScoreAs(fixed_parts, column, column.candidate.type) - ScoreAs(fixed_parts, column, type);
      if (cost < least_cost) {
        least_cost = cost;
        pick = &column;
      }
    }
    if (pick == nullptr) break;
    pick->candidate.type = type;
    ++count;
  }
  while (count > most) {
    FixedColumn* pick = nullptr;
    int pick_type = kColumnDouble;
    double least_cost = 1e300;
    for (FixedColumn& column : fixed) {
      if (column.candidate.type != type) continue;
      int other = kColumnDouble;
      const double cost = ScoreAs(fixed_parts, column, type) - best_other(column, other);
      if (cost < least_cost) {
        least_cost = cost;
        pick = &column;
        pick_type = other;
      }
    }
    if (pick == nullptr) break;
    pick->candidate.type = pick_type;
    --count;
  }
}

ByteView RowView(const RowSample& row) { return ByteView(row.bytes.data(), row.bytes.size()); }

// Whether the rows have a variable table (most rows read with one), and the
// shape the table's rows take; false when no row has a shape.
bool ChooseShape(const std::vector<RowSample>& rows, bool jet4, InferredLayout& layout) {
  size_t with_table = 0;
  for (const RowSample& row : rows) with_table += ShapeOfRow(RowView(row), jet4, true) ? 1 : 0;
  layout.has_var_table = with_table * 2 > rows.size();

  std::map<std::tuple<uint32_t, uint32_t, uint32_t>, size_t> shapes;
  for (const RowSample& row : rows) {
    if (const auto shape = ShapeOfRow(RowView(row), jet4, layout.has_var_table)) {
      ++shapes[{shape->column_count, shape->fixed_size, shape->var_count}];
    }
  }
  if (shapes.empty()) return false;
  // The most common shape, unless rows written since columns were added
  // are numerous enough to be the table's own: older rows then fit as the
  // part of it they hold.
  auto chosen = std::max_element(shapes.begin(), shapes.end(),
                                 [](const auto& x, const auto& y) { return x.second < y.second; });
  const size_t enough = std::max<size_t>(3, rows.size() / 10);
  for (auto it = shapes.begin(); it != shapes.end(); ++it) {
    if (it->second >= enough && std::get<0>(it->first) > std::get<0>(chosen->first)) chosen = it;
  }
  layout.shape = RowShape{std::get<0>(chosen->first), std::get<1>(chosen->first), std::get<2>(chosen->first)};
  return true;
}

// The first kScoredRows rows of the chosen shape, parsed, with their fixed parts.
struct FittingRows {
  std::vector<const RowSample*> rows;
  std::vector<RowLayout> parsed;
  std::vector<ByteView> fixed_parts;
};

FittingRows RowsOfShape(const std::vector<RowSample>& rows, bool jet4, const InferredLayout& layout) {
  FittingRows fitting;
  for (const RowSample& row : rows) {
    if (fitting.rows.size() >= kScoredRows) break;
    const std::optional<RowShape> own = ShapeOfRow(RowView(row), jet4, layout.has_var_table);
    if (own && *own == layout.shape) fitting.rows.push_back(&row);
  }
  const size_t count_size = jet4 ? 2 : 1;
  const size_t n = fitting.rows.size();
  fitting.parsed.resize(n);
  for (size_t k = 0; k < n; ++k) {
    const ByteView row = RowView(*fitting.rows[k]);
    ParseRowLayout(row, jet4, RowExtent{0, static_cast<uint32_t>(row.size() - 1)}, layout.has_var_table,
                   fitting.parsed[k]);
    fitting.fixed_parts.push_back(*row.Sub(count_size, layout.shape.fixed_size));
  }
  return fitting;
}

// What each null-mask bit stands for, checked against the values (zero or
// implausible fixed values, empty variable ones); the fixed columns learn
// in which rows they hold a value.
std::vector<BitRole> MaskRoles(const FittingRows& fitting, const RowShape& shape, std::vector<FixedColumn>& fixed) {
  const size_t n = fitting.rows.size();
  std::vector<RowBits> mask(shape.column_count, RowBits(n));
  std::vector<RowBits> fixed_zero(fixed.size(), RowBits(n));
  std::vector<RowBits> fixed_implausible(fixed.size(), RowBits(n));
  std::vector<RowBits> var_empty(shape.var_count, RowBits(n));
  for (size_t k = 0; k < n; ++k) {
    const ByteView row = RowView(*fitting.rows[k]);
    for (uint32_t b = 0; b < shape.column_count; ++b) {
      if (fitting.parsed[k].HasValue(row, b)) mask[b].Set(k);
    }
    for (size_t i = 0; i < fixed.size(); ++i) {
      const ByteView bytes = *fitting.fixed_parts[k].Sub(fixed[i].offset, fixed[i].candidate.size);
      if (AllZero(bytes)) fixed_zero[i].Set(k);
      if (FixedValueQuality(fixed[i].candidate.type, bytes) < 0) fixed_implausible[i].Set(k);
    }
    for (uint32_t j = 0; j < shape.var_count; ++j) {
      const auto extent = VariableExtent(fitting.parsed[k], j);
      if (!extent || extent->first == extent->second) var_empty[j].Set(k);
    }
  }
  const std::vector<BitRole> roles = AssignMaskBits(mask, fixed_zero, fixed_implausible, var_empty, n);
  size_t i = 0;
  for (uint32_t b = 0; b < shape.column_count; ++b) {
    if (roles[b] != BitRole::kFixed) continue;
    FixedColumn& column = fixed[i++];
    column.holds.resize(n);
    for (size_t k = 0; k < n; ++k) column.holds[k] = fitting.parsed[k].HasValue(RowView(*fitting.rows[k]), b);
  }
  return roles;
}

// Types the variable column `column` by what every row's value of it reads
// as; false when no row holds a value.
bool TypeVariableColumn(const FittingRows& fitting, const InferenceContext& context, ColumnDef& column) {
  const bool jet4 = context.jet4;
  bool all_long = true;
  bool all_text = true;
  bool all_guids = true;
  bool any = false;
  size_t same_length = 0;
  std::vector<ByteView> values;
  std::vector<std::pair<size_t, ByteView>> probes;
  for (size_t k = 0; k < fitting.rows.size(); ++k) {
    const auto extent = VariableExtent(fitting.parsed[k], column.var_column_number);
    if (!extent || extent->first == extent->second) continue;
    const ByteView value = *RowView(*fitting.rows[k]).Sub(extent->first, extent->second - extent->first);
    any = true;
    all_guids = all_guids && value.size() == 16 && (AllZero(value) || FixedValueQuality(kColumnReplicationId, value) > 0);
    if (values.empty()) same_length = value.size();
    if (value.size() != same_length) same_length = 0;
    if (values.size() < kScoredRows) values.push_back(value);
    all_long = all_long && LooksLikeLongValue(value, context.page_count);
    all_text = all_text && LooksLikeText(value, jet4);
    if (probes.size() < 8) probes.emplace_back(k, value);
  }
  if (any && all_guids) {
    // Some programs keep GUIDs as variable columns of 16 bytes.
    column.type = kColumnReplicationId;
    column.size = 16;
  } else if (!any || (all_text && !all_long)) {
    column.type = kColumnText;
    column.size = jet4 ? 510 : 255;
  } else if (all_long) {
    // Memo or OLE by what the values hold.
    bool text = true;
    for (const auto& [k, value] : probes) {
      std::optional<std::string> content;
      if ((*value.U32(0) & kLongValueInline) != 0) {
        content = std::string(reinterpret_cast<const char*>(value.data()) + kLongValueHeaderSize,
                              value.size() - kLongValueHeaderSize);
      } else if (context.read_long_value) {
        content = context.read_long_value(value, *fitting.rows[k], column.column_number);
      }
      if (!content) continue;
      text = text && LooksLikeText(ByteView(reinterpret_cast<const uint8_t*>(content->data()), content->size()), jet4);
    }
    column.type = text ? kColumnMemo : kColumnOle;
  } else if (const int type = same_length > 0 ? NumberOfLength(values, same_length) : 0; type != 0) {
    // Some of Access's own tables keep numbers in variable columns.
    column.type = type;
    column.size = static_cast<int32_t>(same_length);
  } else {
    column.type = kColumnBinary;
    column.size = 255;
  }
  return any;
}

}  // namespace

std::optional<InferredLayout> InferLayout(const std::vector<RowSample>& rows, const InferenceContext& context) {
  const bool jet4 = context.jet4;
  if (rows.empty()) return std::nullopt;
  InferredLayout layout;
  if (!ChooseShape(rows, jet4, layout)) return std::nullopt;
  const RowShape& shape = layout.shape;
  const FittingRows fitting = RowsOfShape(rows, jet4, layout);

  // How many fixed columns there are, and of which kinds, as far as the
  // catalog's property blocks tell.
  const uint32_t fixed_most = shape.column_count - shape.var_count;
  const KindCounts kinds = CountKinds(context.evidence, shape.column_count, shape.var_count);
  const uint32_t fewest = std::min(kinds.fixed_fewest, fixed_most);
  const uint32_t most = std::max(fewest, std::min(kinds.fixed_most, fixed_most));
  std::vector<FixedColumn> fixed =
      SplitFixedPart(fitting.fixed_parts, shape.fixed_size, fewest, most,
                     context.evidence.size() == shape.column_count ? kTypedColumnsMargin : kMoreColumnsMargin);
  if (shape.fixed_size > 0 && fixed.empty()) return std::nullopt;

  const std::vector<BitRole> roles = MaskRoles(fitting, shape, fixed);
  RetypeFromValues(fixed, fitting.fixed_parts);
  FitTypeCount(fixed, fitting.fixed_parts, kColumnDateTime, kinds.dates_fewest, kinds.dates_most);
  FitTypeCount(fixed, fitting.fixed_parts, kColumnCurrency, kinds.currency_fewest, SIZE_MAX);

  std::vector<InferredColumn> described;
  size_t next_fixed = 0;
  uint16_t next_var = 0;
  for (uint32_t b = 0; b < shape.column_count; ++b) {
    ColumnDef column;
    column.column_number = static_cast<uint16_t>(b);
    InferredColumn about;
    if (roles[b] == BitRole::kBoolean) {
      column.type = kColumnBoolean;
      column.fixed = true;
      column.flags = kColumnFlagFixed;
    } else if (roles[b] == BitRole::kFixed) {
      const FixedColumn& part = fixed[next_fixed++];
      column.type = part.candidate.type;
      column.size = static_cast<int32_t>(part.candidate.size);
      column.fixed = true;
      column.flags = kColumnFlagFixed;
      column.fixed_offset = static_cast<uint16_t>(part.offset);
      if (column.type == kColumnNumeric) column.precision = 28;
      about.counter = part.counter;
    } else {
      column.var_column_number = next_var++;
      column.fixed = false;
      layout.lowest_variable_number = std::min<uint32_t>(layout.lowest_variable_number, b);
      about.empty = !TypeVariableColumn(fitting, context, column);
    }
    layout.columns.push_back(std::move(column));
    described.push_back(about);
  }
  layout.rows_fitting = 0;
  for (const RowSample& row : rows) layout.rows_fitting += layout.Fits(RowView(row), jet4) ? 1 : 0;
  NameColumns(layout.columns, described, context.evidence, layout.notes, layout.guessed);
  return layout;
}

}  // namespace mendora
