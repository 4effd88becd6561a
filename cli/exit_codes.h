// The exit codes of mendora-cli and what each means, written once for the
// main --help and the manual page.
#ifndef MENDORA_CLI_EXIT_CODES_H_
#define MENDORA_CLI_EXIT_CODES_H_

#include <string>

namespace mendora::cli {

// Exit codes of every command; 0 is a complete result.
inline constexpr int kExitNotOpened = 2;          // the source is missing, unreadable or not a regular file
inline constexpr int kExitFailed = 3;             // the save failed, or reading stopped part-way
inline constexpr int kExitLosses = 4;             // complete, but rows or values were lost (the account says which)
inline constexpr int kExitNotADatabase = 5;       // the source is not an Access database
inline constexpr int kExitNothingRecovered = 6;   // an Access file, but nothing could be recovered from it
inline constexpr int kExitOutputFailed = 7;       // what was printed did not reach its destination
inline constexpr int kExitPassword = 8;           // the source is encrypted: its password is missing or wrong, or
                                                  // its encryption is of a kind Mendora does not decrypt
inline constexpr int kExitInterrupted = 130;      // Ctrl-C or a termination request cancelled the save

// One row of the table. The meaning is plain text: FILE, OUT and DIR name
// the command line's arguments.
struct ExitCodeMeaning {
  const char* code;
  const char* meaning;
};

inline constexpr ExitCodeMeaning kExitCodeTable[] = {
    {"0", "everything found was recovered (an interrupt that came after OUT was in place is said on stderr)"},
    {"2", "FILE could not be opened: missing, unreadable or not a regular file"},
    {"3", "the save failed (nothing is left at OUT), or reading stopped part-way"},
    {"4", "complete, but rows or values were lost: the loss account on stderr names them"},
    {"5", "FILE is not an Access database"},
    {"6", "FILE is an Access file, but nothing could be recovered from it: no catalog row, or data pages holding "
          "rows of which not one could be read (nothing is left at OUT)"},
    {"7", "the output could not be written (a full disk, /dev/full, a closed pipe)"},
    {"8", "FILE is encrypted: its password is missing or wrong, or it is encrypted in a way Mendora does not "
          "decrypt"},
    {"100-127", "the command line was not understood"},
    {"130", "interrupted (Ctrl-C, SIGTERM, SIGHUP) before OUT was in place; nothing was left behind"},
};

// What a run over several files exits with.
inline constexpr const char* kExitCodeOfManyFiles =
    "With several files (recover --out-dir, export) the exit code is the worst file's: any failure over losses "
    "(4) over complete (0), and of two failures the higher code.";

// The table as the main --help shows it, wrapped to 80 columns.
std::string ExitCodeHelp();

}  // namespace mendora::cli

#endif  // MENDORA_CLI_EXIT_CODES_H_
