// Talking to the server: JSON requests with the session's CSRF token, errors as ApiError, and
// the newline-delimited JSON stream of a report's run read line by line as it arrives.

let csrf = '';

export function setCsrf(token) { csrf = token || ''; }

export class ApiError extends Error {
  constructor(status, body) {
    const error = (body && body.error) || {};
    super(error.message || `HTTP ${status}`);
    this.status = status;
    this.code = error.code || '';
    this.number = error.number;
    this.source = error.source || '';
  }
}

async function failure(response) {
  let body = null;
  try { body = await response.json(); } catch (e) { body = null; }
  return new ApiError(response.status, body);
}

export async function getJson(url) {
  const response = await fetch(url, { credentials: 'same-origin' });
  if (!response.ok) throw await failure(response);
  return response.json();
}

export async function postJson(url, body, signal) {
  return fetch(url, {
    method: 'POST',
    credentials: 'same-origin',
    headers: { 'Content-Type': 'application/json', 'X-CSRF-Token': csrf },
    body: JSON.stringify(body),
    signal,
  });
}

export async function postForJson(url, body) {
  const response = await postJson(url, body);
  if (!response.ok) throw await failure(response);
  return response.status === 204 ? null : response.json();
}

// Posts `body` and hands each object of the answer's stream to onItem as it arrives. An answer
// that is not a stream (an error, or an operation that failed at once) raises ApiError. The page
// gets its turn between lines once a slice of work has taken a while, so that it stays
// responsive while a large result pours in.
export async function postStream(url, body, signal, onItem) {
  const response = await postJson(url, body, signal);
  if (!response.ok) throw await failure(response);
  const reader = response.body.getReader();
  const decoder = new TextDecoder();
  let pending = '';
  let slice = performance.now();
  for (;;) {
    const { value, done } = await reader.read();
    if (done) break;
    pending += decoder.decode(value, { stream: true });
    let start = 0;
    let newline;
    while ((newline = pending.indexOf('\n', start)) >= 0) {
      const line = pending.slice(start, newline);
      start = newline + 1;
      if (line.trim()) onItem(JSON.parse(line));
      if (performance.now() - slice > 25) {
        await new Promise((resolve) => setTimeout(resolve, 0));
        slice = performance.now();
      }
    }
    pending = pending.slice(start);
  }
  if (pending.trim()) onItem(JSON.parse(pending));
}
