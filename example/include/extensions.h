#ifndef TARN_EXAMPLE_EXTENSIONS_H
#define TARN_EXAMPLE_EXTENSIONS_H

// Registers every extension the demo uses, in its fixed order: the mesh
// loader, then each effect with the effect factory (one "Registered effect"
// line each). Call once, before the application shell exists.
void registerExtensions();

#endif
