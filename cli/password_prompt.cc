// The password of an encrypted source: given on the command line or in the
// environment, else asked for on the terminal.
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "cli/command_support.h"
#include "cli/commands.h"

namespace mendora::cli {

namespace {

std::optional<std::string> given_password;
PasswordPrompt password_prompt = PromptOnTerminal;

// The terminal's settings while echo is off, for a signal to put back.
termios saved_terminal;
volatile sig_atomic_t terminal_fd = -1;

void RestoreTerminalAndDie(int signal) {
  if (terminal_fd >= 0) tcsetattr(terminal_fd, TCSAFLUSH, &saved_terminal);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

void SetPassword(std::optional<std::string> password) { given_password = std::move(password); }
void SetPasswordPrompt(PasswordPrompt prompt) { password_prompt = std::move(prompt); }

std::optional<std::string> PasswordFor(const std::string& file) {
  if (given_password || !password_prompt) return given_password;
  std::string error;
  OpenFailure failure = OpenFailure::kNone;
  OpenJetHandle(file, &error, &failure);
  if (failure != OpenFailure::kEncrypted) return std::nullopt;
  std::optional<std::string> typed;
  for (int attempt = 0; attempt < 3; ++attempt) {
    typed = password_prompt(attempt == 0 ? "Password for " + file + ": " : "The password is wrong. Password: ");
    if (!typed) return std::nullopt;
    OpenJetHandle(file, &error, &failure, {.password = typed});
    if (failure != OpenFailure::kWrongPassword) break;
  }
  return typed;
}

std::optional<std::string> PromptOnTerminal(const std::string& question) {
  // A script's standard input is not asked: it gets the clear refusal.
  if (!isatty(STDIN_FILENO)) return std::nullopt;
  const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  termios quiet;
  if (tcgetattr(fd, &saved_terminal) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  quiet = saved_terminal;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  if (::write(fd, question.data(), question.size()) < 0) {
    ::close(fd);
    return std::nullopt;
  }
  // Ctrl-C at the prompt must not leave the terminal without echo.
  terminal_fd = fd;
  struct sigaction restore {}, old_int {}, old_term {}, old_hup {};
  restore.sa_handler = RestoreTerminalAndDie;
  sigaction(SIGINT, &restore, &old_int);
  sigaction(SIGTERM, &restore, &old_term);
  sigaction(SIGHUP, &restore, &old_hup);
  tcsetattr(fd, TCSAFLUSH, &quiet);
  std::string line;
  bool ended = false;
  char c;
  // A password is a line; a bound keeps a runaway input from growing it.
  while (line.size() < 1024) {
    const ssize_t got = ::read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (c == '\n' || c == '\r') {
      ended = true;
      break;
    }
    line.push_back(c);
  }
  tcsetattr(fd, TCSAFLUSH, &saved_terminal);
  terminal_fd = -1;
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGTERM, &old_term, nullptr);
  sigaction(SIGHUP, &old_hup, nullptr);
  ::close(fd);
  if (!ended && line.empty()) return std::nullopt;  // end of input: nothing typed
  return line;
}

}  // namespace mendora::cli
