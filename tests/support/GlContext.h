#pragma once

// Makes a GL context current for a gl test: a small GLUT window on the display in DISPLAY,
// created on the first call and kept for the rest of the test process. The model-view matrix is
// the current matrix mode afterwards. Without a display that opens, the process ends with the
// status CTest counts as skipped, after a line on standard error saying why.
void ensureGlContext();
