#include "script/substitution.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrawl::script {
namespace {

constexpr const char* kSource = "Set Variable Action";

struct Case {
  const char* text;
  const char* expected;
};

TEST(SubstitutionTest, ExpandReplacesReferencesAndRescansValues) {
  VariableStore v;
  v.DeclareVariable("TITLE", "Demo", kSource);
  v.DeclareVariable("TARGETDIR", "C:\\Demo", kSource);
  v.DeclareVariable("A", "x$B$y", kSource);
  v.DeclareVariable("B", "1", kSource);
  v.DeclareVariable("P", "x$B", kSource);  // a value ending inside a reference
  v.DeclareVariable("EMPTY", "", kSource);
  const Case cases[] = {
      {"Install $TITLE$ to $TARGETDIR$", "Install Demo to C:\\Demo"},
      {"$A$", "x1y"},
      {"$title$", "Demo"},
      // Q is no variable: its closing dollar opens the reference to B.
      {"$Q$B$", "$Q1"},
      {"100$ and $B$", "100$ and 1"},
      {"$MISSING$", "$MISSING$"},
      {"$", "$"},
      {"a$", "a$"},
      {"$$", "$$"},
      {"$$B$", "$1"},
      {"$B$$B$", "11"},
      {"[$EMPTY$]", "[]"},
      // The inserted value and the rest of the text are scanned as one.
      {"$P$$", "x1"},
      {"", ""},
      {"plain text", "plain text"},
      {"Straße $B$ €", "Straße 1 €"},
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(v, c.text), c.expected) << c.text;
}

TEST(SubstitutionTest, ExpandQuotedEnclosesValuesWithoutEscaping) {
  VariableStore v;
  v.DeclareVariable("A", "1", kSource);
  v.DeclareVariable("B", "2", kSource);
  v.DeclareVariable("Q", "a\"b", kSource);
  v.DeclareVariable("R", "$A$", kSource);
  const Case cases[] = {
      {"$A$ = $B$", "\"1\" = \"2\""},
      {"$Q$", "\"a\"b\""},
      {"$R$", "\"\"1\"\""},  // the inner reference is quoted again
      {"$MISSING$ = $A$", "$MISSING$ = \"1\""},
      {"no references", "no references"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExpandQuoted(v, c.text), c.expected) << c.text;
}

TEST(SubstitutionTest, SelfReferenceStopsAtTheBoundAndKeepsTheRestLiteral) {
  VariableStore v;
  v.DeclareVariable("S", "x$S$", kSource);
  EXPECT_EQ(Expand(v, "<$S$>"), "<" + std::string(kMaxReplacements, 'x') + "$S$>");

  // Two variables that refer to each other: an even number of replacements
  // brings the text back to where it started.
  v.DeclareVariable("M", "$N$", kSource);
  v.DeclareVariable("N", "$M$", kSource);
  EXPECT_EQ(Expand(v, "a$M$b"), "a$M$b");
  EXPECT_EQ(ExpandQuoted(v, "$M$").size(), 2 * kMaxReplacements + 3);
}

TEST(SubstitutionTest, LargeSelfReferenceStopsAtTheSizeBound) {
  VariableStore v;
  std::string block(1 << 20, 'y');
  v.DeclareVariable("BIG", block + "$BIG$", kSource);
  std::string out = Expand(v, "$BIG$!");
  EXPECT_LE(out.size(), kMaxExpandedSize);
  EXPECT_GT(out.size(), kMaxExpandedSize - 2 * block.size());
  EXPECT_EQ(out.substr(out.size() - 6), "$BIG$!");
  EXPECT_EQ(out.find_first_not_of('y'), out.size() - 6);
}

TEST(SubstitutionTest, VariableNameOfAcceptsOnlyOneWholeReference) {
  const Case cases[] = {
      {"$TARGETDIR$", "TARGETDIR"}, {"$a$", "a"},  {"TARGETDIR", ""}, {"$A$B$", ""},
      {"$A", ""},                   {"A$", ""},    {"$$", ""},        {"$", ""},
      {"", ""},                     {"x$A$", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(VariableNameOf(c.text), c.expected) << c.text;
}

TEST(SubstitutionTest, CompilerVariablesIgnoreCaseAndRepeatUntilStable) {
  // INNER comes first, so OUTER's value is only expanded by a second round.
  const std::vector<std::string> pairs = {"SINGLEINSTANCE", "TRUE", "INNER", "in",
                                          "OUTER", "#INNER#x", "LOCMODE", "1", "ODD"};
  const Case cases[] = {
      {"#SingleInstance#", "TRUE"},
      {"#X#", "#X#"},
      {"#ODD#", "#ODD#"},  // a name without a value is no pair
      {"#OUTER#", "inx"},
      {"a#LOCMODE##locmode#b", "a11b"},
      {"#", "#"},
      {"no hash", "no hash"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExpandCompilerVariables(pairs, c.text), c.expected) << c.text;
}

TEST(SubstitutionTest, SelfReferringCompilerVariableStopsAtTheBound) {
  const std::vector<std::string> pairs = {"LOOP", "#LOOP#z"};
  EXPECT_EQ(ExpandCompilerVariables(pairs, "#loop#"), "#LOOP#" + std::string(kMaxReplacements, 'z'));
}

TEST(SubstitutionTest, NewlineMarker) {
  EXPECT_EQ(LinesToMarker("a\r\nb\nc\r"), "a$NEWLINE$b\nc\r");
  EXPECT_EQ(LinesToMarker("\r\n\r\n"), "$NEWLINE$$NEWLINE$");
  EXPECT_EQ(MarkerToLines("a$newline$b$NEWLINE$$NewLine$$NEWLINE"), "a\r\nb\r\n\r\n$NEWLINE");
  const std::string text = "one\r\ntwo\r\n";
  EXPECT_EQ(MarkerToLines(LinesToMarker(text)), text);
}

TEST(SubstitutionTest, NewlineVariableTurnsTheMarkerIntoALineBreak) {
  VariableStore v;
  v.DeclareVariable("NEWLINE", "\r\n", "Initialization");
  EXPECT_EQ(Expand(v, "a$NEWLINE$b"), "a\r\nb");
}

}  // namespace
}  // namespace kestrawl::script
