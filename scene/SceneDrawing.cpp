#include "scene/SceneDrawing.h"

namespace {

// Zero before any dynamic initialisation, so the drawing library's start-up may install itself
// in whatever order the program's static objects are made.
SceneDrawing* installedDrawing = nullptr;

} // namespace

SceneDrawing* SceneDrawing::installed() {
    return installedDrawing;
}

void SceneDrawing::install(SceneDrawing* drawing) {
    installedDrawing = drawing;
}
