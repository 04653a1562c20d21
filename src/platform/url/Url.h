#pragma once
// Addresses (RFC 3986) kept as their text, exactly as written once parsed:
// nothing is lower-cased or re-encoded behind the caller's back.
#include <optional>
#include <string>
#include <string_view>

namespace velkin {

class Url {
public:
    // Parses an absolute or relative address; nothing when the text holds
    // characters an address may not hold (blanks, controls, non-ASCII, a bad escape).
    static std::optional<Url> parse(std::string_view text);
    // Parses `text` relative to `base` and resolves it (standard reference resolution).
    static std::optional<Url> parse(std::string_view text, const Url& base);
    // The file address of a path; a relative path is taken from the working directory.
    // Its steps stay as written ("." and ".." too): only the system knows where they lead.
    static Url fileURL(const std::string& path, bool isDirectory = false);

    // The whole address, or the relative reference as written.
    const std::string& string() const { return text_; }
    const std::string& absoluteString() const { return text_; }
    bool hasScheme() const { return !scheme_.empty(); }
    const std::string& scheme() const { return scheme_; }
    bool isFileURL() const;
    std::string host() const;
    // The percent-decoded path.
    std::string path() const;
    // The path as written (still encoded).
    std::string encodedPath() const;
    std::optional<std::string> query() const;
    std::optional<std::string> fragment() const;
    // The extension of the last path component, without the dot ("" when none).
    std::string pathExtension() const;
    std::string lastPathComponent() const;
    Url deletingLastPathComponent() const;
    Url appendingPathComponent(const std::string& component, bool isDirectory = false) const;
    Url deletingPathExtension() const;

    bool operator==(const Url& other) const { return text_ == other.text_; }

    // Characters allowed unencoded in a path: unreserved, sub-delims, ":", "@", "/".
    static bool isPathAllowed(unsigned char c);
    // Percent-encodes every byte of the UTF-8 text outside `allowed`.
    static std::string percentEncode(std::string_view text, bool (*allowed)(unsigned char) = isPathAllowed);
    // Decodes %XX escapes; nothing when an escape is malformed.
    static std::optional<std::string> percentDecode(std::string_view text);

private:
    struct Parts {
        std::string scheme;
        std::optional<std::string> authority;
        std::string path;
        std::optional<std::string> query;
        std::optional<std::string> fragment;
    };
    static bool split(std::string_view text, Parts& parts);
    static std::string compose(const Parts& parts);
    Parts parts() const;

    std::string text_;
    std::string scheme_;
};

} // namespace velkin
