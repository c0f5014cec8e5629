#pragma once

// Makes a GL context current for a gl test: a small GLUT window on the display in DISPLAY,
// created on the first call and kept for the rest of the test process. The model-view matrix is
// the current matrix mode afterwards.
void ensureGlContext();
