// The fleet page under load, in headless Chromium (not a test: figures only).
//
//   NODE_PATH=... node bench/fleet_page_bench.js [BUILD] [MINUTES] [ROBOTS] [PRESSES]
//
// 1. The time from a pressed Forward to its cmd/drive at a subscriber of the
//    broker (the page's pointerdown event's time against the message's
//    arrival, one clock), PRESSES times: p50, p99. The bridge's own part,
//    from the broker to the velocity on the drive board's wire, is
//    bench/bridge_bench's.
//    PRESSES 0 leaves it out.
// 2. For each count of ROBOTS (a list: 20,200,1000), that many robots of
//    bench/fleet_publisher.js (its own process; 1 % faulted) at their
//    bridges' rates: the overview alone for MINUTES, then with one robot
//    opened with its plots for MINUTES: Chromium's CPU (every process of
//    it, from /proc), the broker's and the publisher's, and the page's JS
//    heap and Chromium's resident memory, sampled six times a phase (at
//    most each minute). FLEET_BENCH_OPEN=0 measures the overview only,
//    FLEET_BENCH_OPEN=1 the opened robot only; FLEET_BENCH_PROCESSES=1 also
//    splits Chromium's share by its processes' kinds.
"use strict";

const { spawn } = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");
const mqtt = require("mqtt");
const playwright = require("playwright-core");
const { Fleet, USERS, launchChromium, sleep } = require("../scripts/fleet_rig.js");
const { PUBLISHER } = require("./fleet_publisher.js");

const [build = "build/default", minutes = "1", robotCounts = "20,200,1000", presses = "200"] = process.argv.slice(2);
const TICK = 100;  // USER_HZ: /proc/PID/stat counts CPU time in these

// Every process below `pid` whose name is chromium's: their CPU seconds and
// resident bytes, and the CPU seconds by kind (its --type=, "browser" without).
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
  const kinds = {};
  const below = (parent) => {
    for (const [child, info] of children) {
      if (info.ppid !== parent) continue;
      if (/chrom/i.test(info.name)) {
        cpu += info.cpu;
        rss += info.rss;
        const kind = processKind(child);
        kinds[kind] = (kinds[kind] ?? 0) + info.cpu;
      }
      below(child);
    }
  };
  below(pid);
  return { cpu, rss, kinds };
}

function processKind(pid) {
  try {
    // Chromium rewrites its command line into one string.
    const line = fs.readFileSync(`/proc/${pid}/cmdline`, "utf8");
    const type = /--type=([\w-]+)/.exec(line)?.[1] ?? "browser";
    const service = /--utility-sub-type=[\w.]*?(\w+)\.mojom/.exec(line)?.[1];
    return service ? `${type}:${service}` : type;
  } catch {
    return "gone";
  }
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

// The CPU seconds of one process (from /proc).
function processCpu(pid) {
  const stat = fs.readFileSync(`/proc/${pid}/stat`, "utf8");
  const fields = stat.slice(stat.lastIndexOf(")") + 2).split(" ");
  return (Number(fields[11]) + Number(fields[12])) / TICK;
}

// The bench's fleet publisher in a process of its own, so that its work is
// neither the bench's nor Chromium's: resolves once its robots are out.
function startPublisher(fleet, count, faulted) {
  const child = spawn(process.execPath, [path.join(__dirname, "fleet_publisher.js"), fleet.mqttUrl, String(count),
    String(faulted)], { stdio: ["ignore", "pipe", "inherit"] });
  return new Promise((resolve, reject) => {
    child.stdout.once("data", () => resolve({
      pid: child.pid,
      stop: () => new Promise((done) => { child.once("exit", done); child.kill("SIGINT"); }),
    }));
    child.once("exit", (code) => reject(new Error("the fleet publisher ended: " + code)));
  });
}

// Chromium's, the broker's and the publisher's CPU in % of a core, and the
// page's JS heap, over `seconds`, sampled every `every` seconds.
async function measure(label, seconds, every, sample) {
  const shares = [];
  let last = sample();
  let lastMetrics = await last.metrics();
  for (let t = every; t <= seconds; t += every) {
    await sleep(every * 1000);
    const now = sample();
    const share = (key) => (100 * (now[key] - last[key])) / ((now.at - last.at) / 1000);
    const metrics = await now.metrics();
    const heap = metrics.JSHeapUsedSize / 1048576;
    shares.push([share("chromium"), share("broker"), share("publisher"), heap]);
    console.log(`  ${label} ${String(t).padStart(4)} s: Chromium ${share("chromium").toFixed(1)} %, ` +
      `broker ${share("broker").toFixed(1)} %, publisher ${share("publisher").toFixed(1)} % of a core; ` +
      `JS heap ${heap.toFixed(1)} MiB, Chromium resident ${(now.rss / 1048576).toFixed(0)} MiB`);
    if (process.env.FLEET_BENCH_PROCESSES === "1") {
      const seconds = (now.at - last.at) / 1000;
      console.log("    " + Object.entries(now.kinds).map(([kind, cpu]) =>
        `${kind} ${((100 * (cpu - (last.kinds[kind] ?? 0))) / seconds).toFixed(1)} %`).join(", "));
      const rate = (name) => (metrics[name] - lastMetrics[name]) / seconds;
      console.log(`    the page, a second: ${rate("LayoutCount").toFixed(1)} layouts, ${rate("RecalcStyleCount").toFixed(1)} ` +
        `style passes; ms of tasks ${(1000 * rate("TaskDuration")).toFixed(1)}, script ${(1000 * rate("ScriptDuration")).toFixed(1)}, ` +
        `layout ${(1000 * rate("LayoutDuration")).toFixed(1)}, style ${(1000 * rate("RecalcStyleDuration")).toFixed(1)}`);
    }
    lastMetrics = metrics;
    last = now;
  }
  const mean = (i) => shares.reduce((sum, s) => sum + s[i], 0) / shares.length;
  const heaps = shares.map((s) => s[3]);
  console.log(`  ${label}: mean Chromium ${mean(0).toFixed(1)} %, broker ${mean(1).toFixed(1)} %, publisher ` +
    `${mean(2).toFixed(1)} % of a core; JS heap ${Math.min(...heaps).toFixed(1)} to ${Math.max(...heaps).toFixed(1)} MiB`);
}

async function main() {
  const fleet = new Fleet({ build, users: PUBLISHER.users, acl: PUBLISHER.acl });
  const browser = { context: null };
  let publisher = null;
  try {
    await fleet.startBroker();
    browser.context = await launchChromium(playwright, fleet.dir);
    const page = browser.context.pages()[0] || (await browser.context.newPage());
    await page.goto(fleet.pageUrl);
    await page.getByLabel("User").fill("operator");
    await page.getByLabel("Password").fill(USERS.operator);
    await page.getByRole("button", { name: "Connect" }).click();
    await page.getByText("as operator").waitFor();
    if (Number(presses) > 0) {
      await fleet.addRobot("r1");
      await page.getByRole("region", { name: "r1", exact: true }).getByText("online", { exact: true }).waitFor();
      await driveLatency(fleet, page);
      await fleet.robot("r1").stop();
    }
    const cdp = await browser.context.newCDPSession(page);
    await cdp.send("Performance.enable");
    const metrics = async () => {
      const { metrics: list } = await cdp.send("Performance.getMetrics");
      return Object.fromEntries(list.map((m) => [m.name, m.value]));
    };
    const seconds = Number(minutes) * 60;
    const every = Math.min(60, Math.max(10, seconds / 6));
    for (const count of robotCounts.split(",").map(Number)) {
      // Each count on a broker started anew (no retained robots of the one before) and a page loaded anew.
      await fleet.killBroker();
      await fleet.startBroker();
      await page.goto(fleet.pageUrl);  // none opened (a reload would open the one of the address's #)
      await page.getByText("as operator").waitFor({ timeout: 15000 });
      publisher = await startPublisher(fleet, count, Math.ceil(count / 100));
      const sample = () => {
        const usage = chromiumUsage(process.pid);
        return { at: Date.now(), chromium: usage.cpu, rss: usage.rss, kinds: usage.kinds,
          broker: processCpu(fleet.broker.pid), publisher: processCpu(publisher.pid), metrics };
      };
      await page.getByText(new RegExp(`^${count} robots`)).waitFor({ timeout: 120000 });
      await sleep(10000);  // the first summaries drawn
      console.log(`${count} robots at 5 Hz (1 % faulted), ${seconds} s each:`);
      if (process.env.FLEET_BENCH_OPEN !== "1") await measure("overview", seconds, every, sample);
      if (process.env.FLEET_BENCH_OPEN !== "0") {
        const name = count > 1 ? "robot0002" : "robot0001";
        const toggle = page.getByRole("region", { name, exact: true }).getByRole("button", { name, exact: true });
        await toggle.click();
        if ((await toggle.getAttribute("aria-expanded")) !== "true") throw new Error(name + " did not open");
        await measure(name + " opened", seconds, every, sample);
      }
      await publisher.stop();
      publisher = null;
    }
  } finally {
    await publisher?.stop();
    await browser.context?.close();
    await fleet.stop();
    fleet.removeDir();
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
