#include "draw/GlSceneDrawing.h"

namespace {

GlSceneDrawing glDrawing;

} // namespace

// Installed while the program starts, before anything can draw. Every link against this
// library names this variable as undefined (CMakeLists.txt), so this file is part of every
// program that links the library, whichever of the library's functions the program calls.
extern "C" const bool minigolfGlDrawingInstalled = (SceneDrawing::install(&glDrawing), true);
