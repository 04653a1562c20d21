#include "platform/IniText.h"

#include <QDataStream>
#include <QDateTime>
#include <QIODevice>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>

#include <cctype>
#include <cstring>

namespace velkin::IniText {

namespace {

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

QByteArray hexEscape(char16_t c)
{
    return "\\x" + QByteArray::number(uint(c), 16);
}

// A key or section name: letters, digits and "_-." as they are, "/" as "\",
// anything else as %XX or %UXXXX.
void appendKey(const QString& key, QByteArray& out)
{
    for (const QChar qc : key) {
        const char16_t c = qc.unicode();
        if (c == u'/')
            out += '\\';
        else if ((c < 0x80 && std::isalnum(int(c))) || c == u'_' || c == u'-' || c == u'.')
            out += char(c);
        else if (c <= 0xFF)
            out += '%' + QByteArray::number(uint(c), 16).toUpper().rightJustified(2, '0');
        else
            out += "%U" + QByteArray::number(uint(c), 16).toUpper().rightJustified(4, '0');
    }
}

QString streamed(const QVariant& value, const char* tag, QDataStream::Version version)
{
    QByteArray bytes;
    {
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream.setVersion(version);
        stream << value;
    }
    return QLatin1String(tag) + QLatin1String(bytes) + u')';
}

// A value as the text QSettings reads back as the same value and type.
QString valueText(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::UnknownType:
        return QStringLiteral("@Invalid()");
    case QMetaType::QByteArray:
        return QStringLiteral("@ByteArray(") + QLatin1String(value.toByteArray()) + u')';
    case QMetaType::QString:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool:
    case QMetaType::Float:
    case QMetaType::Double: {
        const QString text = value.toString();
        return text.startsWith(u'@') ? u'@' + text : text;
    }
    case QMetaType::QRect: {
        const QRect r = value.toRect();
        return QString::asprintf("@Rect(%d %d %d %d)", r.x(), r.y(), r.width(), r.height());
    }
    case QMetaType::QSize:
        return QString::asprintf("@Size(%d %d)", value.toSize().width(), value.toSize().height());
    case QMetaType::QPoint:
        return QString::asprintf("@Point(%d %d)", value.toPoint().x(), value.toPoint().y());
    case QMetaType::QDateTime:
        return streamed(value, "@DateTime(", QDataStream::Qt_5_6);
    default:
        return streamed(value, "@Variant(", QDataStream::Qt_4_0);
    }
}

// One value, escaped; between quotes when it holds ";,=" or starts or ends with a blank.
// Tagged binary values keep their bytes as \x escapes, other text is UTF-8.
void appendValue(const QString& text, QByteArray& out)
{
    const bool binary = text.startsWith(QLatin1String("@ByteArray(")) || text.startsWith(QLatin1String("@Variant("))
                        || text.startsWith(QLatin1String("@DateTime("));
    const qsizetype start = out.size();
    bool quoted = false;
    bool escapeHexDigit = false;  // a hex digit after a \x escape would be read as part of it
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u';' || c == u',' || c == u'=')
            quoted = true;
        if (escapeHexDigit && isHexDigit(c)) {
            out += hexEscape(c);
            continue;
        }
        escapeHexDigit = false;
        static constexpr const char* named = "\a\b\f\n\r\t\v";
        static constexpr const char* letters = "abfnrtv";
        if (c == 0) {
            out += "\\0";
            escapeHexDigit = true;
        } else if (c < 0x20 && std::strchr(named, char(c))) {
            out += '\\';
            out += letters[std::strchr(named, char(c)) - named];
        } else if (c == u'"' || c == u'\\') {
            out += '\\';
            out += char(c);
        } else if (c <= 0x1F || (c >= 0x7F && binary)) {
            out += hexEscape(c);
            escapeHexDigit = true;
        } else if (binary || c < 0x80) {
            out += char(c);
        } else {
            // A surrogate pair is one character in UTF-8.
            const qsizetype units = QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
            out += text.mid(i, units).toUtf8();
            i += units - 1;
        }
    }
    if (quoted || (out.size() > start && (out.at(start) == ' ' || out.back() == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

} // namespace

QByteArray text(const QMap<QString, QVariant>& values)
{
    // Sections in order of name, each key under the part of its name before the first "/".
    QMap<QString, QMap<QString, QVariant>> sections;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(u'/');
        sections[slash < 0 ? QString() : it.key().left(slash)][slash < 0 ? it.key() : it.key().mid(slash + 1)] = it.value();
    }
    QByteArray out;
    for (auto section = sections.cbegin(); section != sections.cend(); ++section) {
        QByteArray name;
        appendKey(section.key(), name);
        if (!out.isEmpty())
            out += '\n';
        if (name.isEmpty())
            out += "[General]\n";
        else if (name.compare("general", Qt::CaseInsensitive) == 0)
            out += "[%General]\n";
        else
            out += '[' + name + "]\n";
        for (auto it = section->cbegin(); it != section->cend(); ++it) {
            appendKey(it.key(), out);
            out += '=';
            const QVariant& value = it.value();
            const int type = value.metaType().id();
            // A list of one is written as its one value, and read back as it.
            if (type == QMetaType::QStringList || (type == QMetaType::QVariantList && value.toList().size() != 1)) {
                const QVariantList items = value.toList();
                if (items.isEmpty())
                    out += "@Invalid()";
                for (qsizetype i = 0; i < items.size(); ++i) {
                    if (i > 0)
                        out += ", ";
                    appendValue(valueText(items.at(i)), out);
                }
            } else {
                appendValue(valueText(value), out);
            }
            out += '\n';
        }
    }
    return out;
}

} // namespace velkin::IniText
