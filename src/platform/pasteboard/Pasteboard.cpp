#include "platform/pasteboard/Pasteboard.h"

#include "platform/text/Utf.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextDocumentFragment>

#include <memory>

namespace velkin {

Pasteboard& Pasteboard::general()
{
    return named("general");
}

Pasteboard& Pasteboard::named(const std::string& name)
{
    static std::map<std::string, std::unique_ptr<Pasteboard>> boards;
    auto& board = boards[name];
    if (!board)
        board.reset(new Pasteboard(name));
    return *board;
}

int Pasteboard::clearContents()
{
    items_.clear();
    if (isGeneral() && QGuiApplication::clipboard())
        QGuiApplication::clipboard()->clear();
    return ++changeCount_;
}

bool Pasteboard::setData(const std::string& bytes, const std::string& type)
{
    items_[type] = bytes;
    ++changeCount_;
    if (isGeneral() && QGuiApplication::clipboard()) {
        auto* mime = new QMimeData;
        for (const auto& [t, b] : items_)
            mime->setData(QString::fromStdString(t), QByteArray(b.data(), qsizetype(b.size())));
        QGuiApplication::clipboard()->setMimeData(mime);
    }
    return true;
}

bool Pasteboard::setString(const U16String& text, const std::string& type)
{
    return setData(u8(text), type);
}

std::optional<std::string> Pasteboard::data(const std::string& type) const
{
    if (isGeneral() && QGuiApplication::clipboard()) {
        // The desktop's clipboard alone: what this process wrote there last may
        // have been replaced by another program since.
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        if (!mime || !mime->hasFormat(QString::fromStdString(type)))
            return std::nullopt;
        const QByteArray bytes = mime->data(QString::fromStdString(type));
        return std::string(bytes.constData(), size_t(bytes.size()));
    }
    auto it = items_.find(type);
    if (it == items_.end())
        return std::nullopt;
    return it->second;
}

std::optional<U16String> Pasteboard::string(const std::string& type) const
{
    auto bytes = data(type);
    if (!bytes)
        return std::nullopt;
    return u16(*bytes);
}

std::optional<U16String> Pasteboard::plainText() const
{
    if (std::optional<U16String> text = string(stringType))
        return text;
    const std::optional<std::string> html = data(htmlType);
    if (!html)
        return std::nullopt;
    QString text = QTextDocumentFragment::fromHtml(QString::fromUtf8(html->data(), qsizetype(html->size()))).toPlainText();
    // Pictures and other objects have no text.
    text.remove(QChar::ObjectReplacementCharacter);
    return text.toStdU16String();
}

std::vector<std::string> Pasteboard::types() const
{
    std::vector<std::string> result;
    for (const auto& [type, bytes] : items_)
        result.push_back(type);
    return result;
}

} // namespace velkin
