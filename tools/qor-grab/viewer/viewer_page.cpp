#include "viewer/viewer_server.h"

#include <cstdio>
#include <string>

namespace qorgrab {

// One self-contained page: the live image on the left, scaled to the window,
// and the counts, histogram and controls on the right. The image asks for
// the next frame only once the last has loaded, so a slow browser simply
// shows fewer frames.
static const char *pageTemplate()
{
    return R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>qor-grab view</title>
<style>
  :root { --panel: 330px; --head: 44px; }
  * { box-sizing: border-box; }
  body { margin: 0; font: 14px system-ui, sans-serif; background: #1d2024; color: #e8e8e8; }
  header { height: var(--head); padding: 0 16px; display: flex; align-items: center; gap: 16px;
           background: #2a2e34; border-bottom: 1px solid #3a3f46; }
  header h1 { font-size: 16px; margin: 0; font-weight: 600; }
  #geometry { color: #9aa3ad; }
  #error { color: #ff8a80; }
  main { display: flex; height: calc(100vh - var(--head)); }
  #view { flex: 1; display: flex; align-items: center; justify-content: center; padding: 8px;
          min-width: 0; }
  #live { width: 100%; height: 100%; object-fit: contain; image-rendering: pixelated; }
  aside { width: var(--panel); padding: 12px 14px; background: #25292e; overflow-y: auto;
          border-left: 1px solid #3a3f46; }
  section { margin-bottom: 14px; }
  h2 { font-size: 12px; text-transform: uppercase; letter-spacing: .06em; color: #9aa3ad;
       margin: 0 0 6px; }
  .counts { display: grid; grid-template-columns: 1fr 1fr 1fr; gap: 6px; }
  .count { background: #1d2024; border-radius: 4px; padding: 6px; text-align: center; }
  .count b { display: block; font-size: 18px; font-variant-numeric: tabular-nums; }
  .count span { font-size: 11px; color: #9aa3ad; }
  canvas { width: 100%; height: 90px; background: #1d2024; border-radius: 4px; }
  .row { display: flex; gap: 6px; margin-bottom: 6px; align-items: center; }
  .row label { width: 70px; color: #c5cbd2; }
  input, select, button { font: inherit; padding: 3px 6px; border-radius: 4px;
                          border: 1px solid #4a5059; background: #1d2024; color: inherit; }
  input { width: 90px; }
  button { background: #3b6ea8; border-color: #3b6ea8; cursor: pointer; }
  button:disabled { background: #3a3f46; border-color: #3a3f46; cursor: default; }
  a.button { color: #fff; text-decoration: none; background: #3b6ea8; padding: 4px 10px;
             border-radius: 4px; }
  #message { min-height: 1.2em; color: #c5cbd2; word-break: break-word; }
  #message.bad { color: #ff8a80; }
</style>
</head>
<body>
<header><h1>qor-grab view</h1><span id="geometry"></span><span id="error"></span></header>
<main>
  <div id="view"><img id="live" alt="live frame"></div>
  <aside>
    <section>
      <h2>Acquisition</h2>
      <div class="counts">
        <div class="count"><b id="fps">0</b><span>frames/s</span></div>
        <div class="count"><b id="received">0</b><span>received</span></div>
        <div class="count"><b id="missed">0</b><span>missed</span></div>
      </div>
    </section>
    <section>
      <h2>Histogram</h2>
      <canvas id="histogram" width="300" height="90"></canvas>
    </section>
    <section>
      <h2>Controls</h2>
      <div class="row"><label for="trigger">Trigger</label>
        <select id="trigger"><option value="free">free run</option>
          <option value="ext">external</option><option value="sw">software</option></select>
        <button id="fire">Fire</button></div>
      <div class="row"><label for="lut">LUT</label>
        <select id="lut"><option value="none">none</option><option value="invert">invert</option></select></div>
      <div class="row"><label for="camera">Camera</label>
        <input id="camera" value="0"><button id="select">Select</button></div>
      <div class="row"><label for="regid">Register</label>
        <input id="regid" placeholder="id"><button id="read">Read</button></div>
      <div class="row"><label for="regvalue">Value</label>
        <input id="regvalue" placeholder="value"><button id="write">Write</button></div>
      <div class="row"><label>Snap</label>
        <a class="button" href="/snap.png" download>PNG</a>
        <a class="button" href="/snap.tiff" download>TIFF</a></div>
      <div id="message"></div>
    </section>
  </aside>
</main>
<script>
const $ = id => document.getElementById(id);
let frameRequest = 0;

function say(text, bad) { $('message').textContent = text; $('message').className = bad ? 'bad' : ''; }

async function send(method, path, fields) {
  const options = { method };
  if (fields) options.body = new URLSearchParams(fields);
  const response = await fetch(path, options);
  const text = await response.text();
  if (!response.ok) throw new Error(text.trim());
  return text ? JSON.parse(text) : {};
}

function control(method, path, fields, done) {
  send(method, path, fields).then(result => { say(done(result), false); refreshStatus(); })
                            .catch(error => say(error.message, true));
}

function nextFrame() { $('live').src = '/frame.png?n=' + (++frameRequest); }
$('live').onload = () => setTimeout(nextFrame, 0);
$('live').onerror = () => setTimeout(nextFrame, 300);

function showStatus(s) {
  $('fps').textContent = s.fps.toFixed(1);
  $('received').textContent = s.received;
  $('missed').textContent = s.missed;
  $('geometry').textContent = s.width + ' \u00d7 ' + s.lines + ', ' + s.bitDepth + ' bits, camera ' +
    s.camera + (s.acquiring ? '' : ' (stopped)');
  $('error').textContent = s.error;
  if (document.activeElement !== $('trigger')) $('trigger').value = s.trigger;
  if (document.activeElement !== $('lut')) $('lut').value = s.lut;
  $('fire').disabled = s.trigger !== 'sw';
}

function drawHistogram(h) {
  const canvas = $('histogram'), g = canvas.getContext('2d');
  const most = Math.max(1, ...h.bins);
  g.clearRect(0, 0, canvas.width, canvas.height);
  g.fillStyle = '#7fb2e5';
  const w = canvas.width / h.bins.length;
  h.bins.forEach((n, i) => {
    const height = Math.round(canvas.height * n / most);
    g.fillRect(i * w, canvas.height - height, Math.max(w, 1), height);
  });
}

function refreshStatus() { return send('GET', '/status').then(showStatus).catch(() => {}); }
function refreshHistogram() { return send('GET', '/histogram').then(drawHistogram).catch(() => {}); }

$('trigger').onchange = () => control('POST', '/trigger', { mode: $('trigger').value },
                                      s => 'trigger: ' + s.trigger);
$('fire').onclick = () => control('POST', '/fire', null, () => 'fired');
$('lut').onchange = () => control('POST', '/lut', { kind: $('lut').value }, s => 'LUT: ' + s.lut);
$('select').onclick = () => control('POST', '/camera', { number: $('camera').value },
                                    s => 'camera ' + s.camera);
$('read').onclick = () => control('GET', '/register?id=' + encodeURIComponent($('regid').value), null,
                                  r => 'register ' + r.id + ' = ' + r.value + ' (0x' + r.value.toString(16) + ')');
$('write').onclick = () => control('POST', '/register', { id: $('regid').value, value: $('regvalue').value },
                                   r => 'register ' + r.id + ' = ' + r.value + ' (0x' + r.value.toString(16) + ')');

setInterval(refreshStatus, 250);
setInterval(refreshHistogram, 500);
refreshStatus();
refreshHistogram();
nextFrame();
</script>
</body>
</html>
)PAGE";
}

// Replaces the placeholder text of the element with id `id` (written as
// `id="ID">0<` in the page) with `value`.
static void fillCount(std::string &page, const char *id, const std::string &value)
{
    const std::string marker = std::string("id=\"") + id + "\">0<";
    const size_t at = page.find(marker);
    if (at == std::string::npos) return;
    page.replace(at + marker.size() - 2, 1, value);
}

// The page arrives already showing the counts of the moment it was asked
// for; its script keeps them current from then on. Without this a page
// caught before its first status request was answered would claim that
// no frame had been received.
std::string viewerPage(const LiveState &state)
{
    std::string page = pageTemplate();
    char fps[32];
    std::snprintf(fps, sizeof fps, "%.1f", state.fps);
    fillCount(page, "fps", fps);
    fillCount(page, "received", std::to_string(state.received));
    fillCount(page, "missed", std::to_string(state.missed));
    return page;
}

}  // namespace qorgrab
