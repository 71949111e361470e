// The drawing engine on a generated 50 MB drawing (150,000 TEXT and 300,000 LINE entities):
// load, save untouched, select every TEXT, rewrite 100,000 of them, save again; peak memory;
// and, in the same run, ezdxf's readfile + saveas on the same file for comparison.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "dxf/drawing.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using quorvel::dxf::Drawing;

constexpr int kTexts = 150'000;
constexpr int kLines = 300'000;
constexpr int kRewrites = 100'000;
const char* const kPython = "/usr/bin/python3";

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// A drawing skeleton from ezdxf (tables, blocks and header as a CAD program writes them), or a
// bare one when ezdxf is missing.
std::string skeleton(const fs::path& folder, bool& fromEzdxf) {
    const fs::path file = folder / "skeleton.dxf";
    const std::string command = std::string(kPython) +
                                " -c \"import ezdxf; ezdxf.new('R12').saveas('" + file.string() +
                                "')\" 2>/dev/null";
    fromEzdxf = std::system(command.c_str()) == 0 && fs::exists(file);
    if (fromEzdxf)
        return readAll(file);
    return "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1009\n  9\n$HANDSEED\n  5\n100\n"
           "  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n  0\nEOF\n";
}

void generate(const fs::path& file, std::string skeletonBytes) {
    const std::size_t seed = skeletonBytes.find("$HANDSEED\n  5\n");
    if (seed != std::string::npos) {
        const std::size_t value = seed + 14;
        skeletonBytes.replace(value, skeletonBytes.find('\n', value) - value, "FFFFFF");
    }
    const std::size_t entities = skeletonBytes.find("ENTITIES");
    const std::size_t end = skeletonBytes.find("  0\nENDSEC", entities);
    std::ofstream out(file, std::ios::binary);
    unsigned handle = 0x10000;
    out << skeletonBytes.substr(0, end);
    char buffer[512];
    for (int i = 0; i < kTexts + kLines; ++i) {
        const double x = (i % 1000) * 12.5;
        const double y = (i / 1000) * 7.25;
        int length = 0;
        if (i % 3 == 0) {
            length = std::snprintf(buffer, sizeof buffer,
                                   "  0\nTEXT\n  5\n%X\n  8\nA-ANNO-TEXT\n 10\n%.4f\n 20\n%.4f\n"
                                   " 30\n0.0\n 40\n2.5\n  1\nRoom %d, door OLD-%05d, level 2\n",
                                   handle++, x, y, i, i % 99991);
        } else {
            length = std::snprintf(buffer, sizeof buffer,
                                   "  0\nLINE\n  5\n%X\n  8\nA-WALL-FULL\n 10\n%.4f\n 20\n%.4f\n"
                                   " 30\n0.0\n 11\n%.4f\n 21\n%.4f\n 31\n0.0\n",
                                   handle++, x, y, x + 10.0, y + 5.0);
        }
        out.write(buffer, length);
    }
    out << skeletonBytes.substr(end);
}

long peakMemoryKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main() {
    const fs::path folder = fs::temp_directory_path() / "quorvel-dxf-bench";
    fs::create_directories(folder);
    const fs::path file = folder / "big.dxf";
    bool haveEzdxf = false;
    generate(file, skeleton(folder, haveEzdxf));
    const double megabytes = static_cast<double>(fs::file_size(file)) / 1e6;
    std::printf("drawing: %.1f MB, %d TEXT, %d LINE\n", megabytes, kTexts, kLines);
    const long baselineKb = peakMemoryKb();

    auto start = Clock::now();
    Drawing drawing = Drawing::load(file);
    const double loadSeconds = secondsSince(start);

    start = Clock::now();
    drawing.save(folder / "untouched.dxf");
    const double saveSeconds = secondsSince(start);

    start = Clock::now();
    const auto texts = drawing.select({0}, {"TEXT"});
    const double selectSeconds = secondsSince(start);

    start = Clock::now();
    for (int i = 0; i < kRewrites && i < static_cast<int>(texts.size()); ++i) {
        std::string text = drawing.text(texts[i]);
        text.replace(text.find("OLD"), 3, "NEW");
        drawing.setText(texts[i], text);
    }
    const double rewriteSeconds = secondsSince(start);

    start = Clock::now();
    drawing.save(folder / "rewritten.dxf");
    const double saveEditedSeconds = secondsSince(start);
    const long peakKb = peakMemoryKb();

    const bool identical = readAll(folder / "untouched.dxf") == readAll(file);
    std::printf("load:                %7.3f s  %7.1f MB/s\n", loadSeconds, megabytes / loadSeconds);
    std::printf("save (untouched):    %7.3f s  %7.1f MB/s  byte-identical: %s\n", saveSeconds,
                megabytes / saveSeconds, identical ? "yes" : "NO");
    std::printf("select all TEXT:     %7.3f s  (%zu selected)\n", selectSeconds, texts.size());
    std::printf("rewrite %d:     %7.3f s\n", kRewrites, rewriteSeconds);
    std::printf("save (rewritten):    %7.3f s  %7.1f MB/s\n", saveEditedSeconds,
                megabytes / saveEditedSeconds);
    std::printf("peak memory:         %7.1f MB  (%.2f x file size; %.1f MB before loading)\n",
                peakKb / 1024.0, peakKb / 1024.0 / (megabytes / 1.048576), baselineKb / 1024.0);

    if (haveEzdxf) {
        const std::string command = std::string(kPython) +
                                    " -c \"import ezdxf, time; t = time.monotonic(); "
                                    "d = ezdxf.readfile('" +
                                    file.string() + "'); d.saveas('" +
                                    (folder / "ezdxf.dxf").string() +
                                    "'); print(time.monotonic() - t)\"";
        FILE* pipe = popen(command.c_str(), "r");
        double ezdxfSeconds = 0;
        if (pipe && std::fscanf(pipe, "%lf", &ezdxfSeconds) == 1 && ezdxfSeconds > 0) {
            const double ours = loadSeconds + saveSeconds;
            std::printf("ezdxf readfile+saveas: %7.3f s; ours load+save %.3f s: %.0fx faster\n",
                        ezdxfSeconds, ours, ezdxfSeconds / ours);
        } else {
            std::printf("ezdxf comparison failed\n");
        }
        if (pipe)
            pclose(pipe);
    } else {
        std::printf("ezdxf not installed: no comparison\n");
    }
    fs::remove_all(folder);
    return identical ? 0 : 1;
}
