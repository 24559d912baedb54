// The page of `sowfield view`: follows the server's state, shows the panel
// when the plug-in posts it, and the scene and each run's result in 3D.
import { Api, takeToken } from './api.js';
import { PanelView } from './panel.js';
import { legendText, showProgress, showResult, showSave } from './status.js';
import { decodeMesh, Viewport } from './viewport.js';

const api = new Api(takeToken());
const $ = (id) => document.getElementById(id);
const panel = new PanelView($('panel'), (actions) => api.panel(actions));
const parts = { result: $('result'), times: $('times'), messages: $('messages') };
let viewport = null;
let shownRun = -1;
let counts = { surface: 0, clones: null };
let closed = false;

function startViewport() {
  try {
    viewport = new Viewport($('viewport'));
  } catch (error) {
    $('legend').textContent = `No 3D view: this browser offers no WebGL (${error.message})`;
  }
}

async function loadScene(state) {
  $('files').textContent = [state.files.surface, ...state.files.objects].join(' · ');
  if (state.files.output) $('save-name').value = state.files.output;
  const [surface, objects] = await Promise.all([api.mesh('surface'), api.mesh('objects')]);
  const surfaceMesh = decodeMesh(surface);
  counts.surface = surfaceMesh.triangles;
  viewport?.setSurface(surfaceMesh);
  viewport?.setObjects(decodeMesh(objects));
}

// The distinct colouring values, one per clone when clones carry their index.
function distinctValues(values) {
  return new Set(values).size;
}

async function showRunResult(result) {
  const clones = result.clones;
  if (!clones || clones.total === 0) {
    viewport?.setClones(null);
    counts.clones = null;
  } else {
    const mesh = decodeMesh(await api.mesh('clones'));
    viewport?.setClones(mesh);
    const shown = clones.colour_by ? distinctValues(mesh.values) : clones.shown;
    counts.clones = { shown, total: clones.total, sampled: clones.sampled, colourBy: clones.colour_by };
  }
  $('show-objects').checked = counts.clones === null;
  viewport?.showObjects(counts.clones === null);
  $('legend').textContent = legendText(counts);
  // The line last, so that whoever reads it finds the clones in the view;
  // the run counts as shown only now, so a failed fetch is tried again.
  showResult(parts, result);
  shownRun = result.run;
}

function applyState(state) {
  const busy = state.busy;
  for (const id of ['run', 'save', 'quit']) $(id).disabled = busy && id !== 'quit';
  $('load-settings').disabled = !state.panel;
  if (state.panel) panel.showState(state.panel);
  else if (panel.open) panel.hide();
  showProgress($('progress'), state.phase === 'running' ? state.progress : []);
  if (state.phase === 'running' && !state.panel) {
    parts.result.textContent = 'Running…';
    parts.result.classList.remove('failed');
  }
  showSave($('save-status'), state.save);
  if (state.result && state.result.run !== shownRun) return showRunResult(state.result);
  if (!state.result && state.phase === 'idle') showResult(parts, null);
  return undefined;
}

async function follow() {
  let version = -1;
  let first = true;
  while (!closed) {
    try {
      const state = await api.state(version);
      if (first) {
        await loadScene(state);
        $('legend').textContent = legendText(counts);
        first = false;
      }
      version = state.version;
      await applyState(state);
      // Which state the page shows, for whoever inspects or tests it.
      document.body.dataset.stateVersion = String(version);
      if (state.closing) closeView();
    } catch (error) {
      parts.result.textContent = `Lost the connection to the tool: ${error.message}`;
      parts.result.classList.add('failed');
      // Ask again at once, and show the last result again once it answers.
      version = -1;
      shownRun = -1;
      await new Promise((resolve) => setTimeout(resolve, 1000));
    }
  }
}

function closeView() {
  closed = true;
  panel.hide();
  document.body.classList.add('closed');
  parts.result.textContent = 'The view has ended; you may close this tab.';
  for (const button of document.querySelectorAll('button')) button.disabled = true;
}

async function refusedOrDone(promise, line) {
  const { status, data } = await promise;
  if (status >= 400) {
    line.textContent = data.error ?? `${status}`;
    line.classList.add('failed');
  }
}

$('run').addEventListener('click', () => refusedOrDone(api.run(), parts.result));
$('save').addEventListener('click', () => refusedOrDone(api.save($('save-name').value), $('save-status')));
$('quit').addEventListener('click', async () => {
  await api.quit();
  closeView();
});
$('show-objects').addEventListener('change', (event) => viewport?.showObjects(event.target.checked));

$('save-settings').addEventListener('click', async () => {
  try {
    const blob = await api.settingsFile();
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = 'sowfield-settings.json';
    link.click();
    URL.revokeObjectURL(link.href);
  } catch (error) {
    showSave($('save-status'), { ok: false, error: `Save settings: ${error.message}` });
  }
});
$('load-settings').addEventListener('click', () => $('settings-file').click());
$('settings-file').addEventListener('change', async (event) => {
  const file = event.target.files[0];
  event.target.value = '';
  if (!file) return;
  const { data } = await api.loadSettings(await file.text());
  if (data.panel) panel.show(data.panel);
  panel.note(data.error ? `${file.name}: ${data.error}` : `Loaded ${file.name}`);
});

startViewport();
follow();
