#include "highlight/SpecialTokenizers.h"
#include "TokenText.h"

#include <gtest/gtest.h>

using namespace velkin;
using namespace velkin::CodeHighlighter;
using velkin::testing::describe;

namespace {

std::string shell(U16View code) { return describe(code, shellTokens(code)); }
std::string make(U16View code) { return describe(code, makefileTokens(code)); }
std::string diff(U16View code) { return describe(code, diffTokens(code)); }

} // namespace

TEST(ShellTokens, CommandWordsAndKeywords)
{
    EXPECT_EQ(shell(u"echo hi"), "keyword[echo]");
    EXPECT_EQ(shell(u"if true; then ls; fi"), "keyword[if] keyword[true] keyword[then] keyword[ls] keyword[fi]");
    EXPECT_EQ(shell(u"[ -f x ]"), "keyword[[] keyword[]]");
    EXPECT_EQ(shell(u"a | b && c"), "keyword[a] keyword[b] keyword[c]");
    EXPECT_EQ(shell(u"f() { echo hi; }"), "keyword[f]");
    EXPECT_EQ(shell(u"x `date` y"), "keyword[x] keyword[date]");
}

TEST(ShellTokens, AssignmentsLoopsAndNumbers)
{
    EXPECT_EQ(shell(u"FOO=1 make"), "type[FOO] number[1] keyword[make]");
    EXPECT_EQ(shell(u"export FOO=1"), "keyword[export] type[FOO] number[1]");
    EXPECT_EQ(shell(u"for f in *.md; do cat $f; done"),
              "keyword[for] type[f] keyword[in] keyword[do] keyword[cat] type[$f] keyword[done]");
    EXPECT_EQ(shell(u"cmd 2>&1"), "keyword[cmd] number[2] number[1]");
    EXPECT_EQ(shell(u"v 1.5 -1 0x1F \u0661"), "keyword[v] number[1.5] number[\u0661]");
}

TEST(ShellTokens, ExpansionsAndStrings)
{
    EXPECT_EQ(shell(u"echo $(date)"), "keyword[echo] keyword[date]");
    EXPECT_EQ(shell(u"echo \"$HOME and ${x:-y}\""),
              "keyword[echo] string[\"$HOME and ${x:-y}\"] type[$HOME] type[${x:-y}]");
    EXPECT_EQ(shell(u"echo '$HOME'"), "keyword[echo] string['$HOME']");
    EXPECT_EQ(shell(u"echo $1 $? $@ $$ $ x"), "keyword[echo] type[$1] type[$?] type[$@] type[$$]");
    EXPECT_EQ(shell(u"echo ${a{b}c}"), "keyword[echo] type[${a{b}c}]");
}

TEST(ShellTokens, CommentsOnlyAfterAWordStop)
{
    EXPECT_EQ(shell(u"a#b"), "keyword[a#b]");
    EXPECT_EQ(shell(u"x #c"), "keyword[x] comment[#c]");
    EXPECT_EQ(shell(u"x=#c"), "type[x] comment[#c]");
    EXPECT_EQ(shell(u"# note\nmake run"), "comment[# note] keyword[make]");
}

TEST(ShellTokens, UnterminatedConstructsEndAtTheEnd)
{
    EXPECT_EQ(shell(u"echo \"abc"), "keyword[echo] string[\"abc]");
    EXPECT_EQ(shell(u"echo 'abc"), "keyword[echo] string['abc]");
    EXPECT_EQ(shell(u"echo ${abc"), "keyword[echo] type[${abc]");
    EXPECT_EQ(shell(u"echo \"a\\"), "keyword[echo] string[\"a\\]");
    EXPECT_EQ(shell(u"$"), "");
    EXPECT_EQ(shell(u"echo \"$"), "keyword[echo] string[\"$]");
}

TEST(ShellTokens, ExpansionInsideAStringStopsAtItsQuote)
{
    // The unclosed "$(" inside the string ends with the string; scanning goes on after it.
    EXPECT_EQ(shell(u"echo \"$(a\" b; ls"), "keyword[echo] string[\"$(a\"] type[$(a\"] keyword[ls]");
    EXPECT_EQ(shell(u"x \"${y\"; z"), "keyword[x] string[\"${y\"] type[${y\"] keyword[z]");
}

TEST(ShellTokens, HereDocuments)
{
    EXPECT_EQ(shell(u"cat <<EOF\na $x\nEOF\nls"), "keyword[cat] string[a $x\n] keyword[ls]");
    EXPECT_EQ(shell(u"cat <<-EOF\n\tbody\n\tEOF\nls"), "keyword[cat] string[\tbody\n] keyword[ls]");
    EXPECT_EQ(shell(u"cat <<'EOF'\n$x\nEOF\nls"), "keyword[cat] string[$x\n] keyword[ls]");
    EXPECT_EQ(shell(u"cat <<\"EOF\"\n$x\nEOF\nls"), "keyword[cat] string[$x\n] keyword[ls]");
    // "\EOF" is the whole delimiter: a plain EOF line does not close it.
    EXPECT_EQ(shell(u"cat <<\\EOF\nx\nEOF\nls"), "keyword[cat] string[x\nEOF\nls]");
    EXPECT_EQ(shell(u"cat <<< word\nls"), "keyword[cat] keyword[ls]");
    EXPECT_EQ(shell(u"cat <<EOF\nEOF\nls"), "keyword[cat] keyword[ls]");
}

TEST(ShellTokens, NestedAndUnfinishedHereDocuments)
{
    // Two here-documents on one line: their bodies follow one after the other.
    EXPECT_EQ(shell(u"cat <<A <<B\none\nA\ntwo\nB\nls"), "keyword[cat] string[one\n] string[two\n] keyword[ls]");
    // A delimiter line with a trailing CR or blank does not close the body.
    EXPECT_EQ(shell(u"cat <<EOF\r\nx\r\nEOF\r\nls"), "keyword[cat] string[x\r\nEOF\r\nls]");
    EXPECT_EQ(shell(u"cat <<EOF\nx\nEOF \nls"), "keyword[cat] string[x\nEOF \nls]");
    // The text ends right after the line that opens the document.
    EXPECT_EQ(shell(u"cat <<EOF\n"), "keyword[cat]");
    EXPECT_EQ(shell(u"cat <<"), "keyword[cat]");
    EXPECT_EQ(shell(u"cat <<'"), "keyword[cat]");
    EXPECT_EQ(shell(u"cat <<- "), "keyword[cat]");
}

TEST(MakefileTokens, HeadsReferencesAndComments)
{
    EXPECT_EQ(make(u"all: main.o"), "type[all]");
    EXPECT_EQ(make(u"CC = cc"), "keyword[CC]");
    EXPECT_EQ(make(u"CC := cc"), "keyword[CC]");
    EXPECT_EQ(make(u"CFLAGS += -O2"), "keyword[CFLAGS +]");
    EXPECT_EQ(make(u"\tcc -o $@ $(OBJS) # x"), "type[$(OBJS)] comment[# x]");
    EXPECT_EQ(make(u"$(OUT): a"), "type[$(OUT)] type[$(OUT)]");
    EXPECT_EQ(make(u"x = $(a $(b))"), "keyword[x] type[$(a $(b)]");
    EXPECT_EQ(make(u"x = ${open"), "keyword[x] type[${open]");
    EXPECT_EQ(make(u"# all: x"), "comment[# all: x]");
    EXPECT_EQ(make(u"a b: c\r\n\t$(CC)\r\n"), "type[a b] type[$(CC)]");
}

TEST(MakefileTokens, LineStartingWithAColonYieldsNoEmptyToken)
{
    const U16String text = u":\n: x\n=1\n:=2";
    const CodeTokens tokens = makefileTokens(text);
    EXPECT_TRUE(tokens.empty());
    EXPECT_TRUE(velkin::testing::allInside(tokens, text.size()));
}

TEST(DiffTokens, OneTokenPerRecognisedLine)
{
    EXPECT_EQ(diff(u"--- a/f\n+++ b/f\n@@ -1 +1 @@\n-x\n+y\n same\n\\ No newline at end of file"),
              "comment[--- a/f] comment[+++ b/f] type[@@ -1 +1 @@] deleted[-x] inserted[+y]");
    EXPECT_EQ(diff(u"diff --git a b\nindex 1..2\nnew file mode\ndeleted file mode\nrename from x\nsimilarity index 9"),
              "comment[diff --git a b] comment[index 1..2] comment[new file mode] comment[deleted file mode] "
              "comment[rename from x] comment[similarity index 9]");
    EXPECT_EQ(diff(u"-a\r\n+b\r\n\r\n"), "deleted[-a] inserted[+b]");
    EXPECT_EQ(diff(u"diffx\nindexy"), "");
}
