// The script side of the ECMAScript binding, evaluated in every Script's engine
// before its own program: the SF and MF object types, the Browser object and
// the bookkeeping through which the host reads eventOut assignments.
(function (global) {
'use strict';

class SFVec2f {
    constructor(x = 0, y = 0) { this.x = Number(x); this.y = Number(y); }
    add(v) { return new SFVec2f(this.x + v.x, this.y + v.y); }
    subtract(v) { return new SFVec2f(this.x - v.x, this.y - v.y); }
    multiply(s) { return new SFVec2f(this.x * s, this.y * s); }
    divide(s) { return new SFVec2f(this.x / s, this.y / s); }
    dot(v) { return this.x * v.x + this.y * v.y; }
    length() { return Math.hypot(this.x, this.y); }
    negate() { return new SFVec2f(-this.x, -this.y); }
    normalize() { const l = this.length(); return l > 0 ? this.divide(l) : new SFVec2f(); }
    toString() { return this.x + ' ' + this.y; }
}

class SFVec3f {
    constructor(x = 0, y = 0, z = 0) { this.x = Number(x); this.y = Number(y); this.z = Number(z); }
    add(v) { return new SFVec3f(this.x + v.x, this.y + v.y, this.z + v.z); }
    subtract(v) { return new SFVec3f(this.x - v.x, this.y - v.y, this.z - v.z); }
    multiply(s) { return new SFVec3f(this.x * s, this.y * s, this.z * s); }
    divide(s) { return new SFVec3f(this.x / s, this.y / s, this.z / s); }
    dot(v) { return this.x * v.x + this.y * v.y + this.z * v.z; }
    cross(v) {
        return new SFVec3f(this.y * v.z - this.z * v.y, this.z * v.x - this.x * v.z,
                           this.x * v.y - this.y * v.x);
    }
    length() { return Math.hypot(this.x, this.y, this.z); }
    negate() { return new SFVec3f(-this.x, -this.y, -this.z); }
    normalize() { const l = this.length(); return l > 0 ? this.divide(l) : new SFVec3f(); }
    toString() { return this.x + ' ' + this.y + ' ' + this.z; }
}

class SFColor {
    constructor(r = 0, g = 0, b = 0) { this.r = Number(r); this.g = Number(g); this.b = Number(b); }
    // Hue in degrees (0..360), saturation and value in 0..1.
    setHSV(h, s, v) {
        h = ((Number(h) % 360) + 360) % 360 / 60;
        const i = Math.floor(h), f = h - i;
        const p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
        [this.r, this.g, this.b] = [[v, t, p], [q, v, p], [p, v, t], [p, q, v], [t, p, v], [v, p, q]][i];
    }
    getHSV() {
        const max = Math.max(this.r, this.g, this.b), min = Math.min(this.r, this.g, this.b);
        const d = max - min;
        let h = 0;
        if (d > 0) {
            if (max === this.r) h = ((this.g - this.b) / d + 6) % 6;
            else if (max === this.g) h = (this.b - this.r) / d + 2;
            else h = (this.r - this.g) / d + 4;
        }
        return [h * 60, max > 0 ? d / max : 0, max];
    }
    toString() { return this.r + ' ' + this.g + ' ' + this.b; }
}

class SFRotation {
    // (x, y, z, angle), (axis, angle) or (from, to): the rotation turning `from` onto `to`.
    constructor(a = 0, b = 0, c = 1, d = 0) {
        if (a instanceof SFVec3f && b instanceof SFVec3f) {
            const from = a.normalize(), to = b.normalize();
            let axis = from.cross(to);
            const angle = Math.acos(Math.max(-1, Math.min(1, from.dot(to))));
            if (axis.length() < 1e-12) {
                axis = Math.abs(from.x) < 0.9 ? from.cross(new SFVec3f(1, 0, 0))
                                              : from.cross(new SFVec3f(0, 1, 0));
            }
            this.setAxis(axis.normalize());
            this.angle = angle;
        } else if (a instanceof SFVec3f) {
            this.setAxis(a);
            this.angle = Number(b);
        } else {
            this.x = Number(a); this.y = Number(b); this.z = Number(c); this.angle = Number(d);
        }
    }
    getAxis() { return new SFVec3f(this.x, this.y, this.z); }
    setAxis(v) { this.x = v.x; this.y = v.y; this.z = v.z; }
    inverse() { return new SFRotation(this.x, this.y, this.z, -this.angle); }
    // As a unit quaternion [x, y, z, w], and back.
    _quat() {
        const l = Math.hypot(this.x, this.y, this.z) || 1, s = Math.sin(this.angle / 2) / l;
        return [this.x * s, this.y * s, this.z * s, Math.cos(this.angle / 2)];
    }
    static _fromQuat(q) {
        const w = Math.max(-1, Math.min(1, q[3])), s = Math.sqrt(1 - w * w);
        if (s < 1e-9) return new SFRotation(0, 0, 1, 0);
        return new SFRotation(q[0] / s, q[1] / s, q[2] / s, 2 * Math.acos(w));
    }
    // This rotation followed by `r`.
    multiply(r) {
        const [ax, ay, az, aw] = r._quat(), [bx, by, bz, bw] = this._quat();
        return SFRotation._fromQuat([aw * bx + ax * bw + ay * bz - az * by,
                                     aw * by - ax * bz + ay * bw + az * bx,
                                     aw * bz + ax * by - ay * bx + az * bw,
                                     aw * bw - ax * bx - ay * by - az * bz]);
    }
    multVec(v) {
        const [qx, qy, qz, qw] = this._quat(), u = new SFVec3f(qx, qy, qz);
        const t = u.cross(v).multiply(2);
        return v.add(t.multiply(qw)).add(u.cross(t));
    }
    slerp(r, t) {
        const a = this._quat(), b = r._quat();
        let d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
        if (d < 0) { d = -d; b.forEach((v, i) => { b[i] = -v; }); }
        let wa = 1 - t, wb = t;
        if (d < 0.9999) {
            const th = Math.acos(d), s = Math.sin(th);
            wa = Math.sin((1 - t) * th) / s;
            wb = Math.sin(t * th) / s;
        }
        return SFRotation._fromQuat(a.map((v, i) => wa * v + wb * b[i]));
    }
    toString() { return this.x + ' ' + this.y + ' ' + this.z + ' ' + this.angle; }
}

// A node reference the script can hold and pass on; its fields are not reachable.
class SFNode {
    constructor(id, type) {
        Object.defineProperty(this, '__node', { value: id });
        Object.defineProperty(this, '__type', { value: String(type) });
    }
    toString() { return this.__type; }
}

// The MF types are arrays whose elements are converted to the element type.
function __orvaneMF(convert) {
    return class extends Array {
        static get [Symbol.species]() { return Array; }
        constructor(...values) {
            super();
            for (const v of values) this.push(convert(v));
        }
        toString() { return '[' + this.join(', ') + ']'; }
    };
}
const __orvaneObject = (Type, n) => (v) => v instanceof Type ? v
                                         : Array.isArray(v) && v.length === n ? new Type(...v) : v;
const MFFloat = __orvaneMF(Number);
const MFInt32 = __orvaneMF((v) => Number(v) | 0);
const MFString = __orvaneMF(String);
const MFTime = __orvaneMF(Number);
const MFVec2f = __orvaneMF(__orvaneObject(SFVec2f, 2));
const MFVec3f = __orvaneMF(__orvaneObject(SFVec3f, 3));
const MFColor = __orvaneMF(__orvaneObject(SFColor, 3));
const MFRotation = __orvaneMF(__orvaneObject(SFRotation, 4));
const MFNode = __orvaneMF((v) => v);

// An image: x pixels wide, y high, comp components (1..4), one number a pixel.
class SFImage {
    constructor(x = 0, y = 0, comp = 0, array = []) {
        this.x = Number(x) | 0;
        this.y = Number(y) | 0;
        this.comp = Number(comp) | 0;
        this.array = new MFInt32();  // a large image is no argument list
        for (const v of array) this.array.push(Number(v) | 0);
    }
    toString() { return this.x + ' ' + this.y + ' ' + this.comp; }
}

const __orvane = {
    now: 0,
    frameRate: 0,
    printed: [],
    assigned: [],
    touched: new Set(),
    // An eventOut as a global variable: assigning it sends it; reading it
    // marks it so that a change of one of its members is sent too.
    eventOut(name, initial) {
        let value = initial;
        Object.defineProperty(global, name, {
            get() { __orvane.touched.add(name); return value; },
            set(v) { value = v; __orvane.assigned.push(name); },
            enumerable: true
        });
    },
    // The eventOuts assigned since the last take, in order (each once, last value),
    // then those only read: [[name, value, assigned], ...].
    take() {
        if (this.assigned.length === 0 && this.touched.size === 0) return [];
        const out = [], seen = new Set();
        for (let i = this.assigned.length - 1; i >= 0; --i) seen.add(this.assigned[i]);
        for (const name of this.assigned) {
            if (!seen.delete(name)) continue;
            out.push([name, global[name], true]);
        }
        const done = new Set(this.assigned);
        for (const name of this.touched) {
            if (!done.has(name)) out.push([name, global[name], false]);
        }
        this.assigned = [];
        this.touched.clear();
        return out;
    },
    // Calls `f` with `args`; undefined, or [message, line] when it throws.
    invoke(f, ...args) {
        try {
            f(...args);
        } catch (e) {
            const text = e instanceof Error ? String(e) : 'uncaught exception: ' + String(e);
            return [text, e instanceof Error && e.lineNumber ? e.lineNumber : 0];
        }
        return undefined;
    }
};

global.Browser = {
    getName() { return 'Orvane'; },
    getVersion() { return __orvane.version; },
    getCurrentTime() { return __orvane.now; },
    getCurrentFrameRate() { return __orvane.frameRate; },
    print(...values) { __orvane.printed.push(values.join(' ')); }
};
global.print = Browser.print;
Object.assign(global, {SFVec2f, SFVec3f, SFColor, SFRotation, SFNode, SFImage, MFFloat, MFInt32, MFString,
                           MFTime, MFVec2f, MFVec3f, MFColor, MFRotation, MFNode, __orvane});
})(this);
