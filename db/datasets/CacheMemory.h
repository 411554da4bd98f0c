#pragma once
// Memory for the record cache's blocks and string chunks, owned from the moment it exists.

#include <cstddef>

class TCachePiece {
public:
    enum class TFill { Zeros, Any };

    TCachePiece() = default;
    // `bytes` bytes (at least one), zero-filled when asked; std::bad_alloc when there are none.
    explicit TCachePiece(std::size_t bytes, TFill fill = TFill::Zeros);
    ~TCachePiece();
    TCachePiece(TCachePiece&& other) noexcept : FData(other.FData), FSize(other.FSize) {
        other.FData = nullptr;
        other.FSize = 0;
    }
    TCachePiece& operator=(TCachePiece&& other) noexcept;
    TCachePiece(const TCachePiece&) = delete;
    TCachePiece& operator=(const TCachePiece&) = delete;

    char* Data() const { return FData; }
    std::size_t Size() const { return FSize; }

private:
    char* FData = nullptr;
    std::size_t FSize = 0;
};
