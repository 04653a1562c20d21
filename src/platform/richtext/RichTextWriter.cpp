#include "platform/richtext/RichTextWriter.h"

#include "platform/graphics/PngWriter.h"
#include "platform/richtext/ItemNumbers.h"
#include "platform/richtext/RichTextImport.h"

#include <QBuffer>
#include <QColor>
#include <QTextBlock>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>

#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace velkin::RichTextWriter {

namespace {

// Twentieths of a point.
int twips(double points)
{
    return int(std::lround(points * 20));
}

// Where the body goes. It is kept while it is short; a longer one would cost
// its whole length in memory (an RTF table cell takes some hundred bytes), so
// once past kKeptBody the sink only lets the writing go on to gather the fonts
// and colours the header needs, and the body is written again straight to the
// file after the header.
class Sink {
public:
    static constexpr qsizetype kKeptBody = 4 << 20;
    static constexpr qsizetype kChunk = 64 << 10;

    // Kept, up to the limit.
    Sink() = default;
    // Written to the device as it comes.
    explicit Sink(QIODevice& device) : device_(&device) {}

    Sink& operator+=(const QByteArray& bytes) { return append(bytes.constData(), bytes.size()); }
    Sink& operator+=(const char* text) { return append(text, qsizetype(std::strlen(text))); }

    // Whether what is added goes anywhere.
    bool keeps() const { return !dropped_; }
    bool dropped() const { return dropped_; }
    const QByteArray& kept() const { return buffer_; }

    // False when the device refused some of the body.
    bool flush()
    {
        if (device_ && !buffer_.isEmpty()) {
            failed_ |= device_->write(buffer_) != buffer_.size();
            buffer_.clear();
        }
        return !failed_;
    }

private:
    Sink& append(const char* data, qsizetype size)
    {
        if (dropped_)
            return *this;
        buffer_.append(data, size);
        if (device_ && buffer_.size() >= kChunk) {
            flush();
        } else if (!device_ && buffer_.size() > kKeptBody) {
            dropped_ = true;
            buffer_ = QByteArray();
        }
        return *this;
    }

    QIODevice* device_ = nullptr;
    QByteArray buffer_;
    bool dropped_ = false;
    bool failed_ = false;
};

class Writer {
public:
    explicit Writer(const QTextDocument& document) : document_(document) {}

    bool run(QIODevice& out)
    {
        colourIndex(QColor(0, 0, 0)); // index 1 is the default text colour
        writeFrame(document_.rootFrame(), 0);
        QByteArray head;
        head += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
        for (size_t i = 0; i < fonts_.size(); ++i) {
            head += "{\\f" + QByteArray::number(qsizetype(i)) + fontFamilyClass(fonts_[i]) + " ";
            head += escapedText(fonts_[i]);
            head += ";}";
        }
        if (fonts_.empty())
            head += "{\\f0\\fswiss DejaVu Sans;}";
        head += "}\n{\\colortbl;";
        for (const QColor& c : colours_)
            head += "\\red" + QByteArray::number(c.red()) + "\\green" + QByteArray::number(c.green()) + "\\blue"
                    + QByteArray::number(c.blue()) + ";";
        head += "}\n";
        // A4 (or Letter) is the reader's choice; margins match the PDF's 54 points.
        head += "\\margl1080\\margr1080\\margt1080\\margb1080\\widowctrl\n";
        Sink kept = std::exchange(body_, Sink(out));
        body_ += head;
        if (kept.dropped()) {
            // Every font and colour is known now: the same body again, as it
            // comes, each picture let go after its last use.
            usesLeft_ = pictureUses(document_);
            writeFrame(document_.rootFrame(), 0);
        } else {
            body_ += kept.kept();
        }
        body_ += "}\n";
        return body_.flush();
    }

private:
    static QByteArray fontFamilyClass(const QString& family)
    {
        if (family.contains(QLatin1String("Mono"), Qt::CaseInsensitive))
            return "\\fmodern";
        if (family.contains(QLatin1String("Serif"), Qt::CaseInsensitive)
            && !family.contains(QLatin1String("Sans"), Qt::CaseInsensitive))
            return "\\froman";
        return "\\fswiss";
    }

    static QByteArray escapedText(QStringView text)
    {
        QByteArray out;
        out.reserve(text.size());
        for (const QChar ch : text) {
            const char16_t c = ch.unicode();
            switch (c) {
            case u'\\': out += "\\\\"; break;
            case u'{': out += "\\{"; break;
            case u'}': out += "\\}"; break;
            case u'\t': out += "\\tab "; break;
            case 0x2028: out += "\\line "; break;
            case u'\n': out += "\\line "; break;
            case 0x00A0: out += "\\~"; break;
            case 0xFFFC: break; // object replacement: pictures are written on their own
            default:
                if (c >= 0x20 && c < 0x80) {
                    out += char(c);
                } else if (c < 0x20) {
                    // Other control characters carry nothing readable.
                } else {
                    // Signed 16-bit code units, one fallback "?" each.
                    out += "\\u" + QByteArray::number(int(int16_t(c))) + "?";
                }
            }
        }
        return out;
    }

    int fontIndex(const QTextCharFormat& format)
    {
        QString family;
        const QStringList families = format.fontFamilies().toStringList();
        for (const QString& f : families)
            if (!f.contains(QLatin1String("Emoji"), Qt::CaseInsensitive)) {
                family = f;
                break;
            }
        if (family.isEmpty())
            family = format.font().family();
        if (family.isEmpty())
            family = QStringLiteral("DejaVu Sans");
        for (size_t i = 0; i < fonts_.size(); ++i)
            if (fonts_[i] == family)
                return int(i);
        fonts_.push_back(family);
        return int(fonts_.size() - 1);
    }

    // A colour's number in the colour table, found by its value: a document of
    // many colours must not search the whole table for every run.
    int colourIndex(const QColor& colour)
    {
        const QColor opaque = colour.alpha() == 255 ? colour : blendedOverWhite(colour);
        const auto [at, added] = colourNumbers_.try_emplace(opaque.rgb(), int(colours_.size()) + 1);
        if (added)
            colours_.push_back(opaque);
        return at->second;
    }

    static QColor blendedOverWhite(const QColor& c)
    {
        const double a = c.alphaF();
        return QColor(int(std::lround(c.red() * a + 255 * (1 - a))), int(std::lround(c.green() * a + 255 * (1 - a))),
                      int(std::lround(c.blue() * a + 255 * (1 - a))));
    }

    // An empty paragraph of no height, such as stands between the parts of
    // a tall table, is not written: the parts' rows run on as one table.
    static bool takesNoRoom(const QTextBlock& block)
    {
        const QTextBlockFormat format = block.blockFormat();
        return block.length() == 1 && format.lineHeightType() == QTextBlockFormat::FixedHeight
               && format.lineHeight() == 0;
    }

    void writeFrame(QTextFrame* frame, int tableDepth)
    {
        bool inTable = false;
        const auto endTable = [&] {
            if (inTable)
                body_ += "\\pard\\plain\n";
            inTable = false;
        };
        for (auto it = frame->begin(); !it.atEnd(); ++it) {
            if (QTextFrame* child = it.currentFrame()) {
                if (auto* table = qobject_cast<QTextTable*>(child); table && tableDepth == 0) {
                    writeTable(table);
                    inTable = true;
                } else {
                    endTable();
                    writeFrame(child, tableDepth);
                }
            } else {
                const QTextBlock block = it.currentBlock();
                if (!block.isValid() || (inTable && takesNoRoom(block)))
                    continue;
                endTable();
                writeBlock(block, tableDepth > 0);
            }
        }
        endTable();
    }

    void writeTable(QTextTable* table)
    {
        const int rows = table->rows();
        const int columns = std::max(1, table->columns());
        // The printable width of the page, shared evenly.
        const int width = twips(468);
        for (int r = 0; r < rows; ++r) {
            body_ += "\\trowd\\trgaph108\\trleft0";
            for (int c = 0; c < columns; ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                const QColor fill = cell.isValid() ? cell.format().background().color() : QColor();
                body_ += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
                         "\\clbrdrr\\brdrs\\brdrw10";
                if (cell.isValid() && cell.format().background().style() != Qt::NoBrush)
                    body_ += "\\clcbpat" + QByteArray::number(colourIndex(fill));
                body_ += "\\cellx" + QByteArray::number(width * (c + 1) / columns);
            }
            body_ += "\n";
            for (int c = 0; c < columns; ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                bool first = true;
                if (cell.isValid() && cell.row() == r && cell.column() == c) {
                    for (auto it = cell.begin(); !it.atEnd(); ++it) {
                        const QTextBlock block = it.currentBlock();
                        if (!block.isValid())
                            continue;
                        if (!first)
                            body_ += "\\par\n";
                        writeParagraph(block, true);
                        first = false;
                    }
                }
                if (first)
                    body_ += "\\pard\\intbl\\plain ";
                body_ += "\\cell\n";
            }
            body_ += "\\row\n";
        }
    }

    void writeBlock(const QTextBlock& block, bool inTable)
    {
        writeParagraph(block, inTable);
        body_ += "\\par\n";
    }

    void writeParagraph(const QTextBlock& block, bool inTable)
    {
        const QTextBlockFormat format = block.blockFormat();
        body_ += "\\pard\\plain";
        if (inTable)
            body_ += "\\intbl";
        // Qt marks right alignment from HTML as absolute too; RTF has no such distinction.
        switch (format.alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute) {
        case Qt::AlignHCenter: body_ += "\\qc"; break;
        case Qt::AlignRight: body_ += "\\qr"; break;
        case Qt::AlignJustify: body_ += "\\qj"; break;
        default: body_ += "\\ql"; break;
        }
        double left = format.leftMargin() + format.indent() * document_.indentWidth();
        const QTextList* list = block.textList();
        if (list)
            left += list->format().indent() * document_.indentWidth();
        // An item that carries its number as text has it written as its marker.
        const int numberLength = ItemNumbers::length(block);
        const QString marker = numberLength > 0 ? block.text().left(numberLength).trimmed()
                               : list && list->format().style() != QTextListFormat::ListStyleUndefined
                                   ? listMarker(list, block)
                                   : QString();
        if (format.topMargin() > 0)
            body_ += "\\sb" + QByteArray::number(twips(format.topMargin()));
        if (format.bottomMargin() > 0)
            body_ += "\\sa" + QByteArray::number(twips(format.bottomMargin()));
        if (!marker.isEmpty())
            body_ += "\\fi-" + QByteArray::number(twips(18));
        else if (format.textIndent() != 0)
            body_ += "\\fi" + QByteArray::number(twips(format.textIndent()));
        if (left > 0)
            body_ += "\\li" + QByteArray::number(twips(left));
        if (format.rightMargin() > 0)
            body_ += "\\ri" + QByteArray::number(twips(format.rightMargin()));
        if (format.background().style() != Qt::NoBrush)
            body_ += "\\cbpat" + QByteArray::number(colourIndex(format.background().color()));
        if (format.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth))
            body_ += "\\brdrb\\brdrs\\brdrw10\\brsp20";
        body_ += " ";
        if (!marker.isEmpty()) {
            body_ += "{";
            body_ += attributesOf(block.charFormatIndex(), block.charFormat());
            body_ += " ";
            body_ += escapedText(marker);
            body_ += "\\tab}";
        }
        int skipped = numberLength;  // the number's text, written above
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            if (skipped >= fragment.length()) {
                skipped -= fragment.length();
                continue;
            }
            const QTextCharFormat charFormat = fragment.charFormat();
            if (charFormat.isImageFormat()) {
                // The same picture twice in a row is one fragment of two characters.
                for (int k = 0; k < fragment.length(); ++k)
                    writePicture(charFormat.toImageFormat());
                continue;
            }
            const QString href = charFormat.isAnchor() ? charFormat.anchorHref() : QString();
            const bool link = !href.isEmpty() && !href.startsWith(u'#');
            if (link) {
                body_ += "{\\field{\\*\\fldinst HYPERLINK \"";
                body_ += escapedText(QString(href).remove(u'"'));
                body_ += "\"}{\\fldrslt ";
            }
            body_ += "{";
            body_ += attributesOf(fragment.charFormatIndex(), charFormat);
            body_ += " ";
            if (body_.keeps())
                body_ += escapedText(QStringView(fragment.text()).mid(skipped));
            skipped = 0;
            body_ += "}";
            if (link)
                body_ += "}}";
        }
    }

    static QString listMarker(const QTextList* list, const QTextBlock& block)
    {
        switch (list->format().style()) {
        case QTextListFormat::ListDisc: return QString(QChar(0x2022));
        case QTextListFormat::ListCircle: return QString(QChar(0x25E6));
        case QTextListFormat::ListSquare: return QString(QChar(0x25AA));
        default: break;
        }
        return list->itemText(block);
    }

    // A run's attributes, made once for each character format of the document.
    const QByteArray& attributesOf(int formatIndex, const QTextCharFormat& format)
    {
        const auto [at, added] = attributes_.try_emplace(formatIndex);
        if (added)
            at->second = runAttributes(format);
        return at->second;
    }

    QByteArray runAttributes(const QTextCharFormat& format)
    {
        QByteArray out = "\\f" + QByteArray::number(fontIndex(format));
        double size = format.fontPointSize();
        if (size <= 0)
            size = document_.defaultFont().pointSizeF() > 0 ? document_.defaultFont().pointSizeF() : 12;
        out += "\\fs" + QByteArray::number(int(std::lround(size * 2)));
        if (format.fontWeight() >= QFont::DemiBold)
            out += "\\b";
        if (format.fontItalic())
            out += "\\i";
        if (format.fontUnderline())
            out += "\\ul";
        if (format.fontStrikeOut())
            out += "\\strike";
        if (format.verticalAlignment() == QTextCharFormat::AlignSuperScript)
            out += "\\super";
        else if (format.verticalAlignment() == QTextCharFormat::AlignSubScript)
            out += "\\sub";
        if (format.foreground().style() != Qt::NoBrush)
            out += "\\cf" + QByteArray::number(colourIndex(format.foreground().color()));
        else
            out += "\\cf1";
        if (format.background().style() != Qt::NoBrush)
            out += "\\chcbpat" + QByteArray::number(colourIndex(format.background().color()));
        return out;
    }

    // A picture's data as the file carries it: its kind and pixels, then its
    // bytes in hexadecimal lines.
    struct Encoded {
        QByteArray head;
        QByteArray hex;
        QSize pixels;
    };

    static std::optional<Encoded> encoded(const QTextDocument& document, const QString& name)
    {
        RichTextImport::PictureToWrite picture = RichTextImport::pictureToWrite(document, name);
        QByteArray bytes = std::move(picture.jpeg);
        QSize pixels = picture.pixels;
        const char* kind = "\\jpegblip";
        if (bytes.isEmpty()) {
            if (picture.image.isNull())
                return std::nullopt;
            pixels = picture.image.size();
            // A photo stays a photo: as a PNG it would take several times the
            // room. (What stands for a photo gone meanwhile may be transparent.)
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            if (!picture.photo || picture.image.hasAlphaChannel() || !picture.image.save(&buffer, "JPEG", 90)) {
                const std::optional<QByteArray> png = PngWriter::encode(picture.image);
                if (!png)
                    return std::nullopt;
                bytes = *png;
                kind = "\\pngblip";
            }
        }
        Encoded out;
        out.pixels = pixels;
        out.head = QByteArray("{\\pict") + kind + "\\picw" + QByteArray::number(pixels.width()) + "\\pich"
                   + QByteArray::number(pixels.height());
        const QByteArray hex = bytes.toHex();
        bytes = QByteArray();
        out.hex.reserve(hex.size() + hex.size() / 128 + 1);
        for (qsizetype i = 0; i < hex.size(); i += 128) {
            out.hex += hex.mid(i, 128);
            out.hex += '\n';
        }
        return out;
    }

    void writePicture(const QTextImageFormat& format)
    {
        // A picture adds no font or colour: nothing to gather, nor to decode.
        if (!body_.keeps())
            return;
        // Each picture is read and encoded once however often it is shown; it
        // is kept while uses of it are still to be written (all of them when
        // the writing may have to start again) and there is room.
        const QString name = format.name();
        auto found = encoded_.find(name);
        std::optional<Encoded> once;
        if (found == encoded_.end()) {
            once = encoded(document_, name);
            if (!once)
                return;
            const long long bytes = once->head.size() + once->hex.size();
            if (encodedBytes_ + bytes <= kEncodedLimit) {
                encodedBytes_ += bytes;
                found = encoded_.emplace(name, std::move(*once)).first;
                once.reset();
            }
        }
        const Encoded& picture = once ? *once : found->second;
        const double width = format.width() > 0 ? format.width() : picture.pixels.width();
        const double height = format.height() > 0 ? format.height() : picture.pixels.height();
        body_ += picture.head;
        body_ += "\\picwgoal" + QByteArray::number(twips(width)) + "\\pichgoal" + QByteArray::number(twips(height)) + "\n";
        body_ += picture.hex;
        body_ += "}";
        if (!once && usesLeft_) {
            const auto left = usesLeft_->find(name);
            if (left != usesLeft_->end() && --left->second <= 0) {
                encodedBytes_ -= found->second.head.size() + found->second.hex.size();
                encoded_.erase(found);
            }
        }
    }

    // How often each picture is shown, by its name.
    static std::unordered_map<QString, int> pictureUses(const QTextDocument& document)
    {
        std::unordered_map<QString, int> uses;
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                if (const QTextFragment fragment = it.fragment(); fragment.isValid() && fragment.charFormat().isImageFormat())
                    uses[fragment.charFormat().toImageFormat().name()] += fragment.length();
        return uses;
    }

    // What the encoded pictures kept for their later uses may take.
    static constexpr long long kEncodedLimit = 64LL << 20;

    const QTextDocument& document_;
    std::unordered_map<QString, Encoded> encoded_;
    long long encodedBytes_ = 0;
    std::optional<std::unordered_map<QString, int>> usesLeft_;  // while the body is written the last time
    std::vector<QString> fonts_;
    std::vector<QColor> colours_;
    std::unordered_map<QRgb, int> colourNumbers_;
    std::unordered_map<int, QByteArray> attributes_;
    Sink body_;
};

} // namespace

bool write(const QTextDocument& document, QIODevice& out)
{
    return Writer(document).run(out);
}

QByteArray write(const QTextDocument& document)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    write(document, buffer);
    return data;
}

} // namespace velkin::RichTextWriter
