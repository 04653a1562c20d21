#include "app/ContentType.h"

#include <QMimeDatabase>

namespace velkin {

bool ContentType::conformsTo(const ContentType& other) const
{
    if (name_ == other.name_)
        return true;
    const QMimeType type = QMimeDatabase().mimeTypeForName(name_);
    return type.isValid() && type.inherits(other.name_);
}

ContentType ContentType::plainText()
{
    return ContentType(QStringLiteral("text/plain"));
}

const ContentType& ContentType::velkinMarkdown()
{
    static const ContentType type = [] {
        const QMimeDatabase db;
        const QMimeType declared = db.mimeTypeForName(QStringLiteral("text/markdown"));
        if (declared.isValid())
            return ContentType(declared.name());
        const QMimeType byExtension = db.mimeTypeForFile(QStringLiteral("x.md"), QMimeDatabase::MatchExtension);
        if (byExtension.isValid() && byExtension.inherits(QStringLiteral("text/plain")))
            return ContentType(byExtension.name());
        return plainText();
    }();
    return type;
}

} // namespace velkin
