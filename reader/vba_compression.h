// The compression of VBA projects: the `dir` stream and the source text of
// every module are stored in it.
//
// A container starts with the byte 0x01 and holds chunks, each of at most
// 4096 bytes once decompressed. A chunk starts with a 16-bit header: its
// stored size less 3 in the low 12 bits, the signature 0b011 in the next 3,
// and in the top bit whether it is compressed. An uncompressed chunk holds
// 4096 bytes as they are. A compressed one is a run of flag bytes, each
// governing the 8 tokens after it (low bit first): a 0 bit is a literal
// byte, a 1 bit a 16-bit copy token that repeats earlier bytes of the same
// chunk. How a copy token splits into offset and length depends on how far
// into the chunk it stands: the further, the more bits the offset takes.
#ifndef MENDORA_READER_VBA_COMPRESSION_H_
#define MENDORA_READER_VBA_COMPRESSION_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "reader/byte_view.h"

namespace mendora {

inline constexpr uint8_t kVbaContainerSignature = 0x01;
inline constexpr size_t kVbaChunkSize = 4096;

struct VbaDecompression {
  std::string bytes;    // what could be decompressed, up to the first fault
  std::string problem;  // empty when the whole container decompressed
  bool whole() const { return problem.empty(); }
};

// Decompresses the container `stored`. Whatever is wrong with it (no
// signature, a chunk header cut short or with another signature, a chunk
// running past the end, a copy token reaching before its chunk, a chunk that
// would decompress past 4096 bytes) ends the work there with the reason; the
// bytes before it are kept. Never produces more than `limit` bytes.
VbaDecompression DecompressVba(ByteView stored, size_t limit = 64u << 20);

}  // namespace mendora

#endif  // MENDORA_READER_VBA_COMPRESSION_H_
