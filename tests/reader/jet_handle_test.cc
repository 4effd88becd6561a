// Opening files, recognising versions and reading pages.
#include "reader/jet_handle.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <thread>
#include <vector>

#include "reader/heads_ahead.h"
#include "reader/windows_ahead.h"
#include "reader/packed_table.h"

namespace mendora {
namespace {

class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes) {
    char name[] = "/tmp/mendora-handle-XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    if (!bytes.empty()) EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
  }
  ~TempFile() { std::filesystem::remove(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// `size` random bytes, and a temporary file of them open for reading.
struct RandomFile {
  RandomFile(size_t size, unsigned seed) : bytes(Random(size, seed)), file(bytes) {
    fd = open(file.path().c_str(), O_RDONLY);
  }
  ~RandomFile() {
    if (fd >= 0) close(fd);
  }
  static std::vector<uint8_t> Random(size_t size, unsigned seed) {
    std::vector<uint8_t> random_bytes(size);
    std::mt19937 random(seed);
    for (uint8_t& b : random_bytes) b = static_cast<uint8_t>(random());
    return random_bytes;
  }
  std::vector<uint8_t> bytes;
  TempFile file;
  int fd = -1;
};

std::vector<uint8_t> JetFileBytes(uint32_t version, size_t pages, uint32_t page_size) {
  std::vector<uint8_t> bytes(pages * page_size);
  bytes[0x14] = static_cast<uint8_t>(version);
  for (size_t p = 1; p < pages; ++p) bytes[p * page_size] = static_cast<uint8_t>(p);  // mark each page
  return bytes;
}

TEST(OpenJetFileTest, RefusesWhatIsNoJetFileWithTheReadersMessages) {
  const auto refusal = [](const std::string& path) {
    std::string error = "unset";
    EXPECT_EQ(OpenJetHandle(path, &error), nullptr);
    return error;
  };
  EXPECT_EQ(refusal("/nonexistent/file.mdb"), "Can't alloc filename\nNo such file or directory");

  std::vector<uint8_t> bytes = JetFileBytes(0, 2, 2048);
  bytes[0] = 1;
  TempFile not_zero(bytes);
  EXPECT_EQ(refusal(not_zero.path()), "");

  TempFile version7(JetFileBytes(7, 2, 2048));
  EXPECT_EQ(refusal(version7.path()), "Unknown Jet version.");

  TempFile empty({});
  EXPECT_EQ(refusal(empty.path()), "Couldn't read first page.");
  EXPECT_EQ(refusal("/tmp"), "Couldn't open file /tmp\nIs a directory");
}

// The reader's own line stays as it was; the system's reason follows it, and
// the caller learns whether the file was unreachable or no Jet file.
TEST(OpenJetFileTest, EachRefusalNamesItsCause) {
  const std::string dir = std::filesystem::temp_directory_path() / ("mendora-causes-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::create_symlink(dir + "/loop-b", dir + "/loop-a");
  std::filesystem::create_symlink(dir + "/loop-a", dir + "/loop-b");
  std::filesystem::create_symlink(dir + "/nowhere", dir + "/dangling");
  ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
  std::ofstream(dir + "/locked") << "secret";
  std::filesystem::permissions(dir + "/locked", std::filesystem::perms::none);
  std::ofstream(dir + "/text") << "not a database";

  struct Case {
    std::string name;
    std::string message;
    OpenFailure failure;
  };
  std::vector<Case> cases = {
      {"missing", "Can't alloc filename\nNo such file or directory", OpenFailure::kUnreachable},
      {"loop-a", "Can't alloc filename\nToo many levels of symbolic links", OpenFailure::kUnreachable},
      {"dangling", "Can't alloc filename\nNo such file or directory", OpenFailure::kUnreachable},
      {"fifo", "Couldn't open file " + dir + "/fifo\nnot a regular file", OpenFailure::kUnreachable},
      {"text", "", OpenFailure::kNotJet},
  };
  if (geteuid() != 0) {  // root reads whatever the mode says
    cases.push_back({"locked", "Couldn't open file " + dir + "/locked\nPermission denied", OpenFailure::kUnreachable});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenFailure failure = OpenFailure::kNone;
    std::string error;
    EXPECT_EQ(OpenJetHandle(dir + "/" + c.name, &error, &failure), nullptr);
    EXPECT_EQ(error, c.message);
    EXPECT_EQ(failure, c.failure);
  }
  std::filesystem::remove_all(dir);
}

// Masks the header from 0x18 as Access does (RC4, fixed key), so that the
// plain header is `plain` there: all zeros but `database_key` at 0x3E.
void MaskHeader(std::vector<uint8_t>& bytes, uint32_t database_key) {
  const uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % 4]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (size_t k = 0x18, i = 0, j = 0; k < 0x80; ++k) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    const uint8_t plain = k >= 0x3E && k < 0x42 ? static_cast<uint8_t>(database_key >> (8 * (k - 0x3E))) : 0;
    bytes[k] = plain ^ s[(s[i] + s[j]) & 0xFF];
  }
}

std::vector<uint8_t> AceFileBytes(uint8_t version, uint8_t byte_after, uint32_t database_key = 0) {
  std::vector<uint8_t> bytes = JetFileBytes(version, 3, 4096);
  MaskHeader(bytes, database_key);
  const char name[] = "Standard ACE DB";
  std::copy(name, name + sizeof name, bytes.begin() + 4);
  bytes[0x15] = byte_after;
  return bytes;
}

TEST(OpenJetFileTest, OpensAccess2007To2019FilesWithTheJet4Layout) {
  // Access 2010 files carry a 1 in the byte after the version.
  for (const auto& [version, byte_after] : {std::pair{2, 0}, {3, 1}, {3, 0}, {4, 0}, {5, 0}, {6, 0}}) {
    SCOPED_TRACE(version);
    TempFile file(AceFileBytes(static_cast<uint8_t>(version), static_cast<uint8_t>(byte_after)));
    JetHandlePtr handle = OpenJetHandle(file.path());
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->file->version, static_cast<uint32_t>(version));
    EXPECT_TRUE(handle->IsJet4());
    EXPECT_TRUE(handle->IsAce());
    EXPECT_EQ(handle->format, &kJet4Format);
  }
  TempFile jet4(JetFileBytes(1, 3, 4096));
  EXPECT_FALSE(OpenJetHandle(jet4.path())->IsAce());
}

// A key in the masked header and no encryption header: pages encoded with
// the key alone, which needs no password (the refusals of password-encrypted
// files are tested on the samples, in page_cipher_test.cc).
TEST(OpenJetFileTest, AKeyedHeaderWithoutAnEncryptionHeaderDecryptsWithoutAPassword) {
  std::vector<uint8_t> jet4 = JetFileBytes(1, 3, 4096);
  MaskHeader(jet4, 0xA1F327E1);
  TempFile keyed_jet4(jet4);
  TempFile keyed_ace(AceFileBytes(3, 1, 0xA1F327E1));
  for (const TempFile* file : {&keyed_jet4, &keyed_ace}) {
    const JetHandlePtr keyed = OpenJetHandle(file->path());
    ASSERT_NE(keyed, nullptr);
    EXPECT_NE(keyed->file->cipher, nullptr);
  }
  TempFile plain(AceFileBytes(3, 1));
  EXPECT_EQ(OpenJetHandle(plain.path())->file->cipher, nullptr);
}

TEST(OpenJetFileTest, NamesANewerAccessVersionRatherThanCallingItDamage) {
  TempFile newer(AceFileBytes(7, 0));
  std::string error;
  EXPECT_EQ(OpenJetHandle(newer.path(), &error), nullptr);
  EXPECT_EQ(error, "Access 2007+ file of an unknown version 7");
}

TEST(OpenJetFileTest, RunsThePassOnlyOnARecognisedFile) {
  TempFile jet4(JetFileBytes(1, 3, 4096));
  int runs = 0;
  EXPECT_TRUE(OpenJetFile(jet4.path(), [&](JetHandle& handle) {
    ++runs;
    EXPECT_TRUE(handle.IsJet4());
    EXPECT_EQ(handle.PageSize(), 4096u);
    EXPECT_EQ(handle.PageCount(), 3u);
  }));
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(OpenJetFile("/nonexistent", [&](JetHandle&) { ++runs; }));
  EXPECT_EQ(runs, 1);
}

TEST(ReadPageTest, ShortcutEndOfFileAndBuffers) {
  TempFile file(JetFileBytes(0, 3, 2048));
  JetHandlePtr handle = OpenJetHandle(file.path());
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(handle->PageSize(), 2048u);

  EXPECT_EQ(ReadPage(*handle, 2), 2048u);
  EXPECT_EQ(handle->page[0], 2);
  handle->page[0] = 99;  // the shortcut must not touch the file
  EXPECT_EQ(ReadPage(*handle, 2), 2048u);
  EXPECT_EQ(handle->page[0], 99);

  EXPECT_EQ(ReadPage(*handle, 3), 0u);  // starts exactly at the end
  EXPECT_EQ(ReadPage(*handle, 4), 0u);
  // A failed read is never taken for the page by the shortcut.
  EXPECT_NE(handle->current_page, 4);

  ASSERT_EQ(ReadPage(*handle, 1), 2048u);
  ASSERT_EQ(ReadAltPage(*handle, 2), 2048u);
  EXPECT_EQ(handle->current_page, 1);
  EXPECT_EQ(handle->alt_page_number, 2);
  EXPECT_EQ(handle->page[0], 1);
  EXPECT_EQ(handle->alt_page[0], 2);
  // Reading into a buffer by hand forgets which page it held.
  ReadPageInto(*handle, handle->alt_page, 1);
  EXPECT_EQ(handle->alt_page_number, -1);
}

TEST(ReadPageTest, ShortLastPageIsZeroFilled) {
  std::vector<uint8_t> bytes = JetFileBytes(0, 2, 2048);
  bytes.resize(2048 + 10);
  TempFile file(bytes);
  JetHandlePtr handle = OpenJetHandle(file.path());
  ASSERT_NE(handle, nullptr);
  ReadAltPage(*handle, 1);
  handle->alt_page.fill(0xAA);
  EXPECT_EQ(ReadAltPage(*handle, 1), 10u);
  EXPECT_EQ(handle->alt_page[10], 0);
}

TEST(GuardedReadTest, StaysInsideThePageSize) {
  TempFile file(JetFileBytes(0, 2, 2048));
  JetHandlePtr handle = OpenJetHandle(file.path());
  ASSERT_NE(handle, nullptr);
  handle->page[2046] = 0x34;
  handle->page[2047] = 0x12;
  EXPECT_EQ(PageU16(*handle, 2046), 0x1234);
  EXPECT_EQ(PageU24(*handle, 2045), -1);  // needs four bytes of room
  EXPECT_EQ(PageU32(*handle, 2045), -1);
  EXPECT_EQ(PageU16(*handle, -1), -1);
  EXPECT_EQ(PageU16(*handle, 2047), -1);
  EXPECT_EQ(PageU32(*handle, 0x14), 0);
}

// Pages served from the read-ahead window must be the file's bytes whatever
// the order of reading: in order, backwards, jumping, through both buffers,
// stepping over pages, between reads of pages' heads alone, with a short
// last page and a second pass from the start.
TEST(ReadPageTest, EveryOrderOfReadingGivesTheFilesBytes) {
  constexpr uint32_t kPageSize = 2048;
  constexpr size_t kPages = 300;  // more than the windows hold, then a short page
  std::vector<uint8_t> bytes = JetFileBytes(0, kPages, kPageSize);
  for (size_t i = kPageSize; i < bytes.size(); i += 4) bytes[i + 1] = static_cast<uint8_t>(i / 4 * 7);
  bytes.resize(bytes.size() + 100, 0x5A);
  TempFile file(bytes);
  const auto expect_page = [&](JetHandle& handle, const PageBuffer& buffer, size_t p, uint32_t got) {
    const size_t size = std::min<size_t>(kPageSize, bytes.size() - p * kPageSize);
    ASSERT_EQ(got, size) << "page " << p;
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + size, bytes.begin() + p * kPageSize)) << "page " << p;
    EXPECT_TRUE(std::all_of(buffer.begin() + size, buffer.end(), [](uint8_t b) { return b == 0; })) << "page " << p;
    (void)handle;
  };
  std::vector<std::vector<size_t>> orders;
  std::vector<size_t> forward(kPages + 1);
  for (size_t p = 0; p <= kPages; ++p) forward[p] = p;
  orders.push_back(forward);
  orders.push_back(std::vector<size_t>(forward.rbegin(), forward.rend()));
  std::vector<size_t> jumping;
  for (size_t p = 1; p <= kPages; p += 3) jumping.insert(jumping.end(), {p, p + 1 <= kPages ? p + 1 : p, 1});
  orders.push_back(jumping);
  std::vector<size_t> twice = forward;
  twice.insert(twice.end(), forward.begin() + 1, forward.end());
  orders.push_back(twice);
  // A reader that steps forward over a few pages at a time, and one far
  // behind it (every fifth read goes through the other buffer).
  std::vector<size_t> stepping;
  for (size_t p = 1; p <= kPages; p += 1 + p % 4) stepping.insert(stepping.end(), {p, p > 150 ? p - 150 : p + 1});
  orders.push_back(stepping);
  // A reader that starts in the middle while another reads every page's head.
  std::vector<size_t> middle;
  for (size_t p = 0; p < 39; ++p) middle.insert(middle.end(), {p, 37 + p});
  middle.push_back(kPages);  // and the short page's head
  orders.push_back(middle);
  for (size_t o = 0; o < orders.size(); ++o) {
    SCOPED_TRACE("order " + std::to_string(o));
    JetHandlePtr handle = OpenJetHandle(file.path());
    ASSERT_NE(handle, nullptr);
    for (size_t k = 0; k < orders[o].size(); ++k) {
      const size_t p = orders[o][k];
      if (k % 5 == 4) {
        expect_page(*handle, handle->alt_page, p, ReadAltPage(*handle, static_cast<int64_t>(p)));
      } else if (o + 1 == orders.size() && k % 2 == 0) {
        uint32_t plain = 0;
        const uint32_t got = ReadPageHead(*handle, static_cast<int64_t>(p), 100, plain);
        const size_t size = std::min<size_t>(kPageSize, bytes.size() - p * kPageSize);
        ASSERT_EQ(got, size) << "page " << p;
        ASSERT_LE(plain, got);
        EXPECT_GE(plain, std::min<size_t>(100, size)) << "page " << p;
        const auto& page = handle->page;
        EXPECT_TRUE(std::equal(page.begin(), page.begin() + plain, bytes.begin() + p * kPageSize)) << "page " << p;
        EXPECT_TRUE(std::all_of(page.begin() + plain, page.end(), [](uint8_t b) { return b == 0; })) << "page " << p;
        // A head alone never passes for the page.
        if (plain < size) EXPECT_NE(handle->current_page, static_cast<int64_t>(p));
      } else {
        expect_page(*handle, handle->page, p, ReadPage(*handle, static_cast<int64_t>(p)));
      }
    }
    EXPECT_EQ(ReadPage(*handle, kPages + 1), 0u);
  }
}

// The classes noted for pages that windows brought in are those of the
// pages' own bytes: data pages of several owners, with and without a mark,
// with a first live slot past the walk's head or none at all, definitions
// and other pages. Never a class for the short last page, nor a wrong one
// once there are more classes than are kept.
TEST(PageClassesTest, WindowsNoteEachPagesOwnClass) {
  constexpr uint32_t kPageSize = 2048;
  constexpr size_t kPages = 520;
  constexpr size_t kManyOwners = 100;  // from here on, each data page has an owner of its own
  std::vector<uint8_t> bytes = JetFileBytes(0, kPages, kPageSize);
  std::mt19937 random(11);
  const auto put16 = [&](size_t at, uint16_t v) {
    bytes[at] = static_cast<uint8_t>(v);
    bytes[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  for (size_t p = 3; p < kPages; ++p) {
    uint8_t* page = bytes.data() + p * kPageSize;
    const uint8_t types[] = {kDataPageType, kDataPageType, kDataPageType, kDefinitionPageType, kIndexLeafPageType};
    page[0] = types[random() % 5];
    page[1] = random() % 4 == 0 ? 0 : kPageMark;
    page[4] = static_cast<uint8_t>(random() % 3 + 2);  // the catalog's among the owners
    if (p >= kManyOwners) put16(p * kPageSize + 5, static_cast<uint16_t>(p));
    const uint16_t slots = static_cast<uint16_t>(random() % 80);
    const uint16_t first_live = static_cast<uint16_t>(random() % 90);  // often none, often past the head
    put16(p * kPageSize + kJet3Format.RowCountPos, slots);
    for (uint16_t j = 0; j < slots; ++j) {
      put16(p * kPageSize + kJet3Format.RowCountPos + 2 + 2 * j,
            static_cast<uint16_t>(1000 + j) | (j < first_live ? kSlotDeletedMark : 0));
    }
  }
  bytes.resize(bytes.size() + 100, kDataPageType);
  TempFile file(bytes);
  JetHandlePtr handle = OpenJetHandle(file.path());
  ASSERT_NE(handle, nullptr);
  for (size_t p = 1; p <= kPages; ++p) ReadPage(*handle, static_cast<int64_t>(p));
  size_t known_pages = 0;
  size_t live = 0;
  for (uint32_t p = 0; p < kPages; ++p) {
    const std::optional<PageClass> known = handle->page_classes.Known(*handle->format, nullptr, p);
    if (p < kManyOwners) ASSERT_TRUE(known.has_value()) << "page " << p;
    if (!known) continue;
    ++known_pages;
    const ByteView page(bytes.data() + size_t{p} * kPageSize, kPageSize);
    EXPECT_EQ(*known, ClassifyPage(page, kJet3Format)) << "page " << p;
    live += known->live ? 1 : 0;
  }
  EXPECT_GT(live, 10u);
  EXPECT_LT(known_pages, kPages - 10);  // the classes ran out
  EXPECT_FALSE(handle->page_classes.Known(*handle->format, nullptr, kPages).has_value());
  EXPECT_FALSE(handle->page_classes.Known(kJet4Format, nullptr, 1).has_value());
}

// Heads read ahead are the file's bytes, whichever way the walk goes: in
// order, back to its start, past what was read, onto the short last page.
TEST(HeadsAheadTest, EveryOrderGivesTheFilesHeads) {
  constexpr uint32_t kPageSize = 2048;
  constexpr uint32_t kHead = 100;
  constexpr size_t kPages = 5 * HeadsAhead::kChunkPages + 17;
  const RandomFile file(kPages * kPageSize + 60, 7);
  const std::vector<uint8_t>& bytes = file.bytes;
  const int fd = file.fd;
  ASSERT_GE(fd, 0);
  std::vector<std::vector<uint32_t>> orders;
  std::vector<uint32_t> forward(kPages + 1);
  for (uint32_t p = 0; p <= kPages; ++p) forward[p] = p;
  orders.push_back(forward);
  std::vector<uint32_t> twice = forward;
  twice.insert(twice.end(), forward.begin(), forward.end());
  orders.push_back(twice);
  std::vector<uint32_t> leaping;
  for (uint32_t p = 1; p <= kPages; p += 1 + (p % 3 == 0 ? 3 * HeadsAhead::kChunkPages / 2 : 0)) leaping.push_back(p);
  leaping.insert(leaping.end(), forward.begin() + 1, forward.begin() + 600);
  orders.push_back(leaping);
  for (size_t o = 0; o < orders.size(); ++o) {
    SCOPED_TRACE("order " + std::to_string(o));
    HeadsAhead ahead(fd, kPageSize, bytes.size(), kHead);
    uint8_t over[kHead + 1];
    EXPECT_FALSE(ahead.Take(HeadsAhead::kChunkPages, kHead + 1, over));  // more than is read ahead
    // The thread is given time to read its first chunks, so that the
    // shortcut is seen taken.
    uint8_t first[kHead];
    ahead.Take(0, kHead, first);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    size_t taken = 0;
    for (const uint32_t p : orders[o]) {
      uint8_t head[kHead];
      const uint32_t want = static_cast<uint32_t>(std::min<size_t>(kHead, bytes.size() - size_t{p} * kPageSize));
      if (!ahead.Take(p, want, head)) continue;
      ++taken;
      ASSERT_TRUE(std::equal(head, head + want, bytes.begin() + size_t{p} * kPageSize)) << "page " << p;
    }
    EXPECT_GT(taken, 0u);
  }
  // A file that shrank after it was opened: the pages it no longer holds,
  // read ahead while the walk was on its last pages, never pass for heads.
  HeadsAhead ahead(fd, kPageSize, bytes.size() + 2 * HeadsAhead::kChunkPages * kPageSize, kHead);
  uint8_t head[kHead];
  for (uint32_t p = 0; p < kPages; ++p) ahead.Take(p, kHead, head);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (uint32_t p = kPages + 1; p < kPages + 2 * HeadsAhead::kChunkPages; ++p) EXPECT_FALSE(ahead.Take(p, kHead, head));
}

// Windows read ahead are what pread gives, whichever way the reader goes:
// in order, back to the start, leaping, with windows of another size, onto
// the short last window and past the end.
TEST(WindowsAheadTest, EveryOrderReadsWhatPreadReads) {
  constexpr size_t kWindow = 8192;
  constexpr size_t kCapacity = 2 * kWindow;
  constexpr size_t kWindows = 6 * WindowsAhead::kDepth;
  const RandomFile file(kWindows * kWindow + 300, 11);
  const std::vector<uint8_t>& bytes = file.bytes;
  const int fd = file.fd;
  ASSERT_GE(fd, 0);
  struct Step {
    uint64_t offset;
    size_t size;
  };
  std::vector<std::vector<Step>> orders(4);
  for (size_t k = 0; k <= kWindows + 1; ++k) orders[0].push_back({k * kWindow, kWindow});
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t k = 0; k < kWindows / 2; ++k) orders[1].push_back({k * kWindow, kWindow});
  }
  for (size_t k = 0; k < kWindows; k += 1 + k % 3) orders[2].push_back({k * kWindow, kWindow});
  for (size_t k = 0; k < 4; ++k) orders[3].push_back({k * kWindow, kWindow});
  for (size_t k = 2; k < kWindows / 2; ++k) orders[3].push_back({k * 2 * kWindow, 2 * kWindow});
  orders[3].push_back({kWindows * kWindow, 300});
  orders[3].push_back({kWindows * kWindow - kWindow, kWindow});
  for (size_t o = 0; o < orders.size(); ++o) {
    SCOPED_TRACE("order " + std::to_string(o));
    WindowsAhead ahead(fd, bytes.size(), kCapacity);
    auto buffer = std::make_unique<uint8_t[]>(kCapacity);
    for (size_t i = 0; i < orders[o].size(); ++i) {
      const Step step = orders[o][i];
      // Now and then the thread is given time to get ahead, so that both the
      // windows it read and those the reader reads itself are seen.
      if (i % 3 == 1) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const ssize_t got = ahead.Read(buffer, step.offset, step.size);
      const size_t expected = step.offset >= bytes.size() ? 0 : std::min(step.size, bytes.size() - step.offset);
      ASSERT_EQ(got, static_cast<ssize_t>(expected)) << "at " << step.offset;
      ASSERT_TRUE(std::equal(buffer.get(), buffer.get() + expected, bytes.begin() + static_cast<ptrdiff_t>(step.offset)))
          << "at " << step.offset;
    }
  }
}

// A long-value row belongs to the first field that reads it; that field may
// read it again, no other may, whichever rows the table already holds.
TEST(LongValueClaimsTest, FirstOwnerKeepsTheRow) {
  LongValueClaims claims;
  for (uint32_t page = 1; page < 3000; page += 7) {
    for (uint32_t row = 0; row < 256; row += 51) ASSERT_TRUE(claims.Claim(page, row, LongValueOwner(page * 3, row, 2)));
  }
  struct Case {
    uint32_t page, row;
    uint64_t owner;
    bool granted;
  } cases[] = {
      {8, 51, LongValueOwner(24, 51, 2), true},         // the same field again
      {8, 51, LongValueOwner(24, 51, 3), false},        // another column of that row
      {8, 51, LongValueOwner(25, 51, 2), false},        // another page's row
      {8, 52, LongValueOwner(25, 51, 2), true},         // a row nobody took
      {8, 52, LongValueOwner(25, 51, 2), true},         // ...and its taker again
      {8, 52, LongValueOwner(24, 51, 2), false},        // ...not the first field
      {0xFFFFFF, 255, LongValueOwner(1, 1, 1), true},   // the largest reference
      {0xFFFFFF, 255, LongValueOwner(1, 1, 0), false},
      {8 + 4096, 51, LongValueOwner(7, 7, 7), true},      // pages alike in their low bits
      {8 + 4096, 51, LongValueOwner(24, 51, 2), false},   // ...are not page 8
      {8 + (1 << 20), 51, LongValueOwner(6, 6, 6), true},  // nor past the millionth page
      {8 + (1 << 20), 51, LongValueOwner(24, 51, 2), false},
      {8 + (1 << 24), 51, LongValueOwner(24, 51, 2), true},  // a page is named in 24 bits
  };
  for (const Case& c : cases) {
    EXPECT_EQ(claims.Claim(c.page, c.row, c.owner), c.granted) << c.page << "/" << c.row;
  }
}

// Claims in file order, in any order and backwards, pages that share their
// low bits or lie past the millionth page among them, rows claimed again by
// their owner or by one that differs in a single field, grant exactly what a
// plain map of each row's first owner grants.
TEST(LongValueClaimsTest, AgreesWithAMapOfFirstOwners) {
  struct Claim {
    uint32_t page, row;
    uint64_t owner;
  };
  const uint32_t bases[] = {3, 4095, 4099, 70000, (1u << 20) - 1, 1u << 20, (1u << 20) + 3, 0xFFFFFF};
  const struct {
    const char* order;
    Claim (*make)(std::mt19937&, uint32_t, const uint32_t*);
  } orders[] = {
      {"file order",
       [](std::mt19937&, uint32_t i, const uint32_t*) {
         return Claim{5 + i / 37 + i / 370, i % 37 + (i % 37 > 20),
                      LongValueOwner(10 + i / 3, i * 7 % 4096, 4 + (i % 11 == 0))};
       }},
      {"any order",
       [](std::mt19937& random, uint32_t, const uint32_t* bases) {
         const auto page = static_cast<uint32_t>((bases[random() % 8] + 4096 * (random() % 40)) & 0xFFFFFF);
         const auto row = static_cast<uint32_t>(random() % 256);
         return Claim{page, row, LongValueOwner(static_cast<uint32_t>(random()), random() % 4096, random() % 65536)};
       }},
      {"backwards",
       [](std::mt19937&, uint32_t i, const uint32_t*) {
         return Claim{0xFFFFFF - i / 50, 255 - i % 50 * 5, LongValueOwner(0xFFFFFFFF - i / 4, i % 4096, 65535)};
       }},
  };
  for (const auto& order : orders) {
    std::mt19937 random(7);
    LongValueClaims claims;
    std::map<std::pair<uint32_t, uint32_t>, uint64_t> first_owner;
    std::vector<Claim> made;
    for (uint32_t i = 0; i < 100000; ++i) {
      Claim claim = order.make(random, i, bases);
      if (!made.empty() && random() % 4 == 0) {
        // A row claimed before, by its owner or by one a field apart.
        claim = made[random() % made.size()];
        const uint32_t data_page = static_cast<uint32_t>(claim.owner >> 28);
        const auto slot = static_cast<uint32_t>(claim.owner >> 16 & 0xFFF);
        const auto column = static_cast<uint32_t>(claim.owner & 0xFFFF);
        switch (random() % 6) {
          case 0: claim.owner = LongValueOwner(data_page ^ (random() % 2 == 0 ? 1 : 1u << 31), slot, column); break;
          case 1: claim.owner = LongValueOwner(data_page, slot ^ (random() % 2 == 0 ? 1 : 0x800), column); break;
          case 2: claim.owner = LongValueOwner(data_page, slot, column ^ (random() % 2 == 0 ? 1 : 0x8000)); break;
          default: break;
        }
      }
      made.push_back(claim);
      const auto [at, fresh] = first_owner.try_emplace({claim.page & 0xFFFFFF, claim.row}, claim.owner);
      ASSERT_EQ(claims.Claim(claim.page, claim.row, claim.owner), fresh || at->second == claim.owner)
          << order.order << " " << i << ": " << claim.page << "/" << claim.row;
    }
    EXPECT_EQ(claims.size(), first_owner.size()) << order.order;
  }
}

// Every key's values, those past 28 bits among them, come back whole, once
// and in order, whatever the order they went in, as from a plain set.
TEST(PackedTableTest, AgreesWithASetOfPairs) {
  std::mt19937 random(11);
  const uint32_t values[] = {0, 1, (1u << 28) - 1, 1u << 28, 0xFFFFFFFF, 12345};
  PackedTable table;
  std::set<std::pair<uint32_t, uint32_t>> pairs;
  for (int i = 0; i < 100000; ++i) {
    // Keys that share a bucket and keys that differ only in their top bits.
    const uint32_t key = random() % 3 == 0 ? (random() % 64) << 26 : random() % 5000;
    const uint32_t value = random() % 2 == 0 ? values[random() % 6] : random() % 3000;
    table.Insert(key, value);
    pairs.insert({key, value});
  }
  ASSERT_EQ(table.size(), pairs.size());
  for (uint32_t key = 0; key < 5000; ++key) {
    for (const uint32_t k : {key, key << 26}) {
      std::vector<uint32_t> expected, found;
      for (auto at = pairs.lower_bound({k, 0}); at != pairs.end() && at->first == k; ++at) expected.push_back(at->second);
      for (const uint64_t entry : table.Find(k)) {
        ASSERT_EQ(entry >> 32, k);
        found.push_back(PackedTable::ValueOf(entry));
      }
      ASSERT_EQ(found, expected) << k;
    }
  }
}

}  // namespace
}  // namespace mendora
