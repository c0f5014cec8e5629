#pragma once

// The GLUT side of the program: one-time set-up and the four callbacks.
void initScene();
void onDisplay();
void onReshape(int width, int height);
void onIdle();
// Only the space bar does anything: it opens the console command menu.
void onKeyboard(unsigned char key, int x, int y);
