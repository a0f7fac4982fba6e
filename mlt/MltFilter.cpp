#include "mlt/MltFilter.h"

#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>

#include "embed/FrameRenderer.h"
#include "host/HostError.h"
#include "mlt/FilterProperties.h"
#include "mlt/MltPropertySource.h"

namespace vmlt {

namespace {

struct State {
    vembed::FrameRenderer renderer;
    std::mutex mutex;
    std::string last_failure;  // said once until another one comes
};

State* StateOf(mlt_filter filter) { return static_cast<State*>(filter->child); }

// Logs `failure` unless it is the one logged last.
void Report(mlt_filter filter, const std::string& failure) {
    State* state = StateOf(filter);
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        if (failure == state->last_failure) return;
        state->last_failure = failure;
    }
    mlt_log_error(MLT_FILTER_SERVICE(filter), "%s; the frame passes through unchanged\n", failure.c_str());
}

PF_RationalScale Ratio(int part, int whole) {
    const int g = std::gcd(part, whole);
    return PF_RationalScale{part / g, static_cast<A_u_long>(whole / g)};
}

int RenderImage(mlt_frame frame, uint8_t** image, mlt_image_format* format, int* width, int* height,
                int /*writable*/) {
    mlt_filter filter = static_cast<mlt_filter>(mlt_frame_pop_service(frame));
    *format = mlt_image_rgba;
    const int error = mlt_frame_get_image(frame, image, format, width, height, 0);
    if (error || !*image || *format != mlt_image_rgba || *width < 1 || *height < 1) return error;
    try {
        mlt_properties properties = MLT_FILTER_PROPERTIES(filter);
        mlt_profile profile = mlt_service_profile(MLT_FILTER_SERVICE(filter));
        const mlt_position position = mlt_filter_get_position(filter, frame);
        const mlt_position length = mlt_filter_get_length2(filter, frame);
        State* state = StateOf(filter);

        vembed::RgbaFrame f;
        f.width = *width;
        f.height = *height;
        f.layer_width = profile && profile->width > 0 ? profile->width : *width;
        f.layer_height = profile && profile->height > 0 ? profile->height : *height;
        f.scale_x = Ratio(f.width, f.layer_width);
        f.scale_y = Ratio(f.height, f.layer_height);
        const double fps = profile ? mlt_profile_fps(profile) : 0;
        f.time = fps > 0 ? position / fps : 0;

        vparams::EffectValues values;
        {
            // MLT's animations cache their parse in the property: one reader at a time.
            mlt_service_lock(MLT_FILTER_SERVICE(filter));
            std::unique_ptr<void, void (*)(void*)> unlock(
                filter, [](void* p) { mlt_service_unlock(MLT_FILTER_SERVICE(static_cast<mlt_filter>(p))); });
            values = ValuesFromProperties(MltPropertySource(properties, position, length), state->renderer.Declared(),
                                          f.layer_width, f.layer_height);
        }

        // The box is in the profile's pixels, the effect's widths in square ones: with
        // non-square pixels the box keeps its columns and the mask turns undistorted.
        if (profile && profile->sample_aspect_num > 0 && profile->sample_aspect_den > 0 &&
            profile->sample_aspect_num != profile->sample_aspect_den) {
            f.pixel_aspect = Ratio(profile->sample_aspect_num, profile->sample_aspect_den);
            if (values.width) {
                values.width = *values.width * f.pixel_aspect.num / static_cast<double>(f.pixel_aspect.den);
            }
        }

        const int size = mlt_image_format_size(mlt_image_rgba, f.width, f.height, nullptr);
        auto* out = static_cast<uint8_t*>(mlt_pool_alloc(size));
        if (!out) throw vhost::HostError("out of memory for a frame of " + std::to_string(size) + " bytes");
        f.in = *image;
        f.out = out;
        const std::string failure = state->renderer.Render(values, f);
        if (!failure.empty()) {
            mlt_pool_release(out);
            Report(filter, failure);
            return 0;
        }
        mlt_frame_set_image(frame, out, size, mlt_pool_release);
        *image = out;
    } catch (const std::exception& e) {
        Report(filter, e.what());
    } catch (...) {
        Report(filter, "unknown error");
    }
    return 0;
}

mlt_frame Process(mlt_filter filter, mlt_frame frame) {
    mlt_frame_push_service(frame, filter);
    mlt_frame_push_get_image(frame, RenderImage);
    return frame;
}

void Close(mlt_filter filter) {
    delete StateOf(filter);
    filter->child = nullptr;
    filter->close = nullptr;
    filter->parent.close = nullptr;
    mlt_service_close(&filter->parent);
}

}  // namespace

mlt_filter NewFilter(mlt_profile /*profile*/) {
    std::unique_ptr<State> state;
    try {
        state = std::make_unique<State>();
    } catch (const std::exception& e) {
        mlt_log_error(nullptr, "vellora: cannot start the filter: %s\n", e.what());
        return nullptr;
    } catch (...) {
        mlt_log_error(nullptr, "%s\n", "vellora: cannot start the filter");
        return nullptr;
    }
    mlt_filter filter = mlt_filter_new();
    if (!filter) return nullptr;
    filter->child = state.release();
    filter->process = Process;
    filter->close = Close;
    return filter;
}

}  // namespace vmlt
