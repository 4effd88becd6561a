// Damaged copies of the encrypted samples. Pages are decrypted one by one, so
// a damaged encrypted file must recover exactly what the same damage leaves
// of its decrypted twin; damage to the header that describes the encryption
// must end in a clear refusal, never in a crash or in rows read with a wrong
// key.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <vector>

#include "output/json/json_dump.h"
#include "reader/ace_encryption.h"
#include "reader/page_cipher.h"
#include "recovery/recovery_session.h"
#include "tests/builder/jet_builder.h"
#include "tests/support/agile_file.h"
#include "tests/support/corpus.h"
#include "tests/support/standard_aes_file.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr const char* kSkip = "encrypted samples not found (set MENDORA_CORPUS_ENCRYPTED)";

struct Sample {
  const char* name;
  uint32_t page_size;
  std::optional<std::string> password;
};

const Sample kSamples[] = {
    {"jet3-encoded.mdb", 2048, std::nullopt},
    {"ace2007-encrypted-rc4.accdb", 4096, "Test123"},
    {"ace2010-encrypted-agile.accdb", 4096, "password"},
};

Bytes ReadSample(const Sample& sample) {
  std::ifstream in(*testing::EncryptedCorpusDir() / sample.name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The sample with every page decrypted and page 0 saying so: no encoding
// key (raw zeros there are read as none) and no encryption header.
Bytes Decrypted(const Bytes& file, const Sample& sample) {
  const PageCipherSetup setup = DetectPageCipher(ByteView(file.data(), sample.page_size), sample.password);
  EXPECT_EQ(setup.status, EncryptionStatus::kReady);
  Bytes plain = file;
  for (size_t n = 1; n < plain.size() / sample.page_size; ++n) {
    EXPECT_TRUE(setup.cipher->DecryptPage(static_cast<uint32_t>(n), std::span(plain.data() + n * sample.page_size,
                                                                            sample.page_size)));
  }
  std::fill(plain.begin() + 0x3E, plain.begin() + 0x42, 0);
  if (sample.page_size == 4096) {
    plain[ace::kEncryptionLengthOffset] = 0;
    plain[ace::kEncryptionLengthOffset + 1] = 0;
  }
  return plain;
}

struct Dumped {
  PassOutcome outcome;
  std::string json;
  std::vector<std::string> losses;
};

Dumped Dump(const Bytes& bytes, const std::optional<std::string>& password) {
  testing::TempDatabase file(bytes);
  std::ostringstream text;
  RecoverySession session;
  PassResult result;
  {
    JsonDumpOutput dump(text, "");
    session.options.source_path = file.path();
    session.options.password = password;
    session.options.outputs.push_back(&dump);
    result = RunRecovery(session);
    dump.Finish();
  }
  return {result.outcome, text.str(), session.results.losses.lines()};
}

TEST(EncryptedDamageTest, DecryptedTwinsReadAsTheSamples) {
  if (!testing::EncryptedCorpusDir()) GTEST_SKIP() << kSkip;
  for (const Sample& sample : kSamples) {
    SCOPED_TRACE(sample.name);
    const Bytes file = ReadSample(sample);
    const Dumped encrypted = Dump(file, sample.password);
    const Dumped plain = Dump(Decrypted(file, sample), std::nullopt);
    ASSERT_EQ(encrypted.outcome, PassOutcome::kCompleted);
    EXPECT_EQ(plain.outcome, PassOutcome::kCompleted);
    EXPECT_EQ(encrypted.json, plain.json);
  }
}

// Every page zeroed in turn, and bytes flipped in every page: the encrypted
// copy recovers what the decrypted copy with the same damage recovers. RC4
// maps a flipped stored byte to the same flipped plain byte, and a zeroed
// page is left as it is, as never-written pages are.
TEST(EncryptedDamageTest, DamagedPagesLoseWhatTheyLoseInThePlainFileAndNoMore) {
  if (!testing::EncryptedCorpusDir()) GTEST_SKIP() << kSkip;
  std::mt19937 random(12);
  for (const Sample& sample : kSamples) {
    SCOPED_TRACE(sample.name);
    const Bytes file = ReadSample(sample);
    const Bytes plain = Decrypted(file, sample);
    const size_t pages = file.size() / sample.page_size;
    for (size_t n = 1; n < pages; ++n) {
      SCOPED_TRACE(n);
      Bytes damaged = file;
      Bytes damaged_plain = plain;
      if (n % 2 == 0) {
        std::fill_n(damaged.begin() + n * sample.page_size, sample.page_size, 0);
        std::fill_n(damaged_plain.begin() + n * sample.page_size, sample.page_size, 0);
      } else {
        for (int i = 0; i < 8; ++i) {
          const size_t at = n * sample.page_size + random() % sample.page_size;
          const uint8_t flip = static_cast<uint8_t>(1 + random() % 255);
          damaged[at] ^= flip;
          damaged_plain[at] ^= flip;
        }
      }
      const Dumped got = Dump(damaged, sample.password);
      const Dumped want = Dump(damaged_plain, std::nullopt);
      EXPECT_EQ(got.outcome, want.outcome);
      EXPECT_EQ(got.json, want.json);
    }
  }
}

// Each byte of the encryption header (and of the encoding key) damaged in
// turn: the file is refused with a reason, or read exactly as the intact
// file; never read with a wrong key.
TEST(EncryptedDamageTest, ADamagedEncryptionHeaderIsRefusedOrHarmless) {
  if (!testing::EncryptedCorpusDir()) GTEST_SKIP() << kSkip;
  for (const Sample& sample : kSamples) {
    SCOPED_TRACE(sample.name);
    const Bytes file = ReadSample(sample);
    const Dumped intact = Dump(file, sample.password);
    std::vector<size_t> offsets = {0x3E, 0x3F, 0x40, 0x41};
    if (sample.page_size == 4096) {
      const size_t length = file[ace::kEncryptionLengthOffset] | file[ace::kEncryptionLengthOffset + 1] << 8;
      for (size_t at = ace::kEncryptionLengthOffset; at < ace::kEncryptionHeaderOffset + length; ++at) {
        offsets.push_back(at);
      }
    }
    size_t refused = 0;
    for (const size_t at : offsets) {
      for (const uint8_t flip : {uint8_t{0x01}, uint8_t{0xFF}}) {
        SCOPED_TRACE(at);
        Bytes damaged = file;
        damaged[at] ^= flip;
        const Dumped got = Dump(damaged, sample.password);
        if (got.outcome == PassOutcome::kCompleted) {
          // A field the keys do not depend on (the provider's name, say).
          EXPECT_EQ(got.json, intact.json);
        } else {
          ++refused;
          EXPECT_TRUE(got.outcome == PassOutcome::kWrongPassword || got.outcome == PassOutcome::kNothingRecovered ||
                      got.outcome == PassOutcome::kUnsupportedEncryption ||
                      got.outcome == PassOutcome::kNotADatabase)
              << static_cast<int>(got.outcome);
        }
      }
    }
    // The salt and the fields the keys depend on; a damaged password check
    // with the right password reads (see the next test).
    EXPECT_GT(refused, offsets.size() / 3);
  }
}

// The verifier of the Access 2007 samples: the encrypted random block and
// its encrypted SHA-1, after the header and the salt.
size_t VerifierOffset(const Bytes& file) {
  const size_t header_size = file[ace::kEncryptionHeaderOffset + 8] | file[ace::kEncryptionHeaderOffset + 9] << 8;
  return ace::kEncryptionHeaderOffset + 12 + header_size + 20;
}

bool SaysPasswordCheckDamaged(const Dumped& dumped) {
  return std::any_of(dumped.losses.begin(), dumped.losses.end(),
                     [](const std::string& line) { return line.find("password check") != std::string::npos; });
}

// A damaged password check block with the right password: the keys open the
// catalog, so the file is read and the damage is in the loss account; a
// wrong password still opens nothing.
TEST(EncryptedDamageTest, ADamagedPasswordCheckIsNotAWrongPassword) {
  if (!testing::EncryptedCorpusDir()) GTEST_SKIP() << kSkip;
  for (const Sample& sample : kSamples) {
    if (!sample.password) continue;
    SCOPED_TRACE(sample.name);
    const Bytes file = ReadSample(sample);
    const Dumped intact = Dump(file, sample.password);
    EXPECT_FALSE(SaysPasswordCheckDamaged(intact));
    // The random block, its hash, and both size fields around the hash.
    for (const size_t at : {size_t{0}, size_t{9}, size_t{16}, size_t{20}, size_t{35}}) {
      SCOPED_TRACE(at);
      Bytes damaged = file;
      damaged[VerifierOffset(file) + at] ^= 0x5A;
      const Dumped got = Dump(damaged, sample.password);
      ASSERT_EQ(got.outcome, PassOutcome::kCompleted);
      EXPECT_EQ(got.json, intact.json);
      EXPECT_TRUE(SaysPasswordCheckDamaged(got));
      EXPECT_EQ(Dump(damaged, "not it").outcome, PassOutcome::kWrongPassword);
      EXPECT_EQ(Dump(damaged, std::nullopt).outcome, PassOutcome::kNeedsPassword);
    }
    // With the catalog page damaged as well, nothing vouches for the keys.
    Bytes both = file;
    both[VerifierOffset(file)] ^= 0x5A;
    std::fill_n(both.begin() + 2 * sample.page_size, 64, 0x33);
    EXPECT_EQ(Dump(both, sample.password).outcome, PassOutcome::kWrongPassword);
  }
}

// No sample uses agile AES: plain Access 2007+ samples are encrypted with it
// here and must read exactly as they do plain, through the same open and
// the same page reads as any encrypted file.
TEST(EncryptedDamageTest, AgileCopiesOfPlainSamplesReadAsTheSamples) {
  if (!testing::AceCorpusDir()) GTEST_SKIP() << "Access 2007+ samples not found (set MENDORA_CORPUS_ACE)";
  testing::AgileFile agile("pässword", 1000);
  for (const char* name : {"ace2010-mixed-types.accdb", "ace2007-long-text.accdb", "ace2007-attachments.accdb"}) {
    SCOPED_TRACE(name);
    std::ifstream in(*testing::AceCorpusDir() / name, std::ios::binary);
    const Bytes plain(std::istreambuf_iterator<char>(in), {});
    const Bytes encrypted = agile.EncryptFile(plain);
    const Dumped want = Dump(plain, std::nullopt);
    const Dumped got = Dump(encrypted, "pässword");
    ASSERT_EQ(want.outcome, PassOutcome::kCompleted);
    ASSERT_EQ(got.outcome, PassOutcome::kCompleted);
    EXPECT_EQ(got.json, want.json);
    EXPECT_EQ(Dump(encrypted, std::nullopt).outcome, PassOutcome::kNeedsPassword);
    EXPECT_EQ(Dump(encrypted, "password").outcome, PassOutcome::kWrongPassword);

    // A page zeroed loses what the same page loses in the plain file.
    const size_t pages = plain.size() / 4096;
    for (size_t n = 3; n < pages; n += 5) {
      Bytes damaged = encrypted, damaged_plain = plain;
      std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(n * 4096), 4096, 0);
      std::fill_n(damaged_plain.begin() + static_cast<std::ptrdiff_t>(n * 4096), 4096, 0);
      EXPECT_EQ(Dump(damaged, "pässword").json, Dump(damaged_plain, std::nullopt).json) << n;
    }
  }
  // The verifier damaged, then unreadable: the key still opens the catalog.
  const std::string good = agile.xml;
  for (const char* attribute : {"encryptedVerifierHashValue=\"", "encryptedVerifierHashInput=\""}) {
    // Other bytes of the same length fail the check; a stray character
    // makes the value unreadable.
    for (const bool unreadable : {false, true}) {
      std::string xml = good;
      const size_t at = xml.find(attribute) + std::string(attribute).size();
      if (unreadable) {
        xml.insert(at, "!");
      } else {
        xml.replace(at, 4, xml.compare(at, 4, "AAAA") == 0 ? "BBBB" : "AAAA");
      }
      agile.Lay(xml);
      std::ifstream in(*testing::AceCorpusDir() / "ace2010-mixed-types.accdb", std::ios::binary);
      const Bytes plain(std::istreambuf_iterator<char>(in), {});
      const Dumped got = Dump(agile.EncryptFile(plain), "pässword");
      EXPECT_EQ(got.outcome, PassOutcome::kCompleted) << attribute << unreadable;
      EXPECT_EQ(got.json, Dump(plain, std::nullopt).json);
      EXPECT_TRUE(SaysPasswordCheckDamaged(got));
    }
  }
}

// Standard AES: no sample uses it, so a built Access 2007 file is encrypted
// here, with each key size and either page layout (the header does not say
// which the pages take; the catalog does), and must read as it does plain.
class StandardAesTest : public ::testing::TestWithParam<std::tuple<uint32_t, bool>> {};

TEST_P(StandardAesTest, EncryptedCopiesReadAsThePlainFileWithTheRightPasswordOnly) {
  const auto [bits, per_page] = GetParam();
  testing::JetFileBuilder builder(testing::AceVersion::kAccess2007);
  testing::Table table{"Kunden", {{"Nr", testing::kLong}, {"Name", testing::kText, 100}, {"Notiz", testing::kMemo}}};
  for (int64_t i = 0; i < 300; ++i) {
    table.rows.push_back({i, "Käufer " + std::to_string(i), std::string(static_cast<size_t>(i % 7) * 300, 'x')});
  }
  builder.AddTable(table);
  const Bytes plain = builder.Build();
  const testing::StandardAesFile aes("Geheim-ü", bits, per_page);
  const Bytes encrypted = aes.EncryptFile(plain);

  const Dumped want = Dump(plain, std::nullopt);
  ASSERT_EQ(want.outcome, PassOutcome::kCompleted);
  ASSERT_NE(want.json.find("Käufer 299"), std::string::npos);
  const Dumped got = Dump(encrypted, "Geheim-ü");
  ASSERT_EQ(got.outcome, PassOutcome::kCompleted);
  EXPECT_EQ(got.json, want.json);
  EXPECT_FALSE(SaysPasswordCheckDamaged(got));
  EXPECT_EQ(Dump(encrypted, std::nullopt).outcome, PassOutcome::kNeedsPassword);
  EXPECT_EQ(Dump(encrypted, "Geheim-u").outcome, PassOutcome::kWrongPassword);

  // The encrypted verifier hash damaged: the keys still open the catalog.
  Bytes damaged = encrypted;
  const size_t hash_at = 0x29B + aes.header.size() - 2 - 32;
  damaged[hash_at + 3] ^= 0x40;
  const Dumped checked_by_catalog = Dump(damaged, "Geheim-ü");
  EXPECT_EQ(checked_by_catalog.outcome, PassOutcome::kCompleted);
  EXPECT_EQ(checked_by_catalog.json, want.json);
  EXPECT_TRUE(SaysPasswordCheckDamaged(checked_by_catalog));
  EXPECT_EQ(Dump(damaged, "Geheim-u").outcome, PassOutcome::kWrongPassword);
}

INSTANTIATE_TEST_SUITE_P(KeySizesAndLayouts, StandardAesTest,
                         ::testing::Combine(::testing::Values(128u, 256u), ::testing::Bool()));

}  // namespace
}  // namespace mendora
