#pragma once
// The layout manager of every styled Markdown view: lays text out as the
// text system does and draws, from attributes alone, the rounded cards behind
// code blocks, the panels behind alerts and the marks over the text (alert
// icons, pictures, task boxes, colour swatches, emoji, hard-break arrows).
#include "platform/layout/LayoutManager.h"

#include <QSizeF>

#include <functional>
#include <string>

namespace velkin {

class CodeBlockLayoutManager : public LayoutManager {
public:
    using LayoutManager::LayoutManager;

    // Called with its key and the size it was shown at when a picture let go by
    // the image cache (or read for its size alone), and loaded again because it
    // shows, is back or has failed; without it such a picture is loaded before it
    // is drawn.
    std::function<void(const std::string& key, QSizeF shownBefore)> pictureReloaded;

    const double cornerRadius = 12;
    const double verticalPadding = 3;

    void drawBackground(QPainter& painter, Range glyphRange, QPointF origin) override;
    void drawGlyphs(QPainter& painter, Range glyphRange, QPointF origin) override;

    // The paragraph alignment at an index (natural past the end or without a style).
    static TextAlignment alignment(const AttributedString& storage, int index);
    // The code card's fill: a light and a dark value.
    static Color codeBlockFillColor();

private:
    template <class Visit> void forEachRun(AttributeKey key, Range glyphs, Visit visit);
    template <class Visit> void forEachBlockMark(AttributeKey key, Range glyphs, Visit visit);
    void drawCodeBlockCards(QPainter& painter, Range glyphs, QPointF origin);
    void drawAlertPanels(QPainter& painter, Range glyphs, QPointF origin);
    void drawAlertIcons(QPainter& painter, Range glyphs, QPointF origin);
    void drawCollapsedImages(QPainter& painter, Range glyphs, QPointF origin);
    void drawTaskCheckboxes(QPainter& painter, Range glyphs, QPointF origin);
    void drawColorSwatches(QPainter& painter, Range glyphs, QPointF origin);
    void drawEmojiShortcodes(QPainter& painter, Range glyphs, QPointF origin);
    void drawHardBreaks(QPainter& painter, Range glyphs, QPointF origin);
    // A square of side `side` at the left of `glyphs`, centred in their line fragment.
    QRectF squareInLine(Range glyphs, double side);
};

} // namespace velkin
