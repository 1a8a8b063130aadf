#include "platform/chunk_sums.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <random>
#include <span>
#include <vector>

namespace palvimo {
namespace {

constexpr std::size_t Chunk = Chunk_Sums::Chunk_Size;

std::vector<std::byte> Random_Bytes(std::size_t size) {
  std::mt19937 generator(7);
  std::vector<std::byte> bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::byte>(generator());
  return bytes;
}

// Sums `bytes` added in pieces of the given sizes, in turn, to the end.
void Add_In_Pieces(Chunk_Sums& sums, std::span<const std::byte> bytes, const std::vector<std::size_t>& pieces) {
  for (std::size_t turn = 0; !bytes.empty(); ++turn) {
    const std::size_t size = std::min(bytes.size(), pieces[turn % pieces.size()]);
    sums.Add(bytes.first(size));
    bytes = bytes.subspan(size);
  }
  sums.Finish();
}

// However reads split the stream (short reads are what a file system may
// give), the sums are the same; one changed byte, or a stream cut short,
// is found at the start of its chunk.
TEST(Chunk_Sums_Test, SumsFollowTheChunksNotTheReads) {
  std::vector<std::byte> bytes = Random_Bytes(3 * Chunk + Chunk / 2);
  Chunk_Sums whole;
  Add_In_Pieces(whole, bytes, {Chunk});
  Chunk_Sums uneven;
  Add_In_Pieces(uneven, bytes, {7, Chunk - 3, 4096, Chunk + 1});
  EXPECT_EQ(uneven.Size(), bytes.size());
  EXPECT_EQ(uneven.First_Difference(whole), std::nullopt);

  bytes[2 * Chunk + 5] ^= std::byte{1};
  Chunk_Sums changed;
  Add_In_Pieces(changed, bytes, {Chunk / 3});
  EXPECT_EQ(changed.First_Difference(whole), 2 * Chunk);
  EXPECT_EQ(changed.First_Difference(whole, 3 * Chunk), std::nullopt);

  Chunk_Sums cut_in_a_chunk;
  Add_In_Pieces(cut_in_a_chunk, std::span(bytes).first(Chunk + 10), {Chunk});
  EXPECT_EQ(cut_in_a_chunk.First_Difference(whole), Chunk);
}

}  // namespace
}  // namespace palvimo
