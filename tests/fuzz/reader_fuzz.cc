// libFuzzer target: any bytes as a database file, through the whole pass
// (catalog walk, definitions, rows, long values, complex columns, relations
// and queries) into the JSON dump. Whatever the bytes, the pass must end
// without a crash or a sanitizer report, and within the bounds the reader
// keeps on its work and output.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "output/json/json_dump.h"
#include "recovery/recovery_session.h"
#include "tests/fuzz/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mendora::fuzz::MemoryFile file(data, size);
  if (!file.ok()) return 0;
  std::ostringstream out;
  mendora::JsonDumpOutput dump(out, "Jet4");
  mendora::RecoverySession session;
  session.options.source_path = file.path();
  session.options.loss_details = nullptr;
  session.options.outputs.push_back(&dump);
  mendora::RunRecovery(session);
  // The bounds the pass keeps, checked on every input: each page read a
  // fixed number of times; the dump within a fixed multiple of the file (the
  // worst case is an attachment inflated to 1,032 times its bytes; rows of
  // nulls come next, 6 bytes of JSON for each bit of a null mask).
  if (session.results.pages_read > 6ull * session.results.page_count + 16) std::abort();
  if (out.str().size() > 1100ull * size + 4096) std::abort();
  return 0;
}
