#include "loader/scene_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

namespace {

// The system's reason for `error` in English, like every other message of the
// programs, whatever the user's locale.
std::string ErrorText(int error) {
    const char* text = strerrordesc_np(error);
    return text ? text : "error " + std::to_string(error);
}

// A regular file of `path` opened for reading, or null (folders included).
std::FILE* OpenRegularFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace

std::string ExecutableDir() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
    std::string exe(buffer.data(), static_cast<std::size_t>(length));
    const std::size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

std::string InstalledDataDir() {
    const std::string dir = ExecutableDir();
    return dir.empty() ? dir : dir + ORVANE_DATA_FROM_BIN;
}

StandardNodesSource::StandardNodesSource(const std::string& path) : m_where(path) {
    m_file = OpenRegularFile(path);
    if (m_file != nullptr || path != kDefaultName) return;
    const std::string dir = InstalledDataDir();
    if (!dir.empty()) {
        m_where = dir + "/" + std::string(kDefaultName);
        m_file = OpenRegularFile(m_where);
        if (m_file != nullptr) return;
    }
    m_text = BuiltInStandardNodes();
    m_where = "built-in declarations";
}

StandardNodesSource::~StandardNodesSource() {
    if (m_file != nullptr) std::fclose(m_file);
}

// ---------------------------------------------------------------------------
// SceneSource

// Reads the file through read(2), inflating a gzip stream, and hands out the
// text. A failure ends the text and is kept in `m_error`: the scanner sees an
// ordinary end of input (never a read error, on which it would end the process)
// and the caller learns why from Error().
class SceneSource::Reader {
  public:
    Reader(const std::string& path, SceneReadControl* control) : m_control(control) {
        m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0) {
            Fail(ErrorText(errno));
            return;
        }
        struct stat info {};
        if (fstat(m_fd, &info) != 0) {
            Fail(ErrorText(errno));
            return;
        }
        if (S_ISDIR(info.st_mode)) {
            Fail("it is a folder");
            return;
        }
        if (m_control) m_control->fileSize = static_cast<std::uint64_t>(info.st_size);
        m_opened = true;
        m_inLength = ReadRaw(m_in.data(), m_in.size());
        m_compressed = m_inLength >= 2 && static_cast<unsigned char>(m_in[0]) == 0x1f &&
                       static_cast<unsigned char>(m_in[1]) == 0x8b;
        if (m_compressed) {
            // 16 + 15: a gzip wrapper around a stream of any window size.
            if (inflateInit2(&m_z, 16 + MAX_WBITS) != Z_OK) {
                Fail("out of memory");
                return;
            }
            m_zReady = true;
            m_z.next_in = reinterpret_cast<Bytef*>(m_in.data());
            m_z.avail_in = static_cast<uInt>(m_inLength);
        }
        // Read ahead the first bytes of the text for Head().
        m_head.resize(kHeadSize);
        std::size_t have = 0;
        while (have < kHeadSize) {
            const std::size_t n = Produce(m_head.data() + have, kHeadSize - have);
            if (n == 0) break;
            have += n;
        }
        m_head.resize(have);
    }
    ~Reader() {
        if (m_zReady) inflateEnd(&m_z);
        if (m_fd >= 0) close(m_fd);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool Opened() const { return m_opened; }
    bool Compressed() const { return m_compressed; }
    std::string_view Head() const { return m_head; }
    std::string Error() const {
        std::lock_guard<std::mutex> lock(m_errorMutex);
        return m_error;
    }
    bool Cancelled() const { return m_cancelled; }

    // The text: the head first, then the rest.
    std::size_t Read(char* out, std::size_t size) {
        if (m_headServed < m_head.size()) {
            const std::size_t n = std::min(size, m_head.size() - m_headServed);
            std::memcpy(out, m_head.data() + m_headServed, n);
            m_headServed += n;
            return n;
        }
        return Produce(out, size);
    }

    void Fail(std::string why) {
        std::lock_guard<std::mutex> lock(m_errorMutex);
        if (m_error.empty()) m_error = std::move(why);
        m_failed = true;
    }

  private:
    // Up to `size` bytes of the file as stored; 0 at its end or on failure.
    std::size_t ReadRaw(char* out, std::size_t size) {
        if (m_failed) return 0;
        if (m_control && m_control->cancel.load()) {
            m_cancelled = true;
            Fail("reading was cancelled");
            return 0;
        }
        ssize_t n;
        do {
            n = read(m_fd, out, std::min<std::size_t>(size, 1u << 30));
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            Fail(ErrorText(errno));
            return 0;
        }
        if (m_control) m_control->bytesRead += static_cast<std::uint64_t>(n);
        return static_cast<std::size_t>(n);
    }

    // Up to `size` bytes of the text; 0 at its end or on failure.
    std::size_t Produce(char* out, std::size_t size) {
        if (m_failed || m_finished || size == 0) return 0;
        if (!m_compressed) {
            if (m_inServed < m_inLength) {
                const std::size_t n = std::min(size, m_inLength - m_inServed);
                std::memcpy(out, m_in.data() + m_inServed, n);
                m_inServed += n;
                return n;
            }
            return ReadRaw(out, size);
        }
        return Inflate(out, std::min<std::size_t>(size, UINT_MAX));
    }

    std::size_t Inflate(char* out, std::size_t size) {
        m_z.next_out = reinterpret_cast<Bytef*>(out);
        m_z.avail_out = static_cast<uInt>(size);
        for (;;) {
            if (m_z.avail_out == 0) return size;
            const std::size_t produced = size - m_z.avail_out;
            if (m_z.avail_in == 0 && !m_inEnd) {
                if (produced > 0) return produced;  // give what there is before blocking
                const std::size_t n = ReadRaw(m_in.data(), m_in.size());
                if (m_failed) return 0;
                m_inEnd = n == 0;
                m_z.next_in = reinterpret_cast<Bytef*>(m_in.data());
                m_z.avail_in = static_cast<uInt>(n);
            }
            if (m_memberDone) {
                // gzip files may be concatenated; anything else after a member is ignored.
                if (m_z.avail_in == 0 && !m_inEnd) continue;
                if (m_z.avail_in == 0 || m_z.next_in[0] != 0x1f) {
                    m_finished = true;
                    return produced;
                }
                inflateReset(&m_z);
                m_memberDone = false;
            }
            const int result = inflate(&m_z, Z_NO_FLUSH);
            if (result == Z_STREAM_END) {
                m_memberDone = true;
                continue;
            }
            if (result != Z_OK && result != Z_BUF_ERROR) {
                Fail(std::string("the gzip data is damaged (") + (m_z.msg ? m_z.msg : "no detail") +
                     ")");
                return 0;
            }
            if (m_z.avail_out == 0) return size;
            // Room is left, so the stream wants more input: there is none after its end.
            if (m_z.avail_in == 0 && m_inEnd) {
                if (size - m_z.avail_out > 0) return size - m_z.avail_out;
                Fail("the gzip stream is cut short");
                return 0;
            }
        }
    }

    SceneReadControl* m_control;
    int m_fd = -1;
    bool m_opened = false;
    bool m_compressed = false;
    mutable std::mutex m_errorMutex;
    std::string m_error;                // written by the filling thread, read by others
    std::atomic<bool> m_failed{false};  // once set, the text has ended
    std::atomic<bool> m_cancelled{false};
    std::vector<char> m_in = std::vector<char>(1 << 16);
    std::size_t m_inLength = 0;  // bytes in m_in (the first read, for a plain file)
    std::size_t m_inServed = 0;
    bool m_inEnd = false;
    z_stream m_z{};
    bool m_zReady = false;
    bool m_memberDone = false;
    bool m_finished = false;
    std::string m_head;
    std::size_t m_headServed = 0;
};

SceneSource::SceneSource(const std::string& path, SceneReadControl* control)
    : m_path(path), m_reader(std::make_unique<Reader>(path, control)) {
    m_opened = m_reader->Opened();
}

SceneSource::~SceneSource() {
    Finish();
}

void SceneSource::Finish() {
    if (m_finished || !m_opened) return;
    m_finished = true;
    // A parse that stopped early (at text garbled by damage, say) still learns
    // whether a gzip stream was whole: the rest is inflated unread.
    if (!m_reader->Compressed()) return;
    std::vector<char> scratch(1 << 16);
    while (m_reader->Read(scratch.data(), scratch.size()) > 0) {
    }
}

std::size_t SceneSource::Read(char* buffer, std::size_t size) {
    return m_finished || !m_opened ? 0 : m_reader->Read(buffer, size);
}

bool SceneSource::IsCompressed() const {
    return m_reader->Compressed();
}

std::string_view SceneSource::Head() const {
    return m_reader->Head();
}

std::string SceneSource::Error() const {
    return m_reader->Error();
}

bool SceneSource::Cancelled() const {
    return m_reader->Cancelled();
}

bool SceneSource::ReadAll(std::vector<std::uint8_t>& bytes, std::size_t limit) {
    bytes.clear();
    if (!m_opened || m_finished) return false;
    std::vector<char> chunk(1 << 16);
    for (;;) {
        const std::size_t n = Read(chunk.data(), chunk.size());
        if (n == 0) break;
        if (bytes.size() + n > limit) {
            bytes.clear();
            m_reader->Fail("it is larger than " + (limit >= (1u << 20)
                                                       ? std::to_string(limit >> 20) + " MB"
                                                       : std::to_string(limit) + " bytes"));
            Finish();
            return false;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    }
    Finish();
    return Error().empty();
}
