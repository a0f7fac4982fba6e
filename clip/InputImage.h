// The input a command renders: an image file read on demand, or the built-in
// test card, and the world a render reads it into.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "host/World.h"
#include "imaging/ImageIO.h"

namespace vclip {

struct ResolvedEffect;

// An input by name: an image file, read on demand, or the built-in card for
// "testcard:" / "testcard:WxH" (an 8-bit input as far as depth goes).
class InputImage {
public:
    explicit InputImage(const std::string& name);
    const std::string& Name() const { return name_; }
    int Width() const;
    int Height() const;
    vimaging::SampleType Type() const;
    // Width and height once scaled down by `n`: the boxes lie on the picture's
    // grid, so a data window at an odd origin can gain a column or row.
    int DownsampledWidth(int n) const;
    int DownsampledHeight(int n) const;
    // The file's channels, windows and metadata; null for the card.
    std::shared_ptr<const vimaging::ImageSource> Source() const;
    // Straight RGBA into a world of the input's size, or as an image; either once.
    void ReadInto(vhost::World& world);
    vimaging::Image Read();

private:
    std::string name_;
    std::optional<vimaging::ImageReader> file_;
    int card_width_ = 0, card_height_ = 0;
};

// The input as a world of `effect`'s layout, scaled down first when it asks
// (the full-resolution size is the input's). Then prints the effect's
// warnings: after the input has proved readable, so a refusal stays one line.
vhost::World LoadInputWorld(InputImage& input, const ResolvedEffect& effect);

}  // namespace vclip
