#pragma once
// An empty document laid out as another one is (metrics, margins, fonts,
// indents, text options), which takes its pictures from that one: a place to
// lay out a copy of part of it.
#include <QAbstractTextDocumentLayout>
#include <QTextDocument>
#include <QTextFrame>

namespace velkin {

class DocumentCopy : public QTextDocument {
public:
    explicit DocumentCopy(const QTextDocument& source) : source_(source)
    {
        setUseDesignMetrics(source.useDesignMetrics());
        setDocumentMargin(source.documentMargin());
        setDefaultFont(source.defaultFont());
        setIndentWidth(source.indentWidth());
        setDefaultTextOption(source.defaultTextOption());
        rootFrame()->setFrameFormat(source.rootFrame()->frameFormat());
    }
    // The layout must not keep a paint device that goes before the document.
    ~DocumentCopy() override { documentLayout()->setPaintDevice(nullptr); }

protected:
    QVariant loadResource(int type, const QUrl& name) override { return source_.resource(type, name); }

private:
    const QTextDocument& source_;
};

} // namespace velkin
