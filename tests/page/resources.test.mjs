// The updater page's resources as the build embeds them: the generated .rc fragment compiled by
// the mingw resource compiler, read back entry by entry.
import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, readdirSync, mkdtempSync, rmSync, cpSync, appendFileSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { buildPageResources, run, repoRoot, pageSource } from './support.mjs';

let resources;
let entries;

// Reads a compiled resource file (.res): a list of {type, name, language, data}.
function readRes(buf) {
  const out = [];
  let pos = 0;
  const idOrName = () => {
    if (buf.readUInt16LE(pos) === 0xffff) {
      const id = buf.readUInt16LE(pos + 2);
      pos += 4;
      return id;
    }
    let s = '';
    for (;;) {
      const c = buf.readUInt16LE(pos);
      pos += 2;
      if (c === 0) break;
      s += String.fromCharCode(c);
    }
    return s;
  };
  while (pos < buf.length) {
    const start = pos;
    const dataSize = buf.readUInt32LE(pos);
    const headerSize = buf.readUInt32LE(pos + 4);
    pos += 8;
    const type = idOrName();
    const name = idOrName();
    pos = (pos + 3) & ~3;
    const language = buf.readUInt16LE(pos + 6);
    const data = buf.subarray(start + headerSize, start + headerSize + dataSize);
    if (!(type === 0 && name === 0 && dataSize === 0)) out.push({ type, name, language, data });
    pos = (start + headerSize + dataSize + 3) & ~3;
  }
  return out;
}

const expected = [
  [23, 'INDEX.HTML', 'index.html'],
  ['CSS', 'INDEX.CSS', 'css/index.css'],
  ['JS', 'JQUERY.MIN.JS', null],
  ['JS', 'INTERFACE.JS', 'js/Interface.js'],
  ['JS', 'INDEX.JS', 'js/index.js'],
  ['JS', 'CORECALLFUNC.JS', 'js/Corecallfunc.js'],
  ['JS', 'COMMFUNC.JS', 'js/commfunc.js'],
  ['IMG', 'BACKGROUND.PNG', 'img/background.png'],
  ['IMG', 'PROCESSBAR.PNG', 'img/processbar.png'],
  ['IMG', 'MIN_NORMAL.GIF', 'img/min_normal.gif'],
  ['IMG', 'CLOSE_NORMAL.GIF', 'img/close_normal.gif'],
  ['IMG', 'MSGBOX_OK.GIF', 'img/msgbox_ok.gif'],
  ['IMG', 'MSGBOX_CLOSE.GIF', 'img/msgbox_close.gif'],
  ['IMG', 'ASK.GIF', 'img/ask.gif'],
  ['IMG', 'ERROR.GIF', 'img/error.gif'],
  ['IMG', 'SUCCESS.GIF', 'img/success.gif'],
  ['IMG', 'WARNING.GIF', 'img/warning.gif'],
];

function imageSize(data) {
  if (data.subarray(0, 8).equals(Buffer.from('89504e470d0a1a0a', 'hex'))) {
    return ['png', data.readUInt32BE(16), data.readUInt32BE(20)];
  }
  if (data.subarray(0, 6).toString('latin1') === 'GIF89a') {
    return ['gif', data.readUInt16LE(6), data.readUInt16LE(8)];
  }
  return ['unknown', 0, 0];
}

before(() => {
  resources = buildPageResources();
  const res = path.join(resources.work, 'page.res');
  run('x86_64-w64-mingw32-windres', ['-I', resources.pageDir, '-i',
    path.join(repoRoot, 'tests/page/rc_check/check.rc'), '-O', 'res', '-o', res]);
  entries = readRes(readFileSync(res));
});

after(() => {
  if (resources) resources.cleanup();
});

describe('updater page resources', () => {
  test('the fragment compiles into an object with a resource section, for each target that takes it', () => {
    for (const object of [resources.object, resources.object.replace('page_resources_check.dir', 'page_resources_check_second.dir')]) {
      const headers = run('x86_64-w64-mingw32-objdump', ['-h', object]).stdout;
      assert.match(headers, /file format pe-x86-64/);
      assert.match(headers, /\.rsrc/);
    }
    // The 32-bit resource compiler of the shipped build takes the same fragment.
    const object32 = path.join(resources.work, 'page32.o');
    run('i686-w64-mingw32-windres', ['-I', resources.pageDir, '-i',
      path.join(repoRoot, 'tests/page/rc_check/check.rc'), '-o', object32]);
    assert.match(run('i686-w64-mingw32-objdump', ['-h', object32]).stdout, /file format pe-i386[\s\S]*\.rsrc/);
  });

  test('every page file is a resource of the listed type and name, in Chinese (Simplified)', () => {
    const key = (type, name) => `${type}/${name}`;
    assert.deepEqual(entries.map((e) => key(e.type, e.name)).sort(), expected.map(([t, n]) => key(t, n)).sort());
    for (const e of entries) assert.equal(e.language, 2052, `${e.name} language`);
  });

  test('texts are embedded in code page 936 and say what the UTF-8 sources say', () => {
    for (const [, name, file] of expected) {
      if (!file || file.startsWith('img/')) continue;
      const data = entries.find((e) => e.name === name).data;
      const source = readFileSync(path.join(pageSource, file), 'utf8');
      assert.equal(new TextDecoder('gbk', { fatal: true }).decode(data), source, name);
      if (/[^\x00-\x7f]/.test(source)) {
        assert.notDeepEqual(data, Buffer.from(source, 'utf8'), `${name} is converted`);
      }
    }
    const html = entries.find((e) => e.name === 'INDEX.HTML').data.toString('latin1');
    assert.match(html, /charset=gb2312/, 'the markup declares the code page its texts are in');
  });

  test('jQuery 1.9.1 from the npm package is embedded unchanged', () => {
    const data = entries.find((e) => e.name === 'JQUERY.MIN.JS').data;
    const npm = readFileSync(path.join(repoRoot, 'node_modules/jquery/jquery.min.js'));
    assert.ok(data.equals(npm));
    assert.match(data.subarray(0, 80).toString('latin1'), /jQuery v1\.9\.1 /);
    const lock = JSON.parse(readFileSync(path.join(repoRoot, 'package-lock.json'), 'utf8'));
    assert.equal(lock.packages['node_modules/jquery'].version, '1.9.1');
  });

  test('the images are the drawn ones, of the sizes the page lays out', () => {
    const sizes = {
      'BACKGROUND.PNG': ['png', 650, 150], 'PROCESSBAR.PNG': ['png', 20, 100],
      'MIN_NORMAL.GIF': ['gif', 18, 18], 'CLOSE_NORMAL.GIF': ['gif', 18, 18],
      'MSGBOX_OK.GIF': ['gif', 64, 24], 'MSGBOX_CLOSE.GIF': ['gif', 64, 24],
      'ASK.GIF': ['gif', 40, 40], 'ERROR.GIF': ['gif', 40, 40], 'SUCCESS.GIF': ['gif', 40, 40],
      'WARNING.GIF': ['gif', 40, 40],
    };
    // The committed images are exactly what the drawing script makes.
    const drawn = mkdtempSync(path.join(tmpdir(), 'orv-page-img-'));
    try {
      run('python3', [path.join(pageSource, 'make_images.py'), drawn]);
      assert.deepEqual(readdirSync(drawn).sort(), readdirSync(path.join(pageSource, 'img')).sort());
      for (const [, name, file] of expected.filter(([t]) => t === 'IMG')) {
        const data = entries.find((e) => e.name === name).data;
        assert.deepEqual(imageSize(data), sizes[name], name);
        assert.ok(data.equals(readFileSync(path.join(pageSource, file))), `${name} is the committed file`);
        assert.ok(data.equals(readFileSync(path.join(drawn, path.basename(file)))), `${name} is what the script draws`);
      }
    } finally {
      rmSync(drawn, { recursive: true, force: true });
    }
  });

  test('a page text with a character that code page 936 lacks stops the build instead of embedding a wrong text', () => {
    const copy = mkdtempSync(path.join(tmpdir(), 'orv-page-src-'));
    try {
      cpSync(pageSource, copy, { recursive: true });
      appendFileSync(path.join(copy, 'js/index.js'), '// \u{1F600}\n');
      const failed = buildPageResources({ source: copy, expectFailure: true });
      try {
        assert.notEqual(failed.status, 0, failed.output);
        assert.match(failed.output, /index\.js/);
        assert.equal(existsSync(path.join(failed.work, 'build/page/js/index.js')), false,
          'no converted file is left behind');
      } finally {
        failed.cleanup();
      }
    } finally {
      rmSync(copy, { recursive: true, force: true });
    }
  });
});
