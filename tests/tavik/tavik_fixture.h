// Both simulated boards published as COM7 and COM8 in a private directory
// that TAVIK_COM_DIR points at, so the tool finds them under its default
// port names, as it would find real boards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "sim/simulator.h"
#include "tavik_process.h"

namespace tavik::test {

using Json = nlohmann::json;

inline std::string make_com_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavik-tool-XXXXXX").string();
  return ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
}

class TavikTool : public ::testing::Test {
 protected:
  TavikTool() : com_dir_(make_com_dir()), sim_(sim::SimulatorOptions{com_dir_}) {
    ::setenv("TAVIK_COM_DIR", com_dir_.c_str(), 1);
  }
  ~TavikTool() override {
    std::error_code ignored;
    std::filesystem::remove_all(com_dir_, ignored);
  }

  // The tool's standard output as JSON (the last line when there are several).
  static Json last_json(const std::string& text) {
    const auto end = text.find_last_not_of('\n');
    const auto start = text.rfind('\n', end);
    return Json::parse(text.substr(start == std::string::npos ? 0 : start + 1,
                                   end + 1 - (start == std::string::npos ? 0 : start + 1)));
  }

  std::string com_dir_;
  sim::Simulator sim_;
};

}  // namespace tavik::test
