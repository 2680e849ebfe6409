#include "topic_table.h"

#include <iterator>
#include <stdexcept>

#include "facts/drvb_facts.h"
#include "messages.h"
#include "odometry_payloads.h"
#include "summary.h"
#include "telemetry_schemas.h"

namespace tavik::cli {
namespace {

Json text(const char* description) { return {{"type", "string"}, {"description", description}}; }

Json stamp() { return {{"type", "string"}, {"format", "date-time"}}; }

Json state_schema() {
  return object_schema(
      "State",
      {{"stamp", stamp()},
       {"state", {{"enum", {"online", "offline"}}}},
       {"version", text("the bridge's version")},
       {"psb", text("the power board's port")},
       {"drvb", text("the drive board's port")},
       {"drive_allowed", {{"type", "boolean"}, {"description", "started with --allow-drive"}}},
       {"servo", {{"type", "boolean"}, {"description", "as the drive board last took it"}}},
       {"reason", text("why it is offline")}},
      {"stamp", "state"});
}

Json parameters_schema() {
  Json properties{{"stamp", stamp()}};
  Json required{"stamp"};
  for (std::size_t id = 0; id < drvb::kParameters.size(); ++id) {
    properties[parameter_key(id)] = {{"type", "integer"}, {"description", drvb::kParameters[id].label}};
    required.push_back(parameter_key(id));
  }
  return object_schema("Parameters", std::move(properties), std::move(required));
}

Json result_schema() {
  return object_schema("Result",
                       {{"stamp", stamp()},
                        {"command", text("the command's topic after cmd/")},
                        {"ok", {{"type", "boolean"}, {"description", "the board answered and took it"}}},
                        {"reason", text("ok, or why not")},
                        {"message", text("what went wrong, in words")},
                        {"id", {{"type", {"string", "integer"}}, {"description", "the command's own"}}}},
                       {"stamp", "command", "ok", "reason"});
}

std::vector<TopicRow> make_table() {
  std::vector<TopicRow> rows{{"state", true, true, 1, state_schema()},
                             {"summary", true, true, 1, summary_schema()}};
  for (const TelemetryChannel& channel : telemetry_channels())
    rows.push_back({channel.topic, true, false, 0, channel.schema});
  rows.push_back({"odom", true, false, 0, odom_schema()});
  rows.push_back({"parameters", true, true, 1, parameters_schema()});
  rows.push_back({"cmd/result", true, false, 1, result_schema()});
  for (std::size_t kind = 0; kind < std::size(kCommandNames); ++kind)
    rows.push_back({std::string("cmd/") + kCommandNames[kind], false, false, 1, command_schema(kind)});
  return rows;
}

}  // namespace

const std::vector<TopicRow>& topic_table() {
  static const std::vector<TopicRow> table = make_table();
  return table;
}

const TopicRow& topic_row(std::string_view topic) {
  for (const TopicRow& row : topic_table())
    if (row.topic == topic) return row;
  throw std::logic_error("no topic " + std::string(topic) + " in the bridge's table");
}

Json topics_json() {
  Json rows = Json::array();
  for (const TopicRow& row : topic_table()) {
    Json fields = Json::array();
    for (const auto& [field, schema] : row.schema["properties"].items()) fields.push_back(field);
    rows.push_back({{"topic", row.topic},
                    {"direction", row.published ? "published" : "subscribed"},
                    {"retained", row.retained},
                    {"qos", row.qos},
                    {"fields", fields},
                    {"schema", row.schema}});
  }
  return rows;
}

}  // namespace tavik::cli
