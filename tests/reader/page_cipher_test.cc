// Telling how a file is protected, checking its password and decrypting its
// pages: on the encrypted samples, on a built agile file, and on damaged
// headers.
#include "reader/page_cipher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <vector>

#include "reader/ace_encryption.h"
#include "reader/crypto_library.h"
#include "reader/jet_handle.h"
#include "tests/support/agile_file.h"
#include "tests/support/corpus.h"

namespace mendora {
namespace {

using crypto::Bytes;
using testing::AgileFile;
using testing::CorpusDir;
using testing::EncryptedCorpusDir;

Bytes ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Sample {
  const char* name;
  uint32_t page_size;
  std::optional<std::string> password;
  EncryptionScheme scheme;
};

const Sample kSamples[] = {
    {"jet3-encoded.mdb", 2048, std::nullopt, EncryptionScheme::kJetEncoding},
    {"ace2007-encrypted-rc4.accdb", 4096, "Test123", EncryptionScheme::kRc4CryptoApi},
    // Despite its name this sample is RC4 CryptoAPI with a 128-bit key.
    {"ace2010-encrypted-agile.accdb", 4096, "password", EncryptionScheme::kRc4CryptoApi},
};

ByteView Page0(const Bytes& file, uint32_t page_size) {
  return ByteView(file.data(), std::min<size_t>(file.size(), page_size));
}

// What a decrypted page must look like: a known type, then the 0x01 every
// page type carries; or blank, as never-written pages are.
bool LooksLikePage(const uint8_t* page, uint32_t page_size) {
  static const std::set<uint8_t> kTypes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x08, 0x09};
  if (std::all_of(page, page + page_size, [](uint8_t b) { return b == 0; })) return true;
  return kTypes.count(page[0]) != 0 && page[1] == 0x01;
}

TEST(PageCipherSampleTest, SchemesAndPasswordsAreToldApart) {
  if (!EncryptedCorpusDir()) GTEST_SKIP() << "encrypted samples not found (set MENDORA_CORPUS_ENCRYPTED)";
  for (const Sample& sample : kSamples) {
    SCOPED_TRACE(sample.name);
    const Bytes file = ReadAll(*EncryptedCorpusDir() / sample.name);
    const PageCipherSetup right = DetectPageCipher(Page0(file, sample.page_size), sample.password);
    EXPECT_EQ(right.status, EncryptionStatus::kReady) << right.detail;
    EXPECT_EQ(right.scheme, sample.scheme);
    ASSERT_NE(right.cipher, nullptr);
    EXPECT_EQ(right.cipher->scheme(), sample.scheme);
    if (!sample.password) continue;
    EXPECT_EQ(DetectPageCipher(Page0(file, sample.page_size), std::nullopt).status, EncryptionStatus::kNeedsPassword);
    for (const char* wrong : {"", "test123", "Test1234", "wrong"}) {
      const PageCipherSetup setup = DetectPageCipher(Page0(file, sample.page_size), std::string(wrong));
      EXPECT_EQ(setup.status, EncryptionStatus::kWrongPassword) << wrong;
      EXPECT_EQ(setup.cipher, nullptr);
    }
  }
}

TEST(PageCipherSampleTest, EveryDecryptedPageIsAPageAndTheCatalogDefinitionIsAsInPlainFiles) {
  if (!EncryptedCorpusDir()) GTEST_SKIP() << "encrypted samples not found (set MENDORA_CORPUS_ENCRYPTED)";
  // The fixed part of the catalog's definition on page 2 (table type 'S',
  // column and index counts), as every plain sample has it.
  const uint8_t kCatalogHead[] = {0x53, 0x11, 0x00, 0x0B, 0x00, 0x11, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02,
                                  0x00, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x01, 0x06, 0x00, 0x00, 0x00};
  for (const Sample& sample : kSamples) {
    SCOPED_TRACE(sample.name);
    Bytes file = ReadAll(*EncryptedCorpusDir() / sample.name);
    const PageCipherSetup setup = DetectPageCipher(Page0(file, sample.page_size), sample.password);
    ASSERT_NE(setup.cipher, nullptr);
    const size_t pages = file.size() / sample.page_size;
    ASSERT_GT(pages, 3u);
    size_t blank = 0;
    for (size_t n = 1; n < pages; ++n) {
      uint8_t* page = file.data() + n * sample.page_size;
      ASSERT_TRUE(setup.cipher->DecryptPage(static_cast<uint32_t>(n), std::span(page, sample.page_size)));
      EXPECT_TRUE(LooksLikePage(page, sample.page_size)) << "page " << n << " type " << int{page[0]};
      blank += page[0] == 0;
    }
    EXPECT_LT(blank, pages / 4);
    const uint8_t* catalog = file.data() + 2 * sample.page_size;
    EXPECT_EQ(catalog[0], 0x02);
    const size_t head = sample.page_size == 2048 ? 0x14 : 0x28;
    EXPECT_TRUE(std::equal(std::begin(kCatalogHead), std::end(kCatalogHead), catalog + head));
  }
  // The same head in the plain samples the comparison stands on.
  if (CorpusDir()) {
    for (const auto& [name, page_size, head] : {std::tuple{"jet3-deleted-rows.mdb", 2048u, 0x14u},
                                                std::tuple{"jet4-empty.mdb", 4096u, 0x28u}}) {
      const Bytes plain = ReadAll(*CorpusDir() / name);
      ASSERT_GE(plain.size(), 3u * page_size) << name;
      EXPECT_TRUE(std::equal(std::begin(kCatalogHead), std::end(kCatalogHead), plain.data() + 2 * page_size + head))
          << name;
    }
  }
}

TEST(PageCipherSampleTest, PasswordOfAJet4FileGuardsOnlyTheUserInterface) {
  if (!CorpusDir()) GTEST_SKIP() << "sample databases not found (set MENDORA_CORPUS)";
  const Bytes file = ReadAll(*CorpusDir() / "jet4-password.mdb");
  EXPECT_EQ(DetectPageCipher(Page0(file, 4096), std::nullopt).status, EncryptionStatus::kNotEncrypted);
  for (const auto& path : testing::CorpusFiles()) {
    const Bytes plain = ReadAll(path);
    EXPECT_EQ(DetectPageCipher(Page0(plain, 4096), std::nullopt).status, EncryptionStatus::kNotEncrypted) << path;
  }
}

// The reader's hook: pages come decrypted through ReadPage, page 0 as stored,
// and the open says why it refuses a file it cannot decrypt.
TEST(PageCipherSampleTest, HandleReadsDecryptedPages) {
  if (!EncryptedCorpusDir()) GTEST_SKIP() << "encrypted samples not found (set MENDORA_CORPUS_ENCRYPTED)";
  const std::string jet3 = (*EncryptedCorpusDir() / "jet3-encoded.mdb").string();
  JetHandlePtr handle = OpenJetHandle(jet3);
  ASSERT_NE(handle, nullptr);
  ASSERT_NE(handle->file->cipher, nullptr);
  ASSERT_EQ(ReadPage(*handle, 2), 2048u);
  EXPECT_EQ(handle->page[0], 0x02);
  ASSERT_EQ(ReadPage(*handle, 0), 2048u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(handle->page.data()) + 4, 15), "Standard Jet DB");

  for (const Sample& sample : kSamples) {
    if (sample.page_size != 4096) continue;
    SCOPED_TRACE(sample.name);
    const std::string path = (*EncryptedCorpusDir() / sample.name).string();
    std::string error;
    OpenFailure failure = OpenFailure::kNone;
    EXPECT_EQ(OpenJetHandle(path, &error, &failure), nullptr);
    EXPECT_EQ(failure, OpenFailure::kEncrypted);
    EXPECT_EQ(error, "this database is encrypted: give its password");
    EXPECT_EQ(OpenJetHandle(path, &error, &failure, {.password = "not it"}), nullptr);
    EXPECT_EQ(failure, OpenFailure::kWrongPassword);
    EXPECT_EQ(error, "the password is wrong");
    JetHandlePtr ace = OpenJetHandle(path, &error, &failure, {.password = sample.password});
    ASSERT_NE(ace, nullptr) << error;
    EXPECT_TRUE(ace->IsAce());
    ASSERT_EQ(ReadPage(*ace, 2), 4096u);
    EXPECT_EQ(ace->page[0], 0x02);
    EXPECT_EQ(ace->page[0x28], 'S');
    for (uint32_t n = 1; n < ace->PageCount(); ++n) {
      ASSERT_EQ(ReadAltPage(*ace, n), 4096u);
      EXPECT_TRUE(LooksLikePage(ace->alt_page.data(), 4096)) << n;
    }
  }
}

// A head read decrypts what it says it does, exactly as a whole read would,
// and never lets the rest pass for the page: neither as bytes (zeroed) nor
// as the current page (a ReadPage after it reads the page whole).
TEST(PageCipherSampleTest, HeadReadsAgreeWithWholeReads) {
  if (!EncryptedCorpusDir()) GTEST_SKIP() << "encrypted samples not found (set MENDORA_CORPUS_ENCRYPTED)";
  for (const Sample& sample : kSamples) {
    SCOPED_TRACE(sample.name);
    JetHandlePtr handle =
        OpenJetHandle((*EncryptedCorpusDir() / sample.name).string(), nullptr, nullptr, {.password = sample.password});
    ASSERT_NE(handle, nullptr);
    for (uint32_t n = 0; n < handle->PageCount(); ++n) {
      for (const uint32_t head : {1u, 40u, 128u}) {
        ASSERT_EQ(ReadAltPage(*handle, n), sample.page_size);
        uint32_t plain = 0;
        ASSERT_EQ(ReadPageHead(*handle, n, head, plain), sample.page_size);
        ASSERT_GE(plain, head);
        EXPECT_TRUE(std::equal(handle->page.begin(), handle->page.begin() + plain, handle->alt_page.begin()));
        EXPECT_TRUE(std::all_of(handle->page.begin() + plain, handle->page.end(), [](uint8_t b) { return b == 0; }));
        ASSERT_EQ(ReadPage(*handle, n), sample.page_size);
        EXPECT_TRUE(std::equal(handle->page.begin(), handle->page.begin() + sample.page_size, handle->alt_page.begin()))
            << n;
      }
    }
  }
}

// ---- Damage: every refusal is a status, never a crash ----

TEST(PageCipherDamageTest, TruncatedOrOverlongHeadersAreDamagedDescriptors) {
  EXPECT_EQ(DetectPageCipher(ByteView(), std::nullopt).status, EncryptionStatus::kDamagedDescriptor);
  std::vector<uint8_t> page0(4096, 0);
  page0[0x14] = 2;
  for (size_t size : {size_t{0x10}, size_t{0x41}, size_t{0x29A}}) {
    EXPECT_EQ(DetectPageCipher(ByteView(page0.data(), size), "x").status, EncryptionStatus::kDamagedDescriptor)
        << size;
  }
  page0[ace::kEncryptionLengthOffset] = 0xFF;
  page0[ace::kEncryptionLengthOffset + 1] = 0xFF;
  EXPECT_EQ(DetectPageCipher(ByteView(page0.data(), page0.size()), "x").status, EncryptionStatus::kDamagedDescriptor);

  if (!EncryptedCorpusDir()) return;
  for (const Sample& sample : kSamples) {
    if (!sample.password) continue;
    SCOPED_TRACE(sample.name);
    const Bytes file = ReadAll(*EncryptedCorpusDir() / sample.name);
    const uint16_t length = file[0x299] | (file[0x29A] << 8);
    // Every cut through the header: never a read past it.
    for (size_t cut = 0; cut < length; ++cut) {
      // A copy of exactly the cut bytes, so that ASan sees any read past it.
      const Bytes header(file.begin() + 0x29B, file.begin() + 0x29B + static_cast<std::ptrdiff_t>(cut));
      const PageCipherSetup setup = ace::OpenEncryptionHeader(crypto::View(header), 0, sample.password);
      EXPECT_NE(setup.status, EncryptionStatus::kReady) << cut;
    }
    // An absurd header size inside the header.
    std::vector<uint8_t> copy(file.begin(), file.begin() + 4096);
    copy[0x29B + 8] = 0xFF;
    copy[0x29B + 11] = 0x7F;
    EXPECT_EQ(DetectPageCipher(ByteView(copy.data(), copy.size()), sample.password).status,
              EncryptionStatus::kDamagedDescriptor);
  }
}

TEST(PageCipherDamageTest, FlippedHeaderBytesGiveAStatusNeverACrash) {
  if (!EncryptedCorpusDir()) GTEST_SKIP() << "encrypted samples not found (set MENDORA_CORPUS_ENCRYPTED)";
  std::mt19937 random(12);
  for (const Sample& sample : kSamples) {
    if (!sample.password) continue;
    const Bytes file = ReadAll(*EncryptedCorpusDir() / sample.name);
    const uint16_t length = file[0x299] | (file[0x29A] << 8);
    for (int round = 0; round < 400; ++round) {
      std::vector<uint8_t> copy(file.begin(), file.begin() + 4096);
      const int flips = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < flips; ++i) copy[0x299 + random() % (length + 2u)] ^= static_cast<uint8_t>(1 + random() % 255);
      const PageCipherSetup setup = DetectPageCipher(ByteView(copy.data(), copy.size()), sample.password);
      EXPECT_EQ(setup.cipher != nullptr, setup.status == EncryptionStatus::kReady);
    }
  }
}

TEST(PageCipherDamageTest, AShortStandardAesHeaderIsDamageAndUnknownVersionsAreUnsupported) {
  // A 4.2 binary header with the AES flag and algorithm.
  std::vector<uint8_t> header(12 + 32 + 2 + 64, 0);
  header[0] = 4;
  header[2] = 2;
  header[4] = 0x24;                        // CryptoAPI | AES
  header[8] = 34;                          // header size: fixed part + an empty name
  header[12] = 0x24;
  header[12 + 8] = 0x0E, header[12 + 9] = 0x66;  // AES-128
  header[12 + 16] = 128;
  // Its verifier runs past the header's end: the keys come, unchecked.
  PageCipherSetup setup = ace::OpenEncryptionHeader(crypto::View(header), 0, "x");
  EXPECT_EQ(setup.status, EncryptionStatus::kDamagedDescriptor);
  EXPECT_EQ(setup.scheme, EncryptionScheme::kStandardAes);
  EXPECT_NE(setup.unchecked, nullptr);
  header[12 + 16] = 64;  // no AES key is 64 bits long
  EXPECT_EQ(ace::OpenEncryptionHeader(crypto::View(header), 0, "x").status, EncryptionStatus::kDamagedDescriptor);
  header[12 + 16] = 128;

  header[0] = 1;  // the pre-CryptoAPI header of older Office files
  EXPECT_EQ(ace::OpenEncryptionHeader(crypto::View(header), 0, "x").status, EncryptionStatus::kUnsupportedScheme);
}

// ---- Agile AES: no sample exists, so a file is encrypted here the way the
// descriptor says, and read back ----


TEST(AgileTest, PasswordIsCheckedAndPagesDecrypt) {
  const AgileFile file("sesame", 1000);
  EXPECT_EQ(file.Detect(std::nullopt).status, EncryptionStatus::kNeedsPassword);
  EXPECT_EQ(file.Detect("Sesame").status, EncryptionStatus::kWrongPassword);
  const PageCipherSetup setup = file.Detect("sesame");
  ASSERT_EQ(setup.status, EncryptionStatus::kReady) << setup.detail;
  EXPECT_EQ(setup.scheme, EncryptionScheme::kAgileAes);

  Bytes plain(4096);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7);
  plain[0] = 0x01;
  for (uint32_t n : {1u, 2u, 77u}) {
    Bytes page = file.EncryptPage(n, plain);
    ASSERT_TRUE(setup.cipher->DecryptPage(n, std::span(page)));
    EXPECT_EQ(page, plain) << n;
  }
  // Another page number's vector only garbles the first block.
  Bytes page = file.EncryptPage(5, plain);
  ASSERT_TRUE(setup.cipher->DecryptPage(6, std::span(page)));
  EXPECT_NE(page, plain);
  // A truncated last page: the partial block is dropped, the rest decrypts.
  Bytes short_page = file.EncryptPage(3, plain);
  short_page.resize(1000);
  ASSERT_TRUE(setup.cipher->DecryptPage(3, std::span(short_page)));
  EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 992, short_page.begin()));
  EXPECT_EQ(short_page[995], 0);
}

// Pages decrypted a moment ago are served again, but only for the same stored
// bytes: the same page number read from another file state decrypts anew.
TEST(AgileTest, RecentPagesAreReusedOnlyForTheSameStoredBytes) {
  const AgileFile file("pw", 1);
  const PageCipherSetup setup = file.Detect("pw");
  ASSERT_NE(setup.cipher, nullptr);
  Bytes first(4096, 0x11), second(4096, 0x22);
  for (int round = 0; round < 3; ++round) {
    for (const Bytes* plain : {&first, &second}) {
      Bytes page = file.EncryptPage(9, *plain);
      ASSERT_TRUE(setup.cipher->DecryptPage(9, std::span(page)));
      EXPECT_EQ(page, *plain) << round;
    }
  }
  // More pages than are kept, then the first again.
  for (uint32_t n = 10; n < 20; ++n) {
    Bytes page = file.EncryptPage(n, Bytes(4096, static_cast<uint8_t>(n)));
    ASSERT_TRUE(setup.cipher->DecryptPage(n, std::span(page)));
    EXPECT_EQ(page, Bytes(4096, static_cast<uint8_t>(n)));
  }
  Bytes page = file.EncryptPage(9, first);
  ASSERT_TRUE(setup.cipher->DecryptPage(9, std::span(page)));
  EXPECT_EQ(page, first);
}

TEST(AgileTest, DamagedOrForeignDescriptorsAreRefusedWithTheirStatus) {
  AgileFile file("pw", 10);
  const std::string good = file.xml;
  auto status_with = [&](const std::string& xml) {
    file.Lay(xml);
    return file.Detect("pw").status;
  };
  auto replace = [&](const std::string& from, const std::string& to) {
    std::string xml = good;
    const size_t at = xml.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? xml : xml.replace(at, from.size(), to);
  };
  EXPECT_EQ(status_with(good), EncryptionStatus::kReady);
  EXPECT_EQ(status_with(good.substr(0, good.size() / 2)), EncryptionStatus::kDamagedDescriptor);
  EXPECT_EQ(status_with(""), EncryptionStatus::kDamagedDescriptor);
  EXPECT_EQ(status_with(replace("<keyData ", "<keyDatum ")), EncryptionStatus::kDamagedDescriptor);
  EXPECT_EQ(status_with(replace("keyBits=\"256\"", "keyBits=\"255\"")), EncryptionStatus::kDamagedDescriptor);
  EXPECT_EQ(status_with(replace("hashSize=\"64\"", "hashSize=\"20\"")), EncryptionStatus::kDamagedDescriptor);
  EXPECT_EQ(status_with(replace("encryptedKeyValue=\"", "encryptedKeyValue=\"!")),
            EncryptionStatus::kDamagedDescriptor);
  // A damaged spin count must not buy hours of hashing.
  EXPECT_EQ(status_with(replace("spinCount=\"10\"", "spinCount=\"4000000000\"")),
            EncryptionStatus::kDamagedDescriptor);
  EXPECT_EQ(status_with(replace("spinCount=\"10\"", "spinCount=\"-1\"")), EncryptionStatus::kDamagedDescriptor);
  // Entities could multiply a small descriptor into gigabytes.
  const std::string laughs =
      "<?xml version=\"1.0\"?><!DOCTYPE encryption [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>";
  EXPECT_EQ(status_with(laughs + good.substr(good.find("<encryption"))), EncryptionStatus::kDamagedDescriptor);
  // Certificate-only encryption, and other ciphers, are schemes, not damage.
  EXPECT_EQ(status_with(replace("spinCount=\"10\" ", "")), EncryptionStatus::kUnsupportedScheme);
  EXPECT_EQ(status_with(replace("ChainingModeCBC", "ChainingModeCFB")), EncryptionStatus::kUnsupportedScheme);
  EXPECT_EQ(AgileFile("pw", 10, "DES").Detect("pw").status, EncryptionStatus::kUnsupportedScheme);
}

}  // namespace
}  // namespace mendora
