#include "clip/InputImage.h"

#include <algorithm>

#include "clip/EffectSetup.h"
#include "imaging/ImageSource.h"
#include "imaging/TestCard.h"

namespace vclip {

InputImage::InputImage(const std::string& name) : name_(name) {
    if (const auto card = vimaging::ParseTestCardName(name)) {
        card_width_ = card->first;
        card_height_ = card->second;
        return;
    }
    file_.emplace(name);
}

int InputImage::Width() const { return file_ ? file_->Width() : card_width_; }
int InputImage::Height() const { return file_ ? file_->Height() : card_height_; }
vimaging::SampleType InputImage::Type() const { return file_ ? file_->Type() : vimaging::SampleType::U8; }
int InputImage::DownsampledWidth(int n) const {
    return vimaging::DownsampledSize(file_ ? file_->Source()->spec.x : 0, Width(), n);
}
int InputImage::DownsampledHeight(int n) const {
    return vimaging::DownsampledSize(file_ ? file_->Source()->spec.y : 0, Height(), n);
}
std::shared_ptr<const vimaging::ImageSource> InputImage::Source() const { return file_ ? file_->Source() : nullptr; }

void InputImage::ReadInto(vhost::World& world) {
    if (file_) {
        file_->ReadInto(world);
        return;
    }
    // The card is drawn a band at a time, so it never exists twice.
    for (int y0 = 0; y0 < card_height_; y0 += 64) {
        const int rows = std::min(64, card_height_ - y0);
        const vimaging::Image band = vimaging::MakeTestCardRows(card_width_, card_height_, y0, rows);
        for (int y = 0; y < rows; ++y) vimaging::ImageRowToWorld(band, y, world, y0 + y);
    }
}

vimaging::Image InputImage::Read() {
    return file_ ? file_->Read() : vimaging::MakeTestCard(card_width_, card_height_);
}

vhost::World LoadInputWorld(InputImage& input, const ResolvedEffect& effect) {
    vhost::World world = [&] {
        if (effect.downsample > 1) {
            return vimaging::ImageToWorld(vimaging::DownsampleImage(input.Read(), effect.downsample), effect.layout);
        }
        vhost::World read(effect.layout, input.Width(), input.Height());
        input.ReadInto(read);
        return read;
    }();
    PrintWarnings(effect);
    return world;
}

}  // namespace vclip
