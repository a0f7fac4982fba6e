#include "view/Screen.h"

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <imgui.h>

#include "host/HostError.h"

namespace vview {

using vhost::HostError;

namespace {

XErrorHandler g_previous_x_handler = nullptr;

// SDL ends its wait for events by sending the window an event from a second
// X connection. At quit the server may destroy the window before it reads
// that send; the send's BadWindow is harmless, but Xlib's default handler
// would end the process with status 1 after the window closed cleanly.
int IgnoreSendsToAGoneWindow(Display* display, XErrorEvent* error) {
    if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
    return g_previous_x_handler ? g_previous_x_handler(display, error) : 0;
}

}  // namespace

Screen::Screen(const std::string& title, int width, int height) {
    // Before SDL_Init: SDL keeps the handler it finds and puts it back as it
    // quits, just before closing the connections where that error arrives; a
    // handler set after it was gone again by then.
    if (!g_previous_x_handler) g_previous_x_handler = XSetErrorHandler(IgnoreSendsToAGoneWindow);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        throw HostError(std::string("cannot open the display: ") + SDL_GetError());
    }
    // Unless asked for, SDL's windowless drivers are a display it could not
    // reach: a window nobody can see would wait for ever.
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!(asked && *asked) && driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        SDL_Quit();
        const char* display = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        const std::string named = display && *display   ? std::string("'") + display + "' (DISPLAY)"
                                  : wayland && *wayland ? std::string("'") + wayland + "' (WAYLAND_DISPLAY)"
                                                        : std::string("");
        throw HostError("cannot open the display " + named +
                        ": nothing answers there; check it, or run headless with xvfb-run -a vellora view ...");
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
    if (!window_) return;
    SDL_DestroyWindow(window_);
    window_ = nullptr;
    SDL_Quit();
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

namespace {

const char* const kPictureVertex = R"(#version 150
in vec2 position;
in vec2 layer_point;
out vec2 layer_at;
void main() {
    layer_at = layer_point;
    gl_Position = vec4(position, 0.0, 1.0);
}
)";

// Mirrors the host's window picture without a branch: the nearest layer pixel
// (pixel centres at integer coordinates), straight alpha over the checkerboard.
const char* const kPictureFragment = R"(#version 150
uniform sampler2D frame;
uniform float window_height;
uniform vec2 layer_size;
uniform float downsample;
uniform vec2 texture_size;
in vec2 layer_at;
out vec4 color;
void main() {
    vec2 square = floor(vec2(gl_FragCoord.x, window_height - gl_FragCoord.y) * 0.125);
    float checker = 0.6 - 0.2 * mod(square.x + square.y, 2.0);
    vec2 pixel = floor(layer_at + 0.5);
    vec4 p = texture(frame, (floor(pixel / downsample) + 0.5) / texture_size);
    vec2 inside = step(vec2(0.0), pixel) * step(pixel, layer_size - 1.0);
    color = vec4(mix(vec3(checker), p.rgb, p.a * inside.x * inside.y), 1.0);
}
)";

GLuint Compile(GLenum kind, const char* source) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        glDeleteShader(shader);
        throw HostError(std::string("the picture's shader does not compile: ") + log);
    }
    return shader;
}

}  // namespace

PictureLayer::PictureLayer() {
    const GLuint vertex = Compile(GL_VERTEX_SHADER, kPictureVertex);
    GLuint fragment = 0;
    try {
        fragment = Compile(GL_FRAGMENT_SHADER, kPictureFragment);
    } catch (...) {
        glDeleteShader(vertex);
        throw;
    }
    program_ = glCreateProgram();
    glAttachShader(program_, vertex);
    glAttachShader(program_, fragment);
    glBindAttribLocation(program_, 0, "position");
    glBindAttribLocation(program_, 1, "layer_point");
    glBindFragDataLocation(program_, 0, "color");
    glLinkProgram(program_);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = 0;
    glGetProgramiv(program_, GL_LINK_STATUS, &ok);
    if (!ok) {
        glDeleteProgram(program_);
        throw HostError("the picture's shader does not link");
    }
    glGenVertexArrays(1, &vao_);
    glGenBuffers(1, &vbo_);
}

PictureLayer::~PictureLayer() {
    for (const Texture& t : textures_) glDeleteTextures(1, &t.id);
    glDeleteBuffers(1, &vbo_);
    glDeleteVertexArrays(1, &vao_);
    glDeleteProgram(program_);
}

void PictureLayer::Upload(const uint8_t* rgba, int width, int height) {
    current_ = textures_.size();
    for (size_t i = 0; i < textures_.size(); ++i) {
        if (textures_[i].width == width && textures_[i].height == height) current_ = i;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (current_ < textures_.size()) {
        glBindTexture(GL_TEXTURE_2D, textures_[current_].id);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return;
    }
    // Sizes come and go with the resolution: the view's and a gesture's, rarely more.
    if (textures_.size() >= 3) {
        glDeleteTextures(1, &textures_.front().id);
        textures_.erase(textures_.begin());
        current_ = textures_.size();
    }
    Texture t{0, width, height};
    glGenTextures(1, &t.id);
    glBindTexture(GL_TEXTURE_2D, t.id);
    // One level, read texel by texel.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    textures_.push_back(t);
}

void PictureLayer::Draw(ImDrawList* list, const Placement& placement) {
    placement_ = placement;
    placement_.show_frame = placement.show_frame && current_ < textures_.size();
    list->AddCallback(&PictureLayer::Run, this);
    list->AddCallback(ImDrawCallback_ResetRenderState, nullptr);
}

void PictureLayer::Run(const ImDrawList*, const ImDrawCmd* cmd) {
    const auto* self = static_cast<const PictureLayer*>(cmd->UserCallbackData);
    const Placement& p = self->placement_;
    const ImGuiIO& io = ImGui::GetIO();
    const double w = io.DisplaySize.x, h = io.DisplaySize.y;
    // The content's window rectangle (window pixel i covers i to i + 1; pixel
    // (0, 0) of the content is centred on the origin's pixel), cut to the area.
    const double left = std::max<double>(p.clip_x, p.origin_x + 0.5 - p.zoom * 0.5);
    const double top = std::max<double>(p.clip_y, p.origin_y + 0.5 - p.zoom * 0.5);
    const double right = std::min<double>(p.clip_x + p.clip_w, p.origin_x + 0.5 + p.zoom * (p.content_w - 0.5));
    const double bottom = std::min<double>(p.clip_y + p.clip_h, p.origin_y + 0.5 + p.zoom * (p.content_h - 0.5));
    if (right <= left || bottom <= top || w <= 0 || h <= 0) return;
    // Each corner carries the layer point at the centre of the window pixel there.
    const auto layer_x = [&](double x) { return static_cast<float>((x - 0.5 - p.origin_x) / p.zoom - p.layer_x); };
    const auto layer_y = [&](double y) { return static_cast<float>((y - 0.5 - p.origin_y) / p.zoom - p.layer_y); };
    const auto ndc_x = [&](double x) { return static_cast<float>(2 * x / w - 1); };
    const auto ndc_y = [&](double y) { return static_cast<float>(1 - 2 * y / h); };
    const float quad[] = {
        ndc_x(left),  ndc_y(top),    layer_x(left),  layer_y(top),
        ndc_x(right), ndc_y(top),    layer_x(right), layer_y(top),
        ndc_x(left),  ndc_y(bottom), layer_x(left),  layer_y(bottom),
        ndc_x(right), ndc_y(bottom), layer_x(right), layer_y(bottom),
    };
    glDisable(GL_BLEND);
    glDisable(GL_SCISSOR_TEST);
    const GLuint prog = self->program_;
    glUseProgram(prog);
    const Texture none{0, 1, 1};
    const Texture& texture = p.show_frame ? self->textures_[self->current_] : none;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture.id);
    glUniform1i(glGetUniformLocation(prog, "frame"), 0);
    glUniform1f(glGetUniformLocation(prog, "window_height"), static_cast<float>(h));
    // Without a frame, nothing of the layer is inside.
    glUniform2f(glGetUniformLocation(prog, "layer_size"), p.show_frame ? static_cast<float>(p.layer_w) : 0.0f,
                p.show_frame ? static_cast<float>(p.layer_h) : 0.0f);
    glUniform1f(glGetUniformLocation(prog, "downsample"), static_cast<float>(p.downsample));
    glUniform2f(glGetUniformLocation(prog, "texture_size"), static_cast<float>(texture.width),
                static_cast<float>(texture.height));
    glBindVertexArray(self->vao_);
    glBindBuffer(GL_ARRAY_BUFFER, self->vbo_);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STREAM_DRAW);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), reinterpret_cast<void*>(2 * sizeof(float)));
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
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
std::vector<SubPath> Flatten(const std::vector<voverlay::PathElement>& path, float dx, float dy) {
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
    for (const voverlay::PathElement& e : path) {
        switch (e.kind) {
            case voverlay::PathElement::Kind::Move:
                subpaths.push_back(SubPath{{ImVec2(e.x + dx, e.y + dy)}, false});
                break;
            case voverlay::PathElement::Kind::Line:
                current().points.push_back(ImVec2(e.x + dx, e.y + dy));
                break;
            case voverlay::PathElement::Kind::Arc: {
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
            case voverlay::PathElement::Kind::Close:
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

void DrawStrokes(ImDrawList* list, const std::vector<voverlay::StrokeRecord>& strokes) {
    for (const voverlay::StrokeRecord& s : strokes) {
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
