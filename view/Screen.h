// The window on the display: an SDL window with an OpenGL context and Dear
// ImGui on it, and the textures the picture is drawn from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Overlay.h"

struct SDL_Window;
struct ImDrawList;

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

// An RGBA8 texture, made or resized on upload.
class Texture {
public:
    Texture() = default;
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // `smooth`: filtered when drawn smaller or larger, else nearest pixel;
    // `repeat`: tiles outside 0..1.
    void Upload(const uint8_t* rgba, int width, int height, bool smooth, bool repeat = false);
    void SetSmooth(bool smooth);
    bool Empty() const { return id_ == 0; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void* Id() const;

private:
    unsigned id_ = 0;
    int width_ = 0, height_ = 0;
    bool smooth_ = false;
};

// The strokes the effect made, drawn as the host's drawing suites rasterise them:
// theme strokes in the overlay colour over a dark shadow, pen strokes in their colour and width.
void DrawStrokes(ImDrawList* list, const std::vector<vhost::StrokeRecord>& strokes);

}  // namespace vview
