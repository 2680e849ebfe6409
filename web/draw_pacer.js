// Paces the page's drawing: draw() runs in an animation frame (none while
// the tab is hidden), at most every everyMs, or at the next frame when
// asked soon; asks while one is due are one draw.
"use strict";

class DrawPacer {
  constructor(everyMs, draw) {
    this.everyMs = everyMs;
    this.draw = draw;
    this.asked = false;
    this.timer = null;  // the wait before the draw asked for, while it lasts
    this.last = -Infinity;  // performance.now() of the last draw
    this.frame = () => {
      this.asked = false;
      this.last = performance.now();
      this.draw();
    };
  }
  ask(soon = false) {
    if (this.asked && !(soon && this.timer !== null)) return;
    clearTimeout(this.timer);
    this.timer = null;
    this.asked = true;
    const wait = soon ? 0 : this.last + this.everyMs - performance.now();
    if (wait <= 0) {
      requestAnimationFrame(this.frame);
      return;
    }
    this.timer = setTimeout(() => {
      this.timer = null;
      requestAnimationFrame(this.frame);
    }, wait);
  }
}
