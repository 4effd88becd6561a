// Decrypting ahead of the reader: what the thread made is taken only for the
// very bytes it was made from, and reads in order come out as without it.
#include "reader/decrypt_ahead.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "reader/jet_handle.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kPageSize = 2048;
// The first page after the reader's that the thread decrypts ahead: the
// ones before it are left to the reader.
constexpr uint32_t kAhead = 4;

struct EncodedSample {
  Bytes bytes;
  std::shared_ptr<const PageCipher> cipher;

  EncodedSample() {
    std::ifstream in(*testing::EncryptedCorpusDir() / "jet3-encoded.mdb", std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    cipher = DetectPageCipher(ByteView(bytes.data(), kPageSize), std::nullopt).cipher;
  }
  Bytes Stored(uint32_t n) const {
    return Bytes(bytes.begin() + n * kPageSize, bytes.begin() + (n + 1) * kPageSize);
  }
  Bytes Plain(uint32_t n) const {
    Bytes page = Stored(n);
    EXPECT_TRUE(cipher->DecryptPage(n, std::span(page)));
    return page;
  }
};

// Waits a little for the thread: Take only ever finds what is done.
size_t TakeSoon(DecryptAhead& ahead, uint32_t n, Bytes& page, size_t head = DecryptAhead::kWhole) {
  for (int i = 0; i < 2000; ++i) {
    if (const size_t plain = ahead.Take(n, std::span(page), head)) return plain;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return 0;
}

TEST(DecryptAheadTest, PagesAreTakenOnlyForTheBytesTheyWereMadeFrom) {
  if (!testing::EncryptedCorpusDir()) GTEST_SKIP() << "encrypted samples not found (set MENDORA_CORPUS_ENCRYPTED)";
  const EncodedSample sample;
  ASSERT_NE(sample.cipher, nullptr);
  testing::TempDatabase file(sample.bytes);
  const int fd = open(file.path().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  {
    DecryptAhead ahead(fd, kPageSize, sample.bytes.size(), sample.cipher);
    // One lone read starts nothing.
    ahead.Follow(20);
    Bytes page = sample.Stored(21);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(ahead.Take(21, std::span(page)));
    EXPECT_EQ(page, sample.Stored(21));
    // Reads in order do, past the few pages right after the reader's,
    // which the reader gets to before the thread would be done with them.
    for (uint32_t n = 1; n <= 3; ++n) ahead.Follow(n);
    page = sample.Stored(3 + kAhead);
    ASSERT_TRUE(TakeSoon(ahead, 3 + kAhead, page));
    EXPECT_EQ(page, sample.Plain(3 + kAhead));
    // The same page again, as the reader reads its current page again.
    page = sample.Stored(3 + kAhead);
    EXPECT_TRUE(ahead.Take(3 + kAhead, std::span(page)));
    EXPECT_EQ(page, sample.Plain(3 + kAhead));
    // Not for a reader of its head, which must see the rest as stored.
    page = sample.Stored(3 + kAhead);
    EXPECT_EQ(ahead.Take(3 + kAhead, std::span(page), 128), 0u);
    EXPECT_EQ(page, sample.Stored(3 + kAhead));
    // Other stored bytes than those decrypted ahead: left as they are.
    ahead.Follow(4);
    Bytes changed = sample.Stored(4 + kAhead);
    changed[100] ^= 0xFF;
    const Bytes before = changed;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(ahead.Take(4 + kAhead, std::span(changed)));
    EXPECT_EQ(changed, before);
    // Heads read in order are decrypted ahead as heads, and a head is no
    // whole page.
    for (uint32_t n = 8; n <= 10; ++n) ahead.Follow(n, 128);
    page = sample.Stored(10 + kAhead);
    Bytes head = page;
    ASSERT_EQ(TakeSoon(ahead, 10 + kAhead, page, 128),
              sample.cipher->DecryptPageHead(10 + kAhead, std::span(head), 128));
    EXPECT_EQ(page, head);
    page = sample.Stored(10 + kAhead);
    EXPECT_EQ(ahead.Take(10 + kAhead, std::span(page)), 0u);
    EXPECT_EQ(page, sample.Stored(10 + kAhead));
    // Pages past the end of the file are never guessed.
    const uint32_t last = static_cast<uint32_t>(sample.bytes.size() / kPageSize) - 1;
    for (uint32_t n = last - 2; n <= last; ++n) ahead.Follow(n);
    page = Bytes(kPageSize, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(ahead.Take(last + 1, std::span(page)));
  }
  close(fd);
}

// Through the handle: a walk in order, with jumps back and reads of other
// pages between, gives every page as decrypting it directly does.
TEST(DecryptAheadTest, HandleReadsAreUnchanged) {
  if (!testing::EncryptedCorpusDir()) GTEST_SKIP() << "encrypted samples not found (set MENDORA_CORPUS_ENCRYPTED)";
  const EncodedSample sample;
  JetHandlePtr handle = OpenJetHandle((*testing::EncryptedCorpusDir() / "jet3-encoded.mdb").string());
  ASSERT_NE(handle, nullptr);
  const uint32_t pages = handle->PageCount();
  for (int round = 0; round < 3; ++round) {
    for (uint32_t n = 1; n < pages; ++n) {
      ASSERT_EQ(ReadPage(*handle, n), kPageSize);
      EXPECT_TRUE(std::equal(handle->page.begin(), handle->page.begin() + kPageSize, sample.Plain(n).begin()))
          << round << " " << n;
      if (n % 7 == 0) {
        ASSERT_EQ(ReadAltPage(*handle, pages - n), kPageSize);
        EXPECT_TRUE(
            std::equal(handle->alt_page.begin(), handle->alt_page.begin() + kPageSize, sample.Plain(pages - n).begin()));
      }
    }
  }
}

// The walk's reads of page heads, with whole reads of some of the same pages
// and jumps between: each gives what decrypting the head directly gives, as
// many bytes plain and the rest zero, whatever the thread made ahead.
TEST(DecryptAheadTest, HeadReadsAreUnchanged) {
  if (!testing::EncryptedCorpusDir()) GTEST_SKIP() << "encrypted samples not found (set MENDORA_CORPUS_ENCRYPTED)";
  const EncodedSample sample;
  JetHandlePtr handle = OpenJetHandle((*testing::EncryptedCorpusDir() / "jet3-encoded.mdb").string());
  ASSERT_NE(handle, nullptr);
  ASSERT_NE(handle->file->cipher, nullptr);
  const uint32_t pages = handle->PageCount();
  for (const uint32_t head : {16u, 128u, 1000u}) {
    for (int round = 0; round < 3; ++round) {
      for (uint32_t n = 1; n < pages; ++n) {
        Bytes expected = sample.Stored(n);
        const size_t expected_plain = sample.cipher->DecryptPageHead(n, std::span(expected), head);
        uint32_t plain = 0;
        ASSERT_EQ(ReadPageHead(*handle, n, head, plain), kPageSize) << head << " " << n;
        ASSERT_EQ(plain, expected_plain) << head << " " << round << " " << n;
        EXPECT_TRUE(std::equal(handle->page.begin(), handle->page.begin() + plain, expected.begin())) << head << " " << n;
        EXPECT_TRUE(std::all_of(handle->page.begin() + plain, handle->page.end(), [](uint8_t b) { return b == 0; }));
        if (n % 5 == 0) {
          // The walk reads a page it must see whole after its head.
          ASSERT_EQ(ReadPage(*handle, n), kPageSize);
          EXPECT_TRUE(std::equal(handle->page.begin(), handle->page.begin() + kPageSize, sample.Plain(n).begin())) << n;
        }
        if (n % 11 == 0) {
          ASSERT_EQ(ReadPage(*handle, pages - n), kPageSize);
        }
      }
    }
  }
}

}  // namespace
}  // namespace mendora
