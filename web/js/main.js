// The page: the sign-in form, then the switch as the desktop panel shows it,
// fed by the retained messages on the broker and operated with the commands
// the owning panel takes on BASE/set/USER. Inside another site's page it
// refuses to work, so no one can lay it under their own buttons.

(function (tqx5r) {
  'use strict';

  const { Connection, brokerUrl, Operator, antennaCount, keyLooks, keyName, keyDescription, notForBand, readState } =
    tqx5r;
  const sessionKey = 'tqx5r-signin';
  const defaultTopic = 'tqx5r';
  // Retained messages follow the subscription at once; after this without an
  // online flag, no panel has ever published the switch here.
  const onlineWaitMs = 3000;
  // A tab hidden longer than this may hold a connection that died meanwhile;
  // it connects afresh when shown again.
  const longSleepMs = 15000;
  // A reason from an error report is shown up to this long.
  const longestReason = 500;

  const $ = (id) => document.getElementById(id);
  const form = $('signin');
  const panel = $('panel');
  const keys = [];
  const captionTexts = [];
  const descriptions = [];
  const labels = [];

  const view = {
    signedIn: null,      // { user, password, broker, topic } while signed in
    link: 'connecting',  // 'connecting', 'connected', 'unreachable', 'lost'
    retryMs: 0,
    online: null,        // BASE/online: true, false, or not seen yet (null)
    onlineMissing: false,
    state: null,         // the last state read, null when none since connecting
    captions: Array(antennaCount).fill(''), // the last ones known, kept while away
    stateUnreadable: false,
    problem: '',
    readOnly: false,
  };
  const operator = new Operator();
  let connection = null;
  let onlineTimer = null;
  let hiddenSince = null;

  // Text that came from outside (a topic, a user, a reason), set apart so
  // that direction marks in it end with it. Isolate marks of its own could
  // end the isolation early; they show nothing and are left out.
  function isolated(text) {
    return `\u2068${String(text).replace(/[\u2066-\u2069]/g, '')}\u2069`;
  }

  // Writes a text only when it changes: a live region rewritten with the
  // same words is read out again.
  function setText(element, text) {
    if (element.textContent !== text) element.textContent = text;
  }

  function setAttribute(element, name, value) {
    if (element.getAttribute(name) !== value) element.setAttribute(name, value);
  }

  // Another site's page holding this one in a frame could lay it under its
  // own buttons and have a signed-in operator click the switch unawares.
  function framedByAnotherSite() {
    if (window.top === window.self) return false;
    const own = window.location.origin;
    if (window.location.ancestorOrigins && [...window.location.ancestorOrigins].some((o) => o !== own)) return true;
    try {
      return window.top.location.origin !== own;
    } catch {
      return true;
    }
  }

  function buildKeys() {
    const template = $('antenna');
    for (let n = 1; n <= antennaCount; n++) {
      const column = template.content.firstElementChild.cloneNode(true);
      const key = column.querySelector('.key');
      const description = column.querySelector('.description');
      description.id = `describe-${n}`;
      key.setAttribute('aria-describedby', description.id);
      key.dataset.antenna = String(n);
      key.addEventListener('click', () => pressKey(n));
      column.querySelector('.label').textContent = `Ant ${n}`;
      keys.push(key);
      captionTexts.push(key.querySelector('.caption'));
      descriptions.push(description);
      labels.push(column);
      $('antennas').append(column);
    }
  }

  // The switch as last published is shown as current only while it is: the
  // broker connected, the owning panel online and a state received since.
  function live() {
    return view.link === 'connected' && view.online === true && view.state !== null;
  }

  function statusText() {
    const broker = view.signedIn ? `the broker ${isolated(new URL(view.signedIn.url).host)}` : 'the broker';
    const seconds = Math.max(1, Math.round(view.retryMs / 1000));
    switch (view.link) {
      case 'connecting':
        return `Connecting to ${broker}…`;
      case 'unreachable':
        return `Cannot reach ${broker}; trying again in ${seconds} s…`;
      case 'lost':
        return `Connection to ${broker} lost; reconnecting in ${seconds} s…`;
      default:
        break;
    }
    if (view.online === false) return 'The panel that owns the switch is offline.';
    if (view.online === null) {
      return view.onlineMissing
        ? `No panel publishes a switch under "${isolated(view.signedIn.topic)}" on this broker.`
        : 'Waiting for the panel that owns the switch…';
    }
    if (view.stateUnreadable && !view.state) return "The switch's state could not be read.";
    if (!view.state) return "Waiting for the switch's state…";
    if (!view.state.linkConnected) return 'The panel that owns the switch is not connected to the TQX-5R.';
    if (!view.state.power) return 'No answer from TQX-5R';
    if (operator.prompt) return operator.prompt;
    return view.state.antenna ? `${keyName(view.state.antenna, view.state.captions[view.state.antenna - 1])} in use` : '';
  }

  function setIndicator(element, on, name) {
    element.classList.toggle('on', on);
    if (element.tagName === 'BUTTON') setAttribute(element, 'aria-pressed', String(on));
    else setAttribute(element, 'aria-label', `${name} ${on ? 'on' : 'off'}`);
  }

  function render() {
    const signedIn = view.signedIn !== null;
    form.hidden = signedIn;
    panel.hidden = !signedIn;
    if (!signedIn) return;

    const isLive = live();
    const state = isLive ? view.state : null;
    // Captions are names, not status: the last ones known stay on the keys.
    const captions = view.captions;
    const looks = keyLooks(state, operator.choosing);
    const usable = isLive && state.linkConnected && !view.readOnly;
    keys.forEach((key, i) => {
      const n = i + 1;
      key.className = `key ${looks[i]}`;
      key.classList.toggle('not-for-band', notForBand(state, n));
      setText(captionTexts[i], captions[i]);
      setAttribute(key, 'aria-label', keyName(n, captions[i]));
      setAttribute(key, 'aria-pressed', String(state?.antenna === n));
      key.disabled = !usable;
      labels[i].classList.toggle('is-busy', state?.busy.includes(n) ?? false);
      setText(descriptions[i], keyDescription(state, n, operator.choosing));
    });
    document.querySelectorAll('.rotor').forEach((button) => {
      setIndicator(button, state?.rotor === Number(button.dataset.rotor));
      button.disabled = !usable || state.antenna === null;
    });
    setIndicator($('split'), (state?.split.on ?? false) || operator.choosingSplitTx);
    setIndicator($('super-split'), (state?.superSplit.on ?? false) || operator.superSplitSelection !== null);
    $('split').disabled = !usable;
    $('super-split').disabled = !usable;
    setIndicator($('send'), state?.send ?? false, 'SEND');
    setIndicator($('power'), state?.power ?? false, 'POWER');
    setText($('firmware'), state?.firmware ? `FW Revision: ${state.firmware}` : '');
    setText($('status'), statusText());
    setText($('problem'), view.problem);
    panel.classList.toggle('stale', !isLive);
  }

  function send(command) {
    if (!command) return;
    view.problem = '';
    if (!connection?.send(command)) view.problem = 'Not connected to the broker; the command was not sent.';
  }

  function pressKey(n) {
    if (keys[n - 1].disabled) return;
    send(operator.key(n));
    render();
  }

  function onStatus(kind, detail) {
    view.link = kind === 'login' ? view.link : kind;
    view.retryMs = typeof detail === 'number' ? detail : 0;
    if (kind === 'login') {
      signOut(`The broker refused the login: ${detail}.`);
      return;
    }
    if (kind !== 'connected') {
      clearTimeout(onlineTimer);
      // Nothing from before counts until the broker hands it over again.
      view.online = null;
      view.state = null;
      view.stateUnreadable = false;
      operator.reset();
    } else {
      view.onlineMissing = false;
      clearTimeout(onlineTimer);
      onlineTimer = setTimeout(() => {
        view.onlineMissing = view.online === null;
        render();
      }, onlineWaitMs);
      // The form's values worked: keep them for this tab only, so a reload
      // (or a phone bringing the tab back) signs in again.
      sessionStorage.setItem(sessionKey, JSON.stringify(view.signedIn));
    }
    render();
  }

  function onMessage(leaf, text) {
    if (leaf === 'online') {
      view.online = text === 'true';
      if (!view.online) operator.reset();
    } else if (leaf === 'state') {
      const state = readState(text);
      view.stateUnreadable = state === null;
      // An unreadable state says nothing about the switch any more.
      view.state = state;
      if (state) view.captions = state.captions;
    } else if (leaf === 'error') {
      const report = connection?.ownReport(text);
      const reason = report?.error ?? report?.warning;
      if (reason) {
        const shown = reason.length > longestReason ? `${reason.slice(0, longestReason)}…` : reason;
        view.problem = report.error
          ? `The switch's panel refused the command: ${isolated(shown)}.`
          : `The switch's panel warns: ${isolated(shown)}.`;
      }
    }
    render();
  }

  function onRefused(reason) {
    view.readOnly = true;
    operator.reset();
    view.problem = `The broker refused the command (${reason}): user "${isolated(view.signedIn.user)}" may not operate the switch. The controls are off.`;
    render();
  }

  function onCommandFailed(text) {
    view.problem = text;
    render();
  }

  function signIn(values) {
    const url = brokerUrl(values.broker);
    if (!url) {
      setText($('signin-message'), 'Give the broker’s address.');
      return;
    }
    setText($('signin-message'), '');
    view.signedIn = { ...values, url };
    view.readOnly = false;
    view.problem = '';
    view.captions = Array(antennaCount).fill('');
    setText($('where'), `${isolated(values.topic)} on ${isolated(new URL(url).host)}`);
    connection = new Connection({ url, user: values.user, password: values.password, topic: values.topic }, {
      status: onStatus,
      message: onMessage,
      refused: onRefused,
      commandFailed: onCommandFailed,
    });
    connection.start();
    render();
  }

  function signOut(message = '') {
    connection?.stop();
    connection = null;
    clearTimeout(onlineTimer);
    sessionStorage.removeItem(sessionKey);
    view.signedIn = null;
    view.state = null;
    view.online = null;
    setText($('where'), '');
    $('password').value = '';
    setText($('signin-message'), message);
    render();
    if (message) $('password').focus();
  }

  function valuesFromForm() {
    return {
      user: $('user').value.trim(),
      password: $('password').value,
      broker: $('broker').value.trim(),
      topic: $('topic').value.trim().replace(/\/+$/, '') || defaultTopic,
    };
  }

  function wire() {
    form.addEventListener('submit', (event) => {
      event.preventDefault();
      signIn(valuesFromForm());
    });
    $('signout').addEventListener('click', () => signOut());
    document.querySelectorAll('.rotor').forEach((button) =>
      button.addEventListener('click', () => {
        if (!button.disabled) send(operator.rotor(Number(button.dataset.rotor), view.state));
        render();
      }));
    $('split').addEventListener('click', () => {
      send(operator.split(view.state));
      render();
    });
    $('super-split').addEventListener('click', () => {
      send(operator.superSplit(view.state));
      render();
    });
    // Keys 1 to 8 select, as F1 to F8 do on the desktop panel.
    document.addEventListener('keydown', (event) => {
      if (!view.signedIn || event.repeat || event.ctrlKey || event.altKey || event.metaKey) return;
      if (event.target instanceof HTMLInputElement) return;
      const n = Number(event.key);
      if (Number.isInteger(n) && n >= 1 && n <= antennaCount) {
        event.preventDefault();
        pressKey(n);
      }
    });
    // A phone puts a background tab to sleep; its connection may have died
    // meanwhile, and what it showed may be old.
    document.addEventListener('visibilitychange', () => {
      if (document.hidden) {
        hiddenSince = Date.now();
        return;
      }
      const slept = hiddenSince !== null && Date.now() - hiddenSince > longSleepMs;
      hiddenSince = null;
      if (slept) connection?.renew();
      else connection?.retryNow();
    });
    document.addEventListener('resume', () => connection?.retryNow());
    window.addEventListener('online', () => connection?.retryNow());
  }

  function restore() {
    // A link may name the base topic, never another broker: a login typed
    // here goes only to the host the page came from, or to one typed in.
    const params = new URLSearchParams(window.location.search);
    $('topic').value = params.get('topic') ?? '';
    if (params.has('topic')) $('more').open = true;
    let saved = null;
    try {
      saved = JSON.parse(sessionStorage.getItem(sessionKey) ?? 'null');
    } catch {
      saved = null;
    }
    if (saved && typeof saved.topic === 'string') {
      $('user').value = saved.user ?? '';
      signIn({ user: saved.user ?? '', password: saved.password ?? '', broker: saved.broker ?? '', topic: saved.topic });
    } else {
      $('user').focus();
    }
  }

  // The page's policy lets it connect only to where it came from; a broker
  // typed in that lies elsewhere is refused by the browser, not unreachable.
  function watchPolicy() {
    document.addEventListener('securitypolicyviolation', (event) => {
      if (!view.signedIn || !/^connect-src/.test(event.effectiveDirective)) return;
      signOut('This page may connect only to the server it came from. Open the page from the broker you want to use.');
    });
  }

  if (framedByAnotherSite()) {
    form.hidden = true;
    panel.hidden = true;
    $('open-alone').href = window.location.href;
    $('framed').hidden = false;
    return;
  }
  buildKeys();
  wire();
  watchPolicy();
  restore();
  render();
})(globalThis.tqx5r);
