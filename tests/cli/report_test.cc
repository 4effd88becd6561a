// --report and mendora_losses: the account a user keeps says what stderr
// said, figure for figure, and never costs the source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "output/report/recovery_report.h"
#include "tests/builder/jet_builder.h"
#include "tests/builder/sample_database.h"
#include "tests/cli/program_run.h"

namespace mendora {
namespace {

using testing::ProgramRun;
using testing::ReadAll;
using testing::RunProgram;
using testing::ScratchDir;

constexpr uint32_t kPageSize = 4096;

// The demo database, and a copy whose first data page of a user table is
// zeroed.
void WriteDemoAndDamaged(const std::string& whole, const std::string& damaged) {
  testing::JetFileBuilder builder(testing::JetVersion::kJet4);
  testing::AddDemoDatabase(builder, testing::JetVersion::kJet4);
  std::vector<uint8_t> bytes = builder.Build();
  std::ofstream(whole, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  // The table with the most data pages is a user table (Orders).
  std::map<uint32_t, std::vector<size_t>> pages_of;
  for (size_t p = 1; p < bytes.size() / kPageSize; ++p) {
    const uint8_t* page = &bytes[p * kPageSize];
    uint32_t owner;
    std::memcpy(&owner, page + 4, 4);
    if (page[0] == 0x01 && owner != 2 && std::memcmp(page + 4, "LVAL", 4) != 0) pages_of[owner].push_back(p);
  }
  const auto largest = std::max_element(pages_of.begin(), pages_of.end(),
                                        [](const auto& a, const auto& b) { return a.second.size() < b.second.size(); });
  ASSERT_NE(largest, pages_of.end());
  std::memset(&bytes[largest->second.front() * kPageSize], 0, kPageSize);
  std::ofstream(damaged, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::string LineAfter(const std::string& text, const std::string& head) {
  const size_t at = text.find("\n" + head);
  if (at == std::string::npos) return "";
  const size_t start = at + 1 + head.size();
  return text.substr(start, text.find('\n', start) - start);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(ReportTest, TheReportAndTheLossTableSayWhatStderrSaid) {
  ScratchDir dir;
  const std::string whole = dir.File("demo.mdb");
  const std::string damaged = dir.File("damaged.mdb");
  WriteDemoAndDamaged(whole, damaged);

  // Undamaged: everything found is saved, and the loss table is there, empty.
  const ProgramRun clean = RunProgram(dir, {"recover", whole, dir.File("whole.sqlite"), "--report", dir.File("whole.txt")});
  ASSERT_EQ(clean.code, 0) << clean.err;
  const std::string clean_report = ReadAll(dir.File("whole.txt"));
  EXPECT_EQ(LineAfter(clean_report, "Relations:  "), "2 found, 2 saved as foreign keys") << clean_report;
  EXPECT_EQ(LineAfter(clean_report, "Queries:    ").rfind("2 found, 2 saved", 0), 0u) << clean_report;
  EXPECT_EQ(LineAfter(clean_report, "Losses:     "), "none");
  EXPECT_EQ(testing::Rows(dir.File("whole.sqlite"), "SELECT count(*) FROM mendora_losses"), std::vector<std::string>{"0"});

  // Damaged: the same account in the report, the table and stderr. The
  // password given is not written down.
  const ProgramRun run = RunProgram(dir, {"recover", damaged, dir.File("out.sqlite"), "--report", dir.File("r.txt"),
                                          "--password", "s3cret"});
  ASSERT_EQ(run.code, 4) << run.err;
  const std::string report = ReadAll(dir.File("r.txt"));
  EXPECT_EQ(report.find("s3cret"), std::string::npos);
  EXPECT_NE(report.find("--password (hidden)"), std::string::npos) << report;
  EXPECT_EQ(LineAfter(report, "Result:     "), "complete, with losses (exit code 4)");
  EXPECT_EQ(LineAfter(report, "Pages:      ").rfind(std::to_string(std::filesystem::file_size(damaged) / kPageSize) +
                                                   " pages in the file: 0 could not be read whole",
                                               0),
            0u)
      << report;

  const std::vector<std::string> err = Lines(run.err);
  const auto losses_head = std::find(err.begin(), err.end(), "Losses:");
  ASSERT_NE(losses_head, err.end()) << run.err;
  const std::vector<std::string> details(err.begin(), losses_head);
  const std::vector<std::string> summary(losses_head + 1, err.end());
  ASSERT_GE(summary.size(), 2u);
  std::string total = summary.back().substr(std::strlen("  Total: "));
  if (const size_t above = total.find("(named above)"); above != std::string::npos) {
    total.replace(above, 13, "(listed under Losses)");
  }
  EXPECT_EQ(LineAfter(report, "Rows:       "), total);
  std::vector<std::string> table_rows;
  for (size_t i = 0; i + 1 < summary.size(); ++i) {
    const std::string line = summary[i].substr(2);
    const std::string name = line.substr(0, line.find(": "));
    const std::string row = LineAfter(report, "  " + name + " ");
    EXPECT_NE(row.find(line.substr(name.size() + 2)), std::string::npos) << name << " in\n" << report;
    table_rows.push_back("table|" + name + "|" + line);
  }
  for (const std::string& detail : details) EXPECT_NE(report.find("\n  " + detail + "\n"), std::string::npos) << detail;

  EXPECT_EQ(testing::Rows(dir.File("out.sqlite"),
                          "SELECT kind, \"table\", detail FROM mendora_losses WHERE kind = 'table' ORDER BY rowid"),
            table_rows);
  EXPECT_EQ(testing::Rows(dir.File("out.sqlite"), "SELECT detail FROM mendora_losses WHERE kind = 'total'"),
            std::vector<std::string>{summary.back().substr(2)});
  EXPECT_EQ(testing::Rows(dir.File("out.sqlite"), "SELECT detail FROM mendora_losses WHERE kind = 'detail'"), details);

  // The same figures as a page, and a report never replaces what it reports on.
  ASSERT_EQ(RunProgram(dir, {"analyze", damaged, "--report", dir.File("r.html")}).code, 4);
  const std::string page = ReadAll(dir.File("r.html"));
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(page.find("<td>" + total + "</td>"), std::string::npos) << page;
  const std::string before = ReadAll(damaged);
  const ProgramRun onto_source = RunProgram(dir, {"analyze", damaged, "--report", damaged});
  EXPECT_EQ(onto_source.code, 7) << onto_source.err;
  EXPECT_EQ(ReadAll(damaged), before);
}

TEST(ReportTest, NamesFromTheFileAreEscapedInThePage) {
  RecoveryReport report;
  report.command = "mendora-cli recover <x>";
  ReportSection section;
  section.source = "a&b.mdb";
  section.completed = true;
  TableLosses table;
  table.name = "<script>alert(\"x\")</script>";
  table.rows_recovered = 1;
  section.tables.push_back(table);
  section.losses.push_back("Table <b>: row 1 & more");
  report.sections.push_back(section);
  const std::string page = ReportHtml(report);
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_NE(page.find("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(page.find("a&amp;b.mdb"), std::string::npos);
  EXPECT_NE(page.find("Table &lt;b&gt;: row 1 &amp; more"), std::string::npos);
}

}  // namespace
}  // namespace mendora
