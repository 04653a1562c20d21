#include "export/MarkdownHTML.h"

#include <array>
#include <string_view>

namespace velkin::MarkdownHTML {

namespace {

struct Property {
    std::u16string_view name;
    std::u16string_view light;
    std::u16string_view dark;
};

// Colour properties of the page; the same pairs colour code in the editor.
constexpr std::array<Property, 13> colourProperties{{
    {u"--text", u"#1d1d1f", u"#f5f5f7"},
    {u"--muted", u"#6e6e73", u"#98989d"},
    {u"--rule", u"#d2d2d7", u"#48484a"},
    {u"--link", u"#0066cc", u"#4aa3ff"},
    {u"--code-fill", u"rgba(0, 0, 0, 0.06)", u"rgba(255, 255, 255, 0.1)"},
    {u"--code-card", u"#f5f5f7", u"#2c2c2e"},
    {u"--keyword", u"#cf222e", u"#ff7b72"},
    {u"--type", u"#953800", u"#ffa657"},
    {u"--string", u"#0a3069", u"#a5d6ff"},
    {u"--number", u"#0550ae", u"#79c0ff"},
    {u"--comment", u"#6e7781", u"#8b949e"},
    {u"--inserted", u"#1a7f37", u"#3fb950"},
    {u"--deleted", u"#cf222e", u"#ff7b72"},
}};

constexpr std::u16string_view monoStack = u"ui-monospace, \"SF Mono\", SFMono-Regular, Menlo, Monaco, monospace";

std::u16string_view bodyStack(MarkdownFontFamily family)
{
    switch (family) {
    case MarkdownFontFamily::serif:
        return u"\"New York\", ui-serif, Georgia, \"Times New Roman\", Times, serif";
    case MarkdownFontFamily::monospace:
        return monoStack;
    case MarkdownFontFamily::sansSerif:
        break;
    }
    return u"-apple-system, BlinkMacSystemFont, \"SF Pro Text\", \"Helvetica Neue\", Helvetica, Arial, sans-serif";
}

struct Rule {
    std::u16string_view selector;
    std::u16string_view declarations; // separated by "|"
    bool multiline = false;
};

constexpr Rule rules[] = {
    {u"body", u"margin: 0|background: #ffffff|color: var(--text)|font-family: var(--body)|font-size: 16px|"
              u"line-height: 1.55|-webkit-text-size-adjust: 100%", true},
    {u".velkin", u"max-width: 44em|margin: 0 auto|padding: 3em 2em 5em"},
    {u".velkin > *:first-child", u"margin-top: 0"},
    {u"h1, h2, h3, h4, h5, h6", u"font-weight: 700|line-height: 1.25|margin: 1.6em 0 0.5em"},
    {u"h1", u"font-size: 1.9em"},
    {u"h2", u"font-size: 1.55em"},
    {u"h3", u"font-size: 1.3em"},
    {u"h4", u"font-size: 1.15em"},
    {u"h5", u"font-size: 1em"},
    {u"h6", u"font-size: 0.9em|color: var(--muted)"},
    {u"p", u"margin: 0 0 1em"},
    {u"hr", u"border: 0|border-top: 1px solid var(--rule)|margin: 2em 0"},
    {u"a", u"color: var(--link)"},
    {u"sub, sup", u"font-size: 0.72em|line-height: 0"},
    {u"code", u"font-family: var(--mono)|font-size: 0.95em|background: var(--code-fill)|padding: 0.1em 0.3em|"
              u"border-radius: 4px", true},
    {u"pre", u"background: var(--code-card)|border-radius: 8px|padding: 1em 1.1em|overflow-x: auto|margin: 0 0 1em",
     true},
    {u"pre code", u"background: none|padding: 0|font-size: 0.9em"},
    {u".tok-keyword", u"color: var(--keyword)"},
    {u".tok-type", u"color: var(--type)"},
    {u".tok-string", u"color: var(--string)"},
    {u".tok-number", u"color: var(--number)"},
    {u".tok-comment", u"color: var(--comment)"},
    {u".tok-inserted", u"color: var(--inserted)"},
    {u".tok-deleted", u"color: var(--deleted)"},
    {u"blockquote", u"margin: 0 0 1em|padding: 0 0 0 1.1em|border-left: 3px solid var(--rule)|color: var(--muted)",
     true},
    {u"blockquote > *:last-child", u"margin-bottom: 0"},
    {u".alert", u"margin: 0 0 1em|padding: 0.8em 1.1em|border-left: 4px solid var(--accent)|"
                u"border-radius: 0 6px 6px 0|background: var(--tint)", true},
    {u".alert > *:last-child", u"margin-bottom: 0"},
    {u".alert-title", u"font-weight: 700|color: var(--accent)|margin-bottom: 0.35em"},
    {u".alert-note", u"--accent: #0969da|--tint: rgba(9, 105, 218, 0.1)"},
    {u".alert-tip", u"--accent: #1a7f37|--tint: rgba(26, 127, 55, 0.1)"},
    {u".alert-important", u"--accent: #8250df|--tint: rgba(130, 80, 223, 0.1)"},
    {u".alert-warning", u"--accent: #9a6700|--tint: rgba(154, 103, 0, 0.1)"},
    {u".alert-caution", u"--accent: #cf222e|--tint: rgba(207, 34, 46, 0.1)"},
    {u"ul, ol", u"margin: 0 0 1em|padding-left: 1.6em"},
    {u"li", u"margin: 0.15em 0"},
    {u"li > ul, li > ol", u"margin-bottom: 0"},
    {u".task-item", u"list-style: none"},
    {u".task", u"color: var(--muted)"},
    {u".task-done", u"color: var(--link)"},
    {u"table", u"border-collapse: collapse|margin: 0 0 1em|width: 100%"},
    {u"th, td", u"border: 1px solid var(--rule)|padding: 0.4em 0.6em|text-align: left"},
    {u"th", u"background: var(--code-fill)|font-weight: 700"},
    {u"figure", u"margin: 1.5em 0|text-align: center"},
    {u"img", u"max-width: 100%|height: auto|border-radius: 4px"},
    {u"figcaption", u"color: var(--muted)|font-size: 0.85em|margin-top: 0.5em"},
    {u".swatch", u"margin-right: 0.15em"},
    {u".footnote-ref", u"font-size: 0.72em"},
    {u".footnote-ref a", u"text-decoration: none"},
    {u".footnotes", u"margin-top: 3em|font-size: 0.9em|color: var(--muted)"},
    {u".footnote", u"margin: 0.4em 0"},
    {u".footnote-label", u"font-weight: 700|color: var(--link)"},
    {u".footnote-back", u"text-decoration: none"},
};

constexpr Rule printRules[] = {
    {u"body", u"background: #fff|color: #1d1d1f"},
    {u".velkin", u"max-width: none|padding: 0"},
    {u"pre, blockquote, .alert, table, figure", u"break-inside: avoid"},
    {u"h1, h2, h3, h4, h5, h6", u"break-after: avoid"},
    {u"a", u"color: #0066cc"},
};

void appendRule(U16String& out, const Rule& rule, std::u16string_view indent)
{
    out += indent;
    out += rule.selector;
    out += u" {";
    std::u16string_view rest = rule.declarations;
    while (!rest.empty()) {
        const size_t bar = rest.find(u'|');
        const std::u16string_view declaration = rest.substr(0, bar);
        if (rule.multiline) {
            out += u"\n  ";
            out += indent;
        } else {
            out += u' ';
        }
        out += declaration;
        out += u';';
        rest = bar == std::u16string_view::npos ? std::u16string_view() : rest.substr(bar + 1);
    }
    out += rule.multiline ? U16String(u"\n") + U16String(indent) + u"}\n" : U16String(u" }\n");
}

} // namespace

U16String styleSheet(MarkdownFontFamily family)
{
    U16String out;
    out.reserve(5000);
    out += u":root {\n  --body: ";
    out += bodyStack(family);
    out += u";\n  --mono: ";
    out += monoStack;
    out += u";\n";
    for (const Property& p : colourProperties) {
        out += u"  ";
        out += p.name;
        out += u": ";
        out += p.light;
        out += u";\n";
    }
    out += u"}\n@media (prefers-color-scheme: dark) {\n  :root {\n";
    for (const Property& p : colourProperties) {
        out += u"    ";
        out += p.name;
        out += u": ";
        out += p.dark;
        out += u";\n";
    }
    out += u"  }\n  body { background: #1c1c1e; }\n}\n";
    for (const Rule& rule : rules)
        appendRule(out, rule, u"");
    out += u"@media print {\n";
    for (const Rule& rule : printRules)
        appendRule(out, rule, u"  ");
    out += u"}";
    return out;
}

namespace {

// Families that exist on the machine; the page's stacks name faces of other systems.
std::u16string_view importBodyFamilies(MarkdownFontFamily family)
{
    switch (family) {
    case MarkdownFontFamily::serif:
        return u"'DejaVu Serif', 'Noto Color Emoji', serif";
    case MarkdownFontFamily::monospace:
        return u"'DejaVu Sans Mono', 'Noto Color Emoji', monospace";
    case MarkdownFontFamily::sansSerif:
        break;
    }
    return u"'DejaVu Sans', 'Noto Color Emoji', sans-serif";
}

} // namespace

U16String importStyleSheet(MarkdownFontFamily family)
{
    // Sizes: the page's 16 px body is 12 points; em sizes are multiplied out,
    // lengths are in pixels of the print layout, where a pixel is a point, and
    // translucent fills are blended over white.
    U16String out;
    out += u"body { color: #1d1d1f; background-color: #ffffff; font-family: ";
    out += importBodyFamilies(family);
    out += u"; font-size: 12pt; }\n";
    out += u"p { margin-top: 0; margin-bottom: 12px; }\n"
           u"h1, h2, h3, h4, h5, h6 { font-weight: bold; margin-bottom: 6px; }\n"
           u"h1 { font-size: 22.8pt; margin-top: 27px; }\n"
           u"h2 { font-size: 18.6pt; margin-top: 24px; }\n"
           u"h3 { font-size: 15.6pt; margin-top: 21px; }\n"
           u"h4 { font-size: 13.8pt; margin-top: 19px; }\n"
           u"h5 { font-size: 12pt; margin-top: 17px; }\n"
           u"h6 { font-size: 10.8pt; margin-top: 16px; color: #6e6e73; }\n"
           u"a { color: #0066cc; }\n"
           u"sub, sup { font-size: 8.6pt; }\n"
           u"code { font-family: 'DejaVu Sans Mono', 'Noto Color Emoji', monospace; font-size: 10.5pt; "
           u"background-color: #f0f0f0; }\n"
           u"pre { font-family: 'DejaVu Sans Mono', 'Noto Color Emoji', monospace; font-size: 10pt; "
           u"background-color: #f5f5f7; margin-top: 0; margin-bottom: 12px; padding: 9px; }\n"
           u"pre code { background-color: #f5f5f7; font-size: 10pt; }\n"
           u".tok-keyword { color: #cf222e; font-size: 10pt; }\n"
           u".tok-type { color: #953800; font-size: 10pt; }\n"
           u".tok-string { color: #0a3069; font-size: 10pt; }\n"
           u".tok-number { color: #0550ae; font-size: 10pt; }\n"
           u".tok-comment { color: #6e7781; font-size: 10pt; }\n"
           u".tok-inserted { color: #1a7f37; font-size: 10pt; }\n"
           u".tok-deleted { color: #cf222e; font-size: 10pt; }\n"
           u"blockquote { color: #6e6e73; margin-top: 0; margin-bottom: 12px; margin-left: 14px; margin-right: 0; }\n"
           u".alert { margin-top: 0; margin-bottom: 12px; padding: 9px; }\n"
           u".alert-title { font-weight: bold; margin-bottom: 0; }\n"
           u".alert-note { background-color: #e6f0fb; }\n"
           u".alert-note .alert-title { color: #0969da; }\n"
           u".alert-tip { background-color: #e8f2eb; }\n"
           u".alert-tip .alert-title { color: #1a7f37; }\n"
           u".alert-important { background-color: #f3eefc; }\n"
           u".alert-important .alert-title { color: #8250df; }\n"
           u".alert-warning { background-color: #f5f0e6; }\n"
           u".alert-warning .alert-title { color: #9a6700; }\n"
           u".alert-caution { background-color: #fae9ea; }\n"
           u".alert-caution .alert-title { color: #cf222e; }\n"
           u"ul, ol { margin-top: 0; margin-bottom: 12px; }\n"
           u"li { margin-top: 2px; margin-bottom: 2px; }\n"
           u".task { color: #6e6e73; }\n"
           u".task-done { color: #0066cc; }\n"
           u"table { border-collapse: collapse; margin-bottom: 12px; }\n"
           u"th, td { border: 1px solid #d2d2d7; border-color: #d2d2d7; padding: 4px; text-align: left; }\n"
           u"th { background-color: #f0f0f0; font-weight: bold; }\n"
           u"figure { margin-top: 18px; margin-bottom: 18px; text-align: center; }\n"
           u"figcaption { color: #6e6e73; font-size: 10.2pt; margin-top: 6px; text-align: center; }\n"
           u".footnote-ref a { text-decoration: none; }\n"
           u".footnotes { margin-top: 36px; font-size: 10.8pt; color: #6e6e73; }\n"
           u".footnote { margin-top: 5px; margin-bottom: 5px; }\n"
           u".footnote-label { font-weight: bold; color: #0066cc; }\n"
           u".footnote-back { text-decoration: none; }\n";
    return out;
}

} // namespace velkin::MarkdownHTML
