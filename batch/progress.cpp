#include "batch/progress.h"

namespace quorvel::batch {

Progress::Progress(std::size_t total, bool terminal, std::FILE* out)
    : total_(total), terminal_(terminal), out_(out), start_(std::chrono::steady_clock::now()) {}

double Progress::elapsedSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Progress::drawingDone(const std::string& drawing, bool ok, std::size_t texts,
                           const std::string& reason) {
    std::lock_guard lock(mutex_);
    ++done_;
    texts_ += texts;
    if (!terminal_) {
        if (ok) {
            std::fprintf(out_, "[%zu/%zu] %s：%zu 处文字\n", done_, total_, drawing.c_str(), texts);
        } else {
            std::fprintf(out_, "[%zu/%zu] %s：失败，%s\n", done_, total_, drawing.c_str(),
                         reason.c_str());
        }
        std::fflush(out_);
        return;
    }
    if (!ok) {
        std::fprintf(out_, "\r\033[K失败：%s：%s\n", drawing.c_str(), reason.c_str());
    }
    const auto now = std::chrono::steady_clock::now();
    if (ok && done_ < total_ && now - lastDrawn_ < std::chrono::milliseconds(100))
        return;
    lastDrawn_ = now;
    drawBar();
}

void Progress::drawBar() {
    constexpr int kWidth = 24;
    const double elapsed = elapsedSeconds();
    const double rate = elapsed > 0 ? static_cast<double>(done_) / elapsed : 0;
    const double left = rate > 0 ? static_cast<double>(total_ - done_) / rate : 0;
    const int filled = total_ ? static_cast<int>(kWidth * done_ / total_) : kWidth;
    std::string bar(static_cast<std::size_t>(filled) * 3, '\0');
    bar.clear();
    for (int i = 0; i < kWidth; ++i)
        bar += i < filled ? "█" : "░";
    std::fprintf(out_, "\r\033[K%s %zu/%zu 图形  已替换 %zu 处  %.1f 个/秒  剩余 %.0f 秒",
                 bar.c_str(), done_, total_, texts_, rate, left);
    std::fflush(out_);
}

void Progress::finish() {
    std::lock_guard lock(mutex_);
    if (terminal_) {
        drawBar();
        std::fprintf(out_, "\n");
        std::fflush(out_);
    }
}

}  // namespace quorvel::batch
