// The bytes a request must leave as, written out independently of the
// libraries' frame codec, and those the simulator says a board received:
// for the tests that compare what a board received and cannot link the
// simulator's frame builder (Windows, the virtual machine).
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace tavik::test {

// STX, the command text, ETX and the XOR of everything after STX.
inline std::vector<std::uint8_t> framed(const std::string& command) {
  std::vector<std::uint8_t> out{0x02};
  std::uint8_t bcc = 0x03;
  for (char c : command) {
    out.push_back(static_cast<std::uint8_t>(c));
    bcc = static_cast<std::uint8_t>(bcc ^ static_cast<std::uint8_t>(c));
  }
  out.push_back(0x03);
  out.push_back(bcc);
  return out;
}

// The bytes of tavik-sim's answer to "received BOARD" ("ok: 02 53 ...").
inline std::vector<std::uint8_t> received_bytes(const std::string& answer) {
  std::istringstream words(answer);
  std::string word;
  words >> word;  // "ok:"
  std::vector<std::uint8_t> bytes;
  while (words >> word) bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
  return bytes;
}

}  // namespace tavik::test
