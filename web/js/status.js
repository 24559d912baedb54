// What the run is doing and what it did: the progress monitors as bars, the
// result line as the tool prints it, the times and the host's messages.
function element(tag, attributes = {}, text) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  if (text !== undefined) node.textContent = text;
  return node;
}

export function showProgress(holder, bars) {
  holder.replaceChildren(...bars.map((bar) => {
    const row = element('div', { class: 'bar' });
    const name = [bar.title, bar.caption].filter(Boolean).join(': ');
    const progress = element('progress', { max: String(Math.max(bar.total, 1)), 'aria-label': name });
    progress.value = Math.min(bar.done, Math.max(bar.total, 1));
    row.append(element('div', { class: 'quiet' }, name), progress);
    return row;
  }));
}

export function showResult(parts, result) {
  parts.result.textContent = result ? (result.ok ? result.line : result.error) : '';
  parts.result.classList.toggle('failed', Boolean(result && !result.ok));
  const seconds = result?.seconds;
  parts.times.textContent = seconds
    ? `read ${seconds.read.toFixed(2)} s · run ${seconds.run.toFixed(2)} s` : '';
  parts.messages.replaceChildren(...(result?.messages ?? []).map((message) => {
    const item = element('li', { class: message.kind }, message.line1);
    if (message.line2) item.append(element('br'), document.createTextNode(message.line2));
    return item;
  }));
}

export function showSave(line, save) {
  line.textContent = save ? (save.ok ? save.line : save.error) : '';
  line.classList.toggle('failed', Boolean(save && !save.ok));
}

// What the view holds, said in words (also for screen readers).
export function legendText(counts) {
  const parts = [`Surface: ${counts.surface.toLocaleString('en')} triangles`];
  if (counts.clones) {
    const c = counts.clones;
    let text = `Clones in view: ${c.shown.toLocaleString('en')}`;
    if (c.sampled) text += ` of ${c.total.toLocaleString('en')} (a sample, to keep the view light)`;
    if (c.colourBy) text += `, coloured by ${c.colourBy}`;
    parts.push(text);
  }
  return parts.join(' · ');
}
