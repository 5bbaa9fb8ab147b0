// The Tembra editor: the running composition as a graph. The host owns the
// document; every change here is sent as an edit, and the graph is drawn
// again from the document the host sends back.
"use strict";

const token = new URLSearchParams(location.hash.slice(1)).get("token") || "";
const $ = (id) => document.getElementById(id);

const state = {
  doc: { patches: [], connections: [] },
  classes: new Map(),   // name -> class schema
  patchPorts: {},       // patch id -> its own ports, for patches whose ports follow their source
  values: {},           // "id.port" -> value
  selected: null,       // patch id
  socket: null,
  nextId: 1,
  drawing: false,       // true while the graph is rebuilt: its callbacks are not edits
  edited: false,
};

function status(text, isError) {
  $("status").textContent = text;
  $("status").className = isError ? "error" : "";
}

// The host's log: a line repeated (a patch failing every frame) is counted
// on the line before rather than filling the log.
function log(text, isError) {
  const box = $("log");
  const last = box.lastElementChild;
  if (last && last.dataset.text === text) {
    last.dataset.count = Number(last.dataset.count) + 1;
    last.textContent = text + "  ×" + last.dataset.count;
  } else {
    const line = document.createElement("div");
    line.textContent = text;
    line.dataset.text = text;
    line.dataset.count = 1;
    if (isError) line.className = "error";
    box.appendChild(line);
    while (box.childElementCount > 500) box.firstElementChild.remove();
  }
  box.scrollTop = box.scrollHeight;
}

// Patches that failed, by id: the reason, and the patch's entry then. The
// failure is shown on the box and in the inspector until the patch changes.
const failed = new Map();
function noteFailure(line) {
  const match = /^patch "([^"]+)" \([^)]*\) failed:? (.*)$/.exec(line);
  if (!match) return false;
  const patch = state.doc.patches.find((p) => p.id === match[1]);
  failed.set(match[1], { reason: match[2], entry: JSON.stringify(patch || null) });
  const node = graph.findNodesByTitle(match[1])[0];
  if (node) markNode(node);
  if (state.selected === match[1]) inspectFailure();
  return true;
}
function failureOf(id) {
  const failure = failed.get(id);
  const patch = state.doc.patches.find((p) => p.id === id);
  if (failure && failure.entry !== JSON.stringify(patch || null)) failed.delete(id);
  return failed.get(id);
}
function markNode(node) {
  const failure = failureOf(node.title);
  node.color = failure ? "#a33" : undefined;
  node.bgcolor = failure ? "#522" : undefined;
  canvas.setDirty(true, false);
}
function inspectFailure() {
  const box = $("inspector");
  let line = box.querySelector(".failure");
  const failure = failureOf(state.selected);
  if (!failure) { if (line) line.remove(); return; }
  if (!line) {
    line = document.createElement("div");
    line.className = "failure error";
    box.insertBefore(line, box.children[2] || null);
  }
  line.textContent = "failed: " + failure.reason;
}

function send(message) {
  if (!state.socket || state.socket.readyState !== WebSocket.OPEN) return;
  message.id = state.nextId++;
  state.socket.send(JSON.stringify(message));
}

// The graph.
const graph = new LGraph();
const canvas = new LGraphCanvas("#canvas", graph);
canvas.allow_searchbox = false;
canvas.show_info = false;  // the graph library's own frame counters are not the show's

function TembraPatch() { this.size = [180, 60]; }
TembraPatch.title = "patch";
LiteGraph.registerNodeType("tembra/patch", TembraPatch);

TembraPatch.prototype.onConnectionsChange = function (type, slot, connected, link) {
  if (state.drawing || type !== LiteGraph.INPUT) return;
  const to = this.title + "." + this.inputs[slot].name;
  if (connected && link) {
    const source = graph.getNodeById(link.origin_id);
    send({ type: "connect", from: source.title + "." + source.outputs[link.origin_slot].name, to });
  } else if (!connected) {
    // A wire moved to another input arrives as a disconnect and a connect.
    setTimeout(() => { if (!this.getInputLink(slot)) send({ type: "disconnect", to }); }, 0);
  }
};

graph.onNodeRemoved = (node) => { if (!state.drawing) send({ type: "remove", patch: node.title }); };
canvas.onNodeMoved = (node) => send({ type: "move", patch: node.title, x: Math.round(node.pos[0]), y: Math.round(node.pos[1]) });
canvas.onNodeSelected = (node) => { state.selected = node.title; inspect(); subscribe(); };
canvas.onNodeDeselected = (node) => { if (state.selected === node.title) { state.selected = null; inspect(); } };

function shortValue(value) {
  if (typeof value === "number") return Number.isInteger(value) ? String(value) : value.toFixed(3);
  // A colour: its components to two places.
  if (Array.isArray(value) && value.every((v) => typeof v === "number"))
    return "[" + value.map((v) => String(Math.round(v * 100) / 100)).join(", ") + "]";
  const text = typeof value === "string" ? value : JSON.stringify(value);
  return text.length > 18 ? text.slice(0, 17) + "…" : text;
}

function portsOf(patch) {
  if (state.patchPorts[patch.id]) return state.patchPorts[patch.id];
  const schema = state.classes.get(patch.class);
  return schema ? schema.ports : [];
}

function draw() {
  state.drawing = true;
  graph.clear();
  const nodes = new Map();
  // Patches without a place of their own go in rows of four, each beside the last.
  let rowX = 40, rowY = 40, rowHeight = 0;
  state.doc.patches.forEach((patch, index) => {
    const node = LiteGraph.createNode("tembra/patch");
    node.title = patch.id;
    for (const port of portsOf(patch)) {
      if (port.direction === "input") node.addInput(port.name, inputType(port.kind));
      else node.addOutput(port.name, port.kind);
    }
    node.size = node.computeSize();
    node.size[0] = Math.max(node.size[0] + 110, 260);  // room for the values
    const at = patch.editor || {};
    if (index > 0 && index % 4 === 0) [rowX, rowY, rowHeight] = [40, rowY + rowHeight + 160, 0];  // room for previews
    node.pos = [typeof at.x === "number" ? at.x : rowX, typeof at.y === "number" ? at.y : rowY];
    rowX += node.size[0] + 60;
    rowHeight = Math.max(rowHeight, node.size[1]);
    graph.add(node);
    markNode(node);
    nodes.set(patch.id, node);
  });
  for (const c of state.doc.connections || []) {
    const [fromId, fromPort] = split(c.from), [toId, toPort] = split(c.to);
    const source = nodes.get(fromId), target = nodes.get(toId);
    if (!source || !target) continue;
    const out = source.findOutputSlot(fromPort), input = target.findInputSlot(toPort);
    if (out >= 0 && input >= 0) source.connect(out, target, input);
  }
  const selected = state.selected && nodes.get(state.selected);
  if (selected) canvas.selectNode(selected);
  state.drawing = false;
  canvas.setDirty(true, true);
  inspect();
  subscribe();
}

// What a box's input accepts, as the host's connection rules do: numbers
// into a colour (a grey), a colour into a number (its luminance).
function inputType(kind) {
  if (kind === "rgba") return "rgba,number,index,boolean";
  if (kind === "number") return "number,rgba";
  return kind;
}

function split(endpoint) {
  const dot = endpoint.lastIndexOf(".");
  return [endpoint.slice(0, dot), endpoint.slice(dot + 1)];
}

// Values and previews come only for the boxes on screen and the patch in
// the inspector; the subscription follows panning and zooming.
let subscribed = "";
function subscribe() {
  const shown = new Set(canvas.computeVisibleNodes(graph._nodes).map((n) => n.title));
  if (state.selected) shown.add(state.selected);
  const ports = [];
  for (const patch of state.doc.patches)
    if (shown.has(patch.id))
      for (const port of portsOf(patch)) ports.push(patch.id + "." + port.name);
  const key = JSON.stringify(ports);
  if (key === subscribed) return;
  subscribed = key;
  send({ type: "subscribe", ports });
}
setInterval(subscribe, 500);

// Previews: the latest picture of each image output, drawn under its box.
const previews = new Map();  // "id.port" -> Image
const kPreviewHeight = 90;
function showPreview(port, url) {
  let image = previews.get(port);
  if (!image) { image = new Image(); previews.set(port, image); }
  image.onload = () => canvas.setDirty(true, false);
  image.src = url;
}
TembraPatch.prototype.onDrawForeground = function (context) {
  let x = 0;
  for (const output of this.outputs || []) {
    const image = previews.get(this.title + "." + output.name);
    if (!image || !image.complete || !image.naturalWidth) continue;
    const width = kPreviewHeight * image.naturalWidth / image.naturalHeight;
    context.drawImage(image, x, this.size[1] + 4, width, kPreviewHeight);
    x += width + 4;
  }
};

// The palette.
function palette() {
  const filter = $("search").value.trim().toLowerCase();
  const groups = new Map();
  for (const c of state.classes.values()) {
    if (filter && !(c.name + " " + (c.description || "")).toLowerCase().includes(filter)) continue;
    const group = c.bundle || "other";
    if (!groups.has(group)) groups.set(group, []);
    groups.get(group).push(c);
  }
  const box = $("classes");
  box.replaceChildren();
  for (const [group, classes] of groups) {
    const heading = document.createElement("h3");
    heading.textContent = group;
    box.appendChild(heading);
    for (const c of classes) {
      const item = document.createElement("div");
      item.className = "class";
      item.dataset.class = c.name;
      item.title = c.description || "";
      item.textContent = c.name;
      if (c.description) {
        const small = document.createElement("small");
        small.textContent = c.description;
        item.appendChild(small);
      }
      item.onclick = () => {
        const offset = canvas.ds.offset;
        send({ type: "add", class: c.name, editor: { x: Math.round(60 - offset[0]), y: Math.round(60 - offset[1]) } });
      };
      box.appendChild(item);
    }
  }
}
$("search").oninput = palette;

// The inspector: one control per input, chosen by its kind and range.
// What the inspector's controls are made from, apart from the inputs'
// values: while it stays the same the controls stay, and only their values
// follow the document (a slider being dragged is not replaced under the
// pointer, a field being typed in keeps its text).
function inspectorShape(patch) {
  if (!patch) return "";
  const outputs = state.doc.patches.filter((p) => p.id !== patch.id).map((p) => p.id + ":" + p.class);
  const into = (state.doc.connections || []).filter((c) => c.to.startsWith(patch.id + "."));
  return JSON.stringify([patch.id, patch.class, outputs, into]);
}

function inspect() {
  const box = $("inspector");
  const patch = state.doc.patches.find((p) => p.id === state.selected);
  const shape = inspectorShape(patch);
  if (patch && shape === box.dataset.shape) {
    for (const port of portsOf(patch)) {
      const current = patch.inputs && port.name in patch.inputs ? patch.inputs[port.name] : port.default;
      for (const edit of box.querySelectorAll(`[data-port="${CSS.escape(patch.id + "." + port.name)}"] .edit`))
        if ((edit !== document.activeElement || edit.tembraFollowsFocused?.()) && edit.tembraShow) edit.tembraShow(current);
    }
    inspectFailure();
    return;
  }
  box.dataset.shape = shape;
  if (!patch) {
    box.innerHTML = '<p class="hint">Select a patch to see its ports.</p>';
    return;
  }
  box.replaceChildren();
  const title = document.createElement("h2");
  title.textContent = patch.id;
  box.appendChild(title);
  const cls = document.createElement("div");
  cls.className = "hint";
  cls.textContent = patch.class + (state.classes.get(patch.class)?.description ? " — " + state.classes.get(patch.class).description : "");
  box.appendChild(cls);
  const rename = document.createElement("input");
  rename.type = "text";
  rename.value = patch.id;
  rename.id = "rename";
  rename.onchange = () => { if (rename.value && rename.value !== patch.id) { state.selected = rename.value; send({ type: "rename", patch: patch.id, to: rename.value }); } };
  box.appendChild(rename);

  const outputs = [];
  for (const other of state.doc.patches)
    if (other.id !== patch.id)
      for (const port of portsOf(other)) if (port.direction === "output") outputs.push({ endpoint: other.id + "." + port.name, kind: port.kind });

  for (const port of portsOf(patch)) {
    const endpoint = patch.id + "." + port.name;
    const row = document.createElement("div");
    row.className = "port";
    row.dataset.port = endpoint;
    const label = document.createElement("label");
    label.textContent = port.name + (port.unit ? " (" + port.unit + ")" : "") + " ";
    label.title = port.description || "";
    const shown = document.createElement("span");
    shown.className = "value";
    shown.dataset.endpoint = endpoint;
    shown.textContent = endpoint in state.values ? shortValue(state.values[endpoint]) : "";
    label.appendChild(shown);
    row.appendChild(label);
    if (port.direction === "input") row.appendChild(control(patch, port, endpoint, outputs));
    box.appendChild(row);
  }
  inspectFailure();
}

// A connection's map: the source's range ("from", its own range when left
// empty), the range it lands on ("to") and the curve (1: straight).
function mapEditor(connection, endpoint, port) {
  const box = document.createElement("div");
  box.className = "mapEditor";
  const map = connection.map;
  const now = Array.isArray(map) ? { to: map } : map && typeof map === "object" ? map : {};
  const fields = {};
  const field = (name, value, hint) => {
    const input = document.createElement("input");
    input.type = "number";
    input.step = "any";
    input.className = "map map-" + name;
    input.placeholder = hint;
    input.title = hint;
    if (typeof value === "number") input.value = value;
    fields[name] = input;
    return input;
  };
  const range = port.range ? [port.range.min, port.range.max] : [0, 1];
  const label = (text) => { const l = document.createElement("span"); l.className = "hint"; l.textContent = text; return l; };
  box.append(label("map from"), field("fromMin", now.from?.[0], "source min"), field("fromMax", now.from?.[1], "source max"),
             label("to"), field("toMin", now.to?.[0], String(range[0])), field("toMax", now.to?.[1], String(range[1])),
             label("curve"), field("curve", now.curve, "1"));
  box.onchange = () => {
    const number = (name) => fields[name].value === "" ? null : Number(fields[name].value);
    const [fromMin, fromMax, toMin, toMax, curve] = ["fromMin", "fromMax", "toMin", "toMax", "curve"].map(number);
    if ([fromMin, fromMax, toMin, toMax, curve].every((v) => v === null)) return send({ type: "map", to: endpoint, map: null });
    const next = { to: [toMin ?? range[0], toMax ?? range[1]] };
    if (fromMin !== null || fromMax !== null) next.from = [fromMin ?? 0, fromMax ?? 1];
    if (curve !== null) next.curve = curve;
    send({ type: "map", to: endpoint, map: next });
  };
  return box;
}

function control(patch, port, endpoint, outputs) {
  const wrap = document.createElement("div");
  const connection = (state.doc.connections || []).find((c) => c.to === endpoint);
  const current = patch.inputs && port.name in patch.inputs ? patch.inputs[port.name] : port.default;
  // merge: this set goes on with the one before (a slider being dragged).
  const set = (value, merge) => send(merge ? { type: "set", port: endpoint, value, merge } : { type: "set", port: endpoint, value });
  let input = null;
  if (connection) {
    // Connected: the wire sets the value; its map can be edited.
    const note = document.createElement("div");
    note.className = "hint";
    note.textContent = "from " + connection.from;
    wrap.appendChild(note);
    if (port.kind === "number" || port.kind === "index" || port.kind === "boolean")
      wrap.appendChild(mapEditor(connection, endpoint, port));
  } else if (port.kind === "number" || port.kind === "index") {
    const range = port.range ? [port.range.min, port.range.max]
      : port.kind === "index" && typeof port.max === "number" ? [0, port.max] : null;
    input = document.createElement("input");
    if (range) {
      input.type = "range";
      input.min = range[0];
      input.max = range[1];
      input.step = port.kind === "index" ? 1 : (range[1] - range[0]) / 1000;
    } else {
      input.type = "number";
      input.step = port.kind === "index" ? 1 : "any";
    }
    const value = (field) => port.kind === "index" ? Math.round(Number(field.value)) : Number(field.value);
    const field = input;
    input.onchange = () => field.value !== "" && set(value(field));
    input.tembraShow = (v) => { field.value = v ?? 0; };
    if (range) {
      // One drag is one undo step: the sets after its first one merge.
      let dragging = false;
      input.onpointerdown = () => { dragging = false; };
      input.oninput = () => { set(value(field), dragging); dragging = true; };
      input.onchange = () => { set(value(field), dragging); dragging = false; };
      // Beside the slider, a field for typing an exact value.
      const exact = document.createElement("input");
      exact.type = "number";
      exact.step = "any";
      exact.className = "edit exact";
      exact.onchange = () => exact.value !== "" && Number.isFinite(Number(exact.value)) && set(value(exact));
      exact.tembraShow = (v) => { exact.value = v ?? 0; };
      exact.tembraShow(current);
      input.className = "edit";
      wrap.appendChild(input);
      input.tembraShow(current);
      input = exact;
    }
    input.tembraShow(current);
  } else if (port.kind === "rgba") {
    input = colourControl(current, set);
  } else if (port.kind === "boolean") {
    input = document.createElement("input");
    input.type = "checkbox";
    input.onchange = () => set(input.checked);
    input.tembraShow = (v) => { input.checked = !!v; };
    input.tembraShow(current);
  } else if (port.kind === "string") {
    input = document.createElement("input");
    input.type = "text";
    if (port.path) {
      input.placeholder = port.path + " path";
      input.className = "edit path";
      const hint = document.createElement("div");
      hint.className = "hint";
      hint.textContent = "a " + port.path + (port.path.includes("url") ? " (http://…)" : "") + ", relative to the composition's folder";
      wrap.appendChild(hint);
    }
    input.onchange = () => set(input.value);
    input.tembraShow = (v) => { input.value = v ?? ""; };
    input.tembraShow(current);
  }
  if (input) {
    if (!input.className) input.className = "edit";
    wrap.appendChild(input);
  }
  if (["number", "index", "boolean"].includes(port.kind)) {
    // MIDI learn: the next knob turned or key pressed drives this port.
    const learn = document.createElement("button");
    learn.className = "learn";
    learn.textContent = "learn";
    learn.title = "Turn a knob or press a key on a MIDI device to drive " + endpoint;
    learn.onclick = () => {
      send({ type: "learn", port: endpoint });
      status("learning " + endpoint + ": turn a knob or press a key");
    };
    wrap.appendChild(learn);
  }
  if (port.kind !== "image" || outputs.length) {
    const wire = document.createElement("select");
    wire.className = "wire";
    wire.innerHTML = '<option value="">— not connected —</option>';
    for (const o of outputs) {
      const option = document.createElement("option");
      option.value = o.endpoint;
      option.textContent = o.endpoint;
      if (connection && connection.from === o.endpoint) option.selected = true;
      wire.appendChild(option);
    }
    wire.onchange = () => send(wire.value ? { type: "connect", from: wire.value, to: endpoint } : { type: "disconnect", to: endpoint });
    wrap.appendChild(wire);
  }
  return wrap;
}

// A colour's [r, g, b, a] from a document value: the array, or "#rrggbb(aa)".
function colourOf(value) {
  if (Array.isArray(value) && value.length >= 3) return [value[0], value[1], value[2], value.length > 3 ? value[3] : 1];
  const hex = typeof value === "string" && /^#([0-9a-f]{6}|[0-9a-f]{8})$/i.exec(value);
  if (!hex) return [0, 0, 0, 1];
  const parts = hex[1].match(/../g).map((h) => parseInt(h, 16) / 255);
  return parts.length === 4 ? parts : [...parts, 1];
}

// A colour port: the browser's colour picker for red, green and blue and a
// slider for alpha, each writing [r, g, b, a]; one drag or one pick is one
// undo step, as with sliders.
function colourControl(current, set) {
  const box = document.createElement("span");
  box.className = "colour";
  const picker = document.createElement("input");
  picker.type = "color";
  picker.className = "edit picker";
  const alpha = document.createElement("input");
  alpha.type = "range";
  alpha.min = 0;
  alpha.max = 1;
  alpha.step = 0.001;
  alpha.className = "edit alpha";
  alpha.title = "alpha";
  let shown = colourOf(current);
  const hex = (v) => Math.round(Math.min(1, Math.max(0, v)) * 255).toString(16).padStart(2, "0");
  picker.tembraShow = (v) => { shown = colourOf(v); picker.value = "#" + shown.slice(0, 3).map(hex).join(""); };
  alpha.tembraShow = (v) => { alpha.value = colourOf(v)[3]; };
  const value = () => {
    // The picker has 8 bits a channel: a channel it did not move keeps its exact value.
    const picked = colourOf(picker.value);
    const rgb = shown.slice(0, 3).map((c, i) => hex(c) === hex(picked[i]) ? c : Math.round(picked[i] * 1000) / 1000);
    return [...rgb, Number(alpha.value)];
  };
  for (const edit of [picker, alpha]) {
    // Focused but no longer held, the control follows the host again (an undo, another client).
    let dragging = false, held = false;
    edit.onpointerdown = () => { held = true; };
    edit.onpointerup = () => { held = false; };
    edit.tembraFollowsFocused = () => !held;
    edit.oninput = () => { set(value(), dragging); dragging = true; };
    edit.onchange = () => { set(value(), dragging); dragging = false; held = false; };
    edit.tembraShow(current);
  }
  box.append(picker, alpha);
  return box;
}

function showValues(values) {
  Object.assign(state.values, values);
  for (const span of document.querySelectorAll("#inspector .value")) {
    const endpoint = span.dataset.endpoint;
    if (endpoint in values) span.textContent = shortValue(values[endpoint]);
  }
  // Output values stand beside their names on the boxes.
  for (const node of graph._nodes)
    for (const output of node.outputs || []) {
      const value = state.values[node.title + "." + output.name];
      output.label = value === undefined ? output.name : output.name + " = " + shortValue(value);
    }
  canvas.setDirty(true, false);
}

// Keys: save, undo, redo.
document.addEventListener("keydown", (event) => {
  if (!(event.ctrlKey || event.metaKey)) return;
  const key = event.key.toLowerCase();
  if (key === "s") { event.preventDefault(); send({ type: "save" }); }
  else if (key === "z" && !event.shiftKey) { event.preventDefault(); send({ type: "undo" }); }
  else if ((key === "z" && event.shiftKey) || key === "y") { event.preventDefault(); send({ type: "redo" }); }
});
$("save").onclick = () => send({ type: "save" });
$("undo").onclick = () => send({ type: "undo" });
$("redo").onclick = () => send({ type: "redo" });

function receive(message) {
  if (message.type === "document") {
    state.doc = message.document;
    if (!state.doc.connections) state.doc.connections = [];
    state.patchPorts = message.ports || {};
    state.edited = message.edited;
    $("file").textContent = message.file + (message.edited ? " •" : "");
    $("undo").disabled = !message.canUndo;
    $("redo").disabled = !message.canRedo;
    draw();
    status(message.edited ? "edited" : "saved");
  } else if (message.type === "preview") {
    showPreview(message.port, message.image);
  } else if (message.type === "values") {
    showValues(message.values);
  } else if (message.type === "answer") {
    if (!message.ok) {
      log(message.error, true);
      status(message.error, true);
      draw();  // back to the document as it runs
    }
  } else if (message.type === "error") {
    log(message.message, true);
    status(message.message, true);
  } else if (message.type === "log") {
    log(message.line, noteFailure(message.line));
  }
}

function connect() {
  const socket = new WebSocket("ws://" + location.host + "/api/session?token=" + encodeURIComponent(token));
  state.socket = socket;
  socket.onopen = () => { subscribed = ""; status("connected"); };
  socket.onmessage = (event) => receive(JSON.parse(event.data));
  socket.onclose = () => { status("disconnected from tembra", true); };
}

function resize() {
  const box = $("graph");
  canvas.resize(box.clientWidth, box.clientHeight);
}
window.addEventListener("resize", resize);

async function start() {
  resize();
  const answer = await fetch("/api/classes", { headers: { "X-Tembra-Token": token } });
  if (!answer.ok) {
    status("refused: this page needs the address tembra edit printed, with its token", true);
    document.body.dataset.refused = "true";
    return;
  }
  const schema = await answer.json();
  for (const bundle of schema.bundles) for (const c of bundle.classes) state.classes.set(c.name, c);
  palette();
  graph.start();
  connect();
}

// For scripts driving the page (tests, a control surface in a frame).
window.tembraEditor = {
  select(id) {
    const node = graph.findNodesByTitle(id)[0];
    if (node) canvas.selectNode(node);
    state.selected = id;
    inspect();
  },
  state,
  previews,
};
start();
