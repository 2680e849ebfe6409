// The fleet page under load, in headless Chromium (not a test: figures only).
//
//   NODE_PATH=... node bench/fleet_page_bench.js [BUILD] [MINUTES] [ROBOTS] [PRESSES]
//
// 1. The time from a pressed Forward to its cmd/drive at a subscriber of the
//    broker (the page's pointerdown event's time against the message's
//    arrival, one clock), PRESSES times: p50, p99. The bridge's own part,
//    from the broker to the velocity on the drive board's wire, is
//    bench/bridge_bench's.
// 2. ROBOTS robots at 5 Hz (battery, ranges, wheels; diagnostics at 1 Hz),
//    payloads recorded from a simulated bridge and published again with
//    fresh stamps, one robot opened with its plots: Chromium's CPU (every
//    process of it, from /proc) and its memory (the page's JS heap, and the
//    processes' resident memory) each minute for MINUTES. FLEET_BENCH_OPEN=0
//    leaves every robot closed, to tell the plots' and panels' share.
"use strict";

const fs = require("node:fs");
const mqtt = require("mqtt");
const playwright = require("playwright-core");
const { Fleet, USERS, robotPassword, launchChromium, sleep } = require("../scripts/fleet_rig.js");

const [build = "build/default", minutes = "10", robotCount = "20", presses = "200"] = process.argv.slice(2);
const TICK = 100;  // USER_HZ: /proc/PID/stat counts CPU time in these

// Every process below `pid` whose name is chromium's: their CPU seconds and resident bytes.
function chromiumUsage(pid) {
  const children = new Map();
  for (const entry of fs.readdirSync("/proc")) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, "utf8");
      const fields = stat.slice(stat.lastIndexOf(")") + 2).split(" ");
      const name = stat.slice(stat.indexOf("(") + 1, stat.lastIndexOf(")"));
      children.set(Number(entry), { ppid: Number(fields[1]), name, cpu: (Number(fields[11]) + Number(fields[12])) / TICK,
        rss: Number(fields[21]) * 4096 });
    } catch {
      // gone meanwhile
    }
  }
  let cpu = 0;
  let rss = 0;
  const below = (parent) => {
    for (const [child, info] of children) {
      if (info.ppid !== parent) continue;
      if (/chrom/i.test(info.name)) {
        cpu += info.cpu;
        rss += info.rss;
      }
      below(child);
    }
  };
  below(pid);
  return { cpu, rss };
}

const percentile = (sorted, p) => sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];

async function driveLatency(fleet, page) {
  const client = mqtt.connect(fleet.mqttUrl, { protocolVersion: 5, username: "viewer", password: USERS.viewer });
  await new Promise((resolve) => client.once("connect", resolve));
  await client.subscribeAsync("tavik/r1/cmd/drive");
  let waiting = null;
  client.on("message", (topic, message) => {
    const drive = JSON.parse(message.toString());
    if (waiting && (drive.left_mm_s !== 0) === waiting.moving) {
      waiting.resolve(Date.now());
      waiting = null;
    }
  });
  const message = (moving) => new Promise((resolve) => { waiting = { moving, resolve }; });
  const r1 = page.getByRole("region", { name: "r1", exact: true });
  await r1.getByRole("button", { name: "r1", exact: true }).click();
  const forward = r1.getByRole("button", { name: "Forward" });
  await forward.evaluate((button) => button.addEventListener("pointerdown", (e) => {
    window.pressedAt = performance.timeOrigin + e.timeStamp;
  }, { capture: true }));
  await forward.hover();
  const times = [];
  for (let i = 0; i < Number(presses); ++i) {
    const arrived = message(true);
    await page.mouse.down();
    const at = await arrived;
    times.push(at - (await page.evaluate(() => window.pressedAt)));
    const stopped = message(false);
    await page.mouse.up();
    await stopped;
    await sleep(30);
  }
  await client.endAsync();
  times.sort((a, b) => a - b);
  console.log(`press to cmd/drive at the broker's subscriber, ${times.length} presses: ` +
    `p50 ${percentile(times, 50).toFixed(1)} ms, p99 ${percentile(times, 99).toFixed(1)} ms, max ${times.at(-1).toFixed(1)} ms`);
}

// The payloads of one simulated bridge, by topic.
async function recordPayloads(fleet) {
  const client = mqtt.connect(fleet.mqttUrl, { protocolVersion: 5, username: "viewer", password: USERS.viewer });
  await new Promise((resolve) => client.once("connect", resolve));
  const recorded = {};
  client.on("message", (topic, message) => {
    const what = topic.split("/").slice(2).join("/");
    if (!recorded[what] || what === "wheels") recorded[what] = JSON.parse(message.toString());
  });
  await client.subscribeAsync("tavik/r1/+");
  await sleep(2500);
  await client.endAsync();
  return recorded;
}

const loadNames = (count) => Array.from({ length: count }, (_, i) => "load" + String(i + 1).padStart(2, "0"));

// Each robot under its own login, as a bridge.
async function load(fleet, recorded, count) {
  const names = loadNames(count);
  const clients = new Map(names.map((name) =>
    [name, mqtt.connect(fleet.mqttUrl, { protocolVersion: 5, username: name, password: robotPassword(name) })]));
  await Promise.all([...clients.values()].map((c) => new Promise((resolve) => c.once("connect", resolve))));
  for (const [name, client] of clients)
    client.publish(`tavik/${name}/state`, JSON.stringify({ ...recorded.state, stamp: new Date().toISOString() }), { retain: true, qos: 1 });
  let tick = 0;
  const timer = setInterval(() => {
    const stamp = new Date().toISOString();
    ++tick;
    for (const [name, client] of clients) {
      for (const what of ["battery", "ranges", "wheels"]) {
        const payload = { ...recorded[what], stamp };
        if (what === "wheels" && payload.encoders) {
          payload.encoders = { left: tick * 40, right: tick * 41 };
          payload.speed_mm_s = { left: 200 + (tick % 7), right: 200 - (tick % 5) };
        }
        client.publish(`tavik/${name}/${what}`, JSON.stringify(payload));
      }
      if (tick % 5 === 0) client.publish(`tavik/${name}/diagnostics`, JSON.stringify({ ...recorded.diagnostics, stamp }));
    }
  }, 200);
  return { names, stop: async () => {
    clearInterval(timer);
    await Promise.all([...clients.values()].map((c) => c.endAsync()));
  } };
}

async function main() {
  const fleet = new Fleet({ build, robots: ["r1", ...loadNames(Number(robotCount))] });
  const browser = { context: null };
  try {
    await fleet.startBroker();
    await fleet.addRobot("r1");
    browser.context = await launchChromium(playwright, fleet.dir);
    const page = browser.context.pages()[0] || (await browser.context.newPage());
    await page.goto(fleet.pageUrl);
    await page.getByLabel("User").fill("operator");
    await page.getByLabel("Password").fill(USERS.operator);
    await page.getByRole("button", { name: "Connect" }).click();
    await page.getByRole("region", { name: "r1", exact: true }).getByText("online", { exact: true }).waitFor();
    await driveLatency(fleet, page);

    const recorded = await recordPayloads(fleet);
    await fleet.robot("r1").stop();
    const publisher = await load(fleet, recorded, Number(robotCount));
    const open = process.env.FLEET_BENCH_OPEN !== "0";
    const opened = page.getByRole("region", { name: publisher.names[0], exact: true });
    await opened.getByRole("button", { name: publisher.names[0], exact: true }).click();
    if (!open) await opened.getByRole("button", { name: publisher.names[0], exact: true }).click();
    const cdp = await browser.context.newCDPSession(page);
    await cdp.send("Performance.enable");
    const heap = async () => {
      const { metrics } = await cdp.send("Performance.getMetrics");
      return metrics.find((m) => m.name === "JSHeapUsedSize").value;
    };
    console.log(`${robotCount} robots at 5 Hz, ${open ? publisher.names[0] + " opened with its plots" : "none opened"}, for ${minutes} min:`);
    let last = chromiumUsage(process.pid);
    let lastAt = Date.now();
    for (let minute = 1; minute <= Number(minutes); ++minute) {
      await sleep(60000);
      const now = chromiumUsage(process.pid);
      const at = Date.now();
      console.log(`  minute ${String(minute).padStart(2)}: Chromium CPU ${((100 * (now.cpu - last.cpu)) / ((at - lastAt) / 1000)).toFixed(1)} % of a core, ` +
        `JS heap ${((await heap()) / 1048576).toFixed(1)} MiB, resident ${(now.rss / 1048576).toFixed(0)} MiB`);
      last = now;
      lastAt = at;
    }
    await publisher.stop();
  } finally {
    await browser.context?.close();
    await fleet.stop();
    fleet.removeDir();
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
