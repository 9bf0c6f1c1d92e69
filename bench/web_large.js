// Figures of the report viewer on a large result: report 406 over a year of the large demo
// database, run from the page in Debian's Chromium. Prints when the report's result reached the
// page (the engine computes the whole result first), when the first rows were on screen
// and when the last had arrived (from the request), how long the page's main thread was busy
// at a stretch while the rows streamed in (long tasks and timer lag), how quickly a jump to
// the middle of the rows was drawn, and the page's memory at the end.
// Usage: node web_large.js BASE_URL WORK_DIR USER PASSWORD FROM TO
'use strict';

const path = require('path');
const puppeteer = require('puppeteer-core');

const [base, work, user, password, from, to] = process.argv.slice(2);

async function main() {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    protocolTimeout: 600000,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      `--user-data-dir=${path.join(work, 'bench-profile')}`, '--accept-lang=zh-CN,zh',
      '--enable-precise-memory-info'],
    defaultViewport: { width: 1400, height: 900 },
  });
  try {
    const page = await browser.newPage();
    await page.goto(base, { waitUntil: 'networkidle0' });
    await page.waitForSelector('#login-form', { visible: true });
    await page.type('#login-form input[name=user]', user);
    await page.type('#login-form input[name=password]', password);
    await page.click('#login-form button[type=submit]');
    await page.waitForSelector('#workspace', { visible: true });
    await page.select('#report-picker', '406');
    await page.$eval('input[name=BDate]', (e, v) => { e.value = v; }, from);
    await page.$eval('input[name=EDate]', (e, v) => { e.value = v; }, to);
    // Watch the main thread while the report runs and streams.
    await page.evaluate(() => {
      window.benchLongTasks = [];
      new PerformanceObserver((list) => {
        for (const entry of list.getEntries()) window.benchLongTasks.push(entry.duration);
      }).observe({ type: 'longtask', buffered: false });
      window.benchLags = [];
      let last = performance.now();
      window.benchTimer = setInterval(() => {
        const now = performance.now();
        window.benchLags.push(now - last - 50);
        last = now;
      }, 50);
    });
    await page.click('#run');
    // Once the first rows are on screen, jump to the middle of what has arrived and time the
    // drawing of the rows there, while the rest still streams in.
    await page.waitForFunction(() => window.orvTiming && window.orvTiming.firstRowsMs, { timeout: 600000, polling: 50 });
    const jump = await page.evaluate(() => new Promise((resolve) => {
      const wrap = document.querySelector('.table-wrap');
      const start = performance.now();
      wrap.scrollTop = wrap.scrollHeight / 2;
      requestAnimationFrame(() => requestAnimationFrame(() => resolve({
        ms: performance.now() - start,
        rowsDrawn: document.querySelectorAll('table.result tbody tr:not(.spacer)').length,
        received: window.orvTiming.done ? 'all' : 'part',
      })));
    }));
    await page.waitForFunction(() => window.orvTiming && window.orvTiming.done, { timeout: 600000, polling: 200 });
    const figures = await page.evaluate(() => {
      clearInterval(window.benchTimer);
      const lags = window.benchLags.slice().sort((a, b) => a - b);
      const long = window.benchLongTasks;
      return {
        timing: window.orvTiming,
        longTasks: long.length,
        longestTaskMs: Math.round(Math.max(0, ...long)),
        longTaskTotalMs: Math.round(long.reduce((a, b) => a + b, 0)),
        timerLagP95Ms: Math.round(lags[Math.floor(lags.length * 0.95)] || 0),
        timerLagMaxMs: Math.round(lags[lags.length - 1] || 0),
        heapMB: performance.memory ? Math.round(performance.memory.usedJSHeapSize / 1048576) : null,
        rowCount: document.getElementById('row-count').textContent,
      };
    });
    const t = figures.timing;
    console.log(`rows: ${t.rows} (${figures.rowCount})`);
    console.log(`the report's result reached the page (columns line): ${(t.columnsMs / 1000).toFixed(2)} s after the request`);
    console.log(`first rows on screen: ${(t.firstRowsMs / 1000).toFixed(2)} s after the request, ` +
      `${(t.firstRowsMs - t.columnsMs).toFixed(0)} ms after the result reached the page`);
    console.log(`last row received and drawn: ${(t.endMs / 1000).toFixed(2)} s after the request`);
    console.log(`jump to the middle while streaming: drawn in ${jump.ms.toFixed(0)} ms (${jump.rowsDrawn} rows in the page)`);
    console.log(`main thread: ${figures.longTasks} long tasks, longest ${figures.longestTaskMs} ms, ` +
      `${figures.longTaskTotalMs} ms in all; 50 ms timer late by ${figures.timerLagP95Ms} ms (p95), ` +
      `${figures.timerLagMaxMs} ms (max)`);
    console.log(`page memory (JS heap): ${figures.heapMB} MB`);
  } finally {
    await browser.close();
  }
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
