// A site's broker joined to a central one as the example says
// (packaging/web/tavik-site-bridge.conf and .acl, only the address and the
// password put in): tavik-sim and its bridge behind the site's broker, the
// fleet page in headless Chromium on the centre's. The page drives the
// robot across the link; a drive held up on the link arrives too late to
// move it, nor does one without a stamp; the centre lost, the robot's
// dead-man stops its wheels.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const net = require("node:net");
const path = require("node:path");
const mqtt = require("mqtt");
const playwright = require("playwright-core");
const { Fleet, USERS, openPage, sleep, waitFor } = require("../../scripts/fleet_rig.js");

const EXAMPLES = path.resolve(__dirname, "../../packaging/web");
const SITE_PASSWORD = "site-a-pw";

// The example with this rig's address of the centre and the site's password.
function siteBridgeConfig(centrePort) {
  let replaced = 0;
  const lines = fs.readFileSync(path.join(EXAMPLES, "tavik-site-bridge.conf"), "utf8").split("\n").map((line) => {
    if (/^address \S+$/.test(line)) return ++replaced && `address 127.0.0.1:${centrePort}`;
    if (/^remote_password \S+$/.test(line)) return ++replaced && `remote_password ${SITE_PASSWORD}`;
    return line;
  });
  assert.equal(replaced, 2, "the example's address and remote_password");
  return lines;
}

// The network between the site and the centre: what the centre sends can be
// held up (a stalled path) and let through later, in order.
class Link {
  constructor(to) {
    this.held = null;
    this.pairs = new Set();
    this.server = net.createServer((site) => {
      const centre = net.connect(to, "127.0.0.1");
      const pair = { site, centre, waiting: [] };
      this.pairs.add(pair);
      site.pipe(centre);
      centre.on("data", (data) => (this.held ? pair.waiting.push(data) : site.write(data)));
      const end = () => { site.destroy(); centre.destroy(); this.pairs.delete(pair); };
      for (const socket of [site, centre]) socket.on("close", end).on("error", end);
    });
  }
  listen() {
    return new Promise((resolve) => this.server.listen(0, "127.0.0.1", () => resolve(this.server.address().port)));
  }
  hold() { this.held = true; }
  release() {
    this.held = false;
    for (const pair of this.pairs) pair.site.write(Buffer.concat(pair.waiting.splice(0)));
  }
  close() {
    for (const { site, centre } of this.pairs) { site.destroy(); centre.destroy(); }
    this.server.close();
  }
}

let centre;
let site;
let link;
let robot;
let browser;
let page;

before(async () => {
  const build = process.env.TAVIK_BUILD || "build/default";
  centre = new Fleet({ build, users: { "site-a": SITE_PASSWORD },
    acl: fs.readFileSync(path.join(EXAMPLES, "tavik-site-bridge.acl"), "utf8") });
  await centre.startBroker();
  link = new Link(centre.mqttPort);
  site = new Fleet({ build, dir: path.join(centre.dir, "site"), config: siteBridgeConfig(await link.listen()) });
  await site.startBroker();
  // The bridge's own dead-man, 0.5 s; only stamped drives, as across sites.
  robot = await site.addRobot("r1", { bridgeArgs: ["--require-stamp"] });
  ({ browser, page } = await openPage(playwright, centre));
});

after(async () => {
  await browser?.close();
  link?.close();
  await site?.stop();
  await centre?.stop();
  if (!process.exitCode) centre?.removeDir();
  else console.log("the rig's logs are in " + centre?.dir);
});

// A promise's value, or a failure after `ms`.
function within(promise, ms, what) {
  let timer;
  const late = new Promise((resolve, reject) => {
    timer = setTimeout(() => reject(new Error(`no ${what} within ${ms} ms`)), ms);
  });
  return Promise.race([promise, late]).finally(() => clearTimeout(timer));
}

async function wireFor(ms) {
  const seen = [];
  const end = Date.now() + ms;
  while (Date.now() < end) seen.push(...(await robot.velocities()));
  return seen;
}

async function forward() {
  const section = page.getByRole("region", { name: "r1", exact: true });
  await section.getByText("online", { exact: true }).waitFor({ timeout: 15000 });
  const toggle = section.getByRole("button", { name: "r1", exact: true });
  if ((await toggle.getAttribute("aria-expanded")) !== "true") await toggle.click();
  const button = section.getByRole("button", { name: "Forward" });
  await waitFor("Forward enabled", () => button.isEnabled(), 5000);
  await robot.velocities();
  await button.hover();
  await page.mouse.down();
}

test("the page at the centre drives the site's robot: its wheels move, and stop when let go", async () => {
  await forward();
  await waitFor("the drive on the wire", async () => (await robot.velocities()).some((v) => v === "BE200;200"), 5000);
  await page.mouse.up();
  assert.equal((await wireFor(1000)).at(-1), "BE;");
  const viewer = await mqtt.connectAsync(centre.mqttUrl, { username: "viewer", password: USERS.viewer });
  try {
    const linkState = new Promise((resolve) => viewer.on("message", (topic, message) => resolve(message.toString())));
    await viewer.subscribeAsync("$SYS/broker/connection/site-a/state");
    assert.equal(await within(linkState, 5000, "link state"), "1", "the site's link as a viewer at the centre sees it");
  } finally {
    await viewer.endAsync();
  }
});

// A drive from a client at the centre, with a stamp or none; once it has
// come, the robot's answer is `reason`.
function clientDrive(stamped, reason) {
  return async () => {
    const client = await mqtt.connectAsync(centre.mqttUrl,
      { protocolVersion: 5, username: "operator", password: USERS.operator });
    await client.subscribeAsync("tavik/r1/cmd/result", { qos: 1 });
    const answer = new Promise((resolve) => client.on("message", (topic, message) => {
      const result = JSON.parse(message.toString());
      if (result.id === "late-1") resolve(result);
    }));
    const stamp = stamped ? { stamp: new Date().toISOString() } : {};
    await client.publishAsync("tavik/r1/cmd/drive",
      JSON.stringify({ left_mm_s: 200, right_mm_s: 200, id: "late-1", ...stamp }), { qos: 1 });
    return async () => {
      try {
        assert.equal((await within(answer, 5000, "answer")).reason, reason);
      } finally {
        await client.endAsync();
      }
    };
  };
}

// A drive from the centre while the link holds what the centre sends for
// 2.5 s: when it comes, the robot's bridge finds it stale, or without the
// stamp that --require-stamp asks for.
const heldUp = [
  { what: "a stamped drive from a client at the centre", drive: clientDrive(true, "stale-command") },
  { what: "a drive without a stamp", drive: clientDrive(false, "usage") },
  {
    what: "the page's held Forward",
    async drive() {
      await forward();
      await sleep(500);
      await page.mouse.up();
      return async () => {};
    },
  },
];
for (const { what, drive } of heldUp) {
  test(`${what}, held up on the link, moves nothing when it comes`, async () => {
    await robot.velocities();
    link.hold();
    let check;
    try {
      check = await drive();
      await sleep(2500);
    } finally {
      link.release();
    }
    await check();
    const wire = await wireFor(1500);
    assert.ok(!wire.some((v) => v !== "BE;"), "on the wire: " + wire);
  });
}

test("the central broker lost while the page drives: the robot's dead-man stops its wheels", async () => {
  await forward();
  await waitFor("the drive on the wire", async () => (await robot.velocities()).some((v) => v === "BE200;200"), 5000);
  await centre.killBroker();
  // The dead-man's 0.5 s, with room for a busy machine.
  await waitFor("0,0 on the wire", async () => (await robot.velocities()).includes("BE;"), 3000, 10);
  const wire = await wireFor(1500);
  assert.ok(!wire.some((v) => v !== "BE;"), "after the stop: " + wire);
  await page.mouse.up();
});
