#include "tests/windows/sim_control.h"

#include <windows.h>

#include <chrono>
#include <sstream>

namespace tavik::test {

SimControl::SimControl() : port_(serial_port_create(kControlPort, 200)) {}

SimControl::~SimControl() { serial_port_destroy(port_); }

std::string SimControl::run(const std::string& command) {
  if (port_ == nullptr) return "";
  serial_port_purge(port_);
  const std::string line = command + "\n";
  serial_port_write(port_, reinterpret_cast<const std::uint8_t*>(line.data()), static_cast<int>(line.size()));
  std::string answer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (std::chrono::steady_clock::now() < deadline) {
    std::uint8_t chunk[256];
    const int n = serial_port_read(port_, chunk, sizeof chunk);
    if (n < 0) break;
    answer.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(n));
    if (!answer.empty() && answer.back() == '\n') {
      answer.pop_back();
      return answer;
    }
  }
  return "";
}

std::vector<std::uint8_t> SimControl::received(const std::string& board) {
  std::istringstream answer(run("received " + board));
  std::string word;
  answer >> word;  // "ok:"
  std::vector<std::uint8_t> bytes;
  while (answer >> word) bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
  return bytes;
}

bool under_wine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace tavik::test
