// The window on the display: an SDL window with an OpenGL context and Dear
// ImGui on it, and the textures the picture is drawn from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "overlay/Overlay.h"

struct SDL_Window;
struct ImDrawList;
struct ImDrawCmd;

namespace vview {

class Screen {
public:
    // Throws HostError when there is no display or no OpenGL 3 context.
    Screen(const std::string& title, int width, int height);
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    SDL_Window* Window() { return window_; }
    void Size(int& width, int& height) const;
    void SetTitle(const std::string& title);

    // Starts an ImGui frame; Present renders it and shows it.
    void NewFrame();
    void Present();

private:
    void Close();

    SDL_Window* window_ = nullptr;
    void* gl_context_ = nullptr;
    bool imgui_sdl_ = false, imgui_gl_ = false;
};

// The picture area, drawn in one pass of its own shader: the checkerboard in
// 8-pixel squares of the window, and over it, with its straight alpha, the
// frame, each window pixel showing the layer pixel nearest to it as the
// host's other windows do (integer window coordinates name pixel centres).
class PictureLayer {
public:
    // Needs the window's OpenGL context current. Throws HostError when the shader does not build.
    PictureLayer();
    ~PictureLayer();
    PictureLayer(const PictureLayer&) = delete;
    PictureLayer& operator=(const PictureLayer&) = delete;

    // The frame, straight 8-bit RGBA, row-major.
    void Upload(const uint8_t* rgba, int width, int height);

    struct Placement {
        int clip_x = 0, clip_y = 0, clip_w = 0, clip_h = 0;  // the window area to draw in
        int origin_x = 0, origin_y = 0;  // window pixel of content pixel (0, 0)
        double zoom = 1;
        double content_w = 0, content_h = 0;  // the layer, or the composition holding it
        double layer_x = 0, layer_y = 0;      // the layer's place in the content
        int layer_w = 0, layer_h = 0;         // full resolution
        int downsample = 1;                   // of the uploaded frame
        bool show_frame = false;
    };
    // Queues the draw on `list`, run when ImGui renders it.
    void Draw(ImDrawList* list, const Placement& placement);

private:
    static void Run(const ImDrawList* list, const ImDrawCmd* cmd);

    // A texture per frame size, kept: a drag and its release switch between two.
    struct Texture {
        unsigned id;
        int width, height;
    };
    std::vector<Texture> textures_;
    size_t current_ = 0;
    unsigned program_ = 0, vao_ = 0, vbo_ = 0;
    Placement placement_;
};

// The strokes the effect made, drawn as the host's drawing suites rasterise them:
// theme strokes in the overlay colour over a dark shadow, pen strokes in their colour and width.
void DrawStrokes(ImDrawList* list, const std::vector<voverlay::StrokeRecord>& strokes);

}  // namespace vview
