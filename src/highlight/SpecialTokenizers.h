#pragma once
// The languages with tokenizers of their own (markup, style sheets, data and
// configuration formats, shells, diffs, logs...). The entry in CodeHighlighter
// dispatches on the canonical language name.
//
// Every tokenizer takes the code text and returns its tokens, positions in
// UTF-16 units from the start of that text. None fails; empty text gives an
// empty list. Character classes are ASCII unless a tokenizer says otherwise.
#include "highlight/CodeHighlighter.h"
#include "highlight/CodeToken.h"

#include <optional>

namespace velkin::CodeHighlighter {

// The list of the special tokenizer for a canonical name, or nothing when the
// name has no tokenizer of its own (the rule-driven scanner then decides).
// "markdown" is left to the entry, which hands it to the Markdown scanner.
std::optional<CodeTokens> specialTokens(U16View code, U16View canonicalName);

// HTML and XML: tags, attributes, quoted values, comments, character
// references; script bodies go to the JavaScript rules, style bodies to cssTokens.
CodeTokens markupTokens(U16View code);

// CSS and its relatives. lineComments: "//" comments to the end of the line
// (scss, sass, stylus). indented: line ends end statements and any line may
// hold a declaration (sass, stylus).
CodeTokens cssTokens(U16View code, bool lineComments, bool indented);

// JSON: object keys are `type`, string values `string`.
CodeTokens jsonTokens(U16View code);
// YAML, line by line: keys, scalar words, anchors and aliases, numbers, strings, comments.
CodeTokens yamlTokens(U16View code);
// INI and TOML, line by line; commentChars holds the units that open a comment
// ("#;" for ini, "#" for toml).
CodeTokens keyValueTokens(U16View code, U16View commentChars);

// Shell scripts: command words, assignments, loop variables, expansions,
// strings, comments and here-document bodies. Expansion tokens inside a
// double-quoted string follow the string's token and lie inside it.
CodeTokens shellTokens(U16View code);
// The same read from a line start the scanner reached between tokens with
// `state` (0 at the text's start); `onLine` is told each later such line start
// and its state, and ends the reading there by returning false.
CodeTokens shellTokensFrom(U16View code, LineState state, const LineVisitor& onLine);
// Makefiles, line by line: targets, variable definitions, references, comments.
CodeTokens makefileTokens(U16View code);
// Unified diffs: one token per recognised line.
CodeTokens diffTokens(U16View code);

// nginx and apache configuration: directives, variables, section tags,
// numbers, strings, comments.
CodeTokens configTokens(U16View code);
// HTTP requests and responses: start line, header names, comment lines and a
// body that looks like JSON.
CodeTokens httpTokens(U16View code);

// reStructuredText: explicit markup, section adornments and titles, field
// names, inline literals and interpreted text. A title's token follows its
// underline's.
CodeTokens rstTokens(U16View code);

// Text templates ({{ }}, {% %}, {# #}, <% %>, <%# %>): whole tags, with the
// strings and numbers of non-comment tags following the tag's token.
CodeTokens templateTokens(U16View code);

// Log lines: level words, bracketed fields, timestamps and numbers, strings.
CodeTokens logTokens(U16View code);
// Commit messages and rebase command lists.
CodeTokens gitTokens(U16View code);
// The same read from a line start with `state` (0 while the subject is to come),
// telling `onLine`, when given, each later line start as shellTokensFrom does.
CodeTokens gitTokensFrom(U16View code, LineState state, const LineVisitor* onLine);
// Delimited tables: header cells `type`, quoted cells `string`, numeric cells `number`.
CodeTokens csvTokens(U16View code, char16_t separator);
// The same read from a row's start with `state` (0 while the header row is to
// come), telling `onLine`, when given, each later row start.
CodeTokens csvTokensFrom(U16View code, char16_t separator, LineState state, const LineVisitor* onLine);

} // namespace velkin::CodeHighlighter
