#include "highlight/CodeHighlighter.h"
#include "highlight/LanguageRulesTable.h"
#include "platform/text/TextOps.h"

#include <array>
#include <unordered_map>

namespace velkin::CodeHighlighter {

namespace {

// Every alias is lower-case ASCII and occurs once, so a map lookup finds the
// same row as a walk in table order would. "swift" has no row: it is reached
// by passing through unchanged.
const std::vector<AliasRow>& rows()
{
    static const std::vector<AliasRow> table = {
        {u"javascript", {u"js", u"javascript", u"node", u"mjs", u"cjs", u"jsx", u"es6", u"javascriptreact"}},
        {u"typescript", {u"ts", u"typescript", u"tsx", u"mts", u"cts", u"typescriptreact"}},
        {u"python", {u"py", u"python", u"python3"}},
        {u"ruby", {u"rb", u"ruby"}},
        {u"go", {u"go", u"golang"}},
        {u"rust", {u"rs", u"rust"}},
        {u"c", {u"c", u"h"}},
        {u"cpp", {u"cpp", u"c++", u"cc", u"cxx", u"hpp", u"hxx"}},
        {u"csharp", {u"cs", u"csharp", u"c#"}},
        {u"java", {u"java"}},
        {u"kotlin", {u"kt", u"kotlin", u"kts"}},
        {u"php", {u"php"}},
        {u"shell", {u"sh", u"bash", u"shell", u"zsh", u"ksh", u"shellscript", u"fish", u"console", u"shell-session", u"sh-session", u"bash-session", u"shell-script", u"terminal", u"command"}},
        {u"sql", {u"sql", u"mysql", u"postgres", u"postgresql", u"plpgsql", u"psql", u"sqlite", u"sqlite3", u"tsql", u"plsql", u"mariadb", u"hive"}},
        {u"objc", {u"objc", u"objectivec", u"objective-c", u"objectivecpp", u"objective-c++", u"mm"}},
        {u"html", {u"html", u"htm", u"xhtml", u"vue", u"svelte", u"astro"}},
        {u"xml", {u"xml", u"svg", u"rss", u"atom", u"plist", u"xaml", u"xsl", u"xslt", u"wsdl", u"pom", u"csproj", u"xib", u"storyboard"}},
        {u"css", {u"css"}},
        {u"scss", {u"scss", u"less"}},
        {u"sass", {u"sass"}},
        {u"stylus", {u"stylus", u"styl"}},
        {u"json", {u"json", u"json5", u"jsonc", u"geojson", u"jsonl", u"ndjson", u"hjson"}},
        {u"yaml", {u"yaml", u"yml"}},
        {u"markdown", {u"markdown", u"md", u"mdown", u"mkd"}},
        {u"diff", {u"diff", u"patch", u"udiff"}},
        {u"ini", {u"ini", u"cfg", u"conf", u"editorconfig", u"properties", u"env", u"dotenv", u"systemd", u"service", u"desktop", u"gitconfig", u"inf", u"reg"}},
        {u"toml", {u"toml"}},
        {u"makefile", {u"makefile", u"make", u"mk", u"just", u"justfile"}},
        {u"latex", {u"latex", u"tex"}},
        {u"vim", {u"vim", u"viml", u"vimscript"}},
        {u"asm", {u"asm", u"assembly", u"nasm", u"gas"}},
        {u"clojure", {u"clojure", u"clj", u"cljs", u"cljc", u"edn"}},
        {u"crystal", {u"crystal", u"cr"}},
        {u"dart", {u"dart"}},
        {u"dockerfile", {u"dockerfile", u"docker", u"containerfile"}},
        {u"elixir", {u"elixir", u"ex", u"exs"}},
        {u"erlang", {u"erlang", u"erl", u"hrl"}},
        {u"fortran", {u"fortran", u"f90", u"f95", u"f03", u"for"}},
        {u"fsharp", {u"fsharp", u"fs", u"fsx", u"f#"}},
        {u"graphql", {u"graphql", u"gql"}},
        {u"groovy", {u"groovy", u"gradle"}},
        {u"haskell", {u"haskell", u"hs", u"lhs"}},
        {u"julia", {u"julia", u"jl"}},
        {u"lua", {u"lua"}},
        {u"matlab", {u"matlab", u"octave"}},
        {u"nim", {u"nim", u"nims"}},
        {u"ocaml", {u"ocaml", u"ml", u"mli"}},
        {u"pascal", {u"pascal", u"pas", u"delphi", u"objectpascal"}},
        {u"perl", {u"perl", u"pl", u"pm", u"perl5"}},
        {u"powershell", {u"powershell", u"ps1", u"psm1", u"pwsh"}},
        {u"r", {u"r", u"rscript"}},
        {u"scala", {u"scala", u"sbt", u"sc"}},
        {u"scheme", {u"scheme", u"scm", u"ss", u"sls", u"guile"}},
        {u"solidity", {u"solidity", u"sol"}},
        {u"zig", {u"zig"}},
        {u"mermaid", {u"mermaid", u"mmd"}},
        {u"terraform", {u"terraform", u"tf", u"tfvars", u"hcl"}},
        {u"protobuf", {u"proto", u"protobuf", u"proto3"}},
        {u"nix", {u"nix"}},
        {u"batch", {u"bat", u"cmd", u"batch", u"dosbatch"}},
        {u"nginx", {u"nginx", u"caddy", u"caddyfile"}},
        {u"apache", {u"apache", u"apacheconf", u"htaccess"}},
        {u"http", {u"http", u"rest"}},
        {u"gherkin", {u"gherkin", u"cucumber", u"feature"}},
        {u"tcl", {u"tcl", u"tk", u"expect"}},
        {u"awk", {u"awk", u"gawk", u"mawk"}},
        {u"prolog", {u"prolog", u"swipl", u"plg"}},
        {u"ada", {u"ada", u"adb", u"ads"}},
        {u"d", {u"d", u"dlang"}},
        {u"haxe", {u"haxe", u"hx", u"hxml"}},
        {u"coffeescript", {u"coffeescript", u"coffee", u"cson", u"iced"}},
        {u"vbnet", {u"vbnet", u"vb", u"basic", u"visualbasic", u"freebasic", u"qbasic"}},
        {u"vba", {u"vba", u"vbscript", u"vbs", u"bas"}},
        {u"verilog", {u"verilog", u"v", u"sv", u"systemverilog", u"svh"}},
        {u"vhdl", {u"vhdl", u"vhd"}},
        {u"cobol", {u"cobol", u"cbl", u"cob", u"cpy"}},
        {u"smalltalk", {u"smalltalk", u"st", u"pharo", u"squeak"}},
        {u"jsonnet", {u"jsonnet", u"libsonnet"}},
        {u"cypher", {u"cypher", u"cyp"}},
        {u"sparql", {u"sparql", u"rq"}},
        {u"rst", {u"rst", u"restructuredtext", u"rest-structured-text"}},
        {u"template", {u"jinja", u"jinja2", u"j2", u"twig", u"handlebars", u"hbs", u"mustache", u"erb", u"eruby", u"liquid", u"njk", u"nunjucks", u"smarty", u"django", u"html.erb"}},
        {u"rescript", {u"rescript", u"res", u"reason", u"re", u"rei"}},
        {u"elm", {u"elm"}},
        {u"purescript", {u"purescript", u"purs"}},
        {u"racket", {u"racket", u"rkt"}},
        {u"lisp", {u"lisp", u"cl", u"commonlisp", u"common-lisp", u"elisp", u"el", u"emacs-lisp"}},
        {u"raku", {u"raku", u"perl6", u"p6", u"rakumod"}},
        {u"cmake", {u"cmake", u"cmakelists"}},
        {u"applescript", {u"applescript", u"osascript", u"scpt"}},
        {u"dot", {u"dot", u"graphviz", u"gv"}},
        {u"plantuml", {u"plantuml", u"puml", u"uml", u"iuml"}},
        {u"gdscript", {u"gdscript", u"gd", u"godot"}},
        {u"glsl", {u"glsl", u"hlsl", u"wgsl", u"metal", u"shader", u"vert", u"frag", u"geom", u"comp", u"shaderlab"}},
        {u"rego", {u"rego", u"opa"}},
        {u"cue", {u"cue", u"cuelang"}},
        {u"dhall", {u"dhall"}},
        {u"bicep", {u"bicep"}},
        {u"starlark", {u"starlark", u"star", u"bzl", u"bazel", u"build", u"skylark"}},
        {u"bibtex", {u"bibtex", u"bib", u"biblatex"}},
        {u"promql", {u"promql", u"prometheus", u"prom"}},
        {u"kusto", {u"kusto", u"kql"}},
        {u"gleam", {u"gleam"}},
        {u"odin", {u"odin"}},
        {u"mojo", {u"mojo"}},
        {u"vlang", {u"vlang", u"vsh"}},
        {u"vala", {u"vala", u"vapi", u"genie"}},
        {u"hack", {u"hack", u"hh"}},
        {u"xquery", {u"xquery", u"xq", u"xqm", u"xqy"}},
        {u"turtle", {u"turtle", u"ttl", u"n3", u"nt", u"ntriples", u"trig", u"nquads"}},
        {u"log", {u"log", u"logs", u"logcat", u"syslog"}},
        {u"git", {u"git", u"gitcommit", u"git-commit", u"gitrebase", u"git-rebase", u"commit"}},
        {u"csv", {u"csv"}},
        {u"tsv", {u"tsv"}},
        {u"abap", {u"abap"}},
        {u"actionscript", {u"actionscript", u"as3", u"flash"}},
        {u"agda", {u"agda"}},
        {u"apex", {u"apex", u"soql"}},
        {u"autohotkey", {u"autohotkey", u"ahk", u"autoit"}},
        {u"eiffel", {u"eiffel"}},
        {u"forth", {u"forth", u"fth", u"4th", u"gforth"}},
        {u"haml", {u"haml"}},
        {u"idris", {u"idris", u"idr"}},
        {u"kdl", {u"kdl"}},
        {u"lean", {u"lean", u"lean4"}},
        {u"moonscript", {u"moonscript", u"moon"}},
        {u"nushell", {u"nushell", u"nu"}},
        {u"openscad", {u"openscad", u"scad"}},
        {u"postscript", {u"postscript", u"ps", u"eps"}},
        {u"pug", {u"pug", u"jade"}},
        {u"puppet", {u"puppet", u"pp"}},
        {u"qml", {u"qml"}},
        {u"qsharp", {u"qsharp", u"qs", u"q#"}},
        {u"rexx", {u"rexx", u"rex", u"arexx"}},
        {u"robotframework", {u"robotframework", u"robot"}},
        {u"sas", {u"sas"}},
        {u"slim", {u"slim"}},
        {u"sml", {u"sml", u"standardml", u"standard-ml", u"fun"}},
        {u"stata", {u"stata"}},
        {u"thrift", {u"thrift"}},
        {u"typespec", {u"typespec", u"tsp", u"cadl"}},
    };
    return table;
}

const std::unordered_map<U16View, U16View>& aliasMap()
{
    static const std::unordered_map<U16View, U16View> map = [] {
        std::unordered_map<U16View, U16View> m;
        for (const auto& row : rows())
            for (U16View alias : row.aliases)
                m.emplace(alias, row.canonical);
        return m;
    }();
    return map;
}

constexpr std::array<U16View, 23> specialNames = {
    u"html", u"xml", u"css", u"scss", u"sass", u"stylus", u"json", u"yaml", u"markdown", u"shell", u"diff", u"ini",
    u"toml", u"makefile", u"nginx", u"apache", u"http", u"rst", u"template", u"log", u"git", u"csv", u"tsv",
};

} // namespace

U16String canonicalName(U16View language)
{
    // Fence words are almost always ASCII: fold those without the Unicode mapper.
    bool ascii = true;
    for (char16_t c : language)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    U16String lowered = ascii ? TextOps::asciiLowercased(language) : TextOps::lowercased(language);
    const auto& map = aliasMap();
    const auto it = map.find(lowered);
    if (it != map.end())
        return U16String(it->second);
    return lowered;
}

bool isSpecialName(U16View canonical)
{
    for (U16View name : specialNames)
        if (name == canonical)
            return true;
    return false;
}

const std::vector<AliasRow>& aliasTable() { return rows(); }

const std::vector<U16View>& specialLanguageNames()
{
    static const std::vector<U16View> names(specialNames.begin(), specialNames.end());
    return names;
}

} // namespace velkin::CodeHighlighter
