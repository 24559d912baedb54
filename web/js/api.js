// Talking to the tool's local server. The access token arrives once in the
// address (?token=...); the page keeps it for the tab's life and sends it
// with every request, and takes it out of the address bar so that it does
// not end up in the history.
const TOKEN_KEY = 'sowfield-token';

export function takeToken() {
  const url = new URL(window.location.href);
  const fromAddress = url.searchParams.get('token');
  if (fromAddress) {
    window.sessionStorage.setItem(TOKEN_KEY, fromAddress);
    url.searchParams.delete('token');
    window.history.replaceState(null, '', url.pathname + url.search);
  }
  return window.sessionStorage.getItem(TOKEN_KEY) ?? '';
}

export class Api {
  constructor(token) {
    this.token = token;
  }

  async request(method, path, body, contentType = 'application/json') {
    const headers = { 'X-Sowfield-Token': this.token };
    if (body !== undefined) headers['Content-Type'] = contentType;
    const response = await fetch(path, { method, headers, body, cache: 'no-store' });
    return response;
  }

  // The reply's JSON, with the HTTP status beside it.
  async json(method, path, body) {
    const response = await this.request(method, path, body === undefined ? undefined : JSON.stringify(body));
    let data = {};
    try {
      data = await response.json();
    } catch {
      data = { error: `${response.status} ${response.statusText}` };
    }
    return { status: response.status, data };
  }

  // The server's state once it is newer than `version` (or after a while).
  async state(version) {
    const { status, data } = await this.json('GET', `/api/state?since=${version}`);
    if (status !== 200) throw new Error(data.error ?? `state: ${status}`);
    return data;
  }

  async mesh(part) {
    const response = await this.request('GET', `/api/mesh/${part}`);
    if (!response.ok) throw new Error(`${part}: ${response.status}`);
    return response.arrayBuffer();
  }

  panel(actions) {
    return this.json('POST', '/api/panel', { actions });
  }

  loadSettings(text) {
    return this.request('POST', '/api/settings', text).then(async (r) => ({ status: r.status, data: await r.json() }));
  }

  async settingsFile() {
    const response = await this.request('GET', '/api/settings');
    if (!response.ok) throw new Error((await response.json()).error ?? `${response.status}`);
    return response.blob();
  }

  run() {
    return this.json('POST', '/api/run', {});
  }

  save(name) {
    return this.json('POST', '/api/save', { name });
  }

  quit() {
    return this.json('POST', '/api/quit', {});
  }
}
