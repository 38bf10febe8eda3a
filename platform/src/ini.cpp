#include "platform/ini.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Files larger than this are not treated as settings; reading them would
// only waste memory, and rewriting them could lose data.
constexpr off_t kMaxIniFileSize = 64 * 1024 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string &s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool SameText(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

enum class Kind { Other, Section, Entry };

struct Parsed {
    Kind kind = Kind::Other;
    std::string name;   // section name or key
    std::string value;  // entry value
};

Parsed ParseLine(const std::string &raw) {
    Parsed p;
    std::string line = Trim(raw);
    if (line.empty() || line[0] == ';') return p;
    if (line[0] == '[') {
        std::size_t close = line.find(']');
        p.kind = Kind::Section;
        p.name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return p;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) return p;
    p.name = Trim(line.substr(0, eq));
    if (p.name.empty()) return p;
    p.kind = Kind::Entry;
    p.value = Trim(line.substr(eq + 1));
    return p;
}

bool HasLineBreak(const std::string &s) { return s.find_first_of("\r\n") != std::string::npos; }

bool IsStorableSection(const std::string &section) {
    std::string t = Trim(section);
    return !t.empty() && !HasLineBreak(section) && section.find(']') == std::string::npos;
}

// Index of the first header of `section`, or npos.
std::size_t FindSection(const std::vector<std::string> &lines, const std::string &section) {
    std::string want = Trim(section);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Parsed p = ParseLine(lines[i]);
        if (p.kind == Kind::Section && SameText(p.name, want)) return i;
    }
    return std::string::npos;
}

// One past the last line of the section whose header is at `header`.
std::size_t SectionEnd(const std::vector<std::string> &lines, std::size_t header) {
    std::size_t i = header + 1;
    while (i < lines.size() && ParseLine(lines[i]).kind != Kind::Section) ++i;
    return i;
}

std::size_t FindKey(const std::vector<std::string> &lines, std::size_t header, const std::string &key,
                    Parsed *found) {
    std::string want = Trim(key);
    std::size_t end = SectionEnd(lines, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        Parsed p = ParseLine(lines[i]);
        if (p.kind == Kind::Entry && SameText(p.name, want)) {
            if (found) *found = p;
            return i;
        }
    }
    return std::string::npos;
}

bool WriteAll(int fd, const std::string &data) {
    const char *p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

}  // namespace

std::optional<int> ParseDecimalInt(const std::string &text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < INT_MIN || value > INT_MAX) return std::nullopt;
    return static_cast<int>(value);
}

bool IsStorableIniKey(const std::string &key) {
    std::string t = Trim(key);
    return !t.empty() && t.find('=') == std::string::npos && !HasLineBreak(key) && t[0] != '[' &&
           t[0] != ';';
}

IniFile::IniFile(std::string path) : path_(std::move(path)) { Reload(); }

void IniFile::Reload() {
    lines_.clear();
    readFailed_ = false;
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) {
        // Missing reads as empty; anything else (e.g. a folder in the way
        // that we cannot look into) must not be overwritten blindly.
        readFailed_ = errno != ENOENT && errno != ENOTDIR;
        return;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxIniFileSize) {
        readFailed_ = true;
        return;
    }
    std::unique_ptr<FILE, int (*)(FILE *)> f(std::fopen(path_.c_str(), "rb"), &std::fclose);
    if (!f) {
        readFailed_ = true;
        return;
    }
    std::string data;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) data.append(buf, n);
    if (std::ferror(f.get())) {
        readFailed_ = true;
        lines_.clear();
        return;
    }
    // Editors may save a UTF-8 byte order mark; it must not hide the first
    // section header.
    std::size_t start = data.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (start < data.size()) {
        std::size_t nl = data.find('\n', start);
        std::size_t end = nl == std::string::npos ? data.size() : nl;
        std::string line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(std::move(line));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
}

std::string IniFile::ReadString(const std::string &section, const std::string &key,
                                const std::string &defaultValue) const {
    std::size_t header = FindSection(lines_, section);
    if (header == std::string::npos) return defaultValue;
    Parsed p;
    if (FindKey(lines_, header, key, &p) == std::string::npos) return defaultValue;
    return p.value;
}

int IniFile::ReadInteger(const std::string &section, const std::string &key, int defaultValue) const {
    std::size_t header = FindSection(lines_, section);
    if (header == std::string::npos) return defaultValue;
    Parsed p;
    if (FindKey(lines_, header, key, &p) == std::string::npos) return defaultValue;
    return ParseDecimalInt(p.value).value_or(defaultValue);
}

bool IniFile::ReadBool(const std::string &section, const std::string &key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool IniFile::KeyExists(const std::string &section, const std::string &key) const {
    std::size_t header = FindSection(lines_, section);
    return header != std::string::npos && FindKey(lines_, header, key, nullptr) != std::string::npos;
}

bool IniFile::SectionExists(const std::string &section) const {
    return FindSection(lines_, section) != std::string::npos;
}

std::vector<std::string> IniFile::SectionKeys(const std::string &section) const {
    std::vector<std::string> keys;
    std::size_t header = FindSection(lines_, section);
    if (header == std::string::npos) return keys;
    std::size_t end = SectionEnd(lines_, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        Parsed p = ParseLine(lines_[i]);
        if (p.kind != Kind::Entry) continue;
        bool seen = false;
        for (const auto &k : keys) seen = seen || SameText(k, p.name);
        if (!seen) keys.push_back(p.name);
    }
    return keys;
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> names;
    for (const auto &line : lines_) {
        Parsed p = ParseLine(line);
        if (p.kind != Kind::Section) continue;
        bool seen = false;
        for (const auto &n : names) seen = seen || SameText(n, p.name);
        if (!seen) names.push_back(p.name);
    }
    return names;
}

bool IniFile::WriteString(const std::string &section, const std::string &key, const std::string &value) {
    if (!IsStorableSection(section) || !IsStorableIniKey(key) || HasLineBreak(value)) return false;
    Reload();
    if (readFailed_) return false;
    std::vector<std::string> before = lines_;
    std::string k = Trim(key);
    std::size_t header = FindSection(lines_, section);
    if (header == std::string::npos) {
        lines_.push_back("[" + Trim(section) + "]");
        lines_.push_back(k + "=" + value);
    } else {
        Parsed p;
        std::size_t at = FindKey(lines_, header, k, &p);
        if (at != std::string::npos) {
            lines_[at] = p.name + "=" + value;
        } else {
            // After the section's last non-blank line, so the blank lines that
            // separate it from the next section stay where they are.
            std::size_t end = SectionEnd(lines_, header);
            std::size_t insert = end;
            while (insert > header + 1 && Trim(lines_[insert - 1]).empty()) --insert;
            lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert), k + "=" + value);
        }
    }
    if (!Store()) {
        lines_ = std::move(before);
        return false;
    }
    return true;
}

bool IniFile::WriteInteger(const std::string &section, const std::string &key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool IniFile::WriteBool(const std::string &section, const std::string &key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool IniFile::EraseSection(const std::string &section) {
    Reload();
    if (readFailed_) return false;
    std::vector<std::string> before = lines_;
    bool changed = false;
    for (std::size_t header = FindSection(lines_, section); header != std::string::npos;
         header = FindSection(lines_, section)) {
        std::size_t end = SectionEnd(lines_, header);
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
                     lines_.begin() + static_cast<std::ptrdiff_t>(end));
        changed = true;
    }
    if (!changed) return true;
    if (!Store()) {
        lines_ = std::move(before);
        return false;
    }
    return true;
}

bool IniFile::DeleteKey(const std::string &section, const std::string &key) {
    Reload();
    if (readFailed_) return false;
    std::vector<std::string> before = lines_;
    bool changed = false;
    std::size_t header = FindSection(lines_, section);
    if (header != std::string::npos) {
        for (std::size_t at = FindKey(lines_, header, key, nullptr); at != std::string::npos;
             at = FindKey(lines_, header, key, nullptr)) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(at));
            changed = true;
        }
    }
    if (!changed) return true;
    if (!Store()) {
        lines_ = std::move(before);
        return false;
    }
    return true;
}

bool IniFile::Store() {
    // Write through a link to the file it names, not over the link.
    std::string target = path_;
    struct stat lst {};
    if (::lstat(path_.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        std::unique_ptr<char, void (*)(void *)> real(::realpath(path_.c_str(), nullptr), &std::free);
        if (real) target = real.get();
    }
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;

    std::string data;
    for (const auto &line : lines_) {
        data += line;
        data += '\n';
    }
    std::string tmp = target + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) return false;
    bool ok = WriteAll(fd, data) && ::fchmod(fd, mode) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

std::string GetPrivateProfileString(const std::string &section, const std::string &key,
                                    const std::string &defaultValue, const std::string &fileName) {
    return IniFile(fileName).ReadString(section, key, defaultValue);
}

int GetPrivateProfileInt(const std::string &section, const std::string &key, int defaultValue,
                         const std::string &fileName) {
    return IniFile(fileName).ReadInteger(section, key, defaultValue);
}

bool WritePrivateProfileString(const std::string &section, const std::string &key,
                               const std::string &value, const std::string &fileName) {
    IniFile ini(fileName);
    return ini.WriteString(section, key, value);
}

bool ErasePrivateProfileSection(const std::string &section, const std::string &fileName) {
    IniFile ini(fileName);
    return ini.EraseSection(section);
}

std::vector<std::string> GetPrivateProfileSectionKeys(const std::string &section,
                                                      const std::string &fileName) {
    return IniFile(fileName).SectionKeys(section);
}

bool FlushIniFileToDisk(const std::string &fileName) {
    auto syncPath = [](const std::string &path, int flags) {
        int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        if (fd < 0) return false;
        bool ok = ::fsync(fd) == 0;
        return (::close(fd) == 0) && ok;
    };
    std::size_t sep = fileName.find_last_of('/');
    std::string folder = sep == std::string::npos ? "." : (sep == 0 ? "/" : fileName.substr(0, sep));
    bool ok = syncPath(fileName, O_RDONLY);
    return syncPath(folder, O_RDONLY | O_DIRECTORY) && ok;
}

}  // namespace platform
