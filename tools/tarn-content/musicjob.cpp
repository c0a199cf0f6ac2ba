#include <string>
#include <vector>

#include "generators.h"
#include "music.h"
#include "output.h"

namespace Content {

bool writeMusic(Output& out) {
    const Music music = renderMusic();
    std::string bytes, error;
    if (!encodeOggVorbis(music, bytes, error))
        return out.fail("assets/music.ogg: " + error);
    return out.write("assets/music.ogg", std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

}  // namespace Content
