#include "node/outstream.h"

#include <bit>
#include <cstdlib>

#include "trace/debug_trace.h"

void OutStream::FlushWord(bool final) {
    if (!final) {
        if (m_byteCount + 8 > kBufferSize) WriteBuffer();
        StoreWord(m_byteCount, m_accumulator);
        m_byteCount = static_cast<std::uint16_t>(m_byteCount + 8);
        m_accumulator = 0;
        return;
    }
    WriteBuffer();
    unsigned bytes = (m_bitsUsed + 7u) / 8u;
    for (unsigned i = 0; i < bytes; ++i) {
        m_buffer[m_byteCount++] = static_cast<std::uint8_t>(m_accumulator >> (56 - 8 * i));
    }
    WriteBuffer();
}

unsigned OutStream::HandOver(unsigned byteCount) {
    m_byteCount = static_cast<std::uint16_t>(byteCount);
    WriteBuffer();
    return m_byteCount;
}

void OutStream::WriteChars(std::string text) {
    for (char c : text) WriteBits(static_cast<unsigned char>(c), 8);
}

OutToFile::OutToFile(const char* fileName) {
    assert(fileName != nullptr && "pszFileName != NULL");
    m_file = std::fopen(fileName, "wb");
    if (m_file == nullptr) {
        DebugPrintf(" can open file !!\n");
        std::exit(0);
    }
}

OutToFile::~OutToFile() {
    FlushWord(true);
    std::fclose(m_file);
}

void OutToFile::WriteBuffer() {
    if (m_byteCount != 0) std::fwrite(m_buffer, 1, m_byteCount, m_file);
    m_byteCount = 0;
}

void OutToMemory::WriteBuffer() {
    if (m_byteCount != 0) {
        m_bytes.insert(m_bytes.end(), m_buffer, m_buffer + m_byteCount);
        ++m_blockWrites;
    }
    m_byteCount = 0;
}

const std::vector<std::uint8_t>& OutToMemory::Finish() {
    if (!m_finished) {
        FlushWord(true);
        m_finished = true;
    }
    return m_bytes;
}
