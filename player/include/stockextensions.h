#ifndef TARN_PLAYER_STOCKEXTENSIONS_H
#define TARN_PLAYER_STOCKEXTENSIONS_H

// Registers the engine's own extensions in their fixed order: the mesh
// loader, then the eight stock effects with the effect factory (one
// "Registered effect" line each). A demo's main() calls it before
// registering its own effects, once, before the application shell exists.
void registerStockExtensions();

#endif
