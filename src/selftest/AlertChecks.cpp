#include "markdown/Alert.h"
#include "markdown/TableGrid.h"
#include "platform/symbols/SymbolImage.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"
#include "selftest/CheckUtilities.h"
#include "selftest/SelfTestContext.h"

#include <set>
#include <tuple>

namespace velkin {

namespace {

bool parsesTo(U16View line, AlertKind kind)
{
    const auto label = Alert::parseLabel(line);
    return label && label->kind == kind;
}

void renderedAlertChecks(SelfTestContext& t)
{
    const U16String text = u"before\n\n> [!CAUTION]\n> mind the gap\n\nafter";
    const TextStorage storage = TableGrid::render(text, 13);
    const U16View s = storage.string();
    const int label = TextOps::find(s, u"[!CAUTION]");
    const int mind = TextOps::find(s, u"mind");
    const int after = TextOps::find(s, u"after");

    auto cautionMark = [&](AttributeKey key, int index) {
        const auto mark = storage.marker<AlertMark>(key, index);
        return mark && mark->kind == AlertKind::caution ? mark : nullptr;
    };
    t.check("rendering an alert changes no characters", TableGrid::serialize(storage) == text);
    t.check("the label carries the panel mark", cautionMark(AttributeKey::AlertBlock, label) != nullptr);
    t.check("the body carries the same panel mark", cautionMark(AttributeKey::AlertBlock, mind) != nullptr);
    t.check("text outside the quote carries no panel",
            after >= 0 && !storage.attributes(after).has(AttributeKey::AlertBlock));
    const auto icon = cautionMark(AttributeKey::AlertIcon, label);
    t.check("the label carries the icon mark", icon != nullptr);
    const std::optional<double> kern =
        label >= 1 ? storage.attributes(label - 1).number(AttributeKey::Kern) : std::nullopt;
    t.check("the character before the label reserves the icon's slot", icon && kern && *kern == icon->size + icon->gap);
    const Font* keyword = label >= 0 ? storage.font(label + 2) : nullptr;
    t.check("the keyword is bold", keyword && keyword->bold);
    const ParagraphStyle* body = mind >= 0 ? storage.paragraphStyle(mind) : nullptr;
    t.check("alert lines clear the accent rule", body && body->headIndent > 13);
}

} // namespace

void alertChecks(SelfTestContext& t)
{
    using K = MarkdownToken::Kind;

    // One label line.
    t.check("a note label is detected", parsesTo(u"> [!NOTE]", AlertKind::note));
    bool every = true;
    for (AlertKind kind : AlertKinds::all) {
        const U16String line = u"> [!" + TextOps::uppercased(u16(AlertKinds::rawValue(kind))) + u"]";
        if (!parsesTo(line, kind)) {
            every = false;
            break;
        }
    }
    t.check("every kind is recognised", every);
    t.check("a lower-case label is recognised", parsesTo(u"> [!tip]", AlertKind::tip));
    t.check("up to three spaces of indent are allowed", parsesTo(u"   > [!WARNING]", AlertKind::warning));
    t.check("a label needs no space after the >", parsesTo(u">[!CAUTION]", AlertKind::caution));
    t.check("a label with trailing text is not an alert", !Alert::parseLabel(u"> [!NOTE] and more"));
    t.check("an unknown keyword is not an alert", !Alert::parseLabel(u"> [!HINT]"));
    t.check("a label needs its quote marker", !Alert::parseLabel(u"[!NOTE]"));
    t.check("a nested quote is not an alert", !Alert::parseLabel(u">> [!NOTE]"));

    // Blocks of a text.
    const U16String t1 = u"intro\n\n> [!TIP]\n> first\n> second\n\nafter";
    const auto blocks = Alert::blocks(t1);
    const Alert::Block* first = blocks.empty() ? nullptr : &blocks.front();
    t.check("one alert found", blocks.size() == 1);
    t.check("the alert knows its kind", first && first->kind == AlertKind::tip);
    t.check("the block covers the label and every quoted line under it",
            first && substring(t1, first->range) == u"> [!TIP]\n> first\n> second\n");
    t.check("the label range is exactly [!TIP]", first && substring(t1, first->label) == u"[!TIP]");
    t.check("the keyword range is exactly TIP", first && substring(t1, first->keyword) == u"TIP");
    t.check("a plain quote is not an alert", Alert::blocks(u"> just a quote").empty());
    t.check("a label part-way down a quote is just text", Alert::blocks(u"> quote\n> [!NOTE]\n> more").empty());
    t.check("a label inside a code fence is left alone", Alert::blocks(u"```\n> [!NOTE]\n> body\n```").empty());
    {
        std::vector<AlertKind> kinds;
        for (const auto& b : Alert::blocks(u"> [!NOTE]\n> a\n\n> [!WARNING]\n> b"))
            kinds.push_back(b.kind);
        t.check("consecutive alerts are separate blocks",
                kinds == std::vector<AlertKind>{AlertKind::note, AlertKind::warning});
    }

    // Scanner spans.
    const U16String t2 = u"> [!NOTE]\n> body";
    const MarkdownSpans spans = MarkdownSyntax::spans(t2);
    bool alertSpan = false;
    const MarkdownSpan* labelSpan = nullptr;
    for (const MarkdownSpan& s : spans) {
        if (s.token == MarkdownToken::alert(AlertKind::note))
            alertSpan = true;
        if (!labelSpan && s.token == MarkdownToken::alertLabel(AlertKind::note))
            labelSpan = &s;
    }
    t.check("the block gets an alert span", alertSpan);
    t.check("the label gets an alert-label span", labelSpan && spanText(t2, *labelSpan) == u"[!NOTE]");
    t.check("the label brackets stay dimmed markers", hasMarker(t2, u"[!") && hasMarker(t2, u"]"));
    t.check("the quote leader stays a dimmed marker", hasMarker(t2, u"> "));
    t.check("alert roles are block-level (never applied inside a grid cell)",
            !MarkdownToken::alert(AlertKind::note).isInline() && !MarkdownToken::alertLabel(AlertKind::note).isInline());
    renderedAlertChecks(t);
    (void)K::marker;

    // Per-kind tables.
    {
        std::set<std::string> symbols;
        bool allExist = true;
        std::set<std::tuple<int, double, double, double, double>> accents;
        for (AlertKind kind : AlertKinds::all) {
            symbols.insert(AlertKinds::symbolName(kind));
            allExist = allExist && SymbolImage::exists(AlertKinds::symbolName(kind));
            const Color accent = AlertKinds::color(kind);
            const Color::RGBA light = accent.resolved(Appearance::Light);
            accents.insert({int(accent.roleKind()), light.red, light.green, light.blue, light.alpha});
        }
        t.check("each kind has a distinct SF Symbol", symbols.size() == AlertKinds::all.size());
        t.check("each kind's symbol exists", allExist);
        t.check("each kind has a distinct accent", accents.size() == AlertKinds::all.size());
    }
}

} // namespace velkin
