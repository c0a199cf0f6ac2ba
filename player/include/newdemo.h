#ifndef TARN_PLAYER_NEWDEMO_H
#define TARN_PLAYER_NEWDEMO_H

// tarn-demo --new: writes a small, complete demo into a new folder for a demo
// maker to start from (scripts that teach, two meshes, a texture and music it
// synthesizes), plays with tarn-demo FOLDER and passes --check unchanged.

#include <ostream>
#include <string>

// Writes the demo into folder, which must be new or empty and whose parent
// must exist. Lists what it wrote and the next commands on out; a refusal or
// a failed write is one line on both out and err. Returns the exit code:
// 0 when every file was written, else 1.
int writeNewDemo(const std::string& folder, std::ostream& out, std::ostream& err);

// The demo's music as a WAV file: four bars at 120 beats per minute (8 s,
// the length of the demo's one clip), 44.1 kHz, 16-bit stereo, its peak at
// -3 dBFS. The same bytes on every call.
std::string newDemoMusic();

#endif
