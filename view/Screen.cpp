#include "Screen.h"

#include <SDL.h>
#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <imgui.h>

#include "HostError.h"

namespace vview {

using vhost::HostError;

Screen::Screen(const std::string& title, int width, int height) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        throw HostError(std::string("cannot open the display: ") + SDL_GetError());
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                               SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE);
    if (!window_) {
        const std::string why = SDL_GetError();
        SDL_Quit();
        throw HostError("cannot open a window of " + std::to_string(width) + "x" + std::to_string(height) + ": " +
                        why);
    }
    gl_context_ = SDL_GL_CreateContext(window_);
    if (!gl_context_) {
        const std::string why = SDL_GetError();
        SDL_DestroyWindow(window_);
        SDL_Quit();
        throw HostError("cannot make an OpenGL 3.2 context (Mesa's llvmpipe provides one): " + why);
    }
    SDL_GL_MakeCurrent(window_, gl_context_);
    // Presenting never waits for the display: the loop sleeps in the event queue instead.
    SDL_GL_SetSwapInterval(0);

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // no imgui.ini left in the user's folder
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    ImGui::StyleColorsDark();
    imgui_sdl_ = ImGui_ImplSDL2_InitForOpenGL(window_, gl_context_);
    imgui_gl_ = imgui_sdl_ && ImGui_ImplOpenGL3_Init("#version 150");
    if (!imgui_gl_) {
        Close();
        throw HostError("cannot set up the controls on OpenGL");
    }
}

Screen::~Screen() { Close(); }

void Screen::Close() {
    if (imgui_gl_) ImGui_ImplOpenGL3_Shutdown();
    if (imgui_sdl_) ImGui_ImplSDL2_Shutdown();
    imgui_gl_ = imgui_sdl_ = false;
    if (ImGui::GetCurrentContext()) ImGui::DestroyContext();
    if (gl_context_) SDL_GL_DeleteContext(gl_context_);
    gl_context_ = nullptr;
    if (window_) SDL_DestroyWindow(window_);
    if (window_) SDL_Quit();
    window_ = nullptr;
}

void Screen::Size(int& width, int& height) const { SDL_GetWindowSize(window_, &width, &height); }

void Screen::SetTitle(const std::string& title) { SDL_SetWindowTitle(window_, title.c_str()); }

void Screen::NewFrame() {
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
}

void Screen::Present() {
    ImGui::Render();
    const ImGuiIO& io = ImGui::GetIO();
    glViewport(0, 0, static_cast<int>(io.DisplaySize.x), static_cast<int>(io.DisplaySize.y));
    glClearColor(0.16f, 0.16f, 0.16f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(window_);
}

Texture::~Texture() {
    if (id_) glDeleteTextures(1, &id_);
}

void* Texture::Id() const { return reinterpret_cast<void*>(static_cast<intptr_t>(id_)); }

void Texture::SetSmooth(bool smooth) {
    if (!id_ || smooth == smooth_) return;
    smooth_ = smooth;
    glBindTexture(GL_TEXTURE_2D, id_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, smooth ? GL_LINEAR : GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, smooth ? GL_LINEAR : GL_NEAREST);
}

void Texture::Upload(const uint8_t* rgba, int width, int height, bool smooth, bool repeat) {
    if (!id_) glGenTextures(1, &id_);
    glBindTexture(GL_TEXTURE_2D, id_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (width != width_ || height != height_) {
        const GLint wrap = repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        width_ = width;
        height_ = height;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    }
    smooth_ = !smooth;  // force the filter to be set
    SetSmooth(smooth);
}

namespace {

// The host's overlay colour and its shadow, as the window's drawing suites use them.
const ImU32 kThemeColor = IM_COL32(120, 199, 255, 255);
const ImU32 kShadowColor = IM_COL32(0, 0, 0, 191);

struct SubPath {
    std::vector<ImVec2> points;
    bool closed = false;
};

// Cairo's path semantics: a move starts a sub-path, an arc joins the current
// point by a line, a close ends the sub-path. Integer coordinates name pixel centres.
std::vector<SubPath> Flatten(const std::vector<vhost::PathElement>& path, float dx, float dy) {
    std::vector<SubPath> subpaths;
    const auto current = [&]() -> SubPath& {
        if (subpaths.empty() || subpaths.back().closed) {
            ImVec2 start = subpaths.empty() || subpaths.back().points.empty() ? ImVec2(0, 0)
                                                                              : subpaths.back().points.front();
            const bool had_point = !subpaths.empty() && !subpaths.back().points.empty();
            subpaths.push_back(SubPath{});
            if (had_point) subpaths.back().points.push_back(start);
        }
        return subpaths.back();
    };
    for (const vhost::PathElement& e : path) {
        switch (e.kind) {
            case vhost::PathElement::Kind::Move:
                subpaths.push_back(SubPath{{ImVec2(e.x + dx, e.y + dy)}, false});
                break;
            case vhost::PathElement::Kind::Line:
                current().points.push_back(ImVec2(e.x + dx, e.y + dy));
                break;
            case vhost::PathElement::Kind::Arc: {
                const double a0 = e.start * M_PI / 180.0, sweep = e.sweep * M_PI / 180.0;
                // Chords no further than a quarter pixel from the circle.
                const double r = std::fabs(e.radius);
                const double step = r > 0.25 ? 2.0 * std::acos(1.0 - 0.25 / r) : M_PI;
                const int n = std::clamp(static_cast<int>(std::ceil(std::fabs(sweep) / step)), 1, 1024);
                SubPath& sub = current();
                for (int k = 0; k <= n; ++k) {
                    const double a = a0 + sweep * k / n;
                    sub.points.push_back(ImVec2(static_cast<float>(e.x + dx + e.radius * std::cos(a)),
                                                static_cast<float>(e.y + dy + e.radius * std::sin(a))));
                }
                break;
            }
            case vhost::PathElement::Kind::Close:
                if (!subpaths.empty()) subpaths.back().closed = true;
                break;
        }
    }
    return subpaths;
}

void Stroke(ImDrawList* list, const std::vector<SubPath>& subpaths, ImU32 color, float width) {
    for (const SubPath& s : subpaths) {
        if (s.points.size() < 2) continue;
        list->AddPolyline(s.points.data(), static_cast<int>(s.points.size()), color,
                          s.closed ? ImDrawFlags_Closed : ImDrawFlags_None, width);
    }
}

}  // namespace

void DrawStrokes(ImDrawList* list, const std::vector<vhost::StrokeRecord>& strokes) {
    for (const vhost::StrokeRecord& s : strokes) {
        if (s.by_theme) {
            if (s.shadow) Stroke(list, Flatten(s.path, 1.5f, 1.5f), kShadowColor, 1.0f);
            Stroke(list, Flatten(s.path, 0.5f, 0.5f), kThemeColor, 1.0f);
        } else {
            const auto channel = [](float v) { return static_cast<int>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255)); };
            Stroke(list, Flatten(s.path, 0.5f, 0.5f),
                   IM_COL32(channel(s.color.red), channel(s.color.green), channel(s.color.blue),
                            channel(s.color.alpha)),
                   s.width > 0 ? s.width : 1.0f);
        }
    }
}

}  // namespace vview
