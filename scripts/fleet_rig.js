// A fleet on this machine: a mosquitto on the example configuration
// (packaging/web/tavik-web.conf, with tls also tavik-web-tls.conf and
// scripts/tavik-certs's certificates) rewritten for free 127.0.0.1 ports and
// the rig's files, the users and ACL of packaging/web/tavik-web.acl (and more
// of a test's), and
// robots, each a tavik-sim and a bridge (or a bridge on its built-in
// simulator) logged in as its own name. Used by `make fleet` (scripts/fleet),
// the browser tests (tests/web) and the page's bench.
"use strict";

const { spawn, execFileSync } = require("node:child_process");
const fs = require("node:fs");
const net = require("node:net");
const os = require("node:os");
const path = require("node:path");

const SOURCE = path.resolve(__dirname, "..");
// The demo's users and passwords, for the ACL's roles; a robot's login is its name.
const USERS = { operator: "operator-pw", "operator-r2": "operator-r2-pw", viewer: "viewer-pw", admin: "admin-pw" };
const robotPassword = (name) => name + "-pw";

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once("error", reject);
    server.listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function listening(port) {
  return new Promise((resolve) => {
    const socket = net.connect(port, "127.0.0.1");
    socket.once("connect", () => { socket.destroy(); resolve(true); });
    socket.once("error", () => resolve(false));
  });
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function waitFor(what, check, timeoutMs = 10000, everyMs = 50) {
  const end = Date.now() + timeoutMs;
  while (Date.now() < end) {
    if (await check()) return;
    await sleep(everyMs);
  }
  throw new Error("timed out waiting for " + what);
}

// A child that ends when the rig ends; its output goes to a log file, or
// with `answers` its standard output is kept in child.output and its
// standard input is open.
function start(program, args, log, options = {}) {
  const out = fs.openSync(log, "a");
  const child = spawn(program, args, {
    stdio: [options.answers ? "pipe" : "ignore", options.answers ? "pipe" : out, out],
    env: options.env,
  });
  fs.closeSync(out);
  if (options.answers) {
    child.output = "";
    child.stdout.on("data", (data) => { child.output += data.toString("latin1"); });
  }
  child.exited = new Promise((resolve) => child.once("exit", (code, signal) => resolve({ code, signal })));
  return child;
}

async function stopChild(child, signal = "SIGTERM") {
  if (!child || child.exitCode !== null || child.signalCode !== null) return;
  child.kill(signal);
  const timer = setTimeout(() => child.kill("SIGKILL"), 3000);
  await child.exited;
  clearTimeout(timer);
}

class Robot {
  constructor(fleet, name) {
    this.fleet = fleet;
    this.name = name;
    this.dir = path.join(fleet.dir, name);
    this.sim = null;
    this.bridge = null;
  }

  // simulate: the bridge's built-in simulator instead of tavik-sim;
  // allowDrive: the bridge's --allow-drive.
  async start({ simulate = false, allowDrive = true, bridgeArgs = [] } = {}) {
    fs.mkdirSync(this.dir, { recursive: true });
    const env = { ...process.env, TAVIK_COM_DIR: this.dir };
    let ports = ["--simulate"];
    if (!simulate) {
      this.sim = start(this.fleet.sim, ["--link-dir", this.dir], path.join(this.dir, "sim.log"), { answers: true });
      await waitFor(this.name + "'s simulator",
        () => fs.existsSync(path.join(this.dir, "COM7")) && fs.existsSync(path.join(this.dir, "COM8")));
      ports = ["--psb", "COM7", "--drvb", "COM8"];
    }
    await this.startBridge(ports, env, allowDrive ? ["--allow-drive", ...bridgeArgs] : bridgeArgs);
  }

  // On the TLS listener with its certificate where the fleet has one, else with its password.
  async startBridge(ports = this.ports, env = this.env, bridgeArgs = this.bridgeArgs) {
    Object.assign(this, { ports, env, bridgeArgs });
    let login;
    if (this.fleet.tls) {
      const pki = this.fleet.pki;
      login = ["--broker", this.fleet.mqttsUrl, "--ca-file", path.join(pki, "ca/ca.crt"),
        "--cert", path.join(pki, `robots/${this.name}.crt`), "--key", path.join(pki, `robots/${this.name}.key`)];
    } else {
      const passwordFile = path.join(this.dir, "password");
      fs.writeFileSync(passwordFile, robotPassword(this.name) + "\n", { mode: 0o600 });
      login = ["--broker", this.fleet.mqttUrl, "--password-file", passwordFile];
    }
    this.bridge = start(this.fleet.tavik, [...ports, "bridge", ...login, "--name", this.name, ...bridgeArgs],
      path.join(this.dir, "bridge.log"), { env });
  }

  // One command to the simulator (tavik-sim's command language); its answer.
  async simCommand(line) {
    const before = this.sim.output.length;
    this.sim.stdin.write(line + "\n");
    let size = before;
    await waitFor("the simulator's answer to " + line, () => {
      const now = this.sim.output.length;
      const settled = now > before && now === size;
      size = now;
      return settled;
    }, 5000, 10);
    const answer = this.sim.output.slice(before);
    this.sim.output = "";
    return answer;
  }

  // The drive board's velocity requests since the last ask: "BE200;200", "BE;" for 0,0.
  async velocities() {
    const hex = (await this.simCommand("received drvb")).replace(/[^0-9a-fA-F]/g, "");
    const text = Buffer.from(hex, "hex").toString("latin1");
    return [...text.matchAll(/BE(-?\d*;-?\d*)/g)].map((m) => "BE" + m[1]);
  }

  async killBridge(signal = "SIGKILL") { await stopChild(this.bridge, signal); }

  async stop() {
    await stopChild(this.bridge);
    await stopChild(this.sim);
  }
}

class Fleet {
  // build: the build tree (build/default); dir: a directory of the rig's own;
  // robots: the names the broker knows (a password each, with tls a
  // certificate); tls: the bridges on the TLS listener, the page's wss:// too;
  // users: more logins and their passwords; acl: more lines for the ACL;
  // config: more lines for the broker's configuration.
  constructor({ build, dir, webDir, robots = ["r1", "r2"], tls = false, users = {}, acl = "", config = [] }) {
    this.build = path.resolve(build);
    this.dir = dir || fs.mkdtempSync(path.join(this.build, "fleet-"));
    fs.mkdirSync(this.dir, { recursive: true });
    this.webDir = webDir || path.join(this.build, "web");
    this.tavik = path.join(this.build, "tools/tavik/tavik");
    this.sim = path.join(this.build, "tools/tavik-sim/tavik-sim");
    this.robots = new Map();
    this.broker = null;
    this.users = { ...USERS, ...users };
    this.acl = acl;
    this.config = config;
    this.robotNames = robots;
    this.tls = tls;
    this.pki = path.join(this.dir, "pki");
    for (const program of [this.tavik, this.sim, path.join(this.webDir, "index.html")]) {
      if (!fs.existsSync(program)) throw new Error(program + " is missing: build it first");
    }
  }

  get mqttUrl() { return `mqtt://127.0.0.1:${this.mqttPort}`; }
  get pageUrl() { return `http://127.0.0.1:${this.wsPort}/`; }
  get wsUrl() { return `ws://127.0.0.1:${this.wsPort}`; }
  // The broker's certificate names localhost and 127.0.0.1.
  get mqttsUrl() { return `mqtts://127.0.0.1:${this.mqttsPort}`; }
  get wssUrl() { return `wss://127.0.0.1:${this.wssPort}`; }

  // scripts/tavik-certs's lab in dir/pki: the CA, the broker's and each robot's.
  makeCertificates(pki = this.pki, robots = this.robotNames) {
    const certs = path.join(SOURCE, "scripts/tavik-certs");
    execFileSync(certs, ["-d", pki, "ca"]);
    execFileSync(certs, ["-d", pki, "broker", "localhost", "127.0.0.1"]);
    execFileSync(certs, ["-d", pki, "robot", ...robots]);
  }

  // The example files, their ports and paths made the rig's.
  brokerConfiguration(passwords) {
    const acl = path.join(this.dir, "acl");
    fs.writeFileSync(acl, fs.readFileSync(path.join(SOURCE, "packaging/web/tavik-web.acl"), "utf8") + "\n" + this.acl);
    const files = {
      "/etc/mosquitto/tavik.passwd": passwords,
      "/etc/mosquitto/tavik.acl": acl,
      "/usr/share/tavik/web": this.webDir,
      "/etc/mosquitto/ca_certificates/tavik-ca.crt": path.join(this.pki, "ca/ca.crt"),
      "/etc/mosquitto/ca_certificates/tavik-crl.pem": path.join(this.pki, "ca/crl.pem"),
      "/etc/mosquitto/certs/tavik-broker.crt": path.join(this.pki, "broker/broker.crt"),
      "/etc/mosquitto/certs/tavik-broker.key": path.join(this.pki, "broker/broker.key"),
    };
    const ports = { 1883: this.mqttPort, 9001: this.wsPort, 8883: this.mqttsPort, 9443: this.wssPort };
    const examples = ["tavik-web.conf", ...(this.tls ? ["tavik-web-tls.conf"] : [])];
    const text = examples.map((f) => fs.readFileSync(path.join(SOURCE, "packaging/web", f), "utf8")).join("\n")
      .replace(/^listener (\d+)(?: 127\.0\.0\.1)?$/gm, (_, port) => `listener ${ports[port]} 127.0.0.1`)
      .replace(/^(\w+) (\/\S+)$/gm, (line, key, file) => (files[file] ? `${key} ${files[file]}` : line));
    for (const file of Object.keys(files)) {
      if (text.includes(file)) throw new Error(`the example configuration's ${file} is not rewritten`);
    }
    return [text, "persistence false", `user ${os.userInfo().username}`, ...this.config, ""].join("\n");
  }

  async startBroker() {
    if (!this.mqttPort) {
      for (const port of ["mqttPort", "wsPort", "mqttsPort", "wssPort"]) this[port] = await freePort();
      const passwords = path.join(this.dir, "passwords");
      fs.writeFileSync(passwords, "");
      const logins = [...Object.entries(this.users), ...this.robotNames.map((name) => [name, robotPassword(name)])];
      for (const [user, password] of logins) execFileSync("mosquitto_passwd", ["-b", passwords, user, password]);
      if (this.tls) this.makeCertificates();
      fs.writeFileSync(path.join(this.dir, "mosquitto.conf"), this.brokerConfiguration(passwords));
    }
    this.broker = start("/usr/sbin/mosquitto", ["-c", path.join(this.dir, "mosquitto.conf")],
      path.join(this.dir, "mosquitto.log"));
    const ports = this.tls ? [this.mqttPort, this.wsPort, this.mqttsPort, this.wssPort] : [this.mqttPort, this.wsPort];
    await waitFor("mosquitto", async () => (await Promise.all(ports.map(listening))).every(Boolean));
  }

  async killBroker() { await stopChild(this.broker, "SIGKILL"); }

  async addRobot(name, options) {
    if (!this.robotNames.includes(name)) throw new Error(`robot ${name} has no login: give it in the rig's robots`);
    const robot = new Robot(this, name);
    this.robots.set(name, robot);
    await robot.start(options);
    return robot;
  }

  robot(name) { return this.robots.get(name); }

  async stop() {
    await Promise.all([...this.robots.values()].map((r) => r.stop()));
    await stopChild(this.broker);
  }

  removeDir() { fs.rmSync(this.dir, { recursive: true, force: true }); }
}

// Headless Chromium, as Debian installs it, through playwright-core. With
// a CA certificate, Chromium trusts it as a user would add it: in the NSS
// database of its own home (HOME/.pki/nssdb, made with certutil).
const CHROMIUM = "/usr/bin/chromium";
async function launchChromium(playwright, dir, { trustCa } = {}) {
  const profile = fs.mkdtempSync(path.join(dir, "chromium-"));
  let env;
  if (trustCa) {
    const nssdb = "sql:" + path.join(profile, ".pki/nssdb");
    fs.mkdirSync(path.join(profile, ".pki/nssdb"), { recursive: true });
    execFileSync("certutil", ["-N", "--empty-password", "-d", nssdb]);
    execFileSync("certutil", ["-A", "-d", nssdb, "-n", "Tavik lab CA", "-t", "C,,", "-i", trustCa]);
    env = { ...process.env, HOME: profile };
  }
  return playwright.chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    env,
    headless: true,
    viewport: { width: 1280, height: 1000 },
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
      "--disable-component-update", "--disable-sync"],
  });
}

// Chromium on the fleet's page, logged in as `user`: { browser, page }.
async function openPage(playwright, fleet, user = "operator") {
  const browser = await launchChromium(playwright, fleet.dir);
  const page = browser.pages()[0] || (await browser.newPage());
  await page.goto(fleet.pageUrl);
  await page.getByLabel("User").fill(user);
  await page.getByLabel("Password").fill(USERS[user]);
  await page.getByRole("button", { name: "Connect" }).click();
  await page.getByText("as " + user).waitFor();
  return { browser, page };
}

module.exports = { Fleet, USERS, robotPassword, launchChromium, openPage, sleep, waitFor };
