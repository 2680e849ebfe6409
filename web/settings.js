// What the page knows of the boards and the bridge, from the board facts and
// the bridge's topic table the build writes (facts.js, topics.js): the
// devices (their names on the wire and their labels), the range sensors'
// places on the rim, the maximum distances, the fastest drive, the topics;
// and the page's own timings. Shared by every other script of the page.
"use strict";

const TAVIK = Object.freeze({
  devices: TAVIK_FACTS.devices.map((d) => [d.name, d.label]),
  // Counter-clockwise from straight ahead, in degrees, by range number.
  rangePlaces: TAVIK_FACTS.range_sensors.map((s) => [s.name, s.angle_deg]),
  // By the code cmd/max_distance takes (the libraries' argument).
  maxDistanceCodes: TAVIK_FACTS.max_distances.map((d) => d.argument),
  powerUpMaxDistanceCode: TAVIK_FACTS.max_distances.find((d) => d.code === TAVIK_FACTS.power_up_max_distance_code).argument,
  maxDistanceCm: (argument) => TAVIK_FACTS.max_distances.find((d) => d.argument === argument).cm,
  fastestMmS: TAVIK_FACTS.parameters.find((p) => p.name === "max-velocity").max,
  driveEveryMs: TAVIK_FACTS.velocity_period_ms,  // a held drive is published as often as tavik sends it
  // The topics the bridge publishes, and the commands it takes (cmd/NAME).
  published: TAVIK_TOPICS.filter((t) => t.direction === "published"),
  commands: TAVIK_TOPICS.filter((t) => t.direction === "subscribed").map((t) => t.topic.replace(/^cmd\//, "")),
  // What the overview follows of every robot; the rest of `published` only
  // of the opened one, but what the page draws nothing of (the track is left
  // to the viewers and ROS).
  overviewTopics: ["state", "summary", "cmd/result"],
  unshownTopics: ["odom"],
  staleAfterMs: 2000,          // the opened robot's readings older than this are marked
  summaryStaleAfterMs: 15000,  // and any robot's summary (its bridge's heartbeat is 10 s)
  lowBatteryV: 11.5,           // below it a robot sorts among those needing attention (tavik check's limit)
  driveExpirySeconds: 1,       // the broker drops a drive not delivered by then
  answerWithinMs: 3000,        // a command not answered by then is shown as unanswered
  historyMs: 10 * 60 * 1000,   // the plots' and the CSV's window
  // The page draws readings, summaries, the stale marks and the opened
  // robot's plots this often (each frame costs the browser far more than
  // the messages); a robot's state and the broker's link at the next frame.
  drawEveryMs: 1000,
  defaultPrefix: "tavik",
});
