// The fleet page in headless Chromium against a real mosquitto (serving the
// page over its WebSocket listener), tavik-sim and two bridges: what it
// shows against the simulator, a switch reaching the board, the hold-to-
// drive and what ends it, a viewer refused by the broker, a robot gone
// offline, a stale drive refused, and the plots' history over a reconnect.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const mqtt = require("mqtt");
const playwright = require("playwright-core");
const { Fleet, USERS, launchChromium, sleep, waitFor } = require("../../scripts/fleet_rig.js");

let fleet;
let browser;
let page;

async function login(p, user) {
  await p.goto(fleet.pageUrl);
  await p.getByLabel("User").fill(user);
  await p.getByLabel("Password").fill(USERS[user]);
  await p.getByRole("button", { name: "Connect" }).click();
  await p.getByText(`as ${user}`).waitFor();
}

const robotSection = (p, name) => p.getByRole("region", { name, exact: true });

async function openRobot(p, name) {
  const section = robotSection(p, name);
  const toggle = section.getByRole("button", { name, exact: true });
  if ((await toggle.getAttribute("aria-expanded")) !== "true") await toggle.click();
  return section;
}

// The last velocity on the drive board's wire within `ms`, asking the
// simulator every few milliseconds; all seen in order.
async function wireFor(robot, ms) {
  const seen = [];
  const end = Date.now() + ms;
  while (Date.now() < end) seen.push(...(await robot.velocities()));
  return seen;
}

// Holds Forward until the drive is on the wire; returns the robot's section.
async function holdForward(p, robot) {
  const section = await openRobot(p, robot.name);
  await robot.velocities();  // forget what came before
  await section.getByRole("button", { name: "Forward" }).hover();
  await p.mouse.down();
  await waitFor("the drive on the wire", async () => (await robot.velocities()).some((v) => v.startsWith("BE2")), 3000);
  return section;
}

before(async () => {
  fleet = new Fleet({ build: process.env.TAVIK_BUILD || "build/default" });
  await fleet.startBroker();
  // A long dead-man, so that a stop within it is the page's, not the bridge's own.
  await Promise.all(["r1", "r2"].map((name) => fleet.addRobot(name, { bridgeArgs: ["--dead-man", "2"] })));
  browser = await launchChromium(playwright, fleet.dir);
  page = browser.pages()[0] || (await browser.newPage());
  await login(page, "operator");
});

after(async () => {
  await browser?.close();
  await fleet?.stop();
  if (!process.exitCode) fleet?.removeDir();
  else console.log("the rig's logs are in " + fleet?.dir);
});

test("both robots are listed with the simulator's values", async () => {
  for (const name of ["r1", "r2"]) {
    const section = robotSection(page, name);
    await section.getByText("online", { exact: true }).waitFor();
    const status = await fleet.robot(name).simCommand("status");
    const volts = Number(/battery ([\d.]+) V/.exec(status)[1]);
    await section.getByText(volts.toFixed(1) + " V").first().waitFor();
    const ranges = /ranges ([\d -]+) mm/.exec(status)[1].trim().split(/\s+/).map(Number);
    const opened = await openRobot(page, name);
    const shown = (await opened.locator(".range-list output").allTextContents()).map((text) => parseFloat(text));
    assert.equal(shown.length, 7, name);
    // The simulated sensors read a few millimetres apart from one poll to the next.
    shown.forEach((metres, i) => assert.ok(Math.abs(metres - ranges[i] / 1000) < 0.05, `${name}: ${shown} ${ranges}`));
  }
});

test("a device switch reaches the board and its result shows beside it", async () => {
  const section = await openRobot(page, "r1");
  const lrf = section.getByRole("switch", { name: "LRF" });
  const wasOn = (await lrf.getAttribute("aria-checked")) === "true";
  await lrf.click();
  await section.getByText(`LRF ${wasOn ? "off" : "on"}: ok`).waitFor();
  const status = await fleet.robot("r1").simCommand("status");
  assert.match(status, new RegExp(`lrf=${wasOn ? "off" : "on"}`));
  await waitFor("the switch to follow the board", async () =>
    (await lrf.getAttribute("aria-checked")) === String(!wasOn), 3000);
});

test("holding Forward drives, letting go puts 0,0 on the wire within 300 ms", async () => {
  const robot = fleet.robot("r1");
  await holdForward(page, robot);
  const held = await wireFor(robot, 400);
  assert.ok(held.filter((v) => v === "BE200;200").length >= 2, "repeated while held: " + held);
  await page.mouse.up();
  const after = await wireFor(robot, 300);
  assert.equal(after.at(-1), "BE;", "after letting go: " + after);
  assert.ok(!(await wireFor(robot, 300)).some((v) => v !== "BE;"), "nothing drives after the stop");
});

test("the arrow key drives while held and the pointer leaving stops", async () => {
  const robot = fleet.robot("r2");
  const section = await openRobot(page, "r2");
  await robot.velocities();
  await section.getByRole("button", { name: "Forward" }).focus();
  await page.keyboard.down("ArrowLeft");
  await waitFor("the turn on the wire", async () => (await robot.velocities()).includes("BE-100;100"), 3000);
  await page.keyboard.up("ArrowLeft");
  assert.equal((await wireFor(robot, 300)).at(-1), "BE;");
  await holdForward(page, robot);
  await page.mouse.move(5, 5);  // leaves the button, still pressed
  assert.equal((await wireFor(robot, 300)).at(-1), "BE;");
  await page.mouse.up();
});

// Headless Chromium keeps every tab visible (visibilitychange never comes),
// so this takes the focus away for real instead: Playwright's focus
// emulation off, and another tab brought to the front.
test("the window losing focus stops the drive", async () => {
  const robot = fleet.robot("r1");
  const cdp = await browser.newCDPSession(page);
  await cdp.send("Emulation.setFocusEmulationEnabled", { enabled: false });
  try {
    await holdForward(page, robot);
    const other = await browser.newPage();
    await other.bringToFront();
    assert.equal((await wireFor(robot, 300)).at(-1), "BE;");
    await other.close();
  } finally {
    await page.bringToFront();
    await page.mouse.up();
    await cdp.send("Emulation.setFocusEmulationEnabled", { enabled: true });
    await cdp.detach();
  }
});

test("Stop and Stop all are answered in each robot's summary", async () => {
  const section = await openRobot(page, "r1");
  await section.getByRole("button", { name: "Stop", exact: true }).click();
  await section.getByText("stop: ok").waitFor();
  await page.getByRole("button", { name: "Stop all" }).click();
  for (const name of ["r1", "r2"]) await robotSection(page, name).getByText("stop all: ok").waitFor();
});

test("a viewer sees the fleet, and the broker refuses its drive", async () => {
  const viewerPage = await browser.newPage();
  try {
    await login(viewerPage, "viewer");
    const robot = fleet.robot("r2");
    const section = await openRobot(viewerPage, "r2");
    await section.getByText("online", { exact: true }).waitFor();
    await robot.velocities();
    await section.getByRole("button", { name: "Forward" }).hover();
    await viewerPage.mouse.down();
    await section.getByText(/refused by the broker: not authorized/).first().waitFor();
    await viewerPage.mouse.up();
    assert.ok(!(await wireFor(robot, 300)).some((v) => v !== "BE;"), "the viewer moved nothing");
  } finally {
    await viewerPage.close();
  }
});

test("a drive with a stale stamp is refused and moves nothing", async () => {
  const robot = fleet.robot("r2");
  const client = mqtt.connect(fleet.mqttUrl, { protocolVersion: 5, username: "operator", password: USERS.operator });
  try {
    await new Promise((resolve, reject) => { client.once("connect", resolve); client.once("error", reject); });
    await client.subscribeAsync("tavik/r2/cmd/result");
    const answered = new Promise((resolve) =>
      client.on("message", (topic, message) => {
        const result = JSON.parse(message.toString());
        if (result.id === "old-1") resolve(result);
      }));
    await robot.velocities();
    const stamp = new Date(Date.now() - 3000).toISOString();
    await client.publishAsync("tavik/r2/cmd/drive",
      JSON.stringify({ left_mm_s: 200, right_mm_s: 200, id: "old-1", stamp }), { qos: 1 });
    const result = await answered;
    assert.equal(result.reason, "stale-command");
    assert.equal(result.ok, false);
    assert.ok(!(await wireFor(robot, 300)).some((v) => v.startsWith("BE2")));
  } finally {
    await client.endAsync();
  }
});

// The CSV the page writes: its rows' times (ms since the epoch).
async function csvTimes(p, section) {
  const [download] = await Promise.all([p.waitForEvent("download"),
    section.getByRole("button", { name: "Download CSV" }).click()]);
  const lines = fs.readFileSync(await download.path(), "utf8").trim().split("\n");
  const header = lines[0].split(",");
  assert.equal(header[0], "t_s");
  assert.equal(header.at(-1), "started_utc");
  const started = Date.parse(lines[1].split(",").at(-1));
  return lines.slice(1).map((line) => started + Number(line.split(",")[0]) * 1000);
}

test("the plots keep their history over the broker's restart and a page switch", async () => {
  const section = await openRobot(page, "r1");
  await sleep(1500);
  const before = await csvTimes(page, section);
  assert.ok(before.length >= 5, "rows before: " + before.length);
  await fleet.killBroker();
  await page.getByText("connecting again").waitFor();
  await fleet.startBroker();
  await page.getByText("as operator").waitFor({ timeout: 15000 });
  await openRobot(page, "r2");
  const r1 = await openRobot(page, "r1");
  await sleep(1500);
  const afterward = await csvTimes(page, r1);
  assert.equal(afterward[0], before[0], "the first row is still there");
  assert.ok(afterward.length > before.length + 3, `rows ${before.length} -> ${afterward.length}`);
  const plotted = await r1.locator('[data-plot="battery"] canvas').count();
  assert.equal(plotted, 1);
});

test("a killed bridge turns its robot offline", async () => {
  await fleet.robot("r2").killBridge("SIGKILL");
  await robotSection(page, "r2").getByText(/^offline/).waitFor({ timeout: 5000 });
  await robotSection(page, "r1").getByText("online", { exact: true }).waitFor();
});
