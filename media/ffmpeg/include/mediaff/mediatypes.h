// Media types of the FFmpeg stock filters.
//
// Compressed streams leave the splitter as MEDIATYPE_Video / MEDIATYPE_Audio
// with a subtype made from the FFmpeg codec id (CodecSubtype) and a standard
// format block (FORMAT_VideoInfo with a VIDEOINFOHEADER, or
// FORMAT_WaveFormatEx with a WAVEFORMATEX) followed by the codec blob of
// mediaff/codecblob.h, which is what the decoder opens its codec from. So
// any filter that reads the usual headers sees the picture size, frame
// rate, channels and rate, and the decoder gets the exact parameters.
//
// Uncompressed pictures use the platform's subtypes (RGB32, IYUV, ...) with
// the bitmap layouts of mediaff/codec.h.
#pragma once

#include "media/mtypes.h"
#include "mediaff/codec.h"
#include "mediaff/demuxer.h"

namespace mediaff {

// {<codec id>-4646-6D66-8E2C-5645524C494E}
GUID CodecSubtype(AVCodecID id);
// The codec id of a CodecSubtype, AV_CODEC_ID_NONE for any other GUID.
AVCodecID CodecIdOfSubtype(const GUID &subtype);

// The media type of a demuxed stream (see above).
CMediaType MakeCompressedType(const DemuxStream &stream);
// Fills `out` from a compressed type made by MakeCompressedType; false for
// any other type (uncompressed, damaged, unknown codec).
bool ParseCompressedType(const AM_MEDIA_TYPE &mt, AVCodecParameters *out);

GUID SubtypeOf(PictureFormat f);
PictureFormat PictureFormatOf(const GUID &subtype);

struct PictureType {
    PictureFormat format = PictureFormat::None;
    int width = 0;
    int height = 0;        // always positive
    bool topDown = false;  // RGB stored top row first (negative biHeight)
    REFERENCE_TIME avgTimePerFrame = 0;
};

// FORMAT_VideoInfo type of an uncompressed picture (bottom-up RGB).
CMediaType MakePictureType(PictureFormat f, int width, int height, REFERENCE_TIME avgTimePerFrame);
// Reads an uncompressed picture type (FORMAT_VideoInfo or FORMAT_VideoInfo2
// with a subtype of PictureFormat); false for anything else.
bool ParsePictureType(const AM_MEDIA_TYPE &mt, PictureType *out);
// Plane pointers of a picture honouring topDown for RGB.
void PlanesOfPicture(const PictureType &t, std::uint8_t *buffer, std::uint8_t *data[4], int linesize[4]);

struct PcmType {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    bool isFloat = false;
};
// WAVEFORMATEX PCM type (16-bit unless told otherwise).
CMediaType MakePcmMediaType(int channels, int sampleRate, int bitsPerSample = 16);
// Reads PCM (integer 8/16/32-bit or 32-bit float, plain or extensible);
// false for anything else.
bool ParsePcmType(const AM_MEDIA_TYPE &mt, PcmType *out);
AVSampleFormat SampleFormatOf(const PcmType &t);

}  // namespace mediaff
