#pragma once
// File content types by their shared MIME database names, and the Markdown type.
#include <QString>

namespace velkin {

class ContentType {
public:
    explicit ContentType(QString name) : name_(std::move(name)) {}

    const QString& name() const { return name_; }
    // True when the type is the other one or inherits from it.
    bool conformsTo(const ContentType& other) const;
    bool operator==(const ContentType& other) const { return name_ == other.name_; }

    static ContentType plainText();
    // The Markdown type: the declared Markdown type, else the type of the "md"
    // extension when it is a kind of plain text, else plain text itself.
    static const ContentType& velkinMarkdown();

private:
    QString name_;
};

} // namespace velkin
