// What the page knows of the boards and the bridge: the devices (their names
// on the wire and the console's), the range sensors' places on the rim, and
// the page's timings. Shared by every other script of the page.
"use strict";

const TAVIK = Object.freeze({
  devices: [
    ["drive", "Drive"], ["sensors", "Sensors"], ["lrf", "LRF"], ["sbc", "SBC"],
    ["sg", "SG"], ["lcd", "LCD"], ["servo", "Servo"],
  ],
  // Counter-clockwise from straight ahead, in degrees, by range number.
  rangePlaces: [
    ["front", 0], ["left_40", 40], ["right_40", -40], ["left_90", 90],
    ["right_90", -90], ["left_150", 150], ["right_150", -150],
  ],
  maxDistanceCodes: [-1, 0, 1, 2, 3, 4, 5, 6, 7, 8],
  powerUpMaxDistanceCode: 8,   // the board starts at its last code
  maxDistanceCm: (code) => 100 + 50 * (code + 1),
  staleAfterMs: 2000,          // a robot's readings older than this are marked
  driveEveryMs: 100,           // a held drive is published at 10 Hz
  driveExpirySeconds: 1,       // the broker drops a drive not delivered by then
  answerWithinMs: 3000,        // a command not answered by then is shown as unanswered
  historyMs: 10 * 60 * 1000,   // the plots' and the CSV's window
  drawEveryMs: 500,            // the page draws what came (and the open robot's plots) this often
  defaultPrefix: "tavik",
});
