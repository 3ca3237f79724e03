// Runs one of the programs in a private Xvfb for a fixed time and reports its
// frame times, how long it took from launch to its first picture, and its
// peak memory, as one tab-separated line on standard output:
//
//   program  size  renderer  frames  p10_ms  median_ms  p90_ms  launch_ms  vmhwm_kib
//
// Usage:
//   frame_time_probe PROGRAM_PATH [--size WxH] [--seconds S] [--software] [--env NAME=VALUE]...
//                    [--perf FILE]
//   frame_time_probe --renderer-info [--software]
//
// The program opens at its own size; --size resizes it once its first
// picture is up, and only frames that began after the resize count. With
// --software the program runs with SDL_RENDER_DRIVER=software, otherwise SDL
// picks the renderer. --renderer-info prints the renderer SDL picks on this
// X server (and, for OpenGL, the GL renderer string) and exits. Each --env
// sets one more variable for the program, for trying SDL's hints; the
// renderer column then lists them after the renderer's name. With --perf the
// timed span is also recorded by `perf record` into FILE, for a profile of
// where the program's time goes (the sampling slows it a little, so a
// profiled run's frame times are not the ones to report).
//
// A benchmark tool, not a test: run it through bench/frame_times.sh.

#include <SDL.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "frame_stats.h"
#include "programs.h"
#include "x11_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long vmHwmKib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// Samples every thread of `pid` for `seconds` with perf, into `file`.
bool recordProfile(pid_t pid, double seconds, const std::string& file)
{
    const std::string target = std::to_string(pid);
    const std::string duration = std::to_string(seconds);
    const pid_t perf = fork();
    if (perf == 0) {
        execlp("perf", "perf", "record", "--quiet", "--freq", "999", "--pid", target.c_str(), "--output",
               file.c_str(), "--", "sleep", duration.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (perf < 0 || waitpid(perf, &status, 0) != perf || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "frame_time_probe: perf record failed (is perf installed and allowed here?)\n");
        return false;
    }
    return true;
}

// The renderer a program would get: the same request the programs make.
int rendererInfo(bool software)
{
    harness::XServer::instance();  // sets DISPLAY
    if (software) {
        SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "frame_time_probe: SDL_Init failed: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("probe", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 64, 64,
                                          SDL_WINDOW_HIDDEN);
    SDL_Renderer* renderer = window != nullptr ? SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    std::string description = "software (no accelerated renderer)";
    if (renderer != nullptr) {
        SDL_RendererInfo info;
        SDL_GetRendererInfo(renderer, &info);
        description = info.name;
        if (description.rfind("opengl", 0) == 0) {
            using GetString = const unsigned char* (*)(unsigned int);
            const unsigned int glRenderer = 0x1F01;
            auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
            const unsigned char* name = getString != nullptr ? getString(glRenderer) : nullptr;
            if (name != nullptr) {
                description += std::string(" on ") + reinterpret_cast<const char*>(name);
            }
        }
        SDL_DestroyRenderer(renderer);
    }
    if (window != nullptr) {
        SDL_DestroyWindow(window);
    }
    SDL_Quit();
    std::printf("%s\n", description.c_str());
    return 0;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: frame_time_probe PROGRAM_PATH [--size WxH] [--seconds S] [--software] [--env NAME=VALUE]...\n"
                 "                        [--perf FILE]\n"
                 "       frame_time_probe --renderer-info [--software]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string path;
    int width = 0, height = 0;
    double seconds = 10.0;
    bool software = false;
    bool infoOnly = false;
    std::vector<std::pair<std::string, std::string>> extraEnv;
    std::string perfFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--software") {
            software = true;
        } else if (arg == "--renderer-info") {
            infoOnly = true;
        } else if (arg == "--size" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
                return usage();
            }
        } else if (arg == "--env" && i + 1 < argc) {
            const std::string assignment = argv[++i];
            const std::size_t equals = assignment.find('=');
            if (equals == std::string::npos || equals == 0) {
                return usage();
            }
            extraEnv.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
        } else if (arg == "--perf" && i + 1 < argc) {
            perfFile = argv[++i];
        } else if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (path.empty() && arg.rfind("--", 0) != 0) {
            path = arg;
        } else {
            return usage();
        }
    }
    if (infoOnly) {
        return rendererInfo(software);
    }
    if (path.empty() || seconds <= 0.0) {
        return usage();
    }
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const harness::Subject* subject = harness::subjectNamed(name);
    if (subject == nullptr) {
        std::fprintf(stderr, "frame_time_probe: %s is none of dravin, mobrix and quenzel\n", name.c_str());
        return 2;
    }

    // The X server starts before the clock does: its start-up is not the program's.
    harness::XServer::instance();
    harness::LaunchOptions options;
    if (software) {
        options.env["SDL_RENDER_DRIVER"] = "software";
    }
    std::string renderer = software ? "software" : "auto";
    for (const auto& [variable, value] : extraEnv) {
        options.env[variable] = value;
        renderer += "," + variable + "=" + value;
    }

    const Clock::time_point launch = Clock::now();
    harness::Program program(path, options);
    // The launch time ends when the window shows the first frame.
    if (!program.waitForWindow(subject->caption, std::chrono::seconds(60))) {
        std::fprintf(stderr, "frame_time_probe: %s showed no picture (%s)\n", name.c_str(),
                     program.running() ? "time-out" : "it ended");
        return 1;
    }
    const double launchSeconds = secondsSince(launch);

    double from = launchSeconds;
    std::string size = "default";
    if (width > 0) {
        program.resize(width, height);
        from = secondsSince(launch);
        size = std::to_string(width) + "x" + std::to_string(height);
    }
    if (perfFile.empty()) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    } else if (!recordProfile(program.pid(), seconds, perfFile)) {
        return 1;
    }
    const double to = secondsSince(launch);
    const long peakKib = vmHwmKib(program.pid());

    program.closeWindow();
    const std::optional<harness::ExitStatus> status = program.waitExit(std::chrono::seconds(60));
    if (!status || !(*status == 0)) {
        std::fprintf(stderr, "frame_time_probe: %s did not end with status 0 after the close (%s)\n", name.c_str(),
                     status ? harness::toString(*status).c_str() : "still running");
        return 1;
    }
    // A resize that did not happen, or a window that could not be read.
    for (const std::string& problem : program.problems()) {
        std::fprintf(stderr, "frame_time_probe: %s: %s\n", name.c_str(), problem.c_str());
    }
    if (!program.problems().empty()) {
        return 1;
    }
    const harness::StatusStream stream =
        harness::parseStatus(*subject, program.stdoutText(), harness::Stream::Finished);
    if (!stream.fault.empty()) {
        std::fprintf(stderr, "frame_time_probe: %s's status stream: %s\n", name.c_str(), stream.fault.c_str());
        return 1;
    }
    std::vector<double> deltas;
    for (const harness::Record& r : stream.records) {
        deltas.push_back(r.delta());
    }
    std::vector<double> frames = frametimes::framesBetween(deltas, from, to);
    // The first counted frame may still have been under way when the window
    // changed size; leave it out.
    if (!frames.empty()) {
        frames.erase(frames.begin());
    }
    if (frames.empty()) {
        std::fprintf(stderr, "frame_time_probe: %s finished no whole frame in %.1f s\n", name.c_str(), seconds);
        return 1;
    }
    const frametimes::Summary summary = frametimes::summarise(frames);
    std::printf("%s\t%s\t%s\t%zu\t%.4f\t%.4f\t%.4f\t%.1f\t%ld\n", name.c_str(), size.c_str(),
                renderer.c_str(), summary.frames, summary.p10 * 1e3, summary.median * 1e3,
                summary.p90 * 1e3, launchSeconds * 1e3, peakKib);
    return 0;
}
