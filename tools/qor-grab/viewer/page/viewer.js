const $ = id => document.getElementById(id);
let frameRequest = 0;
let trigger = 'free';  // the mode the last status named

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
// Until a frame arrives (a triggered camera waits for its trigger) the
// image area says why it is empty rather than showing a broken image.
function showWaiting() {
  $('waiting').textContent = trigger === 'free' ? 'waiting for the first frame' : 'waiting for trigger';
  $('live').hidden = true;
  $('waiting').hidden = false;
}
$('live').onload = () => {
  $('live').hidden = false;
  $('waiting').hidden = true;
  setTimeout(nextFrame, 0);
};
$('live').onerror = () => { showWaiting(); setTimeout(nextFrame, 300); };

function showStatus(s) {
  $('fps').textContent = s.fps.toFixed(1);
  $('received').textContent = s.received;
  $('missed').textContent = s.missed;
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
