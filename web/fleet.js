// The fleet page: logs in to the broker (MQTT 5 over WebSockets, the
// credentials kept for this tab only), follows every robot under the topic
// prefix by its state and summary (the opened one also by its telemetry,
// whose history it keeps), lists them those needing attention first, and
// sends the commands the user gives, showing each answer, the bridge's or
// the broker's, beside its command.
// It asks the broker, with nothing a robot acts on, which commands the user
// may send, says when the broker refuses the login, and shows every robot
// as unknown while the broker is out of reach.
"use strict";

const params = new URLSearchParams(location.search);
const prefix = params.get("prefix") || TAVIK.defaultPrefix;
const robots = new Map();      // name -> RobotView
const histories = HistoryStore.load(prefix);
const pending = new Map();     // command id -> {robot, command, label, timer}
const hidden = loadHidden();   // robots forgotten in this tab only: name -> when
let client = null;
let user = "";
const decoder = new TextDecoder();
let nextId = 1;
let opened = null;              // the opened robot's name: the one whose telemetry the page follows
const probed = new Set();       // the robots whose commands were asked of the broker on this connection
const dirty = new Set();        // the views with messages not drawn yet
let sweepDue = false;           // the views whose marks tick are due, and the opened one's plots
let orderDue = false;           // the list's order is

const $ = (id) => document.getElementById(id);
const linkText = (text, bad) => {
  $("link").textContent = text;
  $("link").classList.toggle("refused", Boolean(bad));
};

// The broker to log in to: ?broker=URL (wss://BROKER:9443 for TLS from a
// page served over http), else over https the broker's TLS WebSockets
// (wss://, port 9443), else the listener that served the page.
function defaultBroker() {
  if (params.get("broker")) return params.get("broker");
  if (location.protocol === "https:") return `wss://${location.hostname}:9443`;
  return location.host ? `ws://${location.host}` : "ws://localhost:9001";
}

// Natural order: r2 before r10.
const byName = new Intl.Collator(undefined, { numeric: true }).compare;

function loadHidden() {
  try {
    return new Map(Object.entries(JSON.parse(sessionStorage.getItem("tavik-hidden:" + prefix) || "{}")));
  } catch {
    return new Map();
  }
}
function saveHidden() {
  sessionStorage.setItem("tavik-hidden:" + prefix, JSON.stringify(Object.fromEntries(hidden)));
}

function notice(text, bad) {
  $("notice").textContent = text;
  $("notice").hidden = !text;
  $("notice").classList.toggle("refused", Boolean(bad));
}

function historyOf(name) {
  if (!histories.has(name)) histories.set(name, new RobotHistory());
  return histories.get(name);
}

// A command to one robot, QoS 1 with an id and a stamp; its answer comes on
// cmd/result (the bridge's) or as the PUBACK's reason code (the broker's).
function command(robot, name, body, label, options = {}) {
  const view = robots.get(robot);
  const blocked = !client || !client.connected ? "not connected to the broker" : view?.blocked(name);
  if (blocked) {
    view?.showResult(name, label, "not sent: " + blocked, false);
    return;
  }
  const id = "web-" + nextId++;
  // Every wait has its bound: a robot that does not answer is said to.
  const timer = setTimeout(() => {
    if (!pending.delete(id)) return;
    view?.showResult(name, label, `no answer from the robot within ${TAVIK.answerWithinMs / 1000} s`, false);
  }, TAVIK.answerWithinMs);
  pending.set(id, { robot, command: name, label, timer });
  if (pending.size > 1000) forget(pending.keys().next().value);
  const payload = JSON.stringify({ ...body, id, stamp: new Date().toISOString() });
  client.publish(`${prefix}/${robot}/cmd/${name}`, payload, { qos: 1, properties: options.properties }, (err) => {
    if (!err) return;
    forget(id);
    robots.get(robot)?.showResult(name, label, "refused by the broker: " + publishError(err), false);
  });
}

function forget(id) {
  clearTimeout(pending.get(id)?.timer);
  pending.delete(id);
}

function publishError(err) {
  return err.code ? `${err.message.replace(/^Publish error: /, "").toLowerCase()} (reason code ${err.code})` : err.message;
}

// The commands the bridge takes (its topic table), each asked of the broker
// once per robot and connection: an empty retained QoS 1 message on the
// command's topic clears a retained message there (none should be) and is
// one the bridge neither carries out nor answers; the broker's PUBACK says
// whether this user may publish there (MQTT 5: 0x87 not authorized).
function probe(name) {
  if (probed.has(name) || !client?.connected) return;
  probed.add(name);
  const asking = client;
  for (const command_ of TAVIK.commands) {
    asking.publish(`${prefix}/${name}/cmd/${command_}`, "", { qos: 1, retain: true }, (err) => {
      if (client !== asking) return;
      const refused = err && (err.code === 0x87 || err.code === 5);
      robots.get(name)?.setAllowed(command_, !refused);
    });
  }
}

// A robot that is gone: its retained messages cleared on the broker when the
// user may (every page then drops it), else hidden on this page until it
// reports again.
function forgetRobot(name) {
  const view = robots.get(name);
  if (!view || !client?.connected) return;
  const asking = client;
  asking.publish(`${prefix}/${name}/state`, "", { qos: 1, retain: true }, (err) => {
    if (client !== asking) return;
    if (!err) {
      for (const t of TAVIK.published.filter((t) => t.retained && t.topic !== "state"))
        asking.publish(`${prefix}/${name}/${t.topic}`, "", { qos: 1, retain: true });
      notice(`${name} forgotten: its retained state is cleared on the broker`);
      return;
    }
    hidden.set(name, Date.now());
    saveHidden();
    dropRobot(name);
    notice(`${name} hidden in this tab only: the broker does not let ${user} clear its retained state ` +
      `(${publishError(err)}); it shows again when it reports`);
  });
}

function dropRobot(name) {
  if (!robots.has(name)) return;
  if (drive.robot === name) drive.drop();
  if (opened === name) openRobot(null);
  dirty.delete(robots.get(name));
  robots.get(name).root.remove();
  robots.delete(name);
  histories.delete(name);
  $("empty").hidden = robots.size > 0;
  askDraw(true);
}

const drive = new HoldDrive((robot, left, right) =>
  command(robot, "drive", { left_mm_s: left, right_mm_s: right }, `drive ${left},${right}`, {
    properties: { messageExpiryInterval: TAVIK.driveExpirySeconds },
  }));
const gamepad = new GamepadDrive(drive, () => {
  const view = robots.get(opened);
  return view ? { robot: view.name, speed: view.speed() } : null;
});
$("gamepad").checked = localStorage.getItem("tavik-gamepad") === "on";
gamepad.enable($("gamepad").checked);
$("gamepad").addEventListener("change", () => {
  localStorage.setItem("tavik-gamepad", $("gamepad").checked ? "on" : "off");
  gamepad.enable($("gamepad").checked);
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
    forget: () => forgetRobot(name),
  });
  robots.set(name, view);
  view.setLink(Boolean(client?.connected), user);
  view.root.hidden = !matchesFilter(name);
  $("fleet").append(view.root);  // put in its place at the next draw
  orderDue = true;
  $("empty").hidden = true;
  if (location.hash === "#" + encodeURIComponent(name)) openRobot(name);
  return view;
}

// Opens one robot's view (closing the other's) and follows its telemetry;
// null closes it.
function openRobot(name) {
  if (opened !== name) {
    for (const view of [robots.get(opened), robots.get(name)].filter(Boolean)) dirty.add(view);  // their stale bounds change
    if (opened) {
      robots.get(opened)?.setOpen(false);
      follow(opened, false);
    }
    opened = name;
    if (name) follow(name, true);
    askDraw(true);
  }
  if (name) {
    robots.get(name).setOpen(true);
    probe(name);
    history.replaceState(null, "", "#" + encodeURIComponent(name));
    robots.get(name).showHistory(historyOf(name));
  }
}

// The topics the page follows of one robot only while it is opened.
const robotTopics = (name) => TAVIK.published
  .filter((t) => !TAVIK.overviewTopics.includes(t.topic) && !TAVIK.unshownTopics.includes(t.topic))
  .map((t) => `${prefix}/${name}/${t.topic}`);
function follow(name, on) {
  if (!client?.connected) return;  // the next connect subscribes the opened one's
  if (on) client.subscribe(robotTopics(name), { qos: 0 });
  else client.unsubscribe(robotTopics(name));
}

function download(name) {
  const blob = new Blob([historyOf(name).csv()], { type: "text/csv" });
  const a = document.createElement("a");
  a.href = URL.createObjectURL(blob);
  a.download = `${name}-${new Date().toISOString().replaceAll(":", "-")}.csv`;
  a.click();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
}

function onMessage(topic, message, packet) {
  if (!topic.startsWith(prefix + "/")) return;
  const parts = topic.slice(prefix.length + 1).split("/");
  const name = parts[0];
  const what = parts.slice(1).join("/");
  if (message.length === 0) {
    // A cleared retained state: the robot is gone from the fleet.
    if (what === "state") dropRobot(name);
    return;
  }
  if (hidden.has(name)) {
    // Forgotten here: what the broker kept is not news; a live message is.
    if (packet.retain || what === "cmd/result") return;
    hidden.delete(name);
    saveHidden();
  }
  let payload;
  try {
    payload = JSON.parse(decoder.decode(message));
  } catch {
    return;
  }
  if (typeof payload !== "object" || payload === null) return;
  const view = robotView(name);
  HANDLERS[what]?.(name, view, payload);
  dirty.add(view);
  askDraw(what === "state");
}

// What came is drawn (DrawPacer) at most every TAVIK.drawEveryMs (soon: at
// the next frame), as are the opened one's plots and the marks of the views
// whose marks change with time by now (each keeps when: a fresh robot is
// not visited until it may be stale): the views with news, then the list's
// order and counts.
const pacer = new DrawPacer(TAVIK.drawEveryMs, drawFrame);
const askDraw = (soon = false) => pacer.ask(soon);

function drawFrame() {
  const now = Date.now();
  if (sweepDue) for (const view of robots.values()) if (view.dueAt <= now) dirty.add(view);
  for (const view of dirty) {
    const rank = view.rank;
    view.draw(now);
    if (view.rank !== rank) orderDue = true;
  }
  dirty.clear();
  if (sweepDue && opened && robots.has(opened)) robots.get(opened).drawPlots(historyOf(opened));
  sweepDue = false;
  if (orderDue) sortList();
  showCounts();
}

// Those needing attention first (ATTENTION), each kind in natural order;
// only the sections out of place move.
function sortList() {
  orderDue = false;
  const order = [...robots.values()].sort((a, b) => a.rank - b.rank || byName(a.name, b.name));
  const list = $("fleet");
  let place = list.firstElementChild;
  for (const view of order) {
    if (view.root === place) place = place.nextElementSibling;
    else list.insertBefore(view.root, place);
  }
}

function showCounts() {
  let online = 0;
  let stale = 0;
  let faulted = 0;
  for (const view of robots.values()) {
    if (view.online) ++online;
    if (view.rank === ATTENTION.stale) ++stale;
    if (view.rank === ATTENTION.faulted) ++faulted;
  }
  const text = `${robots.size} robots · ${online} online · ${stale} stale · ${faulted} faulted`;
  if ($("counts").textContent !== text) $("counts").textContent = text;
}

const matchesFilter = (name) => name.toLowerCase().includes($("filter").value.trim().toLowerCase());
$("filter").addEventListener("input", () => {
  for (const [name, view] of robots) view.root.hidden = !matchesFilter(name);
});

// What the page does with each topic the bridge publishes (every one of its
// table, tests/web checks): by the topic under PREFIX/NAME/.
const showReading = (name, view, payload, what) => {
  historyOf(name).add(what, payload);
  view.show(what, payload);
};
const HANDLERS = Object.freeze({
  battery: (name, view, payload) => showReading(name, view, payload, "battery"),
  ranges: (name, view, payload) => showReading(name, view, payload, "ranges"),
  wheels: (name, view, payload) => showReading(name, view, payload, "wheels"),
  summary: (name, view, payload) => view.show("summary", payload),
  state: (name, view, payload) => {
    view.show("state", payload);
    if (payload.state !== "online" && drive.robot === name) drive.drop();
  },
  diagnostics: (name, view, payload) => view.show("diagnostics", payload),
  parameters: (name, view, payload) => view.show("parameters", payload),
  odom: () => {},  // not followed (TAVIK.unshownTopics)
  "cmd/result": (name, view, payload) => {
    const asked = payload.id !== undefined ? pending.get(String(payload.id)) : undefined;
    if (!asked) return;  // another client's command
    forget(String(payload.id));
    if (payload.reason === "superseded") return;  // a newer drive is on its way
    const text = payload.ok ? "ok" : payload.reason + (payload.message ? " — " + payload.message : "");
    view.showResult(asked.command, asked.label, text, payload.ok);
  },
});

// The broker's refusals of a login (MQTT 3.1.1 and 5): trying again cannot help.
const LOGIN_REFUSALS = {
  4: "wrong user name or password", 5: "not authorized",
  0x86: "wrong user name or password", 0x87: "not authorized", 0x8a: "banned", 0x8c: "bad authentication method",
};

function showLink(connected) {
  for (const view of robots.values()) {
    view.setLink(connected, user);
    dirty.add(view);
  }
  askDraw(true);
}

function connect(broker, username, password) {
  if (client) client.end(true);
  user = username;
  linkText("Connecting to " + broker + " …");
  const c = mqtt.connect(broker, {
    protocolVersion: 5,
    username,
    password,
    clean: true,
    reconnectPeriod: 1000,
    connectTimeout: 5000,
    clientId: "tavik-web-" + Math.random().toString(16).slice(2, 10),
  });
  client = c;
  let refused = false;
  c.on("connect", () => {
    linkText(`Connected to ${broker} as ${username}`);
    $("connect").hidden = true;
    $("disconnect").hidden = false;
    showLink(true);
    probed.clear();
    c.subscribe(TAVIK.overviewTopics.map((topic) => `${prefix}/+/${topic}`), { qos: 0 });
    if (opened) {
      follow(opened, true);
      probe(opened);
    }
  });
  c.on("message", onMessage);
  const lost = (why) => {
    if (client !== c || refused) return;
    drive.drop();
    showLink(false);
    linkText(why, true);
  };
  c.on("close", () => lost("Connection lost; connecting again …"));
  c.on("offline", () => lost("Broker unreachable; connecting again …"));
  c.on("error", (err) => {
    if (client !== c) return;
    const refusal = LOGIN_REFUSALS[err.code];
    if (!refusal) {
      lost("Broker: " + err.message);
      return;
    }
    // Not tried again until the user changes something and connects anew.
    refused = true;
    c.end(true);
    drive.drop();
    showLink(false);
    sessionStorage.removeItem("tavik-login");
    linkText(`The broker refused user ${username}: ${refusal} (reason code ${err.code}); not connected`, true);
    $("connect").hidden = false;
    $("disconnect").hidden = true;
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
  const closing = client;
  client = null;
  closing?.end();
  showLink(false);
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
  sweepDue = true;
  askDraw();
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
