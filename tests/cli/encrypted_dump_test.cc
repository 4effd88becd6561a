// An encoded Jet 3 file dumps like a plain one: its pages decrypt below the
// reader, with no password.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/commands.h"
#include "tests/support/corpus.h"

namespace mendora {
namespace {

TEST(EncryptedDumpTest, EncodedJet3FileDumpsToItsExpectedTables) {
  const auto dir = testing::EncryptedCorpusDir();
  if (!dir) GTEST_SKIP() << "encrypted samples not found (set MENDORA_CORPUS_ENCRYPTED)";
  std::ostringstream out;
  ASSERT_EQ(cli::RunDump((*dir / "jet3-encoded.mdb").string(), out), 0);
  const nlohmann::json dump = nlohmann::json::parse(out.str());
  std::ifstream in(*dir / "expected" / "jet3-encoded.json");
  const nlohmann::json expected = nlohmann::json::parse(in);
  EXPECT_EQ(dump["format"], expected["format"]);
  ASSERT_EQ(dump["tables"].size(), expected["tables"].size());
  for (const auto& [name, table] : expected["tables"].items()) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(dump["tables"].contains(name));
    const nlohmann::json& got = dump["tables"][name];
    EXPECT_EQ(got["columns"], table["columns"]);
    EXPECT_EQ(got["rows"].size(), table["rowCount"].get<size_t>());
    EXPECT_EQ(got["rows"], table["rows"]);
  }
}

}  // namespace
}  // namespace mendora
