// What the ports file costs an open (a COM name looked up through
// mapped_port, as every open does): with the file unchanged since the last
// open, and with the file changed before each open so that it is read and
// parsed again. range(0) is the number of mappings, range(1) the number of
// comment lines after them; a file over 64 KiB is refused unread.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "serial/names/port_map.h"

namespace {

class PortsFile {
 public:
  PortsFile(long mappings, long comments) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavik-bench-XXXXXX").string();
    home_ = ::mkdtemp(pattern.data());
    std::filesystem::create_directories(home_ + "/.config/tavik");
    std::ofstream out(file());
    for (long n = 1; n <= mappings; ++n) out << "COM" << n << "=tcp://10.0.0.1:" << n << "\n";
    for (long n = 0; n < comments; ++n) out << "#\n";
    ::setenv("HOME", home_.c_str(), 1);
    ::unsetenv("TAVIK_COM_DIR");
  }
  ~PortsFile() { std::filesystem::remove_all(home_); }
  std::string file() const { return home_ + "/.config/tavik/ports"; }
  // A new modification time: the next open reads the file again.
  void touch() {
    const timespec times[2] = {{++seconds_, 0}, {seconds_, 0}};
    ::utimensat(AT_FDCWD, file().c_str(), times, 0);
  }

 private:
  std::string home_;
  time_t seconds_ = 1000000000;
};

void BM_OpenUnchanged(benchmark::State& state) {
  PortsFile ports(state.range(0), state.range(1));
  for (auto _ : state) benchmark::DoNotOptimize(tavik::mapped_port("COM1"));
}
BENCHMARK(BM_OpenUnchanged)->Args({1, 0})->Args({2000, 0})->Args({0, 20000})->Args({20000, 0});

void BM_OpenAfterChange(benchmark::State& state) {
  PortsFile ports(state.range(0), state.range(1));
  for (auto _ : state) {
    ports.touch();
    benchmark::DoNotOptimize(tavik::mapped_port("COM1"));
  }
}
BENCHMARK(BM_OpenAfterChange)->Args({1, 0})->Args({2000, 0})->Args({0, 20000})->Args({20000, 0});

}  // namespace

BENCHMARK_MAIN();
