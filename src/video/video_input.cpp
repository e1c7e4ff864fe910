// The one input open and decoder open of the video layer, and the words that name a file.
#include "video/video_input.h"

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <sstream>
#include <vector>

#include "core/bitmap.h"
#include "core/error.h"

namespace clipvane::video {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

void QuietFfmpegLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

int OpenLocalInput(const std::string& path, const AVInputFormat* demuxer, AVFormatContext** format) {
  QuietFfmpegLog();
  *format = nullptr;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  // The prefix makes the whole name the file's: a colon in it is no protocol.
  const int opened = avformat_open_input(format, ("file:" + path).c_str(), demuxer, &options);
  av_dict_free(&options);
  return opened;
}

int OpenDetectedInput(const std::string& path, AVFormatContext** format) {
  const int opened = OpenLocalInput(path, nullptr, format);
  if (opened < 0) return opened;
  // Formats without a header (MPEG program streams, FLV) make their streams as packets come:
  // only reading the first ones tells whether there is a video.
  if (((*format)->ctx_flags & AVFMTCTX_NOHEADER) || FirstVideoStream(*format) < 0)
    avformat_find_stream_info(*format, nullptr);
  return 0;
}

TInput OpenContainer(const std::string& path) {
  AVFormatContext* raw = nullptr;
  const int opened = OpenDetectedInput(path, &raw);
  TInput input(raw);
  if (opened < 0) FailFile(path, FileProblem(path, opened));
  return input;
}

int FirstVideoStream(const AVFormatContext* format) {
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* stream = format->streams[i];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
      return static_cast<int>(i);
  }
  return -1;
}

int VideoStreamOf(const AVFormatContext* format, const std::string& path) {
  const int stream = FirstVideoStream(format);
  if (stream < 0) FailFile(path, "the file has no video stream");
  return stream;
}

void ReadOnlyStream(AVFormatContext* format, int streamIndex) {
  for (unsigned i = 0; i < format->nb_streams; ++i)
    format->streams[i]->discard = streamIndex < 0 || static_cast<int>(i) == streamIndex ? AVDISCARD_DEFAULT
                                                                                        : AVDISCARD_ALL;
}

std::string CodecName(const AVCodecParameters* parameters) {
  if (parameters->codec_id != AV_CODEC_ID_NONE) return avcodec_get_name(parameters->codec_id);
  if (parameters->codec_tag == 0) return "unknown";
  char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
  av_fourcc_make_string(tag, parameters->codec_tag);
  return tag;
}

AVCodecContext* OpenDecoder(const AVStream* stream, const std::string& path, int threads) {
  const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!decoder) FailFile(path, "no decoder for the video codec \"" + CodecName(stream->codecpar) + "\"");
  AVCodecContext* codec = avcodec_alloc_context3(decoder);
  if (!codec) throw std::bad_alloc();
  codec->pkt_timebase = stream->time_base;
  codec->thread_count = threads;
  if (threads != 1) codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (avcodec_parameters_to_context(codec, stream->codecpar) < 0 || avcodec_open2(codec, decoder, nullptr) < 0) {
    avcodec_free_context(&codec);
    FailFile(path, "the video cannot be decoded");
  }
  codec->max_pixels = TBitmap::MaxPixelBytes / 4;
  return codec;
}

std::string Extension(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(path.substr(dot + 1));
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

std::string FfmpegText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0 || text[0] == '\0') return "Unknown error code";
  return text;
}

std::string FileProblem(const std::string& path, int code) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0) return "the file is empty";
  switch (code) {
    case AVERROR_INVALIDDATA:
    case AVERROR_EOF:
      return "not a video file this program can read";
    case AVERROR_STREAM_NOT_FOUND:
      return "the file has no video stream";
    case AVERROR_DECODER_NOT_FOUND:
      return "no decoder for its video codec";
    default:
      return FfmpegText(code);
  }
}

void FailFile(const std::string& path, const std::string& problem) { throw EClipvaneError("", path, problem); }

}  // namespace clipvane::video
