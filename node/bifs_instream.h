// CBIFS_InStream: the BIFS bit reader. Reads a bitstream most significant bit
// first from a read-only memory mapping of a file, or from a memory block the
// caller keeps alive, through a 64-bit window topped up to at least 32 bits.
//
// Reading past the end of the data never touches memory outside it: such reads
// give zero bits and set an error flag (HasError) that decoders test. The
// first error keeps its reason and bit position (ErrorText).
#pragma once

#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <string>

class CBIFS_InStream final {
  public:
    // An empty stream: every read gives zeros and sets the error flag.
    CBIFS_InStream() = default;
    // Maps the whole file read-only. Failures are reported as trace and on
    // standard output, and leave a stream without data.
    explicit CBIFS_InStream(const char* fileName);
    // Reads `size` bytes at `data`, which must stay valid while the stream lives.
    CBIFS_InStream(const std::uint8_t* data, std::uint32_t size);
    CBIFS_InStream(const CBIFS_InStream&) = delete;
    CBIFS_InStream& operator=(const CBIFS_InStream&) = delete;
    virtual ~CBIFS_InStream();

    // Tops the window up to at least 32 bits while data remains.
    virtual void Fill() {
        if (m_size - m_bytesTaken >= 8) {
            // Fast path, free of data-dependent branches: one unaligned
            // big-endian load, of which the whole bytes that bring the window
            // to 32..39 bits are kept (none when it already holds 32).
            std::uint64_t word;
            std::memcpy(&word, m_readPointer, 8);
            if constexpr (std::endian::native == std::endian::little)
                word = __builtin_bswap64(word);
            unsigned take = (39u - m_bitsInWindow) >> 3;
            word &= ~(~std::uint64_t{0} >> (8 * take));
            m_window |= word >> m_bitsInWindow;
            m_bitsInWindow = static_cast<std::uint8_t>(m_bitsInWindow + 8 * take);
            m_readPointer += take;
            m_bytesTaken += take;
            return;
        }
        while (m_bitsInWindow < 32 && m_bytesTaken < m_size) {
            m_window |= std::uint64_t{*m_readPointer++} << (56 - m_bitsInWindow);
            m_bitsInWindow = static_cast<std::uint8_t>(m_bitsInWindow + 8);
            ++m_bytesTaken;
        }
    }

    // The next `bits` bits (at most 32) as an unsigned value; consumes them.
    virtual std::uint32_t ReadBits(std::uint8_t bits) {
        if (bits == 0) return 0;
        if (bits > 32) {
            assert(!"byBits <= 32");
            m_error = true;
            return 0;
        }
        if (bits > m_bitsInWindow) {
            SkipBits(bits);  // past the end: sets the error flag
            return 0;
        }
        auto value = static_cast<std::uint32_t>(m_window >> (64 - bits));
        SkipBits(bits);
        return value;
    }

    virtual std::int32_t ReadInt32() { return static_cast<std::int32_t>(ReadBits(32)); }
    virtual float ReadFloat() { return std::bit_cast<float>(ReadBits(32)); }
    virtual double ReadDouble() {
        std::uint64_t high = ReadBits(32);
        std::uint64_t low = ReadBits(32);
        return std::bit_cast<double>(high << 32 | low);
    }

    // Drops `bits` bits (at most 32) and refills.
    virtual void SkipBits(std::uint8_t bits) {
        if (bits > m_bitsInWindow || bits > 32) [[unlikely]] {
            // Only possible at the end of the data: the window holds all that is left.
            PastTheEnd();
            return;
        }
        m_window <<= bits;
        m_bitsInWindow = static_cast<std::uint8_t>(m_bitsInWindow - bits);
        Fill();
        assert(m_bitsInWindow <= 40);
    }

    // True once a read asked for more bits than the data held, or the file
    // could not be mapped.
    bool HasError() const { return m_error; }
    // Decoders call this when the data they read cannot be right.
    void MarkError() { m_error = true; }
    // The same with the reason: "<what> at bit <at>". Only the first error's
    // reason is kept, so a decoder that fails on the zeros a truncated read
    // gave still reports the truncation.
    void Fail(std::uint64_t at, const std::string& what);
    // Why the stream is in error ("" while it is not): the first reason given,
    // "truncated at bit N ..." for a read past the end, or a general text when
    // a decoder marked the error without a reason.
    std::string ErrorText() const;
    // The position of the next bit to read, from the first bit of the data.
    std::uint64_t BitPosition() const { return std::uint64_t{m_bytesTaken} * 8 - m_bitsInWindow; }
    // Bits in the whole data.
    std::uint64_t BitCount() const { return std::uint64_t{m_size} * 8; }
    // The 32 bits at bit `position` of the data, which must hold them
    // (position + 32 <= BitCount()). Reads nothing: for decoders that walk
    // a run of fixed-size values straight through the data (then SeekBit).
    std::uint32_t WordAt(std::uint64_t position) const {
        const std::uint64_t byte = position >> 3;
        std::uint64_t word = 0;
        if (byte + 8 <= m_size) {
            std::memcpy(&word, m_viewBase + byte, 8);
            if constexpr (std::endian::native == std::endian::little)
                word = __builtin_bswap64(word);
        } else {
            for (std::uint64_t i = 0; byte + i < m_size; ++i)
                word |= std::uint64_t{m_viewBase[byte + i]} << (56 - 8 * i);
        }
        return static_cast<std::uint32_t>((word << (position & 7)) >> 32);
    }
    // Moves the reading position forward to bit `position` (at most
    // BitCount()), as if the bits between had been read.
    void SeekBit(std::uint64_t position) {
        assert(position >= BitPosition() && position <= BitCount());
        m_bytesTaken = static_cast<std::uint32_t>(position >> 3);
        m_readPointer = m_viewBase + m_bytesTaken;
        m_window = 0;
        m_bitsInWindow = 0;
        Fill();
        if ((position & 7) != 0) SkipBits(static_cast<std::uint8_t>(position & 7));
    }
    // How many elements a list-form value list holds from the present
    // position on, when each takes `elementBits` bits after its 0 bit: the
    // 0 bits met at element boundaries before a 1 bit or the end of the
    // data. Reads nothing; at most one element per 1 + `elementBits` bits
    // left, so a hostile count stays in proportion to the data.
    std::uint64_t CountListElements(unsigned elementBits) const {
        std::uint64_t at = BitPosition(), count = 0;
        const std::uint64_t end = BitCount();
        while (at < end && ((m_viewBase[at >> 3] >> (7 - (at & 7))) & 1) == 0) {
            ++count;
            at += 1 + elementBits;
        }
        return count;
    }
    // Bits not yet read.
    std::uint64_t BitsLeft() const {
        return std::uint64_t{m_size - m_bytesTaken} * 8 + m_bitsInWindow;
    }
    bool HasData() const { return m_viewBase != nullptr; }
    std::uint8_t BitsInWindow() const { return m_bitsInWindow; }
    std::uint32_t Size() const { return m_size; }

  private:
    bool MapFile(const char* fileName);
    // A read past the end: records the truncation as the first error when
    // none is recorded yet, sets the error flag and empties the window. Out
    // of line and cold, so that the reads that call it stay small enough to
    // be inlined.
    [[gnu::cold, gnu::noinline]] void PastTheEnd();

    const std::uint8_t* m_viewBase = nullptr;
    const std::uint8_t* m_readPointer = nullptr;
    std::uint32_t m_size = 0;
    std::uint32_t m_bytesTaken = 0;
    std::uint64_t m_window = 0;
    std::uint8_t m_bitsInWindow = 0;
    bool m_mapped = false;
    bool m_error = false;
    std::string m_errorText;  // the first error's reason; empty when none was given
};
