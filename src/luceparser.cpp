#include "tarn/luceparser.h"

#include <algorithm>
#include <utility>

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

void LUCEParser::parse(const std::string& source) {
    // A callback may parse again on this parser; its caller keeps its line.
    const int outerLine = m_lineNumber;
    std::string text;
    text.reserve(source.size());
    for (char c : source)
        if (c != '\r')
            text += c;

    m_lineNumber = 0;
    f_call("LUCE:parseStart", {});
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        ++m_lineNumber;
        const std::string line = text.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> tokens = tokenize(line);
        if (!tokens.empty() && !f_dispatch(tokens))
            break;
    }
    f_call("LUCE:parseEnd", {});
    m_lineNumber = outerLine;
}

bool LUCEParser::f_dispatch(std::vector<std::string>& tokens) {
    if (tokens[0] == "begin") {
        // A begin without a type opens nothing.
        if (tokens.size() < 2)
            return true;
        const std::string type = tokens[1];
        m_stack.push_back(type);
        f_call("begin:" + type, std::vector<std::string>(tokens.begin() + 2, tokens.end()));
        return true;
    }
    if (tokens[0] == "end") {
        // An end with no open block ends the parse, as the outermost end does.
        if (m_stack.empty())
            return false;
        f_call("end:" + m_stack.back(), {});
        // The end callback may itself have parsed on this parser.
        if (!m_stack.empty())
            m_stack.pop_back();
        return !m_stack.empty();
    }
    const std::string keyword = tokens[0];
    tokens.erase(tokens.begin());
    f_call(keyword, std::move(tokens));
    return true;
}

void LUCEParser::f_call(const std::string& keyword, std::vector<std::string> arguments) {
    const auto found = m_keywords.find(keyword);
    if (found != m_keywords.end())
        found->second(std::move(arguments));
}

}  // namespace Tarn
