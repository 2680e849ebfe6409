// The bridge's topic table (topics.json) against what else names the topics:
// the README's table, the fleet page's handlers and the commands it sends;
// and the page's facts.js and topics.js against the JSON the build wrote.
// No browser and no broker: the page's scripts are read as text.
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const { execFileSync } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const vm = require("node:vm");

const SOURCE = path.resolve(__dirname, "../..");
const read = (file) => fs.readFileSync(file, "utf8");
const topics = JSON.parse(read(process.env.TAVIK_TOPICS_JSON));
const published = topics.filter((t) => t.direction === "published").map((t) => t.topic);
const commands = topics.filter((t) => t.direction === "subscribed").map((t) => t.topic);
const byName = (a, b) => a.localeCompare(b);

test("the README's topic table has every topic with the table's QoS, retain flag and fields", () => {
  const readme = read(path.join(SOURCE, "README.md"));
  const start = readme.indexOf("| topic | QoS | retained | what |");
  assert.ok(start >= 0, "the README's topic table");
  const rows = readme.slice(start).split("\n\n")[0].split("\n").slice(2);
  const seen = [];
  for (const row of rows) {
    const [names, qos, retained, what] = row.split(" | ").map((cell) => cell.replace(/^\| |\|$/g, "").trim());
    for (const [, name] of names.matchAll(/`([^`]+)`/g)) {
      const t = topics.find((x) => x.topic === name);
      assert.ok(t, `the README names ${name}, which the bridge has not`);
      seen.push(name);
      assert.equal(Number(qos), t.qos, `${name}'s QoS`);
      assert.equal(retained, t.retained ? "yes" : "no", `${name} retained`);
      // The stamp, the reason and the id are told of once, below the table.
      for (const field of t.fields.filter((f) => !["stamp", "reason", "id"].includes(f)))
        assert.ok(what.includes(`"${field}"`) || what.includes(`\`${field}\``), `${name}'s ${field} in the README`);
    }
  }
  assert.deepEqual(seen.sort(byName), topics.map((t) => t.topic).sort(byName));
});

test("the page handles every topic the bridge publishes and sends only commands it takes", () => {
  const fleet = read(path.join(SOURCE, "web/fleet.js"));
  const block = /const HANDLERS = Object\.freeze\(\{\n([\s\S]*?)\n\}\);/.exec(fleet);
  assert.ok(block, "fleet.js's HANDLERS");
  const handled = [...block[1].matchAll(/^ {2}"?([\w/]+)"?:/gm)].map((m) => m[1]);
  assert.deepEqual(handled.sort(byName), [...published].sort(byName));
  const sent = new Set();
  for (const file of fs.readdirSync(path.join(SOURCE, "web")).filter((f) => f.endsWith(".js")))
    for (const [, name] of read(path.join(SOURCE, "web", file)).matchAll(/command\((?:\w+, )?"(\w+)"/g)) sent.add(name);
  assert.ok(sent.size > 0, "the page's commands");
  for (const name of sent) assert.ok(commands.includes("cmd/" + name), `the page sends cmd/${name}`);
});

test("the page's facts.js and topics.js are the build's JSON, and its settings take them", () => {
  const web = process.env.TAVIK_WEB_DIR;
  const context = vm.createContext({});
  for (const script of ["facts.js", "topics.js", "settings.js"]) vm.runInContext(read(path.join(web, script)), context);
  assert.deepEqual(JSON.parse(JSON.stringify(vm.runInContext("TAVIK_FACTS", context))),
    JSON.parse(read(process.env.TAVIK_FACTS_JSON)));
  assert.deepEqual(JSON.parse(JSON.stringify(vm.runInContext("TAVIK_TOPICS", context))), topics);
  const tavik = vm.runInContext("TAVIK", context);
  // As the README says: Max distance starts at the board's power-up code 8 (550 cm).
  assert.equal(tavik.powerUpMaxDistanceCode, 8);
  assert.equal(tavik.maxDistanceCm(tavik.powerUpMaxDistanceCode), 550);
  const html = read(path.join(web, "index.html"));
  const order = ["facts.js", "topics.js", "settings.js", "fleet.js"].map((s) => html.indexOf(`src="${s}"`));
  assert.ok(order.every((at, i) => at >= 0 && (i === 0 || at > order[i - 1])), "index.html's scripts in order");
});

// MQTT's wildcards: whether `filter` matches `topic`.
function matches(filter, topic) {
  const f = filter.split("/");
  const t = topic.split("/");
  return f.every((level, i) => level === "#" || (i < t.length && (level === "+" || level === t[i]))) &&
    (f.length === t.length || f.at(-1) === "#");
}

test("the site bridge's example carries every published topic out and every command in at QoS 1", () => {
  const lines = read(path.join(SOURCE, "packaging/web/tavik-site-bridge.conf")).split("\n");
  const bridged = lines.filter((l) => l.startsWith("topic ")).map((l) => {
    const [, pattern, direction, qos] = l.split(/\s+/);
    return { pattern, direction, qos: Number(qos) };
  });
  const carried = (topic) => bridged.filter((b) => matches(b.pattern, "tavik/r1/" + topic));
  for (const topic of [...published, "cmd/result"]) {
    const ways = carried(topic);
    assert.deepEqual(ways.map((b) => b.direction), ["out"], `${topic}: ${JSON.stringify(ways)}`);
    const qos = topics.find((t) => t.topic === topic)?.qos ?? 0;
    assert.ok(ways[0].qos >= qos, `${topic} keeps its QoS ${qos}`);
  }
  for (const topic of commands.filter((c) => c !== "cmd/result"))
    assert.deepEqual(carried(topic).map((b) => [b.direction, b.qos]), [["in", 1]], topic);
});

test("the bench's fleet publisher sends each topic's payload as the table's schema says", () => {
  const { SimulatedRobot } = require("../../bench/fleet_publisher.js");
  const stamp = new Date().toISOString();
  const seen = new Set();
  for (const kind of [{}, { faulted: true, moving: true }, { offline: true }]) {
    const robot = new SimulatedRobot("robot0001", kind);
    const payloads = { state: robot.state(stamp) };
    for (const tick of [0, 5]) for (const [topic, payload] of robot.messages(tick, stamp, tick * 200)) payloads[topic] = payload;
    Object.keys(payloads).forEach((topic) => seen.add(topic));
    // Held against the schemas by jsonschema, as the bridge's own payloads are (tests/tavik/bridge_test.cpp).
    const file = path.join(os.tmpdir(), `fleet-publisher-${process.pid}.json`);
    fs.writeFileSync(file, JSON.stringify(payloads));
    const wrong = execFileSync("python3", [path.join(SOURCE, "tests/tavik/payload_schema_check.py"),
      process.env.TAVIK_TOPICS_JSON, file], { encoding: "utf8" });
    fs.rmSync(file);
    assert.deepEqual(JSON.parse(wrong), {}, JSON.stringify(kind));
  }
  assert.deepEqual([...seen].sort(byName),
    published.filter((t) => !["parameters", "cmd/result"].includes(t)).sort(byName), "every telemetry topic");
});
