// The recovery report as plain text and as a page of HTML: one section per
// source, the same figures in both.
#include <cstdio>
#include <sstream>

#include "output/report/recovery_report.h"

namespace mendora {

namespace {

std::string Plural(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The lines of a section that are not the tables' or the losses'.
std::vector<std::pair<std::string, std::string>> Facts(const ReportSection& s) {
  std::vector<std::pair<std::string, std::string>> facts;
  std::string source = s.source + ", " + std::to_string(s.source_bytes) + " bytes";
  if (s.census.pages > 0) {
    source += ", " + Plural(s.census.pages, "page", "pages") + " of " + std::to_string(s.census.page_size) + " bytes";
  }
  facts.push_back({"Source", source});
  if (!s.target.empty()) facts.push_back({"Saved to", s.target});
  facts.push_back({"Result", s.outcome + " (exit code " + std::to_string(s.exit_code) + ")"});
  if (!s.completed) return facts;

  int64_t rows = 0;
  for (const TableLosses& table : s.tables) rows += table.rows_recovered;
  std::string total = s.summary.empty() ? std::to_string(rows) + " recovered, nothing lost"
                                        : s.summary.back().substr(s.summary.back().find(':') + 2);
  // The account's total points up at stderr's lines; here they follow.
  if (const size_t above = total.find(" (named above)"); above != std::string::npos) {
    total.replace(above, 14, " (listed under Losses)");
  }
  facts.push_back({"Rows", total});
  facts.push_back({"Indexes", s.read_schema ? std::to_string(s.indexes_found) + " found in the source (keys not counted)"
                                            : "not read by this command (recover and export read them)"});
  std::string relations = std::to_string(s.relations_found.size()) + " found";
  if (!s.target.empty() && s.saved.relations >= 0) relations += ", " + std::to_string(s.saved.relations) + " saved as foreign keys";
  facts.push_back({"Relations", relations});
  if (s.read_queries) {
    std::string queries = std::to_string(s.queries_found.size()) + " found";
    if (!s.target.empty() && s.saved.queries >= 0) {
      queries += ", " + std::to_string(s.saved.queries) + " saved, " + std::to_string(s.saved.views) + " of them as views";
    }
    facts.push_back({"Queries", queries});
  } else {
    facts.push_back({"Queries", "not read by this command (recover reads them)"});
  }
  if (s.census.pages > 0) {
    const uint32_t bad = s.census.unreadable + s.census.blank;
    char share[32];
    std::snprintf(share, sizeof share, "%.1f%%", 100.0 * bad / s.census.pages);
    facts.push_back({"Pages", Plural(s.census.pages, "page", "pages") + " in the file: " +
                                  std::to_string(s.census.unreadable) + " could not be read whole and " +
                                  std::to_string(s.census.blank) + " hold only zeros (free, or wiped): " + share +
                                  " of the file"});
  }
  facts.push_back({"Losses", s.losses_counted == 0 ? "none" : std::to_string(s.losses_counted) + " counted"});
  return facts;
}

std::string Stored(int64_t rows) { return rows < 0 ? "unknown" : std::to_string(rows); }

// What a table lost, without its name in front.
std::string TableLoss(const TableLosses& table) {
  if (!table.AnyLoss()) return "nothing";
  const std::string summary = table.Summary();
  const size_t colon = summary.find(": ", table.name.size());
  return colon == std::string::npos ? summary : summary.substr(colon + 2);
}

std::string Saved(const ReportSection& s, const TableLosses& table) {
  return s.target.empty() ? "-" : std::to_string(table.rows_recovered - table.rows_refused);
}

std::string Html(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string ReportText(const RecoveryReport& report) {
  std::ostringstream out;
  out << "Mendora recovery report\nWritten by " << report.program << " on " << report.written << "\nCommand: "
      << report.command << "\n";
  for (const ReportSection& s : report.sections) {
    out << "\n== " << s.source << " ==\n";
    for (const auto& [name, fact] : Facts(s)) {
      out << name << ":" << std::string(name.size() < 10 ? 11 - name.size() : 1, ' ') << fact << "\n";
    }
    if (!s.tables.empty()) {
      size_t width = 5;
      for (const TableLosses& table : s.tables) width = std::max(width, table.name.size());
      char line[64];
      out << "\nTables (" << s.tables.size() << "):\n  " << "Table" << std::string(width - 5, ' ');
      std::snprintf(line, sizeof line, "  %13s  %9s  %9s  ", "In the source", "Read", "Saved");
      out << line << "Lost\n";
      for (const TableLosses& table : s.tables) {
        std::snprintf(line, sizeof line, "  %13s  %9lld  %9s  ", Stored(table.stored_rows).c_str(),
                      static_cast<long long>(table.rows_recovered), Saved(s, table).c_str());
        out << "  " << table.name << std::string(width - table.name.size(), ' ') << line << TableLoss(table) << "\n";
      }
    }
    if (!s.losses.empty()) {
      out << "\nLosses";
      if (s.losses_counted > s.losses.size()) out << " (the first " << s.losses.size() << " of " << s.losses_counted << ")";
      out << ":\n";
      for (const std::string& line : s.losses) out << "  " << line << "\n";
    }
  }
  return out.str();
}

std::string ReportHtml(const RecoveryReport& report) {
  std::ostringstream out;
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Mendora recovery report</title>\n"
      << "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse}"
      << "td,th{border:1px solid #bbb;padding:.2em .6em;text-align:left}td.n{text-align:right}"
      << "tr.lost td{background:#fdecea}th{background:#eee}</style>\n</head>\n<body>\n"
      << "<h1>Mendora recovery report</h1>\n<p>Written by " << Html(report.program) << " on " << Html(report.written)
      << "<br>Command: <code>" << Html(report.command) << "</code></p>\n";
  for (const ReportSection& s : report.sections) {
    out << "<h2>" << Html(s.source) << "</h2>\n<table>\n";
    for (const auto& [name, fact] : Facts(s)) out << "<tr><th>" << Html(name) << "</th><td>" << Html(fact) << "</td></tr>\n";
    out << "</table>\n";
    if (!s.tables.empty()) {
      out << "<h3>Tables (" << s.tables.size() << ")</h3>\n<table>\n"
          << "<tr><th>Table</th><th>In the source</th><th>Read</th><th>Saved</th><th>Lost</th></tr>\n";
      for (const TableLosses& table : s.tables) {
        out << "<tr" << (table.AnyLoss() ? " class=\"lost\"" : "") << "><td>" << Html(table.name) << "</td><td class=\"n\">"
            << Stored(table.stored_rows) << "</td><td class=\"n\">" << table.rows_recovered << "</td><td class=\"n\">"
            << Saved(s, table) << "</td><td>" << Html(TableLoss(table)) << "</td></tr>\n";
      }
      out << "</table>\n";
    }
    if (!s.losses.empty()) {
      out << "<h3>Losses";
      if (s.losses_counted > s.losses.size()) out << " (the first " << s.losses.size() << " of " << s.losses_counted << ")";
      out << "</h3>\n<ul>\n";
      for (const std::string& line : s.losses) out << "<li>" << Html(line) << "</li>\n";
      out << "</ul>\n";
    }
  }
  out << "</body>\n</html>\n";
  return out.str();
}

}  // namespace mendora
