#ifndef TARN_LUCEPARSER_H
#define TARN_LUCEPARSER_H

// Parser for LUCE, the engine's line-oriented script language. A loader makes
// one parser, registers a callback per keyword it understands, and calls
// parse on the script text; the parser knows only the block words begin/end.

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Tarn {

// Called with the tokens of a line that follow its keyword.
using LUCEEvent = std::function<void(std::vector<std::string>)>;

class LUCEParser {
public:
    LUCEParser();

    // Registers a callback for a keyword: a plain word, "begin:TYPE" or
    // "end:TYPE" for blocks, or "LUCE:parseStart" / "LUCE:parseEnd". The
    // first registration of a keyword wins; later ones are ignored.
    void addKeyword(const std::string& keyword, LUCEEvent callback);

    // Parses the text, calling callbacks in script order. Parsing stops after
    // the end that closes the outermost open block. Blocks still open when
    // the text runs out stay open for the next parse on this parser.
    void parse(const std::string& text);

    // The 1-based number of the line being handled, counting every line of
    // the text (comments and blank lines included), so callbacks can name it
    // in messages. 0 before the first line; in "LUCE:parseEnd", the last line read.
    int lineNumber() const { return m_lineNumber; }

private:
    // Returns false when the line ends the parse.
    bool f_dispatch(std::vector<std::string>& tokens);
    void f_call(const std::string& keyword, std::vector<std::string> arguments);

    std::map<std::string, LUCEEvent> m_keywords;
    std::vector<std::string> m_stack;  // open block types, innermost last
    int m_lineNumber;
};

}  // namespace Tarn

#endif
