// Telling a Jet file from anything else: a damaged header still passes when
// the pages are Jet pages; zeros, text and a lone byte do not.
#include "reader/page_probe.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/builder/jet_builder.h"
#include "tests/support/temp_database.h"

namespace mendora {
namespace {

testing::Bytes SmallDatabase(testing::JetVersion version) {
  testing::JetFileBuilder builder(version);
  testing::Table table;
  table.name = "Parts";
  table.columns = {{"Id", testing::kLong}, {"Label", testing::kText}};
  table.rows = {{int64_t{1}, std::string("bolt")}, {int64_t{2}, std::string("nut")}};
  builder.AddTable(table);
  return builder.Build();
}

bool ProbeFile(const testing::Bytes& bytes) {
  testing::TempDatabase file(bytes);
  ::testing::internal::CaptureStderr();
  JetHandlePtr handle = OpenJetHandle(file.path(), 0);
  const bool jet = handle && LooksLikeJetDatabase(*handle);
  ::testing::internal::GetCapturedStderr();
  return jet;
}

TEST(PageProbeTest, AValidHeaderOrAnyJetPageMakesADatabase) {
  for (const auto version : {testing::JetVersion::kJet3, testing::JetVersion::kJet4}) {
    SCOPED_TRACE(version == testing::JetVersion::kJet3 ? "Jet 3" : "Jet 4");
    testing::Bytes bytes = SmallDatabase(version);
    EXPECT_TRUE(IsValidHeaderPage(ByteView(bytes.data(), 2048)));
    EXPECT_TRUE(ProbeFile(bytes));

    // The engine name is what damage often hits; the pages still tell.
    testing::Bytes nameless = bytes;
    std::memset(nameless.data() + 4, 0, 16);
    EXPECT_FALSE(IsValidHeaderPage(ByteView(nameless.data(), 2048)));
    EXPECT_TRUE(ProbeFile(nameless));

    // A header alone is still the start of a database.
    const size_t page_size = version == testing::JetVersion::kJet3 ? 2048 : 4096;
    EXPECT_TRUE(ProbeFile(testing::Bytes(bytes.begin(), bytes.begin() + page_size)));

    // Without the header's name and without any page after it, nothing says Jet.
    nameless.resize(page_size);
    EXPECT_FALSE(ProbeFile(nameless));
  }
}

TEST(PageProbeTest, ZerosTextAndNoiseAreNoDatabase) {
  EXPECT_FALSE(ProbeFile(testing::Bytes(1, 0)));
  EXPECT_FALSE(ProbeFile(testing::Bytes(100, 0)));
  EXPECT_FALSE(ProbeFile(testing::Bytes(4096, 0)));
  EXPECT_FALSE(ProbeFile(testing::Bytes(64 * 4096, 0)));
  const std::string text = "just some text, not a database";
  EXPECT_FALSE(ProbeFile(testing::Bytes(text.begin(), text.end())));

  // Pages that start like a data page but point outside the file or hold
  // row offsets outside the page are no Jet pages.
  testing::Bytes page(2048, 0);
  page[0] = 0x01;
  page[1] = 0x01;
  testing::WriteU32(page, 4, 9999);
  EXPECT_FALSE(LooksLikeJetPage(ByteView(page.data(), page.size()), kJet3Format, 10));
  testing::WriteU32(page, 4, 2);
  testing::WriteU16(page, kJet3Format.RowCountPos, 1);
  testing::WriteU16(page, kJet3Format.RowCountPos + 2, 4000);
  EXPECT_FALSE(LooksLikeJetPage(ByteView(page.data(), page.size()), kJet3Format, 10));
  testing::WriteU16(page, kJet3Format.RowCountPos + 2, 2000);
  EXPECT_TRUE(LooksLikeJetPage(ByteView(page.data(), page.size()), kJet3Format, 10));
}

}  // namespace
}  // namespace mendora
