// Press-and-hold driving: while a control is held, cmd/drive goes out at
// once and then every TAVIK.driveEveryMs; letting go sends 0,0 once and
// stops. One drive is held at a time, whichever robot it is for.
"use strict";

class HoldDrive {
  // publish(robot, left, right) sends one cmd/drive.
  constructor(publish) {
    this.publish = publish;
    this.held = null;  // {robot, left, right, source}
    this.timer = null;
  }

  // Holds (or changes) the drive of `robot`; `source` names what holds it
  // (a button, a key, the gamepad), so that only that one lets it go.
  hold(robot, left, right, source) {
    if (this.held && this.held.robot !== robot) this.release();
    const changed = !this.held || this.held.left !== left || this.held.right !== right;
    this.held = { robot, left, right, source };
    if (changed) this.publish(robot, left, right);
    if (!this.timer) {
      this.timer = setInterval(() => {
        if (this.held) this.publish(this.held.robot, this.held.left, this.held.right);
      }, TAVIK.driveEveryMs);
    }
  }

  // Lets go: 0,0 once to the robot that was driven. With a source, only if
  // that source holds the drive.
  release(source) {
    if (!this.held || (source !== undefined && this.held.source !== source)) return;
    const robot = this.held.robot;
    this.held = null;
    clearInterval(this.timer);
    this.timer = null;
    this.publish(robot, 0, 0);
  }

  // The broker is gone: nothing to publish to, only stop repeating.
  drop() {
    this.held = null;
    clearInterval(this.timer);
    this.timer = null;
  }

  get robot() { return this.held ? this.held.robot : null; }
}

// A gamepad (standard mapping), once the user ticks Gamepad, drives the open
// robot while its dead-man button (a shoulder button) is held: the left stick
// forward and back, the right stick (or the left one's sideways) to turn.
class GamepadDrive {
  constructor(drive, target) {
    this.drive = drive;
    this.target = target;  // () => {robot, speed} of the open robot, or null
    this.timer = null;
    this.enabled = false;
    this.connected = () => this.start();
    this.disconnected = () => {
      this.drive.release("gamepad");
      if (![...navigator.getGamepads()].some(Boolean)) this.stop();
    };
  }
  // Only while the user asks: the browser polls the devices as long as a page
  // listens for gamepads (about 2 % of a core), and goes on after
  // getGamepads() until the page's last listener goes.
  enable(on) {
    if (on === this.enabled) return;
    this.enabled = on;
    if (on) {
      addEventListener("gamepadconnected", this.connected);
      addEventListener("gamepaddisconnected", this.disconnected);
      if ([...navigator.getGamepads()].some(Boolean)) this.start();
      return;
    }
    this.stop();
    this.drive.release("gamepad");
    removeEventListener("gamepadconnected", this.connected);
    removeEventListener("gamepaddisconnected", this.disconnected);
  }
  start() {
    if (!this.timer) this.timer = setInterval(() => this.poll(), TAVIK.driveEveryMs);
  }
  stop() {
    clearInterval(this.timer);
    this.timer = null;
  }
  poll() {
    const pad = [...navigator.getGamepads()].find(Boolean);
    const target = this.target();
    const deadMan = pad && (pad.buttons[4]?.pressed || pad.buttons[5]?.pressed);
    if (!pad || !target || !deadMan) {
      this.drive.release("gamepad");
      return;
    }
    const dead = (v) => (Math.abs(v) < 0.15 ? 0 : v);
    const ahead = -dead(pad.axes[1] ?? 0);
    const turn = dead(pad.axes[2] ?? pad.axes[0] ?? 0);
    const left = Math.round(target.speed * Math.max(-1, Math.min(1, ahead + turn / 2)));
    const right = Math.round(target.speed * Math.max(-1, Math.min(1, ahead - turn / 2)));
    this.drive.hold(target.robot, left, right, "gamepad");
  }
}
