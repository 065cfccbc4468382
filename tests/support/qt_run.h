// Runs the GoogleTest tests already initialised inside a QApplication made for them, then takes
// down what the game's libraries keep open, so that the process ends cleanly and LeakSanitizer is
// quiet. For test binaries with a main of their own (those that first start a display of their
// own).
#pragma once

int runTestsInApplication(int argc, char** argv);
