#include "bench_data.h"

#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <iostream>
#include <string>

#include "open_file.h"

namespace palvimo::bench {

namespace {

namespace fs = std::filesystem;

// splitmix64: fast, and its output does not compress.
class Random_Words {
 public:
  explicit Random_Words(std::uint64_t seed) : state_(seed) {}

  void Fill(std::vector<std::uint64_t>& words) {
    for (std::uint64_t& word : words) {
      std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
      word = z ^ (z >> 31);
    }
  }

 private:
  std::uint64_t state_;
};

fs::path Numbered(const fs::path& folder, const char* stem, int number) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%06d", stem, number);
  return folder / name;
}

void Write_Random_File(const fs::path& path, std::size_t size, Random_Words& random) {
  constexpr std::size_t chunk_bytes = 1 << 20;
  std::vector<std::uint64_t> chunk(chunk_bytes / sizeof(std::uint64_t));
  Open_File file(path, O_WRONLY | O_CREAT | O_TRUNC);
  for (std::size_t done = 0; done < size; done += chunk_bytes) {
    random.Fill(chunk);
    file.Write_All(chunk.data(), std::min(chunk_bytes, size - done));
  }
  file.Flush();
}

int Count_Entries(const fs::path& folder) {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
  return count;
}

}  // namespace

std::vector<fs::path> Ensure_Random_Files(const fs::path& folder, int count, std::size_t size) {
  fs::create_directories(folder);
  Random_Words random(0x5EED);
  std::vector<fs::path> files;
  for (int number = 0; number < count; ++number) {
    const fs::path path = Numbered(folder, "random-", number);
    std::error_code missing;
    if (fs::file_size(path, missing) != size) {
      std::clog << "making " << path.string() << '\n';
      Write_Random_File(path, size, random);
    }
    files.push_back(path);
  }
  return files;
}

void Ensure_Empty_Files(const fs::path& folder, int count) {
  if (fs::exists(folder) && Count_Entries(folder) == count) return;
  std::clog << "making " << count << " empty files in " << folder.string() << '\n';
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (int number = 0; number < count; ++number) {
    const Open_File created(Numbered(folder, "empty-", number), O_WRONLY | O_CREAT | O_EXCL);
  }
}

}  // namespace palvimo::bench
