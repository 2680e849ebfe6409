// A robot's readings over the last minutes: one row per poll of its bridge
// (battery, ranges and wheels share the poll's stamp), kept in columns for
// the plots, written as CSV in the columns of `tavik watch --csv`, and kept
// in the tab's session storage so that a reload finds them again.
"use strict";

const HISTORY_COLUMNS = [
  "t", "battery_mv", "current_ma",
  ...TAVIK.devices.map(([name]) => "power_" + name),
  ...TAVIK.rangePlaces.map(([name]) => "range_" + name + "_mm"),
  "psb_reason",
  "encoder_left", "encoder_right", "bumper_left", "bumper_right", "emergency_stop",
  "wheel_error_left", "wheel_error_right",
  "drvb_reason",
  "speed_left", "speed_right",  // for the plots only: tavik watch does not write them
];
const CSV_COLUMNS = HISTORY_COLUMNS.slice(1, HISTORY_COLUMNS.indexOf("drvb_reason") + 1);

class RobotHistory {
  constructor(saved) {
    this.columns = {};
    for (const name of HISTORY_COLUMNS) this.columns[name] = saved && saved[name] ? saved[name] : [];
    this.pending = null;  // the row of the poll still coming in
  }

  get length() { return this.columns.t.length; }

  // Takes one reading message (topic "battery", "ranges" or "wheels").
  add(topic, payload) {
    const t = Date.parse(payload.stamp);
    if (!Number.isFinite(t)) return;
    if (this.pending && this.pending.t !== t) this.commit();
    if (!this.pending) this.pending = { t };
    const row = this.pending;
    const int = (v) => (v === undefined || v === null ? null : Math.round(v));
    if (topic === "battery") {
      if (payload.voltage !== undefined) {
        row.battery_mv = int(payload.voltage * 1000);
        row.current_ma = int(payload.current * 1000);
        for (const [name] of TAVIK.devices) row["power_" + name] = payload.devices[name] ? 1 : 0;
      }
      if (payload.reason) row.psb_reason = payload.reason;
    } else if (topic === "ranges") {
      if (payload.ranges_m) {
        TAVIK.rangePlaces.forEach(([name], i) => { row["range_" + name + "_mm"] = int(payload.ranges_m[i] * 1000); });
      }
      if (payload.reason) row.psb_reason = payload.reason;
    } else if (topic === "wheels") {
      if (payload.encoders) {
        row.encoder_left = payload.encoders.left;
        row.encoder_right = payload.encoders.right;
      }
      if (payload.speed_mm_s) {
        row.speed_left = payload.speed_mm_s.left;
        row.speed_right = payload.speed_mm_s.right;
      }
      if (payload.bumpers) {
        row.bumper_left = payload.bumpers.left ? 1 : 0;
        row.bumper_right = payload.bumpers.right ? 1 : 0;
      }
      if (payload.emergency_stop !== undefined) row.emergency_stop = payload.emergency_stop ? 1 : 0;
      if (payload.wheel_errors) {
        row.wheel_error_left = payload.wheel_errors.left;
        row.wheel_error_right = payload.wheel_errors.right;
      }
      if (payload.reason) row.drvb_reason = payload.reason;
    }
  }

  commit() {
    const row = this.pending;
    this.pending = null;
    if (!row) return;
    const last = this.columns.t[this.length - 1];
    if (last !== undefined && row.t <= last) return;  // a poll seen again after a reconnect
    for (const name of HISTORY_COLUMNS) this.columns[name].push(row[name] ?? (name.endsWith("reason") ? "" : null));
    // Dropped a minute's worth at a time, not row by row.
    if (row.t - this.columns.t[0] > TAVIK.historyMs + 60000) this.trim(row.t - TAVIK.historyMs);
  }

  // The first row at or after `oldest` (ms since the epoch).
  first(oldest) {
    const t = this.columns.t;
    let low = 0;
    let high = t.length;
    while (low < high) {
      const middle = (low + high) >> 1;
      if (t[middle] < oldest) low = middle + 1;
      else high = middle;
    }
    return low;
  }

  // Drops the rows before `oldest`.
  trim(oldest) {
    const n = this.first(oldest);
    if (n > 0) for (const name of HISTORY_COLUMNS) this.columns[name].splice(0, n);
  }

  // The plots' data over the window: seconds since the epoch, then the series.
  series(...names) {
    const t = this.columns.t;
    const from = this.first((t[t.length - 1] ?? 0) - TAVIK.historyMs);
    return [t.slice(from).map((ms) => ms / 1000), ...names.map((name) => this.columns[name].slice(from))];
  }

  csv() {
    this.trim((this.columns.t[this.length - 1] ?? 0) - TAVIK.historyMs);
    const t = this.columns.t;
    const cell = (v) => {
      if (v === null || v === undefined) return "";
      const text = String(v);
      return /[",\r\n]/.test(text) ? '"' + text.replaceAll('"', '""') + '"' : text;
    };
    const lines = ["t_s," + CSV_COLUMNS.join(",") + ",started_utc"];
    for (let i = 0; i < t.length; ++i) {
      const row = [((t[i] - t[0]) / 1000).toFixed(3)];
      for (const name of CSV_COLUMNS) row.push(cell(this.columns[name][i]));
      row.push(i === 0 ? new Date(t[0]).toISOString() : "");
      lines.push(row.join(","));
    }
    return lines.join("\n") + "\n";
  }

  toJSON() { return this.columns; }
}

// Every robot's history, by name, kept in the tab's session storage.
const HistoryStore = {
  key: (prefix) => "tavik-history:" + prefix,
  load(prefix) {
    const out = new Map();
    try {
      const saved = JSON.parse(sessionStorage.getItem(this.key(prefix)) || "{}");
      for (const [name, columns] of Object.entries(saved)) out.set(name, new RobotHistory(columns));
    } catch (e) {
      console.warn("history not restored:", e);
    }
    return out;
  },
  save(prefix, histories) {
    try {
      sessionStorage.setItem(this.key(prefix), JSON.stringify(Object.fromEntries(histories)));
    } catch (e) {
      // Over the storage's quota: the history stays in this page only.
      console.warn("history not saved:", e);
    }
  },
};
