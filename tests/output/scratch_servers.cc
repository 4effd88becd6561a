// Throwaway database servers for the export tests.
#include "tests/output/scratch_servers.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace mendora::testing {

namespace {

constexpr const char* kPostgresBin = "/usr/lib/postgresql/15/bin";

std::filesystem::path MakeTempDir(const char* prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WaitFor(const std::filesystem::path& path, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (std::filesystem::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

}  // namespace

std::optional<std::string> CommandOutput(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  if (pclose(pipe) != 0) return std::nullopt;
  return out;
}

std::string ScratchPostgres::Start() {
  const std::string bin = kPostgresBin;
  if (!std::filesystem::exists(bin + "/initdb") || !std::filesystem::exists(bin + "/pg_ctl") ||
      !std::filesystem::exists("/usr/bin/psql")) {
    return "PostgreSQL 15 is not installed (Debian packages postgresql, postgresql-client)";
  }
  dir_ = MakeTempDir("mendora-pg-");
  if (dir_.empty()) return "no temporary folder";
  // PostgreSQL refuses to run as root: its folder and process go to nobody.
  if (geteuid() == 0) {
    if (!Run("chown nobody " + dir_.string())) return "cannot hand the folder to nobody";
    as_owner_ = "runuser -u nobody -- ";
  }
  if (!Run(as_owner_ + bin + "/initdb -D " + dir_.string() + "/data -U postgres -A trust --no-sync --no-locale -E UTF8 > " +
           dir_.string() + "/initdb.log 2>&1")) {
    return "initdb failed: " + ReadFile(dir_ / "initdb.log");
  }
  if (!Run(as_owner_ + bin + "/pg_ctl -D " + dir_.string() + "/data -l " + dir_.string() + "/server.log -w -o \"-k " +
           dir_.string() + " -c listen_addresses='' -F\" start > /dev/null 2>&1")) {
    return "the server did not start: " + ReadFile(dir_ / "server.log");
  }
  running_ = true;
  return "";
}

void ScratchPostgres::Stop() {
  if (running_) {
    Run(as_owner_ + std::string(kPostgresBin) + "/pg_ctl -D " + dir_.string() + "/data -m immediate stop > /dev/null 2>&1");
    running_ = false;
  }
  if (!dir_.empty()) {
    std::error_code error;
    std::filesystem::remove_all(dir_, error);
    dir_.clear();
  }
}

std::string ScratchPostgres::Client(const std::string& database) const {
  return "psql -X -q -h " + dir_.string() + " -U postgres -d " + database + " -v ON_ERROR_STOP=1 ";
}

bool ScratchPostgres::CreateDatabase(const std::string& name) {
  return Run(Client("postgres") + "-c 'CREATE DATABASE \"" + name + "\"' > /dev/null");
}

std::string ScratchPostgres::RunScript(const std::string& database, const std::filesystem::path& script) {
  const std::filesystem::path log = dir_ / "script.log";
  if (Run(Client(database) + "-f " + script.string() + " > " + log.string() + " 2>&1")) return "";
  const std::string text = ReadFile(log);
  return text.empty() ? "psql failed" : text;
}

std::optional<std::vector<std::string>> ScratchPostgres::Lines(const std::string& database, const std::string& query) {
  const std::filesystem::path file = dir_ / "query.sql";
  std::ofstream(file) << query << ";\n";
  const std::optional<std::string> out = CommandOutput(Client(database) + "-A -t -f " + file.string());
  if (!out) return std::nullopt;
  std::vector<std::string> lines;
  std::istringstream in(*out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ScratchMariaDb::Start() {
  if (!std::filesystem::exists("/usr/sbin/mariadbd") || !std::filesystem::exists("/usr/bin/mariadb-install-db") ||
      !std::filesystem::exists("/usr/bin/mariadb")) {
    return "MariaDB is not installed (Debian packages mariadb-server, mariadb-client)";
  }
  dir_ = MakeTempDir("mendora-maria-");
  if (dir_.empty()) return "no temporary folder";
  const std::string user = geteuid() == 0 ? " --user=root" : "";
  if (!Run("mariadb-install-db --no-defaults --datadir=" + dir_.string() + "/data" + user +
           " --auth-root-authentication-method=normal --skip-test-db > " + dir_.string() + "/install.log 2>&1")) {
    return "mariadb-install-db failed: " + ReadFile(dir_ / "install.log");
  }
  if (!Run("/usr/sbin/mariadbd --no-defaults --datadir=" + dir_.string() + "/data --socket=" + dir_.string() +
           "/mysqld.sock --pid-file=" + dir_.string() + "/mysqld.pid --skip-networking --log-error=" + dir_.string() +
           "/server.log --innodb-buffer-pool-size=64M --innodb-log-file-size=16M --innodb-flush-log-at-trx-commit=0" +
           user + " > /dev/null 2>&1 &")) {
    return "mariadbd could not be started";
  }
  running_ = true;
  if (!WaitFor(dir_ / "mysqld.sock", 60) || !WaitFor(dir_ / "mysqld.pid", 10)) {
    return "the server did not start: " + ReadFile(dir_ / "server.log");
  }
  return "";
}

void ScratchMariaDb::Stop() {
  if (running_) {
    std::ifstream pid_file(dir_ / "mysqld.pid");
    pid_t pid = 0;
    if (pid_file >> pid && pid > 0) {
      kill(pid, SIGTERM);
      for (int i = 0; i < 300 && kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    running_ = false;
  }
  if (!dir_.empty()) {
    std::error_code error;
    std::filesystem::remove_all(dir_, error);
    dir_.clear();
  }
}

std::string ScratchMariaDb::Client(const std::string& database) const {
  return "mariadb --no-defaults -S " + dir_.string() + "/mysqld.sock -u root " + database + " ";
}

bool ScratchMariaDb::CreateDatabase(const std::string& name) {
  return Run(Client("") + "-e 'CREATE DATABASE `" + name + "` CHARACTER SET utf8mb4'");
}

std::string ScratchMariaDb::RunScript(const std::string& database, const std::filesystem::path& script) {
  const std::filesystem::path log = dir_ / "script.log";
  if (Run(Client(database) + "< " + script.string() + " > " + log.string() + " 2>&1")) return "";
  const std::string text = ReadFile(log);
  return text.empty() ? "mariadb failed" : text;
}

std::optional<std::vector<std::string>> ScratchMariaDb::Lines(const std::string& database, const std::string& query) {
  const std::filesystem::path file = dir_ / "query.sql";
  std::ofstream(file) << query << ";\n";
  const std::optional<std::string> out = CommandOutput(Client(database) + "-N -B -r < " + file.string());
  if (!out) return std::nullopt;
  std::vector<std::string> lines;
  std::istringstream in(*out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace mendora::testing
