#pragma once
// Pasteboards by name: "general" is the desktop clipboard; any other name is a
// private board of this process (the self-test copies through those).
#include "platform/text/Range.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velkin {

class Pasteboard {
public:
    // Type names for the kinds of content Velkin exchanges.
    static constexpr const char* stringType = "text/plain";
    static constexpr const char* htmlType = "text/html";
    static constexpr const char* pngType = "image/png";
    static constexpr const char* fileURLType = "text/uri-list";

    static Pasteboard& general();
    static Pasteboard& named(const std::string& name);

    const std::string& name() const { return name_; }
    // Empties the board; returns the new change count.
    int clearContents();
    bool setString(const U16String& text, const std::string& type = stringType);
    bool setData(const std::string& bytes, const std::string& type);
    std::optional<U16String> string(const std::string& type = stringType) const;
    // The text a paste takes: the plain text, else the text of the HTML (a board
    // that offers only HTML, as browsers and office programs may); none without either.
    std::optional<U16String> plainText() const;
    std::optional<std::string> data(const std::string& type) const;
    std::vector<std::string> types() const;

private:
    explicit Pasteboard(std::string name) : name_(std::move(name)) {}
    bool isGeneral() const { return name_ == "general"; }

    std::string name_;
    std::map<std::string, std::string> items_;  // type -> bytes (strings as UTF-8)
    int changeCount_ = 0;
};

} // namespace velkin
