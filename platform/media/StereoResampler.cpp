#include "platform/media/StereoResampler.h"

#include <algorithm>

SwrContextPtr makeStereoResampler(const AVChannelLayout& layout, AVSampleFormat format, int inRate, int outRate,
                                  int* result) {
    AVChannelLayout in{}, out{};
    *result = 0;
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC || layout.nb_channels <= 0)
        av_channel_layout_default(&in, std::max(layout.nb_channels, 1));
    else
        *result = av_channel_layout_copy(&in, &layout);
    if (*result < 0) return nullptr;
    av_channel_layout_default(&out, 2);
    SwrContext* made = nullptr;
    *result = swr_alloc_set_opts2(&made, &out, AV_SAMPLE_FMT_FLT, outRate, &in, format, inRate, 0, nullptr);
    SwrContextPtr resampler(made);
    if (*result >= 0 && in.nb_channels == 1) {
        const double bothChannels[2] = {1.0, 1.0};
        *result = swr_set_matrix(made, bothChannels, 1);
    }
    if (*result >= 0) *result = swr_init(made);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (*result < 0) resampler.reset();
    return resampler;
}
