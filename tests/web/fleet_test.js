// The fleet page in headless Chromium against a real mosquitto (serving the
// page over its WebSocket listener), tavik-sim and two bridges, and a third
// bridge on its own simulator without --allow-drive: what it shows against
// the simulator, a switch reaching the board, the hold-to-drive and what
// ends it, the controls a viewer or a robot cannot use, a login refused, a
// robot gone offline and forgotten, a stale drive refused, and the plots'
// history over a broker's restart.
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

async function login(p, user, password = USERS[user], connected = true) {
  await p.goto(fleet.pageUrl);
  await p.getByLabel("User").fill(user);
  await p.getByLabel("Password").fill(password);
  await p.getByRole("button", { name: "Connect" }).click();
  if (connected) await p.getByText(`as ${user}`).waitFor();
}

// A second page of the same browser, logged in as `user`, closed after `use`;
// the operator's is the first page (a login is one connection at a time).
async function asUser(user, use) {
  if (user === "operator") return use(page);
  const other = await browser.newPage();
  try {
    await login(other, user);
    return await use(other);
  } finally {
    await other.close();
  }
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
  fleet = new Fleet({ build: process.env.TAVIK_BUILD || "build/default", robots: ["r1", "r2", "r10"] });
  await fleet.startBroker();
  // A long dead-man, so that a stop within it is the page's, not the bridge's own.
  await Promise.all(["r1", "r2"].map((name) => fleet.addRobot(name, { bridgeArgs: ["--dead-man", "2"] })));
  await fleet.addRobot("r10", { simulate: true, allowDrive: false });
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

test("the robots are listed in natural order, in the same columns, with the simulator's values", async () => {
  await robotSection(page, "r10").getByText("online", { exact: true }).waitFor();
  // Until its first summary a robot is stale, and sorts among those needing attention (the same draw sorts).
  await waitFor("every robot's summary", () => page.locator("section.robot .stale:not([hidden])").count()
    .then((n) => n === 0), 10000);
  assert.deepEqual(await page.locator("section.robot").evaluateAll((all) => all.map((s) => s.dataset.robot)),
    ["r1", "r2", "r10"]);
  const left = await page.locator("section.robot .state").evaluateAll((all) =>
    all.map((e) => e.getBoundingClientRect().left));
  assert.ok(left.every((x) => x === left[0]), "the state column: " + left);
  for (const name of ["r1", "r2"]) {
    const section = robotSection(page, name);
    await section.getByText("online", { exact: true }).waitFor();
    const status = await fleet.robot(name).simCommand("status");
    const volts = Number(/battery ([\d.]+) V/.exec(status)[1]);
    await section.getByText(volts.toFixed(1) + " V").first().waitFor();
    const ranges = /ranges ([\d -]+) mm/.exec(status)[1].trim().split(/\s+/).map(Number);
    const opened = await openRobot(page, name);
    // Its telemetry is subscribed when it opens: the panels fill with the next poll.
    await opened.locator(".range-list output").first().getByText(/ m$/).waitFor();
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

// Before any press: the drive disabled, and why.
const cannotDrive = [
  { user: "viewer", robot: "r2", why: /Commands: the broker does not let viewer command this robot \(not authorized\)/,
    stop: false },
  { user: "operator", robot: "r10", why: /Drive: robot accepts drive: no \(its bridge runs without --allow-drive\)/,
    stop: true },
];
for (const { user, robot, why, stop } of cannotDrive) {
  test(`${user} on ${robot}: the drive is disabled and says why before a press`, () => asUser(user, async (p) => {
    const section = await openRobot(p, robot);
    await section.getByText(why).waitFor();
    await section.locator(".about", { hasText: `robot accepts drive: ${stop ? "no" : "yes"}` }).waitFor();
    for (const move of ["Forward", "Left", "Right", "Back"])
      assert.equal(await section.getByRole("button", { name: move }).isDisabled(), true, move);
    assert.equal(await section.getByRole("button", { name: "Stop", exact: true }).isEnabled(), stop);
    if (fleet.robot(robot).sim) {
      await fleet.robot(robot).velocities();
      await p.keyboard.down("ArrowUp");
      await p.keyboard.up("ArrowUp");
      assert.ok(!(await wireFor(fleet.robot(robot), 300)).some((v) => v !== "BE;"), "nothing moved");
    }
  }));
}

test("Stop all on a viewer's page says why each robot got nothing", () => asUser("viewer", async (p) => {
  await robotSection(p, "r1").getByText("online", { exact: true }).waitFor();
  await p.getByRole("button", { name: "Stop all" }).click();
  await robotSection(p, "r1")
    .getByText(/stop all: (not sent: the broker does not let viewer|refused by the broker: not authorized)/).waitFor();
}));

// One attempt, then no more until the user connects again.
for (const [user, password] of [["operator", "wrong"], ["nobody", "nothing"]]) {
  test(`a login the broker refuses (${user}) says so and is not tried again`, async () => {
    const p = await browser.newPage();
    try {
      // How mosquitto logs a WebSocket client it refused.
      const refusals = () => (fs.readFileSync(path.join(fleet.dir, "mosquitto.log"), "utf8")
        .match(/Client <unknown> (closed its connection|disconnected, not authori[sz]ed)/g) || []).length;
      const before = refusals();
      await login(p, user, password, false);
      await p.getByText(new RegExp(`The broker refused user ${user}: (wrong user name or password|not authorized)`)).waitFor();
      await sleep(2500);
      assert.equal(await p.getByText("connecting again").count(), 0);
      assert.equal(await p.getByRole("button", { name: "Connect" }).isVisible(), true);
      assert.equal(refusals() - before, 1, "one attempt");
    } finally {
      await p.close();
    }
  });
}

test("the max distance, robot control, battery axis and icon show what the robot has", async () => {
  const section = await openRobot(page, "r1");
  assert.equal(await section.locator(".max-distance").inputValue(), "8");
  await section.getByRole("switch", { name: "Robot control" }).click();
  await section.getByText("robot control on: ok").waitFor();
  await asUser("viewer", async (p) => {
    const other = await openRobot(p, "r1");
    await waitFor("the servo on another page", async () =>
      (await other.getByRole("switch", { name: "Robot control" }).getAttribute("aria-checked")) === "true", 5000);
  });
  await section.getByRole("switch", { name: "Robot control" }).click();
  await section.getByText("robot control off: ok").waitFor();
  await sleep(1000);
  const [least, most] = await page.evaluate(() => {
    const y = robots.get("r1").plots.plots[0][0].scales.y;
    return [y.min, y.max];
  });
  const volts = Number(/battery ([\d.]+) V/.exec(await fleet.robot("r1").simCommand("status"))[1]);
  assert.ok(least < volts && volts < most && most - least < 5, `battery axis ${least} to ${most} V`);
  const icon = await page.request.get(fleet.pageUrl + "favicon.ico");
  assert.equal(icon.status(), 200);
  assert.deepEqual([...(await icon.body()).subarray(0, 4)], [0, 0, 1, 0]);
});

test("a drive with a stale stamp is refused and moves nothing", async () => {
  const robot = fleet.robot("r2");
  // r2's own operator: the page has the operator's login, and a login is one connection.
  const client = mqtt.connect(fleet.mqttUrl, { protocolVersion: 5, username: "operator-r2",
    password: USERS["operator-r2"] });
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
  for (const name of ["r1", "r2", "r10"])
    await robotSection(page, name).getByText("unknown (broker unreachable)").waitFor();
  assert.equal(await page.getByText("online", { exact: true }).count(), 0);
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

test("a killed bridge turns its robot offline, its values the last known, its drive disabled", async () => {
  await fleet.robot("r2").killBridge("SIGKILL");
  const section = await openRobot(page, "r2");
  await section.getByText(/^offline/).waitFor({ timeout: 5000 });
  await robotSection(page, "r1").getByText("online", { exact: true }).waitFor();
  // Its age ticks though nothing comes.
  const age = async () => Number((await section.locator(".stale").textContent()).match(/(\d+) s ago$/)?.[1]);
  await waitFor("its age", async () => (await age()) >= 0, 5000);
  const was = await age();
  await waitFor("its age to tick", async () => (await age()) > was, 5000);
  await section.locator(".why", { hasText: /^Drive, power, .*: robot offline \(connection lost\)$/ }).waitFor();
  assert.equal(await section.getByRole("button", { name: "Forward" }).isDisabled(), true);
  await section.getByRole("button", { name: "Stop", exact: true }).click();
  await section.getByText("stop: no answer from the robot within 3 s").waitFor({ timeout: 5000 });
});

// Forget: cleared on the broker for a user who may, else hidden in the tab.
const forgetting = [
  { user: "operator", shown: /r2 hidden in this tab only: the broker does not let operator clear/, cleared: false },
  { user: "admin", shown: /r2 forgotten: its retained state is cleared on the broker/, cleared: true },
];
for (const { user, shown, cleared } of forgetting) {
  test(`${user} forgets the offline robot`, () => asUser(user, async (p) => {
    await robotSection(p, "r2").getByRole("button", { name: "Forget" }).click();
    await p.getByText(shown).waitFor();
    await robotSection(p, "r2").waitFor({ state: "detached" });
    await p.reload();
    await robotSection(p, "r1").getByText("online", { exact: true }).waitFor();
    await sleep(500);
    assert.equal(await robotSection(p, "r2").count(), 0, "still gone after a reload");
    const retained = await new Promise((resolve, reject) => {
      const client = mqtt.connect(fleet.mqttUrl, { username: "viewer", password: USERS.viewer });
      const seen = [];
      client.on("message", (topic, message, packet) => { if (packet.retain && message.length) seen.push(topic); });
      client.on("error", reject);
      client.on("connect", async () => {
        await client.subscribeAsync("tavik/r2/#");
        await sleep(500);
        await client.endAsync();
        resolve(seen);
      });
    });
    assert.deepEqual(retained.includes("tavik/r2/state"), !cleared, "retained: " + retained);
  }));
}
