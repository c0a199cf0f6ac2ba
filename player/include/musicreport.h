#ifndef TARN_PLAYER_MUSICREPORT_H
#define TARN_PLAYER_MUSICREPORT_H

// tarn-demo --analyse: the analysis of a demo's music, written where a maker
// can see where its events fall before keying anything. Reads only the demo
// script's soundtrack and tempo lines and the music, with no window.
//   music-analysis.csv  time,bass,lowmids,highmids,highs,onset,level: one row
//                       every 5 ms, values 0 to 1
//   music-analysis.png  50 columns a second: the log spectrum (30 Hz at the
//                       bottom to 15 kHz), under it the four bands and the
//                       onsets as graphs; a white line at each bar of the
//                       tempo grid, brighter every fourth bar
// Both go to the working folder. Returns the exit code: 0, or 1 after one
// line on standard output and standard error (no soundtrack, music that
// does not decode, a file that cannot be written; nothing is claimed
// written that is not).

#include <ostream>
#include <string>

int writeMusicReport(const std::string& content, std::ostream& out, std::ostream& err);

#endif
