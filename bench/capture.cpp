// Capture speed and quality: a stretch of the show (20 s by default, or the whole show) rendered
// into a video by the program itself (`korvana --capture`), for several encoder settings at
// 640 x 480 and the default one at 1280 x 960 (scaled, and drawn so with --scale 2). For each:
// speed as a multiple of real time, wall and processor time, the processor time per frame of
// drawing, reading back, converting and encoding as the program counts them (drawing and
// encoding overlap on their own threads), the file's size, and the pictures' luma SSIM against a
// lossless capture of the same frames. Beside them the same frames drawn without a video
// (`--screenshot` at the same end). The machine may be shared: the load average is printed.
#include <cstdlib>
#include <cstring>
#include <deque>

#include "bench_util.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

using namespace korvana::bench;

namespace {

constexpr int kFps = 50;

struct Setting {
    const char* label;
    const char* file;     // the video's name: its extension chooses the container
    const char* options;  // added to the program's command line
    bool reference;       // the lossless capture the others are compared with
};

// One row per setting; the lossless one first, so the others can be compared with it.
constexpr Setting kSettings[] = {
    {"640x480 --lossless", "lossless.mkv", "--lossless", true},
    {"640x480 default", "default.mp4", "", false},
    {"640x480 --preset ultrafast", "ultrafast.mp4", "--preset ultrafast", false},
    {"640x480 --preset faster", "faster.mp4", "--preset faster", false},
    {"640x480 --crf 21", "crf21.mp4", "--crf 21", false},
    {"1280x960 --size (scaled)", "size.mp4", "--size 1280x960", false},
    {"1280x960 --scale 2", "scale.mp4", "--scale 2", false},
};

// The luma planes of a video's pictures, one after the other.
class LumaReader {
public:
    explicit LumaReader(const fs::path& path) {
        if (avformat_open_input(&input_, path.c_str(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(input_, nullptr) < 0)
            return;
        stream_ = av_find_best_stream(input_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (stream_ < 0) return;
        const AVCodecParameters* par = input_->streams[stream_]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        decoder_ = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (decoder_ == nullptr || avcodec_parameters_to_context(decoder_, par) < 0 ||
            avcodec_open2(decoder_, codec, nullptr) < 0)
            return;
        width = par->width;
        height = par->height;
    }
    ~LumaReader() {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&decoder_);
        avformat_close_input(&input_);
    }
    bool next(std::vector<uint8_t>& luma) {
        while (ready_.empty() && !ended_ && decoder_ != nullptr) {
            if (av_read_frame(input_, packet_) < 0) {
                avcodec_send_packet(decoder_, nullptr);
                ended_ = true;
            } else {
                if (packet_->stream_index == stream_) avcodec_send_packet(decoder_, packet_);
                av_packet_unref(packet_);
            }
            while (avcodec_receive_frame(decoder_, frame_) == 0) {
                std::vector<uint8_t> plane(size_t(width) * size_t(height));
                for (int y = 0; y < height; ++y)
                    std::memcpy(&plane[size_t(y) * width], frame_->data[0] + y * frame_->linesize[0], size_t(width));
                ready_.push_back(std::move(plane));
            }
        }
        if (ready_.empty()) return false;
        luma = std::move(ready_.front());
        ready_.pop_front();
        return true;
    }
    int width = 0;
    int height = 0;

private:
    AVFormatContext* input_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVPacket* packet_ = av_packet_alloc();
    AVFrame* frame_ = av_frame_alloc();
    int stream_ = -1;
    bool ended_ = false;
    std::deque<std::vector<uint8_t>> ready_;
};

// Mean SSIM of two luma planes over 8 x 8 windows 4 pixels apart (x264's and FFmpeg's way).
double ssim(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height) {
    const int bw = width / 4, bh = height / 4;
    std::vector<int64_t> s1(size_t(bw) * bh), s2(s1.size()), ss(s1.size()), s12(s1.size());
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            int64_t x1 = 0, x2 = 0, xx = 0, x12 = 0;
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x) {
                    const size_t at = size_t(by * 4 + y) * size_t(width) + size_t(bx * 4 + x);
                    const int p = a[at], q = b[at];
                    x1 += p;
                    x2 += q;
                    xx += p * p + q * q;
                    x12 += p * q;
                }
            const size_t i = size_t(by) * bw + bx;
            s1[i] = x1;
            s2[i] = x2;
            ss[i] = xx;
            s12[i] = x12;
        }
    const double c1 = .01 * .01 * 255 * 255 * 64, c2 = .03 * .03 * 255 * 255 * 64 * 63;
    double sum = 0;
    int64_t windows = 0;
    for (int by = 0; by + 1 < bh; ++by)
        for (int bx = 0; bx + 1 < bw; ++bx) {
            double f1 = 0, f2 = 0, fss = 0, f12 = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const size_t i = size_t(by + dy) * bw + bx + dx;
                    f1 += double(s1[i]);
                    f2 += double(s2[i]);
                    fss += double(ss[i]);
                    f12 += double(s12[i]);
                }
            const double vars = fss * 64 - f1 * f1 - f2 * f2, covar = f12 * 64 - f1 * f2;
            sum += (2 * f1 * f2 + c1) * (2 * covar + c2) / ((f1 * f1 + f2 * f2 + c1) * (vars + c2));
            ++windows;
        }
    return windows > 0 ? sum / double(windows) : 0.0;
}

// Mean luma SSIM of `video` against `reference`, picture by picture; -1 when they cannot be
// compared (different sizes or numbers of pictures).
double meanSsim(const fs::path& reference, const fs::path& video) {
    LumaReader a(reference), b(video);
    if (a.width == 0 || a.width != b.width || a.height != b.height) return -1;
    std::vector<uint8_t> x, y;
    double sum = 0;
    int64_t pictures = 0;
    for (;;) {
        const bool haveA = a.next(x), haveB = b.next(y);
        if (haveA != haveB) return -1;
        if (!haveA) break;
        sum += ssim(x, y, a.width, a.height);
        ++pictures;
    }
    return pictures > 0 ? sum / double(pictures) : -1;
}

// The program's own count: "processor time per frame: drawing D ms, reading back R ms,
// converting C ms, encoding E ms".
bool stageTimes(const fs::path& log, double stages[4]) {
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        const size_t at = line.find("processor time per frame:");
        if (at == std::string::npos) continue;
        return std::sscanf(line.c_str() + at,
                           "processor time per frame: drawing %lf ms, reading back %lf ms, converting %lf ms, "
                           "encoding %lf ms",
                           &stages[0], &stages[1], &stages[2], &stages[3]) == 4;
    }
    return false;
}

double loadAverage() {
    double load[1] = {-1};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* usage = "usage: bench_capture [runs per figure, 1..20; best is shown] [seconds of show, 1..160]";
    int runs = 1, seconds = 20;
    if (argc > 1) runs = std::atoi(argv[1]);
    if (argc > 2) seconds = std::atoi(argv[2]);
    if (argc > 3 || runs < 1 || runs > 20 || seconds < 1 || seconds > 160) {
        std::fprintf(stderr, "%s\n", usage);
        return 2;
    }
    const int frames = seconds * kFps;
    const fs::path program = fs::path(KORVANA_BINARY_DIR) / "src/app/korvana";
    const fs::path content = fs::path(KORVANA_BINARY_DIR) / "content";
    if (!fs::exists(program) || !fs::exists(content / "ripped.mp3")) {
        std::fprintf(stderr, "bench_capture: build korvana and the default content first\n");
        return 1;
    }
    av_log_set_level(AV_LOG_ERROR);
    Scratch scratch;
    const std::string start = "cd " + quote(scratch.path()) + " && SDL_VIDEODRIVER=offscreen " + quote(program) +
                              " --data " + quote(content) + " ";
    const std::string to = " --to " + std::to_string(seconds);
    std::printf("capture of %d s of the show (%d frames) on %ld cores, best of %d; load average %.1f at the start\n",
                seconds, frames, sysconf(_SC_NPROCESSORS_ONLN), runs, loadAverage());

    const Timing drawn = timeShell(start + "--screenshot " + std::to_string(seconds) + " frame.png", runs);
    if (drawn.wall < 0) {
        std::fprintf(stderr, "bench_capture: the program failed\n");
        return 1;
    }
    std::printf("  %-28s %5.2fx real time %7.1f s wall %7.1f s CPU %5.1f ms CPU/frame\n", "frames drawn, no video",
                seconds / drawn.wall, drawn.wall, drawn.cpu, drawn.cpu * 1000 / frames);
    std::printf("  %-28s %-10s %-9s %-9s %-9s  %s\n", "", "speed", "wall", "CPU", "CPU/frame",
                "draw/read/convert/encode ms per frame   size      SSIM-Y   load");

    fs::path reference;
    for (const Setting& setting : kSettings) {
        const fs::path video = scratch.path() / setting.file;
        const fs::path log = scratch.path() / "capture.log";
        const Timing t = timeShell(
            start + "--capture " + setting.file + to + " " + setting.options + " 2>" + quote(log), runs);
        if (t.wall < 0) {
            std::printf("  %-28s failed\n", setting.label);
            continue;
        }
        double stages[4] = {-1, -1, -1, -1};
        stageTimes(log, stages);
        std::error_code ec;
        const double mb = double(fs::file_size(video, ec)) / 1e6;
        double quality = 1.0;
        if (setting.reference) reference = video;
        else quality = reference.empty() ? -1 : meanSsim(reference, video);
        char ssimText[16] = "-";
        if (quality >= 0) std::snprintf(ssimText, sizeof ssimText, "%.4f", quality);
        std::printf("  %-28s %5.2fx %7.1f s %7.1f s %6.1f ms   %5.1f %5.1f %5.1f %5.1f            %7.1f MB  %-7s  %.1f\n",
                    setting.label, seconds / t.wall, t.wall, t.cpu, t.cpu * 1000 / frames, stages[0], stages[1],
                    stages[2], stages[3], mb, ssimText, loadAverage());
        std::fflush(stdout);
    }
    return 0;
}
