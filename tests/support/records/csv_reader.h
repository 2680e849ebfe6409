// Reads a bench recording (tavik watch --csv, the console's Trends CSV) the
// way a script would: the column names, the rows, cells by column name, and
// the start from the first row's started_utc. Quoted cells may hold commas
// and doubled quotes.
#pragma once

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tavik::test {

inline std::vector<std::string> csv_cells(const std::string& line) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char ch = line[i];
    if (quoted && ch == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      out.back() += '"';
      ++i;
    } else if (ch == '"') {
      quoted = !quoted;
    } else if (ch == ',' && !quoted) {
      out.emplace_back();
    } else {
      out.back() += ch;
    }
  }
  return out;
}

struct CsvRecording {
  std::string started;  // the first row's started_utc; empty when there is none
  std::vector<std::string> names;
  std::map<std::string, std::size_t> column;
  std::vector<std::vector<std::string>> rows;
  const std::string& cell(std::size_t row, const std::string& name) const {
    return rows.at(row).at(column.at(name));
  }
};

inline CsvRecording read_csv(std::istream& in) {
  CsvRecording r;
  std::string line;
  std::getline(in, line);
  r.names = csv_cells(line);
  for (std::size_t i = 0; i < r.names.size(); ++i) r.column[r.names[i]] = i;
  while (std::getline(in, line)) r.rows.push_back(csv_cells(line));
  if (!r.rows.empty() && r.column.count("started_utc")) r.started = r.cell(0, "started_utc");
  return r;
}

inline CsvRecording read_csv(const std::string& text) {
  std::istringstream in(text);
  return read_csv(in);
}

}  // namespace tavik::test
