#include "export/MovieEncoder.h"

#include "diagnostics/Exception.h"
#include "transfer/AtomicFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <strings.h>

namespace {

struct Container {
    const char* extension;
    const char* format;  // libavformat's short name
    AVCodecID codecs[2]; // preferred first
};

const Container containers[] = {
    {".mp4", "mp4", {AV_CODEC_ID_H264, AV_CODEC_ID_MPEG4}},
    {".mkv", "matroska", {AV_CODEC_ID_H264, AV_CODEC_ID_MPEG4}},
    {".webm", "webm", {AV_CODEC_ID_VP9, AV_CODEC_ID_VP8}},
};

const Container* containerFor(const std::string& path)
{
    for (const Container& c : containers) {
        const std::string extension = c.extension;
        // "M.MP4" is a movie as much as "m.mp4".
        if (path.size() > extension.size() &&
            strcasecmp(path.c_str() + path.size() - extension.size(), extension.c_str()) == 0) {
            return &c;
        }
    }
    return nullptr;
}

std::string describe(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

[[noreturn]] void fail(const char* source, const std::string& what, int error = 0)
{
    TOOL_THROW(source, error ? what + ": " + describe(error) : what);
}

// Quality over speed only as far as a movie stays quick to make: the
// encoders' fast settings at a visually clean quality.
void tune(AVCodecContext* context)
{
    switch (context->codec_id) {
    case AV_CODEC_ID_H264:
        av_opt_set(context->priv_data, "preset", "veryfast", 0);
        av_opt_set(context->priv_data, "crf", "20", 0);
        break;
    case AV_CODEC_ID_VP9:
    case AV_CODEC_ID_VP8:
        av_opt_set(context->priv_data, "deadline", "realtime", 0);
        av_opt_set(context->priv_data, "cpu-used", "8", 0);
        av_opt_set(context->priv_data, "crf", "30", 0);
        av_opt_set(context->priv_data, "row-mt", "1", 0);
        context->bit_rate = 0;
        break;
    default:
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = FF_QP2LAMBDA * 3;
        break;
    }
}

} // namespace

struct MovieEncoder::State {
    explicit State(const std::string& path) : file(path) {}
    ~State()
    {
        if (output && output->pb) {
            avio_closep(&output->pb);
        }
        avformat_free_context(output);
        avcodec_free_context(&codec);
        av_frame_free(&picture);
        av_packet_free(&packet);
        sws_freeContext(convert);
    }

    // Sends a picture, or null to drain, and writes every packet that comes out.
    void send(const AVFrame* frame, const char* source)
    {
        int result = avcodec_send_frame(codec, frame);
        if (result < 0) {
            fail(source, "the encoder refused a picture", result);
        }
        while ((result = avcodec_receive_packet(codec, packet)) >= 0) {
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            result = av_interleaved_write_frame(output, packet);
            if (result < 0) {
                fail(source, "cannot write \"" + file.temporaryPath() + "\"", result);
            }
        }
        if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) {
            fail(source, "the encoder failed", result);
        }
    }

    AtomicFile file;
    AVFormatContext* output = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* picture = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* convert = nullptr;
    int width = 0, height = 0;
    int64_t next = 0; // presentation time of the next picture, in frames
};

MovieEncoder::MovieEncoder(const std::string& path, int width, int height, double framesPerSecond)
{
    const char* source = "MovieEncoder::MovieEncoder()";
    const Container* container = containerFor(path);
    if (!container) {
        fail(source, "\"" + path + "\" does not end in .mp4, .mkv or .webm");
    }
    if (width < 2 || height < 2 || width % 2 || height % 2) {
        fail(source,
             "a movie needs an even width and height, not " + std::to_string(width) + "x" + std::to_string(height));
    }
    if (!(framesPerSecond > 0)) {
        fail(source, "a movie needs a positive frame rate");
    }
    av_log_set_level(AV_LOG_ERROR);
    state = std::make_unique<State>(path);
    State& s = *state;
    s.width = width;
    s.height = height;
    int result = avformat_alloc_output_context2(&s.output, nullptr, container->format, nullptr);
    if (result < 0) {
        fail(source, std::string("no ") + container->format + " container", result);
    }

    s.picture = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (!s.picture || !s.packet) {
        fail(source, "out of memory");
    }
    // The first encoder that opens: one found may still refuse (a hardware
    // encoder without its device, a library built without a profile).
    std::string refusals;
    for (AVCodecID id : container->codecs) {
        void* at = nullptr;
        while (const AVCodec* encoder = av_codec_iterate(&at)) {
            if (encoder->id != id || !av_codec_is_encoder(encoder) ||
                (encoder->capabilities & AV_CODEC_CAP_EXPERIMENTAL)) {
                continue;
            }
            if (!(s.codec = avcodec_alloc_context3(encoder))) {
                fail(source, "out of memory");
            }
            s.codec->width = width;
            s.codec->height = height;
            s.codec->pix_fmt = AV_PIX_FMT_YUV420P;
            s.codec->framerate = av_d2q(framesPerSecond, 100000);
            s.codec->time_base = av_inv_q(s.codec->framerate);
            s.codec->color_range = AVCOL_RANGE_MPEG;
            s.codec->colorspace = AVCOL_SPC_SMPTE170M;
            s.codec->gop_size = 30;
            if (s.output->oformat->flags & AVFMT_GLOBALHEADER) {
                s.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            }
            tune(s.codec);
            if ((result = avcodec_open2(s.codec, encoder, nullptr)) >= 0) {
                break;
            }
            refusals += std::string(refusals.empty() ? "" : ", ") + encoder->name + ": " + describe(result);
            avcodec_free_context(&s.codec);
        }
        if (s.codec) {
            break;
        }
    }
    if (!s.codec) {
        fail(source, std::string("no encoder for ") + container->format + " opens" +
                         (refusals.empty() ? std::string(" (FFmpeg's libraries have none)") : " (" + refusals + ")"));
    }

    s.stream = avformat_new_stream(s.output, nullptr);
    if (!s.stream) {
        fail(source, "out of memory");
    }
    s.stream->time_base = s.codec->time_base;
    s.stream->avg_frame_rate = s.codec->framerate;
    if ((result = avcodec_parameters_from_context(s.stream->codecpar, s.codec)) < 0) {
        fail(source, "cannot describe the stream", result);
    }

    s.picture->format = AV_PIX_FMT_YUV420P;
    s.picture->width = width;
    s.picture->height = height;
    if ((result = av_frame_get_buffer(s.picture, 0)) < 0) {
        fail(source, "out of memory", result);
    }
    s.convert = sws_getContext(width, height, AV_PIX_FMT_RGBA, width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                               nullptr, nullptr);
    if (!s.convert) {
        fail(source, "no conversion from RGBA to YUV 4:2:0");
    }

    // The container writes to the temporary file; it gets its name at the end.
    if ((result = avio_open(&s.output->pb, s.file.temporaryPath().c_str(), AVIO_FLAG_WRITE)) < 0) {
        fail(source, "cannot open \"" + s.file.temporaryPath() + "\"", result);
    }
    if ((result = avformat_write_header(s.output, nullptr)) < 0) {
        fail(source, "cannot write the header of \"" + path + "\"", result);
    }
}

MovieEncoder::~MovieEncoder() = default;

void MovieEncoder::encode(const std::vector<unsigned char>& rgba)
{
    const char* source = "MovieEncoder::encode()";
    State& s = *state;
    if (rgba.size() < size_t(s.width) * size_t(s.height) * 4) {
        fail(source, "a picture smaller than the movie");
    }
    const int result = av_frame_make_writable(s.picture);
    if (result < 0) {
        fail(source, "out of memory", result);
    }
    const uint8_t* const planes[1] = {rgba.data()};
    const int strides[1] = {s.width * 4};
    sws_scale(s.convert, planes, strides, 0, s.height, s.picture->data, s.picture->linesize);
    s.picture->pts = s.next++;
    s.send(s.picture, source);
}

void MovieEncoder::finish()
{
    const char* source = "MovieEncoder::finish()";
    State& s = *state;
    s.send(nullptr, source);
    int result = av_write_trailer(s.output);
    if (result < 0) {
        fail(source, "cannot write the end of \"" + s.file.temporaryPath() + "\"", result);
    }
    if ((result = avio_closep(&s.output->pb)) < 0) {
        fail(source, "cannot write \"" + s.file.temporaryPath() + "\"", result);
    }
    s.file.commit();
}

bool MovieEncoder::knownExtension(const std::string& path)
{
    return containerFor(path) != nullptr;
}

std::string MovieEncoder::codecName() const
{
    return state->codec->codec->name;
}
