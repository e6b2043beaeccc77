#include "media/video_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <vector>

namespace {

const int soundRate = 44100;

struct Codecs {
    const char *video;
    const char *sound;
    const char *container;
    AVPixelFormat pixels;
    AVSampleFormat samples;
};

// FFV1 keeps the RGB values through its reversible colour transform, and
// FLAC keeps 16-bit samples bit for bit. AAC takes planar floats only.
Codecs codecsFor(bool lossless) {
    if (lossless)
        return {"ffv1", "flac", "matroska", AV_PIX_FMT_0RGB32, AV_SAMPLE_FMT_S16};
    return {"libx264", "aac", "mp4", AV_PIX_FMT_YUV420P, AV_SAMPLE_FMT_FLTP};
}

std::string describe(int status) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, text, sizeof text);
    return text;
}

struct Stream {
    AVCodecContext *codec = nullptr;
    AVStream *stream = nullptr;
    AVFrame *frame = nullptr;
    int64_t nextPts = 0;
};

} // namespace

struct VideoEncoder {
    VideoSettings settings;
    AVFormatContext *format = nullptr;
    Stream picture;
    Stream sound;
    SwsContext *scaler = nullptr;
    AVPacket *packet = nullptr;
    std::vector<int16_t> pendingSound; // interleaved, less than one codec frame
};

const char *videoFormatName(bool lossless) {
    return lossless ? "FFV1 and FLAC in Matroska" : "H.264 and AAC in MP4";
}

bool checkEncoders(bool lossless, std::string &error) {
    const Codecs codecs = codecsFor(lossless);
    for (const char *name : {codecs.video, codecs.sound})
        if (!avcodec_find_encoder_by_name(name)) {
            error = std::string("this FFmpeg library (libavcodec) has no ") + name +
                    " encoder, which " + videoFormatName(lossless) + " needs";
            return false;
        }
    if (!av_guess_format(codecs.container, nullptr, nullptr)) {
        error = std::string("this FFmpeg library (libavformat) cannot write ") + codecs.container;
        return false;
    }
    return true;
}

namespace {

bool fail(std::string &error, const std::string &what, int status) {
    error = what + ": " + describe(status);
    return false;
}

// what: the settings, for the message when the encoder refuses them.
bool openStream(VideoEncoder &encoder, Stream &stream, AVCodecContext *codec, AVDictionary *options,
                const std::string &what, std::string &error) {
    if (encoder.format->oformat->flags & AVFMT_GLOBALHEADER)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // A failed open clears codec->codec: the name is taken before.
    const std::string name = codec->codec->name;
    int status = avcodec_open2(codec, codec->codec, &options);
    av_dict_free(&options);
    if (status < 0)
        return fail(error, "the " + name + " encoder refuses " + what, status);
    stream.stream = avformat_new_stream(encoder.format, nullptr);
    if (!stream.stream)
        return fail(error, "cannot add a stream", AVERROR(ENOMEM));
    stream.stream->time_base = codec->time_base;
    if ((status = avcodec_parameters_from_context(stream.stream->codecpar, codec)) < 0)
        return fail(error, "cannot describe a stream", status);
    stream.frame = av_frame_alloc();
    return stream.frame != nullptr || fail(error, "out of memory", AVERROR(ENOMEM));
}

bool openPicture(VideoEncoder &encoder, const Codecs &codecs, std::string &error) {
    const VideoSettings &settings = encoder.settings;
    AVCodecContext *codec = avcodec_alloc_context3(avcodec_find_encoder_by_name(codecs.video));
    if (!(encoder.picture.codec = codec))
        return fail(error, "out of memory", AVERROR(ENOMEM));
    codec->width = settings.width;
    codec->height = settings.height;
    codec->pix_fmt = codecs.pixels;
    codec->time_base = AVRational{1, settings.framesPerSecond};
    codec->framerate = AVRational{settings.framesPerSecond, 1};
    codec->thread_count = 0;
    AVDictionary *options = nullptr;
    if (settings.lossless) {
        codec->level = 3; // version 3 codes slices in parallel and checks them
    } else {
        av_dict_set(&options, "crf", "18", 0);
        // The drawing keeps both cores busy, so every millisecond the encoder
        // spends is added to the capture. The superfast analysis with the
        // macroblock tree over 10 frames ahead (as veryfast has it) takes
        // about 18 ms of processor time a 1920x1080 frame where medium takes
        // about 75. At CRF 18 on the intro's frames its PSNR against what it
        // was given is 44.8 dB where medium's is 46.5, and the file 4 to 9%
        // larger.
        av_dict_set(&options, "preset", "superfast", 0);
        av_dict_set(&options, "x264-params", "mbtree=1:rc-lookahead=10", 0);
        // High-definition players assume BT.709; say so in the stream too.
        codec->colorspace = AVCOL_SPC_BT709;
        codec->color_primaries = AVCOL_PRI_BT709;
        codec->color_trc = AVCOL_TRC_BT709;
        codec->color_range = AVCOL_RANGE_MPEG;
    }
    const std::string size = std::to_string(settings.width) + "x" + std::to_string(settings.height);
    if (!openStream(encoder, encoder.picture, codec, options, size + " pictures", error))
        return false;
    encoder.picture.stream->avg_frame_rate = codec->framerate;
    AVFrame *frame = encoder.picture.frame;
    frame->format = codec->pix_fmt;
    frame->width = codec->width;
    frame->height = codec->height;
    int status = av_frame_get_buffer(frame, 0);
    if (status < 0)
        return fail(error, "cannot allocate a picture", status);
    encoder.scaler =
        sws_getContext(codec->width, codec->height, AV_PIX_FMT_RGBA, codec->width, codec->height,
                       codec->pix_fmt, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!encoder.scaler)
        return fail(error, "cannot convert RGBA pictures for the encoder", AVERROR(EINVAL));
    if (!settings.lossless)
        sws_setColorspaceDetails(encoder.scaler, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    return true;
}

bool openSound(VideoEncoder &encoder, const Codecs &codecs, std::string &error) {
    AVCodecContext *codec = avcodec_alloc_context3(avcodec_find_encoder_by_name(codecs.sound));
    if (!(encoder.sound.codec = codec))
        return fail(error, "out of memory", AVERROR(ENOMEM));
    codec->sample_fmt = codecs.samples;
    codec->sample_rate = soundRate;
    av_channel_layout_default(&codec->ch_layout, 2);
    codec->time_base = AVRational{1, soundRate};
    if (!encoder.settings.lossless)
        codec->bit_rate = 192000;
    if (!openStream(encoder, encoder.sound, codec, nullptr, "44100 Hz stereo sound", error))
        return false;
    // The stream's parameters now carry the encoder's priming (initial
    // padding), and its first packets come with negative times: the muxer
    // turns both into an edit that players skip, so the music starts with
    // the first picture.
    AVFrame *frame = encoder.sound.frame;
    frame->format = codec->sample_fmt;
    frame->sample_rate = soundRate;
    frame->nb_samples = codec->frame_size;
    int status = av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout);
    if (status >= 0)
        status = av_frame_get_buffer(frame, 0);
    return status >= 0 || fail(error, "cannot allocate a sound frame", status);
}

// Writes every packet the encoder has ready.
bool drainPackets(VideoEncoder &encoder, Stream &stream, std::string &error) {
    for (;;) {
        int status = avcodec_receive_packet(stream.codec, encoder.packet);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF)
            return true;
        if (status < 0)
            return fail(error, std::string("the ") + stream.codec->codec->name + " encoder failed",
                        status);
        av_packet_rescale_ts(encoder.packet, stream.codec->time_base, stream.stream->time_base);
        encoder.packet->stream_index = stream.stream->index;
        if ((status = av_interleaved_write_frame(encoder.format, encoder.packet)) < 0)
            return fail(error, encoder.settings.path, status);
    }
}

bool sendFrame(VideoEncoder &encoder, Stream &stream, AVFrame *frame, std::string &error) {
    const int status = avcodec_send_frame(stream.codec, frame);
    if (status < 0)
        return fail(error, std::string("the ") + stream.codec->codec->name + " encoder failed",
                    status);
    return drainPackets(encoder, stream, error);
}

// Encodes count frames from the front of the pending sound.
bool sendSound(VideoEncoder &encoder, int count, std::string &error) {
    Stream &sound = encoder.sound;
    AVFrame *frame = sound.frame;
    int status = av_frame_make_writable(frame);
    if (status < 0)
        return fail(error, "cannot allocate a sound frame", status);
    frame->nb_samples = count;
    const int16_t *source = encoder.pendingSound.data();
    if (frame->format == AV_SAMPLE_FMT_S16) {
        std::copy(source, source + 2 * count, reinterpret_cast<int16_t *>(frame->data[0]));
    } else {
        float *left = reinterpret_cast<float *>(frame->data[0]);
        float *right = reinterpret_cast<float *>(frame->data[1]);
        for (int i = 0; i < count; ++i) {
            left[i] = source[2 * i] / 32768.0f;
            right[i] = source[2 * i + 1] / 32768.0f;
        }
    }
    frame->pts = sound.nextPts;
    sound.nextPts += count;
    encoder.pendingSound.erase(encoder.pendingSound.begin(),
                               encoder.pendingSound.begin() + 2 * count);
    return sendFrame(encoder, sound, frame, error);
}

} // namespace

VideoEncoder *openVideoEncoder(const VideoSettings &settings, std::string &error) {
    const Codecs codecs = codecsFor(settings.lossless);
    av_log_set_level(AV_LOG_WARNING); // the encoders' statistics are not for the user
    VideoEncoder *encoder = new VideoEncoder;
    encoder->settings = settings;
    int status = avformat_alloc_output_context2(&encoder->format, nullptr, codecs.container,
                                                settings.path.c_str());
    bool opened = status >= 0 || fail(error, "cannot set up " + settings.path, status);
    opened = opened && (encoder->packet = av_packet_alloc()) != nullptr;
    opened = opened && openPicture(*encoder, codecs, error) && openSound(*encoder, codecs, error);
    if (opened &&
        (status = avio_open(&encoder->format->pb, settings.path.c_str(), AVIO_FLAG_WRITE)) < 0)
        opened = fail(error, settings.path, status);
    if (opened) {
        AVDictionary *options = nullptr;
        if (!settings.lossless) // the index first, so browsers play while loading
            av_dict_set(&options, "movflags", "+faststart", 0);
        status = avformat_write_header(encoder->format, &options);
        av_dict_free(&options);
        if (status < 0)
            opened = fail(error, settings.path, status);
    }
    if (!opened) {
        if (error.empty())
            error = "out of memory";
        closeVideoEncoder(encoder);
        return nullptr;
    }
    return encoder;
}

namespace {

// The picture to convert into. When the encoder still holds the last one, a
// new one is taken; unlike av_frame_make_writable, without copying the old
// picture into it, as every pixel is about to be written.
bool takeWritablePicture(AVFrame *frame, std::string &error) {
    if (av_frame_is_writable(frame))
        return true;
    const int format = frame->format, width = frame->width, height = frame->height;
    av_frame_unref(frame);
    frame->format = format;
    frame->width = width;
    frame->height = height;
    const int status = av_frame_get_buffer(frame, 0);
    return status >= 0 || fail(error, "cannot allocate a picture", status);
}

} // namespace

bool encodePicture(VideoEncoder *encoder, const uint8_t *rgba, bool bottomFirst,
                   std::string &error) {
    Stream &picture = encoder->picture;
    AVFrame *frame = picture.frame;
    if (!takeWritablePicture(frame, error))
        return false;
    // Bottom first, the conversion reads the rows from the last one up.
    const int rowBytes = 4 * encoder->settings.width;
    const size_t lastRow = static_cast<size_t>(rowBytes) * (encoder->settings.height - 1);
    const uint8_t *const source[] = {bottomFirst ? rgba + lastRow : rgba};
    const int sourceStride[] = {bottomFirst ? -rowBytes : rowBytes};
    sws_scale(encoder->scaler, source, sourceStride, 0, encoder->settings.height, frame->data,
              frame->linesize);
    frame->pts = picture.nextPts++;
    return sendFrame(*encoder, picture, frame, error);
}

bool encodeSound(VideoEncoder *encoder, const int16_t *frames, size_t count, std::string &error) {
    encoder->pendingSound.insert(encoder->pendingSound.end(), frames, frames + 2 * count);
    const int frameSize = encoder->sound.codec->frame_size;
    while (encoder->pendingSound.size() >= 2 * static_cast<size_t>(frameSize))
        if (!sendSound(*encoder, frameSize, error))
            return false;
    return true;
}

bool finishVideo(VideoEncoder *encoder, std::string &error) {
    const int rest = static_cast<int>(encoder->pendingSound.size() / 2);
    if (rest > 0 && !sendSound(*encoder, rest, error))
        return false;
    if (!sendFrame(*encoder, encoder->picture, nullptr, error) ||
        !sendFrame(*encoder, encoder->sound, nullptr, error))
        return false;
    int status = av_write_trailer(encoder->format);
    if (status >= 0)
        status = avio_closep(&encoder->format->pb);
    return status >= 0 || fail(error, encoder->settings.path, status);
}

void closeVideoEncoder(VideoEncoder *encoder) {
    if (!encoder)
        return;
    if (encoder->format && encoder->format->pb)
        avio_closep(&encoder->format->pb);
    for (Stream *stream : {&encoder->picture, &encoder->sound}) {
        avcodec_free_context(&stream->codec);
        av_frame_free(&stream->frame);
    }
    sws_freeContext(encoder->scaler);
    av_packet_free(&encoder->packet);
    avformat_free_context(encoder->format);
    delete encoder;
}
