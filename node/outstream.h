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
        // Members are read once into locals and stored once: the word store
        // may alias them as far as the compiler knows, and re-reading them
        // after it would lengthen every call.
        std::uint64_t accumulator = m_accumulator;
        unsigned bitsUsed = m_bitsUsed;
        unsigned byteCount = m_byteCount;
        Put(value, count, accumulator, bitsUsed, byteCount);
        m_accumulator = accumulator;
        m_bitsUsed = static_cast<std::uint8_t>(bitsUsed);
        m_byteCount = static_cast<std::uint16_t>(byteCount);
    }

    // A run of writes that keeps the writer's state in locals (registers)
    // from its construction to its destruction, for long loops of small
    // writes such as the elements of a list: about twice the throughput of
    // separate WriteBits calls. Nothing else may write to the stream while a
    // run is alive.
    class Run {
      public:
        explicit Run(OutStream& stream)
            : m_stream(stream),
              m_accumulator(stream.m_accumulator),
              m_bitsUsed(stream.m_bitsUsed),
              m_byteCount(stream.m_byteCount) {}
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;
        ~Run() {
            m_stream.m_accumulator = m_accumulator;
            m_stream.m_bitsUsed = static_cast<std::uint8_t>(m_bitsUsed);
            m_stream.m_byteCount = static_cast<std::uint16_t>(m_byteCount);
        }
        void WriteBits(std::uint64_t value, std::uint8_t count) {
            m_stream.Put(value, count, m_accumulator, m_bitsUsed, m_byteCount);
        }

      private:
        OutStream& m_stream;
        std::uint64_t m_accumulator;
        unsigned m_bitsUsed;
        unsigned m_byteCount;
    };

    // final = false: moves the full accumulator into the buffer.
    // final = true: writes out the buffer and the partly filled last bytes.
    void FlushWord(bool final);

    void WriteFloat(std::uint32_t pattern) { WriteBits(pattern, 32); }
    void WriteInt32(std::int32_t value) { WriteBits(static_cast<std::uint32_t>(value), 32); }
    void WriteDouble(std::uint64_t pattern) { WriteBits(pattern, 64); }
    void WriteChars(std::string text);

    std::uint8_t BitsUsed() const { return m_bitsUsed; }
    std::uint16_t BufferedBytes() const { return m_byteCount; }

    // Refusals: an encoder that meets a value the coding cannot carry calls
    // Fail and returns node::kFailCode without writing it. The first reason
    // is kept; the callers it passes through add where it happened
    // (AddErrorContext prefixes "where: ") until one names the node and
    // field (LocateError), after which the text stays as it is.
    void Fail(const std::string& what) {
        if (m_error.empty()) m_error = what;
    }
    void AddErrorContext(const std::string& where) {
        if (!m_error.empty() && !m_errorLocated) m_error = where + ": " + m_error;
    }
    void LocateError(const std::string& where) {
        AddErrorContext(where);
        m_errorLocated = true;
    }
    const std::string& ErrorText() const { return m_error; }

    // Levels of nodes being written around the present one (EncodeNode
    // keeps the count), and the levels a scene's top node stands below the
    // first (TopNodeExtraLevels).
    int NodeDepth() const { return m_nodeDepth; }
    void SetNodeDepth(int depth) { m_nodeDepth = depth; }

  protected:
    // The write itself, on the state the caller holds. `high` is the
    // accumulator after the write, or the finished word when the write fills
    // it; `spill` holds the bits that run over into the next word. Written
    // without data-dependent branches, since random widths make "did the
    // word fill?" unpredictable, and with 64-bit shifts only (every shift
    // count stays in 0..63).
    void Put(std::uint64_t value, std::uint8_t count, std::uint64_t& accumulator,
             unsigned& bitsUsed, unsigned& byteCount) {
        assert(count > 0 && count <= 64 && "ui8BitsSize > 0");
        unsigned used = bitsUsed + count;  // at most 127
        std::uint64_t high = accumulator | ((value << (64 - count)) >> bitsUsed);
        // value << (128 - used), split in two so that no count reaches 64; the
        // bit the first shift drops belongs to `high`.
        std::uint64_t spill = (value << 1) << ((127 - used) & 63);
        std::uint64_t full = used >> 6;  // 1 when the word is full, else 0
        std::uint64_t keep = 0 - full;
        if (byteCount + 8 > kBufferSize) [[unlikely]]
            byteCount = HandOver(byteCount);
        StoreWord(byteCount, high);  // counted only when the word is full
        byteCount += static_cast<unsigned>(full << 3);
        accumulator = (spill & keep) | (high & ~keep);
        bitsUsed = used & 63;
    }

    // Hands a full buffer of `byteCount` bytes to the sink; returns the new
    // (zero) byte count. Out of line so that the writing loops stay small.
    unsigned HandOver(unsigned byteCount);

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

  private:
    std::string m_error;
    bool m_errorLocated = false;
    int m_nodeDepth = 0;
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
