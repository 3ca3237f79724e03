// Where the time of one noise-flag frame goes, on SDL's software renderer.
//
//   Frame      renderNoiseScene as the program calls it
//   NoiseOnly  the GetValue calls for the same pixels and nothing else: the
//              floor no way of drawing can beat
//   Trig       the two position functions per pixel, as the formulas state them
//   SdlCalls   clear, one colour and one point per pixel, present: the
//              drawing without any noise
//
// bench/frame_times.sh --bench-only runs it and writes the figures into
// docs/performance.md. By hand:
//      build/bin/quenzel_bench --benchmark_counters_tabular=true --benchmark_repetitions=9
//          --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "globals.h"
#include "noise_scene.h"

// The scene reads the program's window-size globals.
int width = 0;
int height = 0;

namespace {

// An ARGB8888 surface with a software renderer on it.
struct Canvas {
    SDL_Surface* surface;
    SDL_Renderer* renderer;
    Canvas(int w, int h)
        : surface(SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888)),
          renderer(SDL_CreateSoftwareRenderer(surface))
    {
    }
    ~Canvas()
    {
        SDL_DestroyRenderer(renderer);
        SDL_FreeSurface(surface);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
};

noise::module::Perlin benchPerlin()
{
    noise::module::Perlin perlin;
    perlin.SetSeed(20240101);
    return perlin;
}

void reportPerPixel(benchmark::State& state)
{
    const double pixels = static_cast<double>(state.range(0) * state.range(1));
    // Seconds per pixel; the table prints it with an SI prefix (n for ns).
    state.counters["per_pixel"] = benchmark::Counter(
        pixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Frame(benchmark::State& state)
{
    width = static_cast<int>(state.range(0));
    height = static_cast<int>(state.range(1));
    Canvas canvas(width, height);
    const noise::module::Perlin perlin = benchPerlin();
    double angle = 12.5;
    for (auto _ : state) {
        renderNoiseScene(perlin, canvas.renderer, angle);
        angle += 0.01;
    }
    reportPerPixel(state);
}

void NoiseOnly(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    const noise::module::Perlin perlin = benchPerlin();
    const double c = std::cos(3.14159265 * 12.5 / 180.0);
    const double s = std::sin(3.14159265 * 12.5 / 180.0);
    for (auto _ : state) {
        double sum = 0.0;
        for (int row = 0; row < h; ++row) {
            const double pz = static_cast<double>(row) / h;
            for (int col = 0; col < w; ++col) {
                const double t = static_cast<double>(col) / w;
                sum += perlin.GetValue(100.0 + c * t, 100.0 + s * t, pz);
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    reportPerPixel(state);
}

void Trig(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    double angle = 12.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(angle);
        double sum = 0.0;
        for (int row = 0; row < h; ++row) {
            for (int col = 0; col < w; ++col) {
                const double t = static_cast<double>(col) / w;
                sum += calculateXPosition(t, angle) + calculateYPosition(t, angle);
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    reportPerPixel(state);
}

void SdlCalls(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    Canvas canvas(w, h);
    for (auto _ : state) {
        SDL_SetRenderDrawColor(canvas.renderer, 0, 0, 0, 255);
        SDL_RenderClear(canvas.renderer);
        for (int row = 0; row < h; ++row) {
            for (int col = 0; col < w; ++col) {
                // A colour that changes with every pixel, as the flag's does.
                const auto level = static_cast<Uint8>(row + col);
                SDL_SetRenderDrawColor(canvas.renderer, level, level, 76, 255);
                SDL_RenderDrawPoint(canvas.renderer, col, row);
            }
        }
        SDL_RenderPresent(canvas.renderer);
    }
    reportPerPixel(state);
}

// The fastest repetition is the one least disturbed by other work on the
// machine; report it beside the usual mean and median.
double fastest(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

void sizes(benchmark::internal::Benchmark* b)
{
    b->Args({500, 300})->Args({1000, 600})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
    b->ComputeStatistics("min", fastest);
}

BENCHMARK(Frame)->Apply(sizes);
BENCHMARK(NoiseOnly)->Apply(sizes);
BENCHMARK(Trig)->Apply(sizes);
BENCHMARK(SdlCalls)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
