// Runs a fuzz target without libFuzzer: every file under the seed folder given
// on the command line, then a fixed number of inputs made by mutating the seeds
// and of plain random bytes. Deterministic, so a failure reproduces.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {
void RunOne(const std::vector<std::uint8_t>& input) {
  // A copy of exactly the input's size, so reading past it is caught by ASan.
  std::vector<std::uint8_t> exact(input);
  LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<std::vector<std::uint8_t>> seeds;
  if (argc > 1 && std::filesystem::is_directory(argv[1])) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
      std::ifstream in(entry.path(), std::ios::binary);
      seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  seeds.emplace_back();
  for (const auto& seed : seeds) RunOne(seed);

  std::mt19937 random(12345);
  const int rounds = 20000;
  for (int i = 0; i < rounds; ++i) {
    std::vector<std::uint8_t> input = seeds[random() % seeds.size()];
    if (input.empty() || random() % 8 == 0) {
      input.resize(random() % 256);
      for (auto& b : input) b = static_cast<std::uint8_t>(random());
    }
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits && !input.empty(); ++e) {
      const std::size_t at = random() % input.size();
      switch (random() % 4) {
        case 0: input[at] = static_cast<std::uint8_t>(random()); break;
        case 1: input[at] ^= static_cast<std::uint8_t>(1u << (random() % 8)); break;
        case 2: input.resize(at); break;
        default: input.insert(input.begin() + static_cast<long>(at), static_cast<std::uint8_t>(random())); break;
      }
    }
    RunOne(input);
  }
  std::printf("%zu seeds, %d generated inputs: no fault\n", seeds.size(), rounds);
  return 0;
}
