#ifndef TARN_EXAMPLE_EXTENSIONS_H
#define TARN_EXAMPLE_EXTENSIONS_H

// Registers every extension TARN uses, in its fixed order: the stock ones
// (the mesh loader and the eight stock effects), then TARN's own three
// effects. Call once, before the application shell exists.
void registerExtensions();

#endif
