// The VBA decompressor (see vba_compression.h).
#include "reader/vba_compression.h"

#include <algorithm>

#include "reader/byte_cursor.h"

namespace mendora {

namespace {

constexpr uint16_t kChunkSignature = 0b011;

// The bits of a copy token's offset at `position` bytes into a chunk: enough
// to reach back to the chunk's start, and never fewer than 4.
unsigned OffsetBits(size_t position) {
  unsigned bits = 4;
  while ((size_t{1} << bits) < position) ++bits;
  return bits;
}

std::string At(size_t offset) { return " at byte " + std::to_string(offset); }

}  // namespace

VbaDecompression DecompressVba(ByteView stored, size_t limit) {
  VbaDecompression result;
  std::string& out = result.bytes;
  ByteCursor in(stored);
  if (stored.U8(0) != kVbaContainerSignature) {
    result.problem = "the compressed container does not start with 0x01";
    return result;
  }
  size_t pos = 1;
  while (pos < stored.size()) {
    const std::optional<uint16_t> header = stored.U16(pos);
    if (!header) {
      result.problem = "a chunk header is cut short" + At(pos);
      return result;
    }
    const size_t chunk_start = pos;
    const size_t stored_size = (*header & 0x0FFFu) + 3u;
    const uint16_t signature = (*header >> 12) & 0x7u;
    const bool compressed = (*header & 0x8000u) != 0;
    if (signature != kChunkSignature) {
      result.problem = "a chunk header has the signature " + std::to_string(signature) + ", not 3," + At(pos);
      return result;
    }
    const size_t chunk_end = std::min(chunk_start + stored_size, stored.size());
    const bool cut = chunk_start + stored_size > stored.size();
    pos += 2;
    const size_t out_start = out.size();
    if (!compressed) {
      // Stored as it is: always a full chunk.
      if (stored_size != kVbaChunkSize + 2) {
        result.problem = "an uncompressed chunk claims " + std::to_string(stored_size - 2) + " bytes, not 4096," + At(chunk_start);
        return result;
      }
      const size_t take = std::min(chunk_end - pos, limit - std::min(limit, out.size()));
      out.append(reinterpret_cast<const char*>(stored.data()) + pos, take);
      pos += take;
    } else {
      while (pos < chunk_end) {
        const uint8_t flags = in.U8At(pos++);
        for (int bit = 0; bit < 8 && pos < chunk_end; ++bit) {
          if ((flags >> bit & 1u) == 0) {
            if (out.size() - out_start >= kVbaChunkSize) {
              result.problem = "a chunk decompresses past 4096 bytes" + At(chunk_start);
              return result;
            }
            out.push_back(static_cast<char>(in.U8At(pos++)));
          } else {
            if (pos + 2 > chunk_end) {
              result.problem = "a copy token is cut short" + At(pos);
              return result;
            }
            const uint16_t token = in.U16At(pos);
            pos += 2;
            const size_t done = out.size() - out_start;
            const unsigned offset_bits = OffsetBits(done);
            const size_t length = (token & (0xFFFFu >> offset_bits)) + 3u;
            const size_t offset = (static_cast<size_t>(token) >> (16 - offset_bits)) + 1u;
            if (offset > done) {
              result.problem = "a copy token reaches " + std::to_string(offset) + " bytes back, before its chunk," + At(pos - 2);
              return result;
            }
            if (done + length > kVbaChunkSize) {
              result.problem = "a chunk decompresses past 4096 bytes" + At(chunk_start);
              return result;
            }
            // Byte by byte: a copy may overlap the bytes it makes.
            for (size_t i = 0; i < length; ++i) out.push_back(out[out.size() - offset]);
          }
          if (out.size() > limit) {
            out.resize(limit);
            result.problem = "the source decompresses past " + std::to_string(limit) + " bytes";
            return result;
          }
        }
      }
    }
    if (cut) {
      result.problem = "the chunk" + At(chunk_start) + " needs " + std::to_string(stored_size) + " bytes, and the stream ends after " +
                       std::to_string(stored.size() - chunk_start);
      return result;
    }
    if (out.size() >= limit && pos < stored.size()) {
      result.problem = "the source decompresses past " + std::to_string(limit) + " bytes";
      return result;
    }
  }
  return result;
}

}  // namespace mendora
