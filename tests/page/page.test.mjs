// The updater's page in headless Chromium, served as the program embeds it (texts in code page
// 936), with a recording stand-in for the program's window.external.
import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { buildPageResources, serve, launchBrowser, screenshot, pageSource } from './support.mjs';

let resources;
let server;
let browser;

before(async () => {
  resources = buildPageResources();
  server = await serve(resources.pageDir);
  browser = await launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  if (server) await server.close();
  if (resources) resources.cleanup();
});

async function openPage() {
  const page = await browser.context.newPage();
  const failed = [];
  page.on('requestfailed', (r) => failed.push(r.url()));
  page.on('response', (r) => { if (r.status() !== 200) failed.push(`${r.status()} ${r.url()}`); });
  page.on('pageerror', (e) => failed.push(`script error: ${e.message}`));
  await page.goto(server.url, { waitUntil: 'load' });
  page.failures = failed;
  return page;
}

// Calls a page function the way the program's page-call message does: name and one text.
const call = (page, fn, arg = '') => page.evaluate(([f, a]) => {
  const r = window[f](a);
  return r === undefined ? null : r;
}, [fn, arg]);
// The recorded window.external calls as [member, ...arguments].
const calls = (page) => page.evaluate(() => window.__calls.map((c) => [c.member, ...c.args]));
const updateComplete = (page) => page.$eval('#updatecomplete', (e) => e.value);
const text = (page, selector) => page.$eval(selector, (e) => e.textContent);

// What a message box shows.
async function box(page, id) {
  return page.evaluate(async (boxId) => {
    const all = document.querySelectorAll('.msgbox');
    const b = document.getElementById(boxId);
    if (!b) return null;
    // New images load asynchronously; wait until each has loaded or failed.
    await Promise.all(Array.from(b.querySelectorAll('img')).map((i) => (i.complete ? null
      : new Promise((resolve) => { i.addEventListener('load', resolve); i.addEventListener('error', resolve); }))));
    const visible = (e) => !!e && e.getBoundingClientRect().width > 0 &&
      getComputedStyle(e).visibility !== 'hidden' && getComputedStyle(e).display !== 'none';
    const icon = b.querySelector('.msgbox_icon');
    const ok = b.querySelector('.msgbox_ok');
    const close = b.querySelector('.msgbox_close');
    const r = b.getBoundingClientRect();
    const panel = b.querySelector('.msgbox_panel');
    const content = b.querySelector('.msgbox_text');
    return {
      boxes: all.length,
      text: content.textContent,
      icon: icon.getAttribute('src'),
      iconLoaded: icon.complete && icon.naturalWidth > 0,
      ok: visible(ok),
      okLoaded: !ok || (ok.complete && ok.naturalWidth > 0),
      close: visible(close),
      closeLoaded: close.complete && close.naturalWidth > 0,
      rect: [r.left, r.top, r.width, r.height],
      zIndex: getComputedStyle(b).zIndex,
      opacity: getComputedStyle(b).opacity,
      panel: [panel.getBoundingClientRect().width, panel.getBoundingClientRect().height,
        getComputedStyle(panel).borderTopColor, getComputedStyle(panel).backgroundColor],
      font: [getComputedStyle(content).fontSize, getComputedStyle(content).fontWeight,
        getComputedStyle(content).color],
      topmost: document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2)?.closest('.msgbox') === b,
    };
  }, id);
}

function assertLooksLikeBox(b, { text: content, icon, ok }) {
  assert.ok(b, 'the message box is shown');
  assert.equal(b.text, content);
  assert.equal(b.icon, `./img/${icon}.gif`);
  assert.ok(b.iconLoaded, 'the icon loads');
  assert.equal(b.ok, ok, ok ? 'the OK image is shown' : 'no OK image');
  assert.ok(b.okLoaded && b.closeLoaded, 'the button images load');
  assert.equal(b.close, true, 'the close image is shown');
  // 505 x 105, centred in the 650 x 150 window, above everything.
  assert.deepEqual(b.rect.map(Math.round).slice(2), [505, 105]);
  assert.ok(Math.abs(b.rect[0] - 72.5) <= 1 && Math.abs(b.rect[1] - 22.5) <= 1, `centred: ${b.rect}`);
  assert.equal(b.zIndex, '1001');
  assert.equal(b.opacity, '0.9');
  assert.deepEqual(b.panel, [502, 102, 'rgb(193, 194, 196)', 'rgb(255, 255, 255)']);
  assert.deepEqual(b.font, ['18px', '700', 'rgb(7, 55, 129)']);
  assert.ok(b.topmost, 'nothing covers the box');
}

describe('updater page as embedded', () => {
  test('loads its scripts, style sheet and images in code page 936 and shows Chinese texts', async () => {
    const page = await openPage();
    try {
      assert.deepEqual(page.failures, []);
      // The served markup is the code page 936 form of the UTF-8 source.
      const served = readFileSync(path.join(resources.pageDir, 'index.html'));
      const source = readFileSync(path.join(pageSource, 'index.html'), 'utf8');
      assert.notDeepEqual(served, Buffer.from(source, 'utf8'));
      assert.equal(new TextDecoder('gbk').decode(served), source);

      const state = await page.evaluate(() => ({
        charset: document.characterSet,
        jquery: window.jQuery && jQuery.fn.jquery,
        scripts: Array.from(document.scripts).map((s) => s.getAttribute('src')),
        title: document.getElementById('title').textContent,
        text: document.getElementById('text').textContent,
        progress: document.getElementById('progress').textContent,
        complete: document.getElementById('updatecomplete').value,
        completeType: document.getElementById('updatecomplete').type,
        minTip: document.getElementById('ui_min').title,
        quitTip: document.getElementById('ui_quit').title,
        bodyFont: getComputedStyle(document.body).fontFamily,
        bodySize: getComputedStyle(document.body).fontSize,
        background: getComputedStyle(document.body).backgroundImage,
        images: Array.from(document.images).map((i) => [i.id, i.getAttribute('src'), i.naturalWidth, i.naturalHeight]),
        getLangId: typeof window.JSGetLangID,
      }));
      assert.equal(state.charset, 'GBK');
      assert.equal(state.jquery, '1.9.1');
      assert.deepEqual(state.scripts, ['./js/jquery.min.js', './js/Interface.js', './js/index.js',
        './js/Corecallfunc.js', './js/commfunc.js']);
      assert.equal(state.title, '正在更新您的网银助手，请稍等');
      assert.equal(state.text, '');
      assert.equal(state.progress, '');
      assert.equal(state.complete, '0');
      assert.equal(state.completeType, 'hidden');
      assert.equal(state.minTip, '最小化');
      assert.equal(state.quitTip, '关闭');
      // The style sheet's font name comes through as Chinese, so the sheet was read in the right code page.
      assert.match(state.bodyFont, /^"?微软雅黑"?,/);
      assert.equal(state.bodySize, '12px');
      assert.match(state.background, /\/img\/background\.png"?\)$/);
      assert.deepEqual(state.images, [['ui_min', 'img/min_normal.gif', 18, 18],
        ['ui_quit', 'img/close_normal.gif', 18, 18]]);
      assert.equal(state.getLangId, 'undefined', 'the page has no JSGetLangID, so that call fails quietly');
      assert.deepEqual(await calls(page), []);
      await screenshot(page, '01-loaded');
    } finally {
      await page.close();
    }
  });

  test('lays out the window: progress bar, buttons, text block', async () => {
    const page = await openPage();
    try {
      const layout = await page.evaluate(() => {
        const rect = (e) => { const r = e.getBoundingClientRect(); return [r.left, r.top, r.width, r.height]; };
        const style = (e) => getComputedStyle(e);
        const bar = document.querySelector('.ui_progress');
        const buttons = document.querySelector('.top_button');
        const content = document.querySelector('.content');
        return {
          body: [document.documentElement.scrollWidth, document.documentElement.scrollHeight],
          bar: rect(bar), barOpacity: style(bar).opacity, barImage: style(bar).backgroundImage,
          buttons: rect(buttons), buttonsZ: style(buttons).zIndex,
          min: rect(document.getElementById('ui_min')), quit: rect(document.getElementById('ui_quit')),
          content: rect(content),
          title: [style(document.getElementById('title')).fontSize, style(document.getElementById('title')).color],
          text: [style(document.getElementById('text')).fontSize, style(document.getElementById('text')).color],
          progress: [style(document.getElementById('progress')).fontSize, style(document.getElementById('progress')).color],
        };
      });
      assert.deepEqual(layout.body, [650, 150]);
      assert.equal(layout.bar[2], 0, 'the bar starts empty');
      assert.equal(layout.bar[3], 100);
      assert.equal(layout.barOpacity, '0.36');
      assert.match(layout.barImage, /\/img\/processbar\.png"?\)$/);
      assert.equal(layout.buttons[0], 604);
      assert.equal(layout.buttons[2], 36);
      assert.equal(layout.buttonsZ, '100');
      assert.deepEqual(layout.min.slice(2), [18, 18]);
      assert.deepEqual(layout.quit.slice(2), [18, 18]);
      assert.ok(layout.quit[0] >= layout.min[0] + 18, 'close right of minimise');
      // Both buttons lie inside the band that does not drag the window (575..650 x 0..33).
      for (const r of [layout.min, layout.quit]) assert.ok(r[0] >= 575 && r[1] + r[3] <= 33, `${r}`);
      assert.deepEqual(layout.content.slice(2), [650, 80]);
      assert.equal(layout.content[1] - layout.bar[1], 10, 'text block 10 pixels into the bar');
      assert.deepEqual(layout.title, ['18px', 'rgb(20, 49, 115)']);
      assert.deepEqual(layout.text, ['15px', 'rgb(20, 49, 115)']);
      assert.deepEqual(layout.progress, ['15px', 'rgb(255, 255, 255)']);
    } finally {
      await page.close();
    }
  });

  test('ConfirmUpdate asks the update question; OK answers "true" and removes the box, close quits', async () => {
    for (const [key, question] of [['update', '助手有新版本，是否更新？'], ['lostfile', '助手文件损坏，是否更新？']]) {
      const page = await openPage();
      try {
        await call(page, 'ConfirmUpdate', key);
        assertLooksLikeBox(await box(page, 'update_confirm'), { text: question, icon: 'ask', ok: true });
        await screenshot(page, `02-confirm-update-${key}`);
        assert.deepEqual(await calls(page), []);
        await page.click('#update_confirm .msgbox_ok');
        assert.deepEqual(await calls(page), [['JsCallFunc', 'ConfirmUpdate', 'true']]);
        assert.equal(await box(page, 'update_confirm'), null);

        await call(page, 'ConfirmUpdate', key);
        await page.click('#update_confirm .msgbox_close');
        assert.deepEqual((await calls(page)).slice(1), [['CoreQuit']]);
      } finally {
        await page.close();
      }
    }
  });

  test('ConfirmRetry names the failed stage, or asks in general terms for stages without a text', async () => {
    const cases = [
      ['initLocalFiles', '更新失败(初始化本地文件失败)，是否重试？'],
      ['downloadNewFiles', '更新失败(下载更新文件失败)，是否重试？'],
      ['backupFiles', '更新失败(备份助手文件失败)，是否重试？'],
      ['copyUpdateFiles', '更新失败(拷贝更新文件失败)，是否重试？'],
      ['copyUpdateLoader', '更新失败(拷贝更新更新程序失败)，是否重试？'],
      ['installedFolder', '更新失败(安装目录可被非管理员修改，请重新安装)，是否重试？'],
      ['trustClockAhead', '更新失败(本机时间超前，更新的安全数据显示为已过期，请校准时间后重试)，是否重试？'],
      ['trustHash', '更新失败(更新文件校验失败)，是否重试？'],
      ['getWebRespond', '更新失败，是否重试？'],
      ['', '更新失败，是否重试？'],
      ['toString', '更新失败，是否重试？'],
    ];
    const page = await openPage();
    try {
      for (const [stage, question] of cases) {
        await call(page, 'ConfirmRetry', stage);
        const b = await box(page, 'retry_confirm');
        assertLooksLikeBox(b, { text: question, icon: 'error', ok: true });
        assert.equal(b.boxes, 1, 'a new question replaces the old box');
        assert.doesNotMatch(b.text, /undefined|null/);
      }
      await call(page, 'ConfirmRetry', 'getWebRespond');
      await screenshot(page, '03-confirm-retry-general');
      await call(page, 'ConfirmRetry', 'downloadNewFiles');
      await screenshot(page, '03-confirm-retry-download');
    } finally {
      await page.close();
    }
  });

  test('ConfirmRetry: OK clears the final-message mark, answers "true" and removes the box; close quits', async () => {
    const page = await openPage();
    try {
      await page.$eval('#updatecomplete', (e) => { e.value = '1'; });
      await call(page, 'ConfirmRetry', 'downloadNewFiles');
      await page.click('#retry_confirm .msgbox_ok');
      assert.deepEqual(await calls(page), [['JsCallFunc', 'ConfirmRetry', 'true']]);
      assert.equal(await updateComplete(page), '0');
      assert.equal(await box(page, 'retry_confirm'), null);

      await call(page, 'ConfirmRetry', '');
      await page.click('#retry_confirm .msgbox_close');
      assert.deepEqual((await calls(page)).slice(1), [['CoreQuit']]);
    } finally {
      await page.close();
    }
  });

  test('ShowFailureCode puts the code beside the next retry question only', async () => {
    const page = await openPage();
    try {
      await call(page, 'ShowFailureCode', 'U-302');
      await call(page, 'ConfirmRetry', 'downloadNewFiles');
      const b = await box(page, 'retry_confirm');
      assertLooksLikeBox(b, { text: '更新失败(下载更新文件失败)，是否重试？（错误代码：U-302）', icon: 'error', ok: true });
      await screenshot(page, '03-confirm-retry-code');
      await call(page, 'ConfirmRetry', 'getWebRespond');
      assert.equal((await box(page, 'retry_confirm')).text, '更新失败，是否重试？', 'the code was for one question');
    } finally {
      await page.close();
    }
  });

  test('ConfirmRetryTooTimes and ConfirmCloseIe answer "true" on OK and "false" on close, and remove the box', async () => {
    const cases = [
      ['ConfirmRetryTooTimes', '4', 'retrytootimes_confirm', '您已经更新多次，请下载最新的安装包并退出更新'],
      ['ConfirmCloseIe', '', 'closeie_confirm', '请关闭IE浏览器，否则会影响更新'],
    ];
    for (const [fn, arg, id, question] of cases) {
      const page = await openPage();
      try {
        await call(page, fn, arg);
        assertLooksLikeBox(await box(page, id), { text: question, icon: 'warning', ok: true });
        await screenshot(page, `04-${id}`);
        await page.click(`#${id} .msgbox_ok`);
        assert.equal(await box(page, id), null);
        await call(page, fn, arg);
        await page.click(`#${id} .msgbox_close`);
        assert.equal(await box(page, id), null);
        assert.deepEqual(await calls(page), [['JsCallFunc', fn, 'true'], ['JsCallFunc', fn, 'false']]);
        assert.equal(await updateComplete(page), '0');
      } finally {
        await page.close();
      }
    }
  });

  test('ConfirmNewVersion and ConfirmRegError are final: only a close image, which quits', async () => {
    const cases = [
      ['ConfirmNewVersion', 'newversion_confirm', '您已安装了最新的助手版本', 'success'],
      ['ConfirmRegError', 'regerror_confirm', '注册表损坏或未安装助手，请重新安装助手', 'error'],
    ];
    for (const [fn, id, message, icon] of cases) {
      const page = await openPage();
      try {
        await call(page, fn, '');
        assert.equal(await updateComplete(page), '1');
        assertLooksLikeBox(await box(page, id), { text: message, icon, ok: false });
        assert.equal(await page.locator(`#${id} img.msgbox_ok`).count(), 0);
        await screenshot(page, `05-${id}`);
        assert.deepEqual(await calls(page), []);
        await page.click(`#${id} .msgbox_close`);
        assert.deepEqual(await calls(page), [['CoreQuit']]);
      } finally {
        await page.close();
      }
    }
  });

  test('ConfirmUpdateComplete shows the version, its close only removes the box, and the page quits after 3000 ms', async () => {
    const page = await openPage();
    try {
      const started = await page.evaluate(() => {
        const t = performance.now();
        ConfirmUpdateComplete('1.1.19.1224');
        return t;
      });
      assert.equal(await updateComplete(page), '1');
      assertLooksLikeBox(await box(page, 'updatecomplete_confirm'),
        { text: '您的助手已升级到版本1.1.19.1224 即将退出更新', icon: 'success', ok: false });
      await screenshot(page, '06-update-complete');
      assert.deepEqual(await calls(page), [], 'no quit right after the message');

      await page.click('#updatecomplete_confirm .msgbox_close');
      assert.equal(await box(page, 'updatecomplete_confirm'), null);
      assert.deepEqual(await calls(page), [], 'closing the message does not quit by itself');

      // Before the 3 seconds are up (by the page's own clock) nothing has quit.
      await page.waitForTimeout(1500);
      const mid = await page.evaluate(() => ({ now: performance.now(), calls: window.__calls.length }));
      if (mid.now - started < 3000) assert.equal(mid.calls, 0);

      await page.waitForFunction(() => window.__calls.length > 0, null, { timeout: 20000 });
      const quit = await page.evaluate(() => window.__calls.map((c) => [c.member, c.at]));
      assert.equal(quit.length, 1);
      assert.equal(quit[0][0], 'CoreQuit');
      assert.ok(quit[0][1] - started >= 2999, `quit ${quit[0][1] - started} ms after the message`);
    } finally {
      await page.close();
    }
  });

  test('the close image asks while the update is unfinished and quits at once after a final message', async () => {
    const page = await openPage();
    try {
      await page.click('#ui_quit');
      assertLooksLikeBox(await box(page, 'close_confirm'), { text: '更新尚未完成，是否退出？', icon: 'warning', ok: true });
      await screenshot(page, '07-close-confirm');
      assert.deepEqual(await calls(page), []);
      await page.click('#close_confirm .msgbox_close');
      assert.equal(await box(page, 'close_confirm'), null);
      assert.deepEqual(await calls(page), []);
      await page.click('#ui_quit');
      await page.click('#close_confirm .msgbox_ok');
      assert.deepEqual(await calls(page), [['CoreQuit']]);
    } finally {
      await page.close();
    }
    for (const fn of ['ConfirmNewVersion', 'ConfirmRegError', 'ConfirmUpdateComplete']) {
      const final = await openPage();
      try {
        await call(final, fn, '1.1.19.1224');
        await final.click('#ui_quit');
        assert.deepEqual(await calls(final), [['CoreQuit']], `after ${fn}`);
        assert.equal(await box(final, 'close_confirm'), null);
      } finally {
        await final.close();
      }
    }
  });

  test('the minimise image minimises through the program', async () => {
    const page = await openPage();
    try {
      await page.click('#ui_min');
      assert.deepEqual(await calls(page), [['CoreMin']]);
    } finally {
      await page.close();
    }
  });

  test('ShowTitle shows the stage title and empties the other texts', async () => {
    const titles = {
      backupFiles: '备份助手文件', copyUpdateFiles: '拷贝更新文件', copyUpdateLoader: '拷贝更新程序',
      updateReg: '更新注册表信息', runAssistant: '准备启动助手', readyrun: '准备环境',
      runsetupexe: '准备运行更新程序', waitsetup: '正在等待更新程序结束，结束后将自动关闭',
      unknownStage: '正在更新您的网银助手，请稍等', constructor: '正在更新您的网银助手，请稍等',
    };
    const page = await openPage();
    try {
      for (const [key, title] of Object.entries(titles)) {
        await call(page, 'ShowDownloadProcess', '{"allcount":"2","filename":"a.exe","filesize":"1.00M","nowpos":"1"}');
        await call(page, 'ShowTitle', key);
        assert.equal(await text(page, '#title'), title);
        assert.equal(await text(page, '#text'), '');
        assert.equal(await text(page, '#progress'), '');
      }
      await call(page, 'ShowTitle', 'runsetupexe');
      await screenshot(page, '08-show-title');
      assert.deepEqual(await calls(page), []);
    } finally {
      await page.close();
    }
  });

  test('ShowDownloadProcess with allcount 3 and nowpos 1 shows 33.33%, (1/3) and a bar of 216 pixels', async () => {
    const page = await openPage();
    const barWidth = () => page.$eval('.ui_progress', (e) => e.getBoundingClientRect().width);
    try {
      await call(page, 'InitUpdate', '{"downloadCount":0,"progressWidth":650,"removeCount":0}\n');
      assert.equal(await barWidth(), 0);
      await call(page, 'ShowDownloadProcess',
        '{"allcount":"3","filename":"OrvalinexSetup.exe","filesize":"2.00Kb","nowpos":"1"}\n');
      assert.equal(await barWidth(), 216);
      assert.equal(await text(page, '#title'), '正在下载文件:');
      assert.equal(await text(page, '#text'), 'OrvalinexSetup.exe(2.00Kb)');
      assert.equal(await text(page, '#progress'), '下载进度:33.33%(1/3)');
      await screenshot(page, '09-download-1-of-3');

      await call(page, 'ShowDownloadProcess', '{"allcount":"3","filename":"b.dll","filesize":"","nowpos":"2"}');
      assert.equal(await barWidth(), 433);
      assert.equal(await text(page, '#progress'), '下载进度:66.67%(2/3)');
      assert.equal(await text(page, '#text'), 'b.dll()');
      await call(page, 'ShowDownloadProcess', '{"allcount":"3","filename":"c.dll","filesize":"3.00M","nowpos":"3"}');
      assert.equal(await barWidth(), 650);
      assert.equal(await text(page, '#progress'), '下载进度:100%(3/3)');
      await screenshot(page, '09-download-3-of-3');

      // A new attempt starts the bar again; a narrower bar scales the share.
      await call(page, 'InitUpdate', '{"downloadCount":0,"progressWidth":300,"removeCount":0}\n');
      assert.equal(await barWidth(), 0);
      await call(page, 'ShowDownloadProcess', '{"allcount":"3","filename":"a","filesize":"","nowpos":"1"}');
      assert.equal(await barWidth(), 100);

      // No count to share by: nothing is divided by zero, no "NaN" or "Infinity" is shown.
      await call(page, 'ShowDownloadProcess', '{"allcount":"0","filename":"a","filesize":"","nowpos":"0"}');
      assert.equal(await barWidth(), 0);
      assert.equal(await text(page, '#progress'), '下载进度:0%(0/0)');
      await call(page, 'ShowDownloadProcess', 'not json');
      assert.doesNotMatch(await text(page, '#progress'), /NaN|Infinity|undefined/);
      assert.deepEqual(page.failures, []);
      assert.deepEqual(await calls(page), []);
    } finally {
      await page.close();
    }
  });

  test('Enter, Esc and F5 do nothing, with or without a message box', async () => {
    const page = await openPage();
    try {
      const navigations = [];
      page.on('framenavigated', (f) => navigations.push(f.url()));
      await page.evaluate(() => {
        window.__stillHere = true;
        window.__keys = [];
        window.addEventListener('keydown', (e) => window.__keys.push(e), true);
      });
      const pressAll = async () => {
        for (const key of ['Enter', 'Escape', 'F5']) await page.keyboard.press(key);
      };
      await pressAll();
      await call(page, 'ConfirmUpdate', 'update');
      await page.mouse.click(300, 20); // focus in the page, away from any button
      await pressAll();
      const keys = await page.evaluate(() => window.__keys.map((e) => [e.keyCode, e.defaultPrevented]));
      assert.deepEqual(keys, [[13, true], [27, true], [116, true], [13, true], [27, true], [116, true]]);
      assert.ok(await page.evaluate(() => window.__stillHere === true), 'the page was not reloaded');
      assert.deepEqual(navigations, []);
      assert.ok(await box(page, 'update_confirm'), 'the question is still there');
      assert.deepEqual(await calls(page), []);

      // Other keys go on as usual.
      await page.keyboard.press('a');
      const last = await page.evaluate(() => { const e = window.__keys[window.__keys.length - 1]; return [e.keyCode, e.defaultPrevented]; });
      assert.deepEqual(last, [65, false]);
    } finally {
      await page.close();
    }
  });

  test('a message box without an OK action shows only the close image, which removes it', async () => {
    const page = await openPage();
    try {
      await page.evaluate(() => msgbox('plain_box', '只有关闭', null, null, 'warning', '', ''));
      const b = await box(page, 'plain_box');
      assert.equal(b.ok, false);
      assert.equal(b.close, true);
      assert.equal(await page.locator('#plain_box img').count(), 2, 'icon and close image only');
      await screenshot(page, '10-box-without-ok');
      await page.click('#plain_box .msgbox_close');
      assert.equal(await box(page, 'plain_box'), null);
      assert.deepEqual(await calls(page), []);

      // With actions, each image runs its own with its own parameter.
      await page.evaluate(() => {
        window.__actions = [];
        msgbox('both', '两个', (p) => __actions.push(['ok', p]), (p) => __actions.push(['close', p]), 'ask', 'P1', 'P2');
      });
      await page.click('#both .msgbox_ok');
      await page.click('#both .msgbox_close');
      assert.deepEqual(await page.evaluate(() => window.__actions), [['ok', 'P1'], ['close', 'P2']]);
    } finally {
      await page.close();
    }
  });

  test('texts from the program are shown as text, never as markup', async () => {
    const page = await openPage();
    try {
      const hostile = '<img src=x onerror="window.__injected=1">';
      await call(page, 'ConfirmUpdateComplete', hostile);
      await call(page, 'ShowDownloadProcess', JSON.stringify({ allcount: '1', filename: hostile, filesize: '', nowpos: '1' }));
      assert.equal((await box(page, 'updatecomplete_confirm')).text, `您的助手已升级到版本${hostile} 即将退出更新`);
      assert.equal(await text(page, '#text'), `${hostile}()`);
      assert.equal(await page.locator('img[src=x]').count(), 0);
      assert.equal(await page.evaluate(() => window.__injected), undefined);
    } finally {
      await page.close();
    }
  });

  test('a long text breaks inside the message box, and download members that are no text show empty', async () => {
    const page = await openPage();
    try {
      const version = '1.1.19.1224-' + 'x'.repeat(35);  // the server's longest version text: 47
      await call(page, 'ConfirmUpdateComplete', version);
      assertLooksLikeBox(await box(page, 'updatecomplete_confirm'),
        { text: `您的助手已升级到版本${version} 即将退出更新`, icon: 'success', ok: false });
      const [words, content, panel] = await page.$eval('#updatecomplete_confirm', (b) => {
        const range = document.createRange();
        range.selectNodeContents(b.querySelector('.msgbox_text'));
        const corner = (r) => [r.right, r.bottom];
        return [corner(range.getBoundingClientRect()),
          corner(b.querySelector('.msgbox_text').getBoundingClientRect()),
          corner(b.querySelector('.msgbox_panel').getBoundingClientRect())];
      });
      // Right and bottom edges: the words stay inside the text's box, and that inside the panel.
      assert.ok(words[0] <= content[0] && content[0] <= panel[0] && words[1] <= panel[1],
        `words ${words}, text box ${content}, panel ${panel}`);
      await screenshot(page, '06-update-complete-long-version');

      for (const [value, shown] of [[{ a: 1 }, ''], [['b'], ''], [true, ''], [null, ''], [2, '2']]) {
        await call(page, 'ShowDownloadProcess',
          JSON.stringify({ allcount: value, filename: value, filesize: value, nowpos: value }));
        assert.equal(await text(page, '#text'), `${shown}(${shown})`, JSON.stringify(value));
        assert.equal(await text(page, '#progress'), shown ? '下载进度:100%(2/2)' : '下载进度:0%(/)');
      }
    } finally {
      await page.close();
    }
  });

  test('images cannot be dragged', async () => {
    const page = await openPage();
    try {
      await call(page, 'ConfirmUpdate', 'update');
      const prevented = await page.evaluate(() => Array.from(document.images).map((img) => {
        const e = new DragEvent('dragstart', { bubbles: true, cancelable: true });
        img.dispatchEvent(e);
        return [img.getAttribute('src'), e.defaultPrevented];
      }));
      assert.equal(prevented.length, 5);
      for (const [src, p] of prevented) assert.equal(p, true, src);
    } finally {
      await page.close();
    }
  });

  test('CallCoreFunc passes the program answer on, and answers false without the program member', async () => {
    const page = await openPage();
    try {
      const answers = await page.evaluate(() => {
        const out = [];
        out.push(CallCoreFunc('GetLangID', 'Orvalinex'));
        window.__jsCallFuncAnswer = true;
        out.push(CallCoreFunc('Copyfile', 'a.lnk,b.lnk'));
        const keep = window.external.JsCallFunc;
        window.external.JsCallFunc = null;
        out.push(CallCoreFunc('ConfirmUpdate', 'true'));
        window.external.JsCallFunc = keep;
        return out;
      });
      assert.deepEqual(answers, [false, true, false]);
      assert.deepEqual(await calls(page), [['JsCallFunc', 'GetLangID', 'Orvalinex'],
        ['JsCallFunc', 'Copyfile', 'a.lnk,b.lnk']]);
    } finally {
      await page.close();
    }
  });
});
