#include "tarn/luceparser.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>

#include "tarn/diagnostics.h"
#include "tarn/loadingpace.h"

namespace Tarn {

namespace {

// Splits a line into tokens: chunks at spaces, tokens at tabs, empty ones
// skipped. A chunk starting with '#' ends the line; a token starting with
// '#' ends only its chunk.
std::vector<std::string> tokenize(const std::string& line) {
    std::vector<std::string> tokens;
    std::size_t chunkStart = 0;
    while (chunkStart <= line.size()) {
        std::size_t chunkEnd = line.find(' ', chunkStart);
        if (chunkEnd == std::string::npos)
            chunkEnd = line.size();
        if (chunkEnd > chunkStart) {
            if (line[chunkStart] == '#')
                break;
            std::size_t tokenStart = chunkStart;
            while (tokenStart < chunkEnd) {
                // Looked for within the chunk only: searching the rest of the
                // line for every word made long lines quadratic
                // (luceparser_bench).
                const std::size_t tokenEnd = static_cast<std::size_t>(
                    std::find(line.begin() + static_cast<std::ptrdiff_t>(tokenStart),
                              line.begin() + static_cast<std::ptrdiff_t>(chunkEnd), '\t') -
                    line.begin());
                if (tokenEnd > tokenStart) {
                    if (line[tokenStart] == '#')
                        break;
                    tokens.emplace_back(line, tokenStart, tokenEnd - tokenStart);
                }
                tokenStart = tokenEnd + 1;
            }
        }
        chunkStart = chunkEnd + 1;
    }
    return tokens;
}

}  // namespace

LUCEParser::LUCEParser() : m_lineNumber(0) {}

void LUCEParser::addKeyword(const std::string& keyword, LUCEEvent callback) {
    m_keywords.emplace(keyword, std::move(callback));
}

bool LUCEParser::finiteNumber(const std::string& word, double& value) {
    char* end = nullptr;
    value = std::strtod(word.c_str(), &end);
    return !word.empty() && end == word.c_str() + word.size() && std::isfinite(value);
}

void LUCEParser::setScript(const std::string& path) {
    m_script = path;
}

void LUCEParser::setIgnoredLineHandler(LUCEIgnoredLine handler) {
    m_ignoredLine = std::move(handler);
}

void LUCEParser::ignoreLine(const std::string& why) {
    if (m_ignoredLine)
        m_ignoredLine(m_lineNumber, why);
}

LUCEIgnoredLine LUCEParser::printIgnoredLines(const std::string& owner, const std::string& script) {
    return [owner, script](int line, const std::string& what) {
        Diagnostics::problemAt(owner, script, line, what + "; line ignored");
    };
}

void LUCEParser::parse(const std::string& text) {
    // A callback may parse again on this parser; its caller keeps its line.
    const int outerLine = m_lineNumber;
    m_lineNumber = 0;
    std::optional<Diagnostics::ScriptScope> scope;
    if (!m_script.empty())
        scope.emplace(m_script, &m_lineNumber);
    f_call("LUCE:parseStart", {});
    int stoppedAt = 0;
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        // A line ends at LF, CR LF or a lone CR.
        std::size_t lineEnd = text.find_first_of("\r\n", lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        ++m_lineNumber;
        const std::string line = text.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        if (lineEnd + 1 < text.size() && text[lineEnd] == '\r' && text[lineEnd + 1] == '\n')
            ++lineStart;
        if (line.empty() || line[0] == '#')
            continue;
        // Escape while loading ends the program at the next frame: nothing
        // more is read (DemoProgramGLTest.EscapeWhileLoadingQuitsAtTheNextFrame).
        if (LoadingPace::cancelled())
            break;
        std::vector<std::string> tokens = tokenize(line);
        if (tokens.empty())
            continue;
        // What follows the outermost block is not read, but it is not lost
        // without a word either.
        if (stoppedAt > 0)
            ignoreLine("after the outermost block, which ended on line " +
                       std::to_string(stoppedAt));
        else if (!f_dispatch(tokens))
            stoppedAt = m_lineNumber;
    }
    if (stoppedAt > 0)
        m_lineNumber = stoppedAt;
    f_call("LUCE:parseEnd", {});
    m_lineNumber = outerLine;
    scope.reset();
    if (!m_script.empty())
        Diagnostics::endOfFile(m_script);
}

bool LUCEParser::f_dispatch(std::vector<std::string>& tokens) {
    if (tokens[0] == "begin") {
        if (tokens.size() < 2) {
            ignoreLine("begin without a block type");
            return true;
        }
        const std::string type = tokens[1];
        m_stack.push_back(type);
        f_call("begin:" + type, std::vector<std::string>(tokens.begin() + 2, tokens.end()));
        return true;
    }
    if (tokens[0] == "end") {
        if (m_stack.empty()) {
            ignoreLine("end with no open block");
            return true;
        }
        f_call("end:" + m_stack.back(), {});
        // The end callback may itself have parsed on this parser.
        if (!m_stack.empty())
            m_stack.pop_back();
        return !m_stack.empty();
    }
    // Block and parse events are the parser's to call: script text naming
    // one is an unknown keyword (LUCEParserTest.EveryIgnoredLineIsReported).
    const std::string keyword = tokens[0];
    const bool event = keyword.compare(0, 6, "begin:") == 0 || keyword.compare(0, 4, "end:") == 0 ||
                       keyword.compare(0, 5, "LUCE:") == 0;
    if (event || !f_call(keyword, std::vector<std::string>(tokens.begin() + 1, tokens.end())))
        ignoreLine("unknown keyword \"" + keyword + "\"" + f_nearestKeyword(keyword));
    return true;
}

// Only a close keyword is offered: a list of every keyword would bury the line.
std::string LUCEParser::f_nearestKeyword(const std::string& word) const {
    std::vector<std::string> names;
    for (const auto& entry : m_keywords)
        if (entry.first.find(':') == std::string::npos)
            names.push_back(entry.first);
    const std::string close = Diagnostics::nearest(word, names);
    return close.empty() ? std::string() : "; did you mean \"" + close + "\"?";
}

bool LUCEParser::f_call(const std::string& keyword, std::vector<std::string> arguments) {
    const auto found = m_keywords.find(keyword);
    if (found == m_keywords.end())
        return false;
    found->second(std::move(arguments));
    return true;
}

}  // namespace Tarn
