// Shared pieces of the updater page tests: building the page resources the way the program's
// build does, serving them on loopback, and a headless Chromium with a recording stand-in for
// the program's window.external.
import { spawnSync } from 'node:child_process';
import { createServer } from 'node:http';
import { mkdtempSync, mkdirSync, readFileSync, rmSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const repoRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const pageSource = path.join(repoRoot, 'updater/page');

// Screenshots of every state the tests reach are kept here for a person to look at.
export const artifactDir = process.env.ORV_PAGE_ARTIFACTS ||
  path.join(repoRoot, 'build/page-tests/screenshots');

export function run(cmd, args, options = {}) {
  const r = spawnSync(cmd, args, { encoding: 'utf8', ...options });
  if (r.status !== 0) {
    throw new Error(`${cmd} ${args.join(' ')} failed (${r.status}):\n${r.stdout}\n${r.stderr}`);
  }
  return r;
}

// Configures and builds tests/page/rc_check with the x86_64 mingw toolchain: the page converted
// to code page 936, jQuery copied, the .rc fragment written and compiled into an object.
// `source` replaces the page folder (a changed copy); the build must succeed unless `expectFailure`.
export function buildPageResources({ source, expectFailure = false } = {}) {
  const work = mkdtempSync(path.join(tmpdir(), 'orv-page-'));
  const build = path.join(work, 'build');
  run('cmake', ['-S', path.join(repoRoot, 'tests/page/rc_check'), '-B', build, '-G', 'Ninja',
    `-DCMAKE_TOOLCHAIN_FILE=${path.join(repoRoot, 'cmake/toolchain-x86_64-w64-mingw32.cmake')}`,
    ...(source ? [`-DORV_CHECK_PAGE_SOURCE=${source}`] : [])]);
  if (expectFailure) {
    const r = spawnSync('cmake', ['--build', build], { encoding: 'utf8' });
    return { work, status: r.status, output: r.stdout + r.stderr, cleanup() { rmSync(work, { recursive: true, force: true }); } };
  }
  run('cmake', ['--build', build]);
  return {
    work,
    pageDir: path.join(build, 'page'),
    fragment: path.join(build, 'page/page_resources.rc'),
    object: path.join(build, 'CMakeFiles/page_resources_check.dir/check.rc.res'),
    cleanup() { rmSync(work, { recursive: true, force: true }); },
  };
}

const contentTypes = {
  '.html': 'text/html', '.css': 'text/css', '.js': 'application/javascript',
  '.png': 'image/png', '.gif': 'image/gif',
};

// Serves `root` on 127.0.0.1. Content types carry no charset, as with the program's resources:
// the page's own declaration decides how its texts are read.
export async function serve(root) {
  const server = createServer((req, res) => {
    const url = new URL(req.url, 'http://127.0.0.1');
    const file = path.normalize(path.join(root, decodeURIComponent(url.pathname)));
    if (!file.startsWith(root + path.sep) || !existsSync(file)) {
      res.writeHead(404);
      res.end();
      return;
    }
    res.writeHead(200, {
      'Content-Type': contentTypes[path.extname(file).toLowerCase()] || 'application/octet-stream',
      'Cache-Control': 'no-store',
    });
    res.end(readFileSync(file));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/index.html`,
    close: () => new Promise((resolve) => server.close(resolve)),
  };
}

// Stands in for the program's window.external before any page script runs: every member call is
// recorded in window.__calls with its arguments and the page clock.
function standIn() {
  const calls = [];
  window.__calls = calls;
  window.__jsCallFuncAnswer = false;
  const record = (member, args) => calls.push({ member, args: Array.from(args), at: performance.now() });
  const external = {
    CoreQuit() { record('CoreQuit', arguments); },
    CoreMin() { record('CoreMin', arguments); },
    JsCallFunc() { record('JsCallFunc', arguments); return window.__jsCallFuncAnswer; },
  };
  Object.defineProperty(window, 'external', { value: external, configurable: true, writable: true });
}

export async function launchBrowser() {
  const profile = mkdtempSync(path.join(tmpdir(), 'orv-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: { width: 650, height: 150 },
  });
  await context.addInitScript(standIn);
  return {
    context,
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

export async function screenshot(page, name) {
  mkdirSync(artifactDir, { recursive: true });
  await page.screenshot({ path: path.join(artifactDir, `${name}.png`) });
}
