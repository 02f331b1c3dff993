// The label studio's page: builds a request (or takes a label job) and a barcode.ini
// from the forms, has the studio render them (POST /api/render), and shows the
// pictures, the summary, the label job and the warnings. Texts travel as bytes: one
// character U+0000 to U+00FF per byte.
"use strict";

const $ = (id) => document.getElementById(id);
let info = null;

// ---- barcode.ini keys, in the order the saved file holds them ----
const PARITY_WORDS = ["prNone", "prOdd", "prEven", "prMark", "prSpace"];     // codes 0 to 4
const STOPBIT_WORDS = ["sbOneStopBit", "sbOne5StopBits", "sbTwoStopBits"];  // codes 0 to 2
const INI_KEYS = [
  {section: "com", key: "PORT", type: "text", max: 11},
  {section: "com", key: "BAUDRATE", type: "number"},
  {section: "com", key: "DATABITS", type: "number"},
  {section: "com", key: "PARITY", type: "select", words: PARITY_WORDS},
  {section: "com", key: "STOPBITS", type: "select", words: STOPBIT_WORDS},
  {section: "sizing", key: "BIOCHIMIEMOVELEFT", type: "number"},
  {section: "sizing", key: "COAGULAREMOVELEFT", type: "number"},
  {section: "sizing", key: "HEMATOLOGIEMOVELEFT", type: "number"},
  {section: "sizing", key: "BARCODEFONTSIZE", type: "number"},
  {section: "sizing", key: "PRINTDOMAINNAME", type: "flag"},
  {section: "sizing", key: "PAGECODE", type: "text", max: 1},
  {section: "sizing", key: "MAXTEXTLEN", type: "number", only: "tervane"},
  {section: "destination", key: "ADDRESS", type: "text", max: 99},
  {section: "destination", key: "NETPORT", type: "number"},
  {section: "debug", key: "DEBUGMODE", type: "flag"},
];

function currentBuild() { return $("build").value; }

function buildIniTable() {
  const body = $("ini-table").tBodies[0];
  body.textContent = "";
  let section = "";
  for (const k of INI_KEYS) {
    if (k.section !== section) {
      section = k.section;
      const tr = body.insertRow();
      tr.className = "section";
      tr.insertCell().textContent = "[" + section + "]";
    }
    const tr = body.insertRow();
    tr.id = "row-" + k.key;
    tr.insertCell().className = "key";
    tr.cells[0].textContent = k.key;
    let input;
    if (k.type === "select") {
      input = document.createElement("select");
      k.words.forEach((w, code) => input.add(new Option(w, String(code))));
    } else {
      input = document.createElement("input");
      input.type = k.type === "flag" ? "checkbox" : k.type === "number" ? "number" : "text";
      if (k.max) input.maxLength = k.max;
    }
    input.id = "ini-" + k.key;
    input.addEventListener("input", settingsChanged);
    input.addEventListener("change", settingsChanged);
    tr.insertCell().appendChild(input);
    const d = tr.insertCell();
    d.className = "default";
    d.id = "default-" + k.key;
  }
}

function showDefaults() {
  const defaults = info.defaults[currentBuild()];
  for (const k of INI_KEYS) {
    const row = $("row-" + k.key);
    row.hidden = k.only !== undefined && k.only !== currentBuild();
    const v = defaults[k.key];
    const shown = k.type === "select" ? k.words[v] : k.type === "flag" ? (v ? "1" : "0") : String(v);
    $("default-" + k.key).textContent = row.hidden ? "" : "default " + (shown === "" ? "(empty)" : shown);
  }
  $("suffix-block").hidden = currentBuild() !== "tervane";
}

// Fills the form from settings as the client read them (an /api/settings answer).
function fillSettings(values, suffix) {
  for (const k of INI_KEYS) {
    if (!(k.key in values)) continue;
    const input = $("ini-" + k.key);
    if (k.type === "flag") input.checked = !!values[k.key];
    else input.value = String(values[k.key]);
  }
  $("suffix-rows").textContent = "";
  for (const entry of suffix || []) addSuffixRow(entry.key, entry.value);
}

function addSuffixRow(key, value) {
  const row = document.createElement("div");
  row.className = "field-row suffix";
  const k = document.createElement("input");
  k.className = "suffix-key"; k.placeholder = "domain"; k.value = key || "";
  const v = document.createElement("input");
  v.className = "suffix-value"; v.placeholder = "suffix"; v.maxLength = 19; v.value = value || "";
  const remove = document.createElement("button");
  remove.type = "button"; remove.textContent = "remove";
  remove.onclick = () => { row.remove(); settingsChanged(); };
  for (const e of [k, v]) e.addEventListener("input", settingsChanged);
  row.append(k, "=", v, remove);
  $("suffix-rows").appendChild(row);
}

// A value as one line of the file: no line ends inside.
const oneLine = (s) => String(s).replace(/[\r\n]/g, "");

// The barcode.ini the form describes, with CR LF line ends (the client's own format).
function iniText() {
  const lines = [];
  let section = "";
  for (const k of INI_KEYS) {
    if (k.only !== undefined && k.only !== currentBuild()) continue;
    if (k.section !== section) { section = k.section; lines.push("[" + section + "]"); }
    const input = $("ini-" + k.key);
    let value;
    if (k.type === "select") value = k.words[Number(input.value)];
    else if (k.type === "flag") value = input.checked ? "1" : "0";
    else if (k.type === "number") value = String(Math.trunc(Number(input.value) || 0));
    else value = oneLine(input.value);
    lines.push(k.key + "=" + value);
  }
  // Last, so that nothing follows it: every line under [suffix] is an entry.
  if (currentBuild() === "tervane") {
    const rows = document.querySelectorAll("#suffix-rows .suffix");
    if (rows.length) {
      lines.push("[suffix]");
      for (const r of rows) {
        lines.push(oneLine(r.querySelector(".suffix-key").value).replace(/=/g, "") + "=" +
                   oneLine(r.querySelector(".suffix-value").value));
      }
    }
  }
  return lines.join("\r\n") + "\r\n";
}

function settingsChanged() {
  $("ini-text").textContent = iniText().replace(/\r\n/g, "\n");
  scheduleRender();
}

async function readSettings(text, note) {
  const answer = await postJson("/api/settings", {build: currentBuild(), ini: text});
  if (answer.error) { setStatus(answer.error, true); return; }
  fillSettings(answer.settings, answer.suffix);
  $("ini-note").textContent = note;
  settingsChanged();
}

function bytesToText(bytes) {
  let s = "";
  for (let i = 0; i < bytes.length; i += 8192) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  return s;
}

function textToBytes(text) {
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i) & 0xff;
  return bytes;
}

function download(name, bytes, type) {
  const url = URL.createObjectURL(new Blob([bytes], {type: type}));
  const a = document.createElement("a");
  a.href = url; a.download = name;
  document.body.appendChild(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// ---- Compose: a form per protocol that builds the argument ----
const TUBE_FIELDS = {
  "0": ["Barcode (Code 128)", "Line 2", "Line 3"],
  "3": ["Barcode (Code 128)", "Line 2", "Line 3"],
  "4": ["Barcode (Code 39 with check)", "Line 2", "Line 3", "Last line (under Hematologie)"],
  "6": ["Barcode (Code 39)", "Line 2", "Line 3", "Line 4", "Line 5", "Line 6"],
};
const SAMPLE = {
  "0": ["A1234567", "LINE TWO", "LINE THREE"], "3": ["A1234567", "LINE TWO", "LINE THREE"],
  "4": ["H555", "N1", "N2", "N3"], "6": ["A1234567", "LINE TWO", "LINE THREE", "", "", ""],
};

function textInput(id, label, value) {
  const l = document.createElement("label");
  l.className = "block";
  l.textContent = label + " ";
  const input = document.createElement("input");
  input.id = id; input.value = value || "";
  input.addEventListener("input", composeChanged);
  l.appendChild(input);
  return l;
}

// One field of the field grammar: a text line (font) or a barcode (selection).
function fieldRow(kind, font, value) {
  const row = document.createElement("div");
  row.className = "field-row";
  const k = document.createElement("select");
  k.className = "kind";
  k.add(new Option("text", "A")); k.add(new Option("barcode", "B"));
  k.value = kind;
  const f = document.createElement("input");
  f.className = "font"; f.value = font; f.title = "font (text) or selection (barcode); text without a font is a plain field";
  const v = document.createElement("input");
  v.className = "value"; v.value = value;
  const remove = document.createElement("button");
  remove.type = "button"; remove.textContent = "remove";
  remove.onclick = () => { row.remove(); composeChanged(); };
  for (const e of [k, f, v]) e.addEventListener("input", composeChanged);
  row.append(k, f, v, remove);
  return row;
}

function fieldList(fields) {
  const box = document.createElement("div");
  box.className = "fields";
  const rows = document.createElement("div");
  rows.className = "field-rows";
  for (const [k, f, v] of fields) rows.appendChild(fieldRow(k, f, v));
  const add = document.createElement("button");
  add.type = "button"; add.textContent = "add field";
  add.onclick = () => { rows.appendChild(fieldRow("A", "", "")); composeChanged(); };
  box.append(rows, add);
  return box;
}

function group(domains, fields) {
  const g = document.createElement("div");
  g.className = "group";
  const d = textInput("", "Domain names (separated by ^)", domains);
  d.querySelector("input").className = "domains";
  g.append(d, fieldList(fields));
  return g;
}

function buildFields() {
  const p = $("protocol").value;
  const box = $("fields");
  box.textContent = "";
  if (TUBE_FIELDS[p]) {
    TUBE_FIELDS[p].forEach((label, i) => box.appendChild(textInput("value-" + (i + 1), label, SAMPLE[p][i])));
  } else if (p === "1") {
    box.appendChild(fieldList([["B", "1", "A1234567"], ["A", "", "LINE TWO"], ["A", "3", "LINE THREE"]]));
  } else if (p === "10") {
    // tervane-b writes protocol 10 in dialect B: Code 128 is selection Q there.
    const selection = currentBuild() === "tervane-b" ? "Q" : "1";
    box.appendChild(group("D1^D2", [["B", selection, "A1234567"], ["A", "", "LINE TWO"]]));
  } else if (p === "11") {
    const groups = document.createElement("div");
    groups.id = "groups";
    groups.appendChild(group("D1^D2", [["B", "1", "A1234567"], ["A", "", "LINE TWO"]]));
    const add = document.createElement("button");
    add.type = "button"; add.textContent = "add group";
    add.onclick = () => { groups.appendChild(group("D3", [["A", "", "LINE"]])); composeChanged(); };
    box.append(groups, add);
  } else if (p === "100") {
    for (const [id, label, value] of [["first", "First number", "41"], ["count", "Count", "2"],
                                      ["copies", "Copies of each", "1"], ["width", "Digits (zero padded)", "6"]]) {
      box.appendChild(textInput("series-" + id, label, value));
    }
    box.appendChild(textInput("series-selection", "Number barcode selection", "1"));
    box.appendChild(fieldList([["A", "", "LOT 7"], ["A", "3", "SERIES A"]]));
  }
  composeChanged();
}

function fieldText(row) {
  const kind = row.querySelector(".kind").value;
  const font = row.querySelector(".font").value;
  const value = row.querySelector(".value").value;
  if (kind === "A" && font === "") return value;
  return kind + "^" + font + "^" + value;
}

function fieldsText(box) {
  return Array.from(box.querySelectorAll(".field-row")).map((r) => fieldText(r) + "\\").join("");
}

// The argument as a requesting application sends it: a "%" is written %25 so that the
// client's percent-decoding gives it back, a blank %20.
function encodeArgument(text) {
  return text.replace(/%/g, "%25").replace(/ /g, "%20").replace(/\r/g, "%0D").replace(/\n/g, "%0A");
}

function composedData() {
  const p = $("protocol").value;
  const box = $("fields");
  const value = (id) => { const e = $(id); return e ? e.value : ""; };
  if (TUBE_FIELDS[p]) {
    const values = TUBE_FIELDS[p].map((_, i) => value("value-" + (i + 1)));
    // The Biochimie layout drops the last character of its last value: the backslash.
    return values.join("\\") + (p === "0" || p === "3" ? "\\" : "");
  }
  if (p === "1") return fieldsText(box);
  if (p === "10") {
    const g = box.querySelector(".group");
    return g.querySelector(".domains").value + "\\" + fieldsText(g);
  }
  if (p === "11") {
    return Array.from(box.querySelectorAll(".group"))
        .map((g) => g.querySelector(".domains").value + "\\" + fieldsText(g)).join("|");
  }
  if (p === "100") {
    const header = ["first", "count", "copies", "width"].map((k) => value("series-" + k)).join("^");
    return header + "\\B^" + value("series-selection") + "\\" + fieldsText(box.querySelector(".fields"));
  }
  return "";
}

function composeChanged() {
  $("argument").value = "x://" + $("protocol").value + "\\" + encodeArgument(composedData());
  scheduleRender();
}

// ---- rendering ----
let renderTimer = null;
let renderSequence = 0;

function scheduleRender() {
  clearTimeout(renderTimer);
  renderTimer = setTimeout(render, 250);
}

function setStatus(text, isError) {
  $("status").textContent = text;
  $("status").className = isError ? "status error" : "status";
}

async function postJson(path, body) {
  try {
    const res = await fetch(path, {method: "POST", headers: {"Content-Type": "application/json"},
                                   body: JSON.stringify(body)});
    return await res.json();
  } catch (e) {
    return {error: "the studio did not answer (" + e.message + ")"};
  }
}

function renderBody() {
  const body = {build: currentBuild(), dpi: Number($("dpi").value), ini: iniText(),
                stock: {widthMm: Number($("stock-width").value) || 0, lengthMm: Number($("stock-length").value) || 0}};
  if ($("source").value === "job") body.job = $("job").value;
  else body.argument = $("argument").value;
  return body;
}

async function render() {
  const sequence = ++renderSequence;
  setStatus("rendering…");
  const started = performance.now();
  const answer = await postJson("/api/render", renderBody());
  if (sequence !== renderSequence) return;  // a newer rendering is on its way
  if (answer.labels === undefined) { setStatus(answer.error || "no answer", true); return; }
  const ms = Math.round(performance.now() - started);
  showLabels(answer);
  const exit = answer.exitCode ? "; the client would end with exit code " + answer.exitCode : "";
  setStatus(answer.labels.length + " label(s), " + answer.warningCount + " warning(s), " + ms + " ms" + exit,
            !!answer.error);
  document.body.dataset.rendered = String(sequence);
}

function li(text, className) {
  const e = document.createElement("li");
  e.textContent = text;
  if (className) e.className = className;
  return e;
}

// ---- the pictures: fitted to the panel or at real size, with millimetre rulers ----
const CSS_PX_PER_INCH = 96;
const SVG_NS = "http://www.w3.org/2000/svg";

function svgElement(tag, attributes) {
  const e = document.createElementNS(SVG_NS, tag);
  for (const [name, value] of Object.entries(attributes)) e.setAttribute(name, value);
  return e;
}

// A ruler of mm millimetres along the top or the left of a picture: a tick each mm,
// longer ones each 5 and 10 mm, a number each 10 mm. The ticks are drawn in millimetre
// units stretched over the ruler, the numbers placed in percent, so the ruler follows the
// picture's size without being redrawn; fitRuler thins them out on small pictures.
function ruler(side, mm) {
  const box = document.createElement("div");
  box.className = "ruler " + side;
  const top = side === "top";
  const drawing = svgElement("svg", {viewBox: top ? "0 0 " + mm + " 1" : "0 0 1 " + mm, preserveAspectRatio: "none"});
  const paths = {mm: "", five: "", ten: ""};
  const lengths = {mm: 0.3, five: 0.45, ten: 0.8};  // of the ruler's breadth
  for (let k = 0; k <= mm; ++k) {
    const kind = k % 10 === 0 ? "ten" : k % 5 === 0 ? "five" : "mm";
    paths[kind] += top ? "M" + k + " 1V" + (1 - lengths[kind]) : "M1 " + k + "H" + (1 - lengths[kind]);
    if (kind !== "ten" || k === 0) continue;
    const number = document.createElement("span");
    number.className = "num" + [20, 50, 100].map((n) => k % n === 0 ? " n" + n : "").join("");
    number.textContent = String(k);
    number.style[top ? "left" : "top"] = (k / mm * 100) + "%";
    box.appendChild(number);
  }
  for (const kind of ["mm", "five", "ten"]) {
    if (paths[kind]) drawing.appendChild(svgElement("path", {d: paths[kind], class: "tick " + kind}));
  }
  box.prepend(drawing);
  return box;
}

// Ticks and numbers as dense as the picture's shown size allows; crisp dots when enlarged.
function fitRuler(picture) {
  const shown = picture.getBoundingClientRect().width;
  if (!shown) return;
  const pxPerMm = shown / Number(picture.dataset.widthMm);
  picture.dataset.ticks = pxPerMm >= 3 ? "mm" : pxPerMm >= 0.6 ? "five" : "ten";
  picture.dataset.numbers = String([10, 20, 50].find((step) => step * pxPerMm >= 24) || 100);
  picture.classList.toggle("enlarged", shown * (window.devicePixelRatio || 1) >= Number(picture.dataset.dots));
}

const pictureSizes = new ResizeObserver((entries) => { for (const e of entries) fitRuler(e.target); });

// A box in dots on a picture of width x height dots, in percent of the picture, kept on
// it and at least 2 dots wide and high so that a thin one stays visible.
function placeOn(e, box, width, height) {
  const x0 = Math.max(0, Math.min(box.x0, width)), x1 = Math.max(0, Math.min(box.x1, width));
  const y0 = Math.max(0, Math.min(box.y0, height)), y1 = Math.max(0, Math.min(box.y1, height));
  e.style.left = (Math.min(x0, width - 2) / width * 100) + "%";
  e.style.top = (Math.min(y0, height - 2) / height * 100) + "%";
  e.style.width = (Math.min(Math.max(x1 - x0, 2), width) / width * 100) + "%";
  e.style.height = (Math.min(Math.max(y1 - y0, 2), height) / height * 100) + "%";
}

// The picture of one label in a view that scrolls by itself when it is wider than the
// panel (real size): the rulers, the stock's outline and a mark on each placed warning.
function pictureView(label) {
  const dpi = label.dpi || Number($("dpi").value);
  const view = document.createElement("div");
  view.className = "view";
  const stage = document.createElement("div");
  stage.className = "stage";
  const picture = document.createElement("div");
  picture.className = "picture";
  picture.dataset.dots = label.width;
  picture.dataset.widthMm = label.width / dpi * 25.4;
  picture.style.setProperty("--ratio", String(label.width / label.height));
  picture.style.setProperty("--real-width", (label.width / dpi * CSS_PX_PER_INCH) + "px");
  const img = document.createElement("img");
  img.src = "data:image/png;base64," + label.png_base64;
  img.alt = label.fileName;
  img.className = "label-picture";
  img.width = label.width;
  img.height = label.height;
  // The stock as the checks saw it; a side it does not give is the picture's (what is drawn).
  const stock = label.stock || {width: 0, length: 0};
  const outline = document.createElement("div");
  outline.className = "outline" + (stock.width > 0 && stock.length > 0 ? "" : " drawn");
  placeOn(outline, {x0: 0, y0: 0, x1: stock.width || label.width, y1: stock.length || label.height},
          label.width, label.height);
  const mm = (dots) => (dots / dpi * 25.4).toFixed(1);
  outline.title = "stock " + (stock.width > 0 ? mm(stock.width) : "?") + " × " +
                  (stock.length > 0 ? mm(stock.length) : "?") + " mm" +
                  (outline.classList.contains("drawn") ? " (?: not given; the picture is what is drawn and a margin)" : "");
  picture.append(img, outline, ruler("top", label.width / dpi * 25.4), ruler("left", label.height / dpi * 25.4));
  for (const w of label.warnings) {
    if (!w.placed) continue;
    const mark = document.createElement("div");
    mark.className = "mark";
    mark.title = w.kind + ": " + w.message;
    mark.dataset.kind = w.kind;
    placeOn(mark, w.where, label.width, label.height);
    picture.appendChild(mark);
  }
  stage.appendChild(picture);
  view.appendChild(stage);
  pictureSizes.observe(picture);
  return view;
}

function showLabels(answer) {
  const labels = $("labels");
  pictureSizes.disconnect();
  labels.textContent = "";
  const all = $("warnings");
  all.textContent = "";
  for (const label of answer.labels) {
    const box = document.createElement("div");
    box.className = "label";
    box.dataset.number = label.number;
    const picture = pictureView(label);
    const png = "data:image/png;base64," + label.png_base64;
    const side = document.createElement("div");
    side.className = "label-side";
    const save = document.createElement("a");
    save.href = png; save.download = label.fileName; save.textContent = "download " + label.fileName;
    save.className = "png-download";
    const title = document.createElement("div");
    title.append(save);
    const scans = document.createElement("ul");
    scans.className = "barcodes";
    for (const b of label.barcodes) {
      const read = b.scans.length ? b.scans.join(", ") : "nothing";
      const e = li(b.symbology + " " + b.origin + " \"" + b.data + "\" scans as: " + read,
                   b.scansToData ? "scan-ok" : "scan-bad");
      e.dataset.scansToData = b.scansToData;
      e.dataset.x0 = b.box.x0;
      scans.appendChild(e);
    }
    const warnings = document.createElement("ul");
    for (const w of label.warnings) {
      warnings.appendChild(li(w.kind + ": " + w.message, "warning"));
      const e = li(label.fileName + ": " + w.kind + ": " + w.message);
      e.dataset.kind = w.kind;
      all.appendChild(e);
    }
    side.append(title, scans, warnings);
    box.append(picture, side);
    labels.appendChild(box);
  }
  if (!all.children.length) all.appendChild(li("no warnings", "none"));
  $("summary").textContent = answer.lines.join("\n");
  $("job-text").textContent = answer.jobs.join("\n---\n");
}

// ---- the virtual printer ----
// The page polls the printer's generation (a few bytes) and fetches the labels only when
// it changed; labels already shown stay as they are, new ones go on top.
const PRINTER_POLL_MS = 300;
let printerGeneration = null;

function receivedView(label) {
  const box = document.createElement("div");
  box.className = "received fresh";
  box.dataset.id = label.id;
  const side = document.createElement("div");
  side.className = "label-side";
  const meta = document.createElement("div");
  meta.className = "meta";
  meta.textContent = new Date(label.time).toLocaleString() + " from " + label.sender;
  side.appendChild(meta);
  if (label.note) {
    const note = document.createElement("div");
    note.className = "note";
    note.textContent = label.note;
    side.appendChild(note);
  }
  if (label.png_base64) {
    const summary = document.createElement("div");
    summary.className = "hint";
    summary.textContent = label.summary;
    const warnings = document.createElement("ul");
    warnings.className = "received-warnings";
    for (const w of label.warnings) {
      const e = li(w.kind + ": " + w.message, "warning");
      e.dataset.kind = w.kind;
      warnings.appendChild(e);
    }
    if (!label.warnings.length) warnings.appendChild(li("no warnings", "scan-ok"));
    const save = document.createElement("a");
    save.href = "data:image/png;base64," + label.png_base64;
    save.download = "label-" + label.id + ".png";
    save.textContent = "download PNG";
    side.append(summary, warnings, save);
    box.appendChild(pictureView(label));
  }
  const job = document.createElement("details");
  const jobSummary = document.createElement("summary");
  jobSummary.textContent = "label job (" + label.job.length + " bytes)";
  const jobText = document.createElement("pre");
  jobText.className = "received-job";
  jobText.textContent = label.job;
  job.append(jobSummary, jobText);
  side.appendChild(job);
  box.appendChild(side);
  return box;
}

function showReceived(labels) {
  const list = $("printer-labels");
  const ids = new Set(labels.map((l) => String(l.id)));
  for (const box of Array.from(list.children)) {
    if (!ids.has(box.dataset.id)) box.remove();
  }
  const shown = new Set(Array.from(list.children).map((b) => b.dataset.id));
  const first = list.firstChild;
  for (const label of labels) {  // newest first
    if (shown.has(String(label.id))) continue;
    const box = receivedView(label);
    box.dataset.shownAt = String(Date.now());
    list.insertBefore(box, first);
  }
  $("printer-link").textContent = "Printer (" + labels.length + ")";
}

async function pollPrinter() {
  try {
    const state = await (await fetch("/api/printer")).json();
    if (state.generation !== printerGeneration) {
      const answer = await (await fetch("/api/printer/labels")).json();
      if (answer.labels) {
        showReceived(answer.labels);
        printerGeneration = answer.generation;
        document.body.dataset.printerGeneration = String(printerGeneration);
      }
    }
  } catch (e) {
    // The studio is gone or busy: the next poll tries again.
  }
  setTimeout(pollPrinter, PRINTER_POLL_MS);
}

function startPrinter() {
  const p = info.printer;
  if (!p || (!p.address && !p.serial)) return;
  $("printer").hidden = false;
  $("printer-link").hidden = false;
  const where = [];
  if (p.address) where.push("raw TCP " + p.address);
  if (p.serial) where.push("serial " + p.serial);
  if (p.keep) where.push("kept in " + p.keep);
  $("printer-where").textContent = "listening on " + where.join(", ") + "; the last " + p.kept + " labels, newest first";
  $("printer-clear").addEventListener("click", async () => {
    await fetch("/api/printer/labels", {method: "DELETE"});
  });
  $("printer-real-size").addEventListener("change", () =>
      $("printer-labels").classList.toggle("real-size", $("printer-real-size").checked));
  pollPrinter();
}

// ---- start ----
async function start() {
  try {
    info = await (await fetch("/api/info")).json();
  } catch (e) {
    setStatus("the studio did not answer", true);
    return;
  }
  buildIniTable();
  showDefaults();
  fillSettings(info.defaults[currentBuild()], []);
  $("ini-note").textContent = "built-in defaults (what the client uses while a key is missing)";
  if (info.printTo) {
    $("print").hidden = false;
    $("print").title = "send the label job to the print service at " + info.printTo;
  }
  $("build").addEventListener("change", () => {
    showDefaults();
    if ($("protocol").value === "10") buildFields();  // its sample differs by build
    settingsChanged();
  });
  $("protocol").addEventListener("change", buildFields);
  $("source").addEventListener("change", () => {
    const job = $("source").value === "job";
    $("job-source").hidden = !job;
    $("request-source").hidden = job;
    scheduleRender();
  });
  for (const id of ["argument", "job", "dpi", "stock-width", "stock-length"]) {
    $(id).addEventListener("input", scheduleRender);
    $(id).addEventListener("change", scheduleRender);
  }
  $("real-size").addEventListener("change", () => $("labels").classList.toggle("real-size", $("real-size").checked));
  $("ini-file").addEventListener("change", async () => {
    const file = $("ini-file").files[0];
    if (!file) return;
    const text = bytesToText(new Uint8Array(await file.arrayBuffer()));
    $("ini-file").value = "";
    await readSettings(text, file.name + ", as " + currentBuild() + " reads it");
  });
  $("ini-download").addEventListener("click", () => download("barcode.ini", textToBytes(iniText()), "text/plain"));
  $("ini-builtin").addEventListener("click", () => {
    fillSettings(info.defaults[currentBuild()], []);
    $("ini-note").textContent = "built-in defaults (what the client uses while a key is missing)";
    settingsChanged();
  });
  $("ini-client-default").addEventListener("click", () =>
      readSettings(info.defaultFile, "the file the client writes when barcode.ini is missing"));
  $("suffix-add").addEventListener("click", () => { addSuffixRow("", ""); settingsChanged(); });
  $("print").addEventListener("click", async () => {
    const answer = await postJson("/api/print", renderBody());
    setStatus(answer.error || answer.sent + " label job(s) sent to " + answer.to, !!answer.error);
  });
  settingsChanged();
  buildFields();
  startPrinter();
}

start();
