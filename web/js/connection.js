// The page's one connection to the broker: MQTT 5 over WebSockets with the
// operator's own user and password, so the broker's accounts and ACL apply
// as to any other client. It subscribes to the switch's state, the owning
// panel's online flag and its error reports, sends commands acknowledged (so
// a refusal by the ACL comes back) on BASE/set/USER, where the broker lets
// only this user write, and keeps trying with growing pauses while the
// broker cannot be reached. A refused login ends the tries.

(function (exports, mqtt) {
  'use strict';

  const firstRetryMs = 1000;
  const longestRetryMs = 15000;
  const keepaliveSeconds = 20;
  const connectTimeoutMs = 8000;
  // An error report names the command it answers; one of ours is recognised
  // by its text for this long after it went out.
  const ownCommandMs = 10000;
  // MQTT 5 reason codes from 0x80 on are refusals.
  const firstRefusalCode = 0x80;
  // At login, Mosquitto answers a wrong password with "not authorised".
  const loginRefusals = new Map([
    [0x86, 'wrong user or password'],
    [0x87, 'wrong user or password'],
    [0x8c, 'wrong authentication method'],
  ]);

  const leaves = { state: 'state', online: 'online', error: 'error', set: 'set' };

  function randomId() {
    const bytes = new Uint8Array(6);
    crypto.getRandomValues(bytes);
    return Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
  }

  // The WebSocket's path: Mosquitto takes any, and a web server in front of
  // it passes this one on.
  const webSocketPath = '/mqtt';

  // ws://host:port/mqtt of the page itself, or of what the operator typed: a
  // host, host:port, or a whole ws:// or wss:// address.
  function brokerUrl(typed, page = window.location) {
    const secure = page.protocol === 'https:';
    const given = (typed ?? '').trim();
    if (/^wss?:\/\//i.test(given)) return given;
    const host = given || page.host;
    if (!host) return null;
    return `${secure ? 'wss' : 'ws'}://${host}${webSocketPath}`;
  }

  // BASE/set/USER, or BASE/set for a user no topic level can name.
  function commandTopic(topic, user) {
    const nameable = typeof user === 'string' && user !== '' && !/[/+#\u0000]/.test(user);
    return nameable ? `${topic}/${leaves.set}/${user}` : `${topic}/${leaves.set}`;
  }

  class Connection {
    // handlers: status(kind, detail), message(leaf, text), refused(reason)
    // and commandFailed(reason). kind is 'connecting', 'connected',
    // 'unreachable' or 'lost' (detail: ms to the next try) or 'login' (detail:
    // the broker's reason).
    constructor({ url, user, password, topic }, handlers) {
      this.url = url;
      this.user = user;
      this.password = password;
      this.topic = topic;
      this.on = handlers;
      this.client = null;
      this.timer = null;
      this.retryMs = firstRetryMs;
      this.stopped = true;
      this.sent = [];
      // The broker refused BASE/set/USER: its ACL has the shared topic only.
      this.sharedTopicOnly = false;
    }

    get connected() {
      return this.client?.connected === true;
    }

    start() {
      this.stopped = false;
      this.attempt();
    }

    stop() {
      this.stopped = true;
      clearTimeout(this.timer);
      const client = this.client;
      this.client = null;
      client?.end(true);
    }

    // Now rather than after the pause: the tab woke up or the network came back.
    retryNow() {
      if (!this.stopped && !this.connected) this.attempt();
    }

    // A fresh connection, so the broker hands over its retained messages again.
    renew() {
      if (!this.stopped) this.attempt();
    }

    attempt() {
      clearTimeout(this.timer);
      this.client?.end(true);
      // The broker's ACL may have changed since the last connection.
      this.sharedTopicOnly = false;
      const client = mqtt.connect(this.url, {
        protocolVersion: 5,
        clean: true,
        reconnectPeriod: 0,
        connectTimeout: connectTimeoutMs,
        keepalive: keepaliveSeconds,
        clientId: `tqx5r-web-${randomId()}`,
        username: this.user || undefined,
        password: this.user ? this.password : undefined,
        queueQoSZero: false,
        resubscribe: false,
      });
      this.client = client;
      let wasConnected = false;
      let loginRefused = null;
      this.on.status('connecting');

      client.on('connect', () => {
        if (client !== this.client) return;
        wasConnected = true;
        this.retryMs = firstRetryMs;
        const topics = [leaves.state, leaves.online, leaves.error].map((leaf) => `${this.topic}/${leaf}`);
        client.subscribe(topics, { qos: 0 }, (error, granted) => {
          const refused = (granted ?? []).filter((g) => g.qos >= firstRefusalCode).map((g) => g.topic);
          if (!error && refused.length) this.on.commandFailed(`The broker does not let this user read ${refused.join(', ')}.`);
        });
        this.on.status('connected');
      });
      client.on('message', (topic, payload) => {
        if (client !== this.client || !topic.startsWith(`${this.topic}/`)) return;
        this.on.message(topic.slice(this.topic.length + 1), new TextDecoder().decode(payload));
      });
      client.on('error', (error) => {
        if (loginRefusals.has(error?.code)) loginRefused = loginRefusals.get(error.code);
      });
      client.on('close', () => {
        if (client !== this.client || this.stopped) return;
        this.client = null;
        client.end(true);
        if (loginRefused) {
          this.stopped = true;
          this.on.status('login', loginRefused);
          return;
        }
        const waitMs = this.retryMs;
        this.retryMs = Math.min(this.retryMs * 2, longestRetryMs);
        this.on.status(wasConnected ? 'lost' : 'unreachable', waitMs);
        this.timer = setTimeout(() => this.attempt(), waitMs);
      });
    }

    get commandTopic() {
      const shared = `${this.topic}/${leaves.set}`;
      return this.sharedTopicOnly ? shared : commandTopic(this.topic, this.user);
    }

    // Sends one command; false when not connected.
    send(command) {
      if (!this.connected) return false;
      const payload = JSON.stringify(command);
      const now = Date.now();
      this.sent = this.sent.filter((s) => now - s.at < ownCommandMs);
      this.sent.push({ payload, at: now });
      this.publish(payload);
      return true;
    }

    publish(payload) {
      const client = this.client;
      const topic = this.commandTopic;
      client.publish(topic, payload, { qos: 1 }, (error) => {
        if (!error || client !== this.client) return;
        if (error.code < firstRefusalCode) {
          this.on.commandFailed(`The command was not sent: ${error.message}`);
        } else if (!this.sharedTopicOnly && topic !== `${this.topic}/${leaves.set}`) {
          // An ACL from before commands went under each user's name may
          // still take them on the shared topic.
          this.sharedTopicOnly = true;
          this.publish(payload);
        } else {
          this.on.refused(error.message.replace(/^Publish error: /, ''));
        }
      });
    }

    // The reason in an error report on BASE/error when it answers a command
    // this page sent lately; other clients' refusals are theirs (another
    // user's by name, even for the same command).
    ownError(text) {
      const report = this.ownReport(text);
      return typeof report?.error === 'string' ? report.error : null;
    }

    // A report on BASE/error for this page: a refusal ({error}) or a warning
    // ({warning}, the command sent all the same) answering a command it sent
    // lately, or the owning panel's own warning, which names no command
    // (the switch transmitting on an antenna not for the band).
    ownReport(text) {
      let report;
      try {
        report = JSON.parse(text);
      } catch {
        return null;
      }
      if (report === null || typeof report !== 'object') return null;
      const error = typeof report.error === 'string' ? report.error : null;
      const warning = typeof report.warning === 'string' ? report.warning : null;
      if (warning !== null && report.command === undefined) return { warning };
      if ((error === null && warning === null) || typeof report.command !== 'string') return null;
      if (report.user !== undefined && report.user !== this.user) return null;
      const now = Date.now();
      if (!this.sent.some((s) => s.payload === report.command && now - s.at < ownCommandMs)) return null;
      return error !== null ? { error } : { warning };
    }
  }

  exports.leaves = leaves;
  exports.brokerUrl = brokerUrl;
  exports.commandTopic = commandTopic;
  exports.Connection = Connection;
})(typeof module === 'object' && module.exports ? module.exports : (globalThis.tqx5r = globalThis.tqx5r || {}),
  globalThis.mqtt);
