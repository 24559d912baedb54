// The plug-in's panel, drawn from the description the panel service gives:
// its title, the controls outside the tabs, the tabs (or groups) with their
// controls in order, dividers, values in display units, pop-up entries and
// the enable rules' state. Nothing here knows which plug-in posted it.
const UNITS = { percent: '%', angle: '°' };
let nextId = 0;

function element(tag, attributes = {}, text) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  if (text !== undefined) node.textContent = text;
  return node;
}

// The panel's shape; when it is unchanged only values and states are updated,
// so focus and the open tab stay where the user left them.
function shape(panel) {
  const names = (controls) => controls.map((c) => `${c.kind}:${c.label}:${c.divider_after}:${c.choices.join('\u0001')}`);
  return JSON.stringify([panel.title, names(panel.outside), panel.groups.map((g) => [g.label, g.tab, names(g.controls)])]);
}

export class PanelView {
  // `send(actions)` resolves to the server's reply {error, panel}.
  constructor(root, send) {
    this.root = root;
    this.send = send;
    this.fields = new Map();
    this.shape = '';
    this.selectedTab = 0;
    this.queue = Promise.resolve();
    this.pending = 0;
  }

  get open() {
    return !this.root.hidden;
  }

  show(panel) {
    const next = shape(panel);
    if (next !== this.shape) this.build(panel, next);
    this.update(panel);
    this.root.hidden = false;
  }

  hide() {
    this.root.hidden = true;
    this.root.replaceChildren();
    this.fields.clear();
    this.shape = '';
  }

  note(text) {
    if (this.noteLine) this.noteLine.textContent = text;
  }

  // The panel as the server's state poll saw it. While the user's actions
  // are on their way that state may predate them (a box ticked back off);
  // the actions' own reply brings the fresher panel.
  showState(panel) {
    if (this.pending === 0) this.show(panel);
  }

  // Actions go to the server one after another, in the order the user made them.
  act(actions) {
    this.pending += 1;
    this.queue = this.queue.then(async () => {
      const { data } = await this.send(actions);
      this.note(data.error ?? '');
      if (data.panel) this.show(data.panel);
      else if (!data.error) this.hide();
    }).catch((error) => this.note(String(error))).finally(() => { this.pending -= 1; });
    return this.queue;
  }

  build(panel, newShape) {
    this.root.replaceChildren();
    this.fields.clear();
    this.shape = newShape;
    const titleId = `panel-title-${++nextId}`;
    this.root.setAttribute('aria-labelledby', titleId);
    this.root.append(element('h2', { id: titleId }, panel.title || 'Panel'));

    const buttons = element('div', { class: 'panel-buttons' });
    const loose = element('div');
    for (const control of panel.outside) (control.button ? buttons : loose).append(this.row(control));
    this.root.append(buttons, loose);

    const tabs = panel.groups.filter((g) => g.tab);
    if (tabs.length > 0) this.root.append(this.tabSet(tabs));
    for (const group of panel.groups.filter((g) => !g.tab)) {
      const set = element('fieldset');
      set.append(element('legend', {}, group.label), ...this.rows(group.controls));
      this.root.append(set);
    }

    this.noteLine = element('p', { class: 'panel-note', role: 'status', 'aria-live': 'polite' });
    const answer = element('div', { class: 'panel-answer' });
    const cancel = element('button', { type: 'button' }, 'Cancel');
    const ok = element('button', { type: 'button', class: 'primary' }, 'OK');
    cancel.addEventListener('click', () => this.act([{ kind: 'cancel' }]));
    ok.addEventListener('click', () => this.act([{ kind: 'ok' }]));
    answer.append(cancel, ok);
    this.root.append(this.noteLine, answer);
  }

  tabSet(groups) {
    const holder = element('div');
    const list = element('div', { role: 'tablist' });
    const pages = [];
    this.selectedTab = Math.min(this.selectedTab, groups.length - 1);
    groups.forEach((group, index) => {
      const tabId = `tab-${++nextId}`;
      const pageId = `tabpanel-${nextId}`;
      const tab = element('button', { type: 'button', role: 'tab', id: tabId, 'aria-controls': pageId }, group.label);
      const page = element('div', { role: 'tabpanel', id: pageId, 'aria-labelledby': tabId });
      page.append(...this.rows(group.controls));
      tab.addEventListener('click', () => select(index));
      list.append(tab);
      pages.push([tab, page]);
    });
    const select = (chosen) => {
      this.selectedTab = chosen;
      pages.forEach(([tab, page], index) => {
        tab.setAttribute('aria-selected', String(index === chosen));
        tab.tabIndex = index === chosen ? 0 : -1;
        page.hidden = index !== chosen;
      });
    };
    select(this.selectedTab);
    holder.append(list, ...pages.map(([, page]) => page));
    return holder;
  }

  rows(controls) {
    const rows = [];
    for (const control of controls) {
      rows.push(this.row(control));
      if (control.divider_after) rows.push(element('hr', { class: 'divider' }));
    }
    return rows;
  }

  row(control) {
    if (control.button) {
      const button = element('button', { type: 'button' }, control.label);
      button.addEventListener('click', () => {
        if (button.getAttribute('aria-disabled') === 'true') this.note(control.disabled_message);
        else this.act([{ kind: 'press', label: control.label }]);
      });
      this.fields.set(control.label, { input: button, row: button });
      return button;
    }
    const id = `control-${++nextId}`;
    const row = element('div', { class: 'control' });
    const label = element('label', { for: id }, control.label);
    const field = element('div', { class: 'field' });
    const input = this.input(control, id);
    field.append(input);
    if (UNITS[control.kind]) field.append(element('span', { class: 'unit', 'aria-hidden': 'true' }, UNITS[control.kind]));
    row.append(label, field);
    // A disabled control says why when it is clicked.
    row.addEventListener('click', () => {
      const entry = this.fields.get(control.label);
      if (entry.off) this.note(entry.message);
    });
    this.fields.set(control.label, { input, row });
    return row;
  }

  input(control, id) {
    const set = (value) => this.act([{ kind: 'set', label: control.label, value }]);
    const blocked = (event) => {
      if (this.fields.get(control.label)?.off && event.key !== 'Tab') event.preventDefault();
    };
    if (control.kind === 'iBoolean') {
      const box = element('input', { type: 'checkbox', id });
      box.addEventListener('click', blocked);
      box.addEventListener('change', () => set(box.checked ? 'on' : 'off'));
      return box;
    }
    if (control.kind === 'iPopChoice') {
      const select = element('select', { id });
      select.addEventListener('mousedown', blocked);
      select.addEventListener('keydown', blocked);
      select.addEventListener('change', () => set(select.value));
      return select;
    }
    const text = element('input', { type: 'text', id, spellcheck: 'false', autocomplete: 'off',
      inputmode: control.kind === 'integer' ? 'numeric' : 'decimal' });
    text.addEventListener('change', () => set(text.value));
    return text;
  }

  update(panel) {
    const all = [...panel.outside, ...panel.groups.flatMap((g) => g.controls)];
    for (const control of all) {
      const entry = this.fields.get(control.label);
      if (!entry) continue;
      entry.off = !control.enabled;
      entry.message = control.disabled_message;
      const { input, row } = entry;
      row.classList.toggle('off', entry.off);
      if (entry.off) input.setAttribute('aria-disabled', 'true');
      else input.removeAttribute('aria-disabled');
      input.title = entry.off ? control.disabled_message : '';
      if (control.button) continue;
      if (input.type === 'checkbox') {
        input.checked = control.display === 'on';
      } else if (input.tagName === 'SELECT') {
        const entries = control.choices.includes(control.display) ? control.choices : [...control.choices, control.display];
        if (input.options.length !== entries.length) input.replaceChildren(...entries.map((c) => element('option', { value: c }, c)));
        input.value = control.display;
      } else {
        // A state that left the server before the user's edit must not undo
        // the edit while the field still holds it unsent.
        const editing = document.activeElement === input && input.value !== entry.shown;
        if (!editing || entry.shown !== control.display) input.value = control.display;
        entry.shown = control.display;
        input.readOnly = entry.off;
      }
    }
  }
}
