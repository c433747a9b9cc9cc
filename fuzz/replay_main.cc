// Replays fuzz inputs without libFuzzer, so that every build (sanitizers or
// none) runs them as ordinary tests: each file named on the command line,
// and each file under each directory named there, goes once through the
// target's LLVMFuzzerTestOneInput, in name order. A failing input stops the
// run; its name is the last one printed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

// Dot files (editor droppings, .gitkeep) and README files are no inputs.
bool IsInput(const fs::path& p) {
  const std::string name = p.filename().string();
  return !name.empty() && name[0] != '.' && name.rfind("README", 0) != 0;
}

bool ReadFile(const fs::path& p, std::vector<uint8_t>* out) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg = argv[i];
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
      for (auto it = fs::recursive_directory_iterator(arg, ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec) && IsInput(it->path())) inputs.push_back(it->path());
      }
    } else if (fs::is_regular_file(arg, ec)) {
      inputs.push_back(arg);
    } else {
      // A target without kept crash inputs has no regression directory yet.
      std::printf("skip %s: no such file or directory\n", argv[i]);
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 2;
  }
  std::sort(inputs.begin(), inputs.end());

  std::vector<uint8_t> data;
  for (const fs::path& p : inputs) {
    if (!ReadFile(p, &data)) {
      std::fprintf(stderr, "cannot read %s\n", p.c_str());
      return 2;
    }
    std::printf("run  %s (%zu bytes)\n", p.c_str(), data.size());
    std::fflush(stdout);
    // An empty vector's data() may be null; libFuzzer never passes null.
    static const uint8_t kNothing = 0;
    LLVMFuzzerTestOneInput(data.empty() ? &kNothing : data.data(), data.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
