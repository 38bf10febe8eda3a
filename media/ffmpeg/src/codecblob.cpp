#include "mediaff/codecblob.h"

#include <cstring>

namespace mediaff {

namespace {

constexpr std::uint8_t kMagic[8] = {'V', 'L', 'F', 'F', 'C', 'P', '0', '1'};

// Fixed part, little-endian host layout (the blob never leaves the process).
struct BlobHeader {
    std::uint8_t magic[8];
    std::int32_t codecType;
    std::int32_t codecId;
    std::uint32_t codecTag;
    std::int32_t format;
    std::int64_t bitRate;
    std::int32_t bitsPerCodedSample;
    std::int32_t bitsPerRawSample;
    std::int32_t profile;
    std::int32_t level;
    std::int32_t width;
    std::int32_t height;
    std::int32_t sarNum;
    std::int32_t sarDen;
    std::int32_t fieldOrder;
    std::int32_t colorRange;
    std::int32_t colorPrimaries;
    std::int32_t colorTrc;
    std::int32_t colorSpace;
    std::int32_t chromaLocation;
    std::int32_t videoDelay;
    std::int32_t sampleRate;
    std::int32_t channels;
    std::uint32_t pad0;
    std::uint64_t channelMask;  // 0 when the layout has no native mask
    std::int32_t blockAlign;
    std::int32_t frameSize;
    std::int32_t initialPadding;
    std::int32_t trailingPadding;
    std::int32_t seekPreroll;
    std::int32_t extradataSize;
};

}  // namespace

std::vector<std::uint8_t> SerializeCodecParameters(const AVCodecParameters *par) {
    BlobHeader h{};
    std::memcpy(h.magic, kMagic, sizeof kMagic);
    h.codecType = par->codec_type;
    h.codecId = par->codec_id;
    h.codecTag = par->codec_tag;
    h.format = par->format;
    h.bitRate = par->bit_rate;
    h.bitsPerCodedSample = par->bits_per_coded_sample;
    h.bitsPerRawSample = par->bits_per_raw_sample;
    h.profile = par->profile;
    h.level = par->level;
    h.width = par->width;
    h.height = par->height;
    h.sarNum = par->sample_aspect_ratio.num;
    h.sarDen = par->sample_aspect_ratio.den;
    h.fieldOrder = par->field_order;
    h.colorRange = par->color_range;
    h.colorPrimaries = par->color_primaries;
    h.colorTrc = par->color_trc;
    h.colorSpace = par->color_space;
    h.chromaLocation = par->chroma_location;
    h.videoDelay = par->video_delay;
    h.sampleRate = par->sample_rate;
    h.channels = par->ch_layout.nb_channels;
    h.channelMask = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? par->ch_layout.u.mask : 0;
    h.blockAlign = par->block_align;
    h.frameSize = par->frame_size;
    h.initialPadding = par->initial_padding;
    h.trailingPadding = par->trailing_padding;
    h.seekPreroll = par->seek_preroll;
    h.extradataSize = par->extradata && par->extradata_size > 0 ? par->extradata_size : 0;
    std::vector<std::uint8_t> out(sizeof h + static_cast<std::size_t>(h.extradataSize));
    std::memcpy(out.data(), &h, sizeof h);
    if (h.extradataSize) std::memcpy(out.data() + sizeof h, par->extradata, static_cast<std::size_t>(h.extradataSize));
    return out;
}

bool ParseCodecParameters(const std::uint8_t *data, std::size_t size, AVCodecParameters *out) {
    if (!data || !out || size < sizeof(BlobHeader)) return false;
    BlobHeader h;
    std::memcpy(&h, data, sizeof h);
    if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0) return false;
    if (h.extradataSize < 0 || static_cast<std::size_t>(h.extradataSize) > size - sizeof h) return false;
    if (h.channels < 0 || h.channels > 64) return false;
    av_freep(&out->extradata);
    out->extradata_size = 0;
    out->codec_type = static_cast<AVMediaType>(h.codecType);
    out->codec_id = static_cast<AVCodecID>(h.codecId);
    out->codec_tag = h.codecTag;
    out->format = h.format;
    out->bit_rate = h.bitRate;
    out->bits_per_coded_sample = h.bitsPerCodedSample;
    out->bits_per_raw_sample = h.bitsPerRawSample;
    out->profile = h.profile;
    out->level = h.level;
    out->width = h.width;
    out->height = h.height;
    out->sample_aspect_ratio = {h.sarNum, h.sarDen};
    out->field_order = static_cast<AVFieldOrder>(h.fieldOrder);
    out->color_range = static_cast<AVColorRange>(h.colorRange);
    out->color_primaries = static_cast<AVColorPrimaries>(h.colorPrimaries);
    out->color_trc = static_cast<AVColorTransferCharacteristic>(h.colorTrc);
    out->color_space = static_cast<AVColorSpace>(h.colorSpace);
    out->chroma_location = static_cast<AVChromaLocation>(h.chromaLocation);
    out->video_delay = h.videoDelay;
    out->sample_rate = h.sampleRate;
    av_channel_layout_uninit(&out->ch_layout);
    if (h.channels > 0) {
        if (h.channelMask && av_popcount64(h.channelMask) == h.channels)
            av_channel_layout_from_mask(&out->ch_layout, h.channelMask);
        else
            av_channel_layout_default(&out->ch_layout, h.channels);
    }
    out->block_align = h.blockAlign;
    out->frame_size = h.frameSize;
    out->initial_padding = h.initialPadding;
    out->trailing_padding = h.trailingPadding;
    out->seek_preroll = h.seekPreroll;
    if (h.extradataSize > 0) {
        out->extradata = static_cast<std::uint8_t *>(av_mallocz(static_cast<std::size_t>(h.extradataSize) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!out->extradata) return false;
        std::memcpy(out->extradata, data + sizeof h, static_cast<std::size_t>(h.extradataSize));
        out->extradata_size = h.extradataSize;
    }
    return true;
}

}  // namespace mediaff
