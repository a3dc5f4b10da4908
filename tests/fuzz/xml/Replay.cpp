// Runs QeltFuzzXml over the files (or the files in the folders) it is given:
// replays a corpus or a crash without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

int QeltFuzzXml(const uint8_t* data, size_t size);

namespace {

void Run(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  QeltFuzzXml(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path p = argv[i];
    if (std::filesystem::is_directory(p)) {
      for (const auto& entry : std::filesystem::directory_iterator(p))
        if (entry.is_regular_file()) Run(entry.path()), ++count;
    } else {
      Run(p), ++count;
    }
  }
  std::printf("%zu inputs replayed\n", count);
  return 0;
}
