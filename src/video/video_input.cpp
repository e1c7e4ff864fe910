// Container detection and the messages that name the file.
#include "video/video_input.h"

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/error.h"
#include "video/avi_input.h"

namespace clipvane::video {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string Extension(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(path.substr(dot + 1));
}

bool HasVideoStream(const AVFormatContext* format) { return avi::FirstVideoStream(format) >= 0; }

// Opens the file with every demuxer FFmpeg has, reading local files only: the "file:"
// prefix keeps a colon in a name from being taken for a protocol.
int OpenDetected(const std::string& path, AVFormatContext** format) {
  avi::QuietFfmpegLog();
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  const int opened = avformat_open_input(format, ("file:" + path).c_str(), nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) return opened;
  // Formats without a header (MPEG program streams, FLV) make their streams as packets come:
  // only reading the first ones tells whether there is a video.
  if (((*format)->ctx_flags & AVFMTCTX_NOHEADER) || !HasVideoStream(*format))
    avformat_find_stream_info(*format, nullptr);
  return 0;
}

// Demuxers that read files nobody would call a video: ANSI text art takes any *.txt.
bool IsVideoContainer(const AVInputFormat* demuxer) { return std::string(demuxer->name) != "tty"; }

// True when the file's first bytes are an AVI's. Decided before any demuxer reads the
// file, so that an AVI is opened once, the AVI way.
bool LooksLikeAvi(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::vector<unsigned char> head(4096 + AVPROBE_PADDING_SIZE, 0);
  file.read(reinterpret_cast<char*>(head.data()), 4096);
  AVProbeData probe{};
  probe.filename = path.c_str();
  probe.buf = head.data();
  probe.buf_size = static_cast<int>(file.gcount());
  const AVInputFormat* found = av_probe_input_format(&probe, 1);
  return found && std::string(found->name) == "avi";
}

}  // namespace

std::string FfmpegText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0 || text[0] == '\0') return "Unknown error code";
  return text;
}

void FailFile(const std::string& path, const std::string& message) { throw EClipvaneError(path + ": " + message); }

TChosenInput ChooseInput(const std::string& path) {
  const bool aviName = Extension(path) == "avi";
  avi::QuietFfmpegLog();
  if (LooksLikeAvi(path)) return {TVideoWay::vwAvi, nullptr};
  AVFormatContext* raw = nullptr;
  const int opened = OpenDetected(path, &raw);
  TInput input(raw);
  if (opened < 0) {
    if (aviName) return {TVideoWay::vwAvi, nullptr};
    if (opened == AVERROR_INVALIDDATA || opened == AVERROR_EOF)
      FailFile(path, "not a video file this program can read");
    FailFile(path, FfmpegText(opened));
  }
  if (std::string(input->iformat->name) == "avi") return {TVideoWay::vwAvi, nullptr};
  const bool video = HasVideoStream(input.get());
  if (aviName && (!video || !IsVideoContainer(input->iformat))) return {TVideoWay::vwAvi, nullptr};
  if (!IsVideoContainer(input->iformat)) FailFile(path, "not a video file this program can read");
  if (!video) FailFile(path, "the file has no video stream");
  return {TVideoWay::vwContainer, std::move(input)};
}

TInput OpenContainer(const std::string& path) {
  AVFormatContext* raw = nullptr;
  const int opened = OpenDetected(path, &raw);
  TInput input(raw);
  if (opened < 0) {
    if (opened == AVERROR_INVALIDDATA || opened == AVERROR_EOF)
      FailFile(path, "not a video file this program can read");
    FailFile(path, FfmpegText(opened));
  }
  return input;
}

int VideoStreamOf(const AVFormatContext* format, const std::string& path) {
  const int stream = avi::FirstVideoStream(format);
  if (stream < 0) FailFile(path, "the file has no video stream");
  return stream;
}

std::string CodecName(const AVCodecParameters* parameters) {
  if (parameters->codec_id != AV_CODEC_ID_NONE) return avcodec_get_name(parameters->codec_id);
  if (parameters->codec_tag == 0) return "unknown";
  char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
  av_fourcc_make_string(tag, parameters->codec_tag);
  return tag;
}

const AVCodec* DecoderOf(const AVStream* stream, const std::string& path) {
  const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!decoder) FailFile(path, "no decoder for the video codec \"" + CodecName(stream->codecpar) + "\"");
  return decoder;
}

AVCodecContext* OpenDecoder(const AVStream* stream, const std::string& path, int threads) {
  const AVCodec* decoder = DecoderOf(stream, path);
  AVCodecContext* codec = avcodec_alloc_context3(decoder);
  if (!codec) throw std::bad_alloc();
  if (avcodec_parameters_to_context(codec, stream->codecpar) < 0) {
    avcodec_free_context(&codec);
    FailFile(path, "the video cannot be decoded");
  }
  codec->pkt_timebase = stream->time_base;
  codec->thread_count = threads;
  if (threads != 1) codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (avcodec_open2(codec, decoder, nullptr) < 0) {
    avcodec_free_context(&codec);
    FailFile(path, "the video cannot be decoded");
  }
  return codec;
}

std::string ContainerName(const AVFormatContext* format, const std::string& path) {
  const std::string extension = Extension(path);
  std::vector<std::string> names;
  std::stringstream list(format->iformat->name);
  for (std::string name; std::getline(list, name, ',');) names.push_back(name);
  if (names.empty()) return "unknown";
  if (std::find(names.begin(), names.end(), extension) != names.end()) return extension;
  // Matroska's demuxer reads WebM too; a WebM named as such was taken above.
  if (names.front() == "matroska") return "mkv";
  if (std::find(names.begin(), names.end(), "mp4") != names.end()) {
    const AVDictionaryEntry* brand = av_dict_get(format->metadata, "major_brand", nullptr, 0);
    const std::string value = brand ? Lower(brand->value) : "";
    if (value.rfind("qt", 0) == 0) return "mov";
    if (value.rfind("3g2", 0) == 0) return "3g2";
    if (value.rfind("3g", 0) == 0) return "3gp";
    return "mp4";
  }
  return names.front();
}

}  // namespace clipvane::video
