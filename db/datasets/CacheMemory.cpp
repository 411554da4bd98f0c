#include "CacheMemory.h"

#include <cstdlib>
#include <new>
#include <utility>

TCachePiece::TCachePiece(std::size_t bytes, TFill fill) {
    if (bytes == 0) bytes = 1;
    // calloc knows when the memory is fresh from the system and then does not write it again.
    FData = static_cast<char*>(fill == TFill::Zeros ? std::calloc(1, bytes) : std::malloc(bytes));
    if (!FData) throw std::bad_alloc();
    FSize = bytes;
}

TCachePiece::~TCachePiece() {
    std::free(FData);
}

TCachePiece& TCachePiece::operator=(TCachePiece&& other) noexcept {
    if (this != &other) {
        std::free(FData);
        FData = std::exchange(other.FData, nullptr);
        FSize = std::exchange(other.FSize, 0);
    }
    return *this;
}
