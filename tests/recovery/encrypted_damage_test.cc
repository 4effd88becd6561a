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
#include "tests/support/corpus.h"
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
};

Dumped Dump(const Bytes& bytes, const std::optional<std::string>& password) {
  testing::TempDatabase file(bytes);
  std::ostringstream text;
  RecoverySession session;
  PassResult result;
  {
    JsonDumpOutput dump(text, "");
    session.SourcePath = file.path();
    session.Password = password;
    session.outputs.push_back(&dump);
    result = RunRecovery(session);
    dump.Finish();
  }
  return {result.outcome, text.str()};
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
    // The key, salt and verifier are most of the header.
    EXPECT_GT(refused, offsets.size() / 2);
  }
}

}  // namespace
}  // namespace mendora
