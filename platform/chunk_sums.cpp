#include "platform/chunk_sums.h"

#include <xxhash.h>

#include <algorithm>
#include <new>

namespace palvimo {

struct Chunk_Sums::State {
  State() : stream(XXH3_createState()) {
    if (!stream) throw std::bad_alloc();
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() { XXH3_freeState(stream); }

  XXH3_state_t* stream;
};

Chunk_Sums::Chunk_Sums() : state_(std::make_unique<State>()) { XXH3_64bits_reset(state_->stream); }

Chunk_Sums::~Chunk_Sums() = default;

void Chunk_Sums::Add(std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    const std::size_t taken = std::min(bytes.size(), Chunk_Size - in_chunk_);
    XXH3_64bits_update(state_->stream, bytes.data(), taken);
    in_chunk_ += taken;
    size_ += taken;
    bytes = bytes.subspan(taken);
    if (in_chunk_ == Chunk_Size) Close_Chunk();
  }
}

void Chunk_Sums::Finish() {
  if (in_chunk_ > 0) Close_Chunk();
}

void Chunk_Sums::Close_Chunk() {
  sums_.push_back(XXH3_64bits_digest(state_->stream));
  XXH3_64bits_reset(state_->stream);
  in_chunk_ = 0;
}

std::optional<std::uint64_t> Chunk_Sums::First_Difference(const Chunk_Sums& other, std::uint64_t from) const {
  const auto first = static_cast<std::size_t>(from / Chunk_Size);
  const std::size_t both = std::min(sums_.size(), other.sums_.size());
  for (std::size_t chunk = first; chunk < both; ++chunk) {
    if (sums_[chunk] != other.sums_[chunk]) return chunk * std::uint64_t{Chunk_Size};
  }
  return std::nullopt;
}

std::uint64_t Sum_Of_Text(std::string_view text) { return XXH3_64bits(text.data(), text.size()); }

}  // namespace palvimo
