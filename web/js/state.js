// The switch as the owning panel publishes it on BASE/state, read defensively:
// a field that is missing or of the wrong kind counts as unknown rather than
// breaking the page, and the rest of the message is still shown.

(function (exports) {
  'use strict';

  const antennaCount = 8;
  const rotorCount = 4;
  // A key shows this many characters of its caption, as on the desktop panel.
  const captionLength = 4;
  const longestText = 32;

  function antenna(value) {
    return Number.isInteger(value) && value >= 1 && value <= antennaCount ? value : null;
  }

  function antennas(value) {
    if (!Array.isArray(value)) return [];
    return [...new Set(value.map(antenna).filter((a) => a !== null))].sort((a, b) => a - b);
  }

  function flag(value) {
    return value === true;
  }

  function text(value) {
    return typeof value === 'string' ? value.slice(0, longestText) : null;
  }

  function object(value) {
    return value !== null && typeof value === 'object' && !Array.isArray(value) ? value : {};
  }

  const graphemes = typeof Intl === 'object' && Intl.Segmenter
    ? new Intl.Segmenter('en', { granularity: 'grapheme' })
    : null;

  // The first few characters as a reader sees them: an emoji made of two
  // units (or of several code points) is never cut in half. Half of one
  // that arrived cut already is left out.
  function firstCharacters(text, count) {
    const whole = text.replace(/\p{Cs}/gu, '');
    const parts = graphemes ? Array.from(graphemes.segment(whole), (s) => s.segment) : Array.from(whole);
    return parts.slice(0, count).join('');
  }

  // Which antennas are for the band, where the owning panel has antenna
  // rules; null without them (every key as it always was).
  function allowed(value) {
    if (!Array.isArray(value) || value.length !== antennaCount || !value.every((a) => typeof a === 'boolean')) {
      return null;
    }
    return value.slice();
  }

  // "160 m" for the band key "160m", as the desktop panel names bands.
  function bandName(key) {
    return typeof key === 'string' ? key.replace(/^([0-9.]+)(c?m)$/, '$1 $2') : '';
  }

  function captions(value) {
    const list = Array.isArray(value) ? value : [];
    return Array.from({ length: antennaCount }, (_, i) =>
      typeof list[i] === 'string' ? firstCharacters(list[i], captionLength) : '');
  }

  // The state in a message, or null when the message is not a JSON object.
  function readState(payload) {
    let raw;
    try {
      raw = JSON.parse(payload);
    } catch {
      return null;
    }
    if (raw === null || typeof raw !== 'object' || Array.isArray(raw)) return null;
    const link = object(raw.link);
    const split = object(raw.split);
    const superSplit = object(raw.superSplit);
    const rotor = Number.isInteger(raw.rotor) && raw.rotor >= 0 && raw.rotor <= rotorCount ? raw.rotor : 0;
    return {
      linkConnected: flag(link.connected),
      firmware: text(raw.firmware),
      power: flag(raw.power),
      send: flag(raw.send),
      antenna: antenna(raw.antenna),
      split: { on: flag(split.on), tx: antenna(split.tx) },
      superSplit: { on: flag(superSplit.on), group: antennas(superSplit.group), partner: antenna(superSplit.partner) },
      busy: antennas(raw.busy),
      rotor,
      captions: captions(raw.captions),
      band: text(raw.band),
      allowed: allowed(raw.allowed),
    };
  }

  // How the eight keys look, as the desktop panel paints them: 'idle', 'mask'
  // (a member of the super split group), 'active' (the yellow key) or
  // 'partner' (the orange edge of a split or super split pair). While the
  // operator picks a split TX antenna the group is not shown; while picking a
  // super split group, the picked antennas are.
  function keyLooks(state, choosing = { splitTx: false, superSplit: null }) {
    const looks = Array(antennaCount).fill('idle');
    if (!state) return looks;
    const group = choosing.superSplit ?? (choosing.splitTx ? [] : state.superSplit.group);
    for (const member of group) looks[member - 1] = 'mask';
    const current = state.antenna;
    if (current === null) return looks;
    const setLook = (a, look) => {
      if (a !== null) looks[a - 1] = look;
    };
    const pair = (partner, partnerActive) => {
      setLook(partnerActive ? partner : current, 'active');
      setLook(partnerActive ? current : partner, 'partner');
    };
    // A pair swaps its colours while the switch sends; a split pair shows the
    // TX antenna as the yellow key while receiving.
    if (state.superSplit.group.includes(current)) pair(state.superSplit.partner, state.send);
    else if (state.split.on) pair(state.split.tx, !state.send);
    else if (!choosing.superSplit) setLook(current, 'active');
    return looks;
  }

  // Whether a key's antenna is not for the band, by the owning panel's rules.
  function notForBand(state, number) {
    return state?.allowed?.[number - 1] === false;
  }

  // What a key's colours tell, in words, as the desktop panel describes its
  // keys: "in use", "TX antenna", "in super split group", "super split
  // partner", "chosen for super split" (while choosing), "busy", and "not
  // for 160 m" where the antenna rules say so.
  function keyDescription(state, number, choosing = { splitTx: false, superSplit: null }) {
    if (!state) return '';
    const says = [];
    if (state.antenna === number) says.push('in use');
    if (choosing.superSplit) {
      if (choosing.superSplit.includes(number)) says.push('chosen for super split');
    } else {
      // A super split pair is shown in place of a split pair.
      if (state.split.on && !state.superSplit.on && state.split.tx === number) says.push('TX antenna');
      if (!choosing.splitTx && state.superSplit.group.includes(number)) says.push('in super split group');
      if (state.superSplit.on && state.superSplit.partner === number) says.push('super split partner');
    }
    if (state.busy.includes(number)) says.push('busy');
    if (notForBand(state, number)) says.push(`not for ${bandName(state.band) || 'the band'}`);
    return says.join(', ');
  }

  // "Antenna 3", with the caption when the key has one. Control and
  // invisible format characters (direction marks) are left out, as the
  // desktop panel leaves them out of its names.
  function keyName(number, caption) {
    const shown = String(caption ?? '').replace(/[\p{Cc}\p{Cf}]/gu, '').trim();
    return shown ? `Antenna ${number} ${shown}` : `Antenna ${number}`;
  }

  exports.antennaCount = antennaCount;
  exports.rotorCount = rotorCount;
  exports.captionLength = captionLength;
  exports.readState = readState;
  exports.keyLooks = keyLooks;
  exports.keyName = keyName;
  exports.keyDescription = keyDescription;
  exports.notForBand = notForBand;
  exports.bandName = bandName;
  exports.firstCharacters = firstCharacters;
})(typeof module === 'object' && module.exports ? module.exports : (globalThis.tqx5r = globalThis.tqx5r || {}));
