// The fleet page: logs in to the broker (MQTT 5 over WebSockets, the
// credentials kept for this tab only), follows every robot under the topic
// prefix, keeps their history, and sends the commands the user gives,
// showing each answer, the bridge's or the broker's, beside its command.
"use strict";

const params = new URLSearchParams(location.search);
const prefix = params.get("prefix") || TAVIK.defaultPrefix;
const robots = new Map();      // name -> RobotView
const histories = HistoryStore.load(prefix);
const pending = new Map();     // command id -> {robot, command, label}
let client = null;
const decoder = new TextDecoder();
let nextId = 1;

const $ = (id) => document.getElementById(id);
const linkText = (text, bad) => {
  $("link").textContent = text;
  $("link").classList.toggle("refused", Boolean(bad));
};

function defaultBroker() {
  const scheme = location.protocol === "https:" ? "wss" : "ws";
  return location.host ? `${scheme}://${location.host}` : "ws://localhost:9001";
}

function historyOf(name) {
  if (!histories.has(name)) histories.set(name, new RobotHistory());
  return histories.get(name);
}

// A command to one robot, QoS 1 with an id and a stamp; its answer comes on
// cmd/result (the bridge's) or as the PUBACK's reason code (the broker's).
function command(robot, name, body, label, options = {}) {
  if (!client || !client.connected) {
    robots.get(robot)?.showResult(name, label, "not connected", false);
    return;
  }
  const id = "web-" + nextId++;
  pending.set(id, { robot, command: name, label });
  if (pending.size > 1000) pending.delete(pending.keys().next().value);
  const payload = JSON.stringify({ ...body, id, stamp: new Date().toISOString() });
  client.publish(`${prefix}/${robot}/cmd/${name}`, payload, { qos: 1, properties: options.properties }, (err) => {
    if (!err) return;
    pending.delete(id);
    const why = err.code ? `${err.message.replace(/^Publish error: /, "").toLowerCase()} (reason code ${err.code})` : err.message;
    robots.get(robot)?.showResult(name, label, "refused by the broker: " + why, false);
  });
}

const drive = new HoldDrive((robot, left, right) =>
  command(robot, "drive", { left_mm_s: left, right_mm_s: right }, `drive ${left},${right}`, {
    properties: { messageExpiryInterval: TAVIK.driveExpirySeconds },
  }));
new GamepadDrive(drive, () => {
  const view = [...robots.values()].find((v) => v.opened);
  return view ? { robot: view.name, speed: view.speed() } : null;
});

function stopRobot(robot) {
  if (drive.robot === robot) drive.drop();
  command(robot, "stop", {}, "stop");
}

function robotView(name) {
  if (robots.has(name)) return robots.get(name);
  const view = new RobotView(name, {
    command: (command_, body, label) => command(name, command_, body, label),
    hold: (left, right, source) => drive.hold(name, left, right, source),
    release: (source) => drive.release(source),
    stop: () => stopRobot(name),
    open: (robot, opened) => openRobot(opened ? robot : null),
    csv: () => download(name),
  });
  robots.set(name, view);
  const after = [...robots.keys()].sort().find((other) => other > name);
  $("fleet").insertBefore(view.root, after ? robots.get(after).root : null);
  $("empty").hidden = true;
  if (location.hash === "#" + encodeURIComponent(name)) openRobot(name);
  return view;
}

// Opens one robot's view (closing the others); null closes them all.
function openRobot(name) {
  for (const [other, view] of robots) view.setOpen(other === name);
  if (name) {
    history.replaceState(null, "", "#" + encodeURIComponent(name));
    robots.get(name).showHistory(historyOf(name));
  }
}

function download(name) {
  const blob = new Blob([historyOf(name).csv()], { type: "text/csv" });
  const a = document.createElement("a");
  a.href = URL.createObjectURL(blob);
  a.download = `${name}-${new Date().toISOString().replaceAll(":", "-")}.csv`;
  a.click();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
}

function onMessage(topic, message) {
  if (!topic.startsWith(prefix + "/")) return;
  const parts = topic.slice(prefix.length + 1).split("/");
  const name = parts[0];
  const what = parts.slice(1).join("/");
  if (message.length === 0) {
    // A cleared retained state: the robot is gone from the fleet.
    if (what === "state" && robots.has(name)) {
      robots.get(name).root.remove();
      robots.delete(name);
    }
    return;
  }
  let payload;
  try {
    payload = JSON.parse(decoder.decode(message));
  } catch {
    return;
  }
  if (typeof payload !== "object" || payload === null) return;
  const view = robotView(name);
  switch (what) {
    case "battery":
    case "ranges":
    case "wheels":
      historyOf(name).add(what, payload);
      view.show(what, payload);
      break;
    case "state":
      view.show(what, payload);
      if (payload.state !== "online" && drive.robot === name) drive.drop();
      break;
    case "diagnostics":
    case "parameters":
      view.show(what, payload);
      break;
    case "cmd/result": {
      const asked = payload.id !== undefined ? pending.get(String(payload.id)) : undefined;
      if (!asked) break;  // another client's command
      pending.delete(String(payload.id));
      if (payload.reason === "superseded") break;  // a newer drive is on its way
      const text = payload.ok ? "ok" : payload.reason + (payload.message ? " — " + payload.message : "");
      view.showResult(asked.command, asked.label, text, payload.ok);
      break;
    }
  }
}

function connect(broker, username, password) {
  if (client) client.end(true);
  linkText("Connecting to " + broker + " …");
  client = mqtt.connect(broker, {
    protocolVersion: 5,
    username,
    password,
    clean: true,
    reconnectPeriod: 1000,
    connectTimeout: 5000,
    clientId: "tavik-web-" + Math.random().toString(16).slice(2, 10),
  });
  client.on("connect", () => {
    linkText(`Connected to ${broker} as ${username}`);
    $("connect").hidden = true;
    $("disconnect").hidden = false;
    client.subscribe([`${prefix}/+/+`, `${prefix}/+/cmd/result`], { qos: 0 });
  });
  client.on("message", onMessage);
  const lost = (why) => {
    drive.drop();
    linkText(why, true);
  };
  client.on("close", () => lost("Connection lost; connecting again …"));
  client.on("offline", () => lost("Broker unreachable; connecting again …"));
  client.on("error", (err) => {
    lost("Broker: " + err.message);
    if (err.code === 4 || err.code === 5 || err.code === 134 || err.code === 135) client.end(true);
  });
}

$("login").addEventListener("submit", (e) => {
  e.preventDefault();
  const login = { broker: $("broker").value || defaultBroker(), user: $("user").value, password: $("password").value };
  sessionStorage.setItem("tavik-login", JSON.stringify(login));
  connect(login.broker, login.user, login.password);
});
$("disconnect").addEventListener("click", () => {
  drive.release();
  sessionStorage.removeItem("tavik-login");
  client?.end();
  client = null;
  linkText("Not connected");
  $("connect").hidden = false;
  $("disconnect").hidden = true;
});
$("stop-all").addEventListener("click", () => {
  drive.drop();
  for (const name of robots.keys()) command(name, "stop", {}, "stop all");
});

// Whatever takes the user's hand off the control lets the drive go.
addEventListener("blur", () => drive.release());
document.addEventListener("visibilitychange", () => {
  if (document.hidden) drive.release();
});
addEventListener("pagehide", () => {
  drive.release();
  for (const h of histories.values()) h.commit();
  HistoryStore.save(prefix, histories);
});

setInterval(() => {
  const now = Date.now();
  for (const [name, view] of robots) view.draw(now, historyOf(name));
}, TAVIK.drawEveryMs);

$("broker").value = defaultBroker();
try {
  const saved = JSON.parse(sessionStorage.getItem("tavik-login") || "null");
  if (saved) {
    $("broker").value = saved.broker;
    $("user").value = saved.user;
    $("password").value = saved.password;
    connect(saved.broker, saved.user, saved.password);
  }
} catch {
  sessionStorage.removeItem("tavik-login");
}
