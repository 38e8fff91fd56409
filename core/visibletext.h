#pragma once

#include <QString>

// What a unit announces is text from anyone on the network. Shown to a
// person, a character that draws nothing or turns the text around (a
// right-to-left override makes "\u202Eevil" read "live") would make one unit
// pass for another, and a control character would act on a terminal or break
// a line. Where a person reads (the card and its tips, the dialogs, the
// command line's tables and lines, the CSV report), every such character is
// shown as an escape in its code point: "<U+202E>". Where a program reads (the
// node messages, --json, the run history, the JSON report) the text stays
// exact.
namespace VisibleText {

// C0 and C1 controls and DEL; the zero-width and direction marks U+200B to
// U+200F and U+061C; the embeddings and overrides U+202A to U+202E; the
// isolates U+2066 to U+2069; the word joiner and invisible operators U+2060
// to U+2064; the line and paragraph separators U+2028, U+2029; and U+FEFF.
bool isHidden(uint codePoint);

// The text with every hidden character replaced by "<U+XXXX>" (upper-case
// hexadecimal, at least four digits); everything else as it was.
QString escaped(const QString &text);

} // namespace VisibleText
