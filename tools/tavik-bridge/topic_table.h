// Every topic of the bridge under PREFIX/NAME/, once: whether the bridge
// publishes it or takes it (a command), retained or not, its QoS and the
// JSON Schema of its payload. The bridge publishes and subscribes by it;
// the build writes it as topics.json (topics_json.cpp), which the fleet
// page takes its subscriptions and commands from and the tests hold the
// README's table, the payloads and the page's dispatch against.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "output.h"

namespace tavik::cli {

struct TopicRow {
  std::string topic;  // "state", "cmd/drive"
  bool published;     // by the bridge; else taken by it, a command
  bool retained;
  int qos;
  Json schema;  // JSON Schema, draft 2020-12
};

// The published topics first, then the commands in kCommandNames' order.
const std::vector<TopicRow>& topic_table();

// The row of a topic; a name not in the table is the bridge's own error.
const TopicRow& topic_row(std::string_view topic);

// What the bridge subscribes to: every cmd/ topic, so that one that names
// no command is answered too.
inline constexpr const char* kCommandFilter = "cmd/#";

// The table as the build writes it: each row with its direction
// ("published" or "subscribed"), retained, qos, fields and schema.
Json topics_json();

}  // namespace tavik::cli
