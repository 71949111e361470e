#pragma once
// Progress of a run: a bar redrawn in place on a terminal (drawings done of all, texts changed,
// rate, time left), otherwise one plain line per drawing. Thread-safe.

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace quorvel::batch {

class Progress {
public:
    Progress(std::size_t total, bool terminal, std::FILE* out);
    void drawingDone(const std::string& drawing, bool ok, std::size_t texts,
                     const std::string& reason);
    void finish();
    double elapsedSeconds() const;

private:
    void drawBar();
    std::mutex mutex_;
    std::size_t total_;
    bool terminal_;
    std::FILE* out_;
    std::size_t done_ = 0;
    std::size_t texts_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDrawn_;
};

}  // namespace quorvel::batch
