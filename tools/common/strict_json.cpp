#include "strict_json.h"

#include <set>
#include <vector>

namespace tavik::cli {
namespace {

// Where the reader is: one frame per open object or array.
struct Frame {
  bool array = false;
  std::string key;             // an object's: the last key read
  std::size_t done = 0;        // an array's: the elements read
  std::set<std::string> keys;  // an object's: the keys read
};

// The entry being read, "parameters.max-velocity" or "ranges[2]"; "" at the top.
std::string entry_of(const std::vector<Frame>& frames) {
  std::string path;
  for (const Frame& f : frames) {
    if (f.array)
      path += "[" + std::to_string(f.done) + "]";
    else
      path += (path.empty() ? "" : ".") + f.key;
  }
  return path;
}

struct DuplicateKey {
  std::string entry;
};

// The token nlohmann names in "number overflow parsing '1e400'".
std::string overflowing_number(const std::string& what) {
  const auto start = what.find('\'');
  const auto end = what.rfind('\'');
  return start != std::string::npos && end > start ? what.substr(start + 1, end - start - 1) : "a number";
}

}  // namespace

StrictJson parse_strict_json(const std::string& text) {
  if (const auto nul = text.find('\0'); nul != std::string::npos)
    return {nullptr, "not JSON: a NUL byte at offset " + std::to_string(nul)};
  std::vector<Frame> frames;
  const auto element_done = [&] {
    if (!frames.empty() && frames.back().array) ++frames.back().done;
  };
  const Json::parser_callback_t track = [&](int, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
      case Json::parse_event_t::array_start:
        frames.push_back(Frame{event == Json::parse_event_t::array_start, "", 0, {}});
        break;
      case Json::parse_event_t::key: {
        Frame& f = frames.back();
        f.key = parsed.get<std::string>();
        if (!f.keys.insert(f.key).second) throw DuplicateKey{entry_of(frames)};
        break;
      }
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end:
        frames.pop_back();
        element_done();
        break;
      case Json::parse_event_t::value:
        element_done();
        break;
    }
    return true;
  };
  try {
    return {Json::parse(text, track), ""};
  } catch (const DuplicateKey& d) {
    return {nullptr, "'" + d.entry + "' is given twice"};
  } catch (const Json::out_of_range& e) {
    // A number beyond a double's range; the reader stopped at it.
    const std::string entry = entry_of(frames);
    return {nullptr, (entry.empty() ? "" : "'" + entry + "': ") + "the number " +
                         overflowing_number(e.what()) + " is out of range"};
  } catch (const Json::exception& e) {
    return {nullptr, std::string("not JSON: ") + e.what()};
  }
}

}  // namespace tavik::cli
