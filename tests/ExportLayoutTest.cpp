// What PDF and RTF show of a document's tables and lists: every cell, each
// column's alignment, every list number beside its item's text.
#include "PdfText.h"
#include "export/Export.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace velkin;
namespace fs = std::filesystem;

namespace {

std::string rtfOf(const std::string& markdown)
{
    const auto data = Export::richText(MarkdownHTML::document(u16(markdown)));
    return data ? std::string(data->constData(), size_t(data->size())) : std::string();
}

// The alignment words of the table cells' paragraphs, in order.
std::vector<std::string> cellAlignments(const std::string& rtf)
{
    std::vector<std::string> out;
    for (size_t at = rtf.find("\\intbl\\q"); at != std::string::npos; at = rtf.find("\\intbl\\q", at + 1))
        out.push_back(rtf.substr(at + 6, 3));
    return out;
}

} // namespace

TEST(RichTextExport, TableColumnsKeepTheirAlignment)
{
    const std::string rtf = rtfOf("| a | b | c | d |\n| :-- | :-: | --: | --- |\n| l | m | r | n |\n");
    const std::vector<std::string> row{"\\ql", "\\qc", "\\qr", "\\ql"};
    std::vector<std::string> both = row;
    both.insert(both.end(), row.begin(), row.end());
    EXPECT_EQ(cellAlignments(rtf), both);
}
