// Finding the real sample databases and their expected contents.
#ifndef MENDORA_TESTS_SUPPORT_CORPUS_H_
#define MENDORA_TESTS_SUPPORT_CORPUS_H_

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mendora::testing {

// The sample folder: $MENDORA_CORPUS, else the shared folder beside the
// repository; nothing when neither exists or it holds no sample (so do the
// other folders below).
std::optional<std::filesystem::path> CorpusDir();
// The crafted files of the shared folder: $MENDORA_HOSTILE, else "hostile"
// beside the corpus folder; nothing when neither exists.
std::optional<std::filesystem::path> HostileDir();
// The encrypted samples: $MENDORA_CORPUS_ENCRYPTED, else the shared folder
// beside the repository; nothing when neither exists.
std::optional<std::filesystem::path> EncryptedCorpusDir();
// The sample databases (*.mdb) of the corpus, sorted by name.
std::vector<std::filesystem::path> CorpusFiles();

// The Access 2007+ samples: $MENDORA_CORPUS_ACE, else the shared folder
// beside the repository; nothing when neither exists.
std::optional<std::filesystem::path> AceCorpusDir();
// The samples (*.accdb) of that folder, sorted by name.
std::vector<std::filesystem::path> AceCorpusFiles();

// The samples with forms, reports, macros and modules:
// $MENDORA_CORPUS_OBJECTS, else the shared folder beside the repository;
// nothing when neither exists.
std::optional<std::filesystem::path> ObjectsCorpusDir();

// "<bin:LENGTH:SHA1>" with the first 12 hex digits of the bytes' SHA-1: how
// the corpus names an OLE object.
std::string BinarySummary(const std::string& bytes);
// The bytes of standard base64 text.
std::string DecodeBase64(const std::string& text);

// Compares a value the reader rendered with the corpus's expected form for
// a column type: numbers by value, dates by instant, booleans 1/0 against
// true/false, OLE objects by length and digest; an extended date/time
// ("YYYY.MM.DD HH:MM:SS.fffffffff") against the reader's
// "MM/DD/YYYY HH:MM:SS.fffffff".
bool SameValue(const std::string& type, const std::optional<std::string>& expected,
               const std::optional<std::string>& rendered);

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_SUPPORT_CORPUS_H_
