#pragma once
// HTML imported as Qt rich text, the platform's import for PDF and RTF.
// Pictures come only from base64 data addresses and absolute local picture
// files read by our own rules (regular files only, size cap, decodable); Qt
// never loads one by itself, nothing is fetched from the network, and a
// picture that cannot be loaded gives way to its alt text.
#include "platform/text/Range.h"

#include <QImage>
#include <QSizeF>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <functional>
#include <memory>

namespace velkin::RichTextImport {

// How the pictures of an imported page are kept: each distinct source is
// read and decoded once at import, to know that it is a picture and its size,
// and then held as its file's path, or as its compressed bytes when the page
// carries it. It is decoded again when it is drawn or written, kept at no
// more than kPixelsPerPoint pixels for every point it is drawn at, so a huge
// picture costs what its printed size needs; the pictures so decoded last
// stay at hand within an eighth of `budget`. The bytes held together stay
// within `budget`; a picture past it is replaced by `placeholder` and counted
// in `leftOut`. A file that no longer gives its picture when it is drawn
// shows `placeholder` too. A file too large to be read is counted in
// `tooLarge`, and gives way to its alt text as any picture that cannot be
// loaded does.
struct Pictures {
    static constexpr double kPixelsPerPoint = 3;
    std::function<QSizeF(QSizeF)> drawnSize;  // in points, of the picture's device-independent size
    QImage placeholder;  // its device-independent size is the size it is drawn at
    long long budget = 512LL << 20;
    int leftOut = 0;
    int tooLarge = 0;
};

// The document of an HTML text, laid out with design metrics and no margin.
// Without `pictures`, every picture is kept as decoded.
std::unique_ptr<QTextDocument> load(U16View html, Pictures* pictures = nullptr);

// A page imported in pieces, each a whole HTML page holding the next of its
// top-level elements: Qt's parser keeps a node of some hundred bytes for every
// element and text run until its whole input is imported, so one piece at a
// time costs what a piece does, not what the page does. The first piece makes
// the document as load() would; every later one begins its body with a
// paragraph holding kPieceMark alone, which stands for what came before it and
// is left out, and is appended. Pictures are registered once for all pieces.
class PictureRouter;
class PieceImport {
public:
    static constexpr std::u16string_view kPieceMark = u"\u2063velkin-piece\u2063";

    explicit PieceImport(Pictures* pictures = nullptr);
    ~PieceImport();
    PieceImport(const PieceImport&) = delete;
    PieceImport& operator=(const PieceImport&) = delete;

    // Adds a piece; its first block, or an invalid one when it made none.
    QTextBlock add(U16String html);
    // The document of every piece added.
    std::unique_ptr<QTextDocument> take();

private:
    std::unique_ptr<QTextDocument> document_;
    std::unique_ptr<PictureRouter> router_;
    QTextCursor edit_;
    bool started_ = false;
};

// The device-independent size of a picture of the document (by its name),
// without decoding it; empty when it has none.
QSizeF pictureSize(const QTextDocument& document, const QString& name);

// A picture of the document (by its name) as a file is to carry it: a JPEG
// kept at its own pixels whose stored bytes show it as it is drawn comes as
// those bytes, neither decoded nor encoded again; any other picture as it is
// drawn, with whether it came from a JPEG (a photo, best carried as one).
struct PictureToWrite {
    QByteArray jpeg;  // the stored bytes, or empty
    QSize pixels;     // their size
    QImage image;     // without them, the picture as drawn; null when there is none
    bool photo = false;
};
PictureToWrite pictureToWrite(const QTextDocument& document, const QString& name);

// Gives every picture of the document the size `sizeOf` picks for its
// device-independent size; a picture whose image cannot be decoded keeps its
// size.
void resizePictures(QTextDocument& document, const std::function<QSizeF(QSizeF)>& sizeOf);

} // namespace velkin::RichTextImport
