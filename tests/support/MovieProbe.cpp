#include "support/MovieProbe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cstdint>

namespace {
void keepCentre(const AVFrame* frame, MovieProbe& probe)
{
    probe.width = frame->width;
    probe.height = frame->height;
    SwsContext* convert = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                         frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
    // swscale writes whole vectors: rows aligned, and a spare row at the end.
    const int stride = (frame->width * 3 + 63) & ~63;
    std::vector<uint8_t> rgb(size_t(stride) * size_t(frame->height + 1));
    uint8_t* planes[1] = {rgb.data()};
    const int strides[1] = {stride};
    sws_scale(convert, frame->data, frame->linesize, 0, frame->height, planes, strides);
    sws_freeContext(convert);
    const uint8_t* p = &rgb[size_t(frame->height / 2) * size_t(stride) + size_t(frame->width / 2) * 3];
    probe.centres.push_back({p[0], p[1], p[2]});
}
} // namespace

MovieProbe MovieProbe::read(const std::string& path)
{
    MovieProbe probe;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) {
        return probe;
    }
    const AVCodec* decoder = nullptr;
    const int stream = avformat_find_stream_info(input, nullptr) < 0
                           ? -1
                           : av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    AVCodecContext* codec = stream >= 0 ? avcodec_alloc_context3(decoder) : nullptr;
    if (codec && avcodec_parameters_to_context(codec, input->streams[stream]->codecpar) >= 0 &&
        avcodec_open2(codec, decoder, nullptr) >= 0) {
        probe.opened = true;
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        auto drain = [&] {
            while (avcodec_receive_frame(codec, frame) >= 0) {
                keepCentre(frame, probe);
            }
        };
        while (av_read_frame(input, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(codec, packet) >= 0) {
                drain();
            }
            av_packet_unref(packet);
        }
        avcodec_send_packet(codec, nullptr);
        drain();
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    avcodec_free_context(&codec);
    avformat_close_input(&input);
    return probe;
}
