// Practice auction page: a local stand-in for the operator's page, for practice runs and tests.
// It talks to the page shell through console lines "KESTRAVA|<kind>|…" (see docs/practice-page.md).
'use strict';

(function () {
  const SHELL = 'KESTRAVA|';

  // ---- address parameters -------------------------------------------------------------
  const params = new URLSearchParams(location.search);
  const intParam = (name, dflt, lo, hi) => {
    const v = Number.parseInt(params.get(name) ?? '', 10);
    return Number.isFinite(v) ? Math.min(hi, Math.max(lo, v)) : dflt;
  };

  // Lines for the page shell go to the page's console, where the shell catches them.
  const tell = (kind, ...fields) => console.log(SHELL + [kind, ...fields].join('|'));
  const note = (text) => tell('log', text);
  const realMode = params.get('mode') === 'real';
  const seed = params.has('seed') ? intParam('seed', 1, 0, 2 ** 31 - 1) : Math.floor(Math.random() * 2 ** 31);
  const fixedCode = /^[0-9]{4}$/.test(params.get('code') ?? '') ? params.get('code') : null;
  const serverDelayMs = intParam('delay', 150, 0, 10000);
  const jamMs = intParam('jam', 600, 0, 10000);
  const startOffsetS = realMode ? 0 : intParam('t0', 0, 0, 189);
  const resultAfterS = intParam('result', realMode ? 190 : 3, 0, 3600);
  const redWindow = /^([0-9]+)-([0-9]+)$/.exec(params.get('red') ?? '');
  // The code dialog closes by itself this many seconds after it opened, as an operator's page may
  // let a code expire; 0 keeps it open until the bidder acts.
  const codeTimeoutS = intParam('codetimeout', 0, 0, 3600);

  // ---- seeded random numbers (mulberry32) ----------------------------------------------
  function makeRandom(s) {
    let a = s >>> 0;
    return function () {
      a = (a + 0x6d2b79f5) >>> 0;
      let t = a;
      t = Math.imul(t ^ (t >>> 15), t | 1);
      t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
      return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
  }
  const codeRandom = makeRandom(seed ^ 0x5bd1e995);

  // ---- timeline ---------------------------------------------------------------------------
  // Every instant is a wall-clock millisecond; the page clock is the auction's own clock, which
  // reaches 11:30:00 at the end of the run.
  const AUCTION_END_OF_DAY_MS = (11 * 3600 + 30 * 60) * 1000;
  const SIM_LENGTH_MS = 190000;
  let timeline = null;

  function parseEnd(text) {
    if (/^[0-9]{10,}$/.test(text)) return Number(text);
    const m = /^([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?$/.exec(text);
    if (!m) return null;
    const d = new Date();
    d.setHours(Number(m[1]), Number(m[2]), Number(m[3] ?? 0), 0);
    return d.getTime();
  }

  function makeTimeline(now) {
    if (realMode) {
      let end = parseEnd(params.get('end') ?? '');
      if (end === null) {
        const d = new Date(now);
        d.setHours(11, 30, 0, 0);
        end = d.getTime();
      }
      return { end, firstStart: end - 3600000, revStart: end - 1800000 };
    }
    const start = now - startOffsetS * 1000;
    return { start, end: start + SIM_LENGTH_MS, firstStart: start + 10000, revStart: start + 70000 };
  }

  // Milliseconds since midnight on the page clock.
  const pageClockMs = (now) => AUCTION_END_OF_DAY_MS - (timeline.end - now);
  // 0 not started, 1 first-bid period, 2 revision phase, 3 ended.
  function phaseAt(now) {
    if (now < timeline.firstStart) return 0;
    if (now < timeline.revStart) return 1;
    if (now < timeline.end) return 2;
    return 3;
  }

  const pad = (n, w) => String(n).padStart(w, '0');
  function clockParts(ms) {
    const t = Math.max(0, Math.floor(ms));
    return { h: Math.floor(t / 3600000), m: Math.floor(t / 60000) % 60, s: Math.floor(t / 1000) % 60, ms: t % 1000 };
  }
  const clockText = (ms) => {
    const p = clockParts(ms);
    return `${pad(p.h, 2)}:${pad(p.m, 2)}:${pad(p.s, 2)}`;
  };
  const clockTextMs = (ms) => `${clockText(ms)}.${pad(clockParts(ms).ms, 3)}`;

  // The time code of a page report: HHMMSS, or HHMMSSffff in the revision phase of a real run.
  function timeCode(now) {
    const p = clockParts(pageClockMs(now));
    const hhmmss = p.h * 10000 + p.m * 100 + p.s;
    if (realMode && phaseAt(now) === 2) return String(hhmmss * 10000 + p.ms * 10);
    return String(hhmmss);
  }

  // ---- price model ------------------------------------------------------------------------
  // Warning price, then a slow climb through the revision phase and a surge in its last 25
  // seconds; the final step lands 0.2 … 4.5 s before the end. Steps are 100 yuan.
  let warningPrice = 0;
  let steps = [];

  function makePriceModel() {
    const r = makeRandom(seed);
    warningPrice = 89000 + 100 * Math.floor(r() * 31);
    const total = 7 + Math.floor(r() * 8);
    const finalLead = 200 + r() * 4300;
    const slow = Math.floor(total * 0.35);
    const surgeFrom = 25000;
    const revLength = timeline.end - timeline.revStart;
    steps = [];
    for (let i = 0; i < slow; i++) steps.push(timeline.revStart + r() * (revLength - surgeFrom));
    for (let i = 0; i < total - slow - 1; i++) {
      const u = r();
      steps.push(timeline.end - finalLead - (surgeFrom - finalLead) * u * u);
    }
    steps.push(timeline.end - finalLead);
    steps = steps.map(Math.round).sort((a, b) => a - b);
  }

  function lowestAt(now) {
    let n = 0;
    while (n < steps.length && steps[n] <= now) n++;
    return warningPrice + 100 * n;
  }
  function lastStepAt(now) {
    let when = timeline.firstStart;
    for (const s of steps) if (s <= now) when = s;
    return when;
  }
  const finalPrice = () => warningPrice + 100 * steps.length;

  function bidCountAt(now) {
    const full = 180000 + (seed % 40000);
    if (now <= timeline.firstStart) return 0;
    const f = Math.min(1, (now - timeline.firstStart) / (timeline.revStart - timeline.firstStart));
    return Math.floor(full * Math.sqrt(f));
  }

  // ---- elements ---------------------------------------------------------------------------
  // Looked up once by their standard ids, so that the variant may rename them.
  const byId = new Map([...document.querySelectorAll('[id]')].map((el) => [el.id, el]));
  const $ = (id) => byId.get(id) ?? document.getElementById(id);
  const show = (id, on) => { $(id).hidden = !on; };

  // ---- variant b: another operator's page -------------------------------------------------
  // The same auction with another layout, other names and classes, other texts (labels wrapped
  // over two lines), another icon and another font for the figures: the shipped selectors,
  // geometry and reference pictures do not fit it, a learned set does.
  const variant = params.get('variant') === 'b' ? 'b' : '';
  function applyVariantB() {
    document.body.classList.add('variant-b');
    const rename = {
      netgreen: 'sig-ok', netred: 'sig-bad', netstate: 'sig-text', lowest: 'floorprice', clock: 'nowtime',
      plusamount: 'stepinput', addbtn: 'stepapply', bidprice: 'offerinput', bidbtn: 'offersubmit',
      codeinput: 'vcode', codeok: 'vcodeyes', codecancel: 'vcodeback', infook: 'msgclose',
    };
    for (const [from, to] of Object.entries(rename)) $(from).id = to;
    for (const id of ['netgreen', 'netred']) {
      $(id).className = 'sigicon';
      $(id).width = 28;
      $(id).height = 28;
    }
    $('netgreen').src = 'icons/signal_ok.png';
    $('netred').src = 'icons/signal_bad.png';
    for (const id of ['plusamount', 'bidprice']) $(id).className = 'field';
    for (const id of ['codedialog', 'infodialog', 'resultdialog', 'progress']) {
      $(id).className = 'modal';
      $(id).setAttribute('role', 'dialog');
    }
    const relabel = (from, html, top) => {
      for (const row of document.querySelectorAll('#bidview .row')) {
        if (row.textContent !== from) continue;
        row.innerHTML = html;
        if (top !== undefined) row.style.top = `${top}px`;
        row.classList.add('wrapped');
      }
    };
    relabel('系统目前时间：', '当前时间：');
    relabel('目前最低可成交价：', '目前最低<br>可成交价：', 300);
    relabel('自行输入加价幅度：', '自行输入<br>加价幅度：', 200);
    relabel('您的出价：', '您的<br>出价：', 256);
    $('addbtn').textContent = '＋ 加价';
    $('bidbtn').textContent = '出 价';
    $('codeok').textContent = '确认';
    $('codecancel').textContent = '返回';
    $('infook').textContent = '关闭';
    $('netstate').textContent = '网络连接：正常';
  }
  if (variant === 'b') applyVariantB();

  // ---- bids -------------------------------------------------------------------------------
  const bids = { first: null, revisions: [] };  // accepted bids: { price, at }
  let pendingPrice = 0;
  let currentCode = '';
  let processing = false;
  let codeTimer = 0;

  function openInfo(title, text) {
    $('infotitle').textContent = title;
    $('infotext').textContent = text;
    show('backdrop', true);
    show('infodialog', true);
    note(`dialog info "${title}" ${text}`);
  }

  function drawCode(code) {
    const c = $('codepic').getContext('2d');
    c.fillStyle = '#f4f1e6';
    c.fillRect(0, 0, 120, 40);
    for (let i = 0; i < 6; i++) {
      c.strokeStyle = `hsl(${Math.floor(codeRandom() * 360)}, 40%, 65%)`;
      c.beginPath();
      c.moveTo(codeRandom() * 120, codeRandom() * 40);
      c.lineTo(codeRandom() * 120, codeRandom() * 40);
      c.stroke();
    }
    c.font = 'bold 26px "DejaVu Sans Mono", monospace';
    c.textBaseline = 'middle';
    for (let i = 0; i < code.length; i++) {
      c.save();
      c.translate(16 + i * 26, 21);
      c.rotate((codeRandom() - 0.5) * 0.5);
      c.fillStyle = ['#1f3c88', '#8a1c1c', '#1d6b2f', '#5b2a86'][i % 4];
      c.fillText(code[i], -8, 0);
      c.restore();
    }
  }

  function pressBid(ev) {
    note(`click bidbtn trusted=${ev.isTrusted ? 1 : 0}`);
    const now = Date.now();
    const phase = phaseAt(now);
    if (phase === 0) return openInfo('信息提示', '拍卖会尚未开始，请稍候出价。');
    if (phase === 3) return openInfo('信息提示', '拍卖会已结束。');
    const price = Number.parseInt($('bidprice').value, 10);
    if (!Number.isFinite(price) || price <= 0) return openInfo('信息提示', '请输入您的出价。');
    if (phase === 1 && bids.first) return openInfo('信息提示', '首次出价时段只能出价一次。');
    if (phase === 2 && bids.revisions.length >= 2) return openInfo('信息提示', '您的修改出价次数已用完。');
    pendingPrice = price;
    currentCode = fixedCode ?? pad(Math.floor(codeRandom() * 10000), 4);
    drawCode(currentCode);
    $('codeprice').textContent = `您的出价：${price} 元`;
    $('codeinput').value = '';
    show('backdrop', true);
    show('codedialog', true);
    $('codeinput').focus();
    note(`dialog code open price=${price}`);
    if (codeTimeoutS > 0) codeTimer = setTimeout(expireCode, codeTimeoutS * 1000);
  }

  function closeCode() {
    clearTimeout(codeTimer);
    show('codedialog', false);
    if ($('infodialog').hidden && $('progress').hidden) show('backdrop', false);
  }

  // A confirmation reaches the "server" after its delay; in the last ten seconds the queue
  // grows and the page shows its progress bar meanwhile.
  function confirmCode(ev) {
    if ($('codedialog').hidden) return;
    const typed = $('codeinput').value.trim();
    const price = pendingPrice;
    // The page clock of the click itself (and the system clock's, to the tenth of a millisecond): the
    // line reaches the shell's log a little later.
    const epoch = performance.timeOrigin + performance.now();
    const clickClock = pageClockMs(Date.now());
    note(`click codeok trusted=${ev.isTrusted ? 1 : 0} code=${typed} at=${clockTextMs(clickClock)} epoch=${epoch.toFixed(1)}`);
    // For the console's account of the run: the low 32 bits of the epoch milliseconds, as in its
    // scheduled confirmations, and the page clock.
    tell('confirmseen', String(Math.floor(epoch) % 4294967296), String(Math.floor(clickClock)));
    closeCode();
    if (typed !== currentCode) return openInfo('信息提示', '图像校验码输入错误，请重新出价。');
    const now = Date.now();
    const lead = timeline.end - now;
    let delay = serverDelayMs;
    if (lead <= 10000) delay += Math.round(jamMs * (10000 - Math.max(0, lead)) / 10000);
    processing = true;
    show('backdrop', true);
    if (lead <= 10000 && delay > 0) {
      show('progress', true);
      $('progressfill').style.transition = 'none';
      $('progressfill').style.width = '0';
      requestAnimationFrame(() => {
        $('progressfill').style.transition = `width ${delay}ms linear`;
        $('progressfill').style.width = '100%';
      });
      tell('progress');
      note(`progress shown delay=${delay}`);
    }
    setTimeout(() => arrive(price), delay);
  }

  function arrive(price) {
    processing = false;
    show('progress', false);
    const now = Date.now();
    const phase = phaseAt(now);
    const low = lowestAt(now);
    let ok = false;
    if (phase === 1) ok = price >= warningPrice - 300 && price <= warningPrice + 300 && !bids.first;
    if (phase === 2) ok = price >= low && price <= low + 300 && bids.revisions.length < 2;
    note(`bid price=${price} at=${clockTextMs(pageClockMs(now))} lowest=${low} valid=${ok ? 1 : 0}`);
    tell('verdict', String(price), ok ? '1' : '0');
    if (!ok) {
      return openInfo('信息提示（您的出价不在目前数据库接受处理价格区间范围内）',
        `您的出价 ${price} 元未被接受（${clockTextMs(pageClockMs(now))}）。`);
    }
    const bid = { price, at: now };
    if (phase === 1) {
      bids.first = bid;
      $('bid1').textContent = `${price}（${clockText(pageClockMs(now))}）`;
    } else {
      bids.revisions.push(bid);
      $(bids.revisions.length === 1 ? 'bid2' : 'bid3').textContent = `${price}（${clockTextMs(pageClockMs(now))}）`;
    }
    openInfo('信息提示（出价有效）', `您的出价 ${price} 元已被接受（${clockTextMs(pageClockMs(now))}）。`);
  }

  // The page takes the dialog away by itself: the bid is not sent.
  function expireCode() {
    if ($('codedialog').hidden) return;
    note(`dialog code expired after ${codeTimeoutS} s`);
    closeCode();
    openInfo('信息提示', '图像校验码已过期，请重新出价。');
  }

  function cancelCode(ev) {
    if ($('codedialog').hidden) return;
    note(`click codecancel trusted=${ev.isTrusted ? 1 : 0}`);
    closeCode();
  }

  function closeInfo(ev) {
    note(`click infook trusted=${ev.isTrusted ? 1 : 0}`);
    show('infodialog', false);
    if ($('codedialog').hidden && !processing) show('backdrop', false);
  }

  function addAmount(ev) {
    const amount = Number.parseInt($('plusamount').value, 10);
    const low = lowestAt(Date.now());
    const price = low + (Number.isFinite(amount) ? amount : 0);
    $('bidprice').value = String(price);
    note(`click addbtn trusted=${ev.isTrusted ? 1 : 0} amount=${$('plusamount').value} bidprice=${price}`);
  }

  // ---- result -----------------------------------------------------------------------------
  let resultShown = false;
  function showResult() {
    resultShown = true;
    const last = bids.revisions.length ? bids.revisions[bids.revisions.length - 1] : bids.first;
    const final = finalPrice();
    const finalAt = clockTextMs(pageClockMs(lastStepAt(timeline.end)));
    const won = last !== null && last.price >= final;
    const lines = [`本场最低成交价：${final} 元，最低成交价出价时间：${finalAt}。`];
    if (!last) lines.push('您本场没有有效出价。');
    else if (won) lines.push(`恭喜您，您的出价 ${last.price} 元已成交。`);
    else lines.push(`很遗憾，您的出价 ${last.price} 元未能成交。`);
    $('resulttext').textContent = lines.join('\n');
    $('resulttext').style.whiteSpace = 'pre-line';
    show('resultdialog', true);
    note(`result final=${final} at=${finalAt} won=${won ? 1 : 0}`);
    tell('result', String(final), won ? '1' : '0');
  }

  // ---- clock loop ---------------------------------------------------------------------------
  let lastSecond = -1;
  let lastPrice = -1;
  let lastPhase = -1;
  let lastCount = -1;

  function report(now) {
    tell('report', String(lowestAt(now)), timeCode(now), String(Date.now()));
  }

  const PHASE_TEXT = ['拍卖会尚未开始', '目前为首次出价时段', '目前为修改出价时段', '拍卖会已结束'];

  function tick() {
    const now = Date.now();
    const phase = phaseAt(now);
    const clock = pageClockMs(now);
    const second = Math.floor(clock / 1000);
    const price = lowestAt(now);
    let changed = false;
    if (price !== lastPrice) {
      lastPrice = price;
      $('lowest').textContent = String(price);
      $('lowesttime').textContent = clockText(pageClockMs(lastStepAt(now)));
      changed = true;
    }
    if (second !== lastSecond) {
      lastSecond = second;
      $('clock').textContent = clockText(clock);
      const count = bidCountAt(now);
      if (count !== lastCount) {
        lastCount = count;
        $('bidcount').textContent = String(count);
      }
      if (redWindow) {
        const t = (now - (timeline.start ?? timeline.firstStart)) / 1000;
        const red = t >= Number(redWindow[1]) && t < Number(redWindow[2]);
        show('netgreen', !red);
        show('netred', red);
        $('netstate').textContent = (variant === 'b' ? '网络连接：' : '网络状态：') + (red ? '连接异常' : '正常');
      }
      changed = true;
    }
    if (phase !== lastPhase) {
      lastPhase = phase;
      $('phase').textContent = PHASE_TEXT[phase];
      tell('phase', String(phase), String(warningPrice));
      note(`phase ${phase}`);
    }
    if (changed && phase < 3) report(now);
    if (phase === 3 && !resultShown && now >= timeline.end + resultAfterS * 1000) showResult();
    // Sleep until the next second of the page clock or the next price step, whichever is first.
    let next = now + (1000 - (clock % 1000));
    for (const s of steps) if (s > now) { next = Math.min(next, s); break; }
    setTimeout(tick, Math.max(1, Math.min(250, next - Date.now())));
  }

  // ---- views --------------------------------------------------------------------------------
  const LOGIN_AFTER_START_MS = 2000;

  function afterPaint(fn) {
    requestAnimationFrame(() => requestAnimationFrame(() => setTimeout(fn, 0)));
  }

  function startBidding() {
    show('loginview', false);
    show('bidview', true);
    show('netgreen', true);
    show('netstate', true);
    $('headermode').textContent = realMode ? '（练习）' : '（模拟）';
    timeline = makeTimeline(Date.now());
    makePriceModel();
    $('warning').textContent = String(warningPrice);
    const c = (ms) => clockText(AUCTION_END_OF_DAY_MS - (timeline.end - ms)).slice(0, 5);
    $('span').textContent = `${c(timeline.firstStart)} 至 ${c(timeline.end)}`;
    $('span1').textContent = `${c(timeline.firstStart)} 至 ${c(timeline.revStart)}`;
    $('span2').textContent = `${c(timeline.revStart)} 至 ${c(timeline.end)}`;
    note(`bidding seed=${seed} mode=${realMode ? 'real' : 'sim'} warning=${warningPrice} final=${finalPrice()}`);
    // The whole price curve in wall-clock milliseconds, for simulated bidders who watch the same
    // auction (scripts/practice --peers).
    note(`timeline end=${timeline.end} warning=${warningPrice} steps=${steps.join(',')}`);
    tick();
    afterPaint(() => {
      if (realMode) return void tell('login');
      // A practice run: the console starts its run on the one-second tick after the start
      // message and forgets an earlier login there, and it calibrates on a login only once its
      // run is under way. So the start goes first and the login follows two seconds later.
      tell('start');
      setTimeout(() => tell('login'), LOGIN_AFTER_START_MS);
    });
  }

  function login(ev) {
    const bid = $('loginbid').value.trim();
    const pwd = $('loginpwd').value.trim();
    const id = $('loginid').value.trim();
    note(`click loginbtn trusted=${ev.isTrusted ? 1 : 0}`);
    if (!/^[0-9]{8}$/.test(bid)) return void ($('loginerror').textContent = '投标号应为8位数字。');
    if (pwd.length !== 4) return void ($('loginerror').textContent = '密码应为4位。');
    if (id.length !== 18) return void ($('loginerror').textContent = '身份证号应为18位。');
    startBidding();
  }

  // ---- hooks for the page shell ---------------------------------------------------------------
  // The rectangle (viewport CSS pixels) of the first visible element matching `selector`, or null.
  window.kestravaRect = function (selector) {
    const el = document.querySelector(selector);
    if (!el) return null;
    const r = el.getBoundingClientRect();
    if (r.width <= 0 || r.height <= 0 || el.closest('[hidden]')) return null;
    return [r.left, r.top, r.width, r.height];
  };
  window.kestravaFill = function (selector, value) {
    const el = document.querySelector(selector);
    if (!el) return false;
    el.value = value;
    el.dispatchEvent(new Event('input', { bubbles: true }));
    return true;
  };
  window.kestravaIconShown = () => !$('netgreen').hidden || !$('netred').hidden;

  // Rectangles of the located parts relative to the green icon, for the geometry file. Dialogs
  // are laid out hidden-but-present while they are measured.
  window.kestravaGeometry = function () {
    const ids = ['codedialog', 'infodialog', 'resultdialog', 'bidview'];
    const saved = ids.map((id) => [id, $(id).hidden, $(id).style.visibility]);
    for (const id of ids) { $(id).hidden = false; $(id).style.visibility = id === 'bidview' ? '' : 'hidden'; }
    const a = $('netgreen').getBoundingClientRect();
    const rect = (id) => {
      const r = $(id).getBoundingClientRect();
      return { x: Math.round(r.left - a.left), y: Math.round(r.top - a.top), w: Math.round(r.width), h: Math.round(r.height) };
    };
    const g = {};
    g.anchor = { x: Math.round(a.left), y: Math.round(a.top), w: Math.round(a.width), h: Math.round(a.height) };
    for (const id of ['lowest', 'codeinput', 'plusamount', 'addbtn', 'bidbtn', 'bidprice', 'codeok', 'codecancel',
      'infook', 'resultdialog', 'resultok', 'rightpanel', 'leftpanel', 'bidcount', 'clock', 'lowesttime', 'codedialog']) {
      g[id] = rect(id);
    }
    for (const [id, hidden, vis] of saved) { $(id).hidden = hidden; $(id).style.visibility = vis; }
    return JSON.stringify(g);
  };

  // ---- wiring ---------------------------------------------------------------------------------
  $('loginbtn').addEventListener('click', login);
  $('bidbtn').addEventListener('click', pressBid);
  $('codeok').addEventListener('click', confirmCode);
  $('codecancel').addEventListener('click', cancelCode);
  $('infook').addEventListener('click', closeInfo);
  $('addbtn').addEventListener('click', addAmount);
  $('resultok').addEventListener('click', (ev) => {
    note(`click resultok trusted=${ev.isTrusted ? 1 : 0}`);
    show('resultdialog', false);
  });
  // Enter in the code box must not confirm: the bidder's Enter belongs to the console.
  $('codeinput').addEventListener('keydown', (ev) => {
    if (ev.key === 'Enter') {
      ev.preventDefault();
      note('enter in codeinput ignored');
    }
  });
  for (const id of ['plusamount', 'bidprice', 'codeinput', 'loginbid', 'loginpwd', 'loginid']) {
    const el = $(id);
    // Focusing a box selects its text, so the shell's Delete clears it before the digits arrive.
    el.addEventListener('focus', () => setTimeout(() => el.select(), 0));
    el.addEventListener('input', (ev) => note(`input ${id}=${id === 'loginpwd' ? '****' : el.value} trusted=${ev.isTrusted ? 1 : 0}`));
  }
  document.addEventListener('keydown', (ev) => {
    if (ev.key === 'Delete') note(`key Delete in ${document.activeElement ? document.activeElement.id : ''}`);
  });

  const view = params.get('view');
  if (view === 'compat') {
    show('loginview', false);
    show('compatview', true);
    show('netgreen', true);
    afterPaint(() => tell('compat'));
  } else if (view === 'bid' || params.get('login') === '0') {
    startBidding();
  } else {
    show('netgreen', false);
    show('netstate', false);
    afterPaint(() => tell('loginform'));
  }
})();
