#pragma once
// HTML imported as Qt rich text, the platform's import for PDF and RTF.
// Pictures come only from base64 data addresses and absolute local picture
// files read by our own rules (regular files only, size cap, decodable); Qt
// never loads one by itself, nothing is fetched from the network, and a
// picture that cannot be loaded gives way to its alt text.
#include "platform/text/Range.h"

#include <QSizeF>
#include <QTextDocument>

#include <functional>
#include <memory>

namespace velkin::RichTextImport {

// The document of an HTML text, laid out with design metrics and no margin.
std::unique_ptr<QTextDocument> load(U16View html);

// Gives every picture of the document the size `sizeOf` picks for its image;
// a picture whose image cannot be decoded keeps its size.
void resizePictures(QTextDocument& document, const std::function<QSizeF(const QImage&)>& sizeOf);

} // namespace velkin::RichTextImport
