#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace palvimo {

// A fingerprint of a stream of bytes, taken as it passes: one XXH3-64 sum
// for each whole chunk of Chunk_Size bytes and one for the tail. It costs 8
// bytes per chunk, and needs no second read of what it sums.
class Chunk_Sums {
 public:
  static constexpr std::size_t Chunk_Size = std::size_t{1} << 20;

  Chunk_Sums();
  ~Chunk_Sums();
  Chunk_Sums(const Chunk_Sums&) = delete;
  Chunk_Sums& operator=(const Chunk_Sums&) = delete;

  // Adds the next bytes of the stream, however they fall across chunks.
  void Add(std::span<const std::byte> bytes);
  // Sums the tail; nothing can be added after.
  void Finish();

  // The bytes added so far.
  std::uint64_t Size() const { return size_; }
  // The sums of the chunks closed so far, the tail's last once finished.
  const std::vector<std::uint64_t>& Sums() const { return sums_; }
  // The offset of the first chunk, from the one at offset `from` on, whose
  // sum differs from the same chunk's in `other`. Only chunks that both have
  // summed are compared: one that only one has summed is no difference yet.
  std::optional<std::uint64_t> First_Difference(const Chunk_Sums& other, std::uint64_t from = 0) const;

 private:
  struct State;
  void Close_Chunk();

  std::unique_ptr<State> state_;
  std::vector<std::uint64_t> sums_;
  std::uint64_t size_ = 0;
  std::size_t in_chunk_ = 0;  // bytes of the open chunk
};

// The XXH3-64 sum of `text`, for a name that stands for it.
std::uint64_t Sum_Of_Text(std::string_view text);

}  // namespace palvimo
