const $ = id => document.getElementById(id);
const sleep = ms => new Promise(done => setTimeout(done, ms));
let frameRequest = 0;
// The mode the last status named; the page arrives saying what it waits for.
let trigger = $('waiting').textContent === 'waiting for trigger' ? 'sw' : 'free';
// The frame on screen: its number (what /pixel, /histogram and
// /saturation.png are asked about, so that every figure is of the picture
// seen) and its size.
const shown = { frame: null, width: 0, lines: 0 };
// The stage's place: camera pixel (x, y) is drawn at (tx + x s, ty + y s)
// CSS pixels of the view; `fit` keeps the whole frame in view.
const view = { scale: 1, tx: 0, ty: 0, fit: true };
const kMinScale = 1 / 64, kMaxScale = 64;
let probe = null;  // the camera pixel under the cursor, {x, y}
let lastHistogram = null;

function say(text, bad) { $('message').textContent = text; $('message').className = bad ? 'bad' : ''; }

async function send(method, path, fields) {
  const options = { method };
  if (fields) options.body = new URLSearchParams(fields);
  const response = await fetch(path, options);
  const text = await response.text();
  if (!response.ok) throw new Error(text.trim() || method + ' ' + path + ': status ' + response.status);
  return text ? JSON.parse(text) : {};
}

function control(method, path, fields, done) {
  send(method, path, fields).then(result => { say(done(result), false); refreshStatus(); })
                            .catch(error => say(error.message, true));
}

// ---- The live picture ------------------------------------------------

// Until a frame arrives (a triggered camera waits for its trigger) the
// image area says why it is empty rather than showing a broken image.
function showWaiting() {
  $('waiting').textContent = trigger === 'free' ? 'waiting for the first frame' : 'waiting for trigger';
  $('live').hidden = true;
  $('overlay').hidden = true;
  $('waiting').hidden = false;
}

// A frame and its overlay are decoded first and then drawn in one go, so
// that the screen never shows one frame under another's marks.
async function showFrame(blob, number) {
  const picture = await createImageBitmap(blob);
  const mask = $('saturation').checked ? await saturationMask(number) : null;
  const canvas = $('live');
  const resized = picture.width !== shown.width || picture.height !== shown.lines;
  Object.assign(shown, { frame: number, width: picture.width, lines: picture.height });
  if (resized) layOut();
  canvas.getContext('2d').drawImage(picture, 0, 0);
  picture.close();
  if (mask) paintOverlay(mask);
  else $('overlay').hidden = true;
  $('frame').textContent = number;
  canvas.hidden = false;
  $('waiting').hidden = true;
  if (resized && view.fit) fitView();
  refreshProbe();
}

// The frames one after the other, each asked for once the last is shown.
async function frameLoop() {
  for (;;) {
    try {
      const response = await fetch('/frame.png?n=' + (++frameRequest), { cache: 'no-store' });
      if (!response.ok) throw new Error('no frame');
      await showFrame(await response.blob(), Number(response.headers.get('X-Frame-Number')));
    } catch (error) {
      showWaiting();
      await sleep(300);
    }
  }
}

// ---- Zoom and pan ----------------------------------------------------

function layOut() {
  $('stage').style.width = shown.width + 'px';
  $('stage').style.height = shown.lines + 'px';
  for (const canvas of [$('live'), $('overlay')]) {
    canvas.width = shown.width;
    canvas.height = shown.lines;
  }
}

// Device pixels per camera pixel, as a ratio where it is one.
function scaleText() {
  const ratio = view.scale * window.devicePixelRatio;
  const near = (a, b) => Math.abs(a - b) < 1e-6;
  if (ratio >= 1 && near(ratio, Math.round(ratio))) return Math.round(ratio) + ':1';
  if (ratio < 1 && near(1 / ratio, Math.round(1 / ratio))) return '1:' + Math.round(1 / ratio);
  return Math.round(ratio * 100) + '%';
}

function applyView() {
  $('stage').style.transform = 'translate(' + view.tx + 'px, ' + view.ty + 'px) scale(' + view.scale + ')';
  $('scale').textContent = (view.fit ? 'fit ' : '') + scaleText();
}

function fitView() {
  const box = $('view').getBoundingClientRect();
  if (!shown.width || !shown.lines) return;
  view.scale = Math.min(box.width / shown.width, box.height / shown.lines);
  view.tx = (box.width - shown.width * view.scale) / 2;
  view.ty = (box.height - shown.lines * view.scale) / 2;
  view.fit = true;
  applyView();
}

// Scales to `scale`, keeping the camera pixel under view point (cx, cy) there.
function zoomTo(scale, cx, cy) {
  const box = $('view').getBoundingClientRect();
  if (cx === undefined) { cx = box.width / 2; cy = box.height / 2; }
  scale = Math.min(kMaxScale, Math.max(kMinScale, scale));
  view.tx = cx - (cx - view.tx) * scale / view.scale;
  view.ty = cy - (cy - view.ty) * scale / view.scale;
  view.scale = scale;
  view.fit = false;
  applyView();
}

function oneToOne() { zoomTo(1 / window.devicePixelRatio); }

// The camera pixel under a pointer event, or null off the frame.
function cameraPixel(event) {
  const box = $('view').getBoundingClientRect();
  const x = Math.floor((event.clientX - box.left - view.tx) / view.scale);
  const y = Math.floor((event.clientY - box.top - view.ty) / view.scale);
  return x >= 0 && y >= 0 && x < shown.width && y < shown.lines ? { x, y } : null;
}

let drag = null;
$('view').addEventListener('pointerdown', event => {
  if (view.fit) return;  // nothing to pan while the whole frame shows
  drag = { x: event.clientX, y: event.clientY };
  $('view').setPointerCapture(event.pointerId);
  $('view').classList.add('panning');
});
$('view').addEventListener('pointermove', event => {
  if (drag) {
    view.tx += event.clientX - drag.x;
    view.ty += event.clientY - drag.y;
    drag = { x: event.clientX, y: event.clientY };
    applyView();
  }
  setProbe(cameraPixel(event));
});
$('view').addEventListener('pointerup', () => { drag = null; $('view').classList.remove('panning'); });
$('view').addEventListener('pointerleave', () => { if (!drag) setProbe(null); });
$('view').addEventListener('wheel', event => {
  event.preventDefault();
  const box = $('view').getBoundingClientRect();
  zoomTo(view.scale * (event.deltaY < 0 ? 1.25 : 0.8), event.clientX - box.left, event.clientY - box.top);
}, { passive: false });
window.addEventListener('resize', () => { if (view.fit) fitView(); });
$('zoomIn').onclick = () => zoomTo(view.scale * 2);
$('zoomOut').onclick = () => zoomTo(view.scale / 2);
$('oneToOne').onclick = oneToOne;
$('fit').onclick = fitView;

// ---- What the camera measured ------------------------------------------

let probeBusy = false;
function setProbe(pixel) {
  probe = pixel;
  if (!pixel) { ['px', 'py', 'pvalue'].forEach(id => { $(id).textContent = '\u2013'; }); return; }
  refreshProbe();
}

// One request at a time: a moving cursor asks again once the last is answered.
async function refreshProbe() {
  if (!probe || probeBusy || shown.frame === null) return;
  probeBusy = true;
  const asked = probe;
  try {
    const p = await send('GET', '/pixel?x=' + asked.x + '&y=' + asked.y + '&frame=' + shown.frame);
    $('px').textContent = p.x;
    $('py').textContent = p.y;
    $('pvalue').textContent = p.value;
  } catch (error) { /* the frame has gone: the next one asks again */ }
  probeBusy = false;
  if (probe && (probe.x !== asked.x || probe.y !== asked.y)) refreshProbe();
}

// The server's mask of the saturated pixels of frame `number`, or null
// when that frame has gone.
async function saturationMask(number) {
  try {
    const response = await fetch('/saturation.png?frame=' + number, { cache: 'no-store' });
    return response.ok ? await createImageBitmap(await response.blob()) : null;
  } catch (error) {
    return null;
  }
}

// The saturated pixels in red over the frame, the others clear.
function paintOverlay(mask) {
  const canvas = $('overlay'), g = canvas.getContext('2d', { willReadFrequently: true });
  g.drawImage(mask, 0, 0);
  const image = g.getImageData(0, 0, mask.width, mask.height), px = image.data;
  let marked = 0;
  for (let i = 0; i < px.length; i += 4) {
    const on = px[i] > 127;
    marked += on;
    px[i] = 255; px[i + 1] = 0; px[i + 2] = 0; px[i + 3] = on ? 255 : 0;
  }
  g.putImageData(image, 0, 0);
  mask.close();
  canvas.dataset.marked = marked;  // how many pixels the overlay marks
  canvas.hidden = false;
}
// Marked from the next frame on (a triggered camera's latest is fetched again).
$('saturation').onchange = () => { if (!$('saturation').checked) $('overlay').hidden = true; };

function drawHistogram(h) {
  lastHistogram = h;
  const canvas = $('histogram'), g = canvas.getContext('2d');
  const log = $('log').checked;
  const height = n => (log ? Math.log1p(n) : n);
  const most = Math.max(1e-9, ...h.bins.map(height));
  g.clearRect(0, 0, canvas.width, canvas.height);
  g.fillStyle = '#7fb2e5';
  const w = canvas.width / h.bins.length;
  h.bins.forEach((n, i) => {
    const bar = Math.round(canvas.height * height(n) / most);
    g.fillRect(i * w, canvas.height - bar, Math.max(w, 1), bar);
  });
  canvas.dataset.scale = log ? 'log' : 'linear';
  $('min').textContent = h.min;
  $('max').textContent = h.max;
  $('mean').textContent = h.mean.toFixed(2);
  const share = (100 * h.saturated) / h.bins.reduce((a, b) => a + b, 0);
  $('saturated').textContent = h.saturated + (h.saturated ? ' (' + share.toFixed(share < 1 ? 2 : 1) + '%)' : '');
  $('saturated').dataset.count = h.saturated;
}
$('log').onchange = () => { if (lastHistogram) drawHistogram(lastHistogram); };

// ---- Counts and controls ---------------------------------------------

function showStatus(s) {
  $('fps').textContent = s.fps.toFixed(1);
  $('received').textContent = s.received;
  $('missed').textContent = s.missed;
  $('lost').textContent = s.lostByCamera === null ? '\u2013' : s.lostByCamera;
  $('geometry').textContent = s.width + ' \u00d7 ' + s.lines + ', ' + s.bitDepth + ' bits, camera ' +
    s.camera + (s.acquiring ? '' : ' (stopped)');
  $('error').textContent = s.error;
  trigger = s.trigger;
  if (!$('waiting').hidden) showWaiting();
  if (document.activeElement !== $('trigger')) $('trigger').value = s.trigger;
  // The attribute too, so that what the box shows is what the page holds.
  if (document.activeElement !== $('camera')) $('camera').value = $('camera').defaultValue = s.camera;
  if (document.activeElement !== $('lut')) $('lut').value = s.lut;
  $('fire').disabled = s.trigger !== 'sw';
}

function refreshStatus() { return send('GET', '/status').then(showStatus).catch(() => {}); }
function refreshHistogram() {
  const frame = shown.frame === null ? '' : '?frame=' + shown.frame;
  return send('GET', '/histogram' + frame).then(drawHistogram).catch(() => {});
}

// A register box holds an id (decimal or 0x-hex) or a name.
function registerField(text) {
  return /^(0x[0-9a-f]+|[0-9]+)$/i.test(text.trim()) ? { id: text.trim() } : { name: text.trim() };
}
const registerText = r => 'register ' + r.id + ' = ' + r.value + ' (0x' + r.value.toString(16) + ')';
function readRegister(text) {
  control('GET', '/register?' + new URLSearchParams(registerField(text)), null, registerText);
}

// Records `frames` frames; the TIFF is offered by the Save link, and
// downloaded at once when `save` (a click asked for it).
async function record(frames, save) {
  say('recording ' + frames + ' frames\u2026', false);
  $('record').disabled = true;
  try {
    const response = await fetch('/record.tiff?frames=' + encodeURIComponent(frames), { cache: 'no-store' });
    if (!response.ok) throw new Error((await response.text()).trim());
    const name = /filename="([^"]+)"/.exec(response.headers.get('Content-Disposition') || '');
    const blob = await response.blob();
    const link = $('recording');
    if (link.href) URL.revokeObjectURL(link.href);
    link.href = URL.createObjectURL(blob);
    link.download = name ? name[1] : 'record.tif';
    link.hidden = false;
    say('recorded ' + response.headers.get('X-Frames') + ' frames, ' + blob.size + ' bytes: ' + link.download, false);
    if (save) link.click();
  } catch (error) {
    say(error.message, true);
  }
  $('record').disabled = false;
}

$('trigger').onchange = () => control('POST', '/trigger', { mode: $('trigger').value },
                                      s => 'trigger: ' + s.trigger);
$('fire').onclick = () => control('POST', '/fire', null, () => 'fired');
$('lut').onchange = () => control('POST', '/lut', { kind: $('lut').value }, s => 'LUT: ' + s.lut);
$('select').onclick = () => control('POST', '/camera', { number: $('camera').value },
                                    s => 'camera ' + s.camera);
$('read').onclick = () => readRegister($('regid').value);
$('write').onclick = () => control('POST', '/register',
                                   Object.assign(registerField($('regid').value), { value: $('regvalue').value }),
                                   registerText);
$('record').onclick = () => record($('frames').value, true);

// ---- A link that sets the view ---------------------------------------
// ?zoom=fit|1:1|SCALE  ?at=X,Y (the pixel read out)  ?saturation=on
// ?log=on  ?register=ID-OR-NAME  ?record=N (offered, never downloaded by itself)
async function applyLink() {
  const link = new URLSearchParams(location.search);
  if (![...link.keys()].length) return;
  while (shown.frame === null) await sleep(50);
  const zoom = link.get('zoom');
  if (zoom === '1:1') oneToOne();
  else if (zoom && zoom !== 'fit' && Number(zoom) > 0) zoomTo(Number(zoom) / window.devicePixelRatio);
  $('log').checked = link.get('log') === 'on';
  $('saturation').checked = link.get('saturation') === 'on';
  if (lastHistogram) drawHistogram(lastHistogram);
  const at = /^(\d+),(\d+)$/.exec(link.get('at') || '');
  if (at) setProbe({ x: Number(at[1]), y: Number(at[2]) });
  if (link.get('register')) { $('regid').value = link.get('register'); readRegister(link.get('register')); }
  if (link.get('record')) { $('frames').value = link.get('record'); record(link.get('record'), false); }
}

setInterval(refreshStatus, 250);
setInterval(refreshHistogram, 500);
refreshStatus();
refreshHistogram();
frameLoop();
applyLink();
