#include "tarn/luceparser.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fuzz_inputs.h"

namespace {

using Tarn::LUCEParser;

// Records every callback as "keyword(arg,arg)@line" so a whole parse can be
// compared with one expected list.
class Recorder {
public:
    explicit Recorder(LUCEParser& parser, std::vector<std::string> keywords) : m_parser(parser) {
        for (const std::string& keyword : keywords)
            parser.addKeyword(keyword, [this, keyword](std::vector<std::string> args) {
                std::string call = keyword + "(";
                for (std::size_t i = 0; i < args.size(); ++i)
                    call += (i ? "," : "") + args[i];
                calls.push_back(call + ")@" + std::to_string(m_parser.lineNumber()));
            });
    }
    std::vector<std::string> calls;

private:
    LUCEParser& m_parser;
};

std::vector<std::string> parseWith(const std::string& text, std::vector<std::string> keywords) {
    LUCEParser parser;
    Recorder recorder(parser, std::move(keywords));
    parser.parse(text);
    return recorder.calls;
}

const std::vector<std::string> kDemoKeywords = {"windowtitle",  "effect",     "key",
                                                "begin:postfx", "end:postfx", "LUCE:parseStart",
                                                "LUCE:parseEnd"};

TEST(LUCEParserTest, DemoScriptLineByLine) {
    const std::string script = "# the demo\n"
                               "windowtitle  Velvet Dreams\n"
                               "begin postfx\n"
                               "effect Glow #strong\n"
                               "end\n"
                               "windowtitle never read\n";
    const std::vector<std::string> expected = {
        "LUCE:parseStart()@0", "windowtitle(Velvet,Dreams)@2",
        "begin:postfx()@3",    "effect(Glow)@4",
        "end:postfx()@5",      "LUCE:parseEnd()@5"};
    EXPECT_EQ(parseWith(script, kDemoKeywords), expected);
}

TEST(LUCEParserTest, CRLFAndLFGiveTheSameCalls) {
    const std::string lf = "key 1\t2\nbegin postfx a\n\teffect x\nend\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(parseWith(crlf, kDemoKeywords), parseWith(lf, kDemoKeywords));
    EXPECT_EQ(parseWith(lf, kDemoKeywords)[1], "key(1,2)@1");
}

// Comments at the three levels: the line, a space-separated chunk, a
// tab-separated token. Each row: script line, expected calls between the
// parse events.
TEST(LUCEParserTest, TokensAndComments) {
    const struct {
        const char* line;
        std::vector<std::string> calls;
    } cases[] = {
        {"", {}},
        {"  \t \t  ", {}},
        {"# key 1", {}},
        {"key\t#x 2", {"key(2)@1"}},                  // '#' token ends only its tab chunk
        {"key #x\t2 3", {"key()@1"}},                 // '#' chunk ends the line
        {"key a#b \"q r\"", {"key(a#b,\"q,r\")@1"}},  // no quoting; inner # is plain
        {"key   a\t\tb", {"key(a,b)@1"}},
        {"unknown 1 2", {}},
        {"KEY 1", {}},  // keywords are case-sensitive
    };
    for (const auto& c : cases) {
        std::vector<std::string> calls = parseWith(c.line, {"key", "KEy"});
        EXPECT_EQ(calls, c.calls) << "line: \"" << c.line << "\"";
    }
}

TEST(LUCEParserTest, FirstRegistrationWins) {
    LUCEParser parser;
    std::string called;
    parser.addKeyword("key", [&](std::vector<std::string>) { called += "first"; });
    parser.addKeyword("key", [&](std::vector<std::string>) { called += "second"; });
    parser.parse("key\nkey 1");
    EXPECT_EQ(called, "firstfirst");
}

TEST(LUCEParserTest, NestedBlocksStopAfterTheOutermostEnd) {
    const std::string script = "begin A 1 2\n"
                               "begin B\n"
                               "key x\n"
                               "end ignored tokens\n"
                               "key y\n"
                               "end\n"
                               "key never\n"
                               "begin A\n";
    const std::vector<std::string> expected = {
        "LUCE:parseStart()@0", "begin:A(1,2)@1", "begin:B()@2", "key(x)@3",
        "end:B()@4",           "key(y)@5",       "end:A()@6",   "LUCE:parseEnd()@6"};
    EXPECT_EQ(parseWith(script, {"begin:A", "end:A", "begin:B", "end:B", "key", "LUCE:parseStart",
                                 "LUCE:parseEnd"}),
              expected);
}

TEST(LUCEParserTest, UnregisteredBlockIsATransparentWrapper) {
    const std::vector<std::string> expected = {"begin:entity(box)@2", "key(1)@3", "end:entity()@4",
                                               "begin:entity(cam)@5", "end:entity()@6"};
    EXPECT_EQ(parseWith("begin scene\n"
                        "begin entity box\nkey 1\nend\n"
                        "begin entity cam\nend\n"
                        "end\nkey after",
                        {"begin:entity", "end:entity", "key"}),
              expected);
}

TEST(LUCEParserTest, BlockWordsAreExactFirstTokens) {
    // "begin:postfx" as a first token is an event name, which script text
    // cannot call; "Begin" is no block word; keywords named begin or end are
    // never called; "end" as a later token is ordinary.
    EXPECT_EQ(parseWith("begin:postfx x\nBegin y\nkey end\nbegin\nend\nkey after",
                        {"begin:postfx", "Begin", "key", "begin", "end"}),
              (std::vector<std::string>{"Begin(y)@2", "key(end)@3", "key(after)@6"}));
}

TEST(LUCEParserTest, MalformedBlockLines) {
    // A begin without a type opens nothing; an end with nothing open closes
    // nothing and the parse goes on.
    EXPECT_EQ(parseWith("begin\nkey 1\nend\nkey 2", {"key", "LUCE:parseEnd"}),
              (std::vector<std::string>{"key(1)@2", "key(2)@4", "LUCE:parseEnd()@4"}));
}

// Every line that no callback handles reaches the loader's handler, in
// script order among the calls ("!line: what"); none is lost silently.
TEST(LUCEParserTest, EveryIgnoredLineIsReported) {
    const struct {
        const char* script;
        std::vector<std::string> calls;
    } cases[] = {
        {"key 1\nfoo 2\nkey 3",
         {"key(1)@1", "!2: unknown keyword \"foo\"", "key(3)@3", "LUCE:parseEnd()@3"}},
        {"begin:A x\nend:A\nLUCE:parseEnd",
         {"!1: unknown keyword \"begin:A\"", "!2: unknown keyword \"end:A\"",
          "!3: unknown keyword \"LUCE:parseEnd\"", "LUCE:parseEnd()@3"}},
        {"begin\nend\nkey 1",
         {"!1: begin without a block type", "!2: end with no open block", "key(1)@3",
          "LUCE:parseEnd()@3"}},
        {"bad 1\nkey 2", {"!1: bad needs two arguments", "key(2)@2", "LUCE:parseEnd()@2"}},
        {"begin A\nend\n\n# comment\nkey 1\n  \nbegin B",
         {"begin:A()@1", "end:A()@2", "!5: after the outermost block, which ended on line 2",
          "!7: after the outermost block, which ended on line 2", "LUCE:parseEnd()@2"}},
        // A lone carriage return ends a line as a line feed does.
        {"key 1\rkey 2\r\nkey 3\r\rkey 5",
         {"key(1)@1", "key(2)@2", "key(3)@3", "key(5)@5", "LUCE:parseEnd()@5"}},
    };
    for (const auto& c : cases) {
        LUCEParser parser;
        Recorder recorder(parser, {"key", "begin:A", "end:A", "LUCE:parseEnd"});
        parser.addKeyword(
            "bad", [&](std::vector<std::string>) { parser.ignoreLine("bad needs two arguments"); });
        parser.setIgnoredLineHandler([&](int line, const std::string& what) {
            recorder.calls.push_back("!" + std::to_string(line) + ": " + what);
        });
        parser.parse(c.script);
        EXPECT_EQ(recorder.calls, c.calls) << c.script;
    }
}

TEST(LUCEParserTest, OpenBlocksCarryOverToTheNextParse) {
    LUCEParser parser;
    Recorder recorder(parser, {"begin:A", "end:A", "key"});
    parser.parse("begin A\nkey 1");
    parser.parse("key 2\nend\nkey 3");
    EXPECT_EQ(recorder.calls,
              (std::vector<std::string>{"begin:A()@1", "key(1)@2", "key(2)@1", "end:A()@2"}));
}

TEST(LUCEParserTest, LineNumbersCountEveryLine) {
    EXPECT_EQ(parseWith("\n# comment\n\n  \nkey a\r\nkey b\n", {"key", "LUCE:parseEnd"}),
              (std::vector<std::string>{"key(a)@5", "key(b)@6", "LUCE:parseEnd()@6"}));
}

// Texts that once broke the parser. Each must parse, twice on one parser as
// the fuzz target does, and reach the parse end event both times.
TEST(LUCEParserTest, SavedFuzzInputs) {
    const auto inputs = Tarn::Test::fuzzRegressionInputs("luceparser_fuzz");
    ASSERT_FALSE(inputs.empty());
    for (const auto& [name, text] : inputs) {
        LUCEParser parser;
        int ends = 0;
        parser.addKeyword("LUCE:parseEnd", [&](std::vector<std::string>) { ++ends; });
        parser.addKeyword("begin:a", [](std::vector<std::string>) {});
        parser.parse(text);
        parser.parse(text);
        EXPECT_EQ(ends, 2) << name;
    }
}

}  // namespace
