// The web page's rules without a browser: how a state message is read, how
// the keys are painted from it, and what the operator's clicks send.
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');

const web = path.join(__dirname, '..', '..', 'web', 'js');
const { readState, keyLooks, keyName, keyDescription } = require(path.join(web, 'state.js'));
const { Operator } = require(path.join(web, 'operator.js'));
const { brokerUrl, commandTopic } = require(path.join(web, 'connection.js'));

const state = (fields) => readState(JSON.stringify({
  link: { connected: true }, power: true, send: false, antenna: 3, rotor: 1,
  split: { on: false, tx: null }, superSplit: { on: false, group: [], partner: null },
  busy: [], captions: ['', '', '', '', '', '', '', ''], ...fields,
}));

test('messages that are not a JSON object are no state', () => {
  for (const payload of ['', 'not json {', '[1,2]', 'null', '"text"', '42']) assert.strictEqual(readState(payload), null);
});

test('every rotor reads as itself, the last one too; beyond it is none', () => {
  for (const rotor of [0, 1, 2, 3, 4]) assert.strictEqual(state({ rotor }).rotor, rotor);
  for (const rotor of [5, -1, 1.5, '4']) assert.strictEqual(state({ rotor }).rotor, 0);
});

test('odd fields count as unknown, the rest still reads', () => {
  const s = readState(JSON.stringify({
    antenna: '7', power: 'yes', busy: [2, 2, 9, 'x', 0, 5.5, 4], rotor: 9, captions: [1, 'Loop', null, 'Longer'],
    split: null, superSplit: { group: 'all', partner: 3 }, firmware: { major: 1 }, band: 20,
  }));
  assert.strictEqual(s.antenna, null);
  assert.strictEqual(s.power, false);
  assert.deepStrictEqual(s.busy, [2, 4]);
  assert.strictEqual(s.rotor, 0);
  assert.deepStrictEqual(s.captions, ['', 'Loop', '', 'Long', '', '', '', '']);
  assert.deepStrictEqual(s.split, { on: false, tx: null });
  assert.deepStrictEqual(s.superSplit.group, []);
  assert.strictEqual(s.firmware, null);
  assert.strictEqual(s.band, null);
});

test('keys are painted as the desktop panel paints them', () => {
  const rows = [
    ['plain selection', state({}), ['idle', 'idle', 'active', 'idle', 'idle', 'idle', 'idle', 'idle']],
    ['no antenna known', state({ antenna: null, superSplit: { on: false, group: [1], partner: null } }),
      ['mask', 'idle', 'idle', 'idle', 'idle', 'idle', 'idle', 'idle']],
    ['group shown, antenna outside it', state({ superSplit: { on: false, group: [1, 5], partner: null } }),
      ['mask', 'idle', 'active', 'idle', 'mask', 'idle', 'idle', 'idle']],
    ['split receiving: TX antenna yellow', state({ split: { on: true, tx: 6 } }),
      ['idle', 'idle', 'partner', 'idle', 'idle', 'active', 'idle', 'idle']],
    ['split sending: swapped', state({ send: true, split: { on: true, tx: 6 } }),
      ['idle', 'idle', 'active', 'idle', 'idle', 'partner', 'idle', 'idle']],
    ['super split receiving', state({ superSplit: { on: true, group: [3, 4], partner: 1 } }),
      ['partner', 'idle', 'active', 'mask', 'idle', 'idle', 'idle', 'idle']],
    ['super split sending: swapped', state({ send: true, superSplit: { on: true, group: [3, 4], partner: 1 } }),
      ['active', 'idle', 'partner', 'mask', 'idle', 'idle', 'idle', 'idle']],
  ];
  for (const [name, s, looks] of rows) assert.deepStrictEqual(keyLooks(s), looks, name);
  assert.deepStrictEqual(keyLooks(null), Array(8).fill('idle'));
});

test('choices in progress show as on the desktop panel', () => {
  const s = state({ superSplit: { on: false, group: [1], partner: null } });
  assert.deepStrictEqual(keyLooks(s, { splitTx: true, superSplit: null }),
    ['idle', 'idle', 'active', 'idle', 'idle', 'idle', 'idle', 'idle']);
  assert.deepStrictEqual(keyLooks(s, { splitTx: false, superSplit: [2, 8] }),
    ['idle', 'mask', 'idle', 'idle', 'idle', 'idle', 'idle', 'mask']);
});

test('captions are cut to four characters, never inside one', () => {
  const captionsOf = (list) => readState(JSON.stringify({ captions: list })).captions.slice(0, list.length);
  assert.deepStrictEqual(captionsOf(['Yagi-long', 'Ab\u{1F600}x', 'Abc\u{1F600}', '\u{1F44D}\u{1F3FD}abcd']),
    ['Yagi', 'Ab\u{1F600}x', 'Abc\u{1F600}', '\u{1F44D}\u{1F3FD}abc']);
  // Half an emoji, as a cut by units elsewhere may leave it, is dropped.
  assert.deepStrictEqual(captionsOf(['Abc\uD83D', '\uDE00Ab']), ['Abc', 'Ab']);
});

test('keys say in words what their colours say', () => {
  const none = { splitTx: false, superSplit: null };
  const rows = [
    ['plain selection', state({ busy: [5] }), none, { 3: 'in use', 5: 'busy' }],
    ['split: the TX antenna', state({ split: { on: true, tx: 6 } }), none, { 3: 'in use', 6: 'TX antenna' }],
    ['super split group and partner', state({ superSplit: { on: true, group: [3, 4], partner: 1 } }), none,
      { 1: 'super split partner', 3: 'in use, in super split group', 4: 'in super split group' }],
    ['a super split pair shows in place of a split pair',
      state({ split: { on: true, tx: 6 }, superSplit: { on: true, group: [3], partner: 6 } }), none,
      { 3: 'in use, in super split group', 6: 'super split partner' }],
    ['choosing super split: the chosen ones, not the group', state({ superSplit: { on: false, group: [1], partner: null } }),
      { splitTx: false, superSplit: [2, 3] }, { 2: 'chosen for super split', 3: 'in use, chosen for super split' }],
    ['choosing the TX antenna: the group is not shown', state({ superSplit: { on: false, group: [1], partner: null } }),
      { splitTx: true, superSplit: null }, { 3: 'in use' }],
  ];
  for (const [name, s, choosing, said] of rows) {
    for (let n = 1; n <= 8; n++) assert.strictEqual(keyDescription(s, n, choosing), said[n] ?? '', `${name}: key ${n}`);
  }
  assert.strictEqual(keyDescription(null, 3), '');
});

test('where the page connects and sends its commands', () => {
  const page = (href) => new URL(href);
  assert.strictEqual(brokerUrl('', page('http://shack.lan:9001/')), 'ws://shack.lan:9001/mqtt');
  assert.strictEqual(brokerUrl('', page('https://shack.lan/')), 'wss://shack.lan/mqtt');
  assert.strictEqual(brokerUrl('other:8884', page('https://shack.lan/')), 'wss://other:8884/mqtt');
  assert.strictEqual(brokerUrl('ws://other:9001/x', page('https://shack.lan/')), 'ws://other:9001/x');
  assert.strictEqual(commandTopic('tqx5r', 'op2'), 'tqx5r/set/op2');
  // No topic level can name these users: the shared topic.
  for (const user of ['', 'a/b', 'a+', '#', undefined]) assert.strictEqual(commandTopic('tqx5r', user), 'tqx5r/set');
});

test('key names as a screen reader hears them', () => {
  assert.strictEqual(keyName(3, 'Yagi'), 'Antenna 3 Yagi');
  assert.strictEqual(keyName(3, ' '), 'Antenna 3');
  assert.strictEqual(keyName(8, ''), 'Antenna 8');
  // Direction marks and control bytes are not read out.
  assert.strictEqual(keyName(2, '\u202eYagi\u0007'), 'Antenna 2 Yagi');
});

test('the operator works split, super split and rotors in steps', () => {
  const operator = new Operator();
  const s = state({ superSplit: { on: false, group: [1], partner: null }, rotor: 2 });
  assert.deepStrictEqual(operator.key(5), { antenna: 5 });
  // SPLIT, then the TX antenna.
  assert.strictEqual(operator.split(s), null);
  assert.strictEqual(operator.prompt, 'Choose the TX position:');
  assert.deepStrictEqual(operator.key(6), { split: { tx: 6 } });
  assert.strictEqual(operator.prompt, '');
  // SPLIT while split is on switches it off.
  assert.deepStrictEqual(operator.split(state({ split: { on: true, tx: 6 } })), { split: false });
  // S. SPLIT starts from the switch's group; keys toggle; S. SPLIT sends.
  assert.strictEqual(operator.superSplit(s), null);
  assert.strictEqual(operator.key(1), null);
  assert.strictEqual(operator.key(7), null);
  assert.strictEqual(operator.key(4), null);
  assert.deepStrictEqual(operator.superSplit(s), { superSplit: [4, 7] });
  // A choice given up for another: SPLIT during S. SPLIT drops the group.
  operator.superSplit(s);
  operator.split(s);
  assert.deepStrictEqual(operator.choosing, { splitTx: true, superSplit: null });
  operator.reset();
  // The selected rotor again releases it.
  assert.deepStrictEqual(operator.rotor(2, s), { rotor: 0 });
  assert.deepStrictEqual(operator.rotor(3, s), { rotor: 3 });
});

test('the README shows the nginx site the package ships', () => {
  const root = path.join(__dirname, '..', '..');
  const readme = fs.readFileSync(path.join(root, 'README.md'), 'utf8');
  const shown = readme.match(/```nginx\n([\s\S]*?)```/)[1];
  const shipped = fs.readFileSync(path.join(root, 'web', 'tqx5r-panel.nginx.conf'), 'utf8')
    .split('\n').filter((line) => !/^\s*#/.test(line)).join('\n');
  assert.strictEqual(shipped.trim(), shown.trim());
});

test('which antennas are for the band is read only in its own shape', () => {
  const allowed = [true, true, true, true, true, false, true, true];
  assert.deepStrictEqual(state({ allowed }).allowed, allowed);
  for (const odd of [undefined, null, [true], [...allowed, true], allowed.map((a) => (a ? 1 : 0)), 'all']) {
    assert.strictEqual(state({ allowed: odd }).allowed, null);
  }
});

test('a key not for the band says so, as the desktop panel does; without rules nothing changes', () => {
  const allowed = [true, true, true, true, true, false, true, true];
  const ruled = state({ band: '160m', allowed, busy: [6] });
  assert.strictEqual(keyDescription(ruled, 6), 'busy, not for 160 m');
  assert.strictEqual(keyDescription(ruled, 3), 'in use');
  assert.strictEqual(keyDescription(state({ band: '1.25m', allowed }), 6), 'not for 1.25 m');
  assert.strictEqual(keyDescription(state({ band: '160m', busy: [6] }), 6), 'busy');
});

test('reports on BASE/error: this page\'s refusals and warnings, and the panel\'s own warnings', () => {
  const { Connection } = require(path.join(web, 'connection.js'));
  const page = new Connection({ url: 'ws://x', user: 'op2', password: '', topic: 't' }, {});
  page.sent = [{ payload: '{"antenna":6}', at: Date.now() }];
  const report = (fields) => page.ownReport(JSON.stringify(fields));
  assert.deepStrictEqual(report({ error: 'no', command: '{"antenna":6}', user: 'op2' }), { error: 'no' });
  assert.deepStrictEqual(report({ warning: 'careful', command: '{"antenna":6}' }), { warning: 'careful' });
  assert.deepStrictEqual(report({ warning: 'Transmitting on Antenna 7' }), { warning: 'Transmitting on Antenna 7' });
  assert.strictEqual(report({ warning: 'theirs', command: '{"antenna":6}', user: 'op3' }), null);
  assert.strictEqual(report({ error: 'not ours', command: '{"antenna":2}' }), null);
  assert.strictEqual(report({ error: 'no command' }), null);
  assert.strictEqual(page.ownError(JSON.stringify({ warning: 'careful', command: '{"antenna":6}' })), null);
});
