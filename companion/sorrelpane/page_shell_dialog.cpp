// The page's verification-code dialog as the console learns of it: a watch in the page reports
// when the dialog opens and closes, and whether its confirm button closed it; the shell posts
// each change to the console (0x4b1).
#include "page_shell.h"
#include "page_shell_scripts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QWebEnginePage>

namespace kestrava::sorrelpane {

namespace {

// The console's numbers (console::msg::CodeDialog and console::CodeDialog in console/console.h).
constexpr std::uint32_t kCodeDialogMessage = 0x4b1;
enum CodeDialogState : std::int32_t { ClosedOtherwise = 0, Opened = 1, ClosedByConfirm = 2 };

// The selectors the watch needs: the confirm button tells the dialog open (with the code box,
// when the page has one, shown too); the code box or the cancel button and the confirm button
// together mark out the dialog, whose text gives the price; the bid button keeps the page itself
// from being taken for the dialog.
constexpr const char* kDialogRoles[] = {"confirm", "codebox", "cancel", "bidbutton"};

// The watch in the page. Whether a close was the confirm button's doing is decided by the last
// press inside the dialog while it was open: a press (pointer or mouse down, click) on the confirm
// button or a form submitted from the dialog counts for it, a press on the cancel button against
// it. Presses are seen on the window in the capture phase, before the page's own handlers, so a
// handler that closes the dialog at once finds the press already noted. A press on the confirm
// button that the page ignored still counts when the page later closes the dialog by itself: the
// console then behaves as it did without these reports, where the other mistake would make it
// withdraw a bid that was sent.
// The state survives the script being run again on the same document (loadFinished can come more
// than once), so a press made before stays noted and an open dialog is not reported twice.
constexpr char kCodeDialogScript[] = R"JS((function (s, P) {
  var old = window.__kestravaCodeDialog;
  if (old) old.stop();
  var st = old ? old.st : { open: false, press: '', price: 0 };
  function q(sel) { try { return sel ? document.querySelector(sel) : null; } catch (e) { return null; } }
  function shown(e) {
    if (!e || !e.isConnected || (e.closest && e.closest('[hidden]'))) return false;
    var r = e.getBoundingClientRect();
    return r.width > 0 && r.height > 0 && getComputedStyle(e).visibility !== 'hidden';
  }
  function isOpen() { return shown(q(s.confirm)) && (!s.codebox || shown(q(s.codebox))); }
  function dialog() {
    var c = q(s.confirm), o = q(s.codebox) || q(s.cancel), b = q(s.bidbutton);
    if (!c || !o) return null;
    var a = c.parentElement;
    while (a && !a.contains(o)) a = a.parentElement;
    if (!a || a === document.body || a === document.documentElement || (b && a.contains(b))) return null;
    return a;
  }
  // The first figure of five or six digits in the dialog's text (thousands separators dropped).
  function price() {
    var d = dialog();
    if (!d) return 0;
    var m = /(?:^|\D)(\d{5,6})(?!\d)/.exec((d.innerText || '').replace(/(\d),(?=\d{3}(?!\d))/g, '$1'));
    return m ? Number(m[1]) : 0;
  }
  function scan() {
    var o = isOpen();
    if (o === st.open) return;
    st.open = o;
    if (o) {
      st.press = '';
      st.price = price();
      console.log(P + 'codedialog|1|' + st.price);
    } else {
      console.log(P + 'codedialog|' + (st.press === 'confirm' ? 2 : 0) + '|' + st.price);
    }
  }
  function on(t, sel) { return !!(sel && t && t.closest && t.closest(sel)); }
  function press(ev) {
    if (!st.open) return;
    if (on(ev.target, s.confirm)) st.press = 'confirm';
    else if (on(ev.target, s.cancel)) st.press = 'cancel';
  }
  function submit(ev) {
    var f = ev.target;
    if (st.open && f && f.contains && (f.contains(q(s.confirm)) || f.contains(q(s.codebox)))) st.press = 'confirm';
  }
  var kinds = ['pointerdown', 'mousedown', 'click'];
  kinds.forEach(function (k) { addEventListener(k, press, true); });
  addEventListener('submit', submit, true);
  var mo = new MutationObserver(scan);
  mo.observe(document.documentElement, { subtree: true, childList: true, attributes: true });
  window.__kestravaCodeDialog = { st: st, stop: function () {
    mo.disconnect();
    kinds.forEach(function (k) { removeEventListener(k, press, true); });
    removeEventListener('submit', submit, true);
  } };
  scan();
})(%1, %2))JS";

const char* StateName(std::int32_t state) {
    switch (state) {
    case Opened: return "code dialog opened";
    case ClosedByConfirm: return "code dialog closed by its confirm button";
    default: return "code dialog closed otherwise";
    }
}

}  // namespace

void PageShell::WatchCodeDialog() {
    QJsonObject selectors;
    for (const char* role : kDialogRoles) {
        const QString selector = elements_.value(QLatin1String(role));
        if (!selector.isEmpty()) selectors.insert(QLatin1String(role), selector);
    }
    if (!selectors.contains(QLatin1String("confirm"))) {
        log_->Write(QStringLiteral("code dialog: no confirm selector for this page, not reported to the console"));
        return;
    }
    page_->runJavaScript(QString::fromUtf8(kCodeDialogScript)
                             .arg(QString::fromUtf8(QJsonDocument(selectors).toJson(QJsonDocument::Compact)),
                                  JsString(QLatin1String(kPageLinePrefix))));
}

void PageShell::OnCodeDialogLine(const QStringList& fields) {
    bool stateOk = false;
    bool priceOk = false;
    const std::int32_t state = fields.value(1).toInt(&stateOk);
    const std::uint32_t price = fields.value(2).toUInt(&priceOk);
    if (!stateOk || !priceOk || state < ClosedOtherwise || state > ClosedByConfirm) {
        log_->Write(QStringLiteral("malformed code dialog line: ") + fields.join('|'));
        return;
    }
    const bool open = state == Opened;
    if (open == codeDialogOpen_) return;  // the watch run again on the same document
    codeDialogOpen_ = open;
    codeDialogPrice_ = price;
    PostToConsole(kCodeDialogMessage, price, state, StateName(state));
}

void PageShell::CodeDialogGone(const QString& why) {
    if (!codeDialogOpen_) return;
    codeDialogOpen_ = false;
    log_->Write(QStringLiteral("code dialog gone: ") + why);
    PostToConsole(kCodeDialogMessage, codeDialogPrice_, ClosedOtherwise, StateName(ClosedOtherwise));
}

}  // namespace kestrava::sorrelpane
