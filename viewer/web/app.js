// The page of `ocam view`: the live picture read from a multipart JPEG
// stream, the stream's numbers and events, the histogram, the settings made
// from the library's table, the I/O panel and the snapshots. Every request
// carries the access token the page's own address came with.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);
const withToken = (path) => path + (path.includes('?') ? '&' : '?') + 'token=' + encodeURIComponent(token);
const sleep = (ms) => new Promise((done) => setTimeout(done, ms));

function say(text) {
  $('message').textContent = text || '';
}

async function api(path, options = {}) {
  options.headers = Object.assign({ 'X-Access-Token': token }, options.headers || {});
  const reply = await fetch(path, options);
  const body = await reply.json().catch(() => ({}));
  if (!reply.ok) throw new Error(body.error || reply.status + ' ' + reply.statusText);
  return body;
}

// ------------------------------------------------------------------ live picture

const picture = $('picture');
const overlay = $('overlay');
const view = { frameWidth: 0, frameHeight: 0, window: null, seqNr: -1, delays: [] };
window.ocamView = view;  // read by the browser test

function wantedScale() {
  if (!view.frameWidth) return 2;
  const shown = picture.clientWidth * (window.devicePixelRatio || 1);
  for (const s of [8, 4, 2]) if (view.frameWidth / s >= shown) return s;
  return 1;
}

// One picture at a time, each the newest there is: however slow this browser,
// what it shows is at most about a picture behind the camera.
async function live() {
  let generation = 0;
  for (;;) {
    const scale = wantedScale();
    try {
      const reply = await fetch(withToken(`/picture.jpg?scale=${scale}&after=${generation}`), { cache: 'no-store' });
      if (reply.status === 204) continue;  // nothing newer within a second
      if (!reply.ok) {
        const body = await reply.json().catch(() => ({}));
        throw new Error(body.error || reply.statusText);
      }
      generation = Number(reply.headers.get('X-Generation'));
      const bitmap = await createImageBitmap(await reply.blob());
      const size = (reply.headers.get('X-Frame-Size') || '').split('x').map(Number);
      view.frameWidth = size[0];
      view.frameHeight = size[1];
      view.seqNr = Number(reply.headers.get('X-Sequence'));
      const taken = Number(reply.headers.get('X-Camera-Time-Us')) / 1000;
      if (picture.width !== bitmap.width || picture.height !== bitmap.height) {
        picture.width = overlay.width = bitmap.width;
        picture.height = overlay.height = bitmap.height;
        drawSelection();
      }
      picture.getContext('2d').drawImage(bitmap, 0, 0);
      bitmap.close();
      view.delays.push(Date.now() - taken);
      if (view.delays.length > 100) view.delays.shift();
      $('frameinfo').textContent = `frame ${view.seqNr}, ${view.frameWidth}×${view.frameHeight}` +
        (scale > 1 ? ` shown at 1/${scale}` : '');
    } catch (e) {
      say('live picture: ' + e.message);
      await sleep(1000);
    }
  }
}

// ------------------------------------------------------------ numbers, histogram

let lastEvent = 0;
let recoveredUntil = 0;

function showState(state) {
  const badge = $('state');
  let text = state;
  if (state === 'running' && Date.now() < recoveredUntil) text = 'recovered';
  badge.textContent = text;
  badge.className = 'state ' + text;
}

function drawHistogram(h) {
  const canvas = $('histogram');
  const g = canvas.getContext('2d');
  g.clearRect(0, 0, canvas.width, canvas.height);
  // The tallest bin away from the ends sets the height, so that a clipped
  // end does not flatten the rest.
  let top = 1;
  for (const bins of [h.red, h.green, h.blue, h.luma])
    for (let i = 1; i < 255; i++) top = Math.max(top, bins[i]);
  const y = (v) => canvas.height - Math.min(1, v / top) * canvas.height;
  g.fillStyle = 'rgba(200,200,200,0.35)';
  for (let i = 0; i < 256; i++) g.fillRect(i, y(h.luma[i]), 1, canvas.height - y(h.luma[i]));
  for (const [bins, colour] of [[h.red, '#e55'], [h.green, '#5d5'], [h.blue, '#58f']]) {
    g.strokeStyle = colour;
    g.beginPath();
    for (let i = 0; i < 256; i++) (i ? g.lineTo : g.moveTo).call(g, i + 0.5, y(bins[i]));
    g.stroke();
  }
  $('saturated').textContent = (h.saturated * 100).toFixed(2) + ' %';
}

function showIo(io) {
  const box = $('io');
  if (!io.reachable) {
    box.textContent = io.problem || 'I/O not reachable';
    box.dataset.built = '';
    return;
  }
  if (!box.dataset.built) {
    box.innerHTML = '';
    const row = (title) => {
      const div = document.createElement('div');
      div.className = 'io-row';
      div.append(title);
      box.append(div);
      return div;
    };
    const inputs = row('inputs');
    for (const n of [0, 1]) {
      const lamp = document.createElement('span');
      lamp.className = 'lamp';
      lamp.id = 'input' + n;
      const edges = document.createElement('span');
      edges.id = 'edges' + n;
      inputs.append(` I${n} `, lamp, edges);
    }
    const switches = (title, kind, count) => {
      const r = row(title);
      for (let n = 0; n < count; n++) {
        const label = document.createElement('label');
        const box = document.createElement('input');
        box.type = 'checkbox';
        box.id = kind + n;
        box.addEventListener('change', async () => {
          box.disabled = true;
          try {
            await api('/api/io', { method: 'POST', body: JSON.stringify({ [kind]: n, on: box.checked }) });
            say('');
          } catch (e) {
            box.checked = !box.checked;
            say(`${kind} ${n}: ${e.message}`);
          }
          box.disabled = false;
        });
        label.append(box, (kind === 'output' ? ' O' : ' ') + n);
        r.append(label);
      }
    };
    switches('outputs', 'output', 4);
    switches('LEDs', 'led', 8);
    box.dataset.built = '1';
  }
  for (const n of [0, 1]) {
    $('input' + n).className = 'lamp' + (io.inputs >> n & 1 ? ' on' : '');
    $('edges' + n).textContent = ` ↑${io.edges[2 * n]} ↓${io.edges[2 * n + 1]}`;
  }
  for (let n = 0; n < 4; n++) if (!$('output' + n).disabled) $('output' + n).checked = !!(io.outputs >> n & 1);
  for (let n = 0; n < 8; n++) if (!$('led' + n).disabled) $('led' + n).checked = !!(io.leds >> n & 1);
}

async function numbers() {
  for (;;) {
    try {
      const s = await api('/api/status?after=' + lastEvent);
      $('fps').textContent = s.framesPerSecond.toFixed(1);
      $('mbps').textContent = s.megabytesPerSecond.toFixed(1);
      $('dropped').textContent = s.dropped;
      $('missing').textContent = s.missing;
      $('failed').textContent = s.failedRequests;
      $('recoveries').textContent = s.recoveries;
      $('viewers').textContent = s.viewers;
      if (view.delays.length) {
        const recent = view.delays.slice(-30).sort((a, b) => a - b);
        $('delay').textContent = recent[recent.length >> 1].toFixed(0) + ' ms';
      }
      for (const e of s.events) {
        lastEvent = e.number;
        const item = document.createElement('li');
        item.textContent = e.kind + (e.detail ? ': ' + e.detail : '');
        $('events').append(item);
        $('events').scrollTop = $('events').scrollHeight;
        if (e.kind === 'recovered') recoveredUntil = Date.now() + 5000;
      }
      view.window = s.window;
      showState(s.state);
      if (s.histogram) drawHistogram(s.histogram);
      if (s.io) showIo(s.io);
    } catch (e) {
      showState('viewer unreachable');
    }
    await sleep(500);
  }
}

// -------------------------------------------------------------------- settings

let table = [];
const windowSetting = () =>
  table.find((s) => s.fields.length === 4 && ['x0', 'y0', 'width', 'height'].every((f, i) => s.fields[i].name === f));

function choiceName(field, value) {
  const c = field.choices.find((c) => c.value === value);
  return c ? c.name : field.choices[0].name;
}

// The JSON value of a setting from its fields' numbers, as the library's document takes it.
function jsonValue(setting, numbers) {
  const one = (field, v) =>
    field.type === 'choice' ? choiceName(field, v) : field.type === 'bool' ? !!v : v;
  if (setting.fields.length === 1) return one(setting.fields[0], numbers[0]);
  const out = {};
  setting.fields.forEach((f, i) => (out[f.name] = one(f, numbers[i])));
  return out;
}

async function send(setting, numbers, element) {
  try {
    await api('/api/settings', { method: 'POST', body: JSON.stringify({ [setting.name]: jsonValue(setting, numbers) }) });
    element.classList.remove('refused');
    element.title = '';
    say('');
    return true;
  } catch (e) {
    element.classList.add('refused');
    element.title = e.message;
    say(e.message);
    return false;
  }
}

// A field's editor: a slider with a number box for numbers (logarithmic over a
// wide range), a check box, or a list of choices.
function fieldEditor(setting, field, value, onChange) {
  const row = document.createElement('span');
  row.className = 'row';
  const id = `set-${setting.name}` + (setting.fields.length > 1 ? `-${field.name}` : '');
  if (field.type === 'bool') {
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.id = id;
    box.checked = !!value;
    box.addEventListener('change', () => onChange(box.checked ? 1 : 0));
    row.append(box);
    return { row, get: () => (box.checked ? 1 : 0) };
  }
  if (field.type === 'choice') {
    const list = document.createElement('select');
    list.id = id;
    for (const c of field.choices) list.add(new Option(c.name, c.value, false, c.value === value));
    list.addEventListener('change', () => onChange(Number(list.value)));
    row.append(list);
    return { row, get: () => Number(list.value) };
  }
  const number = document.createElement('input');
  number.type = 'number';
  number.id = id;
  number.min = field.min;
  number.max = field.max;
  number.step = field.type === 'int' ? 1 : 'any';
  number.value = value;
  const wide = field.min > 0 && field.max / field.min > 1000;
  const slider = document.createElement('input');
  slider.type = 'range';
  slider.id = 'slider-' + id.slice(4);
  slider.min = 0;
  slider.max = 1000;
  const toSlider = (v) =>
    wide ? (1000 * Math.log(v / field.min)) / Math.log(field.max / field.min)
      : (1000 * (v - field.min)) / (field.max - field.min || 1);
  const fromSlider = (p) => {
    const v = wide ? field.min * Math.pow(field.max / field.min, p / 1000) : field.min + ((field.max - field.min) * p) / 1000;
    return field.type === 'int' ? Math.round(v) : Number(v.toPrecision(4));
  };
  slider.value = toSlider(value);
  let timer = null;
  slider.addEventListener('input', () => {
    number.value = fromSlider(Number(slider.value));
    // While dragging, at most a few requests a second.
    if (!timer) timer = setTimeout(() => { timer = null; onChange(Number(number.value)); }, 150);
  });
  number.addEventListener('change', () => {
    slider.value = toSlider(Number(number.value));
    onChange(Number(number.value));
  });
  const unit = document.createElement('span');
  unit.className = 'unit';
  unit.textContent = field.unit;
  row.append(slider, number, unit);
  return { row, get: () => Number(number.value) };
}

function control(setting) {
  const box = document.createElement('div');
  box.className = 'control';
  box.id = 'control-' + setting.name;
  const label = document.createElement('label');
  label.textContent = setting.name;
  label.title = setting.help;
  box.append(label);
  const values = setting.value || setting.powerOn || setting.fields.map((f) => f.powerOn);
  if (setting.fields.length === 1) {
    const f = setting.fields[0];
    // One request at a time, the newest value next: a dragged slider's last
    // position is the one the camera ends with.
    let busy = false;
    let queued = null;
    const push = async (v) => {
      if (busy) {
        queued = v;
        return;
      }
      busy = true;
      await send(setting, [v], box);
      busy = false;
      if (queued !== null) {
        const next = queued;
        queued = null;
        push(next);
      }
    };
    const editor = fieldEditor(setting, f, values[0], push);
    editor.row.title = `${f.help} (${f.min}..${f.max} ${f.unit})`;
    box.append(editor.row);
  } else {
    const editors = setting.fields.map((f, i) => {
      const e = fieldEditor(setting, f, values[i], () => {});
      const name = document.createElement('span');
      name.textContent = f.name;
      name.title = f.help;
      e.row.prepend(name);
      e.row.title = `${f.help} (${f.min}..${f.max} ${f.unit})`;
      box.append(e.row);
      return e;
    });
    const apply = document.createElement('button');
    apply.textContent = 'Set';
    apply.id = 'apply-' + setting.name;
    apply.addEventListener('click', () => send(setting, editors.map((e) => e.get()), box));
    box.append(apply);
  }
  return box;
}

// The settings people tune while watching come first; the rest of the table follows.
const tuned = /^(shutterTime|gain|frameRate|triggerSource|triggerDelay|illumination\w*|whiteBalance\w*)$/;

async function settings() {
  try {
    const reply = await api('/api/settings');
    table = reply.settings;
    $('controls').innerHTML = '';
    $('morecontrols').innerHTML = '';
    for (const s of table) {
      if (s.fields.some((f) => f.type === 'bytes') || s === windowSetting()) continue;
      (tuned.test(s.name) ? $('controls') : $('morecontrols')).append(control(s));
    }
  } catch (e) {
    say('settings: ' + e.message);
  }
}

// ---------------------------------------------------- the window on the picture

let drag = null;
let selection = null;  // in frame pixels of the current picture

function framePoint(event) {
  const r = overlay.getBoundingClientRect();
  const fx = ((event.clientX - r.left) / r.width) * view.frameWidth;
  const fy = ((event.clientY - r.top) / r.height) * view.frameHeight;
  return [Math.max(0, Math.min(view.frameWidth, fx)), Math.max(0, Math.min(view.frameHeight, fy))];
}

function drawSelection() {
  const g = overlay.getContext('2d');
  g.clearRect(0, 0, overlay.width, overlay.height);
  if (!selection || !view.frameWidth) return;
  const k = overlay.width / view.frameWidth;
  g.strokeStyle = '#ff0';
  g.lineWidth = 2;
  g.setLineDash([6, 4]);
  g.strokeRect(selection.x * k, selection.y * k, selection.w * k, selection.h * k);
}

overlay.addEventListener('mousedown', (e) => {
  if (!view.frameWidth) return;
  drag = framePoint(e);
});
overlay.addEventListener('mousemove', (e) => {
  if (!drag) return;
  const p = framePoint(e);
  // Even offsets and sizes keep the Bayer layout and the conversion's 2x2 cells.
  const even = (v) => Math.floor(v / 2) * 2;
  selection = {
    x: even(Math.min(drag[0], p[0])), y: even(Math.min(drag[1], p[1])),
    w: even(Math.abs(p[0] - drag[0])), h: even(Math.abs(p[1] - drag[1])),
  };
  drawSelection();
});
overlay.addEventListener('mouseup', () => {
  drag = null;
  if (!selection || selection.w < 2 || selection.h < 2) {
    selection = null;
    drawSelection();
    return;
  }
  const w = view.window || { x0: 0, y0: 0 };
  $('windowtext').textContent = `${w.x0 + selection.x},${w.y0 + selection.y} ${selection.w}×${selection.h}`;
  $('windowtools').hidden = false;
});

async function setWindow(numbers) {
  const s = windowSetting();
  if (!s) return say('the settings table has no window');
  if (await send(s, numbers, $('picture'))) {
    selection = null;
    drawSelection();
    $('windowtools').hidden = true;
  }
}

$('setwindow').addEventListener('click', () => {
  const w = view.window || { x0: 0, y0: 0 };
  setWindow([w.x0 + selection.x, w.y0 + selection.y, selection.w, selection.h]);
});
$('cancelwindow').addEventListener('click', () => {
  selection = null;
  drawSelection();
  $('windowtools').hidden = true;
});
$('fullwindow').addEventListener('click', () => {
  const s = windowSetting();
  if (s) setWindow(s.powerOn || s.fields.map((f) => f.powerOn));
});

// ------------------------------------------------------------ profile, snapshot

$('snappng').href = withToken('/snapshot.png');
$('snapraw').href = withToken('/snapshot.raw');
$('saveprofile').href = withToken('/api/profile');
$('loadprofile').addEventListener('change', async (e) => {
  const file = e.target.files[0];
  if (!file) return;
  try {
    const reply = await api('/api/profile', { method: 'POST', body: await file.text() });
    say('profile loaded: ' + reply.applied.join(', '));
    settings();
  } catch (err) {
    say('profile: ' + err.message);
  }
  e.target.value = '';
});
$('reset').addEventListener('click', async () => {
  if (!confirm('Bring the camera to its power-on settings?')) return;
  try {
    await api('/api/reset', { method: 'POST' });
    say('power-on settings made');
    settings();
  } catch (err) {
    say('reset: ' + err.message);
  }
});

settings();
numbers();
live();
