// Parses arbitrary text with keywords registered for every shape the loaders
// use, so that dispatch, block handling, the line counter and the reports of
// ignored lines all run.

#include <tarn/luceparser.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Tarn::LUCEParser parser;
    std::size_t seen = 0;
    auto count = [&seen, &parser](std::vector<std::string> arguments) {
        seen += arguments.size() + static_cast<std::size_t>(parser.lineNumber());
    };
    for (const char* keyword : {"key", "effect", "a", "#x", "begin:entity", "end:entity", "begin:a",
                                "end:a", "LUCE:parseStart", "LUCE:parseEnd"})
        parser.addKeyword(keyword, count);
    parser.setIgnoredLineHandler([&seen](int line, const std::string& what) {
        seen += static_cast<std::size_t>(line) + what.size();
    });
    parser.parse(text);
    // Blocks left open carry over into a second parse on the same parser.
    parser.parse(text);
    return seen == static_cast<std::size_t>(-1);
}
