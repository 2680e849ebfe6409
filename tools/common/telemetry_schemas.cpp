#include "telemetry_schemas.h"

namespace tavik::cli {
namespace {

// Every payload has its UTC stamp and, when reads of its poll failed, their
// reason; a reading not taken is left out.
Json payload_schema(const char* title, Json properties) {
  properties["stamp"] = {{"type", "string"}, {"format", "date-time"}};
  properties["reason"] = {{"type", "string"}, {"description", "why a reading of this poll is missing"}};
  return object_schema(title, std::move(properties), {"stamp"});
}

}  // namespace

Json number_schema(const char* unit) { return {{"type", "number"}, {"description", unit}}; }

Json pair_schema(const char* type) {
  return {{"type", "object"}, {"properties", {{"left", {{"type", type}}}, {"right", {{"type", type}}}}}};
}

Json object_schema(const char* title, Json properties, Json required) {
  return {{"$schema", "https://json-schema.org/draft/2020-12/schema"},
          {"title", title},
          {"type", "object"},
          {"required", std::move(required)},
          {"properties", std::move(properties)},
          {"additionalProperties", false}};
}

const std::vector<TelemetryChannel>& telemetry_channels() {
  static const std::vector<TelemetryChannel> channels{
      {"battery", "/psb/battery", "tavik.Battery",
       payload_schema("Battery", {{"voltage", number_schema("V")},
                                  {"current", number_schema("A")},
                                  {"devices",
                                   {{"type", "object"},
                                    {"additionalProperties", {{"type", "boolean"}}},
                                    {"description", "each switched device, on or off"}}}})},
      {"ranges", "/psb/ranges", "tavik.Ranges",
       payload_schema("Ranges", {{"ranges_m",
                                  {{"type", "array"},
                                   {"items", {{"type", "number"}}},
                                   {"description", "each ultrasonic range in m, in the order of names"}}},
                                 {"names", {{"type", "array"}, {"items", {{"type", "string"}}}}}})},
      {"wheels", "/drvb/wheels", "tavik.Wheels",
       payload_schema("Wheels", {{"encoders", pair_schema("integer")},
                                 {"speed_mm_s", pair_schema("number")},
                                 {"bumpers", pair_schema("boolean")},
                                 {"emergency_stop", {{"type", "boolean"}}},
                                 {"wheel_errors", pair_schema("integer")}})},
      {"diagnostics", "/diagnostics", "tavik.Diagnostics",
       payload_schema("Diagnostics", {{"boards",
                                       {{"type", "array"},
                                        {"items",
                                         {{"type", "object"},
                                          {"required", {"name", "level", "message"}},
                                          {"properties",
                                           {{"name", {{"enum", {"psb", "drvb"}}}},
                                            {"level", {{"enum", kDiagnosticsLevels}}},
                                            {"message", {{"type", "string"}}},
                                            {"values",
                                             {{"type", "object"},
                                              {"properties",
                                               {{"round_trip_ms", {{"type", {"number", "null"}}}},
                                                {"exchanges", {{"type", "integer"}}},
                                                {"failures", {{"type", "integer"}}},
                                                {"reopened", {{"type", "integer"}}},
                                                {"late_replies", {{"type", "integer"}}}}}}}}}}}}}})},
  };
  return channels;
}

}  // namespace tavik::cli
