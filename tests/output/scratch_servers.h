// Throwaway PostgreSQL and MariaDB servers for tests: each in a temporary
// folder, on a unix socket there and no network port, started by the test
// and stopped when it ends. When the server programs are missing, Start
// says why and the test skips.
#ifndef MENDORA_TESTS_OUTPUT_SCRATCH_SERVERS_H_
#define MENDORA_TESTS_OUTPUT_SCRATCH_SERVERS_H_

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mendora::testing {

// Runs `command` through the shell; its standard output, or nothing when it
// exits non-zero (its standard error then goes to the test's log).
std::optional<std::string> CommandOutput(const std::string& command);

class ScratchServer {
 public:
  virtual ~ScratchServer() = default;
  // Empty when the server runs; otherwise why not.
  virtual std::string Start() = 0;
  virtual void Stop() = 0;
  // A fresh database, empty when created.
  virtual bool CreateDatabase(const std::string& name) = 0;
  // Runs the script in `database`, stopping at the first error; the error
  // text, empty on success.
  virtual std::string RunScript(const std::string& database, const std::filesystem::path& script) = 0;
  // One line of output per row of `query`.
  virtual std::optional<std::vector<std::string>> Lines(const std::string& database, const std::string& query) = 0;
};

class ScratchPostgres final : public ScratchServer {
 public:
  ~ScratchPostgres() override { Stop(); }
  std::string Start() override;
  void Stop() override;
  bool CreateDatabase(const std::string& name) override;
  std::string RunScript(const std::string& database, const std::filesystem::path& script) override;
  std::optional<std::vector<std::string>> Lines(const std::string& database, const std::string& query) override;

 private:
  std::string Client(const std::string& database) const;
  std::filesystem::path dir_;
  std::string as_owner_;  // the prefix that runs a server program as the folder's owner
  bool running_ = false;
};

class ScratchMariaDb final : public ScratchServer {
 public:
  ~ScratchMariaDb() override { Stop(); }
  std::string Start() override;
  void Stop() override;
  bool CreateDatabase(const std::string& name) override;
  std::string RunScript(const std::string& database, const std::filesystem::path& script) override;
  std::optional<std::vector<std::string>> Lines(const std::string& database, const std::string& query) override;

 private:
  std::string Client(const std::string& database) const;
  std::filesystem::path dir_;
  bool running_ = false;
};

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_OUTPUT_SCRATCH_SERVERS_H_
