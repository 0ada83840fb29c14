// Reading the image file's hexadecimal text into bytes.
#include "image/image_buffer.h"

bool ReadHexText(std::FILE* file, ImageBuffer* image) {
    image->count = 0;
    unsigned int value = 0;
    // "%2X" skips white space and converts up to two hex digits (a sign
    // included, as every such conversion); the low eight bits are the byte.
    while (std::fscanf(file, "%2X", &value) == 1) {
        if (image->count == kImageCapacity) return false;
        image->bytes[image->count++] = static_cast<std::uint8_t>(value & 0xFF);
    }
    return true;
}
