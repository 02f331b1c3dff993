// A main for the fuzz targets outside libFuzzer: runs LLVMFuzzerTestOneInput once for
// every file named on the command line (folders are read file by file), so the seed
// corpus and the kept regression inputs run as an ordinary test in every build.
#include <dirent.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool ReadAll(const std::string& path, std::vector<std::uint8_t>* bytes) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::uint8_t chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
  std::fclose(f);
  return true;
}

int RunPath(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;  // a folder without inputs yet
  if (S_ISDIR(st.st_mode)) {
    int count = 0;
    if (DIR* dir = opendir(path.c_str())) {
      while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        count += RunPath(path + "/" + entry->d_name);
      }
      closedir(dir);
    }
    return count;
  }
  std::vector<std::uint8_t> bytes;
  if (!ReadAll(path, &bytes)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 0;
  }
  std::fprintf(stderr, "running %s (%zu bytes)\n", path.c_str(), bytes.size());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) count += RunPath(argv[i]);
  std::printf("%d inputs ran clean\n", count);
  return 0;
}
