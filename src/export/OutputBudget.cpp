#include "export/OutputBudget.h"

#include <cstdio>

namespace velkin::OutputBudget {

namespace {

std::string megabytes(uint64_t bytes)
{
    return std::to_string((bytes + 500000) / 1000000) + " MB";
}

std::string gigabytes(uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", double(bytes) / 1e9);
    return text;
}

const char* verbOf(Output output)
{
    switch (output) {
    case Output::html: return "export as HTML";
    case Output::pdf: return "export as PDF";
    case Output::rtf: return "export as RTF";
    case Output::png: return "render";
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
    return std::string("the document is too large to ") + verbOf(output) + " with the " + gigabytes(memory)
           + " of memory at hand: at most " + megabytes(largest) + " of text, and it has " + megabytes(textBytes);
}

} // namespace velkin::OutputBudget
