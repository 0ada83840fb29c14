// SHA-256 (FIPS 180-4), for the image file's fingerprint: the summary of an
// image tells it, so that an owner or a production line can compare the
// file with the one that was published.
#pragma once

#include <cstddef>
#include <cstdint>

class Sha256 {
public:
    Sha256();
    void Add(const std::uint8_t* data, std::size_t size);
    // The digest as 64 lower-case hexadecimal digits and a terminator; the
    // hash takes nothing more after it.
    void Finish(char (&hex)[65]);

private:
    void Block(const std::uint8_t* block);

    std::uint32_t state_[8];
    std::uint8_t buffer_[64];
    std::size_t buffered_ = 0;
    std::uint64_t bytes_ = 0;
};
