// Running `sowfield view` and a headless Chromium for the page's tests.
//
// The tool, the test data and the screenshot's place come from CTest's
// environment (SOWFIELD_TOOL, SOWFIELD_TEST_DATA, SOWFIELD_SCREENSHOT); the
// browser is Debian's chromium, driven by playwright-core from web/'s npm
// packages, with a profile of its own that is removed afterwards.
import { spawn, spawnSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import http from 'node:http';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';

const require = createRequire(new URL('../../web/package.json', import.meta.url));
const { chromium } = require('playwright-core');

export const tool = process.env.SOWFIELD_TOOL;
export const data = (name) => path.join(process.env.SOWFIELD_TEST_DATA, 'cli', name);

// Starts the tool in a scratch folder and waits for the address it prints.
export async function startView(args) {
  const dir = mkdtempSync(path.join(tmpdir(), 'sowfield-view-'));
  const child = spawn(tool, ['view', ...args, '--no-open'], { cwd: dir, stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '';
  let err = '';
  child.stderr.on('data', (chunk) => { err += chunk; });
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  const address = await new Promise((resolve, reject) => {
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const found = out.match(/http:\/\/127\.0\.0\.1:(\d+)\/\?token=([0-9a-f]+)/);
      if (found) resolve({ url: found[0], port: Number(found[1]), token: found[2] });
    });
    exited.then(({ code }) => reject(new Error(`sowfield view ended (${code}) before serving: ${err}`)));
  });
  return {
    ...address,
    dir,
    base: `http://127.0.0.1:${address.port}`,
    exited,
    stderr: () => err,
    async stop() {
      if (child.exitCode === null) child.kill('SIGINT');
      await exited;
      rmSync(dir, { recursive: true, force: true });
    },
  };
}

// A raw request, so that a test may send any Host or Origin.
export function request(port, { method = 'GET', target = '/', headers = {}, body } = {}) {
  return new Promise((resolve, reject) => {
    const sent = http.request({ host: '127.0.0.1', port, method, path: target, headers }, (response) => {
      let text = '';
      response.on('data', (chunk) => { text += chunk; });
      response.on('end', () => resolve({ status: response.statusCode, text }));
    });
    sent.on('error', reject);
    sent.end(body);
  });
}

export async function launchBrowser() {
  const profile = mkdtempSync(path.join(tmpdir(), 'sowfield-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1280, height: 800 },
    acceptDownloads: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  return {
    context,
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// What the tool says about a mesh file: "layer ...: N points, M polygons".
export function pointsAndPolygons(file) {
  const info = spawnSync(tool, ['info', file], { encoding: 'utf8' });
  const found = info.stdout.match(/layer "[^"]*": (\d+) points?, (\d+) polygons?/);
  if (!found) throw new Error(`sowfield info ${file}: ${info.stdout}${info.stderr}`);
  return { points: Number(found[1]), polygons: Number(found[2]) };
}

// The line the tool prints for the same run, up to its timing.
export function scatterLine(args) {
  const run = spawnSync(tool, ['scatter', ...args, '--no-output'], { encoding: 'utf8' });
  return run.stdout.split(' in ')[0];
}
