// What the benchmarks measure and print.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "device/image_maker.h"
#include "protocol/wire_protocol.h"

// The image sizes measured, in records of 256 data bytes.
constexpr std::size_t kBenchSizes[] = {4096, 16384, 65535};
constexpr std::size_t kBenchRecordData = 256;

// Chunks of up to 11 bytes the image goes out in.
inline std::size_t ChunksOf(const Bytes& image, std::size_t* records) {
    std::size_t chunks = 0;
    *records = 0;
    for (std::size_t position = 0; position < image.size(); ++*records) {
        const std::size_t size = image[position] * 256u + image[position + 1] + 2u;
        chunks += (size + kChunkBytes - 1) / kChunkBytes;
        position += size;
    }
    return chunks;
}

// The processor time this process has used, user and system.
double CpuSeconds();

inline void PrintHeader(const char* title) {
    std::printf("%s\n%8s %7s %6s %10s %10s %7s %8s\n", title, "bytes", "records", "chunks", "wall ms", "floor ms",
                "ratio", "cpu %");
}

inline void PrintRow(std::size_t bytes, std::size_t records, std::size_t chunks, double wallMs, double floorMs,
                     double cpuSeconds) {
    std::printf("%8zu %7zu %6zu %10.1f %10.1f %7.3f %8.2f\n", bytes, records, chunks, wallMs, floorMs, wallMs / floorMs,
                100.0 * cpuSeconds / (wallMs / 1000.0));
    std::fflush(stdout);
}
