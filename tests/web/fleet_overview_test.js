// The fleet page's overview of many robots, in headless Chromium against a
// real mosquitto and the bench's fleet publisher (200 robots on one
// connection, one faulted, one offline): every robot listed, the filter, the
// order, the counts, and what the page's client receives: summaries and
// states only, and one robot's telemetry while it is opened.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const playwright = require("playwright-core");
const { Fleet, openPage, sleep, waitFor } = require("../../scripts/fleet_rig.js");
const { startFleetPublisher, PUBLISHER } = require("../../bench/fleet_publisher.js");

const ROBOTS = 200;
let fleet;
let publisher;
let browser;
let page;

const rows = () => page.locator("section.robot:not([hidden])").evaluateAll((all) => all.map((s) => s.dataset.robot));

// The topics the page's client received since the last call, with how many of each.
async function received() {
  return page.evaluate(() => {
    const seen = window.seen || {};
    window.seen = {};
    if (!window.counting) {
      window.counting = true;
      client.on("message", (topic) => { window.seen[topic] = (window.seen[topic] || 0) + 1; });
    }
    return seen;
  });
}
const telemetry = (seen) => Object.keys(seen).filter((t) => !/\/(state|summary|cmd\/result)$/.test(t));

before(async () => {
  fleet = new Fleet({ build: process.env.TAVIK_BUILD || "build/default", users: PUBLISHER.users, acl: PUBLISHER.acl });
  await fleet.startBroker();
  publisher = await startFleetPublisher({ url: fleet.mqttUrl, count: ROBOTS, faulted: 1, offline: 1 });
  ({ browser, page } = await openPage(playwright, fleet));
});

after(async () => {
  await browser?.close();
  await publisher?.stop();
  await fleet?.stop();
  if (!process.exitCode) fleet?.removeDir();
  else console.log("the rig's logs are in " + fleet?.dir);
});

test("every robot is listed, those needing attention first, with the counts", async () => {
  const [faulted] = publisher.faulted;
  const [offline] = publisher.offline;
  await page.getByText(`${ROBOTS} robots · ${ROBOTS - 1} online · 0 stale · 1 faulted`).waitFor({ timeout: 15000 });
  await waitFor("the order", async () => (await rows()).slice(0, 2).join() === [faulted, offline].join(), 5000);
  const listed = await rows();
  assert.equal(listed.length, ROBOTS);
  assert.deepEqual(listed.slice(2), publisher.names.filter((n) => n !== faulted && n !== offline), "the rest by name");
  const first = page.locator("section.robot").first();
  await first.getByText("DRVB ERROR: no-reply").waitFor();
  // No robot has its controls built before it is first opened.
  assert.equal(await page.locator("section.robot .detail").count(), 0);
});

const filters = [
  { text: "robot001", shown: Array.from({ length: 10 }, (_, i) => "robot00" + (10 + i)) },
  { text: "ROBOT0200", shown: ["robot0200"] },
  { text: "r2d2", shown: [] },
  { text: "", shown: null },  // all again
];
for (const { text, shown } of filters) {
  test(`the filter "${text}" shows ${shown ? shown.length : "every"} robot(s)`, async () => {
    await page.getByLabel("Filter").fill(text);
    const listed = await rows();
    if (shown) assert.deepEqual([...listed].sort(), shown);
    else assert.equal(listed.length, ROBOTS);
  });
}

test("the overview receives no telemetry; an opened robot its own only, until it is closed", async () => {
  await received();
  // Standing robots send their summary every 10 s, each at its own moment.
  const overview = {};
  await waitFor("summaries", async () => {
    Object.assign(overview, await received());
    return Object.keys(overview).some((t) => t.endsWith("/summary"));
  }, 12000, 500);
  assert.deepEqual(telemetry(overview), [], "closed: summaries and states only");

  const name = "robot0005";
  const section = page.getByRole("region", { name, exact: true });
  await section.getByRole("button", { name, exact: true }).click();
  await waitFor("its telemetry", () => page.evaluate((n) => window.seen[`tavik/${n}/battery`] > 0, name), 5000);
  await sleep(1500);
  const opened = await received();
  const topics = telemetry(opened);
  for (const what of ["battery", "ranges", "wheels", "diagnostics"])
    assert.ok(topics.includes(`tavik/${name}/${what}`), `${what}: ${topics}`);
  assert.ok(!topics.includes(`tavik/${name}/odom`), "odom, which the page does not draw");
  assert.deepEqual(topics.filter((t) => !t.startsWith(`tavik/${name}/`)), [], "no other robot's");
  await section.getByText(/^Battery \d+\.\d V/).waitFor();

  await section.getByRole("button", { name, exact: true }).click();
  await sleep(500);  // what was on its way when the unsubscription went
  await received();
  await sleep(1500);
  assert.deepEqual(telemetry(await received()), [], "closed again");
});
