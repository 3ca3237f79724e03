// One frame of quenzel's noise flag, in-process, at three window sizes:
//
//   Frame      renderNoiseScene as the program calls it, on SDL's software
//              renderer drawing into a surface (no window, no X server)
//   NoiseOnly  the GetValue calls for the same pixels and nothing else: the
//              floor no way of drawing the flag can beat
//
// bench/frame_times.sh runs it; see docs/performance.md.

#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cmath>

#include "globals.h"
#include "noise_scene.h"

// The scene reads the program's window-size globals.
int width = 0;
int height = 0;

namespace {

noise::module::Perlin benchPerlin()
{
    noise::module::Perlin perlin;
    perlin.SetSeed(20240101);
    return perlin;
}

void Frame(benchmark::State& state)
{
    width = static_cast<int>(state.range(0));
    height = static_cast<int>(state.range(1));
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
    SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(surface);
    const noise::module::Perlin perlin = benchPerlin();
    double angle = 12.5;
    for (auto _ : state) {
        renderNoiseScene(perlin, renderer, angle);
        angle += 0.01;
    }
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(surface);
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
}

void sizes(benchmark::internal::Benchmark* b)
{
    b->Args({500, 300})->Args({1000, 600})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
}

BENCHMARK(Frame)->Apply(sizes);
BENCHMARK(NoiseOnly)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
