// A robot's identity and the encrypted links, on a real mosquitto running the
// example configuration (plain listeners and the TLS ones, the example ACL)
// with scripts/tavik-certs's certificates: what each login may do, checked on
// the broker's MQTT 5 answers and on the simulated boards; who the TLS
// listener refuses; and the page over wss:// in Chromium, which trusts the
// lab's CA through its own NSS database.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const https = require("node:https");
const path = require("node:path");
const { spawnSync } = require("node:child_process");
const mqtt = require("mqtt");
const playwright = require("playwright-core");
const { Fleet, USERS, launchChromium, sleep, waitFor } = require("../../scripts/fleet_rig.js");

const NOT_AUTHORIZED = 0x87;
let fleet;

const pki = (file) => path.join(fleet.pki, file);
const robotTls = (name, dir = fleet.pki) => ({
  ca: fs.readFileSync(path.join(fleet.pki, "ca/ca.crt")),
  cert: fs.readFileSync(path.join(dir, `robots/${name}.crt`)),
  key: fs.readFileSync(path.join(dir, `robots/${name}.key`)),
});

// Connected, or the reason it was not (bounded: no reconnects).
function connect(url, options) {
  return new Promise((resolve) => {
    const client = mqtt.connect(url, { protocolVersion: 5, reconnectPeriod: 0, connectTimeout: 5000, ...options });
    const refused = (why) => { client.end(true); resolve({ refused: why }); };
    client.once("connect", () => resolve({ client }));
    client.once("error", (err) => refused(err.message));
    client.once("close", () => refused("closed"));
  });
}

async function login(who) {
  const options = who.startsWith("r") ? [fleet.mqttsUrl, robotTls(who)]
    : [fleet.mqttUrl, { username: who, password: USERS[who] }];
  const { client, refused } = await connect(...options);
  assert.ok(client, `${who} refused: ${refused}`);
  return client;
}

// The broker's reason code on the PUBACK (QoS 1): 0 taken, 0x87 not authorized.
const publishCode = (client, topic, payload) =>
  client.publishAsync(topic, payload, { qos: 1 }).then(() => 0, (err) => err.code);

const drive = JSON.stringify({ left_mm_s: 200, right_mm_s: 200 });
const moved = async (robot) => {
  await sleep(600);
  return (await robot.velocities()).some((v) => v.startsWith("BE2"));
};

before(async () => {
  fleet = new Fleet({ build: process.env.TAVIK_BUILD || "build/default", robots: ["r1", "r2"], tls: true });
  await fleet.startBroker();
  // r1's bridge comes later: the tests below log in as r1 themselves.
  await fleet.addRobot("r2", { bridgeArgs: ["--dead-man", "0.2"] });
  await online("r2");
});

// Until the robot's bridge says online (the operator's view of its retained state).
async function online(name) {
  const operator = await login("operator");
  try {
    let state = "";
    operator.on("message", (topic, message) => { state = message.toString(); });
    await operator.subscribeAsync(`tavik/${name}/state`);
    await waitFor(name + " online", () => state.includes('"online"'));
  } finally {
    await operator.endAsync();
  }
}

after(async () => {
  await fleet?.stop();
  if (!process.exitCode) fleet?.removeDir();
  else console.log("the rig's logs are in " + fleet?.dir);
});

const publishing = [
  { who: "r1", topic: "tavik/r2/cmd/drive", code: NOT_AUTHORIZED, moves: false },
  { who: "r1", topic: "tavik/r2/state", code: NOT_AUTHORIZED },
  { who: "r1", topic: "tavik/r1/battery", code: 0 },
  { who: "r1", topic: "tavik/r1/cmd/result", code: 0 },
  { who: "viewer", topic: "tavik/r2/cmd/drive", code: NOT_AUTHORIZED, moves: false },
  { who: "operator-r2", topic: "tavik/r1/cmd/drive", code: NOT_AUTHORIZED },
  { who: "operator-r2", topic: "tavik/r2/cmd/drive", code: 0, moves: true },
  { who: "operator", topic: "tavik/r2/cmd/drive", code: 0, moves: true },
];
for (const { who, topic, code, moves } of publishing) {
  test(`${who} publishing ${topic}: ${code ? "not authorized" : "taken"}`, async () => {
    const client = await login(who);
    try {
      const r2 = fleet.robot("r2");
      await r2.velocities();
      assert.equal(await publishCode(client, topic, topic.endsWith("drive") ? drive : "{}"), code);
      if (moves !== undefined) assert.equal(await moved(r2), moves, "r2's board moved");
    } finally {
      await client.endAsync();
    }
  });
}

test("r1 reads its own commands and not r2's", async () => {
  const r1 = await login("r1");
  const operator = await login("operator");
  try {
    const seen = [];
    r1.on("message", (topic) => seen.push(topic));
    await r1.subscribeAsync(["tavik/r1/cmd/#", "tavik/r2/cmd/#"], { qos: 1 });
    for (const name of ["r1", "r2"]) await operator.publishAsync(`tavik/${name}/cmd/nothing`, "{}", { qos: 1 });
    await waitFor("r1's own command", () => seen.includes("tavik/r1/cmd/nothing"), 5000);
    await sleep(300);
    assert.deepEqual(seen.filter((t) => !t.startsWith("tavik/r1/")), []);
  } finally {
    await r1.endAsync();
    await operator.endAsync();
  }
});

// Another lab's CA, made by the same script.
const refusedLinks = [
  { what: "a certificate from another CA", url: () => fleet.mqttsUrl, options: () => {
    const other = path.join(fleet.dir, "other-pki");
    fleet.makeCertificates(other, ["r1"]);
    return robotTls("r1", other);
  } },
  { what: "no certificate", url: () => fleet.mqttsUrl, options: () => ({ ca: fs.readFileSync(pki("ca/ca.crt")) }) },
  { what: "plain MQTT", url: () => `mqtt://127.0.0.1:${fleet.mqttsPort}`,
    options: () => ({ username: "operator", password: USERS.operator }) },
];
for (const { what, url, options } of refusedLinks) {
  test(`the TLS listener refuses ${what}`, async () => {
    const { client, refused } = await connect(url(), options());
    client?.end(true);
    assert.ok(refused, "connected");
  });
}

test("a bridge with another CA's certificate is not let in, and says why", async () => {
  const other = path.join(fleet.dir, "other-pki");
  if (!fs.existsSync(other)) fleet.makeCertificates(other, ["r1"]);
  const { stdout } = spawnSync("timeout", ["-s", "TERM", "4", fleet.tavik, "--simulate", "bridge",
    "--broker", fleet.mqttsUrl, "--name", "r1", "--ca-file", pki("ca/ca.crt"),
    "--cert", path.join(other, "robots/r1.crt"), "--key", path.join(other, "robots/r1.key")], { encoding: "utf8" });
  assert.doesNotMatch(stdout, /connected to/);
  assert.match(stdout, /cannot connect to mqtts:/);
});

test("the page over wss:// logs in, shows both robots and drives r2; served over https it takes wss://", async () => {
  await fleet.addRobot("r1");
  const browser = await launchChromium(playwright, fleet.dir, { trustCa: pki("ca/ca.crt") });
  try {
    const page = browser.pages()[0] || (await browser.newPage());
    await page.goto(`${fleet.pageUrl}?broker=${encodeURIComponent(fleet.wssUrl)}`);
    await page.getByLabel("User").fill("operator");
    await page.getByLabel("Password").fill(USERS.operator);
    await page.getByRole("button", { name: "Connect" }).click();
    await page.getByText(`Connected to ${fleet.wssUrl} as operator`).waitFor();
    for (const name of ["r1", "r2"])
      await page.getByRole("region", { name, exact: true }).getByText("online", { exact: true }).waitFor();
    const r2 = page.getByRole("region", { name: "r2", exact: true });
    await r2.getByRole("button", { name: "r2", exact: true }).click();
    await fleet.robot("r2").velocities();
    await r2.getByRole("button", { name: "Forward" }).hover();
    await page.mouse.down();
    await waitFor("the drive on r2's wire", async () =>
      (await fleet.robot("r2").velocities()).some((v) => v.startsWith("BE2")), 5000);
    await page.mouse.up();
    // Served over https (here by Node, as a lab's web server would), it logs in over wss:// by default.
    const server = https.createServer({ cert: fs.readFileSync(pki("broker/broker.crt")),
      key: fs.readFileSync(pki("broker/broker.key")) }, (request, response) =>
      fs.createReadStream(path.join(fleet.webDir, path.basename(request.url.split("?")[0]) || "index.html"))
        .on("error", () => response.writeHead(404).end()).pipe(response));
    await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
    try {
      await page.goto(`https://127.0.0.1:${server.address().port}/`);
      assert.equal(await page.getByLabel("Broker").inputValue(), "wss://127.0.0.1:9443");
    } finally {
      server.close();
    }
  } finally {
    await browser.close();
  }
});

// Each login is its client id: naming the bridge's client id (its own,
// or the login's) takes no one's session.
test("another login naming r1's client id does not push r1's bridge off", async () => {
  const log = path.join(fleet.dir, "r1/bridge.log");
  const before = fs.readFileSync(log, "utf8");
  for (const clientId of ["r1", "tavik-bridge-r1"]) {
    const { client } = await connect(fleet.mqttUrl, { clientId, username: "operator", password: USERS.operator });
    await client.endAsync();
  }
  await sleep(1000);
  assert.equal(fs.readFileSync(log, "utf8").slice(before.length), "");
});
