#pragma once
// Texts of one shape throughout, where no blank line parts the text into short
// paragraphs: a pasted log (one paragraph of many lines), the same log on one
// line, a bulleted list.
#include "platform/text/Utf.h"

#include "Changelogs.h"

#include <cstdint>
#include <string>

namespace velkin::bench {

// Log lines of about 100 characters, each ended by `lineEnd`, until `bytes` (as a UTF-8 file).
inline U16String logLines(size_t bytes, const char16_t* lineEnd)
{
    static const char16_t* const levels[] = {u"INFO", u"DEBUG", u"WARN", u"ERROR"};
    static const char16_t* const messages[] = {
        u"GET /api/v1/items?id=%d&sort=name_asc 200 in 12ms (cache *hit*)",
        u"worker_%d finished job `reindex` after 3 retries, queue depth 17",
        u"connection from 10.0.%d.4:51234 closed: peer reset [tls] <eof>",
        u"user alice_b uploaded report_%d.pdf (2.3 MB) to /srv/share/__incoming__",
        u"scheduler tick %d: 4 tasks due, ~2 skipped, next run in 30s"};
    U16String text;
    for (int i = 0; text.size() < bytes; ++i) {
        U16String message = messages[i % 5];
        message.replace(message.find(u"%d"), 2, u16(std::to_string(i % 997)));
        text += u"2026-12-07T06:";
        text += u16(std::to_string(10 + i % 50));
        text += u":00.123Z ";
        text += levels[i % 4];
        text += u" ";
        text += message;
        text += lineEnd;
    }
    return text;
}

// A pasted shell session of about 80-character lines until `bytes`: commands with
// quotes, expansions and comments, and their output.
inline U16String shellSession(size_t bytes)
{
    static const char16_t* const lines[] = {
        u"$ ls -la /var/log/app_%d",
        u"-rw-r--r-- 1 root adm 48213 Dec  7 06:12 syslog.%d.gz",
        u"$ grep -c \"ERROR\" /var/log/app/service_%d.log | sort -n > counts.txt",
        u"$ export PATH=\"$HOME/bin:$PATH\"; echo $? # status %d",
        u"Setting up libfoo%d (1.2.3-4) ...",
        u"$ for f in *.log; do gzip -9 \"$f\"; done && echo done_%d"};
    U16String text;
    for (int i = 0; text.size() < bytes; ++i) {
        U16String line = lines[i % 6];
        line.replace(line.find(u"%d"), 2, u16(std::to_string(i % 997)));
        text += line;
        text += u'\n';
    }
    return text;
}

// The log as one paragraph of lines, as one line, and as a bulleted list.
inline U16String logParagraph(size_t bytes) { return logLines(bytes, u"\n"); }
inline U16String logOnOneLine(size_t bytes)
{
    U16String line = logLines(bytes, u" ");
    line.back() = u'\n';
    return line;
}
inline U16String bulletedList(size_t bytes)
{
    U16String list = u"- " + logLines(bytes, u"\n- ");
    list.resize(list.size() - 2);
    return list;
}
// A bulleted list whose items go on over an indented line each.
inline U16String listWithContinuations(size_t bytes)
{
    return u"- " + logLines(bytes, u"\n  and a line more of the item\n- ") + u"last item\n";
}
// One item that a whole log continues, line after line, without indenting them.
inline U16String itemContinuedByALog(size_t bytes) { return u"- " + logLines(bytes, u"\n"); }

// A table of `rows` rows of four columns between a heading and a paragraph,
// after `above`.
inline U16String longTable(int64_t rows, U16View above = u"# Figures\n\nSome text.\n\n",
                           U16View under = u"\nAfter the table.\n")
{
    U16String text = U16String(above) + u"| Name | Value | Notes | More |\n| --- | --- | --- | --- |\n";
    for (int64_t i = 0; i < rows; ++i)
        text += u"| row" + u16(std::to_string(i)) + u" | " + u16(std::to_string(i * 7)) + u" | some words here | more |\n";
    return text + U16String(under);
}

// The log as one paragraph whose only "*" stands alone near its start: it opens
// nothing, yet a "*" anywhere below would pair with it.
inline U16String logWithALoneStar(size_t bytes)
{
    U16String log = logLines(bytes, u"\n");
    std::erase(log, u'*');
    return u"A lone * near the start\n" + log;
}

// The log after a line with a lone "*" and a lone "_" that nothing pairs with,
// though a line in a hundred holds both characters: the "*" in code, the "_"
// inside a word ("`*.log`", "old_logs").
inline U16String logWithRareGlobs(size_t bytes)
{
    U16String log = logLines(bytes, u"\n");
    std::erase_if(log, [](char16_t c) { return c == u'*' || c == u'_'; });
    U16String text = u"A lone * and a lone _ near the start\n";
    int line = 0;
    for (size_t at = 0; at < log.size(); ++line) {
        const size_t end = log.find(u'\n', at);
        text.append(log, at, end - at);
        if (line % 100 == 99)
            text += u" rotated `*.log` to old_logs";
        text += u'\n';
        at = end + 1;
    }
    return text;
}

// Lines of `bytes` without a blank: base64-like text, and minified JSON whose
// records each hold an address no blank ends and a "*" that pairs with the next record's.
inline U16String lineWithoutBlanks(size_t bytes)
{
    U16String line;
    while (line.size() < bytes)
        line += u"QUJDRGVmZ2hpams0NTY3ODkrLw";
    return line + u"\n";
}
inline U16String minifiedJSONLine(size_t bytes)
{
    U16String line = u"[";
    while (line.size() < bytes)
        line += u"{\"id\":12,\"tags\":[\"a_b\",\"c*d\"],\"url\":\"http://x.y/z\"},";
    return line + u"{}]\n";
}
// The log on one line as the text of a list item, of a quotation, of a table's
// cell (between a header row and the row after it) and of a fenced code block.
inline U16String itemOnOneLine(size_t bytes) { return u"- " + logOnOneLine(bytes); }
inline U16String quoteOnOneLine(size_t bytes) { return u"> " + logOnOneLine(bytes); }
inline U16String cellOnOneLine(size_t bytes)
{
    U16String line = logOnOneLine(bytes);
    line.pop_back();
    return u"| Log | Size |\n| --- | --- |\n| " + line + u" | 2 MB |\n| short | 1 |\n";
}
inline U16String fencedOnOneLine(size_t bytes) { return u"```\n" + logOnOneLine(bytes) + u"```\n\nAfter.\n"; }
// The log on one line after a lone backtick, which pairs with the log's first one
// and so shifts every code span of the line by one.
inline U16String lineWithALoneBacktick(size_t bytes) { return u"start ` here " + logOnOneLine(bytes); }
// The log on one line, without backticks, after a "``" that nothing closes.
inline U16String lineWithAnUnclosedBacktickRun(size_t bytes)
{
    U16String line = logOnOneLine(bytes);
    std::erase(line, u'`');
    return u"start `` here " + line;
}

// The log quoted, each line after "> ": a plain quote, an alert (drawn as a
// panel) whose first line names its kind, and a quote whose first line alone
// has the marker, the log going on from it lazily.
inline U16String longQuote(size_t bytes) { return u"> " + logLines(bytes, u"\n> ") + u"end of the quote\n"; }
inline U16String longAlert(size_t bytes) { return u"> [!NOTE]\n" + longQuote(bytes); }
inline U16String quoteContinuedByALog(size_t bytes) { return u"> " + logLines(bytes, u"\n"); }

// The changelogs' list items ("* [hash](link) - **area**: text"), one after
// another without a blank line, until `bytes`; empty without the changelogs.
inline U16String changelogItems(size_t bytes)
{
    const std::string logs = changelogs(4 * bytes);
    std::string items;
    for (size_t at = 0; at < logs.size() && items.size() < bytes;) {
        size_t end = logs.find('\n', at);
        end = end == std::string::npos ? logs.size() : end + 1;
        if (logs.compare(at, 2, "* ") == 0)
            items.append(logs, at, end - at);
        at = end;
    }
    return u16(items);
}

} // namespace velkin::bench
