// `sowfield view` in a real browser: the page, its panel drawn from the
// panel service, runs, saving, and the server's refusals. The tests share
// one tool and one page and follow one user's session, in order.
import assert from 'node:assert/strict';
import { existsSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import { data, launchBrowser, pointsAndPolygons, request, scatterLine, startView } from './view_harness.mjs';

const BASIC = ['Number of Clones', 'Independent Sizes', 'Size Variations', 'Y', 'Z', 'Size WeightMap',
  'Size WeightMap Influence', 'Density WeightMap', 'Random rotation H Min', 'H Max', 'P Min', 'P Max', 'B Min',
  'B Max', 'Zero Angles', 'H Align with normals', 'P Align with normals', 'Random Seed'];
const ADVANCED = ['Size depends on Poly Area', 'Dependence Power', 'Jitter Cloned points', 'Slope Angle Limits',
  'Min Slope Angle', 'Max Slope Angle', 'P angle weightmap', 'Absolute', 'Distribution', 'Iterations',
  'Auto morph maps'];
const ANGLES = ['Random rotation H Min', 'H Max', 'P Min', 'P Max', 'B Min', 'B Max'];
// Generous: a loaded machine running the sanitizer build can take seconds per step.
const TIMEOUT = 60_000;

describe('sowfield view', () => {
  let view;
  let browser;
  let page;
  const control = (label) => page.getByLabel(label, { exact: true });
  const button = (name) => page.getByRole('button', { name, exact: true });
  const result = () => page.locator('#result');

  before(async () => {
    view = await startView([data('ground.obj'), data('pebble.obj'), '-o', 'out.glb']);
    browser = await launchBrowser();
    page = await browser.context.newPage();
    page.setDefaultTimeout(TIMEOUT);
  });

  after(async () => {
    await browser?.close();
    await view?.stop();
  });

  test('is refused without the token, from a foreign Host or Origin, and loads with the token', async () => {
    const host = `127.0.0.1:${view.port}`;
    const noToken = await request(view.port, { headers: { Host: host } });
    assert.equal(noToken.status, 403);
    assert.match(noToken.text, /access token/);
    const wrongToken = await request(view.port, { target: '/?token=0123', headers: { Host: host } });
    assert.equal(wrongToken.status, 403);
    const rebound = await request(view.port, { target: `/?token=${view.token}`, headers: { Host: `attacker.example:${view.port}` } });
    assert.equal(rebound.status, 403);
    const crossSite = await request(view.port, {
      method: 'POST', target: '/api/run', body: '{}',
      headers: { Host: host, Origin: 'http://attacker.example', 'X-Sowfield-Token': view.token },
    });
    assert.equal(crossSite.status, 403);
    const outsideFiles = await request(view.port, { target: `/../../etc/passwd?token=${view.token}`, headers: { Host: host } });
    assert.equal(outsideFiles.status, 404);

    await page.goto(view.url);
    await page.getByRole('heading', { name: 'Sowfield 1.6' }).waitFor();
    assert.equal(new URL(page.url()).search, '', 'the token leaves the address bar');
  });

  test('a second run while the panel is open is answered busy', async () => {
    const busy = await request(view.port, {
      method: 'POST', target: '/api/run', body: '{}',
      headers: { Host: `127.0.0.1:${view.port}`, 'X-Sowfield-Token': view.token },
    });
    assert.equal(busy.status, 409);
    assert.match(busy.text, /busy/);
  });

  test('both tabs show their controls in order, each named by its label', async () => {
    const names = () => page.getByRole('tabpanel').locator('label, button').allInnerTexts();
    assert.deepEqual(await page.getByRole('tab').allInnerTexts(), ['Basic', 'Advanced']);
    assert.deepEqual(await names(), BASIC);
    await page.getByRole('tab', { name: 'Advanced' }).click();
    assert.deepEqual(await names(), ADVANCED);
    await page.getByRole('tab', { name: 'Basic' }).click();
    for (const label of [...BASIC, ...ADVANCED].filter((l) => l !== 'Zero Angles'))
      assert.equal(await control(label).count(), 1, label);
  });

  test('a disabled control says why when clicked, and ticking its rule enables it', async () => {
    assert.ok(await control('Y').isDisabled());
    assert.ok(await control('Z').isDisabled());
    await control('Y').click({ force: true });
    await page.locator('.panel-note').getByText('Size axes are linked').waitFor();
    await control('Independent Sizes').check();
    await page.waitForFunction(() => !document.getElementById('panel').querySelector('.control.off input[type=text]#' +
      [...document.querySelectorAll('label')].find((l) => l.textContent === 'Y').htmlFor));
    assert.ok(!(await control('Y').isDisabled()));
    assert.ok(!(await control('Z').isDisabled()));
  });

  test('Zero Angles sets the six rotation bounds to 0', async () => {
    await button('Zero Angles').click();
    for (const label of ANGLES) await page.waitForFunction(
      (name) => [...document.querySelectorAll('label')].find((l) => l.textContent === name)?.control?.value === '0', label);
  });

  test('Save settings gives the panel\'s values as a settings file, and Load settings sets them', async () => {
    const [download] = await Promise.all([page.waitForEvent('download'), button('Save settings').click()]);
    const saved = JSON.parse(readFileSync(await download.path(), 'utf8'));
    assert.equal(saved['Independent Sizes'], true);
    for (const label of ANGLES) assert.equal(saved[label], 0, label);

    const [chooser] = await Promise.all([page.waitForEvent('filechooser'), button('Load settings').click()]);
    await chooser.setFiles({ name: 'mine.json', mimeType: 'application/json',
      buffer: Buffer.from(JSON.stringify({ 'Number of Clones': 17, 'Size Variations': '40%' })) });
    await page.waitForFunction(() => document.querySelector('#panel input[type=text]')?.value === '17');
    assert.equal(await control('Size Variations').inputValue(), '40');
  });

  test('Cancel adds nothing', async () => {
    await button('Cancel').click();
    await result().getByText('the panel was cancelled; nothing was added').waitFor();
    assert.equal(await page.locator('#panel').isHidden(), true);
    assert.doesNotMatch(await page.locator('#legend').innerText(), /Clones/);
  });

  test('OK with 17 clones shows 17 clones and the counts the tool prints', async () => {
    await button('Run').click();
    await control('Number of Clones').fill('17');
    // A state the server sent before the edit reached it must not undo the edit.
    const shown = Number(await page.evaluate(() => document.body.dataset.stateVersion));
    await request(view.port, { method: 'POST', target: '/api/panel', body: '{"actions": []}',
      headers: { Host: `127.0.0.1:${view.port}`, 'X-Sowfield-Token': view.token } });
    await page.waitForFunction((before) => Number(document.body.dataset.stateVersion) > before, shown);
    await control('Number of Clones').press('Enter');
    await button('OK').click();
    await result().getByText(/^17 clones: /).waitFor();
    const expected = scatterLine([data('ground.obj'), data('pebble.obj'), '--set', 'clone_count=17']);
    assert.equal((await result().innerText()).split(' in ')[0], expected);
    assert.match(await page.locator('#legend').innerText(), /Clones in view: 17, coloured by SF_index/);
    if (process.env.SOWFIELD_SCREENSHOT) await page.screenshot({ path: process.env.SOWFIELD_SCREENSHOT });
  });

  test('Save writes a file that reads back with the run\'s counts', async () => {
    await button('Save').click();
    await page.locator('#save-status').getByText(/^wrote .*out\.glb/).waitFor();
    const ground = pointsAndPolygons(data('ground.obj'));
    const added = (await result().innerText()).match(/(\d+) points and (\d+) polygons/);
    assert.deepEqual(pointsAndPolygons(path.join(view.dir, 'out.glb')), {
      points: ground.points + Number(added[1]), polygons: ground.polygons + Number(added[2]) });
  });

  test('Save refuses a name outside the output\'s folder', async () => {
    await page.getByLabel('Save as').fill('../escape.glb');
    await button('Save').click();
    await page.locator('#save-status').getByText(/file name only/).waitFor();
    assert.equal(existsSync(path.join(view.dir, '..', 'escape.glb')), false);
  });

  test('Quit ends the tool', async () => {
    await button('Quit').click();
    assert.deepEqual(await view.exited, { code: 0, signal: null });
  });
});

describe('sowfield view with objects the plug-in refuses', () => {
  test('shows the plug-in\'s message and goes on serving', async () => {
    const view = await startView([data('ground.obj'), data('empty.obj')]);
    const browser = await launchBrowser();
    try {
      const page = await browser.context.newPage();
      page.setDefaultTimeout(TIMEOUT);
      await page.goto(view.url);
      await page.locator('#result').getByText('the plug-in refused the run; nothing was added').waitFor();
      assert.ok((await page.locator('#messages li.error').count()) > 0);
      const again = await request(view.port, {
        method: 'POST', target: '/api/run', body: '{}',
        headers: { Host: `127.0.0.1:${view.port}`, 'X-Sowfield-Token': view.token },
      });
      assert.equal(again.status, 202);
    } finally {
      await browser.close();
      await view.stop();
    }
  });
});
