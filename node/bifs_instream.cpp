#include "node/bifs_instream.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "trace/debug_trace.h"

namespace {

void ReportMapFailure(const char* trace, const char* line) {
    DebugPrintf("%s", trace);
    std::printf("%s\n", line);
    std::fflush(stdout);
}

}  // namespace

CBIFS_InStream::CBIFS_InStream(const char* fileName) {
    if (fileName == nullptr || !MapFile(fileName)) {
        m_error = true;
        return;
    }
    Fill();
}

CBIFS_InStream::CBIFS_InStream(const std::uint8_t* data, std::uint32_t size) {
    // A null block is only right when it is empty (an empty vector's data()).
    assert((data != nullptr || size == 0) && "pszFile != NULL");
    if (data == nullptr) {
        m_error = true;
        return;
    }
    m_viewBase = m_readPointer = data;
    m_size = size;
    Fill();
}

CBIFS_InStream::~CBIFS_InStream() {
    if (m_mapped) munmap(const_cast<std::uint8_t*>(m_viewBase), m_size);
}

bool CBIFS_InStream::MapFile(const char* fileName) {
    int fd = open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ReportMapFailure("error open file!!!!!!!!!\n", " error open file !!");
        return false;
    }
    struct stat st {};
    // An empty file cannot be mapped; neither can one beyond the 32-bit size.
    if (fstat(fd, &st) != 0 || st.st_size <= 0 || st.st_size > 0xFFFFFFFFLL ||
        !S_ISREG(st.st_mode)) {
        close(fd);
        ReportMapFailure("error open map!!!!!!!!\n", " error open map !!");
        return false;
    }
    void* view = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);  // the mapping stays valid until munmap
    if (view == MAP_FAILED) {
        ReportMapFailure("error open View!!!!!!", " error open view ");
        return false;
    }
    m_viewBase = m_readPointer = static_cast<const std::uint8_t*>(view);
    m_size = static_cast<std::uint32_t>(st.st_size);
    m_mapped = true;
    return true;
}

void CBIFS_InStream::PastTheEnd() {
    if (!m_error && m_errorText.empty())
        m_errorText = "truncated at bit " + std::to_string(BitPosition()) +
                      " (the data ends at bit " + std::to_string(BitCount()) + ")";
    m_error = true;
    m_window = 0;
    m_bitsInWindow = 0;
}

void CBIFS_InStream::Fail(std::uint64_t at, const std::string& what) {
    if (!m_error && m_errorText.empty()) m_errorText = what + " at bit " + std::to_string(at);
    m_error = true;
}

std::string CBIFS_InStream::ErrorText() const {
    if (!m_error) return "";
    if (!m_errorText.empty()) return m_errorText;
    if (!HasData()) return "no data";
    return "malformed data before bit " + std::to_string(BitPosition());
}
