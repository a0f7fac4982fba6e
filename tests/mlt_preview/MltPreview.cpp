// A stand-in for an editor's preview: asks MLT for frame 0 of PRODUCER
// through the filter "vellora" at REQ_WxREQ_H while the profile stays
// WxH (as Kdenlive's and Shotcut's preview scaling do), and writes the
// image as raw RGBA. melt cannot: its consumer's size becomes the profile's.
//   vellora_mlt_preview REPOSITORY W H REQ_W REQ_H OUT PRODUCER [NAME=VALUE...]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {
#include <framework/mlt.h>
}

int main(int argc, char** argv) {
    if (argc < 8) {
        std::fprintf(stderr, "usage: %s REPOSITORY W H REQ_W REQ_H OUT PRODUCER [NAME=VALUE...]\n", argv[0]);
        return 2;
    }
    if (!mlt_factory_init(argv[1])) return 1;
    mlt_profile profile = mlt_profile_init(nullptr);
    profile->width = std::atoi(argv[2]);
    profile->height = std::atoi(argv[3]);
    profile->frame_rate_num = 25;
    profile->frame_rate_den = 1;
    profile->sample_aspect_num = profile->sample_aspect_den = 1;
    mlt_producer producer = mlt_factory_producer(profile, nullptr, argv[7]);
    mlt_filter filter = mlt_factory_filter(profile, "vellora", nullptr);
    if (!producer || !filter) return 1;
    for (int i = 8; i < argc; ++i) mlt_properties_parse(MLT_FILTER_PROPERTIES(filter), argv[i]);
    mlt_producer_attach(producer, filter);
    mlt_frame frame = nullptr;
    if (mlt_service_get_frame(MLT_PRODUCER_SERVICE(producer), &frame, 0) || !frame) return 1;
    uint8_t* image = nullptr;
    mlt_image_format format = mlt_image_rgba;
    int width = std::atoi(argv[4]), height = std::atoi(argv[5]);
    if (mlt_frame_get_image(frame, &image, &format, &width, &height, 0) || !image || format != mlt_image_rgba) return 1;
    FILE* out = std::fopen(argv[6], "wb");
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    const bool ok = out && std::fwrite(image, 1, bytes, out) == bytes && std::fclose(out) == 0;
    std::printf("%dx%d\n", width, height);
    mlt_frame_close(frame);
    mlt_filter_close(filter);
    mlt_producer_close(producer);
    mlt_profile_close(profile);
    mlt_factory_close();
    return ok ? 0 : 1;
}
