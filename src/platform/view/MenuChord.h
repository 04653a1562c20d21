#pragma once
// Characters typed with Control and Alt in a text field. Such a key is the key of
// a menu item when one holds it (Format > Subscript is Ctrl+Alt+-), and types only
// when none does, as AltGr does on some keyboards. Where the item is disabled (a
// window without a document) the key must still not type its character over the
// field's selection.
class QKeyEvent;
class QWidget;

namespace velkin::MenuChord {

// Whether `key` is a character with Control and Alt that an action of `window`
// (its menus' items, enabled or not) has as a shortcut.
bool isHeldByMenu(const QKeyEvent& key, const QWidget& window);

} // namespace velkin::MenuChord
