#include "cardimage.h"
#include "cardslot.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace hotellock {

namespace {

constexpr char Magic[4] = {'K', 'X', 'C', 'D'};

// Little-endian writer/reader over a byte string; the reader never runs past
// the end because ParseCard checks the exact size first.
class Writer
{
public:
    void Bytes(const void *data, std::size_t n) { m_out.append(static_cast<const char *>(data), n); }
    void U16(std::uint16_t v)
    {
        m_out.push_back(static_cast<char>(v & 0xFF));
        m_out.push_back(static_cast<char>(v >> 8));
    }
    void U32(std::uint32_t v)
    {
        U16(static_cast<std::uint16_t>(v & 0xFFFF));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    template <std::size_t N> void Words(const std::int16_t (&w)[N])
    {
        for (std::int16_t v : w)
            U16(static_cast<std::uint16_t>(v));
    }
    std::string &Out() { return m_out; }

private:
    std::string m_out;
};

class Reader
{
public:
    explicit Reader(const std::string &in) : m_in(reinterpret_cast<const std::uint8_t *>(in.data())) {}
    void Bytes(void *data, std::size_t n)
    {
        std::memcpy(data, m_in + m_pos, n);
        m_pos += n;
    }
    std::uint16_t U16()
    {
        const std::uint16_t v = static_cast<std::uint16_t>(m_in[m_pos] | (m_in[m_pos + 1] << 8));
        m_pos += 2;
        return v;
    }
    std::uint32_t U32()
    {
        const std::uint32_t low = U16();
        return low | (static_cast<std::uint32_t>(U16()) << 16);
    }
    template <std::size_t N> void Words(std::int16_t (&w)[N])
    {
        for (std::int16_t &v : w)
            v = static_cast<std::int16_t>(U16());
    }

private:
    const std::uint8_t *m_in;
    std::size_t m_pos = 0;
};

std::string ErrnoText(const std::string &what, const std::string &path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

CardImage CardImage::Blank(const std::uint8_t serial[4])
{
    CardImage card;
    std::copy(serial, serial + 4, card.serial);
    return card;
}

bool CardImage::IsBlank() const
{
    CardImage blank = Blank(serial);
    return SerializeCard(blank) == SerializeCard(*this);
}

std::uint32_t Crc32(const std::uint8_t *data, std::size_t size)
{
    // One table lookup per byte in place of eight shifts: every call of the
    // library checks both copies of the card.
    static constexpr auto Table = [] {
        std::array<std::uint32_t, 256> table{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            table[n] = c;
        }
        return table;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        crc = Table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

namespace {

void WritePayload(Writer &w, const CardImage &card)
{
    w.Bytes(card.serial, sizeof card.serial);
    w.Words(card.romExtra);
    w.Words(card.cardDataA);
    w.U16(static_cast<std::uint16_t>(card.cardWord));
    w.Words(card.roomDoors);
    w.Words(card.cardDataB);
    w.Words(card.cardDataC);
    w.Words(card.cardMode);
    w.U16(static_cast<std::uint16_t>(card.enOverride));
    w.Words(card.cardDataD);
    w.Words(card.lockStart);
    w.Words(card.lockEnd);
    w.U16(card.hasCommonData ? 1 : 0);
    w.U16(static_cast<std::uint16_t>(card.commonDataSector));
}

std::string Image(std::uint16_t version, const CardImage &card, const std::uint16_t *sequence)
{
    Writer w;
    w.Bytes(Magic, sizeof Magic);
    w.U16(version);
    w.U16(static_cast<std::uint16_t>(sequence ? CopyPayloadSize : PayloadSize));
    WritePayload(w, card);
    if (sequence)
        w.U16(*sequence);
    const std::string &body = w.Out();
    w.U32(Crc32(reinterpret_cast<const std::uint8_t *>(body.data()), body.size()));
    return w.Out();
}

} // namespace

std::string SerializeCard(const CardImage &card)
{
    return Image(FormatVersion, card, nullptr);
}

std::string SerializeCopy(const CardImage &card, std::uint16_t sequence)
{
    return Image(TwoCopyVersion, card, &sequence);
}

namespace {

// One image: version 1 alone, or one copy of a two-copy file.
LoadResult ParseImage(const std::string &bytes, std::uint16_t wantedVersion)
{
    LoadResult result;
    result.status = LoadStatus::Damaged;
    if (bytes.size() < 8 || std::memcmp(bytes.data(), Magic, sizeof Magic) != 0) {
        result.error = "not a card image (bad magic or too short)";
        return result;
    }
    const bool twoCopy = wantedVersion == TwoCopyVersion;
    const std::size_t payload = twoCopy ? CopyPayloadSize : PayloadSize;
    const std::size_t size = 8 + payload + 4;
    Reader r(bytes);
    char magic[4];
    r.Bytes(magic, sizeof magic);
    const std::uint16_t version = r.U16();
    if (version != wantedVersion) {
        result.status = LoadStatus::UnknownVersion;
        result.error = "card image version " + std::to_string(version) + " is not supported";
        return result;
    }
    if (r.U16() != payload || bytes.size() != size) {
        result.error = "card image has the wrong size";
        return result;
    }
    const std::uint32_t expected = Crc32(reinterpret_cast<const std::uint8_t *>(bytes.data()), size - 4);
    CardImage &card = result.card;
    r.Bytes(card.serial, sizeof card.serial);
    r.Words(card.romExtra);
    r.Words(card.cardDataA);
    card.cardWord = static_cast<std::int16_t>(r.U16());
    r.Words(card.roomDoors);
    r.Words(card.cardDataB);
    r.Words(card.cardDataC);
    r.Words(card.cardMode);
    card.enOverride = static_cast<std::int16_t>(r.U16());
    r.Words(card.cardDataD);
    r.Words(card.lockStart);
    r.Words(card.lockEnd);
    const std::uint16_t flags = r.U16();
    card.commonDataSector = static_cast<std::int16_t>(r.U16());
    if (twoCopy)
        result.sequence = r.U16();
    if (r.U32() != expected) {
        result.error = "card image checksum does not match";
        result.card = CardImage{};
        return result;
    }
    if (flags > 1) {
        result.error = "card image has unknown flags";
        result.card = CardImage{};
        return result;
    }
    card.hasCommonData = flags == 1;
    result.status = LoadStatus::Present;
    return result;
}

// True when sequence number a was written after b (the numbers wrap around).
bool IsNewer(std::uint16_t a, std::uint16_t b)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(a - b)) > 0;
}

} // namespace

LoadResult ParseCard(const std::string &bytes)
{
    // A file that does not say version 2 at the start is judged as a version 1 image.
    const bool twoCopy =
        bytes.size() >= 6 && std::memcmp(bytes.data(), Magic, sizeof Magic) == 0 &&
        (static_cast<std::uint8_t>(bytes[4]) | static_cast<std::uint8_t>(bytes[5]) << 8) == TwoCopyVersion;
    if (!twoCopy)
        return ParseImage(bytes, FormatVersion);
    if (bytes.size() != TwoCopyFileSize) {
        LoadResult result;
        result.status = LoadStatus::Damaged;
        result.error = "card image has the wrong size";
        return result;
    }
    LoadResult copies[2] = {ParseImage(bytes.substr(0, CopySize), TwoCopyVersion),
                            ParseImage(bytes.substr(CopySize), TwoCopyVersion)};
    copies[0].copy = 0;
    copies[1].copy = 1;
    const bool valid0 = copies[0].status == LoadStatus::Present;
    const bool valid1 = copies[1].status == LoadStatus::Present;
    if (valid0 && valid1)
        return IsNewer(copies[1].sequence, copies[0].sequence) ? copies[1] : copies[0];
    if (valid0 || valid1)
        return valid0 ? copies[0] : copies[1];
    copies[0].copy = -1;
    return copies[0];
}

LoadResult LoadCardFile(const std::string &path)
{
    LoadResult result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return result; // an empty slot
        result.status = LoadStatus::Damaged;
        result.error = ErrnoText("cannot open", path);
        return result;
    }
    // Read at most one byte past the largest size: enough to see a file
    // that is too long without reading an arbitrarily large one.
    std::string bytes(TwoCopyFileSize + 1, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.status = LoadStatus::Damaged;
            result.error = ErrnoText("cannot read", path);
            ::close(fd);
            return result;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    return ParseCard(bytes);
}

namespace {

// A new card file is written as "CARDFILE.tmp-PID-XXXXXX" and renamed over the
// card file; the process id tells, after a crash, whose file it was.
std::string TemporaryPrefix(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    return (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp-";
}

bool ProcessAlive(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

} // namespace

void RemoveStaleTemporaries(const std::string &path)
{
    const std::string folder = FolderOf(path);
    const std::string prefix = TemporaryPrefix(path);
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix)
            continue;
        // What follows the prefix: the writer's process id, a dash, six characters.
        const std::string rest(name.substr(prefix.size()));
        const std::size_t dash = rest.find('-');
        if (dash == std::string::npos || dash == 0 || rest.size() != dash + 7 ||
            rest.find_first_not_of("0123456789") != dash)
            continue;
        if (ProcessAlive(static_cast<pid_t>(std::stol(rest.substr(0, dash)))))
            continue; // still being written
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

bool SaveCardFile(const std::string &path, const CardImage &card, std::string &error)
{
    std::string temp = FolderOf(path) + "/" + TemporaryPrefix(path) + std::to_string(::getpid()) + "-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = ErrnoText("cannot create a temporary file beside", path);
        return false;
    }
    ::fchmod(fd, 0644); // mkstemp makes it private; a card file is readable by all
    // Both copies hold the card; the first is the newer.
    if (!WriteAll(fd, SerializeCopy(card, 1) + SerializeCopy(card, 0)) || ::fsync(fd) != 0) {
        error = ErrnoText("cannot write", temp);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    ::close(fd);
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = ErrnoText("cannot replace", path);
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool UpdateCardFile(const std::string &path, const LoadResult &loaded, const CardImage &card,
                    std::string &error)
{
    if (loaded.copy < 0)
        return SaveCardFile(path, card, error);
    // Overwriting the file's own bytes changes neither its size nor the
    // folder: one data sync makes the copy durable, and the newer copy stays
    // whole until it is.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        error = ErrnoText("cannot open", path);
        return false;
    }
    const std::string bytes = SerializeCopy(card, static_cast<std::uint16_t>(loaded.sequence + 1));
    const off_t offset = loaded.copy == 0 ? static_cast<off_t>(CopySize) : 0;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, offset + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    if (done != bytes.size() || ::fdatasync(fd) != 0) {
        error = ErrnoText("cannot write", path);
        ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

bool RemoveCardFile(const std::string &path, std::string &error)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = ErrnoText("cannot remove", path);
        return false;
    }
    return true;
}

bool IsZeroLockTime(const std::int16_t time[6])
{
    return std::all_of(time, time + 6, [](std::int16_t w) { return w == 0; });
}

bool IsValidLockTime(const std::int16_t time[6])
{
    if (IsZeroLockTime(time))
        return true;
    const int year = time[0], month = time[1], day = time[2];
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    static constexpr int DaysIn[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = DaysIn[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= last && time[3] >= 0 && time[3] <= 23 && time[4] >= 0 && time[4] <= 59;
}

} // namespace hotellock
