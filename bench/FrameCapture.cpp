// A library preloaded into the unchanged program (LD_PRELOAD) to take pictures of chosen frames,
// so that two builds can be compared pixel for pixel at the same frame:
//
//   MINIGOLF_CAPTURE_FRAMES=1,100,300 MINIGOLF_CAPTURE_PREFIX=/tmp/shot LD_PRELOAD=... minigolf
//
// - The picture depends on the frame count (the camera's orbit) and on the ball's position,
//   which moves by the measured time. The steady clock is frozen here, so every frame measures
//   0 s and the ball stays where it starts: the picture of frame n is then the same in every run.
// - Just before the n-th glutSwapBuffers of each listed n, the back buffer (the finished frame)
//   is read with glReadPixels and written to PREFIX-n.ppm (binary PPM, top row first).
// - After the swap of the last listed frame the process stops itself (SIGSTOP), so that the
//   window can be captured from the X server as well; the caller then ends it.
// - The window is created at (0, 0): without a window manager GLUT's default (-1, -1) puts an
//   edge off the screen, where an X screenshot cannot read it.
#include <GL/gl.h>
#include <GL/glut.h>
#include <GL/glx.h>

#include <dlfcn.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

std::set<int> framesWanted() {
    std::set<int> frames;
    const char* list = std::getenv("MINIGOLF_CAPTURE_FRAMES");
    std::string text = list != nullptr ? list : "";
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t comma = text.find(',', at);
        const std::string word = text.substr(at, comma == std::string::npos ? comma : comma - at);
        const int frame = std::atoi(word.c_str());
        if (frame > 0) {
            frames.insert(frame);
        }
        at = comma == std::string::npos ? text.size() : comma + 1;
    }
    return frames;
}

void writeBackBuffer(int frame) {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int width = viewport[2];
    const int height = viewport[3];
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());

    const char* prefix = std::getenv("MINIGOLF_CAPTURE_PREFIX");
    const std::string name =
        std::string(prefix != nullptr ? prefix : "frame") + "-" + std::to_string(frame) + ".ppm";
    std::FILE* out = std::fopen(name.c_str(), "wb");
    if (out == nullptr) {
        std::perror(name.c_str());
        return;
    }
    std::fprintf(out, "P6\n%d %d\n255\n", width, height);
    // GL's rows run bottom to top, PPM's top to bottom.
    for (int row = height - 1; row >= 0; --row) {
        std::fwrite(rgb.data() + static_cast<std::size_t>(row) * width * 3, 1,
                    static_cast<std::size_t>(width) * 3, out);
    }
    std::fclose(out);
}

template <typename Function> Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

// A constant reading: every frame of the program measures 0 s.
std::chrono::steady_clock::time_point std::chrono::steady_clock::now() noexcept {
    return time_point(duration(0));
}

extern "C" int glutCreateWindow(const char* title) {
    static const auto create = next<int (*)(const char*)>("glutCreateWindow");
    glutInitWindowPosition(0, 0);
    return create(title);
}

extern "C" void glutSwapBuffers() {
    static const auto swap = next<void (*)()>("glutSwapBuffers");
    static const std::set<int> frames = framesWanted();
    static int frame = 0;
    ++frame;
    const bool wanted = frames.count(frame) != 0;
    if (wanted) {
        writeBackBuffer(frame);
    }
    swap();
    if (wanted && frame == *frames.rbegin()) {
        // The swap's image must have reached the X server before the process stops.
        glFinish();
        XSync(glXGetCurrentDisplay(), False);
        std::raise(SIGSTOP);
    }
}
