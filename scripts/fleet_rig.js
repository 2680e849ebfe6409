// A fleet on this machine: a mosquitto with its own configuration on free
// 127.0.0.1 ports (MQTT, and WebSockets serving the fleet page), the users
// and ACL of packaging/web/tavik-web.acl (and more of a test's), and robots, each a tavik-sim and
// a bridge (or a bridge on its built-in simulator). Used by `make fleet`
// (scripts/fleet), the browser tests (tests/web) and the page's bench.
"use strict";

const { spawn, execFileSync } = require("node:child_process");
const fs = require("node:fs");
const net = require("node:net");
const os = require("node:os");
const path = require("node:path");

const SOURCE = path.resolve(__dirname, "..");
// The demo's users and passwords, for the ACL's roles.
const USERS = { robot: "robot-pw", operator: "operator-pw", viewer: "viewer-pw" };

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

  async startBridge(ports = this.ports, env = this.env, bridgeArgs = this.bridgeArgs) {
    Object.assign(this, { ports, env, bridgeArgs });
    const passwordFile = path.join(this.fleet.dir, "robot-password");
    this.bridge = start(this.fleet.tavik, [...ports, "bridge", "--broker", this.fleet.mqttUrl, "--name", this.name,
      "--username", "robot", "--password-file", passwordFile, ...bridgeArgs],
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
  // users: more users and their passwords; acl: more lines for the ACL;
  // config: more lines for the broker's configuration.
  constructor({ build, dir, webDir, users = {}, acl = "", config = [] }) {
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
    for (const program of [this.tavik, this.sim, path.join(this.webDir, "index.html")]) {
      if (!fs.existsSync(program)) throw new Error(program + " is missing: build it first");
    }
  }

  get mqttUrl() { return `mqtt://127.0.0.1:${this.mqttPort}`; }
  get pageUrl() { return `http://127.0.0.1:${this.wsPort}/`; }
  get wsUrl() { return `ws://127.0.0.1:${this.wsPort}`; }

  async startBroker() {
    if (!this.mqttPort) {
      this.mqttPort = await freePort();
      this.wsPort = await freePort();
      const passwords = path.join(this.dir, "passwords");
      fs.writeFileSync(passwords, "");
      for (const [user, password] of Object.entries(this.users))
        execFileSync("mosquitto_passwd", ["-b", passwords, user, password]);
      fs.writeFileSync(path.join(this.dir, "robot-password"), USERS.robot + "\n", { mode: 0o600 });
      const acl = path.join(this.dir, "acl");
      fs.writeFileSync(acl, fs.readFileSync(path.join(SOURCE, "packaging/web/tavik-web.acl"), "utf8") + "\n" + this.acl);
      fs.writeFileSync(path.join(this.dir, "mosquitto.conf"), [
        "per_listener_settings false",
        "persistence false",
        "allow_anonymous false",
        `user ${os.userInfo().username}`,
        `password_file ${passwords}`,
        `acl_file ${acl}`,
        `listener ${this.mqttPort} 127.0.0.1`,
        "protocol mqtt",
        `listener ${this.wsPort} 127.0.0.1`,
        "protocol websockets",
        `http_dir ${this.webDir}`,
        ...this.config,
        "",
      ].join("\n"));
    }
    this.broker = start("/usr/sbin/mosquitto", ["-c", path.join(this.dir, "mosquitto.conf")],
      path.join(this.dir, "mosquitto.log"));
    await waitFor("mosquitto", async () => (await listening(this.mqttPort)) && listening(this.wsPort));
  }

  async killBroker() { await stopChild(this.broker, "SIGKILL"); }

  async addRobot(name, options) {
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

// Headless Chromium, as Debian installs it, through playwright-core.
const CHROMIUM = "/usr/bin/chromium";
async function launchChromium(playwright, dir) {
  const profile = fs.mkdtempSync(path.join(dir, "chromium-"));
  return playwright.chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    viewport: { width: 1280, height: 1000 },
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
      "--disable-component-update", "--disable-sync"],
  });
}

module.exports = { Fleet, USERS, launchChromium, sleep, waitFor };
