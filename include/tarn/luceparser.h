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
// Told about a line that no callback handled: its number and what was wrong.
using LUCEIgnoredLine = std::function<void(int line, const std::string& what)>;

class LUCEParser {
public:
    LUCEParser();

    // Registers a callback for a keyword: a plain word, "begin:TYPE" or
    // "end:TYPE" for blocks, or "LUCE:parseStart" / "LUCE:parseEnd". The
    // first registration of a keyword wins; later ones are ignored.
    void addKeyword(const std::string& keyword, LUCEEvent callback);

    // Parses the text, calling callbacks in script order. Lines end at LF,
    // CR LF or a lone CR. Parsing stops after the end that closes the
    // outermost open block. Blocks still open when the text runs out stay
    // open for the next parse on this parser. A block type without callbacks
    // is a transparent wrapper.
    void parse(const std::string& text);

    // The script's path: while parsing, reports that name no script are
    // placed at this script and the line being handled (Diagnostics).
    void setScript(const std::string& path);

    // Every line that no callback handles goes to the handler: an unknown
    // keyword (event names such as "begin:entity" are not keywords a script
    // can name), a begin without a type, an end with no open block (the
    // parse goes on), each line after the outermost block, and lines whose
    // callback calls ignoreLine. Without a handler they are dropped silently.
    void setIgnoredLineHandler(LUCEIgnoredLine handler);
    // For callbacks: the current line is not handled, for the reason given
    // (for instance a keyword outside its block).
    void ignoreLine(const std::string& why);
    // A handler that prints "[<owner>] <script>:<line>: <what>; line ignored".
    static LUCEIgnoredLine printIgnoredLines(const std::string& owner, const std::string& script);

    // A script word read as a number: true when the whole word is a finite
    // number ("abc", "1.5s", "nan" and "inf" are not). For lines that must
    // refuse what C's atof would quietly read as 0.
    static bool finiteNumber(const std::string& word, double& value);

    // The 1-based number of the line being handled, counting every line of
    // the text (comments and blank lines included), so callbacks can name it
    // in messages. 0 before the first line; in "LUCE:parseEnd", the last line read.
    int lineNumber() const { return m_lineNumber; }

private:
    // Returns false when the line ends the parse.
    bool f_dispatch(std::vector<std::string>& tokens);
    // "; did you mean "x"?" for a registered keyword close to word, else "".
    std::string f_nearestKeyword(const std::string& word) const;
    // False when no callback is registered for the keyword.
    bool f_call(const std::string& keyword, std::vector<std::string> arguments);

    std::map<std::string, LUCEEvent> m_keywords;
    std::vector<std::string> m_stack;  // open block types, innermost last
    LUCEIgnoredLine m_ignoredLine;
    std::string m_script;
    int m_lineNumber;
};

}  // namespace Tarn

#endif
