#include "highlight/SpecialTokenizers.h"

#include <array>

namespace velkin::CodeHighlighter {

namespace {

enum class Special { markup, css, scss, sass, json, yaml, shell, diff, ini, toml, makefile, config,
                     http, rst, templates, log, git, csv, tsv };

struct Row {
    U16View name;
    Special tokenizer;
};

// Canonical names with a tokenizer of their own, in dispatch order.
constexpr std::array<Row, 22> specialRows{{
    {u"html", Special::markup},   {u"xml", Special::markup},      {u"css", Special::css},
    {u"scss", Special::scss},     {u"sass", Special::sass},       {u"stylus", Special::sass},
    {u"json", Special::json},     {u"yaml", Special::yaml},       {u"shell", Special::shell},
    {u"diff", Special::diff},     {u"ini", Special::ini},         {u"toml", Special::toml},
    {u"makefile", Special::makefile}, {u"nginx", Special::config}, {u"apache", Special::config},
    {u"http", Special::http},     {u"rst", Special::rst},         {u"template", Special::templates},
    {u"log", Special::log},       {u"git", Special::git},         {u"csv", Special::csv},
    {u"tsv", Special::tsv},
}};

CodeTokens run(Special tokenizer, U16View code)
{
    switch (tokenizer) {
    case Special::markup: return markupTokens(code);
    case Special::css: return cssTokens(code, false, false);
    case Special::scss: return cssTokens(code, true, false);
    case Special::sass: return cssTokens(code, true, true);
    case Special::json: return jsonTokens(code);
    case Special::yaml: return yamlTokens(code);
    case Special::shell: return shellTokens(code);
    case Special::diff: return diffTokens(code);
    case Special::ini: return keyValueTokens(code, u"#;");
    case Special::toml: return keyValueTokens(code, u"#");
    case Special::makefile: return makefileTokens(code);
    case Special::config: return configTokens(code);
    case Special::http: return httpTokens(code);
    case Special::rst: return rstTokens(code);
    case Special::templates: return templateTokens(code);
    case Special::log: return logTokens(code);
    case Special::git: return gitTokens(code);
    case Special::csv: return csvTokens(code, u',');
    case Special::tsv: return csvTokens(code, u'\t');
    }
    return {};
}

} // namespace

std::optional<CodeTokens> specialTokens(U16View code, U16View canonicalName)
{
    for (const Row& row : specialRows)
        if (row.name == canonicalName)
            return run(row.tokenizer, code);
    return std::nullopt;
}

} // namespace velkin::CodeHighlighter
