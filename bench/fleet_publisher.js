// Many simulated robots on one broker connection, for the fleet page's
// bench and tests: each robot's retained state and summary and its
// telemetry at the bridge's rates (battery, ranges, wheels and odom at 5 Hz,
// diagnostics at 1 Hz, the summary on a change at most once a second and
// every 10 s, the pose riding along; a third of them move), with
// payloads of the bridge's topic table. Some can be
// marked faulted (a drive board not answering) or offline (a bridge gone:
// its state offline, nothing published).
//
//   NODE_PATH=... node bench/fleet_publisher.js mqtt://127.0.0.1:PORT ROBOTS [FAULTED] [OFFLINE]
//
// as the user `fleet-publisher` (PUBLISHER below); it runs until Ctrl-C.
"use strict";

const RATE_HZ = 5;
const SUMMARY_HEARTBEAT_MS = 10000;
const DEVICES = ["drive", "sensors", "lrf", "sbc", "sg", "lcd", "servo"];
const RANGE_NAMES = ["front", "left_40", "left_90", "back_left", "back_right", "right_90", "right_40"];

const robotName = (i) => "robot" + String(i + 1).padStart(4, "0");

// One robot's payloads at poll `tick` (RATE_HZ a second), stamped `stamp`.
class SimulatedRobot {
  constructor(name, { faulted = false, offline = false, moving = false } = {}) {
    Object.assign(this, { name, faulted, offline, moving });
    this.volts = 12.0 + (name.length * 7 + Number(name.replace(/\D/g, "") || 0)) % 10 / 10;
    this.summarySent = null;
    this.summaryAt = -Infinity;
    // Its heartbeats' moment in the 10 s, as bridges started at other times.
    this.heartbeatPhaseMs = (Number(name.replace(/\D/g, "") || 0) * 997) % SUMMARY_HEARTBEAT_MS;
  }

  state(stamp) {
    const payload = { stamp, state: this.offline ? "offline" : "online", version: "bench", psb: "COM7", drvb: "COM8",
      drive_allowed: true };
    if (this.offline) payload.reason = "connection lost";
    return payload;
  }

  boards() {
    return [
      { name: "psb", level: "OK", message: "ok", values: { round_trip_ms: 4.1, exchanges: 10, failures: 0, reopened: 0, late_replies: 0 } },
      this.faulted
        ? { name: "drvb", level: "ERROR", message: "no-reply", values: { round_trip_ms: null, exchanges: 10, failures: 10, reopened: 0, late_replies: 0 } }
        : { name: "drvb", level: "OK", message: "ok", values: { round_trip_ms: 3.9, exchanges: 10, failures: 0, reopened: 0, late_replies: 0 } },
    ];
  }

  // A moving robot goes round a circle of 1 m at 5 cm/s; the others stand.
  pose(tick) {
    const t = this.moving ? tick / RATE_HZ : 0;
    return { x_m: Math.cos(t / 20), y_m: Math.sin(t / 20), heading_rad: Math.atan2(Math.cos(t / 20), -Math.sin(t / 20)) };
  }

  // Without its stamp; as the bridge's, a change is told by all but the pose.
  summaryContent(tick) {
    const round = (v, per) => Math.round(v * per) / per;
    const pose = this.pose(tick);
    const content = {
      online: true,
      battery_v: round(this.volts, 10),
      boards: Object.fromEntries(this.boards().map((b) => [b.name, b.level])),
      bumpers: { left: false, right: false },
      emergency_stop: false,
      wheel_errors: { left: 0, right: 0 },
      drive: !this.faulted,
      pose: { x_m: round(pose.x_m, 100), y_m: round(pose.y_m, 100), heading_rad: round(pose.heading_rad, 100) },
    };
    if (this.faulted) content.reason = "no-reply";
    return content;
  }

  // [topic, payload, retained] of poll `tick` at `nowMs`.
  messages(tick, stamp, nowMs) {
    if (this.offline) return [];
    const out = [];
    out.push(["battery", { stamp, voltage: this.volts, current: 1.2 + (tick % 3) / 100,
      devices: Object.fromEntries(DEVICES.map((d, i) => [d, i < 4])) }]);
    out.push(["ranges", { stamp, ranges_m: RANGE_NAMES.map((_, i) => 1 + i / 10 + (tick % 5) / 1000), names: RANGE_NAMES }]);
    out.push(["wheels", { stamp, encoders: { left: tick * 40, right: tick * 41 }, speed_mm_s: { left: 50, right: 55 },
      bumpers: { left: false, right: false }, emergency_stop: false, wheel_errors: { left: 0, right: 0 } }]);
    const pose = this.pose(tick);
    out.push(["odom", { stamp, ...pose, v_m_s: this.moving ? 0.05 : 0, omega_rad_s: this.moving ? 0.05 : 0, dropped_jumps: 0 }]);
    if (tick % RATE_HZ === 0) out.push(["diagnostics", { stamp, boards: this.boards() }]);
    const content = this.summaryContent(tick);
    const key = JSON.stringify({ ...content, pose: undefined });
    const gap = nowMs - this.summaryAt;
    if ((key !== this.summarySent && gap >= 1000) || gap >= SUMMARY_HEARTBEAT_MS) {
      this.summaryAt = this.summarySent === null ? nowMs - this.heartbeatPhaseMs : nowMs;
      this.summarySent = key;
      out.push(["summary", { stamp, ...content }, true]);
    }
    return out;
  }
}

// The publisher's login: one user writing every robot's topics, which the
// example ACL gives no one (each robot writes its own); the rig adds it as
// `new Fleet({ users: PUBLISHER.users, acl: PUBLISHER.acl })`.
const PUBLISHER = {
  username: "fleet-publisher",
  password: "fleet-publisher-pw",
  get users() { return { [this.username]: this.password }; },
  get acl() { return `user ${this.username}\ntopic write tavik/#\n`; },
};

// count robots on one connection; faulted and offline: how many of them
// (the last ones, named robot0001 ...). Resolves to { names, client, stop() }.
async function startFleetPublisher({ url, username = PUBLISHER.username, password = PUBLISHER.password, count, faulted = 0, offline = 0,
  prefix = "tavik" }) {
  const mqtt = require("mqtt");
  const client = mqtt.connect(url, { protocolVersion: 5, username, password, clientId: "tavik-fleet-publisher-" + process.pid });
  await new Promise((resolve, reject) => { client.once("connect", resolve); client.once("error", reject); });
  const robots = Array.from({ length: count }, (_, i) => new SimulatedRobot(robotName(i), {
    faulted: i >= count - faulted - offline && i < count - offline, offline: i >= count - offline, moving: i % 3 === 0 }));
  const send = (robot, topic, payload, retain = false) =>
    client.publish(`${prefix}/${robot.name}/${topic}`, JSON.stringify(payload), { qos: retain ? 1 : 0, retain });
  const stamp = new Date().toISOString();
  for (const robot of robots) send(robot, "state", robot.state(stamp), true);
  // Each poll's robots spread over the poll's period in slices, as bridges of their own would be.
  const SLICES = 10;
  let tick = 0;
  let slice = 0;
  const timer = setInterval(() => {
    const now = Date.now();
    const at = new Date(now).toISOString();
    for (let i = slice; i < robots.length; i += SLICES)
      for (const [topic, payload, retain] of robots[i].messages(tick, at, now)) send(robots[i], topic, payload, retain);
    if (++slice === SLICES) {
      slice = 0;
      ++tick;
    }
  }, 1000 / RATE_HZ / SLICES);
  return {
    names: robots.map((r) => r.name),
    faulted: robots.filter((r) => r.faulted).map((r) => r.name),
    offline: robots.filter((r) => r.offline).map((r) => r.name),
    client,
    stop: async () => {
      clearInterval(timer);
      await client.endAsync();
    },
  };
}

module.exports = { SimulatedRobot, startFleetPublisher, robotName, PUBLISHER };

if (require.main === module) {
  const [url, count = "200", faulted = "0", offline = "0"] = process.argv.slice(2);
  startFleetPublisher({ url, count: Number(count), faulted: Number(faulted), offline: Number(offline) }).then(
    (fleet) => {
      console.log(`${fleet.names.length} robots on ${url}; Ctrl-C ends`);
      process.once("SIGINT", () => fleet.stop().then(() => process.exit(0)));
    },
    (e) => {
      console.error(e.message);
      process.exit(1);
    });
}
