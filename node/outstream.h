// OutStream: the BIFS bit writer. Bits are written most significant first into
// a 64-bit accumulator, moved to a 4096-byte buffer eight bytes at a time and
// handed to the sink (WriteBuffer) a block at a time. OutToFile writes a file;
// OutToMemory collects the bytes for tests, benchmarks and in-memory coding.
#pragma once

#include <bit>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

class OutStream {
  public:
    static constexpr std::uint16_t kBufferSize = 4096;

    OutStream() = default;
    OutStream(const OutStream&) = delete;
    OutStream& operator=(const OutStream&) = delete;
    virtual ~OutStream() = default;

    // Hands the buffered bytes to the sink and empties the buffer.
    virtual void WriteBuffer() = 0;

    // Appends the low `count` bits of `value` (1..64), most significant first.
    // `value` must fit in `count` bits: the writer does not mask it.
    void WriteBits(std::uint64_t value, std::uint8_t count) {
        assert(count > 0 && count <= 64 && "ui8BitsSize > 0");
        // The accumulator and the new bits side by side in 128 bits: the high
        // half is the accumulator after the write, or the finished word when
        // the write fills it; the low half holds the bits that spill over.
        // Written without data-dependent branches, since random widths make
        // "did the word fill?" unpredictable.
        // Members are read once into locals: the word store below may alias
        // them as far as the compiler knows, and re-reading them after it
        // would lengthen every call.
        unsigned used = m_bitsUsed + count;
        unsigned byteCount = m_byteCount;
        unsigned __int128 both = static_cast<unsigned __int128>(m_accumulator) << 64 |
                                 static_cast<unsigned __int128>(value) << (128 - used);
        auto high = static_cast<std::uint64_t>(both >> 64);
        auto low = static_cast<std::uint64_t>(both);
        std::uint64_t full = used >> 6;  // 1 when the word is full, else 0
        std::uint64_t keep = 0 - full;
        if (byteCount + 8 > kBufferSize) [[unlikely]] {
            WriteBuffer();
            byteCount = 0;
        }
        StoreWord(byteCount, high);  // counted only when the word is full
        m_byteCount = static_cast<std::uint16_t>(byteCount + (full << 3));
        m_accumulator = (low & keep) | (high & ~keep);
        m_bitsUsed = static_cast<std::uint8_t>(used & 63);
    }

    // final = false: moves the full accumulator into the buffer.
    // final = true: writes out the buffer and the partly filled last bytes.
    void FlushWord(bool final);

    void WriteFloat(std::uint32_t pattern) { WriteBits(pattern, 32); }
    void WriteInt32(std::int32_t value) { WriteBits(static_cast<std::uint32_t>(value), 32); }
    void WriteDouble(std::uint64_t pattern) { WriteBits(pattern, 64); }
    void WriteChars(std::string text);

    std::uint8_t BitsUsed() const { return m_bitsUsed; }
    std::uint16_t BufferedBytes() const { return m_byteCount; }

  protected:
    // Stores the word big-endian at byte `at` of the buffer without counting it.
    void StoreWord(unsigned at, std::uint64_t word) {
        if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
        std::memcpy(m_buffer + at, &word, 8);
    }

    std::uint64_t m_accumulator = 0;
    std::uint8_t m_bitsUsed = 0;
    std::uint16_t m_byteCount = 0;
    // 8 bytes beyond the buffer take the uncounted stores of WriteBits.
    std::uint8_t m_buffer[kBufferSize + 8];
};

// Writes the stream to a file opened with mode "wb". Destroying the object
// writes the last bytes and closes the file. A file that cannot be opened ends
// the process (after the trace " can open file !!").
class OutToFile final : public OutStream {
  public:
    explicit OutToFile(const char* fileName);
    ~OutToFile() override;
    void WriteBuffer() override;

  private:
    std::FILE* m_file = nullptr;
};

// Collects the stream in memory. Finish() writes the last partial byte and
// returns everything written; the stream is not written to afterwards.
class OutToMemory final : public OutStream {
  public:
    void WriteBuffer() override;
    const std::vector<std::uint8_t>& Finish();
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
    // Number of WriteBuffer calls that moved bytes (the sink's block writes).
    std::size_t BlockWrites() const { return m_blockWrites; }

  private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_blockWrites = 0;
    bool m_finished = false;
};
