#ifndef TESTS_SHIP_SUPPORT_GAMEFILES_H
#define TESTS_SHIP_SUPPORT_GAMEFILES_H

#include <string>
#include <vector>

// Small but valid stand-ins for the game's six data files, written into a test's own folder, so
// the tests never depend on data/.

// The six file names the game reads from its working directory.
const std::vector<std::string>& gameFileNames();

// The bytes of a valid stand-in for name (one of gameFileNames()): an ASCII Open Inventor scene
// for the models (the boarder's holds a few hundred points, so every copy read costs memory), and
// 24-bit bottom-up BMPs of power-of-two size for the pictures.
std::string validGameFile(const std::string& name);

// A 24-bit bottom-up BMP of width x height pixels with padded rows; pixel colours vary with x and
// y.
std::string makeBmp24(int width, int height);

// A bottom-up BMP of width x height pixels and bits a pixel (8 with paletteEntries palette entries,
// or 16 and more) with padded rows; pixel bytes vary with x and y.
std::string makeBmp(int width, int height, int bits, int paletteEntries);

// An 8-bit BMP of width x height pixels with a 256-entry palette: valid, but not the 24 bits
// a pixel that the game's pictures need.
std::string makeBmp8(int width, int height);

// Writes bytes to dir/name, replacing any file there. Returns false when it cannot.
bool writeFile(const std::string& dir, const std::string& name, const std::string& bytes);

// Writes all six valid stand-ins into dir. Returns false when any cannot be written.
bool writeGameFiles(const std::string& dir);

// Makes a new empty folder under the system's temporary folder and returns its path.
std::string makeTempDir(const std::string& prefix);

// Deletes dir and everything below it.
void removeTree(const std::string& dir);

#endif  // TESTS_SHIP_SUPPORT_GAMEFILES_H
