// The script that takes a snapshot of the page for learning: the page's state, then every element
// that shows text, takes input, is clicked or is a picture, one tab-separated line each, in the
// form shell/page_learning.h parses. Closed dialogs are laid out unseen for a moment so that
// their buttons can be measured; frames of the same origin are looked into (and marked).
#pragma once

namespace kestrava::sorrelpane {

inline constexpr char kSnapshotScript[] = R"JS((function () {
  'use strict';
  const lines = [];
  const clean = (s) => String(s || '').replace(/[\t\r\n\s]+/g, ' ').trim();
  const shown = (e) => {
    const r = e.getBoundingClientRect();
    if (r.width <= 0 || r.height <= 0 || e.closest('[hidden]')) return false;
    const cs = getComputedStyle(e);
    return cs.visibility !== 'hidden' && cs.display !== 'none';
  };
  // A dialog by its tag, its role, or a class or id that ends in dialog, modal or popup
  // ("codedialog", "ui-modal"; not "dialogtitle").
  const dialogLike = (e) => e.tagName === 'DIALOG' || e.getAttribute('role') === 'dialog' ||
    ((typeof e.className === 'string' ? e.className : '') + ' ' + e.id).split(/\s+/)
      .some((w) => /(dialog|modal|popup)$/i.test(w));
  function selectorOf(e, doc) {
    const unique = (s) => { try { return doc.querySelectorAll(s).length === 1; } catch (x) { return false; } };
    if (e.id && unique('#' + CSS.escape(e.id))) return '#' + CSS.escape(e.id);
    const parts = [];
    for (let n = e; n && n.nodeType === 1 && n !== doc.documentElement; n = n.parentElement) {
      if (n !== e && n.id && unique('#' + CSS.escape(n.id))) { parts.unshift('#' + CSS.escape(n.id)); break; }
      let i = 1;
      for (let s = n.previousElementSibling; s; s = s.previousElementSibling) if (s.tagName === n.tagName) i++;
      parts.unshift(n.tagName.toLowerCase() + ':nth-of-type(' + i + ')');
    }
    return parts.join(' > ');
  }
  function kindOf(e) {
    const t = e.tagName;
    const type = (e.getAttribute('type') || '').toLowerCase();
    if (t === 'BUTTON' || e.getAttribute('role') === 'button' || (t === 'INPUT' && /^(button|submit|reset)$/.test(type)))
      return 'button';
    if (t === 'A' && clean(e.textContent)) return 'button';
    if (t === 'TEXTAREA' || (t === 'INPUT' && /^(|text|number|tel|search)$/.test(type))) return 'input';
    if (t === 'IMG' || t === 'CANVAS' || t === 'svg') return 'image';
    if (dialogLike(e)) return 'dialog';
    return '';
  }
  function titleOf(d) {
    const walker = d.ownerDocument.createTreeWalker(d, NodeFilter.SHOW_TEXT);
    for (let n = walker.nextNode(); n; n = walker.nextNode()) if (clean(n.data)) return clean(n.data);
    return '';
  }
  function scopeOf(e) {
    for (let n = e.parentElement; n; n = n.parentElement) if (dialogLike(n)) return titleOf(n);
    return '';
  }
  // The box of an element's own text (its direct text nodes), not of the element.
  function textBox(e) {
    let l = Infinity, t = Infinity, r = -Infinity, b = -Infinity, text = '';
    for (const n of e.childNodes) {
      if (n.nodeType !== 3 || !clean(n.data)) continue;
      text += ' ' + n.data;
      const range = e.ownerDocument.createRange();
      range.selectNodeContents(n);
      for (const q of range.getClientRects()) {
        l = Math.min(l, q.left); t = Math.min(t, q.top); r = Math.max(r, q.right); b = Math.max(b, q.bottom);
      }
    }
    return text && r > l ? { text: clean(text), x: l, y: t, w: r - l, h: b - t } : null;
  }
  const seen = new Set();
  function emit(e, kind, box, text, flags, doc) {
    if (seen.has(e) && kind !== 'text') return;
    seen.add(e);
    const align = kind === 'text' ? getComputedStyle(e).textAlign : '';
    lines.push(['item', selectorOf(e, doc), kind, box.x.toFixed(1), box.y.toFixed(1), box.w.toFixed(1), box.h.toFixed(1),
      flags, align, clean(scopeOf(e)), clean(text)].join('\t'));
  }
  function walk(doc, dx, dy, frame, measuring) {
    for (const e of doc.body ? doc.body.querySelectorAll('*') : []) {
      if (/^(SCRIPT|STYLE|NOSCRIPT|OPTION|TEMPLATE)$/.test(e.tagName)) continue;
      const visible = shown(e);
      if (!visible && !measuring) continue;
      if (measuring && !measuring.contains(e)) continue;
      const flags = (visible && !measuring ? 's' : '') + (frame ? 'f' : '');
      const r = e.getBoundingClientRect();
      if (r.width <= 0 || r.height <= 0) continue;
      const box = { x: r.left + dx, y: r.top + dy, w: r.width, h: r.height };
      const kind = kindOf(e);
      if (kind === 'button') emit(e, kind, box, e.tagName === 'INPUT' ? e.value : e.textContent, flags, doc);
      else if (kind === 'input') emit(e, kind, box, e.getAttribute('placeholder') || '', flags, doc);
      else if (kind === 'image') emit(e, kind, box, e.getAttribute('alt') || '', flags, doc);
      else if (kind === 'dialog') emit(e, kind, box, titleOf(e), flags, doc);
      if (kind !== 'button' && !e.closest('button')) {
        const t = textBox(e);
        if (t) lines.push(['item', selectorOf(e, doc), 'text', (t.x + dx).toFixed(1), (t.y + dy).toFixed(1),
          t.w.toFixed(1), t.h.toFixed(1), flags, getComputedStyle(e).textAlign, clean(scopeOf(e)), t.text].join('\t'));
      }
      if (e.tagName === 'IFRAME' && visible) {
        try {
          const inner = e.contentDocument;
          if (inner) walk(inner, r.left + dx + e.clientLeft, r.top + dy + e.clientTop, true, null);
        } catch (x) { /* another origin: nothing of it can be acted on */ }
      }
    }
  }
  const doc = document;
  const loginShown = [...doc.querySelectorAll('input[type=password]')].some(shown);
  lines.push('state\t' + (doc.readyState !== 'complete' ? 'loading' : loginShown ? 'login' : 'ready'));
  walk(doc, 0, 0, false, null);
  // Closed dialogs: laid out unseen, measured, closed again.
  for (const d of [...doc.querySelectorAll('*')].filter((e) => dialogLike(e) && !shown(e))) {
    if (d.parentElement && d.parentElement.closest('[hidden]')) continue;
    const wasHidden = d.hidden, visibility = d.style.visibility;
    d.hidden = false;
    d.style.visibility = 'hidden';
    if (shown(d) || d.getBoundingClientRect().width > 0) {
      const r = d.getBoundingClientRect();
      emit(d, 'dialog', { x: r.left, y: r.top, w: r.width, h: r.height }, titleOf(d), '', doc);
      walk(doc, 0, 0, false, d);
    }
    d.hidden = wasHidden;
    d.style.visibility = visibility;
  }
  return lines.join('\n');
})())JS";

// The number of elements each selector matches, as "role=count" lines: an element command is
// answered when its selector names exactly one element.
inline constexpr char kCountScript[] = R"JS((function (roles) {
  return Object.keys(roles).map((k) => {
    let n = -1;
    try { n = document.querySelectorAll(roles[k]).length; } catch (x) { n = -1; }
    return k + '=' + n;
  }).join('\n');
}))JS";

// The network icon's other state: a picture the page keeps hidden in the icon's place (the icon
// of a network fault). (selector, 'show') shows it over the hidden icon and returns its
// description ('' when there is none); (null, 'restore') puts both back as they were.
inline constexpr char kOtherIconScript[] = R"JS((function (sel, what) {
  const put = (e, st) => { e.hidden = st.hidden; e.style.display = st.display; e.style.visibility = st.visibility; };
  const state = (e) => ({ hidden: e.hidden, display: e.style.display, visibility: e.style.visibility });
  if (what === 'restore') {
    const saved = window.__kestravaOtherIcon;
    if (saved) { put(saved.icon, saved.iconState); put(saved.other, saved.otherState); }
    window.__kestravaOtherIcon = null;
    return '';
  }
  const icon = document.querySelector(sel);
  if (!icon) return '';
  const r = icon.getBoundingClientRect();
  for (const e of document.querySelectorAll('img, canvas, svg')) {
    if (e === icon || icon.contains(e)) continue;
    const q0 = e.getBoundingClientRect();
    if (q0.width > 0 && getComputedStyle(e).visibility !== 'hidden') continue;  // shown elsewhere
    const st = state(e);
    e.hidden = false;
    if (getComputedStyle(e).display === 'none') e.style.display = 'inline-block';
    const q = e.getBoundingClientRect();
    const same = Math.abs(q.left - r.left) <= 2 && Math.abs(q.top - r.top) <= 2 &&
      Math.abs(q.width - r.width) <= 1 && Math.abs(q.height - r.height) <= 1;
    if (!same) { put(e, st); continue; }
    window.__kestravaOtherIcon = { icon, other: e, iconState: state(icon), otherState: st };
    e.style.visibility = 'visible';
    icon.style.visibility = 'hidden';
    return (e.id ? '#' + e.id : e.tagName.toLowerCase()) + (e.getAttribute('src') ? ' (' + e.getAttribute('src') + ')' : '');
  }
  return '';
}))JS";

}  // namespace kestrava::sorrelpane
