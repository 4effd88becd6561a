// The stream written on a thread of its own: every byte in order, a failed
// write never lost, nothing written after a drop.
#include "output/common/write_behind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>

namespace mendora {
namespace {

// Takes the first `room` bytes, then refuses every write with ENOSPC.
class FullAfter : public std::streambuf {
 public:
  explicit FullAfter(size_t room) : room_(room) {}
  std::string taken;

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const size_t fits = std::min(static_cast<size_t>(n), room_ - taken.size());
    taken.append(s, fits);
    if (fits < static_cast<size_t>(n)) errno = ENOSPC;
    return static_cast<std::streamsize>(fits);
  }
  int overflow(int c) override {
    if (taken.size() >= room_) {
      errno = ENOSPC;
      return traits_type::eof();
    }
    taken.push_back(static_cast<char>(c));
    return c;
  }

 private:
  size_t room_;
};

// Pieces of every size, from a byte to several chunks, each of its own bytes.
std::string WriteRandomPieces(WriteBehind& writer, size_t total) {
  std::mt19937 random(7);
  std::string given;
  while (given.size() < total) {
    const size_t size = random() % 4 == 0 ? random() % (3 * WriteBehind::kChunkBytes) : random() % 300;
    std::string piece(size, static_cast<char>('a' + given.size() % 26));
    if (random() % 2 == 0) {
      writer.Write(piece);
    } else {
      char* at = writer.Reserve(piece.size() + 100);
      std::memcpy(at, piece.data(), piece.size());
      writer.Commit(at + piece.size());
    }
    given += piece;
  }
  return given;
}

TEST(WriteBehindTest, EveryByteArrivesInOrder) {
  std::ostringstream out;
  WriteBehind writer(out);
  std::string given = WriteRandomPieces(writer, 12 * WriteBehind::kChunkBytes);
  // Chunks still queued for the thread go before those written here.
  writer.WriteOnCallersThread();
  given += WriteRandomPieces(writer, 6 * WriteBehind::kChunkBytes);
  ASSERT_TRUE(writer.Flush());
  EXPECT_TRUE(out.str() == given) << out.str().size() << " bytes of " << given.size();
  // The stream is the caller's after a flush, and the writer goes on after it.
  out << "|";
  writer.Write("tail");
  ASSERT_TRUE(writer.Flush());
  EXPECT_EQ(out.str().substr(given.size()), "|tail");
}

TEST(WriteBehindTest, AFailedWriteIsKeptWithItsError) {
  for (const bool on_callers_thread : {false, true}) {
    for (const size_t room : {size_t{0}, size_t{100}, WriteBehind::kChunkBytes + 1, 5 * WriteBehind::kChunkBytes}) {
      SCOPED_TRACE(testing::Message() << room << (on_callers_thread ? " on the caller's thread" : ""));
      FullAfter full(room);
      std::ostream out(&full);
      WriteBehind writer(out);
      if (on_callers_thread) writer.WriteOnCallersThread();
      const std::string given = WriteRandomPieces(writer, 10 * WriteBehind::kChunkBytes);
      EXPECT_FALSE(writer.Flush());
      EXPECT_TRUE(writer.failed());
      EXPECT_EQ(writer.error(), ENOSPC);
      // What did arrive is the start of what was given, nothing after a gap.
      EXPECT_TRUE(given.compare(0, full.taken.size(), full.taken) == 0);
      EXPECT_LE(full.taken.size(), room);
    }
  }
}

TEST(WriteBehindTest, DropWritesNothingMoreAndResetStartsAfresh) {
  std::ostringstream out;
  WriteBehind writer(out);
  writer.Write(std::string(WriteBehind::kChunkBytes - 1, 'x'));
  writer.Drop();
  EXPECT_TRUE(writer.Flush());
  EXPECT_EQ(out.str(), "");

  FullAfter full(0);
  std::ostream refusing(&full);
  WriteBehind failing(refusing);
  failing.Write("lost");
  EXPECT_FALSE(failing.Flush());
  refusing.clear();
  full.taken.clear();
  // A stream opened afresh: the old failure is forgotten.
  failing.Reset();
  EXPECT_FALSE(failing.failed());
}

}  // namespace
}  // namespace mendora
