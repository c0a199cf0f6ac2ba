#ifndef TARN_PLAYER_PLAYER_H
#define TARN_PLAYER_PLAYER_H

// tarn-demo's whole run for any demo: reads the command line, registers the
// extensions through the demo's own function (after the command line, so
// --help and refusals print nothing else), then plays the content in a
// window, renders it to files, checks it or writes a new demo folder.
// Returns the process's exit code.

#include <functional>

int runPlayer(int argc, char** argv, const std::function<void()>& registerExtensions);

#endif
