// Benchmark: analysis and save throughput on a large database made by the
// test builder, next to a plain SQLite bulk insert of the same rows.
//
//   mendora-bench [--rows N] [--file PATH] [--maker PATH] [--encoded | --deep | --memory | --jobs]
//
// --encoded measures the cost of page decryption instead: the analysis of
// the file against the analysis of a copy with every page encoded (the Jet
// page encoding, RC4 per page), in alternate rounds. --deep measures the
// deep pass the same way on a copy with every catalog data page zeroed and
// on one with every table definition zeroed. --memory writes databases of
// 100,000, 1,000,000 and 4,000,000 rows and prints the peak memory of
// mendora-cli's analyze, dump and recover on each, and its growth per
// million rows. --jobs measures only the analysis decoding on one thread
// and on two, against the bare read (the full run ends with it too).
//
// Each measurement runs in a child process so that its peak memory is its
// own. Memory that stays flat as the file grows is the point: run it with
// two sizes and compare.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "output/csv/csv_export.h"
#include "output/common/pipelined_output.h"
#include "output/json/json_dump.h"
#include "output/csv/csv_export.h"
#include "output/json/json_dump.h"
#include "output/sqlite/sqlite_output.h"
#include "output/targets.h"
#include "reader/crypto_library.h"
#include "recovery/recovery_session.h"

namespace {

using mendora::PassOutcome;
using mendora::RecoverySession;
using mendora::RunMode;

struct Measurement {
  double seconds = 0;
  double cpu_seconds = 0;  // user and system, all threads: steadier on a loaded machine
  long peak_kib = 0;
  int64_t rows = 0;
  bool ok = false;
};

// Waits for `child`, started at `start`: its wall time, processor time and
// peak memory; `status` is its wait status.
Measurement WaitFor(pid_t child, std::chrono::steady_clock::time_point start, int& status) {
  Measurement m;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.peak_kib = usage.ru_maxrss;
  m.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return m;
}

// Runs `work` in a child; its exit code carries success, a pipe the row count.
Measurement Measure(const std::function<int64_t()>& work) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return {};
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    const int64_t rows = work();
    const ssize_t written = write(pipe_fds[1], &rows, sizeof rows);
    _exit(rows >= 0 && written == sizeof rows ? 0 : 1);
  }
  close(pipe_fds[1]);
  int status = 0;
  Measurement m = WaitFor(child, start, status);
  m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && read(pipe_fds[0], &m.rows, sizeof m.rows) == sizeof m.rows;
  close(pipe_fds[0]);
  return m;
}

class CountingOutput : public mendora::RecoveryOutput {
 public:
  void BeginTable(const mendora::OutputTable&) override {}
  void AddRow(const mendora::Row&) override { ++rows; }
  void EndTable(int64_t) override {}
  int64_t rows = 0;
};

int64_t Analyse(const std::string& file) {
  RecoverySession session;
  session.options.source_path = file;
  CountingOutput counter;
  session.options.outputs.push_back(&counter);
  return mendora::RunRecovery(session).outcome == PassOutcome::kCompleted ? counter.rows : -1;
}

int64_t AnalyseWithJobs(const std::string& file, unsigned jobs) {
  RecoverySession session;
  session.options.source_path = file;
  session.options.decode_jobs = jobs;
  CountingOutput counter;
  session.options.outputs.push_back(&counter);
  return mendora::RunRecovery(session).outcome == PassOutcome::kCompleted ? counter.rows : -1;
}

int64_t Save(const std::string& file, const std::string& target,
             mendora::SaveFormat format = mendora::SaveFormat::kSqlite) {
  RecoverySession session;
  session.options.source_path = file;
  session.options.mode = RunMode::kSave;
  session.options.target_path = target;
  session.options.replace_existing = true;
  session.options.make_target = mendora::MakeTargetFactory(format);
  CountingOutput counter;
  session.options.outputs.push_back(&counter);
  return mendora::RunRecovery(session).outcome == PassOutcome::kCompleted ? counter.rows : -1;
}

// The bound to approach: the same rows, typed as the reader gives them,
// inserted into one untyped SQLite table by one prepared statement in one
// transaction, with nothing in between, and the file synced to disk at the
// end as a save's is.
class BulkInsertOutput : public mendora::RecoveryOutput {
 public:
  explicit BulkInsertOutput(sqlite3* db) : db_(db) {}
  ~BulkInsertOutput() override { sqlite3_finalize(insert_); }
  void BeginTable(const mendora::OutputTable& table) override {
    sqlite3_finalize(insert_);
    insert_ = nullptr;
    const std::string name = "t" + std::to_string(tables_++);
    std::string create = "CREATE TABLE " + name + "(", insert = "INSERT INTO " + name + " VALUES(";
    for (size_t i = 0; i < table.columns.size(); ++i) {
      create += (i ? ",c" : "c") + std::to_string(i);
      insert += i ? ",?" : "?";
    }
    sqlite3_exec(db_, (create + ")").c_str(), nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db_, (insert + ")").c_str(), -1, &insert_, nullptr);
  }
  void AddRow(const mendora::Row& row) override {
    for (size_t i = 0; i < row.values.size(); ++i) {
      const mendora::Value& value = row.values[i];
      const int index = static_cast<int>(i) + 1;
      switch (value.kind) {
        case mendora::ValueKind::kNull:
          sqlite3_bind_null(insert_, index);
          break;
        case mendora::ValueKind::kInteger:
        case mendora::ValueKind::kCurrency:
          sqlite3_bind_int64(insert_, index, value.integer);
          break;
        case mendora::ValueKind::kSingle:
        case mendora::ValueKind::kDouble:
        case mendora::ValueKind::kDateTime:
          sqlite3_bind_double(insert_, index, value.real);
          break;
        case mendora::ValueKind::kDecimal:
          sqlite3_bind_int64(insert_, index, static_cast<int64_t>(value.magnitude_low));
          break;
        default:
          sqlite3_bind_text(insert_, index, value.bytes.data(), static_cast<int>(value.bytes.size()), SQLITE_STATIC);
          break;
      }
    }
    sqlite3_step(insert_);
    sqlite3_reset(insert_);
    ++rows;
  }
  void EndTable(int64_t) override {}
  int64_t rows = 0;

 private:
  sqlite3* db_;
  sqlite3_stmt* insert_ = nullptr;
  int tables_ = 0;
};

int64_t PlainBulkInsert(const std::string& file, const std::string& target) {
  std::filesystem::remove(target);
  sqlite3* db = nullptr;
  if (sqlite3_open(target.c_str(), &db) != SQLITE_OK) return -1;
  sqlite3_exec(db, "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr);
  int64_t rows;
  {
    BulkInsertOutput bulk(db);
    RecoverySession session;
    session.options.source_path = file;
    session.options.outputs.push_back(&bulk);
    rows = mendora::RunRecovery(session).outcome == PassOutcome::kCompleted ? bulk.rows : -1;
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  // A save is only done once its file is on disk; so is the bound.
  const int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || fsync(fd) != 0) rows = -1;
  if (fd >= 0) close(fd);
  return rows;
}

// The floor of any analysis: every page of the file read once with pread,
// nothing done with it.
int64_t BareRead(const std::string& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  std::vector<char> page(4096);
  int64_t pages = 0;
  for (off_t at = 0;; at += static_cast<off_t>(page.size())) {
    const ssize_t got = pread(fd, page.data(), page.size(), at);
    if (got <= 0) break;
    ++pages;
  }
  close(fd);
  return pages;
}

void Report(const char* what, const Measurement& m, double megabytes);

// A copy of `file` as Jet writes an encoded database: the key in the masked
// header, every page after page 0 RC4-encrypted with the key XOR its number
// (never-written, all-zero pages left as they are).
bool WriteEncodedCopy(const std::string& file, const std::string& copy) {
  constexpr uint32_t kKey = 0xA7E0C0FE;
  constexpr size_t kMaskStart = 0x18, kKeyAt = 0x3E;
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  if (bytes.size() < 4096) return false;
  const size_t page_size = bytes[0x14] == 0 ? 2048 : 4096;
  const uint8_t mask[4] = {0xC7, 0xDA, 0x39, 0x6B};
  const mendora::ByteView mask_key(mask, sizeof mask);
  uint8_t* header = bytes.data() + kMaskStart;
  const size_t header_size = kKeyAt + 4 - kMaskStart;
  if (!mendora::crypto::Rc4(mask_key, header, header_size)) return false;
  for (int i = 0; i < 4; ++i) bytes[kKeyAt + i] = static_cast<uint8_t>(kKey >> (8 * i));
  mendora::crypto::Rc4(mask_key, header, header_size);
  for (size_t n = 1; n * page_size < bytes.size(); ++n) {
    uint8_t* page = bytes.data() + n * page_size;
    const size_t size = std::min(page_size, bytes.size() - n * page_size);
    if (std::all_of(page, page + size, [](uint8_t b) { return b == 0; })) continue;
    const uint32_t key = kKey ^ static_cast<uint32_t>(n);
    const uint8_t key_bytes[4] = {static_cast<uint8_t>(key), static_cast<uint8_t>(key >> 8),
                                  static_cast<uint8_t>(key >> 16), static_cast<uint8_t>(key >> 24)};
    if (!mendora::crypto::Rc4(mendora::ByteView(key_bytes, 4), page, size)) return false;
  }
  std::ofstream out(copy, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// Plain and encoded analyses in alternate rounds, so that both see the same
// load of a shared machine; the best of each is compared.
int MeasureDecryption(const std::string& file, const std::string& dir, double megabytes) {
  const std::string encoded = dir + "/encoded.mdb";
  if (!WriteEncodedCopy(file, encoded)) {
    std::fprintf(stderr, "mendora-bench: could not write an encoded copy of %s\n", file.c_str());
    return 1;
  }
  Measurement best_plain, best_encoded;
  double best_plain_cpu = 0, best_encoded_cpu = 0;
  for (int round = 0; round < 5; ++round) {
    const Measurement plain = Measure([&] { return Analyse(file); });
    const Measurement coded = Measure([&] { return Analyse(encoded); });
    if (!plain.ok || !coded.ok || plain.rows != coded.rows) {
      std::fprintf(stderr, "mendora-bench: the encoded copy did not read as the file (%lld rows against %lld)\n",
                   static_cast<long long>(coded.rows), static_cast<long long>(plain.rows));
      return 1;
    }
    std::printf("round %d: plain %.3f s, encoded %.3f s (%.2fx); processor time %.3f s, %.3f s (%.2fx)\n", round + 1,
                plain.seconds, coded.seconds, coded.seconds / plain.seconds, plain.cpu_seconds, coded.cpu_seconds,
                coded.cpu_seconds / plain.cpu_seconds);
    if (round == 0 || plain.seconds < best_plain.seconds) best_plain = plain;
    if (round == 0 || coded.seconds < best_encoded.seconds) best_encoded = coded;
    if (round == 0 || plain.cpu_seconds < best_plain_cpu) best_plain_cpu = plain.cpu_seconds;
    if (round == 0 || coded.cpu_seconds < best_encoded_cpu) best_encoded_cpu = coded.cpu_seconds;
  }
  Report("analysis, plain (best of 5)", best_plain, megabytes);
  Report("analysis, encoded (best of 5)", best_encoded, megabytes);
  std::printf("\ndecryption: the encoded analysis at %.2fx the plain one (processor time: %.2fx)\n",
              best_encoded.seconds / best_plain.seconds, best_encoded_cpu / best_plain_cpu);
  return 0;
}

// The deep pass against the normal analysis: a copy of `file` with every
// catalog data page zeroed (its tables found by their definitions alone),
// and one with every table definition but the catalog's zeroed (their rows
// read with layouts inferred from the rows), each analysed in alternate
// rounds with the undamaged file.
int MeasureDeepPass(const std::string& file, const std::string& dir, double megabytes) {
  std::vector<uint8_t> original;
  {
    std::ifstream in(file, std::ios::binary);
    original.assign(std::istreambuf_iterator<char>(in), {});
  }
  const size_t page_size = original.size() > 0x14 && original[0x14] == 0 ? 2048 : 4096;
  const auto u32 = [](const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
  };
  const auto write = [](const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  const std::string catalog_zeroed = dir + "/catalog-zeroed.mdb";
  const std::string definitions_zeroed = dir + "/definitions-zeroed.mdb";
  {
    std::vector<uint8_t> bytes = original;
    for (size_t at = page_size; at + page_size <= bytes.size(); at += page_size) {
      if (bytes[at] == 0x01 && u32(bytes, at + 4) == 2) std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), page_size, 0);
    }
    write(catalog_zeroed, bytes);
  }
  {
    std::vector<uint8_t> bytes = original;
    // The catalog's own definition (page 2 and its continuations) stays.
    std::set<size_t> catalog{2};
    for (size_t page = 2; catalog.size() < 64;) {
      const size_t next = u32(bytes, page * page_size + 4);
      if (bytes[page * page_size] != 0x02 || next == 0 || (next + 1) * page_size > bytes.size() ||
          !catalog.insert(next).second) {
        break;
      }
      page = next;
    }
    for (size_t at = page_size; at + page_size <= bytes.size(); at += page_size) {
      if (bytes[at] == 0x02 && catalog.count(at / page_size) == 0) {
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), page_size, 0);
      }
    }
    write(definitions_zeroed, bytes);
  }
  Measurement best_plain, best_catalog, best_definitions;
  for (int round = 0; round < 3; ++round) {
    const Measurement plain = Measure([&] { return Analyse(file); });
    const Measurement catalog = Measure([&] { return Analyse(catalog_zeroed); });
    const Measurement definitions = Measure([&] { return Analyse(definitions_zeroed); });
    if (!plain.ok || !catalog.ok || plain.rows != catalog.rows) {
      std::fprintf(stderr, "mendora-bench: the catalog-zeroed copy gave %lld rows against %lld\n",
                   static_cast<long long>(catalog.rows), static_cast<long long>(plain.rows));
      return 1;
    }
    if (!definitions.ok) {
      std::fprintf(stderr, "mendora-bench: the copy with its definitions zeroed could not be analysed\n");
      return 1;
    }
    std::printf("round %d: undamaged %.3f s, catalog zeroed %.3f s (%.2fx), definitions zeroed %.3f s (%.2fx, %lld of "
                "%lld rows)\n",
                round + 1, plain.seconds, catalog.seconds, catalog.seconds / plain.seconds, definitions.seconds,
                definitions.seconds / plain.seconds, static_cast<long long>(definitions.rows),
                static_cast<long long>(plain.rows));
    if (round == 0 || plain.seconds < best_plain.seconds) best_plain = plain;
    if (round == 0 || catalog.seconds < best_catalog.seconds) best_catalog = catalog;
    if (round == 0 || definitions.seconds < best_definitions.seconds) best_definitions = definitions;
  }
  Report("analysis, undamaged (best of 3)", best_plain, megabytes);
  Report("deep pass, catalog zeroed (best of 3)", best_catalog, megabytes);
  Report("deep pass, definitions zeroed (best of 3)", best_definitions, megabytes);
  std::printf("\ndeep pass: catalog zeroed at %.2fx the undamaged analysis, definitions zeroed at %.2fx\n",
              best_catalog.seconds / best_plain.seconds, best_definitions.seconds / best_plain.seconds);
  return 0;
}

// The file outputs beside the analysis: the JSON dump into a file and the
// CSV export of every table, each as the command line runs it.
int64_t DumpToFile(const std::string& file, const std::string& target) {
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  mendora::PipelinedOutput dump(std::make_unique<mendora::JsonDumpOutput>(out, "Jet4"));
  RecoverySession session;
  session.options.source_path = file;
  CountingOutput counter;
  // The dump last, as the only output of the command line: it takes the rows.
  session.options.outputs.push_back(&counter);
  session.options.outputs.push_back(&dump);
  const bool done = mendora::RunRecovery(session).outcome == PassOutcome::kCompleted;
  out.flush();
  return done && out ? counter.rows : -1;
}

int64_t ExportCsv(const std::string& file, const std::string& dir) {
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  mendora::PipelinedOutput csv(std::make_unique<mendora::CsvExport>(dir, mendora::ExportOptions{}));
  RecoverySession session;
  session.options.source_path = file;
  CountingOutput counter;
  session.options.outputs.push_back(&counter);
  session.options.outputs.push_back(&csv);
  return mendora::RunRecovery(session).outcome == PassOutcome::kCompleted ? counter.rows : -1;
}

// Every output in alternate rounds with the analysis and the bulk-insert
// bound, so that all see the same load of a shared machine: the best of
// each, the dump and the CSV export against the analysis, the saves against
// the bound.
bool MeasureOutputs(const std::string& file, const std::string& dir, double megabytes) {
  enum { kAnalysis, kDump, kCsv, kSqlite, kAccess, kBound, kPasses };
  static const char* const kNames[kPasses] = {"analysis (best of 3)", "dump, JSON file (best of 3)",
                                              "export, CSV files (best of 3)", "save into SQLite (best of 3)",
                                              "save into .mdb (best of 3)", "bulk-insert bound (best of 3)"};
  const std::function<int64_t()> passes[kPasses] = {
      [&] { return Analyse(file); },
      [&] { return DumpToFile(file, dir + "/dump.json"); },
      [&] { return ExportCsv(file, dir + "/csv"); },
      [&] { return Save(file, dir + "/saved.sqlite"); },
      [&] { return Save(file, dir + "/saved.mdb", mendora::SaveFormat::kAccess); },
      [&] { return PlainBulkInsert(file, dir + "/bulk.sqlite"); }};
  Measurement best[kPasses];
  bool ok = true;
  for (int round = 0; round < 3 && ok; ++round) {
    for (int pass = 0; pass < kPasses; ++pass) {
      const Measurement m = Measure(passes[pass]);
      ok = ok && m.ok && (pass == kAnalysis || m.rows == best[kAnalysis].rows);
      if (round == 0 || m.seconds < best[pass].seconds) best[pass] = m;
    }
    std::filesystem::remove_all(dir + "/csv");
    for (const char* name : {"/dump.json", "/saved.sqlite", "/saved.mdb", "/bulk.sqlite"}) std::filesystem::remove(dir + name);
  }
  std::printf("\n");
  for (int pass = 0; pass < kPasses; ++pass) Report(kNames[pass], best[pass], megabytes);
  if (!ok) return false;
  const auto ratio = [&](int a, int b) { return best[a].seconds / best[b].seconds; };
  std::printf("\ndump at %.2fx the analysis, CSV export at %.2fx\n", ratio(kDump, kAnalysis), ratio(kCsv, kAnalysis));
  std::printf("SQLite save at %.2fx the bulk insert's rate, .mdb save at %.2fx\n", ratio(kBound, kSqlite),
              ratio(kBound, kAccess));
  return true;
}

// mendora-cli run with `args`, its output thrown away; rows is 0.
Measurement MeasureCommand(const std::vector<std::string>& args) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  Measurement m = WaitFor(child, start, status);
  // 4: rows or values lost, which a builder file never has; anything but 0 is a failure here.
  m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return m;
}

// Peak memory of analyze, dump and recover at three sizes: what grows with
// the rows shows as the growth per million rows between the first and last.
int MeasureMemory(const std::string& maker, const std::string& cli, const std::string& dir) {
  const long sizes[] = {100000, 1000000, 4000000};
  const char* commands[] = {"analyze", "dump", "recover"};
  double peaks[3][3] = {};
  bool ok = true;
  std::printf("%-10s %14s %14s %14s\n", "rows", "analyze", "dump", "recover");
  for (int s = 0; s < 3; ++s) {
    const std::string file = dir + "/rows-" + std::to_string(sizes[s]) + ".mdb";
    const std::string make = maker + " " + file + " --rows " + std::to_string(sizes[s]) + " > /dev/null";
    if (std::system(make.c_str()) != 0) {
      std::fprintf(stderr, "mendora-bench: could not run %s\n", maker.c_str());
      return 1;
    }
    std::printf("%-10ld", sizes[s]);
    for (int c = 0; c < 3; ++c) {
      std::vector<std::string> args = {cli, commands[c], "-q", file};
      if (c == 1) args = {cli, "dump", file};
      if (c == 2) args.insert(args.end(), {dir + "/saved.sqlite", "--format", "sqlite"});
      const Measurement m = MeasureCommand(args);
      ok = ok && m.ok;
      peaks[s][c] = static_cast<double>(m.peak_kib) / 1024.0;
      if (m.ok) {
        std::printf(" %7.1f MiB %4.1fs", peaks[s][c], m.seconds);
      } else {
        std::printf(" %14s", "failed");
      }
      std::fflush(stdout);
    }
    std::printf("\n");
    std::filesystem::remove(file);
    std::filesystem::remove(dir + "/saved.sqlite");
  }
  std::printf("\ngrowth per million rows from %ld to %ld rows:", sizes[0], sizes[2]);
  for (int c = 0; c < 3; ++c) {
    std::printf(" %s %.2f MiB%s", commands[c], (peaks[2][c] - peaks[0][c]) / ((sizes[2] - sizes[0]) / 1e6),
                c < 2 ? "," : "\n");
  }
  return ok ? 0 : 1;
}

// The analysis decoding on one thread and on two, against the bare read, in
// alternate rounds: the best of three of each, and the processor time each
// took.
bool MeasureJobs(const std::string& file, double megabytes) {
  Measurement best[3];
  for (int round = 0; round < 3; ++round) {
    const Measurement taken[3] = {Measure([&] { return BareRead(file); }),
                                  Measure([&] { return AnalyseWithJobs(file, 1); }),
                                  Measure([&] { return AnalyseWithJobs(file, 2); })};
    for (int k = 0; k < 3; ++k) {
      if (!taken[k].ok) return false;
      if (round == 0 || taken[k].seconds < best[k].seconds) best[k] = taken[k];
    }
  }
  std::printf("\nAnalysis by decoding threads (best of 3, alternate rounds):\n");
  std::printf("%-34s %8.2f s  %9.1f MB/s\n", "bare read (every page, pread)", best[0].seconds, megabytes / best[0].seconds);
  const char* names[] = {"", "analysis --jobs 1", "analysis --jobs 2"};
  for (int k = 1; k < 3; ++k) {
    Report(names[k], best[k], megabytes);
    std::printf("%-34s %8.2fx the bare read, processor time %.2f s\n", "", best[k].seconds / best[0].seconds,
                best[k].cpu_seconds);
  }
  std::printf("--jobs 2 takes %.2fx the time of --jobs 1\n", best[2].seconds / best[1].seconds);
  return true;
}

void Report(const char* what, const Measurement& m, double megabytes) {
  if (!m.ok) {
    std::printf("%-34s failed\n", what);
    return;
  }
  std::printf("%-34s %8.2f s  %9.1f MB/s  %11.0f rows/s  peak %7.1f MiB\n", what, m.seconds, megabytes / m.seconds,
              static_cast<double>(m.rows) / m.seconds, static_cast<double>(m.peak_kib) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Mendora's benchmark: analysis and save throughput on a large database"};
  long rows = 1000000;
  std::string file;
  std::string maker = (std::filesystem::path(argv[0]).parent_path() / "../tests/builder/mendora-make-sample").string();
  bool encoded = false;
  app.add_option("--rows", rows, "rows of the database the test builder writes (default 1,000,000)")
      ->check(CLI::Range(1L, 2000000000L));
  app.add_option("--file", file, "measure this database instead of writing one")->check(CLI::ExistingFile);
  app.add_option("--maker", maker, "the test builder's mendora-make-sample");
  app.add_flag("--encoded", encoded, "compare the analysis of a Jet-encoded copy with the plain file");
  bool deep = false;
  app.add_flag("--deep", deep, "compare the analysis of copies with their catalog or their table definitions zeroed with the plain file's");
  bool memory = false;
  std::string cli = (std::filesystem::path(argv[0]).parent_path() / "../cli/mendora-cli").string();
  app.add_flag("--memory", memory, "peak memory of analyze, dump and recover at 100,000, 1,000,000 and 4,000,000 rows");
  app.add_option("--cli", cli, "the mendora-cli that --memory runs");
  bool jobs = false;
  app.add_flag("--jobs", jobs, "only the analysis with one decoding thread and with two, against the bare read");
  CLI11_PARSE(app, argc, argv);
  const std::string dir = std::filesystem::temp_directory_path() / ("mendora-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  if (memory) {
    const int result = MeasureMemory(maker, cli, dir);
    std::filesystem::remove_all(dir);
    return result;
  }
  if (file.empty()) {
    file = dir + "/large.mdb";
    const std::string command = maker + " " + file + " --rows " + std::to_string(rows) + " > /dev/null";
    std::printf("Writing a database of %ld rows with the test builder...\n", rows);
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "mendora-bench: could not run %s\n", maker.c_str());
      return 1;
    }
    std::printf("  written in %.1f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  const double megabytes = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
  std::printf("Source: %s, %.1f MB\n\n", file.c_str(), megabytes);

  if (jobs) {
    const bool ok = MeasureJobs(file, megabytes);
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
  }
  if (encoded || deep) {
    const int result = deep ? MeasureDeepPass(file, dir, megabytes) : MeasureDecryption(file, dir, megabytes);
    std::filesystem::remove_all(dir);
    return result;
  }
  const Measurement bare = Measure([&] { return BareRead(file); });
  if (bare.ok) std::printf("%-34s %8.2f s  %9.1f MB/s  (%ld pages)\n", "bare read (every page, pread)", bare.seconds,
                           megabytes / bare.seconds, static_cast<long>(bare.rows));
  const Measurement analysis = Measure([&] { return Analyse(file); });
  Report("analysis (read every row)", analysis, megabytes);
  const Measurement save = Measure([&] { return Save(file, dir + "/saved.sqlite"); });
  Report("save pass (into SQLite)", save, megabytes);
  const Measurement access = Measure([&] { return Save(file, dir + "/saved.mdb", mendora::SaveFormat::kAccess); });
  Report("save pass (into Access .mdb)", access, megabytes);
  const Measurement bulk = Measure([&] { return PlainBulkInsert(file, dir + "/bulk.sqlite"); });
  Report("read + plain SQLite bulk insert", bulk, megabytes);
  std::printf("\n");
  if (bare.ok && analysis.ok) std::printf("analysis at %.1fx the bare read\n", analysis.seconds / bare.seconds);
  if (save.ok && bulk.ok) {
    std::printf("save pass at %.2fx the plain bulk insert's rate\n", bulk.seconds / save.seconds);
  }
  if (save.ok && access.ok) std::printf(".mdb save at %.2fx the SQLite save's rate\n", save.seconds / access.seconds);
  const bool outputs_ok = MeasureOutputs(file, dir, megabytes);
  const bool jobs_ok = MeasureJobs(file, megabytes);

  std::filesystem::remove_all(dir);
  return analysis.ok && save.ok && access.ok && bulk.ok && outputs_ok && jobs_ok ? 0 : 1;
}
