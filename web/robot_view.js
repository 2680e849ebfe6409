// One robot's section of the page: its line in the overview (state, version,
// ports, from its bridge's summary each board's diagnostics level, the worst
// reason and the battery, a mark when it is stale or only the last known)
// and, when opened, its controls, ranges, wheels and plots.
// It shows what it is given and reports what the user does through
// `actions`; a control that cannot work now is disabled and says why.
"use strict";

const SVG_NS = "http://www.w3.org/2000/svg";
// Where a robot sorts in the list: those needing attention first.
const ATTENTION = Object.freeze({ faulted: 0, offline: 1, stale: 2, lowBattery: 3, fine: 4 });

class RobotView {
  // actions: command(name, body, label), hold(left, right, source),
  // release(source), stop(), open(robot, opened), csv(), forget().
  constructor(name, actions) {
    this.name = name;
    this.actions = actions;
    this.maxVelocity = null;
    this.lastReading = 0;
    this.state = null;         // "online", "offline" or another word of the bridge; null: not known
    this.stateReason = "";
    this.driveAllowed = null;  // the robot's own word (its bridge's --allow-drive)
    this.link = false;         // the page's connection to the broker
    this.user = "";
    this.refused = new Set();  // the commands the broker does not let this user send here
    this.latest = {};  // the last reading of each topic, for the panels once opened
    this.summary = null;  // the bridge's last summary
    this.rank = ATTENTION.fine;  // where it sorts (ATTENTION), as of the last draw
    this.waiting = new Map();  // what came since the last draw, by topic
    this.plots = null;
    this.servo = false;      // the robot control switch as last reported or answered
    this.detail = null;      // the controls, panels and plots: built when first opened
    this.dueAt = 0;          // when its marks or rank may next change with time alone
    const root = document.getElementById("robot-template").content.firstElementChild.cloneNode(true);
    this.root = root;
    root.setAttribute("aria-label", name);
    root.dataset.robot = name;
    const found = new Map();  // each element looked up once it is there
    this.$ = (selector) => {
      if (found.has(selector)) return found.get(selector);
      const element = root.querySelector(selector);
      if (element) found.set(selector, element);
      return element;
    };
    this.$(".open").textContent = name;
    this.$(".open").title = name;
    this.$(".open").addEventListener("click", () => this.actions.open(name, !this.opened));
    this.$(".forget").addEventListener("click", () => this.actions.forget());
  }

  // The opened robot's section below its line, built once: a robot never
  // opened costs its line only.
  buildDetail() {
    if (this.detail) return;
    this.detail = document.getElementById("detail-template").content.firstElementChild.cloneNode(true);
    this.root.append(this.detail);
    this.buildDevices();
    this.buildRanges();
    this.buildDrive();
    this.$(".servo").addEventListener("click", (e) => {
      const on = e.currentTarget.getAttribute("aria-checked") !== "true";
      this.servoAsked = on;  // until the robot reports it, the bridge's answer sets the switch
      this.actions.command("servo", { on }, "robot control " + (on ? "on" : "off"));
    });
    this.$('[data-action="reset"]').addEventListener("click", () =>
      this.actions.command("reset_errors", {}, "reset wheel errors"));
    this.$('[data-action="csv"]').addEventListener("click", () => this.actions.csv());
    const select = this.$(".max-distance");
    for (const code of TAVIK.maxDistanceCodes) {
      const text = `code ${code} (${TAVIK.maxDistanceCm(code)} cm${code === TAVIK.powerUpMaxDistanceCode ? ", power-up" : ""})`;
      select.add(new Option(text, String(code)));
    }
    // The robot does not report it: the board's power-up value until a change is answered.
    select.value = String(TAVIK.powerUpMaxDistanceCode);
    this.maxDistance = select.value;
    select.addEventListener("change", () =>
      this.actions.command("max_distance", { code: Number(select.value) }, "max distance code " + select.value));
    // The fastest drive from the facts, then the markup's speed again (clamped to 100 while no max was set).
    this.$(".speed").max = String(TAVIK.fastestMmS);
    this.$(".speed").value = this.$(".speed").defaultValue;
    this.$(".speed").addEventListener("input", () => this.showSpeed());
    this.$(".servo").setAttribute("aria-checked", String(this.servo));
    if (this.maxVelocity !== null) this.showParameters({ max_velocity_mm_s: this.maxVelocity });
    this.showSpeed();
    this.showControls();
  }

  buildDevices() {
    const group = this.$(".devices");
    for (const [device, label] of TAVIK.devices) {
      const button = document.createElement("button");
      button.type = "button";
      button.setAttribute("role", "switch");
      button.setAttribute("aria-checked", "false");
      button.dataset.device = device;
      button.textContent = label;
      button.addEventListener("click", () => {
        const on = button.getAttribute("aria-checked") !== "true";
        this.actions.command("power", { device, on }, label + (on ? " on" : " off"));
      });
      group.append(button);
    }
  }

  buildRanges() {
    const svg = this.$(".rim");
    const body = document.createElementNS(SVG_NS, "circle");
    body.setAttribute("r", "30");
    body.setAttribute("class", "body");
    svg.append(body);
    const nose = document.createElementNS(SVG_NS, "path");
    nose.setAttribute("d", "M0,-30 L-8,-18 L8,-18 Z");
    nose.setAttribute("class", "nose");
    svg.append(nose);
    this.rangeMarks = TAVIK.rangePlaces.map(([name, degrees]) => {
      const beam = document.createElementNS(SVG_NS, "line");
      beam.setAttribute("class", "beam");
      beam.dataset.angle = String(degrees);
      svg.append(beam);
      const item = document.createElement("li");
      item.innerHTML = `<span>${name.replace("_", " ")}</span> <output></output>`;
      this.$(".range-list").append(item);
      return { beam, value: item.querySelector("output"), degrees };
    });
  }

  buildDrive() {
    for (const button of this.root.querySelectorAll(".hold")) {
      const move = button.dataset.move;
      const source = this.name + ":" + move;
      const press = (e) => {
        e.preventDefault();
        if (this.blocked("drive")) return;
        const [left, right] = this.velocities(move);
        this.actions.hold(left, right, source);
      };
      const letGo = () => this.actions.release(source);
      button.addEventListener("pointerdown", (e) => {
        // A touch captures the pointer by itself: let it go, so that leaving the button lets the drive go.
        if (button.hasPointerCapture?.(e.pointerId)) button.releasePointerCapture(e.pointerId);
        press(e);
      });
      for (const event of ["pointerup", "pointercancel", "pointerleave", "blur"])
        button.addEventListener(event, letGo);
      button.addEventListener("keydown", (e) => {
        if ((e.key === " " || e.key === "Enter") && !e.repeat) press(e);
      });
      button.addEventListener("keyup", (e) => {
        if (e.key === " " || e.key === "Enter") letGo();
      });
      button.addEventListener("contextmenu", (e) => e.preventDefault());
    }
    this.$('[data-action="stop"]').addEventListener("click", () => this.actions.stop());
    // The arrow keys anywhere in the opened robot's section.
    const keys = { ArrowUp: "forward", ArrowDown: "back", ArrowLeft: "left", ArrowRight: "right" };
    this.root.addEventListener("keydown", (e) => {
      const move = keys[e.key];
      if (!move || e.target.matches("input, select")) return;
      e.preventDefault();
      if (e.repeat || this.blocked("drive")) return;
      const [left, right] = this.velocities(move);
      this.actions.hold(left, right, this.name + ":key:" + e.key);
    });
    this.root.addEventListener("keyup", (e) => {
      if (keys[e.key]) this.actions.release(this.name + ":key:" + e.key);
    });
  }

  // The speed asked for, never above the robot's Max Velocity.
  speed() {
    const asked = Number(this.$(".speed").value);
    return this.maxVelocity === null ? asked : Math.min(asked, this.maxVelocity);
  }

  velocities(move) {
    const v = this.speed();
    const turn = Math.round(v / 2);
    return { forward: [v, v], back: [-v, -v], left: [-turn, turn], right: [turn, -turn] }[move];
  }

  showSpeed() {
    this.$(".speed-text").value = this.speed() + " mm/s";
  }

  setOpen(opened) {
    if (opened === this.opened) return;
    if (opened) this.buildDetail();
    this.$(".detail").hidden = !opened;
    this.$(".open").setAttribute("aria-expanded", String(opened));
    if (!opened) return;
    if (!this.plots) this.plots = new RobotPlots(this.root.querySelector(".plots"));
    for (const [what, payload] of Object.entries(this.latest)) this.showPanel(what, payload);
  }

  // One message of the robot's topics ("state", "summary", "battery", ...),
  // kept until the next draw: the page draws what came at most once an
  // animation frame, not once per message.
  show(what, payload) {
    if (what === "battery" || what === "ranges" || what === "wheels" || what === "summary") this.lastReading = Date.now();
    this.waiting.set(what, payload);
  }

  // Draws what came since the last draw: the line always, the panels only
  // while they are open (a closed robot costs little); then where it sorts.
  draw(now) {
    for (const [what, payload] of this.waiting) this.drawMessage(what, payload);
    this.waiting.clear();
    this.checkStale(now);
    this.rank = this.attention(now);
    this.dueAt = this.nextChange(now);
  }

  // When its stale mark or rank can next change with time alone: an age
  // shown ticks (by the second, past two minutes by the minute), a fresh
  // robot turns stale; without readings, nothing changes until news come.
  nextChange(now) {
    if (this.lastReading === 0) return Infinity;
    const age = now - this.lastReading;
    if (this.online && !this.stale(now))
      return this.lastReading + (this.opened ? TAVIK.staleAfterMs : TAVIK.summaryStaleAfterMs) + 1;
    const unit = age < 119500 ? 1000 : 60000;
    return this.lastReading + (Math.floor(age / unit + 0.5) + 0.5) * unit;
  }

  drawPlots(history) {
    if (this.plots && this.opened) this.plots.show(history);
  }

  // Online, as far as the page can know.
  get online() { return this.link && this.state === "online"; }

  // Stale: online, but nothing came within the summary's heartbeat (opened,
  // within TAVIK.staleAfterMs of its readings).
  stale(now) {
    const bound = this.opened ? TAVIK.staleAfterMs : TAVIK.summaryStaleAfterMs;
    return this.online && (this.lastReading === 0 || now - this.lastReading > bound);
  }

  // A board not OK, a reason, a bumper, the emergency stop or a wheel error in its last summary.
  get faulted() {
    const s = this.summary;
    if (!s) return false;
    return Object.values(s.boards || {}).some((level) => level !== "OK") || Boolean(s.reason) ||
      s.emergency_stop === true || Boolean(s.bumpers?.left || s.bumpers?.right) ||
      Boolean(s.wheel_errors?.left || s.wheel_errors?.right);
  }

  attention(now) {
    if (this.faulted) return ATTENTION.faulted;
    if (!this.online) return ATTENTION.offline;
    if (this.stale(now)) return ATTENTION.stale;
    if (this.summary?.battery_v !== undefined && this.summary.battery_v < TAVIK.lowBatteryV) return ATTENTION.lowBattery;
    return ATTENTION.fine;
  }

  drawMessage(what, payload) {
    const reading = what === "battery" || what === "ranges" || what === "wheels";
    if (reading) this.latest[what] = payload;
    if (what === "state") this.showState(payload);
    else if (what === "diagnostics") this.showDiagnostics(payload);
    else if (what === "parameters") this.showParameters(payload);
    else if (what === "battery") this.showBatterySummary(payload);
    else if (what === "summary") this.showSummary(payload);
    if (reading && this.opened) this.showPanel(what, payload);
  }

  showPanel(what, payload) {
    if (what === "battery") this.showBattery(payload);
    else if (what === "ranges") this.showRanges(payload);
    else if (what === "wheels") this.showWheels(payload);
  }
  get opened() { return this.detail !== null && !this.detail.hidden; }

  showState(payload) {
    this.state = String(payload.state);
    this.stateReason = payload.reason && this.state !== "online" ? String(payload.reason) : "";
    this.driveAllowed = typeof payload.drive_allowed === "boolean" ? payload.drive_allowed : null;
    // The servo as the robot reports it (off while its bridge does not know it).
    if (this.state === "online") {
      this.servo = payload.servo === true;
      this.$(".servo")?.setAttribute("aria-checked", String(this.servo));
    }
    const accepts = this.driveAllowed === null ? "?" : this.driveAllowed ? "yes" : "no";
    this.$(".about").textContent =
      `version ${payload.version ?? "?"} · PSB ${payload.psb || "none"} · DRVB ${payload.drvb || "none"}` +
      ` · robot accepts drive: ${accepts}`;
    this.showControls();
  }

  // The broker's connection came or went: without it no robot's state is known.
  setLink(connected, user) {
    this.link = connected;
    this.user = user ?? this.user;
    if (!connected) {
      this.refused.clear();
      this.state = null;  // whatever it was, the page cannot know it now
      this.stateReason = "";
    }
    this.showControls();
  }

  // The broker's answer to the page's probe of one command topic.
  setAllowed(command, allowed) {
    if (allowed) this.refused.delete(command);
    else this.refused.add(command);
    this.showControls();
  }

  // Why `command` cannot be sent now, or null. A stop goes out whatever the
  // robot's state: its answer (or that none came) shows beside it.
  blocked(command) {
    if (!this.link) return "not connected to the broker";
    if (command !== "stop" && this.state === null) return "robot state unknown";
    if (command !== "stop" && this.state !== "online")
      return "robot " + this.state + (this.stateReason ? " (" + this.stateReason + ")" : "");
    if (this.refused.has(command)) return `the broker does not let ${this.user} command this robot (not authorized)`;
    if (command === "drive" && this.driveAllowed === false)
      return "robot accepts drive: no (its bridge runs without --allow-drive)";
    return null;
  }

  // Enables what can work and says why the rest cannot, before any press.
  showControls() {
    const online = this.link && this.state === "online";
    this.root.classList.toggle("offline", !online);
    const state = !this.link ? "unknown" : this.state === null ? "unknown" : this.state;
    const stateText = state + (this.link ? (this.stateReason ? " (" + this.stateReason + ")" : "") : " (broker unreachable)");
    if (this.$(".state").textContent !== stateText) this.$(".state").textContent = stateText;
    this.$(".forget").hidden = !this.link || online;
    if (!this.detail) return;
    const controls = {
      drive: this.root.querySelectorAll(".hold"),
      stop: [this.$('[data-action="stop"]')],
      power: this.root.querySelectorAll("[data-device]"),
      servo: [this.$(".servo")],
      reset_errors: [this.$('[data-action="reset"]')],
      max_distance: [this.$(".max-distance")],
    };
    const why = new Map();  // reason -> the commands it stops
    for (const [command, elements] of Object.entries(controls)) {
      const reason = this.blocked(command);
      for (const element of elements) {
        element.disabled = reason !== null;
        if (reason) element.title = reason;
        else element.removeAttribute("title");
      }
      if (reason) why.set(reason, [...(why.get(reason) || []), command]);
    }
    const all = Object.keys(controls).length;
    const text = [...why].map(([reason, commands]) => {
      const which = commands.length === all ? "commands" : commands.join(", ").replaceAll("_", " ");
      return which[0].toUpperCase() + which.slice(1) + ": " + reason;
    }).join(" · ");
    this.$(".why").textContent = text;
    this.$(".why").hidden = text === "";
  }

  showSummary(payload) {
    this.summary = payload;
    this.showBatterySummary({ voltage: payload.battery_v });
    const levels = Object.entries(payload.boards || {}).map(([board, level]) => board.toUpperCase() + " " + level);
    const text = levels.join(" · ") + (payload.reason ? ": " + payload.reason : "");
    if (this.$(".boards").textContent !== text) this.$(".boards").textContent = text;
    this.root.classList.toggle("warn", this.faulted);
  }

  showBatterySummary(payload) {
    const text = typeof payload.voltage !== "number" ? "battery: " + (payload.reason ?? "not read") : payload.voltage.toFixed(1) + " V";
    const place = this.$(".battery-text");
    if (place.textContent !== text) place.textContent = text;
  }

  showBattery(payload) {
    if (payload.voltage === undefined) return;
    this.$(".voltage").value = payload.voltage.toFixed(1) + " V";
    this.$(".current").value = payload.current.toFixed(2) + " A";
    for (const button of this.root.querySelectorAll("[data-device]"))
      button.setAttribute("aria-checked", String(Boolean(payload.devices[button.dataset.device])));
  }

  showRanges(payload) {
    if (!payload.ranges_m) return;
    const farthest = 3;  // metres drawn at the rim of the picture
    payload.ranges_m.forEach((metres, i) => {
      const mark = this.rangeMarks[i];
      const r = 30 + 85 * Math.min(metres, farthest) / farthest;
      const a = (mark.degrees * Math.PI) / 180;
      const at = (d) => [(-Math.sin(a) * d).toFixed(1), (-Math.cos(a) * d).toFixed(1)];
      const [x1, y1] = at(30);
      const [x2, y2] = at(r);
      mark.beam.setAttribute("x1", x1);
      mark.beam.setAttribute("y1", y1);
      mark.beam.setAttribute("x2", x2);
      mark.beam.setAttribute("y2", y2);
      mark.value.value = metres.toFixed(2) + " m";
    });
  }

  showWheels(payload) {
    const pair = (p, f = (v) => v) => (p ? `${f(p.left)} / ${f(p.right)}` : "—");
    const yes = (b) => (b ? "closed" : "open");
    this.$(".encoders").textContent = pair(payload.encoders);
    this.$(".speeds").textContent = payload.speed_mm_s ? pair(payload.speed_mm_s) + " mm/s" : "—";
    this.$(".bumpers").textContent = pair(payload.bumpers, yes);
    this.$(".emg").textContent = payload.emergency_stop === undefined ? "—" : payload.emergency_stop ? "on" : "off";
    this.$(".wheel-errors").textContent = pair(payload.wheel_errors, (v) => "0x" + v.toString(16).padStart(2, "0"));
  }

  // The opened robot's: each board's message, over its line's levels.
  showDiagnostics(payload) {
    this.$(".boards").title = (payload.boards || [])
      .map((b) => `${b.name.toUpperCase()} ${b.level}${b.message && b.message !== "ok" ? ": " + b.message : ""}`)
      .join(" · ");
  }

  showParameters(payload) {
    if (Number.isInteger(payload.max_velocity_mm_s)) {
      this.maxVelocity = payload.max_velocity_mm_s;
      if (!this.detail) return;
      this.$(".speed").max = String(this.maxVelocity);
      this.$(".limit").textContent = "Max Velocity " + this.maxVelocity + " mm/s";
      this.showSpeed();
    }
  }

  // The answer to a command beside it: what was asked, then the outcome.
  showResult(command, label, text, ok) {
    if (command !== "stop") this.buildDetail();  // the others' places are in the detail
    const place = this.$(`.result[data-for="${command}"]`) || this.$('.result[data-for="drive"]');
    place.textContent = label + ": " + text;
    place.classList.toggle("refused", !ok);
    if (command === "servo" && ok) {
      this.servo = this.servoAsked;
      this.$(".servo").setAttribute("aria-checked", String(this.servo));
    }
    if (command === "max_distance") {
      // The select shows what the robot took: back to it when a change was not answered ok.
      if (ok) this.maxDistance = this.$(".max-distance").value;
      else this.$(".max-distance").value = this.maxDistance;
    }
  }

  // Marks readings older than TAVIK.staleAfterMs as stale, and those of a
  // robot not online (or whose state the page cannot know) as the last
  // known, with their age.
  checkStale(now) {
    const age = now - this.lastReading;
    let text = "";
    if (this.lastReading === 0) text = this.online ? "stale: no readings yet" : "";
    else if (!this.online) text = "last known " + ageText(age) + " ago";
    else if (this.stale(now)) text = "stale: last reading " + ageText(age) + " ago";
    const mark = this.$(".stale");
    if (mark.textContent !== text) mark.textContent = text;
    if (mark.hidden !== (text === "")) mark.hidden = text === "";
  }

  showHistory(history) {
    if (this.plots && this.opened) this.plots.show(history);
  }
}

function ageText(ms) {
  const s = Math.max(0, Math.round(ms / 1000));
  return s < 120 ? s + " s" : Math.round(s / 60) + " min";
}

// A value axis around what is plotted: a flat line gets a small range about
// its value, not the library's 0 to 20.
function aroundValues(least) {
  return (u, min, max) => {
    if (min === null || max === null) return [0, 1];
    const pad = Math.max((max - min) * 0.1, least);
    return [min - pad, max + pad];
  };
}

// The four plots of the opened robot, over the history's window.
class RobotPlots {
  constructor(place) {
    const make = (name, title, series, least = 0.1) => {
      const where = place.querySelector(`[data-plot="${name}"]`);
      const width = Math.max(300, where.clientWidth || 480);
      const scales = { x: { time: true }, y: { range: aroundValues(least) } };
      return new uPlot(
        { title, width, height: 150, series: [{}, ...series], scales, legend: { live: false } },
        [[]],
        where,
      );
    };
    const colours = ["#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2"];
    this.plots = [
      [make("battery", "Battery (V)", [{ label: "V", stroke: colours[0], value: (u, v) => v }], 0.5),
        (h) => { const [t, mv] = h.series("battery_mv"); return [t, mv.map((v) => (v === null ? null : v / 1000))]; }],
      [make("current", "Current (A)", [{ label: "A", stroke: colours[1] }]),
        (h) => { const [t, ma] = h.series("current_ma"); return [t, ma.map((v) => (v === null ? null : v / 1000))]; }],
      [make("speed", "Wheel speed (mm/s)", [{ label: "left", stroke: colours[0] }, { label: "right", stroke: colours[1] }], 10),
        (h) => h.series("speed_left", "speed_right")],
      [make("ranges", "Ranges (m)", TAVIK.rangePlaces.map(([name], i) => ({ label: name, stroke: colours[i] }))),
        (h) => {
          const [t, ...mm] = h.series(...TAVIK.rangePlaces.map(([name]) => "range_" + name + "_mm"));
          return [t, ...mm.map((s) => s.map((v) => (v === null ? null : v / 1000)))];
        }],
    ];
  }
  show(history) {
    for (const [plot, data] of this.plots) plot.setData(data(history));
  }
  // How many points the plots hold (the battery plot's).
  get points() { return this.plots[0][0].data[0].length; }
}
