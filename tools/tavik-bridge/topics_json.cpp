// Writes the bridge's topic table (topic_table.h) as JSON to the file its
// argument names: topics.json, for the fleet page and the tests.
#include <fstream>
#include <iostream>

#include "topic_table.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: tavik-bridge-topics FILE\n";
    return 2;
  }
  std::ofstream out(argv[1]);
  out << tavik::cli::topics_json().dump(2) << '\n';
  out.close();
  if (!out) {
    std::cerr << "tavik-bridge-topics: cannot write " << argv[1] << '\n';
    return 1;
  }
  return 0;
}
