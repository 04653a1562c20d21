#include "export/OutputBudget.h"

#include <cstdio>

namespace velkin::OutputBudget {

namespace {

// A size as a figure that means something at any size: in KB below a megabyte,
// in MB below a gigabyte, else in GB to a tenth.
std::string size(uint64_t bytes)
{
    if (bytes < 999500)
        return std::to_string((bytes + 500) / 1000) + " KB";
    if (bytes < 999500000)
        return std::to_string((bytes + 500000) / 1000000) + " MB";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", double(bytes) / 1e9);
    return text;
}

// A count with its thousands set apart.
std::string count(uint64_t n)
{
    const std::string digits = std::to_string(n);
    std::string out;
    for (size_t k = 0; k < digits.size(); ++k) {
        if (k > 0 && (digits.size() - k) % 3 == 0)
            out += ',';
        out += digits[k];
    }
    return out;
}

const char* verbOf(Output output)
{
    switch (output) {
    case Output::html: return "export as HTML";
    case Output::pdf: return "export as PDF";
    case Output::rtf: return "export as RTF";
    case Output::png: return "render";
    case Output::window: return "open";
    case Output::paste: return "paste";
    }
    return "export";
}

} // namespace

uint64_t largestText(Output output, uint64_t memory)
{
    return memory > kBase ? (memory - kBase) / perByte(output) : 0;
}

std::optional<std::string> refusal(Output output, uint64_t textBytes, uint64_t memory)
{
    const uint64_t largest = largestText(output, memory);
    if (textBytes <= largest)
        return std::nullopt;
    const std::string start = std::string(output == Output::paste ? "the text" : "the document") + " is too large to "
                              + verbOf(output) + " with the " + size(memory) + " of memory at hand";
    if (largest == 0)
        return start + ", less than the " + size(kBase) + " it takes before any text; the document has " + size(textBytes)
               + " of text";
    return start + ": at most " + size(largest) + " of text, and it has " + size(textBytes);
}

uint64_t tableCells(U16View page)
{
    // The page's text is escaped: every "<td", "<th" and "<br" is an element.
    uint64_t cells = 0;
    bool inCell = false;
    for (size_t lt = page.find(u'<'); lt != U16View::npos; lt = page.find(u'<', lt + 1)) {
        const U16View tag = page.substr(lt + 1, 3);
        if (tag.size() < 3)
            break;
        if ((tag == u"td>" || tag == u"th>" || tag == u"td " || tag == u"th ")) {
            ++cells;
            inCell = true;
        } else if (tag == u"/td" || tag == u"/th") {
            inCell = false;
        } else if (inCell && (tag == u"br>" || tag == u"br " || tag == u"br/")) {
            ++cells;
        }
    }
    return cells;
}

std::optional<std::string> tableRefusal(Output output, uint64_t textBytes, uint64_t cells, uint64_t memory)
{
    const uint64_t text = kBase + textBytes * perByte(output);
    const uint64_t need = text + cells * perCell(output);
    if (need <= memory)
        return std::nullopt;
    const uint64_t largest = memory > text ? (memory - text) / perCell(output) : 0;
    const std::string start = std::string("the document's tables are too large to ") + verbOf(output) + " with the "
                              + size(memory) + " of memory at hand";
    if (largest == 0)
        return start + ": its " + size(textBytes) + " of text leave no room for table cells, and it has " + count(cells);
    return start + ": at most " + count(largest) + " table cells and lines of cells beside its " + size(textBytes)
           + " of text, and it has " + count(cells);
}

} // namespace velkin::OutputBudget
