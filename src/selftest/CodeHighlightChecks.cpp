// Code highlighting checks. Most checks feed a fenced block in one language
// through the same path the editor uses and look at the highlighted stretches;
// the rest ask the highlighter about language names, rule sets and inventories.
// The sections below run in the group's fixed order.
#include "highlight/CodeHighlighter.h"
#include "markdown/MarkdownStyler.h"
#include "markdown/MarkdownSyntax.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"
#include "selftest/SelfTestContext.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velkin {

namespace {

// One highlighted stretch: the characters under a code token and its kind.
struct Highlight {
    U16String text;
    CodeTokenKind kind;
};

class HighlightList {
public:
    explicit HighlightList(std::vector<Highlight> items) : items_(std::move(items)) {}

    // Some stretch has exactly this text and this kind.
    bool has(std::string_view text, CodeTokenKind kind) const
    {
        const U16String wanted = u16(text);
        for (const auto& h : items_)
            if (h.kind == kind && h.text == wanted)
                return true;
        return false;
    }
    bool lacks(std::string_view text, CodeTokenKind kind) const { return !has(text, kind); }
    // No stretch has this text, whatever its kind.
    bool noText(std::string_view text) const
    {
        const U16String wanted = u16(text);
        for (const auto& h : items_)
            if (h.text == wanted)
                return false;
        return true;
    }
    // No stretch has this kind, whatever its text.
    bool noKind(CodeTokenKind kind) const
    {
        for (const auto& h : items_)
            if (h.kind == kind)
                return false;
        return true;
    }
    // Some stretch of this kind contains the text.
    bool someContains(CodeTokenKind kind, std::string_view text) const
    {
        const U16String wanted = u16(text);
        for (const auto& h : items_)
            if (h.kind == kind && h.text.find(wanted) != U16String::npos)
                return true;
        return false;
    }

private:
    std::vector<Highlight> items_;
};

// A sample document: one fenced block, no line feed after the closing fence.
U16String fencedSample(std::string_view info, std::string_view body)
{
    return u16("```" + std::string(info) + "\n" + std::string(body) + "\n```");
}

// The highlight list of a document: the text and kind of each code-syntax
// span that the Markdown scanner makes, in the scanner's order.
HighlightList codeSyntax(U16View document)
{
    std::vector<Highlight> items;
    for (const MarkdownSpan& span : MarkdownSyntax::spans(document))
        if (span.token.is(MarkdownToken::Kind::codeSyntax))
            items.push_back({U16String(substring(document, span.range)), span.token.codeKind()});
    return HighlightList(std::move(items));
}

bool hasCodeSyntaxSpan(U16View document)
{
    for (const MarkdownSpan& span : MarkdownSyntax::spans(document))
        if (span.token.is(MarkdownToken::Kind::codeSyntax))
            return true;
    return false;
}

HighlightList sample(std::string_view info, std::string_view body)
{
    return codeSyntax(fencedSample(info, body));
}

using K = CodeTokenKind;

// Asks canonicalName for each name in turn; stops at the first wrong answer.
bool resolvesAll(std::initializer_list<std::pair<std::string_view, std::string_view>> expected)
{
    for (const auto& [name, canonical] : expected)
        if (CodeHighlighter::canonicalName(u16(name)) != u16(canonical))
            return false;
    return true;
}

// Every name must be recognised; the unrecognised ones make the note.
void inventoryCheck(SelfTestContext& t, const std::string& name, std::string_view body,
                    std::initializer_list<std::string_view> languages)
{
    std::vector<std::string_view> missing;
    for (std::string_view language : languages)
        if (!CodeHighlighter::tokens(u16(body), u16(language)))
            missing.push_back(language);
    if (missing.empty()) {
        t.check(name, true);
        return;
    }
    std::string note = "unrecognised: [";
    for (size_t i = 0; i < missing.size(); ++i) {
        if (i > 0)
            note += ", ";
        note += "\"" + std::string(missing[i]) + "\"";
    }
    note += "]";
    t.check(name, false, note);
}

// ---- Generic scanner ----

void genericScannerChecks(SelfTestContext& t)
{
    const auto swiftLet = sample("swift", "let x = 42 // note");
    t.check("keyword highlighted", swiftLet.has("let", K::keyword));
    t.check("number highlighted", swiftLet.has("42", K::number));
    t.check("line comment highlighted", swiftLet.has("// note", K::comment));

    const auto swiftString = sample("swift", "let s = \"if\"");
    t.check("string literal highlighted", swiftString.has("\"if\"", K::string));
    t.check("a keyword inside a string is not highlighted", swiftString.lacks("if", K::keyword));

    const auto swiftStruct = sample("swift", "@main struct Point {}");
    t.check("capitalised identifier is a type", swiftStruct.has("Point", K::type));
    t.check("struct keyword highlighted", swiftStruct.has("struct", K::keyword));
    t.check("@attribute highlighted", swiftStruct.has("@main", K::keyword));

    const auto c = sample("c", "/* hi */ char c = 'x';");
    t.check("block comment highlighted", c.has("/* hi */", K::comment));
    t.check("C char literal highlighted", c.has("'x'", K::string));

    const auto rust = sample("rust", "fn f<'a>(x: &'a str) {}");
    t.check("rust fn keyword highlighted", rust.has("fn", K::keyword));
    t.check("rust lifetime is not treated as a string", rust.noKind(K::string));

    const auto sql = sample("sql", "select * from Users");
    t.check("lowercase SQL keyword highlighted", sql.has("select", K::keyword));
    t.check("SQL keyword matches regardless of case", sql.has("from", K::keyword));

    t.check("unknown language is not highlighted", !hasCodeSyntaxSpan(fencedSample("plaintext", "nothing to see here")));
}

// ---- Names, aliases and rule sets ----

void unknownRulesAndAliasChecks(SelfTestContext& t)
{
    t.check("unknown language has no rules", CodeHighlighter::rules(u"plaintext") == nullptr);
    t.check("language aliases resolve", resolvesAll({{"js", "javascript"}, {"py", "python"}}));
}

// Highlighting reaches the styled text: a keyword and a plain identifier differ in colour.
void styledKeywordColourCheck(SelfTestContext& t)
{
    TextStorage storage(fencedSample("swift", "let n = 1"));
    MarkdownStyler{13, MarkdownFontFamily::sansSerif}.apply(storage);
    auto colourAt = [&](U16View needle) -> std::optional<Color> {
        const int at = TextOps::find(storage.string(), needle);
        const Color* c = at >= 0 ? storage.attributes(at).color(AttributeKey::ForegroundColor) : nullptr;
        return c ? std::optional<Color>(*c) : std::nullopt;
    };
    const auto keyword = colourAt(u"let");
    const auto identifier = colourAt(u"n");
    t.check("highlighted keyword colour lands on the text storage", keyword && identifier && *keyword != *identifier);
}

void shellAndMarkupAliasChecks(SelfTestContext& t)
{
    t.check("shell aliases resolve", resolvesAll({{"sh", "shell"}, {"zsh", "shell"}, {"console", "shell"}}));
    t.check("markup/data languages resolve",
            resolvesAll({{"yml", "yaml"}, {"htm", "html"}, {"md", "markdown"}, {"less", "scss"}}));
}

void cobolRulesCheck(SelfTestContext& t)
{
    t.check("COBOL is now a known language", CodeHighlighter::rules(u"cobol") != nullptr);
}

void reasonAliasCheck(SelfTestContext& t)
{
    t.check("Reason shares ReScript's rules", resolvesAll({{"reason", "rescript"}}));
}

void newAndLongTailAliasChecks(SelfTestContext& t)
{
    t.check("new-language aliases resolve",
            resolvesAll({{"fish", "shell"}, {"tf", "terraform"}, {"mmd", "mermaid"}, {"ndjson", "json"},
                         {"dotenv", "ini"}, {"sqlite", "sql"}, {"lhs", "haskell"}, {"cucumber", "gherkin"}}));
    t.check("long-tail aliases resolve",
            resolvesAll({{"gawk", "awk"}, {"coffee", "coffeescript"}, {"qbasic", "vbnet"},
                         {"systemverilog", "verilog"}, {"cbl", "cobol"}, {"pharo", "smalltalk"},
                         {"restructuredtext", "rst"}, {"hbs", "template"}, {"twig", "template"},
                         {"liquid", "template"}}));
    t.check("promoted languages no longer borrow a neighbour",
            resolvesAll({{"elm", "elm"}, {"purs", "purescript"}, {"rkt", "racket"}, {"elisp", "lisp"},
                         {"perl6", "raku"}, {"cmake", "cmake"}, {"vba", "vba"}, {"sass", "sass"}}));
}

void inventoryChecks(SelfTestContext& t)
{
    inventoryCheck(t, "every newly added language is recognised", "name = 1",
                   {"elm",      "purs",      "racket",     "elisp",  "raku",    "cmake",        "vba",
                    "sass",     "stylus",    "applescript", "dot",   "plantuml", "gdscript",    "glsl",
                    "hlsl",     "wgsl",      "metal",      "rego",   "cue",     "dhall",        "bicep",
                    "starlark", "bazel",     "bibtex",     "promql", "kql",     "gleam",        "odin",
                    "mojo",     "vlang",     "vala",       "hack",   "xquery",  "turtle",       "ttl",
                    "log",      "git",       "csv",        "tsv",    "abap",    "actionscript", "agda",
                    "apex",     "ahk",       "eiffel",     "forth",  "haml",    "idris",        "kdl",
                    "lean",     "moonscript", "nushell",   "openscad", "postscript", "pug",     "puppet",
                    "qml",      "qsharp",    "rexx",       "robot",  "sas",     "slim",         "sml",
                    "stata",    "thrift",    "typespec",   "just",   "caddyfile", "astro",      "xslt",
                    "hjson",    "mm"});
    inventoryCheck(t, "all remaining code.md languages are recognised", "x = 1",
                   {"ada",     "apache",   "asm",       "awk",      "bat",        "clojure",   "cobol",
                    "coffee",  "crystal",  "cypher",    "d",        "dart",       "diff",      "dockerfile",
                    "elixir",  "erb",      "erlang",    "fortran",  "fsharp",     "gherkin",   "graphql",
                    "groovy",  "haskell",  "haxe",      "http",     "ini",        "jinja",     "jsonnet",
                    "julia",   "latex",    "liquid",    "lua",      "makefile",   "matlab",    "mermaid",
                    "nginx",   "nim",      "nix",       "ocaml",    "pascal",     "perl",      "powershell",
                    "prolog",  "proto",    "r",         "rescript", "rst",        "scala",     "scheme",
                    "smalltalk", "solidity", "sparql",  "tcl",      "terraform",  "toml",      "vb",
                    "verilog", "vhdl",     "vim",       "zig"});
}

// ---- Rule-driven language samples ----

void latexToBatchSamples(SelfTestContext& t)
{
    const auto latex = sample("latex", "% c\n\\section{Hi}");
    t.check("LaTeX command is a keyword", latex.has("\\section", K::keyword));
    t.check("LaTeX comment highlighted", latex.has("% c", K::comment));

    const auto haskell = sample("haskell", "-- c\nf :: Integer");
    t.check("Haskell comment highlighted", haskell.has("-- c", K::comment));
    t.check("Haskell type is a type", haskell.has("Integer", K::type));

    const auto mermaid = sample("mermaid", "%% note\nflowchart LR\n  A[Start] --> B");
    t.check("Mermaid comment highlighted", mermaid.has("%% note", K::comment));
    t.check("Mermaid diagram type is a keyword", mermaid.has("flowchart", K::keyword));
    t.check("Mermaid direction is a keyword", mermaid.has("LR", K::keyword));
    t.check("Mermaid node id is not coloured", mermaid.noText("A"));

    const auto terraform = sample("terraform", "# note\nresource \"aws_s3_bucket\" \"b\" {\n  count = 1\n}");
    t.check("Terraform comment highlighted", terraform.has("# note", K::comment));
    t.check("Terraform block type is a keyword", terraform.has("resource", K::keyword));
    t.check("Terraform label is a string", terraform.has("\"aws_s3_bucket\"", K::string));

    const auto proto = sample("proto", "message User {\n  string name = 1;\n}");
    t.check("Protobuf keyword highlighted", proto.has("message", K::keyword));
    t.check("Protobuf message name is a type", proto.has("User", K::type));
    t.check("Protobuf field number is a number", proto.has("1", K::number));

    const auto nix = sample("nix", "{ pkgs }: # note\nlet x = ''raw'';");
    t.check("Nix comment highlighted", nix.has("# note", K::comment));
    t.check("Nix keyword highlighted", nix.has("let", K::keyword));
    t.check("Nix indented string is a string", nix.has("''raw''", K::string));

    const auto batch = sample("bat", ":: note\n@echo off\nset NAME=x");
    t.check("Batch comment highlighted", batch.has(":: note", K::comment));
    t.check("Batch keyword is case-insensitive", batch.has("echo", K::keyword));
}

void gherkinToCobolSamples(SelfTestContext& t)
{
    const auto gherkin = sample("gherkin", "@smoke\nFeature: Login\n  Given a user");
    t.check("Gherkin tag is a keyword", gherkin.has("@smoke", K::keyword));
    t.check("Gherkin section is a keyword", gherkin.has("Feature", K::keyword));
    t.check("Gherkin step is a keyword", gherkin.has("Given", K::keyword));
    t.check("Gherkin prose is not coloured", gherkin.noText("Login"));

    const auto tcl = sample("tcl", "# note\nproc greet {name} {\n  puts \"hi $name\"\n}");
    t.check("Tcl comment highlighted", tcl.has("# note", K::comment));
    t.check("Tcl command is a keyword", tcl.has("proc", K::keyword));
    t.check("Tcl string highlighted", tcl.has("\"hi $name\"", K::string));

    const auto awk = sample("awk", "# note\nBEGIN { FS = \",\" }\n{ print $1 }");
    t.check("AWK comment highlighted", awk.has("# note", K::comment));
    t.check("AWK BEGIN is a keyword", awk.has("BEGIN", K::keyword));
    t.check("AWK built-in variable is a keyword", awk.has("FS", K::keyword));

    const auto prolog = sample("prolog", "% note\nancestor(X, Y) :- parent(X, Y).");
    t.check("Prolog comment highlighted", prolog.has("% note", K::comment));
    t.check("Prolog variable is a type", prolog.has("X", K::type));
    t.check("Prolog atom is not coloured", prolog.noText("ancestor"));

    const auto ada = sample("ada", "-- note\nprocedure Main is\nbegin\n  null;\nend Main;");
    t.check("Ada comment highlighted", ada.has("-- note", K::comment));
    t.check("Ada keyword highlighted", ada.has("procedure", K::keyword));
    t.check("Ada identifier is a type", ada.has("Main", K::type));

    const auto d = sample("d", "import std.stdio;\nvoid main() { writeln(\"hi\"); }");
    t.check("D keyword highlighted", d.has("import", K::keyword));
    t.check("D string highlighted", d.has("\"hi\"", K::string));

    const auto haxe = sample("haxe", "@:keep class Point {\n  var x:Int;\n}");
    t.check("Haxe keyword highlighted", haxe.has("class", K::keyword));
    t.check("Haxe metadata is a keyword", haxe.has("@:keep", K::keyword));
    t.check("Haxe type name is a type", haxe.has("Point", K::type));

    const auto coffee = sample("coffee", "### block ###\n# note\nsquare = (x) -> x * x");
    t.check("CoffeeScript line comment highlighted", coffee.has("# note", K::comment));
    t.check("CoffeeScript block comment beats the line comment", coffee.has("### block ###", K::comment));

    const auto vb = sample("vb", "' note\nDim total As Integer = 0");
    t.check("VB comment highlighted", vb.has("' note", K::comment));
    t.check("VB keyword highlighted", vb.has("Dim", K::keyword));
    t.check("VB apostrophe does not open a string", vb.noKind(K::string));

    const auto verilog = sample("verilog", "// note\nmodule counter(input clk);\n  reg [3:0] q = 4'b1010;\nendmodule");
    t.check("Verilog keyword highlighted", verilog.has("module", K::keyword));
    t.check("Verilog sized literal does not open a string", verilog.noKind(K::string));

    const auto vhdl = sample("vhdl", "-- note\nentity counter is\nend entity;");
    t.check("VHDL comment highlighted", vhdl.has("-- note", K::comment));
    t.check("VHDL keyword highlighted", vhdl.has("entity", K::keyword));

    const auto cobol = sample("cobol", "*> note\nWORKING-STORAGE SECTION.\nMOVE ZERO TO WS-TOTAL.");
    t.check("COBOL comment highlighted", cobol.has("*> note", K::comment));
    t.check("COBOL hyphenated keyword is one word", cobol.has("WORKING-STORAGE", K::keyword));
    t.check("COBOL hyphenated identifier is not split", cobol.noText("WS"));
}

void smalltalkToReScriptSamples(SelfTestContext& t)
{
    const auto smalltalk = sample("smalltalk", "\"note\"\nTranscript show: 'hi'.");
    t.check("Smalltalk double quotes are a comment", smalltalk.has("\"note\"", K::comment));
    t.check("Smalltalk single quotes are a string", smalltalk.has("'hi'", K::string));

    const auto jsonnet = sample("jsonnet", "// note\nlocal port = 8080;");
    t.check("Jsonnet comment highlighted", jsonnet.has("// note", K::comment));
    t.check("Jsonnet keyword highlighted", jsonnet.has("local", K::keyword));
    t.check("Jsonnet number highlighted", jsonnet.has("8080", K::number));

    const auto cypher = sample("cypher", "match (n:Person) return n.name");
    t.check("Cypher clause is case-insensitive", cypher.has("match", K::keyword));
    t.check("Cypher node label is a type", cypher.has("Person", K::type));

    const auto sparql = sample("sparql", "# note\nSELECT ?s WHERE { ?s a ?type }");
    t.check("SPARQL comment highlighted", sparql.has("# note", K::comment));
    t.check("SPARQL clause highlighted", sparql.has("SELECT", K::keyword));
    t.check("SPARQL rdf:type shorthand highlighted", sparql.has("a", K::keyword));

    const auto rescript = sample("rescript", "// note\nlet greet = (name) => `hi ${name}`");
    t.check("ReScript comment highlighted", rescript.has("// note", K::comment));
    t.check("ReScript keyword highlighted", rescript.has("let", K::keyword));
}

void elmToVbaSamples(SelfTestContext& t)
{
    const auto elm = sample("elm", "-- note\nport module Main exposing (main)");
    t.check("Elm comment highlighted", elm.has("-- note", K::comment));
    t.check("Elm keyword Haskell never had", elm.has("port", K::keyword));

    const auto racket = sample("racket", "#| note |#\n(define-values (a b) (values 1 2))");
    t.check("Racket block comment highlighted", racket.has("#| note |#", K::comment));
    t.check("Racket hyphenated form is one keyword", racket.has("define-values", K::keyword));

    const auto elisp = sample("elisp", "; note\n(defun greet () (message \"hi\"))");
    t.check("Emacs Lisp defun highlighted", elisp.has("defun", K::keyword));

    const auto raku = sample("raku", "# note\nmulti sub greet(Str $name) { say $name }");
    t.check("Raku multi highlighted", raku.has("multi", K::keyword));

    const auto cmake = sample("cmake", "# note\nadd_library(velkin STATIC src.c)");
    t.check("CMake command highlighted", cmake.has("add_library", K::keyword));
    t.check("CMake argument word highlighted", cmake.has("STATIC", K::keyword));

    const auto vba = sample("vba", "' note\nDim total As Long\nSet ws = ActiveSheet");
    t.check("VBA comment highlighted", vba.has("' note", K::comment));
    t.check("VBA is case-insensitive", vba.has("Dim", K::keyword));
    t.check("VBA knows the Office object model", vba.has("ActiveSheet", K::keyword));
}

void appleScriptToSmlSamples(SelfTestContext& t)
{
    const auto applescript = sample("applescript", "-- note\ntell application \"Finder\" to activate");
    t.check("AppleScript keyword highlighted", applescript.has("tell", K::keyword));
    t.check("AppleScript comment highlighted", applescript.has("-- note", K::comment));

    const auto dot = sample("dot", "digraph G { a -> b [label=\"x\"] }");
    t.check("DOT keyword highlighted", dot.has("digraph", K::keyword));

    const auto plantuml = sample("plantuml", "@startuml\n' note\nAlice -> Bob\n@enduml");
    t.check("PlantUML bookend highlighted", plantuml.has("@startuml", K::keyword));
    t.check("PlantUML apostrophe comment highlighted", plantuml.has("' note", K::comment));

    const auto glsl = sample("glsl", "layout(location = 0) in vec3 pos;");
    t.check("GLSL type highlighted", glsl.has("vec3", K::keyword));

    const auto turtle = sample("turtle", "@prefix ex: <http://example.org/> .\nex:a a ex:Thing .");
    t.check("Turtle prefix directive highlighted", turtle.has("@prefix", K::keyword));
    t.check("Turtle type shorthand highlighted", turtle.has("a", K::keyword));

    const auto bibtex = sample("bibtex", "@article{key,\n  title = {A paper},\n}");
    t.check("BibTeX entry type highlighted", bibtex.has("@article", K::keyword));
    t.check("BibTeX field name highlighted", bibtex.has("title", K::keyword));

    const auto xquery = sample("xquery", "(: note :)\nlet $x := 1 return $x");
    t.check("XQuery comment highlighted", xquery.has("(: note :)", K::comment));

    const auto kusto = sample("kusto", "Traces | project-away Level | take 10");
    t.check("KQL hyphenated operator is one keyword", kusto.has("project-away", K::keyword));

    const auto abap = sample("abap", "DATA lv_x TYPE i. \" note");
    t.check("ABAP quote comment highlighted", abap.has("\" note", K::comment));
    t.check("ABAP keyword highlighted", abap.has("DATA", K::keyword));

    const auto sml = sample("sml", "(* note *)\nfun f x = x + 1");
    t.check("SML comment highlighted", sml.has("(* note *)", K::comment));
    t.check("SML keyword highlighted", sml.has("fun", K::keyword));
}

// ---- Samples of the languages with tokenizers of their own ----

void markupStyleSheetAndDataSamples(SelfTestContext& t)
{
    const auto html = sample("html", "<!-- c -->\n<a href=\"x\">&amp;</a>");
    t.check("HTML comment highlighted", html.has("<!-- c -->", K::comment));
    t.check("HTML element name is a type", html.has("a", K::type));
    t.check("HTML attribute name is a keyword", html.has("href", K::keyword));
    t.check("HTML attribute value is a string", html.has("\"x\"", K::string));
    t.check("HTML entity highlighted", html.has("&amp;", K::keyword));

    const auto css = sample("css", ".a { color: #fff; width: 10px; }");
    t.check("CSS property is a keyword", css.has("color", K::keyword));
    t.check("CSS hex colour is a number", css.has("#fff", K::number));
    t.check("CSS value with a unit is a number", css.has("10px", K::number));
    t.check("CSS selector is not coloured", css.noText("a"));

    const auto scss = sample("scss", "$c: red; // note");
    t.check("SCSS variable is a type", scss.has("$c", K::type));
    t.check("SCSS line comment highlighted", scss.has("// note", K::comment));

    const auto json = sample("json", "{\"k\": 12, \"b\": true}");
    t.check("JSON key is a type", json.has("\"k\"", K::type));
    // The object above holds no string value: this check gets one of its own.
    const auto jsonValue = sample("json", "{\"k\": \"v\"}");
    t.check("JSON string value is a string", jsonValue.has("\"v\"", K::string));
    t.check("JSON number highlighted", json.has("12", K::number));
    t.check("JSON literal is a keyword", json.has("true", K::keyword));

    const auto yaml = sample("yaml", "name: build # c\ncount: 42\nenabled: true");
    t.check("YAML key is a keyword", yaml.has("name", K::keyword));
    t.check("YAML inline comment highlighted", yaml.has("# c", K::comment));
    t.check("YAML number highlighted", yaml.has("42", K::number));
    t.check("YAML boolean is a keyword", yaml.has("true", K::keyword));
}

void markdownSamples(SelfTestContext& t)
{
    const auto markdown = sample("markdown", "# Title\nuse `x` now");
    t.check("Markdown heading is a type", markdown.someContains(K::type, "Title"));
    t.check("Markdown inline code is a string", markdown.has("x", K::string));
}

void shellSamples(SelfTestContext& t)
{
    const auto make = sample("sh", "# note\nmake run");
    t.check("shell comment highlighted", make.has("# note", K::comment));
    t.check("shell command word highlighted", make.has("make", K::keyword));
    t.check("shell argument is not highlighted", make.noText("run"));

    const auto path = sample("bash", "export PATH=\"$HOME/bin\"\nwc -l < f");
    t.check("shell assignment name is a variable", path.has("PATH", K::type));
    t.check("shell quoted word is a string", path.has("\"$HOME/bin\"", K::string));
    t.check("shell expansion inside a string is a variable", path.has("$HOME", K::type));
    t.check("shell option flag is not a command", path.noText("-l"));

    const auto loop = sample("sh", "for f in *.md; do echo \"$f\"; done");
    t.check("shell loop variable is a variable", loop.has("f", K::type));
    t.check("shell keyword after a separator highlighted", loop.has("do", K::keyword) && loop.has("done", K::keyword));

    const auto heredoc = sample("sh", "cat <<'EOF'\nplain $text\nEOF\necho x");
    t.check("shell heredoc body is a string", heredoc.someContains(K::string, "plain $text"));
    t.check("shell scanning resumes after the heredoc", heredoc.has("echo", K::keyword));
}

void diffTomlIniAndMakefileSamples(SelfTestContext& t)
{
    const auto diff = sample("diff", "-old line\n+new line\n@@ -1 +1 @@");
    t.check("diff removed line is deleted", diff.has("-old line", K::deleted));
    t.check("diff added line is inserted", diff.has("+new line", K::inserted));
    t.check("diff hunk header is a type", diff.has("@@ -1 +1 @@", K::type));

    const auto toml = sample("toml", "[pkg]\nname = \"x\"\nn = 3");
    t.check("TOML section is a type", toml.has("[pkg]", K::type));
    t.check("TOML key is a keyword", toml.has("name", K::keyword));
    t.check("TOML string value is a string", toml.has("\"x\"", K::string));
    t.check("TOML number value is a number", toml.has("3", K::number));

    const auto ini = sample("ini", "; note\n[sec]\nkey = 1");
    t.check("INI comment highlighted", ini.has("; note", K::comment));
    t.check("INI section is a type", ini.has("[sec]", K::type));
    t.check("INI key is a keyword", ini.has("key", K::keyword));

    const auto makefile = sample("makefile", "build: main.c\n\t$(CC) -o app # go");
    t.check("Makefile target is a type", makefile.has("build", K::type));
    t.check("Makefile variable expansion is a type", makefile.has("$(CC)", K::type));
    t.check("Makefile comment highlighted", makefile.has("# go", K::comment));
}

void serverConfigAndHttpSamples(SelfTestContext& t)
{
    const auto nginx = sample("nginx", "# note\nserver {\n  listen 8080;\n  server_name $host;\n}");
    t.check("nginx comment highlighted", nginx.has("# note", K::comment));
    t.check("nginx directive is a keyword", nginx.has("listen", K::keyword));
    t.check("nginx argument is not a directive", nginx.lacks("$host", K::keyword));
    t.check("nginx variable is a type", nginx.has("$host", K::type));
    t.check("nginx port is a number", nginx.has("8080", K::number));

    const auto apache = sample("apache", "<VirtualHost *:80>\n  ServerName docs.velkin.app\n</VirtualHost>");
    t.check("Apache section name is a type", apache.has("VirtualHost", K::type));
    t.check("Apache directive is a keyword", apache.has("ServerName", K::keyword));

    const auto request = sample("http", "POST /users HTTP/1.1\nContent-Type: application/json\n\n{\"name\": 1}");
    t.check("HTTP method is a keyword", request.has("POST", K::keyword));
    t.check("HTTP version is a type", request.has("HTTP/1.1", K::type));
    t.check("HTTP header name is a keyword", request.has("Content-Type", K::keyword));
    t.check("HTTP JSON body is highlighted", request.has("\"name\"", K::type));

    const auto response = sample("http", "HTTP/1.1 404 Not Found");
    t.check("HTTP status line is highlighted", response.has("HTTP/1.1", K::type) && response.has("404", K::number));
}

void rstAndTemplateSamples(SelfTestContext& t)
{
    const auto rst = sample("rst", "Title\n=====\n\n.. note:: careful\n\n:author: Ada\n\nUse ``make test``.");
    t.check("RST title is a type", rst.has("Title", K::type));
    t.check("RST adornment is a type", rst.has("=====", K::type));
    t.check("RST directive is a keyword", rst.has(".. note:: careful", K::keyword));
    t.check("RST field name is a keyword", rst.has(":author:", K::keyword));
    t.check("RST inline literal is a string", rst.has("``make test``", K::string));

    const auto jinja = sample("jinja", "{# note #}\n<p>{{ user.name }}</p>\n{% if n > 1 %}many{% endif %}");
    t.check("Template comment highlighted", jinja.has("{# note #}", K::comment));
    t.check("Template expression is a keyword", jinja.has("{{ user.name }}", K::keyword));
    t.check("Template statement is a keyword", jinja.has("{% if n > 1 %}", K::keyword));
    t.check("Template host markup is left plain", jinja.noText("p"));

    const auto erb = sample("erb", "<h1><%= title %></h1>\n<% items.each do |i| %>\n<% end %>");
    t.check("ERB island is a keyword", erb.has("<%= title %>", K::keyword));

    const auto liquid = sample("liquid", "{{ product.title | upcase }}\n{% assign n = 3 %}");
    t.check("Liquid number inside an island is a number", liquid.has("3", K::number));
}

void indentedSassAndEmbeddedCodeSamples(SelfTestContext& t)
{
    const auto sass = sample("sass", ".card\n  color: red");
    t.check("indented Sass property highlighted", sass.has("color", K::keyword));
    t.check("indented Sass value is not a property", sass.lacks("red", K::keyword));

    const auto script = sample("html", "<script>\nconst x = 1;\n</script>");
    t.check("embedded script is lexed as JavaScript", script.has("const", K::keyword));

    const auto style = sample("html", "<style>\n.a { color: red; }\n</style>");
    t.check("embedded style is lexed as CSS", style.has("color", K::keyword));

    const auto selfClosing = sample("html", "<script src=\"a.js\"/>\n<p class=\"x\">hi</p>");
    t.check("self-closing script leaves later markup alone", selfClosing.has("class", K::keyword));
}

void logGitAndCsvSamples(SelfTestContext& t)
{
    const auto log = sample("log", "2026-07-19 ERROR [db] connection \"lost\"");
    t.check("log error level reads as a removal", log.has("ERROR", K::deleted));
    t.check("log component tag is a type", log.has("[db]", K::type));
    t.check("log timestamp is a number", log.has("2026-07-19", K::number));

    const auto warning = sample("log", "WARN slow query");
    t.check("log warning is a keyword", warning.has("WARN", K::keyword));

    const auto commit = sample("git", "Add the thing\n\n# Please enter a message\nSigned-off-by: Ada");
    t.check("git subject line is a type", commit.has("Add the thing", K::type));
    t.check("git editor comment highlighted", commit.has("# Please enter a message", K::comment));
    t.check("git trailer highlighted", commit.has("Signed-off-by", K::keyword));

    const auto rebase = sample("gitrebase", "pick abc123 first\nsquash def456 second");
    t.check("git rebase command highlighted", rebase.has("pick", K::keyword) && rebase.has("squash", K::keyword));

    const auto csv = sample("csv", "name,count\nada,3");
    t.check("CSV header is a type", csv.has("name", K::type));
    t.check("CSV numeric cell is a number", csv.has("3", K::number));
    t.check("CSV label cell is left plain", csv.noText("ada"));
}

} // namespace

void codeHighlightChecks(SelfTestContext& t)
{
    genericScannerChecks(t);
    unknownRulesAndAliasChecks(t);
    styledKeywordColourCheck(t);
    markupStyleSheetAndDataSamples(t);
    markdownSamples(t);
    shellSamples(t);
    shellAndMarkupAliasChecks(t);
    diffTomlIniAndMakefileSamples(t);
    latexToBatchSamples(t);
    serverConfigAndHttpSamples(t);
    gherkinToCobolSamples(t);
    cobolRulesCheck(t);
    smalltalkToReScriptSamples(t);
    reasonAliasCheck(t);
    rstAndTemplateSamples(t);
    newAndLongTailAliasChecks(t);
    elmToVbaSamples(t);
    indentedSassAndEmbeddedCodeSamples(t);
    appleScriptToSmlSamples(t);
    logGitAndCsvSamples(t);
    inventoryChecks(t);
}

} // namespace velkin
