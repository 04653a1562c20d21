#pragma once
// The four inline HTML tags the editor styles; tag names match in any letter case.
#include "platform/regex/Regex.h"

namespace velkin {

namespace InlineHTML {

const Regex& subscriptRegex();    // "(<sub>)([^<\n]+?)(</sub>)"
const Regex& superscriptRegex();  // "(<sup>)([^<\n]+?)(</sup>)"
const Regex& underlineRegex();    // "(<u>)([^<\n]+?)(</u>)"
const Regex& insertedRegex();     // "(<ins>)([^<\n]+?)(</ins>)"

} // namespace InlineHTML

} // namespace velkin
